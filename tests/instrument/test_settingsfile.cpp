#include "common/SampleRecords.h"
#include "instrument/MasterCompare.h"
#include "instrument/SettingsFile.h"
#include "instrument/WireFormat.h"
#include "instrument/clsInstrument.h"
#include "shell/Messages.h"
#include "shell/modGasCommon.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class SettingsFileTest : public ::testing::TestWithParam<QLocale> {
protected:
    void SetUp() override {
        QLocale::setDefault(GetParam());
        ASSERT_TRUE(dir.isValid());
    }
    void TearDown() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    QString path(const QString& name) const { return dir.filePath(name); }
    QString writeText(const QString& name, const QByteArray& text) const {
        QFile f(path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return path(name);
    }
    QTemporaryDir dir;
};

// The whole file of the sample record of each model, written out by hand from the file's line
// table: order, field widths, hexadecimal and decimal fields, the model-only AT and AK lines,
// "*****" for an absent level, a comma after every line and CR LF, in every locale.
TEST_P(SettingsFileTest, GoldenFileOfEachModelIsWrittenAndReadBack) {
    const auto golden = [](const char* gasdef, const char* modelLine, const char* a1,
                           const char* a2, const char* aw, const char* sa) {
        return QByteArray("BS,W,SP-0001   ,\r\n"
                          "XZ,W,USER 7          ,\r\n"
                          "XS,W,LINE A          ,\r\n"
                          "IN,W,KM71-000123         ,\r\n"
                          "HN,W,MFG-55              ,\r\n"
                          "GJ,W,") + gasdef + ",\r\n"
               "AP,W,3,\r\nAU,W,-2,\r\nSD,W,1,\r\nSC,W,005A,\r\nSM,W,1,\r\nXB,W,1,\r\n"
               "XW,W,1,\r\nXT,W,001E,\r\nAI,W,012C,\r\nAJ,W,000A,\r\nAB,W,2,\r\nBV,W,1,\r\n"
               "BJ,W,1,\r\nBK,W,001E,\r\nBL,W,1,\r\nBU,W,3C,14,5A,1,\r\n" +
               modelLine + "JW,W,1,\r\nJH,W,2501070930,\r\nSE,W,0A,\r\n"
               "A1,W," + a1 + ",\r\nA2,W," + a2 + ",\r\nAS,W,*****,\r\nAW,W," + aw +
               ",\r\nSA,W," + sa + ",\r\n"
               "XP,W,003C,\r\nUJ,W,1,\r\nSJ,W,1,\r\nSG,W,1,\r\nPN,W,5,\r\nPM,W,1,\r\n"
               "PS,W,250101,\r\nPG,W,1,1234,\r\nMP,W,1,1234,\r\n";
    };
    const struct {
        const char* gas;
        const char* model;
        QByteArray bytes;
    } cases[] = {
        {"CH4", "KM", golden("CH4   100    1%LEL", "", "   10", "   50", "*****", "   50")},
        {"O2", "QZ", golden("O2   25.0  0.1VOL%", "AT,W,2,\r\n", " 19.5", " 18.0", "*****", " 20.9")},
        {"CO", "VL", golden("CO    500    1ppm ", "AK,W,1,\r\n", "   10", "   50", "   25", "   50")},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(SettingsFile::Write(SampleRecord(c.gas), path("out.seq")));
        QFile written(path("out.seq"));
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_EQ(written.readAll(), c.bytes) << c.gas;

        // Read into a fresh record: the hexadecimal and value fields convert back, and the
        // record writes the same bytes again.
        clsInstrument back;
        const auto result = SettingsFile::Read(writeText("golden.seq", c.bytes), back);
        ASSERT_TRUE(result.ok) << qPrintable(result.error);
        EXPECT_TRUE(result.warnings.isEmpty()) << qPrintable(result.warnings.join('|'));
        EXPECT_EQ(back.ModelTyp(), c.model);
        EXPECT_EQ(back.CalLimit(), 90);
        EXPECT_EQ(back.AIdata(), 300);
        EXPECT_EQ(back.AlarmMode2(), -2);
        EXPECT_EQ(back.Stel(0), -101.0f);
        EXPECT_EQ(back.UserPassword2(), "1234");
        EXPECT_EQ(SettingsFile::Lines(back).join("\r\n").toLatin1() + "\r\n", c.bytes) << c.gas;
    }
}

TEST_P(SettingsFileTest, ReaderRulesAndWarnings) {
    const QString file = writeText("c.seq",
                                   "bs,w,ABC,;note\r\n"
                                   "ZZ,W,1,\n"
                                   "; a remark\r"
                                   "\r\n"
                                   "BU,W,060,020,090,1,\r\n"
                                   "MP,W,1,\r\n"
                                   "A1,W,OVER,\r\n"
                                   "A2,W,12.5,\r\n"
                                   "GJ,W,O2   25.0  0.1VOL%,\r\n");
    clsInstrument r;
    r.setUseUserPassword(0);
    r.setUserPassword2("9999");
    const auto result = SettingsFile::Read(file, r);
    ASSERT_TRUE(result.ok) << qPrintable(result.error);
    EXPECT_EQ(result.warnings,
              QStringList({"unknown ZZ", "unknown  A REMARK", "obsolute BU format"}));
    EXPECT_EQ(r.SpecNo(), "ABC");
    EXPECT_EQ(r.BumpTime(), 60);
    EXPECT_EQ(r.BumpThreshold(), 20);
    EXPECT_EQ(r.BumpFailCalTime(), 90);
    EXPECT_EQ(r.BumpFailAfter(), 1);
    EXPECT_EQ(r.UseUserPassword(), 0); // MP with fewer than four fields is ignored
    EXPECT_EQ(r.UserPassword2(), "9999");
    EXPECT_EQ(r.Warning(0), -107.0f);
    EXPECT_FLOAT_EQ(r.Alarm(0), 12.5f);
    EXPECT_EQ(r.ModelTyp(), "QZ");
    EXPECT_EQ(r.GasPoint(0), 1);

    clsInstrument silent;
    const auto hexForm = SettingsFile::Read(writeText("d.seq", "BU,W,3C,14,5A,1,\r\n"), silent);
    EXPECT_TRUE(hexForm.warnings.isEmpty());
    EXPECT_EQ(silent.BumpTime(), 60);
    EXPECT_EQ(silent.BumpFailCalTime(), 90);
}

TEST(SettingsFileLines, EndAtCrLfLfAndCrAsTheRegularExpressionSplitsThem) {
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\n|\r"));
    for (const char* text : {"", "a", "a\r\n", "a\rb\nc\r\nd", "\r\r\n\n\r", "\n\r", "a\r", "\r"}) {
        QStringList expected = QString::fromUtf8(text).split(lineEnd);
        if (!expected.isEmpty() && expected.last().isEmpty()) expected.removeLast();
        EXPECT_EQ(SettingsFile::LinesOfText(text), expected) << text;
    }
}

TEST_P(SettingsFileTest, ConversionErrorNamesTheLineAndChangesNothing) {
    clsInstrument working = SampleRecord("CH4");
    clsInstrument master;
    const clsInstrument workingBefore = working;
    const QString file = writeText("e.seq", "BS,W,NEW,\r\nAP,W,12,\r\nSC,W,XYZ,\r\nXT,W,0010,\r\n");
    const auto result = SettingsFile::Import(file, working, master);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.errorLine, 3);
    EXPECT_TRUE(result.error.contains("Line 3")) << qPrintable(result.error);
    EXPECT_EQ(SettingsFile::Lines(working), SettingsFile::Lines(workingBefore));
    EXPECT_EQ(working.SpecNo(), "SP-0001");
    EXPECT_FALSE(master.ImportFlag());

    // A gas definition with a negative full scale could not be written back readably.
    const QString negative =
        writeText("n.seq", "BS,W,NEW,\r\nGJ,W,O2   -5.0  0.1VOL%,\r\nAT,W,2,\r\n");
    const auto refused = SettingsFile::Import(negative, working, master);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.errorLine, 2);
    EXPECT_EQ(SettingsFile::Lines(working), SettingsFile::Lines(workingBefore));

    const auto missing = SettingsFile::Read(path("nothing-here.seq"), working);
    EXPECT_FALSE(missing.ok);
    EXPECT_TRUE(missing.error.contains("nothing-here.seq"));
}

TEST_P(SettingsFileTest, ImportFlagsWorkingAndMaster) {
    ASSERT_TRUE(SettingsFile::Write(SampleRecord("CH4"), path("f.seq")));
    clsInstrument working, master;
    const auto result = SettingsFile::Import(path("f.seq"), working, master);
    ASSERT_TRUE(result.ok) << qPrintable(result.error);
    EXPECT_TRUE(working.ImportFlag());
    EXPECT_TRUE(master.ImportFlag());
    EXPECT_FALSE(working.Change_UserID());
    EXPECT_FALSE(working.Change_SerialNo());
    EXPECT_TRUE(working.Change_AlarmMode());
    EXPECT_TRUE(working.Change_Warn(0));
    EXPECT_EQ(working.UserID(), "USER 7");

    // The master's flags are exactly the settings the file holds.
    clsInstrument m2, w2;
    ASSERT_TRUE(SettingsFile::Import(writeText("g.seq", "XZ,W,OP1,\r\nA1,W, 10,\r\n"), w2, m2).ok);
    EXPECT_TRUE(m2.Change_UserID());
    EXPECT_TRUE(m2.Change_Warn(0));
    EXPECT_FALSE(m2.Change_Alarm(0));
    EXPECT_FALSE(m2.Change_AlarmMode());
    EXPECT_TRUE(w2.Change_Alarm(0));
    EXPECT_FALSE(w2.Change_UserID());
}

TEST_P(SettingsFileTest, ShownStoredAndSentAgree) {
    // One rounding rule: the decimal text a person reads, halves away from zero.
    const struct {
        float value;
        const char* shown[4]; // with 0 .. 3 decimal places
    } cases[] = {
        {18.05f, {"18", "18.1", "18.05", "18.050"}}, {0.125f, {"0", "0.1", "0.13", "0.125"}},
        {2.35f, {"2", "2.4", "2.35", "2.350"}},      {99.95f, {"100", "100.0", "99.95", "99.950"}},
        {0.0049f, {"0", "0.0", "0.00", "0.005"}},
    };
    for (const auto& c : cases) {
        for (int places = 0; places <= 3; ++places) {
            const char* what = c.shown[places];
            const QString shown = QString::fromLatin1(what);
            const QString field = shown.rightJustified(5).right(5);
            clsInstrument r = SampleRecord("CH4");
            r.setGasPoint(0, qint16(places));
            r.setWarning(0, c.value);
            EXPECT_EQ(FormatReading(c.value, places).replace(QLocale().decimalPoint(), "."), shown);
            EXPECT_EQ(WireFormat::Val5(c.value, places), field) << what;
            EXPECT_TRUE(SettingsFile::Lines(r).contains("A1,W," + field + ",")) << what;
            EXPECT_EQ(RoundToPlaces(c.value, places), ParseLocaleNumber(shown)) << what;
        }
    }
    // A file's level is rounded once the gas's places are known (its GJ line may come later).
    const QString file = writeText("r.seq", "A1,W,18.05,\r\nGJ,W,O2   25.0  0.1VOL%,\r\n");
    clsInstrument working, master;
    ASSERT_TRUE(SettingsFile::Import(file, working, master).ok);
    EXPECT_EQ(working.Warning(0), 18.1f);
    EXPECT_EQ(master.Warning(0), 18.1f);
}

TEST_P(SettingsFileTest, ExportToAMissingFolderIsAnError) {
    QString error;
    EXPECT_FALSE(SettingsFile::Write(SampleRecord("CH4"), path("no/such/folder/x.seq"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(path("no/such/folder/x.seq")));
}

INSTANTIATE_TEST_SUITE_P(Locales, SettingsFileTest,
                         ::testing::Values(QLocale(QLocale::English, QLocale::UnitedStates),
                                           QLocale(QLocale::German, QLocale::Germany)));

class MasterCompareTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetMessageLanguage("EN");
        ASSERT_TRUE(dir.isValid());
    }
    // Loads `text` as a master file into `master` as an import does, returning it.
    clsInstrument loadMaster(const QByteArray& text, clsInstrument master = {}) {
        QFile f(dir.filePath("m.seq"));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        f.close();
        clsInstrument working;
        EXPECT_TRUE(SettingsFile::Import(dir.filePath("m.seq"), working, master).ok);
        return master;
    }
    static QStringList texts(const MasterCompare::Result& r) {
        QStringList out;
        for (const auto& d : r.differences) out << d.text;
        return out;
    }
    QTemporaryDir dir;
};

TEST_F(MasterCompareTest, NothingLoadedComparesNothing) {
    const auto r = MasterCompare::Compare(clsInstrument(), SampleRecord("CH4"));
    EXPECT_FALSE(r.compared);
    EXPECT_FALSE(r.allOk());
}

TEST_F(MasterCompareTest, EqualFileIsOk) {
    const clsInstrument working = SampleRecord("CH4");
    ASSERT_TRUE(SettingsFile::Write(working, dir.filePath("all.seq")));
    clsInstrument w, master;
    ASSERT_TRUE(SettingsFile::Import(dir.filePath("all.seq"), w, master).ok);
    const auto r = MasterCompare::Compare(master, working);
    EXPECT_TRUE(r.allOk()) << qPrintable(texts(r).join('|'));
    EXPECT_EQ(MasterCompare::OkText(), " Compare MASTER OK");
}

TEST_F(MasterCompareTest, DifferencesInTableOrderWithSuffixRule) {
    clsInstrument working = SampleRecord("CH4");
    clsInstrument master = loadMaster("A1,W,51,\r\nIN,W,OTHER,\r\nXZ,W,SOMEONE,\r\n"
                                      "GJ,W,CH4   100    1%LEL,\r\nXP,W,0000,\r\n");
    working.setWarning(0, 50.0f);
    const auto r = MasterCompare::Compare(master, working);
    // The interval line is compared although it holds what a fresh record holds (0).
    EXPECT_EQ(texts(r), QStringList({"User ID", "Serial No. <> MASTER", "Warning <> MASTER",
                                     "Interval Trend Time (Sec) <> MASTER"}));
    EXPECT_EQ(r.differences.first().message, 5610);

    // A gas that differs is one line for the channel.
    working.setGasUnit(0, "ppm");
    EXPECT_TRUE(texts(MasterCompare::Compare(master, working)).contains("Gas0 <> MASTER"));
}

TEST_F(MasterCompareTest, EveryLineOfASecondMasterIsCompared) {
    // A second master into the same master record, holding the first one's value.
    const struct {
        const char* line;
        void (*differ)(clsInstrument&);
        const char* difference;
    } cases[] = {
        // clang-format off
        {"XP,W,003C,", [](clsInstrument& d) { d.setIntervals(30); }, "Interval Trend Time (Sec) <> MASTER"},
        {"AP,W,3,", [](clsInstrument& d) { d.setAlarmMode(1); }, "Alarm pattern(1st) <> MASTER"},
        {"SC,W,005A,", [](clsInstrument& d) { d.setCalLimit(30); }, "Cal.Interval(Days) <> MASTER"},
        // clang-format on
    };
    for (const auto& c : cases) {
        const clsInstrument first = loadMaster(QByteArray("BS,W,FIRST,\r\n") + c.line);
        const clsInstrument master = loadMaster(QByteArray("BS,W,SECOND,\r\n") + c.line, first);
        clsInstrument detector = SampleRecord("CH4");
        c.differ(detector);
        EXPECT_EQ(texts(MasterCompare::Compare(master, detector)), QStringList{c.difference});
    }
}

TEST_F(MasterCompareTest, ModelOnlySettingsFollowTheMastersModel) {
    clsInstrument working = SampleRecord("O2");
    working.setAlarmO2(1);
    const clsInstrument qz = loadMaster("GJ,W,O2   25.0  0.1VOL%,\r\nAT,W,2,\r\n");
    // The gas definitions agree; the oxygen alarm type differs.
    EXPECT_EQ(texts(MasterCompare::Compare(qz, working)), QStringList{"OXY Alarm type <> MASTER"});
    const clsInstrument km = loadMaster("GJ,W,CH4   100    1%LEL,\r\nAT,W,2,\r\n");
    EXPECT_FALSE(texts(MasterCompare::Compare(km, working)).contains("OXY Alarm type <> MASTER"));
}

TEST_F(MasterCompareTest, StructuredDifferencesAreAdoptedExactly) {
    clsInstrument detector = SampleRecord("CH4");
    detector.setAlarmMode(0);
    clsInstrument source = detector;
    source.setAlarmMode(1);
    source.setWarning(0, source.Warning(0) + 5.0f);
    source.setCalLimit(detector.CalLimit() + 10);
    source.setUserID("OTHER");
    ASSERT_TRUE(SettingsFile::Write(source, dir.filePath("all.seq")));
    clsInstrument unused, master;
    ASSERT_TRUE(SettingsFile::Import(dir.filePath("all.seq"), unused, master).ok);

    const auto r = MasterCompare::Compare(master, detector);
    QStringList keys;
    for (const auto& d : r.differences) keys << d.key;
    ASSERT_EQ(keys, QStringList({"UserID", "AlarmMode", "CalLimit", "Warning"}));
    const struct {
        int index;
        QString caption, detector, master;
    } shown[] = {
        {0, "User ID", detector.UserID(), "OTHER"},
        {1, "Alarm pattern(1st)", "Reset", "Latch"},
        {3, "Warning", FormatReading(detector.Warning(0), detector.GasPoint(0)),
         FormatReading(source.Warning(0), detector.GasPoint(0))},
    };
    for (const auto& s : shown) {
        const auto& d = r.differences.at(s.index);
        EXPECT_EQ(d.caption, s.caption);
        EXPECT_EQ(d.detector, s.detector) << qPrintable(s.caption);
        EXPECT_EQ(d.master, s.master) << qPrintable(s.caption);
    }
    EXPECT_TRUE(MasterCompare::IsIdentityKey("UserID"));
    EXPECT_FALSE(MasterCompare::IsIdentityKey("AlarmMode"));

    // Two of four taken over: only their flags are raised, the other two still differ.
    clsInstrument working = detector;
    working.SetChangeFlags(true, true);
    EXPECT_EQ(MasterCompare::AdoptFromMaster(master, working, {"AlarmMode", "Warning", "Nope"}),
              QStringList{"Nope"});
    EXPECT_TRUE(working.Change_AlarmMode());
    EXPECT_TRUE(working.Change_Warn(0));
    EXPECT_FALSE(working.Change_CalLimit());
    EXPECT_FALSE(working.Change_UserID());
    EXPECT_FALSE(working.Change_Interval());
    QStringList left;
    for (const auto& d : MasterCompare::Compare(master, working).differences) left << d.key;
    EXPECT_EQ(left, QStringList({"UserID", "CalLimit"}));

    // Every key of every setting a full master sets can be taken over.
    source = SampleRecord("O2");
    source.setModelTyp("QZ");
    ASSERT_TRUE(SettingsFile::Write(source, dir.filePath("o2.seq")));
    clsInstrument o2;
    ASSERT_TRUE(SettingsFile::Import(dir.filePath("o2.seq"), unused, o2).ok);
    working = detector;
    keys.clear();
    for (const auto& d : MasterCompare::Compare(o2, working).differences) keys << d.key;
    EXPECT_GT(keys.size(), 3);
    EXPECT_TRUE(MasterCompare::AdoptFromMaster(o2, working, keys).isEmpty());
    EXPECT_TRUE(MasterCompare::Compare(o2, working).allOk())
        << qPrintable(texts(MasterCompare::Compare(o2, working)).join('|'));
}

} // namespace
