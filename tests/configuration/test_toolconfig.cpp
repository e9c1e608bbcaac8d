#include "configuration/GasCatalog.h"
#include "configuration/SpanAcceptance.h"
#include "configuration/ToolConfig.h"
#include "configuration/ToolSettings.h"
#include "shell/AppState.h"
#include "shell/Messages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace {

const QDateTime kStamp(QDate(2024, 3, 5), QTime(14, 7, 9));

// Every written field of a settings set, as the file would hold it at one fixed time.
QStringList snapshot(const ToolSettings& s, const QString& password = QStringLiteral("7305")) {
    return ToolConfigurationLines(s, password, kStamp);
}

class ToolConfigFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString path(const QString& name = QString::fromLatin1(kToolConfigName)) const {
        return m_dir.filePath(name);
    }
    static void put(const QString& file, const QByteArray& bytes) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static QByteArray get(const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Writes `text` as the configuration file and reads it into `s` and `password`.
    ToolConfigReadResult read(const QByteArray& text, ToolSettings& s, QString& password) {
        put(path(), text);
        return ReadToolConfigurationFile(path(), s, password);
    }
    QTemporaryDir m_dir;
};

// Settings whose numbers differ from every fallback of the reader.
ToolSettings busySettings() {
    ToolSettings s;
    s.ExecuteCount = 41;
    s.LinkTimeout = s.LinkDelay = s.LinkRetry = 9;
    s.LimitDays = s.CalUnitOnWait = s.CalSpanOnWait = s.CalSpanOffWait = 9;
    s.ConvFactor = 0.7f;
    s.ConvEnabled = true;
    s.CalibRange = 9.0f;
    s.PrintWidths = {9.0f, 9.0f};
    s.TrendSearch = {9, 9};
    s.MainWindowSize = {2, 9, 9};
    s.SharedFont.Size = 12.0f;
    return s;
}

} // namespace

TEST_F(ToolConfigFile, MissingFileChangesNothing) {
    ToolSettings s = busySettings();
    QString password = QStringLiteral("pw");
    const ToolConfigReadResult r = ReadToolConfigurationFile(path(), s, password);
    EXPECT_FALSE(r.Found);
    EXPECT_EQ(snapshot(s, password), snapshot(busySettings(), QStringLiteral("pw")));
}

TEST_F(ToolConfigFile, CommentsAndSingleTokenLinesChangeNothing) {
    ToolSettings s = busySettings();
    QString password = QStringLiteral("pw");
    const ToolConfigReadResult r =
        read("; Timeout\t5\r\n;\r\n\r\nTimeout\r\nRetry ;\t5\n\t\tDelay\t\n'Execute Count'\n"
             "   \nCHGGAS\t; 6\t1\n",
             s, password);
    EXPECT_TRUE(r.Found);
    EXPECT_EQ(r.StoppedAtLine, 0);
    EXPECT_EQ(snapshot(s, password), snapshot(busySettings(), QStringLiteral("pw")));
}

struct KeyCase {
    const char* line;
    std::function<void(const ToolSettings&)> check;
};

TEST_F(ToolConfigFile, KeysInAnyCaseAndTheirFallbacks) {
    const KeyCase cases[] = {
        {"timeout\tabc", [](auto& s) { EXPECT_EQ(s.LinkTimeout, 3); }},
        {"TimeOut\t7", [](auto& s) { EXPECT_EQ(s.LinkTimeout, 7); }},
        {"Timeout\t99999", [](auto& s) { EXPECT_EQ(s.LinkTimeout, 3); }},
        {"delay\tabc", [](auto& s) { EXPECT_EQ(s.LinkDelay, 100); }},
        {"retry\t5.6", [](auto& s) { EXPECT_EQ(s.LinkRetry, 6); }},
        {"Retry\tx", [](auto& s) { EXPECT_EQ(s.LinkRetry, 3); }},
        {"execute count\tx", [](auto& s) { EXPECT_EQ(s.ExecuteCount, 0); }},
        {"Execute Count\t2000000000", [](auto& s) { EXPECT_EQ(s.ExecuteCount, 2000000000); }},
        {"LimitDays\tx", [](auto& s) { EXPECT_EQ(s.LimitDays, 0); }},
        {"CalUnitOnWait\tx", [](auto& s) { EXPECT_EQ(s.CalUnitOnWait, 120); }},
        {"calspanonwait\tx", [](auto& s) { EXPECT_EQ(s.CalSpanOnWait, 120); }},
        {"CalSpanOffWait\tx", [](auto& s) { EXPECT_EQ(s.CalSpanOffWait, 30); }},
        {"Calib. Range\t12.6", [](auto& s) { EXPECT_EQ(s.CalibRange, 13.0f); }},
        {"Calib. Range\tx", [](auto& s) { EXPECT_EQ(s.CalibRange, 0.0f); }},
        {"Serial Log File\ton", [](auto& s) { EXPECT_TRUE(s.SerialLogEnabled); }},
        {"Serial Log File\tyes", [](auto& s) { EXPECT_FALSE(s.SerialLogEnabled); }},
        {"Auto Load Mode\ttrue\tno",
         [](auto& s) {
             EXPECT_TRUE(s.AutoLoadEnabled);
             EXPECT_FALSE(s.AutoRemoveEnabled);
         }},
        {"font\t'Noto Sans'\tx\ttrue\tFALSE\tTrue",
         [](auto& s) {
             EXPECT_EQ(s.SharedFont, (FontSpec{"Noto Sans", 9.0f, true, false, true}));
         }},
        {"Font\t'Mono'\t-3", [](auto& s) { EXPECT_EQ(s.SharedFont.Size, 9.0f); }},
        {"Font\t'Mono'\t10.5", [](auto& s) { EXPECT_EQ(s.SharedFont.Size, 10.5f); }},
        {"Conv Param\tx\tTrue",
         [](auto& s) {
             EXPECT_FLOAT_EQ(s.ConvFactor, 0.2f);
             EXPECT_FALSE(s.ConvEnabled);
         }},
        {"Size Values\t1\tx\ty",
         [](auto& s) {
             EXPECT_EQ(s.MainWindowSize, (WindowSize{0, 7680, 5760}));
         }},
        {"Size Values\t2\t9000\t7000",
         [](auto& s) {
             EXPECT_EQ(s.MainWindowSize, (WindowSize{2, 9000, 7000}));
         }},
        {"Prt Width\tx\t2.5",
         [](auto& s) {
             EXPECT_EQ(s.PrintWidths, (std::array{1.0f, 2.5f}));
         }},
        {"Trend Search\tx\t60",
         [](auto& s) {
             EXPECT_EQ(s.TrendSearch, (std::array<qint16, 2>{0, 60}));
         }},
        {"Completely View\tfalse", [](auto& s) { EXPECT_FALSE(s.CompletelyView); }},
        {"DefaultValue1\tx\tx\tx\tx\tx\tx",
         [](auto& s) {
             const clsInstrument& d = s.DefaultValues;
             EXPECT_EQ((std::array{d.CalLimit(), d.LcdBackLight(), d.AlarmMode(), d.Intervals(),
                                   d.DispCalLimit(), d.CalCheck()}),
                       (std::array<qint16, 6>{90, 30, 1, 5, 0, 0}));
         }},
        {"DefaultValue2\t-1",
         [](auto& s) {
             const clsInstrument& d = s.DefaultValues;
             EXPECT_EQ((std::array{d.LogOverWrite(), d.FlowValue(), d.AlarmO2(), d.AutoZero(),
                                   d.DemandZero(), d.UseUserPassword()}),
                       (std::array<qint16, 6>{-1, 128, 1, 0, 1, 0}));
         }},
        {"irda endpoint\t127.0.0.1:7001",
         [](auto& s) { EXPECT_EQ(s.IrdaEndpoint, QStringLiteral("127.0.0.1:7001")); }},
        {"register\tpostgresql://km71@db:5432/fleet",
         [](auto& s) { EXPECT_EQ(s.Register, QStringLiteral("postgresql://km71@db:5432/fleet")); }},
        {"TECHNICIAN\t'A. Tanaka'",
         [](auto& s) { EXPECT_EQ(s.Technician, QStringLiteral("A. Tanaka")); }},
        {"spantolerance\t 2.5 ",
         [](auto& s) { EXPECT_EQ(s.SpanTolerance, QStringLiteral("2.5")); }},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.line);
        ToolSettings s = busySettings();
        QString password;
        read(QByteArray(c.line) + "\r\n", s, password);
        c.check(s);
    }
}

TEST_F(ToolConfigFile, CommaLocaleReadsBothSeparators) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    ToolSettings s;
    QString password;
    read("Calib. Range\t12,6\nPrt Width\t2.5\t3,25\nConv Param\t0,1\tFalse\n", s, password);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(s.CalibRange, 13.0f);
    EXPECT_EQ(s.PrintWidths, (std::array{2.5f, 3.25f}));
    EXPECT_FLOAT_EQ(s.ConvFactor, 0.1f);
}

TEST_F(ToolConfigFile, ReadAsATextStreamReadsIt) {
    // In any encoding a byte order mark names, and with any line end, the file reads alike.
    const QString text = QStringLiteral("Technician\tTanaka 設定\r\nRetry\t7\nTimeout\t5\r");
    for (const auto encoding :
         {QStringConverter::Utf8, QStringConverter::Utf16LE, QStringConverter::Utf16BE}) {
        ToolSettings s;
        QString password;
        read(QStringEncoder(encoding, QStringConverter::Flag::WriteBom).encode(text), s, password);
        EXPECT_EQ(s.Technician, QStringLiteral("Tanaka 設定")) << encoding;
        EXPECT_EQ(s.LinkRetry, 7) << encoding;
        EXPECT_EQ(s.LinkTimeout, 5) << encoding;
    }
    // A lone CR stays in its line; one at the very end of the file does not.
    ToolSettings s;
    QString password;
    read("Font\tA\rB\nFactory Record Suffix\tX\r", s, password);
    EXPECT_EQ(s.SharedFont.Name, "A\rB");
    EXPECT_EQ(s.FactoryRecordSuffix, "X");
}

TEST_F(ToolConfigFile, GasInstFillsTheDefaultGasAndMarksAbsentLimits) {
    ToolSettings s;
    QString password;
    read("Gas Inst\t1\t'CO'\ttrue\tTrue\t1\t'ppm'\t25\t50\t-1\t-1\t0.5\t300\t80\t75\t255\n", s,
         password);
    const clsInstrument& d = s.DefaultValues;
    EXPECT_EQ(d.GasName(0), QStringLiteral("CO"));
    EXPECT_TRUE(d.GasEnabled(0));
    EXPECT_TRUE(s.GasLocked(0));
    EXPECT_EQ(d.GasPoint(0), 1);
    EXPECT_EQ(d.GasUnit(0), QStringLiteral("ppm"));
    EXPECT_EQ((std::array{d.Warning(0), d.Alarm(0), d.Stel(0), d.Twa(0), d.GasDesit(0),
                          d.GasFullScale(0), d.AutoCalib(0)}),
              (std::array{25.0f, 50.0f, -101.0f, -101.0f, 0.5f, 300.0f, 80.0f}));
    EXPECT_EQ(s.FactoryAutoCal(0), 75.0f);
    EXPECT_EQ(s.GasGraphColor(0), 255);
    EXPECT_TRUE(snapshot(s).contains(QStringLiteral(
        "Gas Inst\t1\t'CO'\tTRUE\tTrue\t1\t'ppm'\t25\t50\t-101\t-101\t0.5\t300\t80\t75\t255")));
}

TEST_F(ToolConfigFile, GasInstOutsideTheTableStopsTheReading) {
    ToolSettings s;
    QString password;
    const ToolConfigReadResult r = read("Timeout\t7\n"
                                        "Gas Inst\tx\t'H2'\n" // not numeric: skipped
                                        "Retry\t6\n"
                                        "Gas Inst\t2\t'H2'\tTRUE\n"
                                        "Delay\t5\n",
                                        s, password);
    EXPECT_EQ(r.StoppedAtLine, 4);
    EXPECT_EQ(s.LinkTimeout, 7);
    EXPECT_EQ(s.LinkRetry, 6);
    EXPECT_EQ(s.LinkDelay, 0);
    EXPECT_EQ(s.DefaultValues.GasName(0), QString());
}

TEST_F(ToolConfigFile, ChgGasRangesSkipOrStop) {
    ToolSettings s;
    QString password;
    const ToolConfigReadResult r =
        read("ChgGas\tx\t1\t'AA'\tTRUE\n"
             "ChgGas\t1\ty\t'AB'\tTRUE\n"
             "ChgGas\t5\t17\t'C3H8'\ttrue\tTRUE\t2\t'%LEL'\t10\t20\t-101\t-101\t0.01\t100\t50\n"
             "ChgGas\t2\t3\t'O2'\tFALSE\n"
             "ChgGas\t6\t1\t'XX'\tTRUE\n"
             "ChgGas\t1\t1\t'YY'\tTRUE\n",
             s, password);
    EXPECT_EQ(r.StoppedAtLine, 5);
    GasCatalogEntry expected;
    expected.Enabled = expected.Locked = true;
    expected.Name = QStringLiteral("C3H8");
    expected.Unit = QStringLiteral("%LEL");
    expected.Points = 2;
    expected.Warning = 10.0f;
    expected.Alarm = 20.0f;
    expected.STEL = expected.TWA = -101.0f;
    expected.Digit = 0.01f;
    expected.FullScale = 100.0f;
    expected.AutoCal = 50.0f;
    EXPECT_EQ(*s.Catalog.at(4, 16), expected);
    EXPECT_EQ(s.Catalog.at(1, 2)->Name, QStringLiteral("O2"));
    EXPECT_FALSE(s.Catalog.at(1, 2)->Enabled);
    EXPECT_EQ(s.Catalog.at(0, 0)->Name, QString()); // neither skipped nor later lines applied

    ToolSettings t;
    EXPECT_EQ(read("ChgGas\t1\t18\t'XX'\n", t, password).StoppedAtLine, 1);
    EXPECT_EQ(read("ChgGas\t0\t1\t'XX'\n", t, password).StoppedAtLine, 1);
    EXPECT_EQ(t.Catalog, GasCatalog());
}

TEST(ToolConfigPassword, EncodingIsTwoCharactersPerCharacter) {
    EXPECT_EQ(EncodePassword(QStringLiteral("A")), QStringLiteral("GJ"));
    EXPECT_EQ(EncodePassword(QStringLiteral("AA")), QStringLiteral("GJHJ"));
    EXPECT_EQ(DecodePassword(QStringLiteral("GJH")), QStringLiteral("A")); // odd tail ignored
    for (const QString& pw : {QString(), QStringLiteral("7305"), QStringLiteral("KM71J"),
                              QStringLiteral("Pässwörd ¤ 設定"), QString(300, u'z')}) {
        EXPECT_EQ(DecodePassword(EncodePassword(pw)), pw);
        EXPECT_EQ(DecodePassword(DecodePassword(EncodePassword(EncodePassword(pw)))), pw);
    }
    bool ok = true;
    EXPECT_EQ(DecodePassword(QStringLiteral("\x01\x01"), &ok), QString());
    EXPECT_FALSE(ok);
}

TEST_F(ToolConfigFile, PasswordLineIsEncodedTwice) {
    ToolSettings s;
    const QString stored = EncodePassword(EncodePassword(QStringLiteral("Secret1")));
    EXPECT_EQ(snapshot(s, QStringLiteral("Secret1")).last(), QStringLiteral("KM-71\t") + stored);

    QString password = QStringLiteral("old");
    read(("KM-71\t" + stored + "\n").toUtf8(), s, password);
    EXPECT_EQ(password, QStringLiteral("Secret1"));
    read("km-71\t\x01\x01\x01\x01\n", s, password); // not an encoded text: ignored
    EXPECT_EQ(password, QStringLiteral("Secret1"));
}

TEST_F(ToolConfigFile, WrittenLayout) {
    SetMessageLanguage(QStringLiteral("EN"));
    ToolSettings s;
    s.LinkTimeout = s.LinkDelay = s.LinkRetry = 0;
    s.CommSettings = QStringLiteral("921600,n,8,1");
    s.IrdaEndpoint = QStringLiteral("192.168.1.20:3000");
    ASSERT_TRUE(WriteToolConfigurationFile(path(), s, QStringLiteral("7305")));
    const QByteArray bytes = get(path());
    ASSERT_TRUE(bytes.endsWith("\r\n"));
    EXPECT_EQ(bytes.count('\n'), bytes.count("\r\n"));

    const QStringList lines = QString::fromUtf8(bytes).split(QStringLiteral("\r\n"));
    ASSERT_GT(lines.size(), 20);
    EXPECT_EQ(lines.mid(0, 2), (QStringList{";", ";            KM-71 Data logger program"}));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral(";      Last update = ")));
    EXPECT_EQ(lines.mid(3, 7), (QStringList{";         Delimiter is tab,comma(,) character",
                                            ";           This file is changed set menu", ";",
                                            "; Copyright (C) 71-Series setup program authors", ";",
                                            "", "Execute Count\t1"}));
    EXPECT_EQ(lines.mid(10, 9),
              (QStringList{"Serial Log File\tOFF", "Factory Record Suffix\t", "IrCOMM Num\t0",
                           "COMM Settings\t921600,n,8,1", "IrDA Endpoint\t192.168.1.20:3000",
                           "Timeout\t3", "Delay\t300", "Retry\t3", ""}));
    EXPECT_EQ(lines.filter(QRegularExpression("^ChgGas\t")).size(), 64);
    EXPECT_TRUE(lines.contains(
        QStringLiteral("ChgGas\t4\t16\t''\tFALSE\tFalse\t0\t''\t0\t0\t0\t0\t0\t0\t0")));
    EXPECT_EQ(lines.mid(lines.size() - 4),
              (QStringList{"", ";", "KM-71\t" + EncodePassword(EncodePassword("7305")), ""}));

    ToolSettings back;
    QString password;
    ReadToolConfigurationFile(path(), back, password);
    EXPECT_EQ(back.IrdaEndpoint, s.IrdaEndpoint);
    EXPECT_EQ(back.LinkDelay, 300);
}

TEST_F(ToolConfigFile, CopyrightAndDefaultWordFollowTheLanguage) {
    SetMessageLanguage(QStringLiteral("JP"));
    const QStringList jp = snapshot(ToolSettings());
    const QString jpWord = DefaultPasswordWord();
    SetMessageLanguage(QStringLiteral("EN"));
    EXPECT_NE(jp[6], snapshot(ToolSettings())[6]);
    EXPECT_TRUE(jp[6].startsWith(u';'));
    EXPECT_EQ(jpWord, QStringLiteral("KM71J"));
    EXPECT_EQ(DefaultPasswordWord(), QStringLiteral("KM71"));
}

// Write and read back under a "." and a "," locale.
class ToolConfigRoundTrip : public ToolConfigFile,
                            public ::testing::WithParamInterface<QLocale::Language> {
protected:
    void SetUp() override {
        ToolConfigFile::SetUp();
        QLocale::setDefault(GetParam() == QLocale::German
                                ? QLocale(QLocale::German, QLocale::Germany)
                                : QLocale(QLocale::English, QLocale::UnitedStates));
    }
    void TearDown() override {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
};

INSTANTIATE_TEST_SUITE_P(Locales, ToolConfigRoundTrip,
                         ::testing::Values(QLocale::English, QLocale::German),
                         [](const auto& info) {
                             return info.param == QLocale::German ? std::string("Comma")
                                                                  : std::string("Point");
                         });

TEST_P(ToolConfigRoundTrip, EveryReadFieldComesBackEqual) {
    ToolSettings s = busySettings();
    s.SerialLogEnabled = s.AutoRemoveEnabled = true;
    s.FactoryRecordSuffix = QStringLiteral("_line;2");
    s.IrdaEndpoint = QStringLiteral("[::1]:7001");
    s.Register = QStringLiteral("postgresql://km71@10.0.0.5:5433/fleet");
    s.Technician = QStringLiteral("Sato; line 2");
    s.SpanTolerance = QStringLiteral("2.5");
    s.SharedFont = {QStringLiteral("DejaVu Sans"), 10.5f, true, true, false};
    s.CalibRange = 13.0f;
    s.ConvFactor = 0.0125f;
    s.PrintWidths = {1.5f, 99.75f};
    s.TrendSearch = {-120, 300};
    s.MainWindowSize = {0, 12000, 9300};
    s.CompletelyView = false;
    s.Catalog.FillDefaults();
    s.Catalog.at(3, 15)->Name = QStringLiteral("NO2");
    s.Catalog.at(3, 15)->Warning = 0.35f;
    clsInstrument& d = s.DefaultValues;
    d.setCalLimit(120);
    d.setFlowValue(-300);
    d.setAlarmO2(-1);
    d.setGasName(0, QStringLiteral("HC"));
    d.setGasEnabled(0, true);
    d.setGasUnit(0, QStringLiteral("VOL%"));
    d.setWarning(0, 0.25f);
    d.setStel(0, -101.0f);
    d.setGasFullScale(0, 5.0f);
    d.setGasDesit(0, 0.05f);
    s.setFactoryAutoCal(0, 2.5f);
    s.setGasGraphColor(0, 0xFF8000);

    ASSERT_TRUE(WriteToolConfigurationFile(path(), s, QStringLiteral("Zx9")));
    const QString text = QString::fromUtf8(get(path()));
    const bool comma = GetParam() == QLocale::German;
    EXPECT_EQ(text.contains(QStringLiteral("Prt Width\t1,5\t99,75")), comma);
    EXPECT_EQ(text.contains(QStringLiteral("Prt Width\t1.5\t99.75")), !comma);

    ToolSettings back;
    QString password;
    const ToolConfigReadResult r = ReadToolConfigurationFile(path(), back, password);
    EXPECT_TRUE(r.Found);
    EXPECT_EQ(r.StoppedAtLine, 0);
    EXPECT_EQ(password, QStringLiteral("Zx9"));
    ToolSettings expected = s;
    expected.ExecuteCount += 1;
    expected.ConvEnabled = false;
    EXPECT_EQ(snapshot(back), snapshot(expected));
    EXPECT_EQ(back.FactoryRecordSuffix, s.FactoryRecordSuffix);
    EXPECT_EQ(back.Register, s.Register);
    EXPECT_EQ(back.Technician, s.Technician);
    EXPECT_EQ(back.SpanTolerance, s.SpanTolerance);
    EXPECT_EQ(back.Catalog, s.Catalog);
}

TEST(SpanAcceptanceTest, BandIsTheToleranceShareInWholeStepsAndAtLeastOneStep) {
    const struct {
        float concentration;
        int places;
        const char* tolerance;       // the key's text; empty for the default 5 %
        float band, inside, outside; // the band, the farthest reading in it, the nearest out
    } cases[] = {
        {50.0f, 0, "", 2.0f, 48.0f, 47.0f},       // 2.5 rounded down to whole units
        {50.0f, 1, "", 2.5f, 52.5f, 52.6f},       // both ends belong to the band
        {2.5f, 2, "", 0.12f, 2.38f, 2.37f},       // 0.125 rounded down
        {0.5f, 3, "", 0.025f, 0.525f, 0.526f},    // 0.025 exactly
        {18.0f, 1, "", 0.9f, 17.1f, 17.0f},       // a share a hair below 0.9 stays 0.9
        {10.0f, 0, "", 1.0f, 11.0f, 12.0f},       // 0.5: one step is the floor
        {1000.0f, 0, "", 50.0f, 950.0f, 949.0f},  // a large concentration
        {40.0f, 0, " 12.5 ", 5.0f, 35.0f, 34.0f}, // a configured tolerance
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.concentration);
        const double percent = SpanTolerancePercent(QString::fromLatin1(c.tolerance)).value_or(0);
        const auto passes = [&](bool status, float reading) {
            return SpanAcceptance::Judge(status, c.concentration, reading, c.places, percent)
                .passed;
        };
        EXPECT_FLOAT_EQ(SpanAcceptance::Band(c.concentration, c.places, percent), c.band);
        EXPECT_TRUE(passes(true, c.inside));
        EXPECT_FALSE(passes(true, c.outside));
        EXPECT_FALSE(passes(false, c.concentration)); // the detector's own status decides first
    }
    for (const char* bad : {"0", "-1", "100.5", "five"})
        EXPECT_FALSE(SpanTolerancePercent(QString::fromLatin1(bad)).has_value()) << bad;
}

TEST_F(ToolConfigFile, ReplacingKeepsTheOldFileWhenWritingFails) {
    // A file name whose temporary sibling would exceed the name length limit: the new file
    // can never be created, whoever runs the test.
    const QString longName = path(QString(250, u'k'));
    put(longName, "Timeout\t7\r\n");
    QString error;
    EXPECT_FALSE(WriteToolConfigurationFile(longName, ToolSettings(), QString(), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(get(longName), QByteArray("Timeout\t7\r\n"));

    // A longer old file is replaced whole, leaving nothing of it behind.
    put(path(), QByteArray(100000, 'x'));
    ASSERT_TRUE(WriteToolConfigurationFile(path(), ToolSettings(), QString()));
    EXPECT_FALSE(get(path()).contains('x' + QByteArray(10, 'x')));
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files).size(), 2); // no temporary left over
}

TEST_F(ToolConfigFile, UnwritableFolderReportsFailure) {
    put(path(), "Timeout\t7\r\n");
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    QFile probe(path(QStringLiteral("probe")));
    const bool permissionsEnforced = !probe.open(QIODevice::WriteOnly);
    probe.close();
    if (permissionsEnforced) {
        QString error;
        EXPECT_FALSE(WriteToolConfigurationFile(path(), ToolSettings(), QString(), &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(get(path()), QByteArray("Timeout\t7\r\n"));
    }
    QFile::setPermissions(m_dir.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // Without permission checks (a privileged user) a missing folder still fails cleanly.
    QString error;
    EXPECT_FALSE(WriteToolConfigurationFile(m_dir.filePath(QStringLiteral("gone/x.ini")),
                                            ToolSettings(), QString(), &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(ToolDefaults, FillWhatIsStillUnset) {
    SetMessageLanguage(QStringLiteral("EN"));
    ToolSettings s;
    s.LinkRetry = 8;
    s.PrintWidths = {0.0f, 150.0f};
    s.CalSpanOnWait = 60;
    QString password;
    ApplyToolDefaults(s, password);
    EXPECT_EQ(s.LinkRetry, 3);
    EXPECT_EQ(s.TrendSearch, (std::array<qint16, 2>{-30, 45}));
    EXPECT_FLOAT_EQ(s.ConvFactor, 0.05f);
    EXPECT_EQ(s.CalibRange, 50.0f);
    EXPECT_EQ(s.PrintWidths, (std::array{1.0f, 1.0f}));
    EXPECT_EQ((std::array{s.CalUnitOnWait, s.CalSpanOnWait, s.CalSpanOffWait}),
              (std::array<qint16, 3>{45, 60, 45}));
    EXPECT_EQ(password, QStringLiteral("KM71"));
    const clsInstrument& d = s.DefaultValues;
    EXPECT_EQ(d.GasName(0), QStringLiteral("CH4"));
    EXPECT_TRUE(d.GasEnabled(0));
    EXPECT_EQ((std::array{d.Warning(0), d.Alarm(0), d.Stel(0), d.Twa(0), d.GasDesit(0),
                          d.GasFullScale(0), d.AutoCalib(0), s.FactoryAutoCal(0)}),
              (std::array{10.0f, 50.0f, -1.0f, -1.0f, 1.0f, 100.0f, 50.0f, 50.0f}));

    // Values that are set stay.
    ToolSettings set;
    set.DefaultValues.setGasFullScale(0, 30.0f);
    set.CalibRange = 20.0f;
    set.ConvFactor = 0.5f;
    QString kept = QStringLiteral("7305");
    ApplyToolDefaults(set, kept);
    EXPECT_EQ(set.DefaultValues.GasName(0), QString());
    EXPECT_EQ(set.CalibRange, 20.0f);
    EXPECT_EQ(set.ConvFactor, 0.5f);
    EXPECT_EQ(kept, QStringLiteral("7305"));
}

TEST(GasCatalogTest, GroupByModelAndCopyIntoRecord) {
    const std::tuple<const char*, const char*, int> models[] = {
        {"KM", "CH4", 0}, {"QZ", "O2", 1}, {"VL", "H2S", 2}, {"VL", "CO", 3}, {"XY", "", -1}};
    for (const auto& [model, gas, group] : models) {
        clsInstrument r;
        r.setModelTyp(QString::fromLatin1(model));
        r.setGasName(0, QString::fromLatin1(gas));
        EXPECT_EQ(GasCatalog::GroupForModel(r), group) << model << gas;
    }

    GasCatalog c;
    c.FillDefaults();
    QStringList km;
    for (int n = 0; n < GasCatalog::EntryCount; ++n)
        if (c.at(0, n)->Enabled) km << c.at(0, n)->Name + '/' + c.at(0, n)->Unit;
    EXPECT_EQ(km, (QStringList{"CH4/%LEL", "HC/%LEL", "H2/%LEL", "CH4/VOL%"}));
    EXPECT_EQ(c.at(4, 0)->Enabled, false);
    EXPECT_EQ(c.at(5, 0), nullptr);
    EXPECT_EQ(c.at(0, 17), nullptr);

    clsInstrument r;
    EXPECT_TRUE(c.CopyEntryToRecord(2, 1, r, 0));
    EXPECT_TRUE(r.GasEnabled(0));
    EXPECT_EQ(r.GasName(0), QStringLiteral("H2S"));
    EXPECT_EQ(r.GasPoint(0), 1);
    EXPECT_EQ((std::array{r.GasFullScale(0), r.GasDesit(0), r.Warning(0), r.Alarm(0), r.Stel(0),
                          r.Twa(0), r.AutoCalib(0), r.Ratio(0)}),
              (std::array{30.0f, 0.1f, 1.0f, 10.0f, 5.0f, 1.0f, 16.0f, 0.0f}));

    clsInstrument none;
    EXPECT_FALSE(c.CopyEntryToRecord(-1, 0, none, 0));
    EXPECT_TRUE(none.GasEnabled(0)); // the enabling step happens even without an entry
    EXPECT_EQ(none.GasName(0), QString());
}

TEST_F(ToolConfigFile, LinkSettingsForTheCommandLineTool) {
    const ToolLinkSettings none = ReadToolLinkSettings(m_dir.path());
    EXPECT_EQ(none.LinkRetry, 3);
    EXPECT_EQ(none.LinkTimeout, 3);
    EXPECT_TRUE(none.IrdaEndpoint.isEmpty());

    put(path(), "Retry\t5\r\nTimeout\t0\r\nIrDA Endpoint\tlocalhost:4001\r\n");
    const ToolLinkSettings link = ReadToolLinkSettings(m_dir.path());
    EXPECT_EQ(link.LinkRetry, 5);
    EXPECT_EQ(link.LinkTimeout, 3);
    EXPECT_EQ(link.IrdaEndpoint, QStringLiteral("localhost:4001"));
}

TEST_F(ToolConfigFile, ProcessWideSettingsGoThroughTheStartupFolder) {
    const QString oldFolder = AppState::StartupFolder();
    const QString oldPassword = AppState::AccessPassword();
    AppState::setStartupFolder(m_dir.path());

    Tool() = ToolSettings();
    AppState::setAccessPassword(QString());
    ApplyToolDefaults();
    EXPECT_EQ(AppState::AccessPassword(), DefaultPasswordWord());
    Tool().LinkRetry = 6;
    AppState::setAccessPassword(QStringLiteral("abc"));
    EXPECT_TRUE(WriteToolConfiguration());
    EXPECT_TRUE(QFileInfo::exists(m_dir.filePath(QStringLiteral("KM71Config.ini"))));

    Tool() = ToolSettings();
    AppState::setAccessPassword(QStringLiteral("7305"));
    EXPECT_TRUE(ReadToolConfiguration().Found);
    EXPECT_EQ(Tool().LinkRetry, 6);
    EXPECT_EQ(Tool().ExecuteCount, 1);
    EXPECT_EQ(AppState::AccessPassword(), QStringLiteral("abc"));

    Tool() = ToolSettings();
    AppState::setAccessPassword(oldPassword);
    AppState::setStartupFolder(oldFolder);
}
