// Reading and writing a whole detector against the simulated detector, in virtual time.
#include "common/LinkLogFile.h"
#include "common/SampleRecords.h"
#include "common/SimLink.h"
#include "common/TempStartupFolder.h"

#include "instrument/clsInstrument.h"
#include "shell/Messages.h"

#include <QLocale>
#include <functional>
#include <gtest/gtest.h>

namespace {

class TransferTest : public ::testing::Test, protected SimLink {
protected:
    void SetUp() override { ASSERT_TRUE(m_folder.isValid()); }
    void TearDown() override {
        closeSimLink();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    // A link on virtual time, connected to a simulated detector of the model.
    void connectTo(const QString& model) {
        makeSimLink(model, &record);
        ASSERT_TRUE(connectSimLink());
        detector->clearReceivedFrames();
    }
    // The detector stops answering once it receives a request whose text starts with head.
    void dieOn(const QByteArray& head) {
        QObject::connect(detector.get(), &SimDetector::frameReceived,
                         [this, head](const QByteArray& frame) {
                             if (frame.mid(5).startsWith(head)) detector->faults().deadLine = true;
                         });
    }

    TempStartupFolder m_folder;
    clsInstrument record;
};

// ---- Reading ----

QList<QByteArray> ReadSequence(bool withAT, bool withAK) {
    QList<QByteArray> out;
    for (const char* c :
         {"VP", "XZ", "XS", "IN", "HN", "HC", "AP", "AU", "XP", "RC", "SD", "SM", "SC",
          "AI", "AJ", "XW", "XT", "SZ", "S1", "GJ", "A1", "A2", "AS", "AW", "HA", "VS",
          "SA", "AT", "PG", "XB", "AB", "PN", "PM", "BS", "PS", "UJ", "SJ", "SG", "MP",
          "BJ", "BK", "BL", "BU", "BV", "AK", "JW", "JH", "SE", "RA"}) {
        const QByteArray code(c);
        if ((code == "AT" && !withAT) || (code == "AK" && !withAK)) continue;
        out << code + ",R,";
    }
    return out;
}

TEST_F(TransferTest, ReadWalksTheTableInOrderAndSkipsWhatTheModelLacks) {
    struct Case {
        const char* model;
        bool at, ak;
    };
    for (const Case& c :
         {Case{"KM", false, false}, Case{"QZ", true, false}, Case{"VL", false, true}}) {
        SCOPED_TRACE(c.model);
        connectTo(QString::fromLatin1(c.model));
        record.setAK(5);
        EXPECT_TRUE(link->GetInstrument(record));
        EXPECT_EQ(received(), ReadSequence(c.at, c.ak));
        EXPECT_EQ(record.ModelTyp(), QString::fromLatin1(c.model));
        EXPECT_EQ(link->Instrument(), &record);
        if (!c.ak) {
            EXPECT_EQ(record.AK(), 0);
        }
        if (!c.at) {
            EXPECT_EQ(record.AlarmO2(), 0) << "1 after clearing; 0 without the command";
        }
        EXPECT_FALSE(record.Change_AK());
        EXPECT_FALSE(record.Change_AlarmO2());
    }
}

TEST_F(TransferTest, AFailedReadStopsAtTheFailingCommand) {
    connectTo(QStringLiteral("KM"));
    dieOn("GJ,R,");
    EXPECT_FALSE(link->GetInstrument(record));
    const QList<QByteArray> texts = received();
    const qsizetype gj = texts.indexOf("GJ,R,");
    ASSERT_EQ(gj, 19);
    EXPECT_EQ(texts.mid(0, gj), ReadSequence(false, false).mid(0, gj));
    for (qsizetype i = gj; i < texts.size(); ++i)
        EXPECT_EQ(texts.at(i), "GJ,R,") << "only repeats of GJ after it";
}

// ---- Writing ----

TEST_F(TransferTest, EachFlaggedSettingIsSentInItsFormatThenCommitted) {
    struct Case {
        const char* name;
        std::function<void(clsInstrument&)> edit;
        QByteArray expected;
        bool echoed = true; // the detector echoes the value the record holds
    };
    const Case cases[] = {
        {"alarm level",
         [](clsInstrument& r) {
             r.setGasPoint(0, 1);
             r.setAlarm(0, 50);
         },
         "A2,W, 50.0"},
        {"no value", [](clsInstrument& r) { r.setAlarm(0, clsInstrument::NoValue); }, "A2,W,*****"},
        {"bump settings",
         [](clsInstrument& r) {
             r.setBumpTime(60);
             r.setBumpThreshold(20);
             r.setBumpFailCalTime(90);
             r.setBumpFailAfter(1);
         },
         "BU,W,3C,14,5A,1"},
        {"calibration limit", [](clsInstrument& r) { r.setCalLimit(90); }, "SC,W,005A"},
        {"SE", [](clsInstrument& r) { r.setSE(10); }, "SE,W,0A"},
        {"AI keeps two digits", [](clsInstrument& r) { r.setAIdata(300); }, "AI,W,2C", false},
        {"no gas", [](clsInstrument& r) { r.setGasEnabled(0, false); }, "GJ,W,******************"},
        {"user id padded", [](clsInstrument& r) { r.setUserID(QStringLiteral("ABC")); },
         "XZ,W,ABC             "},
    };
    for (const char* locale : {"en_US", "de_DE"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(locale) + ": " + c.name);
            connectTo(QStringLiteral("QZ"));
            QLocale::setDefault(QLocale(QString::fromLatin1(locale)));
            record.ClearDatas();
            c.edit(record);
            record.setChange_GasPoint(0, false);
            const bool ok = link->SetInstrument(record);
            ASSERT_FALSE(received().isEmpty());
            EXPECT_EQ(received().first(), c.expected);
            if (!c.echoed) {
                EXPECT_FALSE(ok) << "an echo of another value fails the exchange";
                continue;
            }
            EXPECT_TRUE(ok);
            EXPECT_EQ(received(), (QList<QByteArray>{c.expected, "DW,W,"}));
            EXPECT_TRUE(link->NotWrittenSettings().isEmpty());
            // A second run right after has nothing to send.
            detector->clearReceivedFrames();
            EXPECT_FALSE(link->SetInstrument(record));
            EXPECT_TRUE(received().isEmpty());
        }
    }
}

// Every setting flagged: the frames the detector receives, in the order of the write sequence,
// written out by hand (the verified alarm group A1, A2, SA comes before AS and AW).
TEST_F(TransferTest, EverySettingFlaggedIsWrittenInTheSequenceOrder) {
    connectTo(QStringLiteral("QZ"));
    record = SampleRecord(QStringLiteral("O2"));
    record.setAIdata(30); // two hexadecimal digits on the wire, so the echo matches
    record.SetChangeFlags(true, true);
    record.setChange_DummySerial(true);
    EXPECT_TRUE(link->SetInstrument(record));
    const QList<QByteArray> expected = {
        "BS,W,SP-0001   ",         "XZ,W,USER 7          ",   "XS,W,LINE A          ",
        "IN,W,KM71-000123         ", "HN,W,MFG-55              ", "GJ,W,O2   25.0  0.1VOL%",
        "AP,W,3",    "AU,W,-2",    "SD,W,1",    "SC,W,005A", "SM,W,1",      "XB,W,1",
        "XW,W,1",    "XT,W,001E",  "AI,W,1E",   "AJ,W,0A",   "AB,W,2",      "BV,W,1",
        "BJ,W,1",    "BK,W,001E",  "BL,W,1",    "BU,W,3C,14,5A,1",          "AT,W,2",
        "JW,W,1",    "JH,W,2501070930",         "SE,W,0A",   "A1,W, 19.5",  "A2,W, 18.0",
        "SA,W, 20.9", "AS,W,*****", "AW,W,*****", "XP,W,003C", "UJ,W,1",    "SJ,W,1",
        "SG,W,1",    "PN,W,5",     "PM,W,1",    "PS,W,250101", "PG,W,1,1234", "MP,W,1,1234",
        "DW,W,",
    };
    EXPECT_EQ(received(), expected);
}

TEST_F(TransferTest, ModelOnlySettingsAreNotSentToOtherModels) {
    connectTo(QStringLiteral("QZ"));
    record.ClearDatas();
    record.setModelTyp(QStringLiteral("QZ"));
    record.setAK(1);
    EXPECT_FALSE(link->SetInstrument(record)) << "nothing was written";
    EXPECT_TRUE(received().isEmpty());
    EXPECT_TRUE(record.Change_AK());
}

TEST_F(TransferTest, AFailedRowStopsTheRunAndKeepsTheLaterFlags) {
    connectTo(QStringLiteral("KM"));
    record.ClearDatas();
    record.setDispCalLimit(1); // row 9
    record.setCalLimit(90);    // row 10, fails
    record.setCalCheck(1);     // row 11
    record.setUseUserPassword(1);
    dieOn("SC,W,");
    const QDateTime start = clock->currentDateTime();
    EXPECT_FALSE(link->SetInstrument(record));
    const QList<QByteArray> texts = received();
    ASSERT_GE(texts.size(), 2);
    EXPECT_EQ(texts.first(), "SD,W,1");
    for (qsizetype i = 1; i < texts.size(); ++i)
        EXPECT_EQ(texts.at(i), "SC,W,005A") << "nothing after the failed row, no DW";
    EXPECT_FALSE(record.Change_DispCalLimit());
    EXPECT_TRUE(record.Change_CalLimit());
    EXPECT_TRUE(record.Change_CalCheck());
    EXPECT_TRUE(record.Change_UseUserPassword());
    const QString log = LinkLogText();
    EXPECT_TRUE(log.contains(LoadMessage(5536, {GeneralDateText(start)})));
    EXPECT_TRUE(log.contains(LoadMessage(5538, {GeneralDateText(clock->currentDateTime())})));
    EXPECT_FALSE(log.contains(QStringLiteral("Upload Finished")));
}

TEST_F(TransferTest, ASuccessfulRunLogsItsStartAndEndWithTheTime) {
    connectTo(QStringLiteral("KM"));
    record.ClearDatas();
    record.setJW(1);
    const QDateTime start = clock->currentDateTime();
    ASSERT_TRUE(link->SetInstrument(record));
    const QString log = LinkLogText();
    EXPECT_TRUE(log.contains(LoadMessage(5536, {GeneralDateText(start)})));
    EXPECT_TRUE(log.contains(LoadMessage(
        5537, {GeneralDateText(clock->currentDateTime()), QStringLiteral("00:00:00")})));
}

TEST_F(TransferTest, AnAlarmLevelWhoseEchoNeverMatchesIsReportedAsNotWritten) {
    connectTo(QStringLiteral("KM"));
    record.ClearDatas();
    record.setWarning(0, 10);
    detector->faults().wrongEchoEvery = 1;
    EXPECT_FALSE(link->SetInstrument(record));
    EXPECT_EQ(received(), (QList<QByteArray>{"A1,W,   10", "A1,W,   10", "A1,W,   10", "DW,W,"}));
    EXPECT_TRUE(record.Change_Warn(0));
    EXPECT_EQ(link->NotWrittenSettings(), QStringList{QStringLiteral("Warning")});
    const QString log = LinkLogText();
    EXPECT_TRUE(log.contains(QStringLiteral("Warning not written")));
    EXPECT_TRUE(log.contains(LoadMessage(5538, {GeneralDateText(clock->currentDateTime())})));
}

TEST_F(TransferTest, AnEchoThatMatchesInTheSecondPassCountsAsWritten) {
    connectTo(QStringLiteral("KM"));
    record.ClearDatas();
    record.setWarning(0, 10);
    record.setAutoCalib(0, 50);
    detector->faults().wrongEchoNth = 1;
    EXPECT_TRUE(link->SetInstrument(record));
    EXPECT_EQ(received(), (QList<QByteArray>{"A1,W,   10", "SA,W,   50", "A1,W,   10", "DW,W,"}));
    EXPECT_FALSE(record.Change_Warn(0));
    EXPECT_FALSE(record.Change_AutoCal(0));
    EXPECT_TRUE(link->NotWrittenSettings().isEmpty());
}

} // namespace
