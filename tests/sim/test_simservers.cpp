// The simulator's faces on real pseudo-terminals and sockets, in process and as the km71sim
// executable. Waits are bounded; nothing sleeps.
#include "common/SimProgram.h"
#include "link/Frame.h"
#include "sim/SimDetector.h"
#include "sim/SimPtyServer.h"
#include "sim/SimTcpServer.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kWaitMs = 5000;

// Reads from a file descriptor until a frame terminator arrives or the wait runs out.
QByteArray ReadReply(int fd) {
    QSocketNotifier notifier(fd, QSocketNotifier::Read);
    QSignalSpy spy(&notifier, &QSocketNotifier::activated);
    QByteArray reply;
    while (!reply.endsWith(Ctl::EOT)) {
        char buffer[512];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            reply.append(buffer, int(n));
            continue;
        }
        if (!spy.wait(kWaitMs)) break;
    }
    return reply;
}

// Reads from a socket until a frame terminator arrives or the wait runs out; the event loop
// runs meanwhile, so a server in this process is served too.
QByteArray ReadReply(QTcpSocket& socket) {
    QSignalSpy spy(&socket, &QTcpSocket::readyRead);
    QByteArray reply;
    while (!reply.endsWith(Ctl::EOT)) {
        reply += socket.readAll();
        if (reply.endsWith(Ctl::EOT) || !spy.wait(kWaitMs)) break;
    }
    return reply;
}

TEST(SimPtyServer, ServesTheDetectorThroughItsLink) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("detector"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/nonexistent"), link)); // a stale link is replaced
    SimDetector detector(QStringLiteral("KM"));
    detector.faults().delayMs = 20; // replies leave from the poll timer
    SimPtyServer server(&detector);
    QString error;
    ASSERT_TRUE(server.open(link, &error)) << qPrintable(error);
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), server.devicePath());

    const int fd = ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    const QByteArray request = BuildFrame("A1,W,   15");
    ASSERT_EQ(::write(fd, request.constData(), size_t(request.size())), request.size());
    EXPECT_EQ(ReadReply(fd), request);
    ::close(fd);
    EXPECT_EQ(detector.value("A1"), "   15");

    server.close();
    EXPECT_FALSE(QFileInfo::exists(link));
    EXPECT_FALSE(QFileInfo(link).isSymLink());

    // Another file at the path is left alone.
    QFile other(link);
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.close();
    EXPECT_FALSE(server.open(link, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QFileInfo(link).isFile());
}

TEST(SimTcpServer, ServesOneClientAtATime) {
    SimDetector detector(QStringLiteral("QZ"));
    SimTcpServer server(&detector);
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    ASSERT_NE(server.port(), 0);

    QTcpSocket first, second;
    first.connectToHost(QHostAddress::LocalHost, server.port());
    ASSERT_TRUE(first.waitForConnected(kWaitMs));
    first.write(BuildFrame("RC,R,"));
    EXPECT_TRUE(ReadReply(first).contains("RC,R,71-Series,QZ"));

    second.connectToHost(QHostAddress::LocalHost, server.port());
    ASSERT_TRUE(second.waitForConnected(kWaitMs));
    second.write(BuildFrame("GJ,R,"));
    QSignalSpy secondAnswered(&second, &QTcpSocket::readyRead);
    EXPECT_FALSE(secondAnswered.wait(300)); // waits while the first is served

    first.disconnectFromHost();
    EXPECT_TRUE(ReadReply(second).contains("GJ,R,O2   25.0  0.1VOL%"));
    EXPECT_TRUE(server.hasClient());
}

TEST(Km71Sim, AnswersOnAPseudoTerminalAndCleansUpOnTerm) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("km71.pty"));
    const QString log = dir.filePath(QStringLiteral("frames.log"));
    QProcess process;
    const QString ready =
        StartSimProgram(process,
                        {QStringLiteral("--model"), QStringLiteral("QZ"), QStringLiteral("--pty"),
                         link, QStringLiteral("--log"), log},
                        kWaitMs);
    ASSERT_EQ(ready, link) << process.readAllStandardError().constData();
    ASSERT_TRUE(QFileInfo(link).isSymLink());

    const int fd = ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    const QByteArray request = BuildFrame("RC,R,");
    ASSERT_EQ(::write(fd, request.constData(), size_t(request.size())), request.size());
    const QByteArray reply = ReadReply(fd);
    ::close(fd);
    EXPECT_EQ(reply, BuildFrame("RC,R,71-Series,QZ,QZ-71"));

    process.terminate();
    ASSERT_TRUE(process.waitForFinished(kWaitMs));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    QFile frames(log);
    ASSERT_TRUE(frames.open(QIODevice::ReadOnly));
    EXPECT_EQ(frames.readAll(), RenderControlChars(request).toLatin1() + "\r\n");
}

TEST(Km71Sim, AnswersOnTcpWithFaults) {
    QProcess process;
    const QString port =
        StartSimProgram(process,
                        {QStringLiteral("--model"), QStringLiteral("VL"), QStringLiteral("--tcp"),
                         QStringLiteral("127.0.0.1:0"), QStringLiteral("--delay"),
                         QStringLiteral("30"), QStringLiteral("--split"), QStringLiteral("3"),
                         QStringLiteral("--drop-nth"), QStringLiteral("1")},
                        kWaitMs);
    ASSERT_GT(port.toInt(), 0) << process.readAllStandardError().constData();

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(port.toInt()));
    ASSERT_TRUE(socket.waitForConnected(kWaitMs));
    socket.write(BuildFrame("GJ,R,"));
    EXPECT_FALSE(socket.waitForReadyRead(300)); // the first reply is dropped
    socket.write(BuildFrame("GJ,R,"));
    EXPECT_EQ(ReadReply(socket), BuildFrame("GJ,R,CO    500    1ppm "));

    process.terminate();
    ASSERT_TRUE(process.waitForFinished(kWaitMs));
    EXPECT_EQ(process.exitCode(), 0);
}

TEST(Km71Sim, RefusesBadArgumentsWithExitCodeTwo) {
    const QList<QStringList> bad{
        {},
        {QStringLiteral("--model"), QStringLiteral("XX"), QStringLiteral("--tcp"),
         QStringLiteral("127.0.0.1:0")},
        {QStringLiteral("--model"), QStringLiteral("KM")},
        {QStringLiteral("--model"), QStringLiteral("KM"), QStringLiteral("--tcp"),
         QStringLiteral("127.0.0.1:0"), QStringLiteral("--pty"), QStringLiteral("/tmp/x")},
        {QStringLiteral("--model"), QStringLiteral("KM"), QStringLiteral("--tcp"),
         QStringLiteral("nohostport")},
        {QStringLiteral("--model"), QStringLiteral("KM"), QStringLiteral("--tcp"),
         QStringLiteral("127.0.0.1:0"), QStringLiteral("--delay"), QStringLiteral("-5")},
        {QStringLiteral("--model"), QStringLiteral("KM"), QStringLiteral("--tcp"),
         QStringLiteral("127.0.0.1:0"), QStringLiteral("--random"), QStringLiteral("2")},
        {QStringLiteral("--model"), QStringLiteral("KM"), QStringLiteral("--tcp"),
         QStringLiteral("127.0.0.1:0"), QStringLiteral("--no-such-option")},
    };
    for (const QStringList& args : bad) {
        SCOPED_TRACE(qPrintable(args.join(' ')));
        QProcess process;
        process.start(SimProgram(), args);
        ASSERT_TRUE(process.waitForFinished(kWaitMs));
        EXPECT_EQ(process.exitCode(), 2);
        EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
        EXPECT_FALSE(process.readAllStandardError().isEmpty());
    }
}

} // namespace
