// The transports: serial port (on a pseudo-terminal), socket endpoint, in-process simulator.
#include "LinkTestSupport.h"

#include "link/NVComm.h"
#include "link/NvIrDA11.h"
#include "link/PortLookup.h"
#include "link/VirtualClock.h"
#include "sim/SimDetector.h"
#include "sim/SimPtyServer.h"
#include "sim/SimTransport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using namespace linktest;

namespace {

// Real I/O needs real waiting; every wait is bounded.
constexpr int kIoWaitMs = 5000;

// Processes events until cond holds; false when it did not within ms.
bool WaitFor(const std::function<bool()>& cond, int ms = kIoWaitMs) {
    QDeadlineTimer deadline(ms);
    while (!cond()) {
        if (deadline.hasExpired()) return false;
        QTest::qWait(5);
    }
    return true;
}

QList<int> Codes(const QSignalSpy& spy) {
    QList<int> codes;
    for (const QList<QVariant>& args : spy)
        codes << args.at(0).toInt();
    return codes;
}

// ---- Port numbers ----

TEST(PortNumbers, DevicesMapToNumbersAndBack) {
    EXPECT_EQ(PortNumberForDevice(QStringLiteral("/dev/ttyS0")), 1);
    EXPECT_EQ(PortNumberForDevice(QStringLiteral("/dev/ttyS3")), 4);
    EXPECT_EQ(DeviceForPortNumber(4), QStringLiteral("/dev/ttyS3"));
    const qint16 usb = PortNumberForDevice(QStringLiteral("/dev/ttyUSB7"));
    EXPECT_GE(usb, kFirstAssignedPortNumber);
    EXPECT_EQ(PortNumberForDevice(QStringLiteral("/dev/ttyUSB7")), usb) << "stable";
    EXPECT_NE(PortNumberForDevice(QStringLiteral("/dev/ttyUSB8")), usb);
    EXPECT_EQ(DeviceForPortNumber(usb), QStringLiteral("/dev/ttyUSB7"));
    EXPECT_TRUE(DeviceForPortNumber(0).isEmpty());
}

TEST(PortNumbers, HardwareIdIsRead) {
    quint16 vendor = 0;
    quint16 product = 0;
    EXPECT_TRUE(ParseHardwareId(QStringLiteral("VID_10C4&PID_EA60"), &vendor, &product));
    EXPECT_EQ(vendor, 0x10C4);
    EXPECT_EQ(product, 0xEA60);
    EXPECT_TRUE(ParseHardwareId(QStringLiteral("vid_10c4&pid_ea60"), nullptr, nullptr));
    EXPECT_FALSE(ParseHardwareId(QStringLiteral("USB\\VID_10C4"), nullptr, nullptr));
    EXPECT_TRUE(PortLookup(QStringLiteral("not an id")).isEmpty());
}

// ---- Serial component ----

TEST(SerialComponent, MissingPortFailsQuietlyAndSaysWhy) {
    NVComm port;
    QSignalSpy events(&port, &LinkTransport::commEvent);
    port.setPortNumber(PortNumberForDevice(QStringLiteral("/nonexistent/km71-port")));
    EXPECT_FALSE(port.open());
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(port.lastOpenError().isEmpty());
    QCoreApplication::processEvents();
    EXPECT_EQ(events.count(), 0);
    EXPECT_EQ(port.write("x"), -1);
}

TEST(SerialComponent, PortErrorsMapToCommunicationEvents) {
    EXPECT_EQ(NVComm::EventForError(QSerialPort::ReadError), CommEvent::PortOverrun);
    EXPECT_EQ(NVComm::EventForError(QSerialPort::WriteError), CommEvent::SendBufferFull);
    EXPECT_EQ(NVComm::EventForError(QSerialPort::UnsupportedOperationError),
              CommEvent::DeviceControlError);
    EXPECT_EQ(NVComm::EventForError(QSerialPort::TimeoutError), 0);
    EXPECT_EQ(NVComm::EventForError(QSerialPort::NoError), 0);
}

class PtyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_linkPath = m_dir.filePath(QStringLiteral("pty"));
        QString error;
        ASSERT_TRUE(m_server.open(m_linkPath, &error)) << error.toStdString();
    }
    QTemporaryDir m_dir;
    QString m_linkPath;
    SimDetector m_detector{QStringLiteral("KM")};
    SimPtyServer m_server{&m_detector};
};

TEST_F(PtyTest, APseudoTerminalCountsAsTheLineComingUpOnceAndCarriesFrames) {
    NVComm port;
    QSignalSpy events(&port, &LinkTransport::commEvent);
    port.setPortNumber(PortNumberForDevice(m_linkPath));
    port.setSettings(QStringLiteral("921600,n,8,1"));
    port.setHandshaking(2);
    port.setDtr(true);
    port.setRts(true);
    ASSERT_TRUE(port.open()) << port.lastOpenError().toStdString();
    EXPECT_TRUE(port.lastOpenError().isEmpty());
    EXPECT_EQ(events.count(), 0) << "the line comes up from the event loop, not inside open(): "
                                 << ::testing::PrintToString(Codes(events));
    ASSERT_TRUE(events.wait(kIoWaitMs));
    EXPECT_EQ(Codes(events), QList<int>({CommEvent::CtsChanged, CommEvent::DsrChanged}));
    EXPECT_EQ(port.modemStatus(), ModemLine::Cts | ModemLine::Dsr);
    port.pollModemLines();
    EXPECT_EQ(events.count(), 2) << "no further line events";

    events.clear();
    ASSERT_EQ(port.write(Request("XS,R,")), Request("XS,R,").size());
    QByteArray received;
    for (int i = 0; i < 50 && !received.endsWith(Ctl::EOT); ++i) {
        if (port.bytesAvailable() == 0 && !events.wait(kIoWaitMs / 10)) continue;
        received += port.readAll();
    }
    EXPECT_TRUE(received.startsWith(QByteArray(1, Ctl::STX) + "0001XS,R,"));
    EXPECT_TRUE(Codes(events).contains(CommEvent::DataReceived));
    ASSERT_FALSE(m_detector.receivedFrames().isEmpty());
    EXPECT_EQ(m_detector.receivedFrames().last(), Request("XS,R,"));
    port.close();
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.modemStatus(), 0);
}

// More than the terminal takes at once: what the device does not take goes out later through
// the port, whole and in order, and a frame written meanwhile queues behind it.
TEST(SerialComponent, LongWritesArriveWholeAndInOrder) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    NVComm port;
    port.setPortNumber(PortNumberForDevice(QString::fromLocal8Bit(::ptsname(master))));
    port.setSettings(QStringLiteral("921600,n,8,1"));
    ASSERT_TRUE(port.open()) << port.lastOpenError().toStdString();

    QByteArray large(256 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < large.size(); ++i)
        large[i] = char('a' + i % 26);
    const QByteArray small = Request("XS,R,");
    EXPECT_EQ(port.write(large), large.size());
    EXPECT_EQ(port.write(small), small.size());
    QByteArray received;
    char buffer[8192];
    ASSERT_TRUE(WaitFor([&] {
        for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
            received.append(buffer, n);
        return received.size() >= large.size() + small.size();
    }));
    EXPECT_TRUE(received == large + small) << "received " << received.size() << " bytes";
    port.close();
    ::close(master);
}

// ---- Infrared component ----

TEST(InfraredComponent, EndpointTextIsChecked) {
    NvIrDA11 ir;
    EXPECT_FALSE(ir.available());
    EXPECT_FALSE(ir.open());
    for (const char* good : {"127.0.0.1:5000", "localhost:1", "[::1]:65535", " host.example:80 "}) {
        EXPECT_TRUE(ir.setEndpoint(QString::fromLatin1(good))) << good;
        EXPECT_TRUE(ir.available());
    }
    EXPECT_EQ(ir.deviceName(), QStringLiteral("host.example:80"));
    for (const char* bad : {"host", "host:", "host:0", "host:70000", ":80", "a b:80", "::1:80"}) {
        EXPECT_FALSE(ir.setEndpoint(QString::fromLatin1(bad))) << bad;
        EXPECT_EQ(ir.deviceName(), QStringLiteral("host.example:80")) << "unchanged";
    }
    EXPECT_TRUE(ir.setEndpoint(QString()));
    EXPECT_FALSE(ir.available());
}

TEST(InfraredComponent, SocketErrorsCarryWinsockNumbers) {
    EXPECT_EQ(NvIrDA11::WinsockError(QAbstractSocket::SocketTimeoutError), 10060);
    EXPECT_EQ(NvIrDA11::WinsockError(QAbstractSocket::ConnectionRefusedError), 10061);
    EXPECT_EQ(NvIrDA11::WinsockError(QAbstractSocket::AddressInUseError), 10048);
    EXPECT_EQ(NvIrDA11::WinsockError(QAbstractSocket::RemoteHostClosedError), 10054);
}

TEST(InfraredComponent, ConnectsReceivesReconnectsAndReportsErrors) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    const quint16 port = server.serverPort();
    NvIrDA11 ir;
    QSignalSpy events(&ir, &LinkTransport::commEvent);
    ASSERT_TRUE(ir.setEndpoint(QStringLiteral("127.0.0.1:%1").arg(port)));
    ASSERT_TRUE(ir.open());
    ASSERT_TRUE(events.wait(kIoWaitMs));
    EXPECT_EQ(Codes(events), QList<int>{CommEvent::LinkEstablished});
    ASSERT_TRUE(WaitFor([&] { return server.hasPendingConnections(); }));
    QTcpSocket* peer = server.nextPendingConnection();

    // With a threshold of 4 the event waits for the fourth byte.
    events.clear();
    ir.setReceiveThreshold(4);
    peer->write("ab");
    peer->flush();
    ASSERT_TRUE(WaitFor([&] { return ir.bytesAvailable() == 2; }));
    EXPECT_EQ(events.count(), 0);
    peer->write("cd");
    peer->flush();
    ASSERT_TRUE(WaitFor([&] { return events.count() == 1; }));
    EXPECT_EQ(ir.read(3), QByteArray("abc"));
    EXPECT_EQ(ir.readAll(), QByteArray("d"));

    ASSERT_EQ(ir.write("hello"), 5);
    ASSERT_TRUE(WaitFor([&] { return peer->bytesAvailable() == 5; }));

    // The far end goes away: a socket error (connection reset).
    events.clear();
    server.close();
    delete peer;
    ASSERT_TRUE(WaitFor([&] { return Codes(events).contains(CommEvent::SocketError); }));
    EXPECT_EQ(ir.lastSocketError(), 10054);

    // Polls reconnect; a refused attempt is reported once with 10061.
    events.clear();
    for (int i = 0; i < NvIrDA11::kReconnectPolls; ++i)
        ir.poll();
    ASSERT_TRUE(WaitFor([&] { return events.count() == 1; }));
    EXPECT_EQ(ir.lastSocketError(), 10061);

    // The endpoint is back: the next attempt establishes the link again.
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, port));
    events.clear();
    for (int i = 0; i < NvIrDA11::kReconnectPolls; ++i)
        ir.poll();
    ASSERT_TRUE(WaitFor([&] { return Codes(events).contains(CommEvent::LinkEstablished); }));
    ir.close();
    EXPECT_FALSE(ir.isOpen());
}

TEST(InfraredComponent, DumpStorageWritesTheImageAndStoresInputAtAPosition) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    FakeTransport ir(LinkTransport::Kind::Infrared);
    ir.setDumpPath(dir.filePath(QStringLiteral("flash.bin")));
    ASSERT_TRUE(ir.initImage(32768));
    ir.input = QByteArray(70, '\x5A');
    EXPECT_EQ(ir.storeInputToDump(1024, 64), 64);
    EXPECT_EQ(ir.bytesAvailable(), 6) << "bytes beyond the block stay unread";
    QFile file(ir.dumpPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray image = file.readAll();
    ASSERT_EQ(image.size(), 32768);
    EXPECT_EQ(image.mid(1024, 64), QByteArray(64, '\x5A'));
    EXPECT_EQ(image.mid(0, 1024), QByteArray(1024, '\xFF'));
    EXPECT_EQ(image.mid(1088), QByteArray(32768 - 1088, '\xFF'));
}

// ---- In-process simulator ----

TEST(SimTransportTest, RepliesArriveFromTheEventLoopNeverInsideWrite) {
    VirtualClock clock;
    SimDetector detector(QStringLiteral("KM"));
    SimTransport transport(&detector, &clock);
    QSignalSpy events(&transport, &LinkTransport::commEvent);
    EXPECT_TRUE(transport.isAttached());
    ASSERT_TRUE(transport.open());
    EXPECT_EQ(events.count(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(Codes(events), QList<int>{CommEvent::CtsChanged});
    EXPECT_EQ(transport.modemStatus(), ModemLine::Cts | ModemLine::Dsr);

    events.clear();
    transport.write(Request("XS,R,"));
    EXPECT_EQ(events.count(), 0);
    EXPECT_EQ(transport.bytesAvailable(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(Codes(events), QList<int>{CommEvent::DataReceived});
    EXPECT_TRUE(transport.readAll().endsWith(Ctl::EOT));
}

TEST(SimTransportTest, SplitRepliesGiveOneEventPerChunkAndDelayedOnesWaitForTheClock) {
    VirtualClock clock;
    SimDetector detector(QStringLiteral("QZ"));
    SimTransport transport(&detector, &clock);
    transport.open();
    QCoreApplication::processEvents();
    QSignalSpy events(&transport, &LinkTransport::commEvent);

    detector.faults().splitChunk = 4;
    transport.write(Request("XS,R,"));
    QCoreApplication::processEvents();
    const QByteArray reply = transport.readAll();
    EXPECT_EQ(events.count(), (reply.size() + 3) / 4);

    detector.faults().splitChunk = 0;
    detector.faults().delayMs = 300;
    events.clear();
    transport.write(Request("XS,R,"));
    QCoreApplication::processEvents();
    EXPECT_EQ(events.count(), 0);
    clock.advance(299);
    EXPECT_EQ(events.count(), 0);
    clock.advance(1);
    EXPECT_EQ(events.count(), 1);
}

TEST(SimTransportTest, InfraredFlavourEstablishesTheLinkAndCloseDropsBytesInFlight) {
    VirtualClock clock;
    SimDetector detector(QStringLiteral("VL"));
    SimTransport transport(&detector, &clock, LinkTransport::Kind::Infrared);
    QSignalSpy events(&transport, &LinkTransport::commEvent);
    EXPECT_TRUE(transport.available());
    transport.open();
    QCoreApplication::processEvents();
    EXPECT_EQ(Codes(events), QList<int>{CommEvent::LinkEstablished});
    EXPECT_EQ(transport.modemStatus(), 0);

    events.clear();
    transport.write(Request("XS,R,"));
    transport.close();
    QCoreApplication::processEvents();
    EXPECT_EQ(events.count(), 0);
    EXPECT_EQ(transport.bytesAvailable(), 0);
    EXPECT_EQ(transport.write(Request("XS,R,")), -1);
}

} // namespace
