// The factory record file (name, header, every column's text, appending) and the A/D values
// list, under a "." and a "," locale.
#include "UiTestSupport.h"

#include "common/TempStartupFolder.h"
#include "configuration/ToolSettings.h"
#include "instrument/clsInstrument.h"
#include "records/FactoryRecord.h"
#include "shell/AppState.h"
#include "shell/Messages.h"
#include "shell/OleDate.h"
#include "ui/FactoryRecordBox.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <gtest/gtest.h>

namespace {

const QDateTime kNow(QDate(2025, 3, 4), QTime(10, 20, 30));

// Each test in its own start-up folder, with English texts, the en_US locale and no suffix.
class FactoryRecordTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_folder.isValid());
        m_savedSuffix = Tool().FactoryRecordSuffix;
        SetMessageLanguage(QStringLiteral("EN"));
        Tool().FactoryRecordSuffix.clear();
    }
    void TearDown() override {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        Tool().FactoryRecordSuffix = m_savedSuffix;
    }

    // A KM detector with a value in every column.
    static clsInstrument Detector() {
        clsInstrument r;
        r.setModelTyp(QStringLiteral("KM"));
        r.setSpecNo(QStringLiteral("SP-KM71-01"));
        r.setSerialNo(QStringLiteral("SN123"));
        r.setDummySerial(QStringLiteral("FN456"));
        r.setRomNumber(712);
        r.setSUM(QStringLiteral("3A7C"));
        r.setStationID(QStringLiteral("ST1"));
        r.setUserID(QStringLiteral("US1"));
        r.setAlarmMode(1);
        r.setAlarmMode2(2);
        r.setCalLimit(90);
        r.setDispCalLimit(1);
        r.setCalCheck(1);
        r.setIntervals(60);
        r.setLogOverWrite(0);
        r.setSpecType(QStringLiteral("2"));
        r.setLcdBackLight(30);
        r.setAIdata(10);
        r.setAJdata(5);
        r.setABdata(1);
        r.setAutoZero(1);
        r.setDemandZero(0);
        r.setSpanAllowance(1);
        r.setBumpFailBehavior(1);
        r.setSensorDate(QStringLiteral("240115"));
        r.setPasswordProtect(0);
        r.setUseUserPassword(1);
        r.setUserPassword2(QStringLiteral("1234"));
        r.setBumpFunction(1);
        r.setBumpLimit(30);
        r.setDispBumpLimit(0);
        r.setBumpCheck(2);
        r.setBumpTime(60);
        r.setBumpThreshold(50);
        r.setBumpFailCalTime(90);
        r.setBumpFailAfter(1);
        r.setGasEnabled(0, true);
        r.setGasName(0, QStringLiteral("CH4"));
        r.setGasPoint(0, 1);
        r.setWarning(0, 12.5f);
        r.setAlarm(0, 50.0f);
        r.setStel(0, clsInstrument::NoValue);
        r.setTwa(0, clsInstrument::NoValue);
        r.setAutoCalib(0, 25.25f);
        r.setCalibDate(0, DateTimeToOle(QDateTime(QDate(2024, 12, 1), QTime(8, 5, 9))));
        r.setCalibBefore(0, 48.0f);
        r.setCalibAfter(0, 50.0f);
        r.setBumpDates(0, DateTimeToOle(QDateTime(QDate(2025, 2, 2), QTime(14, 0, 0))));
        r.setBumpResult(0, 49.0f);
        r.setBumpConcentration(0, 50.0f);
        r.setSZ(0, 512.0f);
        r.setS1(0, 1.5f);
        r.setConfirmation(1);
        r.setJW(0);
        r.setJH(QStringLiteral("2503040800"));
        r.setSE(10);
        return r;
    }

    // The lines of a file, split at CR LF (a lone LF would stay inside a line).
    static QStringList FileLines(const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return {};
        QStringList lines = QString::fromLocal8Bit(file.readAll()).split(QStringLiteral("\r\n"));
        if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
        return lines;
    }

    TempStartupFolder m_folder;
    QString m_savedSuffix;
};

TEST_F(FactoryRecordTest, FileNameCarriesTheSuffixBeforeTheExtension) {
    const QDir folder(m_folder.path());
    EXPECT_EQ(FactoryRecordPath(QString()), folder.filePath(QStringLiteral("KM71_Setting.csv")));
    EXPECT_EQ(FactoryRecordPath(QStringLiteral("A1")),
              folder.filePath(QStringLiteral("KM71_SettingA1.csv")));

    Tool().FactoryRecordSuffix = QStringLiteral("A1");
    RecordingPrompts prompts;
    WriteFactoryRecord(Detector(), kFactoryRecordRead, nullptr, &prompts);
    EXPECT_TRUE(prompts.boxes.isEmpty());
    EXPECT_TRUE(QFile::exists(folder.filePath(QStringLiteral("KM71_SettingA1.csv"))));
    EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("KM71_Setting.csv"))));
}

// Header and data line under both kinds of locale: the separator follows the locale, the
// concentrations keep their ".", the plain numbers follow the locale.
TEST_F(FactoryRecordTest, HeaderAndDataLineInBothLocales) {
    struct Case {
        QLocale locale;
        QString separator;
        QString span;
    };
    const Case cases[] = {
        {QLocale(QLocale::English, QLocale::UnitedStates), QStringLiteral(","), "1.5"},
        {QLocale(QLocale::German, QLocale::Germany), QStringLiteral(";"), "1,5"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.separator.toStdString());
        QLocale::setDefault(c.locale);
        const QString path = FactoryRecordPath(c.separator == "," ? "Dot" : "Comma");
        clsInstrument record = Detector();
        record.setSysDateOffset(0.0);
        ASSERT_TRUE(AppendFactoryRecord(path, record, kFactoryRecordWrite, kNow));

        const QStringList lines = FileLines(path);
        ASSERT_EQ(lines.size(), 2);
        const QStringList header = lines[0].split(c.separator);
        ASSERT_EQ(header.size(), kFactoryRecordColumns);
        EXPECT_EQ(header.first(), "Action");
        EXPECT_EQ(header[2], "71-Series Date/Time");
        EXPECT_EQ(header[38], "Calibration Time(60-120sec) after Bump Test Failed");
        EXPECT_EQ(header[40], "Gas");
        EXPECT_EQ(header.last(), "One Touch Cal. Time(0-120sec)");

        const QStringList expected = {"Write",
                                      "2025/03/04 10:20:30",
                                      "2025/03/04 10:20:30",
                                      "KM",
                                      "SP-KM71-01",
                                      "SN123",
                                      "FN456",
                                      "00712",
                                      "3A7C",
                                      "ST1",
                                      "US1",
                                      "Latch",
                                      "Latch + Reset",
                                      "90",
                                      "ON",
                                      "Can't use",
                                      "60",
                                      "OFF",
                                      "Germany",
                                      "-",
                                      "30",
                                      "10",
                                      "5",
                                      "ON",
                                      "ON",
                                      "OFF",
                                      "ON",
                                      "Can Not Use",
                                      "240115",
                                      "OFF",
                                      "ON",
                                      "1234",
                                      "ON",
                                      "30",
                                      "OFF",
                                      "None",
                                      "60",
                                      "50",
                                      "90",
                                      "ON",
                                      "CH4",
                                      " 12.5",
                                      " 50.0",
                                      "*****",
                                      "*****",
                                      " 25.3",
                                      "2024/12/01 08:05:09",
                                      " 48.0",
                                      " 50.0",
                                      "2025/02/02 14:00:00",
                                      " 49.0",
                                      " 50.0",
                                      "512",
                                      c.span,
                                      "ON",
                                      "-",
                                      "OFF",
                                      "2503040800",
                                      "10"};
        ASSERT_EQ(expected.size(), kFactoryRecordColumns);
        EXPECT_EQ(lines[1].split(c.separator), expected);
    }
}

TEST_F(FactoryRecordTest, ModelDependentColumnsAndCodedTexts) {
    clsInstrument qz = Detector();
    qz.setModelTyp(QStringLiteral("QZ"));
    clsInstrument vl = Detector();
    vl.setModelTyp(QStringLiteral("VL"));
    struct Case {
        qint16 value;
        const char* oxygen;   // column 20 of a QZ
        const char* pattern;  // column 12
        const char* check;    // column 16
        const char* exposure; // column 56 of a VL (AK)
    };
    const Case cases[] = {{0, "L-H", "Reset", "Confirm to use", "TWA"},
                          {1, "L-LL", "Latch", "Can't use", "A-1H"},
                          {2, "H-HH", "Latch + Reset", "None", "TWA"},
                          {7, "L-H", "Reset", "7", "TWA"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        qz.setAlarmO2(c.value);
        qz.setAlarmMode(c.value);
        qz.setCalCheck(c.value);
        vl.setAK(c.value);
        const QStringList q = FactoryRecordFields(qz, kFactoryRecordRead, kNow);
        const QStringList v = FactoryRecordFields(vl, kFactoryRecordRead, kNow);
        EXPECT_EQ(q[19], c.oxygen);
        EXPECT_EQ(q[11], c.pattern);
        EXPECT_EQ(q[15], c.check);
        EXPECT_EQ(q[55], "-") << "only a VL has the TWA/A-1H setting";
        EXPECT_EQ(v[55], c.exposure);
        EXPECT_EQ(v[19], "-") << "only a QZ has the oxygen alarm type";
    }
}

TEST_F(FactoryRecordTest, DisabledGasKeepsAllFiftyNineColumns) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    clsInstrument record = Detector();
    record.setGasEnabled(0, false);
    const QString path = FactoryRecordPath(QString());
    ASSERT_TRUE(AppendFactoryRecord(path, record, kFactoryRecordWriteId, kNow));
    const QStringList fields = FileLines(path).value(1).split(QLatin1Char(';'));
    ASSERT_EQ(fields.size(), kFactoryRecordColumns);
    for (int column = 41; column <= 54; ++column)
        EXPECT_EQ(fields[column - 1], "-----") << "column " << column;
    EXPECT_EQ(fields[0], "WriteID");
    EXPECT_EQ(fields[54], "ON") << "the columns after the gas stay in place";
}

TEST_F(FactoryRecordTest, DetectorClockIsThePcTimePlusTheOffset) {
    clsInstrument record = Detector();
    record.setSysDateOffset(1.5); // the detector runs a day and a half ahead
    EXPECT_EQ(FactoryRecordFields(record, kFactoryRecordRead, kNow)[2], "2025/03/05 22:20:30");
    record.setSysDateOffset(-1.0 / 24.0);
    EXPECT_EQ(FactoryRecordFields(record, kFactoryRecordRead, kNow)[2], "2025/03/04 09:20:30");
    record.setSysDateOffset(1.0e9); // no date at all: the PC time stands in
    EXPECT_EQ(FactoryRecordFields(record, kFactoryRecordRead, kNow)[2], "2025/03/04 10:20:30");
}

TEST_F(FactoryRecordTest, AppendingKeepsOneHeaderAndWholeLines) {
    const QString path = FactoryRecordPath(QString());
    clsInstrument record = Detector();
    ASSERT_TRUE(AppendFactoryRecord(path, record, kFactoryRecordRead, kNow));
    ASSERT_TRUE(AppendFactoryRecord(path, record, kFactoryRecordWrite, kNow.addSecs(5)));
    QStringList lines = FileLines(path);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith("Action,PC Date/Time,"));
    EXPECT_TRUE(lines[1].startsWith("Read,2025/03/04 10:20:30,"));
    EXPECT_TRUE(lines[2].startsWith("Write,2025/03/04 10:20:35,"));

    // A file that ends in the middle of a line (an earlier crash) gets that line ended first.
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write("partial");
    }
    ASSERT_TRUE(AppendFactoryRecord(path, record, kFactoryRecordWriteId, kNow));
    lines = FileLines(path);
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[3], "partial");
    EXPECT_TRUE(lines[4].startsWith("WriteID,"));
    for (const QString& line : lines.mid(1, 2) + lines.mid(4))
        EXPECT_EQ(line.split(',').size(), kFactoryRecordColumns);
}

TEST_F(FactoryRecordTest, AnEmptyExistingFileGetsTheHeader) {
    const QString path = FactoryRecordPath(QString());
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(AppendFactoryRecord(path, Detector(), kFactoryRecordRead, kNow));
    const QStringList lines = FileLines(path);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith("Action,"));
}

TEST_F(FactoryRecordTest, FileErrorsShowTheSystemTextAndWriteNothing) {
    // The start-up folder is gone: the file cannot be created.
    const QString gone = QDir(m_folder.path()).filePath(QStringLiteral("missing"));
    AppState::setStartupFolder(gone);
    RecordingPrompts prompts;
    WriteFactoryRecord(Detector(), kFactoryRecordRead, nullptr, &prompts);
    ASSERT_EQ(prompts.boxes.size(), 1);
    EXPECT_TRUE(prompts.shown()[0].startsWith("critical: " + AppTitle() + " / "));
    EXPECT_TRUE(prompts.shown()[0].contains(QStringLiteral("KM71_Setting.csv")));
    EXPECT_TRUE(prompts.shown()[0].contains(QStringLiteral("could not be written")));

    // A suffix that would leave the folder or make no file name is refused.
    AppState::setStartupFolder(m_folder.path());
    Tool().FactoryRecordSuffix = QStringLiteral("/../x");
    prompts.boxes.clear();
    WriteFactoryRecord(Detector(), kFactoryRecordRead, nullptr, &prompts);
    ASSERT_EQ(prompts.boxes.size(), 1);
    EXPECT_TRUE(prompts.shown()[0].contains(QStringLiteral("cannot be used for the file name")));
    EXPECT_TRUE(QDir(m_folder.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(FactoryRecordTest, AnalogValuesListByModel) {
    clsInstrument record;
    for (int channel = 0; channel < 4; ++channel)
        record.setAnalogValue(channel, qint16(channel == 0 ? 12345 : 100 * channel + 5));
    struct Case {
        const char* model;
        QStringList lines;
    };
    const Case cases[] = {
        {"KM",
         {"KM-71 Analog to Digital Converter Values List", "ch0 AMP1      \t: 2345mV",
          "ch1 ---       \t:  105mV", "ch2 BAT       \t:  205mV", "ch3 TH        \t:  305mV"}},
        {"QZ",
         {"QZ-71 Analog to Digital Converter Values List", "ch0 AMP1      \t: 2345mV",
          "ch1 BAT       \t:  105mV", "ch2 TH        \t:  205mV", "ch3 ---       \t:  305mV"}},
        {"VL",
         {"VL-71 Analog to Digital Converter Values List", "ch0 AMP1      \t: 2345mV",
          "ch1 BAT       \t:  105mV", "ch2 TH        \t:  205mV", "ch3 AMP2      \t:  305mV"}},
        {"XX", {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        record.setModelTyp(QString::fromLatin1(c.model));
        EXPECT_EQ(AnalogValuesList(record), c.lines);
    }
}

} // namespace
