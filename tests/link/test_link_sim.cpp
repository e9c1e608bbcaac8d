// The whole link against the simulated detector: connect, exchanges, faults, dump blocks.
#include "LinkTestSupport.h"

#include "common/LinkLogFile.h"
#include "common/SimLink.h"
#include "common/TempStartupFolder.h"

#include "instrument/clsInstrument.h"
#include "sim/SimPtyServer.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace linktest;

namespace {

class LinkSimTest : public ::testing::Test, protected SimLink {
protected:
    void SetUp() override { ASSERT_TRUE(m_folder.isValid()); }
    void TearDown() override { closeSimLink(); }

    // Lets virtual time run until the link is connected or gave up; true when connected.
    bool connect() {
        link->setSerialComm(false);
        link->DetectIrdaModule();
        const qint64 end = clock->nowMs() + 60000;
        while (!link->Connected() && clock->nowMs() < end &&
               !(link->LinkState() == LinkStates::Offline && clock->nowMs() > 1000))
            clock->waitForEvents(end);
        return link->Connected();
    }

    TempStartupFolder m_folder;
    clsInstrument record;
};

TEST_F(LinkSimTest, EveryModelConnectsAndNamesItsModelType) {
    for (const QString& model :
         {QStringLiteral("KM"), QStringLiteral("QZ"), QStringLiteral("VL")}) {
        SCOPED_TRACE(model.toStdString());
        record = clsInstrument();
        makeSimLink(model, &record);
        int connects = 0;
        QObject::connect(link.get(), &uclHvif::OnConnect, [&] { ++connects; });
        ASSERT_TRUE(connect());
        EXPECT_EQ(link->LinkState(), LinkStates::Connected);
        EXPECT_EQ(record.ModelTyp(), model);
        EXPECT_EQ(connects, 1);
        EXPECT_TRUE(link->SerialComm());
        ASSERT_TRUE(link->Exchange("IN,R,", LinkStatus::ReadWait));
        EXPECT_EQ(record.SerialNo(), QString::fromLatin1(detector->value("IN")).trimmed());
    }
    EXPECT_TRUE(LinkLogText().contains("---StartUp Connect Sequence Finished---"));
}

TEST_F(LinkSimTest, InfraredFlavourConnectsThroughTheLinkEstablishedEvent) {
    makeSimLink(QStringLiteral("QZ"), &record, 3, LinkTransport::Kind::Infrared);
    ASSERT_TRUE(connect());
    EXPECT_TRUE(link->InfraredActive());
    EXPECT_EQ(record.ModelTyp(), QStringLiteral("QZ"));
    EXPECT_TRUE(LinkLogText().contains("71-Series ...Conneted. Date = "));
}

TEST_F(LinkSimTest, LostAndDamagedRepliesAreRepeatedUntilTheyArrive) {
    makeSimLink(QStringLiteral("KM"), &record);
    ASSERT_TRUE(connect());
    detector->clearReceivedFrames();
    detector->faults().dropEvery = 2;
    EXPECT_TRUE(link->Exchange("XS,R,", LinkStatus::ReadWait));
    EXPECT_TRUE(link->Exchange("XZ,R,", LinkStatus::ReadWait));
    detector->faults().dropEvery = 0;
    detector->faults().corruptEvery = 2;
    EXPECT_TRUE(link->Exchange("IN,R,", LinkStatus::ReadWait));
    detector->faults().corruptEvery = 0;
    detector->faults().splitChunk = 3;
    detector->faults().delayMs = 700;
    EXPECT_TRUE(link->Exchange("HN,R,", LinkStatus::ReadWait));
    EXPECT_GT(detector->receivedFrames().count(Request("XS,R,")) +
                  detector->receivedFrames().count(Request("XZ,R,")),
              2)
        << "a dropped reply made the link repeat its request";
}

TEST_F(LinkSimTest, ADeadDetectorEndsTheConnectSequenceWithNoResponse) {
    makeSimLink(QStringLiteral("KM"), &record);
    detector->faults().deadLine = true;
    QStringList alarms;
    QObject::connect(link.get(), &uclHvif::AlarmMessage, [&](QString& t) { alarms << t; });
    EXPECT_FALSE(connect());
    EXPECT_EQ(link->LinkState(), LinkStates::Offline);
    EXPECT_EQ(alarms, QStringList{QStringLiteral(
                          "71-Series No Response. Check Port,Cable And Power.\r\n")});
    EXPECT_EQ(detector->receivedFrames().count(Request("RC,R,")), 3);
}

TEST_F(LinkSimTest, AfterAnUnansweredConnectTheLinkProbesAgainWhileTheLineIsThere) {
    constexpr qint64 kRoundMs = LinkEngine::kReconnectRoundTicks * LinkClock::kTickMs;
    for (const bool lineThere : {true, false}) {
        SCOPED_TRACE(lineThere ? "line still there" : "port closed");
        makeSimLink(QStringLiteral("KM"), &record);
        link->setRetry(1);
        detector->faults().corruptNth = 1; // the answer to the first probe is damaged
        QStringList events;
        QObject::connect(link.get(), &uclHvif::AlarmMessage, [&](QString&) { events << "Alarm"; });
        QObject::connect(link.get(), &uclHvif::OnConnect, [&] { events << "OnConnect"; });
        link->DetectIrdaModule();
        while (events.isEmpty() && clock->nowMs() < 10000)
            clock->waitForEvents(10000);
        ASSERT_EQ(events, QStringList{"Alarm"});
        EXPECT_EQ(link->LinkState(), LinkStates::Offline);
        if (!lineThere) link->setPortOpen(false);

        // Rounds that go unanswered as well are quiet.
        detector->faults().deadLine = true;
        clock->advance(kRoundMs - 200);
        EXPECT_EQ(detector->receivedFrames().size(), 1) << "no probe before the round is due";
        clock->advance(3 * kRoundMs);
        const qsizetype probes = detector->receivedFrames().size();
        EXPECT_EQ(probes > 1, lineThere);
        EXPECT_EQ(events, QStringList{"Alarm"});

        detector->faults().deadLine = false;
        clock->advance(2 * kRoundMs);
        EXPECT_EQ(link->Connected(), lineThere);
        EXPECT_EQ(events, lineThere ? QStringList({"Alarm", "OnConnect"}) : QStringList{"Alarm"});
        if (!lineThere) {
            EXPECT_EQ(detector->receivedFrames().size(), 1);
        }
    }
}

TEST_F(LinkSimTest, RealTimeLinkOverAPseudoTerminalConnects) {
    // The program's own clock and serial component against the detector on a pty.
    SimDetector ptyDetector(QStringLiteral("VL"));
    SimPtyServer server(&ptyDetector);
    const QString path = m_folder.filePath(QStringLiteral("pty"));
    QString error;
    ASSERT_TRUE(server.open(path, &error)) << error.toStdString();
    uclHvif realLink;
    realLink.setRetry(3);
    realLink.setTimeout(3);
    realLink.setInstrument(&record);
    realLink.setPortOverride(path);
    ASSERT_TRUE(realLink.DetectIrdaModule());
    ASSERT_TRUE(realLink.PortOpen()) << realLink.lastOpenError().toStdString();
    EXPECT_EQ(realLink.Handshaking(), 2);
    // Three probes and the give-up take about four seconds; wait at most ten.
    for (int i = 0; i < 100 && !realLink.Connected(); ++i)
        realLink.WaitTicks(1);
    ASSERT_TRUE(realLink.Connected());
    EXPECT_EQ(record.ModelTyp(), QStringLiteral("VL"));
    EXPECT_TRUE(realLink.Exchange("XS,R,", LinkStatus::ReadWait));
    EXPECT_EQ(record.StationID(), QString::fromLatin1(ptyDetector.value("XS")).trimmed());
}

} // namespace
