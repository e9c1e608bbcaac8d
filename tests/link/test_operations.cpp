// Calibration and maintenance operations against the simulated detector, in virtual time.
#include "common/LinkLogFile.h"
#include "common/SimLink.h"
#include "common/TempStartupFolder.h"

#include "instrument/clsInstrument.h"
#include "shell/Messages.h"
#include "shell/OleDate.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

class OperationsTest : public ::testing::Test, protected SimLink {
protected:
    void SetUp() override { ASSERT_TRUE(m_folder.isValid()); }
    void TearDown() override { closeSimLink(); }

    // A link on virtual time, connected to a simulated detector of the model.
    void connectTo(const QString& model) {
        makeSimLink(model, &record);
        ASSERT_TRUE(connectSimLink());
        detector->clearReceivedFrames();
    }
    // Sets Cancel after ms of virtual time, as the progress dialog's button would.
    void cancelAfter(qint64 ms) {
        clock->schedule(clock->nowMs() + ms, nullptr, [this] { link->setCancel(true); });
    }

    TempStartupFolder m_folder;
    clsInstrument record;
};

// ---- Zero calibration ----

TEST_F(OperationsTest, ZeroCalibrationPollsUntilTheDetectorHasFinished) {
    connectTo(QStringLiteral("KM"));
    detector->faults().notYet = 2;
    const qint64 start = clock->nowMs();
    EXPECT_TRUE(link->ZeroCal(QStringLiteral("0")));
    EXPECT_EQ(received(), (QList<QByteArray>{"SZ,W,0", "SZ,C,", "SZ,C,", "SZ,C,"}));
    EXPECT_GE(clock->nowMs() - start, 3000) << "one second before each poll";
    EXPECT_TRUE(link->ZeroStatus(0));
    EXPECT_FALSE(link->ZeroStatus(1));
    EXPECT_FALSE(link->ZeroStatus(-1));
}

TEST_F(OperationsTest, ZeroCalibrationStopsOnCancelAndAfterFiveMinutes) {
    connectTo(QStringLiteral("KM"));
    detector->faults().notYet = 1000000;
    cancelAfter(4500);
    EXPECT_FALSE(link->ZeroCal(QStringLiteral("0")));
    EXPECT_LT(clock->nowMs(), 10000);
    EXPECT_TRUE(LinkLogText().contains(QStringLiteral("---Calibration Upload Failed---")));

    connectTo(QStringLiteral("KM"));
    detector->faults().notYet = 1000000;
    const qint64 start = clock->nowMs();
    EXPECT_FALSE(link->ZeroCal(QStringLiteral("0")));
    const qint64 took = clock->nowMs() - start;
    EXPECT_GE(took, uclHvif::kPollLoopBoundMs);
    EXPECT_LT(took, uclHvif::kPollLoopBoundMs + 5000);
}

TEST_F(OperationsTest, SpanStatusComesFromTheSpanReply) {
    // The detector answers "S1,W,0" when it spanned and "S1,W,1" when it could not (no span
    // concentration); either way the exchange completed.
    const struct {
        const char* spanConcentration;
        bool spanned;
    } cases[] = {{"   50", true}, {"    0", false}};
    for (const auto& c : cases) {
        connectTo(QStringLiteral("KM"));
        detector->setValue("SA", c.spanConcentration);
        EXPECT_TRUE(link->SpanCal(QStringLiteral("span request")));
        EXPECT_EQ(received(), QList<QByteArray>{"S1,W,"});
        EXPECT_EQ(link->SpanStatus(0), c.spanned) << c.spanConcentration;
        EXPECT_FALSE(link->SpanStatus(1));
    }
}

TEST_F(OperationsTest, OxygenZeroNeedsAResultFromTheDetector) {
    connectTo(QStringLiteral("QZ"));
    EXPECT_TRUE(link->zCal(QStringLiteral("1")));
    connectTo(QStringLiteral("KM")); // has no oxygen zero: refuses it
    EXPECT_FALSE(link->zCal(QStringLiteral("1")));
    EXPECT_TRUE(LinkLogText().contains(QStringLiteral("---Calibration Upload Failed---")));
}

// ---- Confirmed operations ----

TEST_F(OperationsTest, ConfirmedOperationsWaitFiveSecondsBetweenPolls) {
    struct Case {
        const char* name;
        std::function<bool(uclHvif&)> run;
        QList<QByteArray> frames;
        int finished;
    };
    const Case cases[] = {
        {"body log",
         [](uclHvif& l) { return l.BodyDataClear(); },
         {"XC,W,", "XC,C,", "XC,C,"},
         5557},
        {"power log",
         [](uclHvif& l) { return l.PowerDataClear(); },
         {"XY,W,", "XY,C,", "XY,C,"},
         5557},
        {"defaults",
         [](uclHvif& l) { return l.DefaultInstrument(); },
         {"UX,W,", "UX,C,", "UX,C,"},
         5375},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        connectTo(QStringLiteral("KM"));
        detector->faults().notYet = 1;
        const qint64 start = clock->nowMs();
        EXPECT_TRUE(c.run(*link));
        EXPECT_EQ(received(), c.frames);
        EXPECT_GE(clock->nowMs() - start, 10000);
        EXPECT_TRUE(LinkLogText().contains(LoadMessage(c.finished)));
    }
}

TEST_F(OperationsTest, ConfirmedOperationsStopOnCancelAndAfterFiveMinutes) {
    connectTo(QStringLiteral("KM"));
    detector->faults().notYet = 1000000;
    cancelAfter(12000);
    EXPECT_FALSE(link->BodyDataClear());
    EXPECT_LT(clock->nowMs(), 20000);
    EXPECT_TRUE(LinkLogText().contains(LoadMessage(5558)));
    EXPECT_FALSE(LinkLogText().contains(LoadMessage(5557)));

    connectTo(QStringLiteral("KM"));
    detector->faults().notYet = 1000000;
    const qint64 start = clock->nowMs();
    EXPECT_FALSE(link->DefaultInstrument());
    const qint64 took = clock->nowMs() - start;
    EXPECT_GE(took, uclHvif::kPollLoopBoundMs);
    EXPECT_LT(took, uclHvif::kPollLoopBoundMs + 10000);
    EXPECT_TRUE(LinkLogText().contains(LoadMessage(5376)));
}

// ---- A Cancel left over ----

TEST_F(OperationsTest, ACancelLeftByATimedOutDumpEndsNoLaterOperation) {
    connectTo(QStringLiteral("QZ"));
    const QString image = m_folder.filePath(QStringLiteral("flash.bin"));
    detector->faults().deadLine = true;
    EXPECT_FALSE(link->GetBinDump(image, 0, 0));
    ASSERT_TRUE(link->Cancel()) << "the block's timeout leaves Cancel set";
    detector->faults().deadLine = false;

    const auto when = QDateTime(QDate(2025, 1, 7), QTime(9, 30, 0));
    const struct {
        const char* name;
        std::function<bool(uclHvif&, clsInstrument&)> run;
    } cases[] = {
        {"read", [](uclHvif& l, clsInstrument& r) { return l.GetInstrument(r); }},
        {"write",
         [](uclHvif& l, clsInstrument& r) {
             r.setStationID(QStringLiteral("STATION-02"));
             return l.SetInstrument(r);
         }},
        {"zero", [](uclHvif& l, clsInstrument&) { return l.ZeroCal(QStringLiteral("0")); }},
        {"span", [](uclHvif& l, clsInstrument&) { return l.SpanCal(QString()); }},
        {"oxygen zero", [](uclHvif& l, clsInstrument&) { return l.zCal(QStringLiteral("1")); }},
        {"span gas", [](uclHvif& l, clsInstrument& r) { return l.GetAutoCalDensty(r); }},
        {"gas", [](uclHvif& l, clsInstrument& r) { return l.GetGasInfo(r); }},
        {"pump", [](uclHvif& l, clsInstrument&) { return l.SetPump(true); }},
        {"alarm test", [](uclHvif& l, clsInstrument&) { return l.AlarmTest(5); }},
        {"body log", [](uclHvif& l, clsInstrument&) { return l.BodyDataClear(); }},
        {"power log", [](uclHvif& l, clsInstrument&) { return l.PowerDataClear(); }},
        {"defaults", [](uclHvif& l, clsInstrument&) { return l.DefaultInstrument(); }},
        {"clock", [when](uclHvif& l, clsInstrument&) { return l.SetDateTime(when); }},
        {"check data", [](uclHvif& l, clsInstrument&) { return l.SetCheckData(); }},
        {"LP write", [](uclHvif& l, clsInstrument& r) { return l.Lp(r); }},
        {"LP read", [](uclHvif& l, clsInstrument& r) { return l.LpR(r); }},
        {"store", [](uclHvif& l, clsInstrument&) { return l.Dw(); }},
        {"identity", [](uclHvif& l, clsInstrument& r) { return l.GetRomNo(r); }},
        {"calibration", [](uclHvif& l, clsInstrument& r) { return l.GetLatestHistory(r); }},
        {"bump test", [](uclHvif& l, clsInstrument& r) { return l.GetLatestBumpHistory(r); }},
        {"flash image", [&](uclHvif& l, clsInstrument&) { return l.GetBinDump(image, 0, 0); }},
        {"listing",
         [this](uclHvif& l, clsInstrument&) {
             return l.GetRomDump2(m_folder.filePath(QStringLiteral("listing.txt")));
         }},
        {"readings",
         [this](uclHvif& l, clsInstrument&) {
             int readings = 0;
             const auto c = QObject::connect(&l, &uclHvif::Densty, [&](float&) { ++readings; });
             l.setRunDensty(true);
             clock->advance(2500);
             l.setRunDensty(false);
             QObject::disconnect(c);
             return readings == 2;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        link->setCancel(true);
        EXPECT_TRUE(c.run(*link, record));
    }
}

// ---- Commands ----

TEST_F(OperationsTest, CommandsCarryTheirValues) {
    connectTo(QStringLiteral("KM"));
    EXPECT_TRUE(link->SetDateTime(QDateTime(QDate(2025, 1, 7), QTime(9, 30, 0))));
    EXPECT_TRUE(link->SetPump(true));
    EXPECT_TRUE(link->SetPump(false));
    EXPECT_TRUE(link->AlarmTest(5));
    EXPECT_TRUE(link->AlarmTest(0x1A5)); // the last two hexadecimal digits
    record.setHcMode(3);
    EXPECT_TRUE(link->Lp(record));
    EXPECT_TRUE(link->Dw());
    EXPECT_TRUE(link->SetCheckData());
    EXPECT_EQ(received(), (QList<QByteArray>{"HC,W,250107093000", "BP,W,1", "BP,W,0", "RA,W,05", "RA,W,A5",
                                             "LP,W,3", "DW,W,", "XH,E,"}));
    clsInstrument other;
    EXPECT_TRUE(link->LpR(other));
    EXPECT_EQ(other.HcMode(), 3);
}

TEST_F(OperationsTest, PowerOffEndsTheConnectionEvenWithoutAnAnswer) {
    connectTo(QStringLiteral("KM"));
    detector->faults().deadLine = true;
    EXPECT_TRUE(link->BodyPowerOff());
    EXPECT_EQ(received().first(), "RO,W,");
    EXPECT_FALSE(link->Connected());
    EXPECT_FALSE(link->PortOpen());
    const QString log = LinkLogText();
    EXPECT_TRUE(log.contains(LoadMessage(5506)));
    EXPECT_TRUE(log.contains(LoadMessage(5507)));
}

// ---- Reads ----

TEST_F(OperationsTest, IdentityAndHistoryReads) {
    connectTo(QStringLiteral("KM"));
    EXPECT_TRUE(link->GetRomNo(record));
    EXPECT_EQ(received(),
              (QList<QByteArray>{"VP,R,", "XZ,R,", "XS,R,", "IN,R,", "HN,R,", "GJ,R,"}));
    EXPECT_TRUE(record.GasEnabled(0));
    // The detector sends its whole history, one record a block, the latest last: the latest is
    // the one kept (KM: three calibrations, two bump tests).
    EXPECT_TRUE(link->GetLatestHistory(record));
    EXPECT_EQ(OleToDateTime(record.CalibDate(0)), QDateTime(QDate(2025, 3, 5), QTime(14, 12)));
    EXPECT_EQ(record.CalibBefore(0), 49.0f);
    EXPECT_EQ(record.CalibAfter(0), 50.0f);
    EXPECT_TRUE(link->GetLatestBumpHistory(record));
    EXPECT_EQ(OleToDateTime(record.BumpDates(0)), QDateTime(QDate(2025, 4, 1), QTime(7, 45)));
    EXPECT_EQ(record.BumpResult(0), 26.0f);
    EXPECT_EQ(record.BumpConcentration(0), 25.0f);
}

TEST_F(OperationsTest, AFailedSingleReadLeavesNoValueButNoEditToWriteBack) {
    connectTo(QStringLiteral("KM"));
    clsInstrument holder;
    link->setInstrument(&holder);
    ASSERT_TRUE(link->GetGasInfo(record));
    EXPECT_EQ(link->Instrument(), &holder) << "the link's record is given back";
    detector->faults().deadLine = true;
    record.ClearChangeFlags();
    record.setAutoCalib(0, 50);
    record.setChange_AutoCal(0, false);
    EXPECT_FALSE(link->GetGasInfo(record));
    EXPECT_FALSE(record.GasEnabled(0));
    EXPECT_FALSE(link->GetAutoCalDensty(record));
    EXPECT_EQ(record.AutoCalib(0), clsInstrument::NoValue);
    EXPECT_EQ(link->Status(), 2);
    EXPECT_FALSE(record.Change_GasEnable(0));
    EXPECT_FALSE(record.Change_AutoCal(0));
    // So a write that follows does not erase the detector's gas or calibration gas.
    detector->faults().deadLine = false;
    detector->clearReceivedFrames();
    EXPECT_FALSE(link->SetInstrument(record));
    EXPECT_TRUE(received().isEmpty());
}

// ---- Concentration polling ----

TEST_F(OperationsTest, ConcentrationIsPolledEverySecondWhileRunning) {
    connectTo(QStringLiteral("KM"));
    int readings = 0;
    QObject::connect(link.get(), &uclHvif::Densty, [&](float&) { ++readings; });
    link->setRunDensty(true);
    EXPECT_TRUE(link->RunDensty());
    clock->advance(3500);
    EXPECT_EQ(received().count("DN,R,"), 3);
    EXPECT_EQ(readings, 3);
    link->setRunDensty(false);
    EXPECT_FALSE(link->RunDensty());
    clock->advance(3000);
    EXPECT_EQ(received().count("DN,R,"), 3);
}

TEST_F(OperationsTest, AnUnansweredReadingIsAbandonedAtTheNextSecond) {
    connectTo(QStringLiteral("KM"));
    link->setTimeout(10);
    detector->faults().deadLine = true;
    link->setRunDensty(true);
    clock->advance(2500);
    EXPECT_TRUE(LinkLogText().contains(QStringLiteral("--- Current reading download time out.")));
    EXPECT_EQ(link->Status(), 2);
    link->setRunDensty(false);
}

} // namespace
