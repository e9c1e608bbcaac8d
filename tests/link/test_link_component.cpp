// The link component: settings, transport choice, port lookup, exchange and waits in virtual time.
#include "LinkTestSupport.h"

#include "common/LinkLogFile.h"
#include "common/TempStartupFolder.h"

#include "instrument/clsInstrument.h"
#include "link/VirtualClock.h"
#include "link/uclHvif.h"
#include <gtest/gtest.h>

using namespace linktest;

namespace {

// A link on virtual time with fake transports, its log in a scratch folder.
class LinkComponentTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_folder.isValid());
        clock = new VirtualClock;
        link = std::make_unique<uclHvif>(std::unique_ptr<LinkClock>(clock));
        auto s = std::make_unique<FakeTransport>(LinkTransport::Kind::Serial);
        auto i = std::make_unique<FakeTransport>(LinkTransport::Kind::Infrared, false);
        serial = s.get();
        infrared = i.get();
        link->setSerialTransport(std::move(s));
        link->setInfraredTransport(std::move(i));
        link->setInstrument(&record);
    }
    void TearDown() override { link.reset(); }

    // Opens the serial line, lets the detector answer the connect probe.
    void connectSerial() {
        link->setSerialComm(true);
        link->setRetry(3);
        link->setTimeout(3);
        serial->responder = [](const QByteArray& frame) {
            return frame == Request("RC,R,") ? Reply("RC,R,71-Series,KM,KM-71") : QByteArray();
        };
        link->setPortOpen(true);
        serial->setLines(ModemLine::Cts | ModemLine::Dsr);
        for (int i = 0; i < 50 && !link->Connected(); ++i)
            clock->waitForEvents(clock->nowMs() + 100);
        ASSERT_TRUE(link->Connected()) << LinkLogText().toStdString();
        serial->written.clear();
    }

    TempStartupFolder m_folder;
    VirtualClock* clock = nullptr;
    std::unique_ptr<uclHvif> link;
    FakeTransport* serial = nullptr;
    FakeTransport* infrared = nullptr;
    clsInstrument record;
};

// ---- Settings ----

TEST(LinkDefaults, AFreshLinkHasTheStoredDefaults) {
    uclHvif link(std::make_unique<VirtualClock>());
    EXPECT_TRUE(link.Enabled());
    EXPECT_EQ(link.CommPort(), 4);
    EXPECT_EQ(link.Settings(), QStringLiteral("9600,n,8,1"));
    EXPECT_FALSE(link.DTREnable());
    EXPECT_FALSE(link.RTSEnable());
    EXPECT_EQ(link.Handshaking(), 0);
    EXPECT_FALSE(link.PortOpen());
    EXPECT_FALSE(link.SerialComm());
    EXPECT_EQ(link.Timeout(), 0);
    EXPECT_EQ(link.Retry(), 0);
    EXPECT_FALSE(link.BinaryRetry());
    EXPECT_FALSE(link.Cancel());
    EXPECT_EQ(link.Status(), 0);
    EXPECT_FALSE(link.Connected());
    EXPECT_EQ(link.LinkState(), 0);
    EXPECT_TRUE(link.TimerEnabled());
    EXPECT_TRUE(link.BinDumpPath().isEmpty());
    EXPECT_EQ(link.Instrument(), nullptr);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(link.FactCal(i), 0);
    EXPECT_EQ(link.engine().IrPollReload(), 0);
    EXPECT_TRUE(link.engine().LastFrame().isEmpty());
    EXPECT_FALSE(link.infraredTransport()->available()) << "no infrared endpoint configured";
}

TEST_F(LinkComponentTest, TimeoutIsKeptInTicksAndOverflowIsRefused) {
    EXPECT_TRUE(link->setTimeout(3));
    EXPECT_EQ(link->engine().TimeoutTicks(), 30);
    EXPECT_EQ(link->Timeout(), 3);
    EXPECT_TRUE(link->setTimeout(3276));
    EXPECT_EQ(link->engine().TimeoutTicks(), 32760);
    for (int refused : {3277, 40000, -3277}) {
        EXPECT_FALSE(link->setTimeout(refused)) << refused;
        EXPECT_EQ(link->Timeout(), 3276) << "a refused value changes nothing";
    }
}

TEST_F(LinkComponentTest, FactCalHoldsFiveValuesAndRefusesOtherIndexes) {
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(link->setFactCal(i, 100 + i));
    bool ok = false;
    EXPECT_EQ(link->FactCal(4, &ok), 104);
    EXPECT_TRUE(ok);
    for (int bad : {-1, 5}) {
        EXPECT_FALSE(link->setFactCal(bad, 1));
        EXPECT_EQ(link->FactCal(bad, &ok), 0);
        EXPECT_FALSE(ok);
    }
}

TEST_F(LinkComponentTest, ActiveTransportAnswersReadsWhileCommPortAlwaysWritesTheSerialOne) {
    infrared->setAvailable(true);
    infrared->setPortNumber(9);
    infrared->setSettings(QStringLiteral("115200,n,8,1"));
    infrared->setDtr(true);
    infrared->setHandshaking(2);
    link->setSerialComm(false);
    EXPECT_TRUE(link->InfraredActive());
    EXPECT_EQ(link->CommPort(), 9);
    EXPECT_EQ(link->Settings(), QStringLiteral("115200,n,8,1"));
    EXPECT_TRUE(link->DTREnable());
    EXPECT_EQ(link->Handshaking(), 2);

    link->setCommPort(7);
    EXPECT_EQ(serial->portNumber(), 7);
    EXPECT_EQ(infrared->portNumber(), 9);
    EXPECT_EQ(link->CommPort(), 9);
    link->setRTSEnable(true);
    EXPECT_TRUE(infrared->rts());
    EXPECT_FALSE(serial->rts());
    link->setPortOpen(true);
    EXPECT_TRUE(infrared->isOpen());
    EXPECT_FALSE(serial->isOpen());

    link->setSerialComm(true);
    EXPECT_EQ(link->CommPort(), 7);
    EXPECT_FALSE(link->PortOpen());
    link->setSerialComm(false);
    infrared->setAvailable(false);
    EXPECT_EQ(link->CommPort(), 7) << "an unavailable infrared component leaves the serial one";
}

TEST_F(LinkComponentTest, InvalidSettingsTextIsRefused) {
    link->setSerialComm(true);
    EXPECT_TRUE(link->setSettings(QStringLiteral("921600,n,8,1")));
    for (const char* bad : {"", "9600", "9600,x,8,1", "fast,n,8,1", "9600,n,9,1", "9600,n,8,3"}) {
        EXPECT_FALSE(link->setSettings(QString::fromLatin1(bad))) << bad;
        EXPECT_EQ(link->Settings(), QStringLiteral("921600,n,8,1"));
    }
    EXPECT_TRUE(link->setSettings(QStringLiteral("19200,E,7,1.5")));
}

TEST_F(LinkComponentTest, ReadCommandTableHoldsTheReadSequence) {
    const char* expected[54] = {
        "VP,R,", "XZ,R,", "XS,R,", "IN,R,", "HN,R,", "HC,R,", "AP,R,", "AU,R,", "XP,R,",
        "RC,R,", "SD,R,", "SM,R,", "SC,R,", "AI,R,", "AJ,R,", "",      "XW,R,", "XT,R,",
        "SZ,R,", "S1,R,", "GJ,R,", "A1,R,", "A2,R,", "AS,R,", "AW,R,", "HA,R,", "VS,R,",
        "",      "SA,R,", "AT,R,", "PG,R,", "XB,R,", "AB,R,", "PN,R,", "PM,R,", "BS,R,",
        "PS,R,", "UJ,R,", "",      "SJ,R,", "SG,R,", "MP,R,", "BJ,R,", "BK,R,", "BL,R,",
        "",      "BU,R,", "BV,R,", "AK,R,", "JW,R,", "JH,R,", "SE,R,", "RA,R,", ""};
    int used = 0;
    for (int i = 0; i < uclHvif::kReadCommandCount; ++i) {
        EXPECT_EQ(link->ReadCommand(i), QString::fromLatin1(expected[i])) << i;
        EXPECT_EQ(link->ReadCommandFlag(i), i < 53) << i;
        if (!link->ReadCommand(i).isEmpty()) ++used;
    }
    EXPECT_EQ(used, 49);
    EXPECT_TRUE(link->ReadCommand(54).isEmpty());
    EXPECT_TRUE(link->ReadCommand(-1).isEmpty());
}

TEST_F(LinkComponentTest, DisConnectMakesTheLinkIdleWithoutTouchingPortOrState) {
    link->setSerialComm(true);
    link->setPortOpen(true);
    link->engine().setLinkState(LinkStates::Connected);
    link->setStatus(LinkStatus::ReadWait);
    link->engine().setTickCount(9);
    EXPECT_FALSE(link->DisConnect());
    EXPECT_EQ(link->Status(), LinkStatus::Idle);
    EXPECT_EQ(link->engine().TickCount(), 0);
    EXPECT_TRUE(link->PortOpen());
    EXPECT_EQ(link->LinkState(), LinkStates::Connected);
}

// ---- Transport choice at start-up ----

TEST_F(LinkComponentTest, WithoutAModuleTheInfraredComponentIsOpenedAndCommPortStays) {
    infrared->setAvailable(true);
    link->setPortLister([](const QString&) { return QList<SerialPortEntry>{}; });
    EXPECT_FALSE(link->DetectIrdaModule());
    EXPECT_FALSE(link->SerialComm());
    EXPECT_TRUE(infrared->isOpen());
    EXPECT_FALSE(serial->isOpen());
    EXPECT_EQ(serial->portNumber(), 4);
    EXPECT_EQ(uclHvif::IrCommPort(), 0);
}

TEST_F(LinkComponentTest, OneModuleIsOpenedAtTheModuleSettingsWithHandshaking) {
    QString askedFor;
    link->setPortLister([&](const QString& id) {
        askedFor = id;
        return QList<SerialPortEntry>{
            {QStringLiteral("COM33"), 33, QStringLiteral("/dev/ttyUSB0")}};
    });
    EXPECT_TRUE(link->DetectIrdaModule());
    EXPECT_EQ(askedFor, QStringLiteral("VID_10C4&PID_EA60"));
    EXPECT_TRUE(link->SerialComm());
    EXPECT_EQ(link->CommPort(), 33);
    EXPECT_TRUE(link->RTSEnable());
    EXPECT_TRUE(link->DTREnable());
    EXPECT_EQ(link->Handshaking(), 2);
    EXPECT_EQ(link->Settings(), uclHvif::CommSettings());
    EXPECT_EQ(uclHvif::CommSettings(), QStringLiteral("921600,n,8,1"));
    EXPECT_TRUE(serial->isOpen());
    EXPECT_EQ(uclHvif::IrCommPort(), 33);
}

TEST_F(LinkComponentTest, WithSeveralModulesTheChooserDecides) {
    const QList<SerialPortEntry> two = {
        {QStringLiteral("COM33"), 33, QStringLiteral("/dev/ttyUSB0")},
        {QStringLiteral("COM34"), 34, QStringLiteral("/dev/ttyUSB1")}};
    link->setPortLister([&](const QString&) { return two; });
    QStringList offered;
    link->setPortChooser([&](const QStringList& names) {
        offered = names;
        return 1;
    });
    EXPECT_EQ(link->FindPortByHardwareId(QStringLiteral("VID_10C4&PID_EA60")), 34);
    EXPECT_EQ(offered, QStringList({QStringLiteral("COM33"), QStringLiteral("COM34")}));
    EXPECT_EQ(uclHvif::IrCommPort(), 34);

    link->setPortChooser([](const QStringList&) { return -1; }); // closed without a choice
    EXPECT_EQ(link->FindPortByHardwareId(QStringLiteral("VID_10C4&PID_EA60")), 33);
    link->setPortChooser(nullptr);
    EXPECT_EQ(link->FindPortByHardwareId(QStringLiteral("VID_10C4&PID_EA60")), 33);
}

TEST_F(LinkComponentTest, PortOverrideReplacesTheLookup) {
    bool looked = false;
    link->setPortLister([&](const QString&) {
        looked = true;
        return QList<SerialPortEntry>{};
    });
    link->setPortOverride(QStringLiteral("/tmp/km71-test-pty"));
    EXPECT_TRUE(link->DetectIrdaModule());
    EXPECT_FALSE(looked);
    EXPECT_TRUE(link->SerialComm());
    EXPECT_EQ(DeviceForPortNumber(link->CommPort()), QStringLiteral("/tmp/km71-test-pty"));
    EXPECT_TRUE(serial->isOpen());
}

TEST_F(LinkComponentTest, AnAttachedSerialTransportNeedsNoLookup) {
    serial->attached = true;
    link->setPortLister([](const QString&) {
        ADD_FAILURE() << "no lookup expected";
        return QList<SerialPortEntry>{};
    });
    EXPECT_TRUE(link->DetectIrdaModule());
    EXPECT_TRUE(serial->isOpen());
}

TEST_F(LinkComponentTest, APortThatCannotOpenIsSwallowed) {
    serial->failOpen = true;
    link->setSerialComm(true);
    link->setPortOpen(true);
    EXPECT_FALSE(link->PortOpen());
    EXPECT_EQ(link->LinkState(), LinkStates::Offline);
}

// ---- Exchange and waits ----

TEST_F(LinkComponentTest, ConnectSequenceRaisesOnConnectAndStoresTheModel) {
    int connects = 0;
    QObject::connect(link.get(), &uclHvif::OnConnect, [&] {
        ++connects;
        EXPECT_TRUE(link->Connected()) << "the window checks Connected in its handler";
    });
    connectSerial();
    EXPECT_EQ(connects, 1);
    EXPECT_EQ(record.ModelTyp(), QStringLiteral("KM"));
    EXPECT_EQ(link->Status(), LinkStatus::Completed);
    EXPECT_EQ(link->engine().IrPollReload(), 5);
}

TEST_F(LinkComponentTest, ExchangeReturnsWhenTheReplyArrives) {
    connectSerial();
    serial->responder = [](const QByteArray& frame) {
        return frame == Request("XS,R,") ? Reply("XS,R,STATION-07") : QByteArray();
    };
    const qint64 before = clock->nowMs();
    EXPECT_TRUE(link->Exchange("XS,R,", LinkStatus::ReadWait));
    EXPECT_EQ(record.StationID(), QStringLiteral("STATION-07"));
    EXPECT_EQ(serial->written, QList<QByteArray>{Request("XS,R,")});
    EXPECT_LT(clock->nowMs() - before, 200) << "no tick needed for an immediate reply";
    EXPECT_TRUE(link->RxSinceSend());
}

TEST_F(LinkComponentTest, UnansweredExchangeFailsAfterRetryTimesTimeoutInVirtualTime) {
    connectSerial();
    link->setRetry(3);
    link->setTimeout(3);
    serial->responder = nullptr;
    const qint64 before = clock->nowMs();
    EXPECT_FALSE(link->Exchange("XS,R,", LinkStatus::ReadWait));
    EXPECT_EQ(link->Status(), LinkStatus::Failed);
    EXPECT_EQ(serial->written.size(), 4) << "the request and three repeats";
    // Four waits of 30 ticks plus the tick that acts, 100 ms each.
    EXPECT_NEAR(double(clock->nowMs() - before), 4 * 31 * 100.0, 100.0);
}

TEST_F(LinkComponentTest, ExchangeIsNotStartedInsideAnotherWait) {
    connectSerial();
    bool innerResult = true;
    QObject::connect(link.get(), &uclHvif::StsTransmit, [&] {
        if (link->IsWaiting()) innerResult = link->Exchange("XZ,R,", LinkStatus::ReadWait);
    });
    serial->responder = [](const QByteArray&) { return Reply("XS,R,A"); };
    EXPECT_TRUE(link->Exchange("XS,R,", LinkStatus::ReadWait));
    EXPECT_FALSE(innerResult);
    EXPECT_EQ(serial->written, QList<QByteArray>{Request("XS,R,")});
}

TEST_F(LinkComponentTest, FiveSecondWaitRunsInVirtualTime) {
    const qint64 before = clock->nowMs();
    EXPECT_TRUE(link->WaitSeconds(5));
    EXPECT_GE(clock->nowMs() - before, 5000);
    EXPECT_LT(clock->nowMs() - before, 5200);
}

TEST_F(LinkComponentTest, WaitTicksCountsSupervisionTicks) {
    const qint64 before = clock->nowMs();
    link->WaitTicks(10);
    EXPECT_EQ(link->engine().TickCount(), 10);
    EXPECT_NEAR(double(clock->nowMs() - before), 1000.0, 100.0);
}

TEST_F(LinkComponentTest, WaitWithoutSupervisionGivesUpInsteadOfHanging) {
    // Not connected: nothing would ever end this exchange.
    link->setSerialComm(true);
    link->setPortOpen(true);
    EXPECT_FALSE(link->Exchange("XS,R,", LinkStatus::WriteWait));
    EXPECT_EQ(link->Status(), LinkStatus::Failed);
    EXPECT_GE(clock->nowMs(), 30000);
    EXPECT_LT(clock->nowMs(), 31000);
}

TEST_F(LinkComponentTest, WaitWithTheTimerStoppedGivesUpToo) {
    connectSerial();
    link->setTimerEnabled(false);
    EXPECT_FALSE(link->TimerEnabled());
    EXPECT_FALSE(link->Exchange("XS,R,", LinkStatus::ReadWait));
    EXPECT_EQ(link->Status(), LinkStatus::Failed);
}

TEST_F(LinkComponentTest, PollLoopEndsOnDoneFailedCancelAndItsBound) {
    int rounds = 0;
    EXPECT_TRUE(link->RunPollLoop(
        [&] { return ++rounds == 3 ? uclHvif::PollStep::Done : uclHvif::PollStep::Again; }));
    EXPECT_EQ(rounds, 3);
    EXPECT_FALSE(link->RunPollLoop([] { return uclHvif::PollStep::Failed; }));

    rounds = 0;
    EXPECT_FALSE(link->RunPollLoop([&] {
        if (++rounds == 2) link->setCancel(true);
        return uclHvif::PollStep::Again;
    }));
    EXPECT_EQ(rounds, 2);
    link->setCancel(false);

    // A detector that never confirms: five-second waits until five minutes are over.
    const qint64 before = clock->nowMs();
    EXPECT_FALSE(link->RunPollLoop([&] {
        link->WaitSeconds(5);
        return uclHvif::PollStep::Again;
    }));
    EXPECT_GE(clock->nowMs() - before, uclHvif::kPollLoopBoundMs);
    EXPECT_LT(clock->nowMs() - before, uclHvif::kPollLoopBoundMs + 6000);
}

TEST_F(LinkComponentTest, CancelDuringAReadThenTimeoutMakesTheLinkIdle) {
    connectSerial();
    link->setRetry(1);
    link->setTimeout(1);
    serial->responder = [&](const QByteArray&) {
        link->setCancel(true);
        return Reply("XS,R,LATE");
    };
    EXPECT_FALSE(link->Exchange("XS,R,", LinkStatus::ReadWait));
    EXPECT_EQ(link->Status(), LinkStatus::Cancelled);
    EXPECT_NE(record.StationID(), QStringLiteral("LATE"));
    serial->responder = nullptr;
    clock->advance(3000);
    EXPECT_EQ(link->Status(), LinkStatus::Idle);
}

TEST_F(LinkComponentTest, InfraredWritesHoldTheReceiveEventsAndRestoreTheThreshold) {
    infrared->setAvailable(true);
    infrared->setReceiveThreshold(1);
    link->setSerialComm(false);
    link->setPortOpen(true);
    link->DataSend(Request("XS,R,"), true);
    ASSERT_EQ(infrared->written.size(), 1);
    EXPECT_EQ(infrared->thresholdsAtWrite.first(), 0);
    EXPECT_EQ(infrared->receiveThreshold(), 1);
    EXPECT_TRUE(serial->written.isEmpty());
}

TEST_F(LinkComponentTest, SerialEventsCountOnlyWhileThePortIsOpen) {
    link->setSerialComm(true);
    serial->setLines(ModemLine::Cts);
    EXPECT_EQ(link->LinkState(), LinkStates::Offline);
    link->setPortOpen(true);
    serial->setLines(ModemLine::Cts | ModemLine::Dsr);
    EXPECT_EQ(link->LinkState(), LinkStates::Connecting);
}

TEST_F(LinkComponentTest, EventsReachTheHostAsSignals) {
    link->setSerialComm(true);
    link->setRetry(5);
    QList<short> retries;
    QStringList alarms;
    int lineDowns = 0;
    QObject::connect(link.get(), &uclHvif::ConnectRetry, [&](short& n) { retries << n; });
    QObject::connect(link.get(), &uclHvif::AlarmMessage, [&](QString& t) { alarms << t; });
    QObject::connect(link.get(), &uclHvif::LineDown, [&] { ++lineDowns; });
    link->setPortOpen(true);
    serial->setLines(ModemLine::Cts);
    clock->advance(10000);
    EXPECT_EQ(retries, QList<short>{1});
    ASSERT_EQ(alarms.size(), 1);
    EXPECT_EQ(alarms[0], QStringLiteral("71-Series No Response. Check Port,Cable And Power.\r\n"));
    EXPECT_EQ(link->LinkState(), LinkStates::Offline);
    serial->setLines(0);
    EXPECT_EQ(lineDowns, 1);

    short irError = 0;
    QObject::connect(link.get(), &uclHvif::IrDAError, [&](short& code) { irError = code; });
    infrared->socketError = 10048;
    infrared->raise(CommEvent::SocketError);
    EXPECT_EQ(irError, 10048);
}

TEST_F(LinkComponentTest, SentRequestIsLoggedWithTimeAndRenderedFrame) {
    link->setSerialComm(true);
    link->setPortOpen(true);
    link->DataSend(uclHvif::BuildFrame("XS,R,"), true);
    const QString checksum = QString::fromLatin1(FrameChecksum("\x02"
                                                               "0001XS,R,\x03"));
    EXPECT_EQ(LinkLogText(), QStringLiteral("09:30:00 W : [STX]0001XS,R,[ETX]") + checksum +
                                 QStringLiteral("[EOT]\r\n"));
    link->AddLog(QStringLiteral("host line"));
    EXPECT_TRUE(LinkLogText().endsWith(QStringLiteral("09:30:00 host line\r\n")));
}

} // namespace
