#include "instrument/GasChannel.h"
#include "instrument/WireFormat.h"
#include "instrument/clsInstrument.h"
#include "shell/modGasCommon.h"
#include "shell/modHexSingle.h"

#include <QLocale>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

// Runs each test once under a "." locale and once under a "," locale.
class LocaleFormatting : public ::testing::TestWithParam<QLocale::Language> {
protected:
    void SetUp() override {
        if (GetParam() == QLocale::German)
            QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        else
            QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    void TearDown() override {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    bool comma() const { return GetParam() == QLocale::German; }
    // A "."-written number text as the current locale shows it.
    QString loc(const char* dotted) const {
        QString s = QString::fromLatin1(dotted);
        if (comma()) s.replace('.', ',');
        return s;
    }
};

INSTANTIATE_TEST_SUITE_P(Locales, LocaleFormatting,
                         ::testing::Values(QLocale::English, QLocale::German),
                         [](const auto& info) {
                             return info.param == QLocale::German ? std::string("Comma")
                                                                  : std::string("Point");
                         });

clsInstrument gasRecord(const char* definition) {
    clsInstrument r;
    EXPECT_TRUE(r.ApplyGasDefinition(QString::fromLatin1(definition)));
    return r;
}

} // namespace

TEST_P(LocaleFormatting, StatusCodesShowTheirTexts) {
    const std::pair<float, const char*> codes[] = {
        {56797, "*****"},     {-121, "*****"},      {65287, "?????"},     {-118, "?????"},
        {65535, "-----"},     {-101, "-----"},      {-102, "NORMAL"},     {-103, "WARNING"},
        {-104, "ALARM"},      {-105, "STEL"},       {-106, "TWA"},        {-107, "OVER"},
        {-130, "Fail(Air)"},  {-131, "Fail(Span)"}, {-132, "Fail(Sen.)"}, {-133, "Fail(Com.)"},
        {-134, "Fail(Ram)"},  {-135, "Fail(Rom)"},  {-136, "Fail(Ext.)"}, {-150, "Fail(ALK.)"},
        {-151, "Fail(NIMH)"}, {-152, "Fail(FLOW)"}, {-153, "Fail(RAM)"},  {-154, "Fail(ROM)"},
        {-155, "Fail(FRAM)"}, {-156, "Fail(FLA.)"}, {-157, "Fail(CLO.)"}, {-170, "CAL ON"},
        {-171, "CAL OFF"},    {-172, "CLEAR"},      {-173, "LEL"},        {-174, "ppm"},
        {-175, "vol"},        {-176, "ELE ON"},     {-177, "ELE OFF"},    {-178, "CAT ON"},
        {-179, "CAT OFF"},    {-180, "AIR"},
    };
    for (const auto& [value, text] : codes) {
        EXPECT_EQ(FormatReading(value, 2, false), QString::fromLatin1(text)) << value;
        EXPECT_EQ(FormatReading(value, 0, true, 0.05f), QString::fromLatin1(text)) << value;
        EXPECT_EQ(ReadingCodeText(value), QString::fromLatin1(text)) << value;
    }
    // Neighbours of codes are plain values.
    EXPECT_EQ(FormatReading(-108, 0, false), loc("-108"));
    EXPECT_EQ(FormatReading(-101.5f, 1, false), loc("-101.5"));
    EXPECT_EQ(FormatReading(65534, 0, false), "65534");
    EXPECT_EQ(ReadingCodeText(0), "");
}

TEST_P(LocaleFormatting, ReadingsUseTheLocaleSeparator) {
    EXPECT_EQ(FormatReading(12.345f, 2, false), loc("12.35"));
    EXPECT_EQ(FormatReading(50, 2, true, 0.05f), loc("2.50"));
    EXPECT_EQ(FormatReading(50, 1, true, 0.2f), loc("10.0"));
    EXPECT_EQ(FormatReading(20.9f, 1, false), loc("20.9"));
    EXPECT_EQ(FormatReading(0.125f, 3, false), loc("0.125"));
    // Places outside 0..3 show no decimals.
    EXPECT_EQ(FormatReading(12.6f, 4, false), "13");
    EXPECT_EQ(FormatReading(12.6f, -101, false), "13");
    // Halves go away from zero, on the value as written; no group separators; no "-0".
    EXPECT_EQ(FormatReading(2.5f, 0, false), "3");
    EXPECT_EQ(FormatReading(0.45f, 1, false), loc("0.5"));
    EXPECT_EQ(FormatReading(-2.5f, 0, false), "-3");
    EXPECT_EQ(FormatReading(1234567, 0, false), "1234567");
    EXPECT_EQ(FormatReading(-0.001f, 2, false), loc("0.00"));
    EXPECT_EQ(FormatReading(9.999f, 2, false), loc("10.00"));
}

TEST_P(LocaleFormatting, ReadingsAndLevelsAreParsedBack) {
    const std::pair<const char*, float> cases[] = {
        {"  warning ", -103}, {"Normal", -102}, {"ovE", -107},   {"ALR", -104}, {"STEL", -105},
        {"twa", -106},        {"*****", -101},  {"-----", -101}, {"gas", -101}, {"", -101},
        {"WA", -101},         {"12.5", 12.5f},  {" 100 ", 100},  {"-3", -3},
    };
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(ParseReading(QString::fromLatin1(text)), value) << text;
        EXPECT_EQ(AlarmValueFromText(QString::fromLatin1(text)), value) << text;
    }
    // The locale's own separator is read too; a "," in a "." locale is no number.
    EXPECT_EQ(ParseReading("12,5"), comma() ? 12.5f : -101.0f);
    EXPECT_EQ(AlarmValueFromText(loc("19.5")), 19.5f);
}

TEST(Formatting, DigitPatterns) {
    const char* patterns[] = {"#0",       "#0.0",      "#0.00",      "#0.000",      "#0.0000",
                              "#0.00000", "#0.000000", "#0.0000000", "#0.00000000", "#0.000000000"};
    for (int places = 0; places <= 9; ++places)
        EXPECT_EQ(DigitsFormat(places), QString::fromLatin1(patterns[places]));
    EXPECT_EQ(DigitsFormat(-1), "");
    EXPECT_EQ(DigitsFormat(10), "");
    EXPECT_EQ(DigitsFormat(-101), "");
}

TEST_P(LocaleFormatting, DigitsFormatting) {
    EXPECT_EQ(FormatDigits(100, 0), "100");
    EXPECT_EQ(FormatDigits(0.5f, 2), loc("0.50"));
    EXPECT_EQ(FormatDigits(0.1f, 9), loc("0.100000000"));
    EXPECT_EQ(FormatDigits(1.5f, -101), loc("1.5")); // no pattern: the value as it is
    EXPECT_EQ(FormatDigits(25, -101), "25");
}

TEST_P(LocaleFormatting, FixedFiveCharacterFieldsAlwaysUseAPoint) {
    const struct {
        float value;
        int places;
        const char* text;
    } cases[] = {
        {3.14159f, 2, " 3.14"}, {-1, 2, "*****"},    {-101, 0, "*****"},  {123456, 0, "23456"},
        {1234.5f, 1, "234.5"},  {0, 0, "    0"},     {5, 7, "    5"},     {50, 3, "50.000"},
        {100, 0, "  100"},      {0.05f, 2, " 0.05"}, {19.5f, 1, " 19.5"},
    };
    // The same ASCII text (the wire's value field) also where the locale writes other digits.
    for (const QLocale& locale : {QLocale(), QLocale(QLocale::Arabic, QLocale::Egypt)}) {
        QLocale::setDefault(locale);
        for (const auto& c : cases)
            EXPECT_EQ(WireFormat::Val5(c.value, c.places), QString::fromLatin1(c.text).right(5))
                << c.value << " " << c.places << " " << qPrintable(locale.name());
    }
    EXPECT_EQ(FormatFixed5(std::numeric_limits<float>::quiet_NaN(), 1), "*****");
}

TEST_P(LocaleFormatting, GasCaptionsAndLabels) {
    EXPECT_EQ(FormatGasCaption("", "ppm", 100, 0), "----(---)");
    EXPECT_EQ(FormatGasCaption("   ", "ppm", 100, 0), "----(---)");
    EXPECT_EQ(FormatGasCaption("CO", "ppm", -1, 0), "CO(ppm)");
    EXPECT_EQ(FormatGasCaption("H2S", "ppm", 100, 1), "H2S(" + loc("100.0") + "ppm)");
    EXPECT_EQ(FormatGasCaption("CH4", "%LEL", 100, 0), "CH4(100%LEL)");

    const clsInstrument ch4 = gasRecord("CH4   100    1%LEL");
    EXPECT_EQ(FormatGasLabel(ch4, 0, true), "CH4(100%LEL)");
    EXPECT_EQ(FormatGasLabel(ch4, 0, false), "CH4(%LEL)");
    const clsInstrument o2 = gasRecord("O2   25.0  0.1VOL%");
    EXPECT_EQ(FormatGasLabel(o2, 0, true), "O2(" + loc("25.0") + "VOL%)");
    // A channel the record does not have has no name.
    EXPECT_EQ(FormatGasLabel(o2, 4, true), "----(---)");
    EXPECT_EQ(FormatGasLabel(clsInstrument(), 0, true), "----(---)");
}

TEST_P(LocaleFormatting, DecimalPlacesOfNumberTexts) {
    EXPECT_EQ(DecimalPlaces("0.05"), 2);
    EXPECT_EQ(DecimalPlaces("100"), 0);
    EXPECT_EQ(DecimalPlaces("  0.1"), 1);
    EXPECT_EQ(DecimalPlaces("1."), 0);
    EXPECT_EQ(DecimalPlaces(""), 0);
    EXPECT_EQ(DecimalPlaces("1.2.3"), 3);
    // The locale's own separator counts as well.
    EXPECT_EQ(DecimalPlaces("0,05"), comma() ? 2 : 0);
}

TEST_P(LocaleFormatting, GasInformationFieldIsDecodedIntoTheRecord) {
    clsInstrument r;
    ASSERT_TRUE(DecodeGasInfoField("CH4   100    1%LEL", r, 0));
    EXPECT_EQ(r.GasName(0), "CH4");
    EXPECT_EQ(r.GasFullScale(0), 100.0f);
    EXPECT_EQ(r.GasDesit(0), 1.0f);
    EXPECT_EQ(r.GasPoint(0), 0);
    EXPECT_EQ(r.GasUnit(0), "%LEL");
    EXPECT_TRUE(r.GasEnabled(0));
    // A value read from the detector leaves no pending change behind.
    EXPECT_FALSE(r.Change_GasEnable(0));
    EXPECT_FALSE(r.Change_GasPoint(0));

    ASSERT_TRUE(DecodeGasInfoField("O2   25.0 0.10VOL%", r, 0));
    EXPECT_EQ(r.GasName(0), "O2");
    EXPECT_FLOAT_EQ(r.GasFullScale(0), 25.0f);
    EXPECT_FLOAT_EQ(r.GasDesit(0), 0.1f);
    EXPECT_EQ(r.GasPoint(0), 2);
    EXPECT_EQ(r.GasUnit(0), "VOL%");

    ASSERT_TRUE(DecodeGasInfoField("******************", r, 0));
    EXPECT_EQ(r.GasName(0), "");
    EXPECT_FALSE(r.GasEnabled(0));
    EXPECT_EQ(r.GasFullScale(0), -101.0f);
    EXPECT_EQ(r.GasDesit(0), 0.0f);
    EXPECT_EQ(r.GasPoint(0), -101);
    EXPECT_EQ(r.GasUnit(0), "");
    EXPECT_FALSE(r.Change_GasEnable(0));
}

TEST_P(LocaleFormatting, BadGasInformationFieldsChangeNothing) {
    clsInstrument r;
    ASSERT_TRUE(DecodeGasInfoField("CO    500    1ppm ", r, 0));
    const char* bad[] = {
        "H2S   100    1ppm",   // 17 characters
        "H2S   100    1ppm  ", // 19 characters
        "H2S  abcd    1ppm ",  // full scale not a number
        "H2S   100     ppm ",  // resolution empty
        "*****************",   // 17 asterisks
    };
    for (const char* field : bad) {
        EXPECT_FALSE(DecodeGasInfoField(QString::fromLatin1(field), r, 0)) << field;
        EXPECT_EQ(r.GasName(0), "CO") << field;
        EXPECT_EQ(r.GasFullScale(0), 500.0f) << field;
        EXPECT_TRUE(r.GasEnabled(0)) << field;
    }
    EXPECT_FALSE(DecodeGasInfoField("H2S   100    1ppm ", r, 1));
    EXPECT_EQ(r.GasName(0), "CO");
}

TEST_P(LocaleFormatting, HexadecimalSingles) {
    bool ok = false;
    EXPECT_FLOAT_EQ(HexToSingle("40490FDB", &ok), 3.1415927f);
    EXPECT_TRUE(ok);
    EXPECT_EQ(HexToSingle("3f800000", &ok), 1.0f);
    EXPECT_TRUE(ok);
    EXPECT_EQ(HexToSingle("C2CA0000", &ok), -101.0f);
    EXPECT_EQ(HexToSingle("00000000", &ok), 0.0f);
    EXPECT_TRUE(ok);

    for (const char* bad : {"40490FD", "", "40490FDB0", "4049ZZDB", "-0490FDB", "4049 FDB"}) {
        ok = true;
        EXPECT_EQ(HexToSingle(QString::fromLatin1(bad), &ok), 0.0f) << bad;
        EXPECT_FALSE(ok) << bad;
    }

    EXPECT_EQ(SingleToHex(3.1415927f), "40490FDB");
    EXPECT_EQ(SingleToHex(-101.0f), "C2CA0000");
    EXPECT_EQ(SingleToHex(0.0f), "00000000");
    for (float v : {0.1f, -12.5f, 1e-20f, 65535.0f})
        EXPECT_EQ(HexToSingle(SingleToHex(v)), v);
}

TEST_P(LocaleFormatting, LocaleNumbersAcceptAPointAlways) {
    const struct {
        const char* text;
        bool ok;
        float value;
    } common[] = {
        {"1.5", true, 1.5f},   {" 2.25 ", true, 2.25f}, {"-3.5", true, -3.5f},
        {"100", true, 100.0f}, {"1e3", true, 1000.0f},  {"", false, 0},
        {"   ", false, 0},     {"abc", false, 0},       {"1.5x", false, 0},
        {"nan", false, 0},     {"inf", false, 0},       {"1e39", false, 0},
        {"*****", false, 0},   {"0.05", true, 0.05f},   {"  100", true, 100.0f},
    };
    for (const auto& c : common) {
        bool ok = !c.ok;
        const float v = ParseLocaleNumber(QString::fromLatin1(c.text), &ok);
        EXPECT_EQ(ok, c.ok) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
        EXPECT_EQ(IsNumberText(QString::fromLatin1(c.text)), c.ok) << c.text;
    }
    // The locale's own separator: "1,5" is one and a half in a "," locale and no number in a
    // "." locale (never fifteen).
    bool ok = false;
    const float v = ParseLocaleNumber("1,5", &ok);
    EXPECT_EQ(ok, comma());
    EXPECT_EQ(v, comma() ? 1.5f : 0.0f);
    EXPECT_EQ(IsNumberText("1,5"), comma());
    EXPECT_FALSE(IsNumberText("1,000.5"));

    // Taken once for many numbers, the locale's notation reads and writes them alike.
    const NumberNotation notation;
    for (const char* text : {"1.5", " -2.25 ", "007", "-0", "-007.500", "+5", "5.", ".5", "1e3",
                             "1,5", "1,000.5", "--1", "1.2.3", "12345678901234567890123456789012",
                             "123456789012345678901234567890123", "\u0663", ""}) {
        bool readOk = false;
        const float read = ParseLocaleNumber(QString::fromUtf8(text), &readOk);
        EXPECT_EQ(notation.Parse(QString::fromUtf8(text), &ok), read) << text;
        EXPECT_EQ(ok, readOk) << text;
    }
    for (const float value : {0.0f, -0.0f, 1.5f, -12.345f, 1e-7f, 3.0e38f})
        for (const int places : {-1, 0, 2, 10}) {
            QString text = QStringLiteral("x");
            notation.AppendDigits(text, value, places);
            EXPECT_EQ(text, "x" + FormatDigits(value, places)) << value << " " << places;
        }
}

TEST_P(LocaleFormatting, SeparatorsFollowTheLocale) {
    EXPECT_EQ(DecimalIsComma(), comma());
    EXPECT_EQ(ListSeparator(), comma() ? ";" : ",");
}

TEST_P(LocaleFormatting, RoundingToAStepTakesHalvesToEven) {
    const struct {
        float value, step, result;
    } cases[] = {
        {7.4f, 0.5f, 7.5f},  {-3, 1, 0},           {5, 0, 0},           {2.5f, 1, 2},
        {3.5f, 1, 4},        {0.35f, 0.1f, 0.4f},  {0.25f, 0.1f, 0.2f}, {12.3f, 1, 12},
        {99.96f, 0.1f, 100}, {19.5f, 0.1f, 19.5f}, {0, 0.5f, 0},        {7.24f, 0.05f, 7.25f},
        {150, 100, 200},     {250, 100, 200},      {0.001f, 0.01f, 0},
    };
    for (const auto& c : cases)
        EXPECT_FLOAT_EQ(RoundToStep(c.value, c.step), c.result) << c.value << " / " << c.step;
    EXPECT_EQ(RoundToStep(std::numeric_limits<float>::quiet_NaN(), 1), 0.0f);
}

TEST_P(LocaleFormatting, WarningPointCheck) {
    clsInstrument ch4 = gasRecord("CH4   100    1%LEL");
    ch4.setWarning(0, 20);
    EXPECT_FALSE(IsAtWarning(ch4, 0, 19.9f));
    EXPECT_TRUE(IsAtWarning(ch4, 0, 20));
    EXPECT_TRUE(IsAtWarning(ch4, 0, 80));
    EXPECT_TRUE(IsAtWarning(ch4, 0, -104)); // any status code
    ch4.setWarning(0, -101);                // no warning point: the channel's fallback 10
    EXPECT_FALSE(IsAtWarning(ch4, 0, 9.9f));
    EXPECT_TRUE(IsAtWarning(ch4, 0, 10));

    for (const char* def : {"O2   25.0  0.1VOL%", "OXY  25.0  0.1VOL%"}) {
        SCOPED_TRACE(def);
        clsInstrument o2 = gasRecord(def);
        o2.setAlarmO2(1);
        o2.setWarning(0, 19.5f);
        EXPECT_TRUE(IsAtWarning(o2, 0, 19.5f));
        EXPECT_TRUE(IsAtWarning(o2, 0, 18));
        EXPECT_FALSE(IsAtWarning(o2, 0, 20.9f));
        o2.setWarning(0, -101);
        EXPECT_TRUE(IsAtWarning(o2, 0, 10));
        EXPECT_FALSE(IsAtWarning(o2, 0, 10.1f));
        // Alarm type 2: any reading counts when the channel has a full scale.
        o2.setAlarmO2(2);
        EXPECT_TRUE(IsAtWarning(o2, 0, 20.9f));
        o2.setGasFullScale(0, 0);
        EXPECT_FALSE(IsAtWarning(o2, 0, 5));
    }

    // The oxygen names are compared exactly.
    clsInstrument lower = gasRecord("o2   25.0  0.1VOL%");
    lower.setWarning(0, 19.5f);
    EXPECT_TRUE(IsAtWarning(lower, 0, 20.9f));
    EXPECT_FALSE(IsAtWarning(lower, 0, 18));
}

TEST(Formatting, KeyFilters) {
    const struct {
        int key, id, text;
    } cases[] = {
        {8, 8, 8},       {'0', '0', '0'}, {'9', '9', '9'}, {'A', 'A', 'A'}, {'Z', 'Z', 'Z'},
        {'a', 'A', 'a'}, {'z', 'Z', 'z'}, {' ', ' ', ' '}, {'*', '*', 0},   {'-', '-', '-'},
        {'_', 0, '_'},   {'/', 0, '/'},   {'>', 0, '>'},   {'<', 0, '<'},   {'.', 0, 0},
        {',', 0, 0},     {'\t', 0, 0},    {13, 0, 0},      {0, 0, 0},       {127, 0, 0},
        {0xE4, 0, 0},    {'@', 0, 0},     {'[', 0, 0},     {'`', 0, 0},     {'{', 0, 0},
        {-1, 0, 0},      {0x141, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FilterIdKey(c.key), c.id) << c.key;
        EXPECT_EQ(FilterTextKey(c.key), c.text) << c.key;
    }
}

TEST(Formatting, TextValidators) {
    EXPECT_TRUE(IsValidListText(""));
    EXPECT_TRUE(IsValidListText("Station 1-A_b/c<>"));
    EXPECT_FALSE(IsValidListText("a,b"));
    EXPECT_FALSE(IsValidListText("tab\there"));
    EXPECT_FALSE(IsValidListText("back\bspace"));
    EXPECT_FALSE(IsValidListText(QString::fromUtf8("Stra\u00dfe")));

    EXPECT_TRUE(IsAllDigits(""));
    EXPECT_TRUE(IsAllDigits("0123456789"));
    EXPECT_FALSE(IsAllDigits("12a"));
    EXPECT_FALSE(IsAllDigits("-1"));
    EXPECT_FALSE(IsAllDigits(" 1"));
    EXPECT_FALSE(IsAllDigits("1.5"));
    EXPECT_FALSE(IsAllDigits(QString::fromUtf8("\u0661\u0662"))); // other scripts' digits
}

TEST(Formatting, DashIfBlank) {
    EXPECT_EQ(DashIfBlank("  ST-01 ", 0), "ST-01");
    EXPECT_EQ(DashIfBlank("", 0), QString(16, '-'));
    EXPECT_EQ(DashIfBlank("   ", 1), QString(16, '-'));
    EXPECT_EQ(DashIfBlank("", 2), QString(20, '-'));
    EXPECT_EQ(DashIfBlank(" ", 3), QString(20, '-'));
    EXPECT_EQ(DashIfBlank("", 4), "");
    EXPECT_EQ(DashIfBlank("", -1), "");
    EXPECT_EQ(DashIfBlank(" x ", 4), "x");
}

TEST(Formatting, IntervalIndex) {
    const std::pair<qint16, int> cases[] = {{10, 0},  {20, 1},  {30, 2}, {60, 3}, {180, 4},
                                            {300, 5}, {600, 6}, {0, 5},  {-1, 5}, {601, 5}};
    for (const auto& [seconds, index] : cases)
        EXPECT_EQ(IntervalIndex(seconds), index) << seconds;
}
