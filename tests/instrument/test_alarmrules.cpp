// Alarm-point and auto-calibration rules shared by the settings grid and the write workflow.
#include "instrument/AlarmRules.h"
#include "instrument/clsInstrument.h"
#include "shell/Messages.h"

#include <gtest/gtest.h>

namespace {

// A record of a model with one gas from its 18-character definition.
clsInstrument detector(const char* model, const char* definition) {
    clsInstrument r;
    r.setModelTyp(QString::fromLatin1(model));
    EXPECT_TRUE(r.ApplyGasDefinition(QString::fromLatin1(definition)));
    return r;
}

clsInstrument km() {
    return detector("KM", "CH4   100    1%LEL");
}
clsInstrument qz(qint16 alarmO2) {
    clsInstrument r = detector("QZ", "O2   25.0  0.1VOL%");
    r.setAlarmO2(alarmO2);
    return r;
}
clsInstrument vlH2S() {
    return detector("VL", "H2S 100.0  0.5ppm ");
}
clsInstrument vlCO() {
    return detector("VL", "CO    500    1ppm ");
}

} // namespace

TEST(AlarmRules, ModelClassFollowsModelTypeAndGas) {
    EXPECT_EQ(ModelClass(km()), 0);
    EXPECT_EQ(ModelClass(qz(0)), 1);
    EXPECT_EQ(ModelClass(vlH2S()), 2);
    EXPECT_EQ(ModelClass(vlCO()), 3);
    EXPECT_EQ(ModelClass(detector("XX", "CH4   100    1%LEL")), -1);
    EXPECT_EQ(ModelClass(clsInstrument()), -1);
}

struct RangeCase {
    const char* name;
    clsInstrument (*make)();
    AlarmItem item;
    float value;
    bool valid;
};

class AlarmRangeTable : public ::testing::TestWithParam<RangeCase> {};

TEST_P(AlarmRangeTable, ValueAgainstItsRange) {
    const RangeCase& c = GetParam();
    const clsInstrument r = c.make();
    EXPECT_EQ(AlarmRangeValid(r, 0, c.item, c.value), c.valid);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Ranges, AlarmRangeTable, ::testing::Values(
    RangeCase{"KmWarningZero", km, AlarmItem::Warning, 0.0f, true},
    RangeCase{"KmWarningFullScale", km, AlarmItem::Warning, 100.0f, true},
    RangeCase{"KmWarningAboveFullScale", km, AlarmItem::Warning, 101.0f, false},
    RangeCase{"KmWarningNegative", km, AlarmItem::Warning, -1.0f, false},
    RangeCase{"KmAlarmSixtyPercent", km, AlarmItem::Alarm, 60.0f, true},
    RangeCase{"KmAlarmAboveSixtyPercent", km, AlarmItem::Alarm, 61.0f, false},
    RangeCase{"KmStelHasNoRange", km, AlarmItem::Stel, 5.0f, false},
    RangeCase{"KmTwaHasNoRange", km, AlarmItem::Twa, 5.0f, false},
    RangeCase{"QzType0Low", [] { return qz(0); }, AlarmItem::Warning, 18.0f, true},
    RangeCase{"QzType0High", [] { return qz(0); }, AlarmItem::Alarm, 25.0f, true},
    RangeCase{"QzType0Below", [] { return qz(0); }, AlarmItem::Alarm, 17.9f, false},
    RangeCase{"QzType1Top", [] { return qz(1); }, AlarmItem::Warning, 20.9f, true},
    RangeCase{"QzType1AboveTop", [] { return qz(1); }, AlarmItem::Warning, 21.0f, false},
    RangeCase{"QzStelHasNoRange", [] { return qz(0); }, AlarmItem::Stel, 19.0f, false},
    RangeCase{"QzUnknownType", [] { return qz(5); }, AlarmItem::Warning, 19.0f, false},
    RangeCase{"VlH2sStelInRange", vlH2S, AlarmItem::Stel, 30.0f, true},
    RangeCase{"VlH2sStelAbove", vlH2S, AlarmItem::Stel, 31.0f, false},
    RangeCase{"VlH2sTwaNegative", vlH2S, AlarmItem::Twa, -0.5f, false},
    RangeCase{"VlOtherTop", vlCO, AlarmItem::Alarm, 200.0f, true},
    RangeCase{"VlOtherAbove", vlCO, AlarmItem::Warning, 201.0f, false},
    RangeCase{"UnknownModel", [] { return detector("XX", "CH4   100    1%LEL"); },
              AlarmItem::Warning, 10.0f, false}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(AlarmRules, OxygenTypeTwoComparesWithTheOtherPoint) {
    clsInstrument r = qz(2);
    r.setWarning(0, 19.0f);
    r.setAlarm(0, 20.0f);
    EXPECT_TRUE(AlarmRangeValid(r, 0, AlarmItem::Warning, 20.0f));
    EXPECT_FALSE(AlarmRangeValid(r, 0, AlarmItem::Warning, 20.5f));
    EXPECT_TRUE(AlarmRangeValid(r, 0, AlarmItem::Alarm, 19.0f));
    EXPECT_TRUE(AlarmRangeValid(r, 0, AlarmItem::Alarm, 25.0f));
    EXPECT_FALSE(AlarmRangeValid(r, 0, AlarmItem::Alarm, 18.5f));
    EXPECT_FALSE(AlarmRangeValid(r, 0, AlarmItem::Alarm, 25.1f));
}

TEST(AlarmRules, OrderRule) {
    clsInstrument r = km();
    r.setWarning(0, 10.0f);
    r.setAlarm(0, 60.0f);
    EXPECT_TRUE(AlarmOrderValid(r, 0));
    r.setWarning(0, 60.0f);
    EXPECT_TRUE(AlarmOrderValid(r, 0)) << "equal points are in order";
    r.setWarning(0, 61.0f);
    EXPECT_FALSE(AlarmOrderValid(r, 0));
    r.setAlarm(0, clsInstrument::NoValue);
    EXPECT_TRUE(AlarmOrderValid(r, 0)) << "a point without value never breaks the order";

    // Oxygen deficiency alarm (type 1): the warning lies above the alarm.
    clsInstrument o = qz(1);
    o.setWarning(0, 19.5f);
    o.setAlarm(0, 18.0f);
    EXPECT_TRUE(AlarmOrderValid(o, 0));
    o.setWarning(0, 18.0f);
    o.setAlarm(0, 19.5f);
    EXPECT_FALSE(AlarmOrderValid(o, 0));
    // Other oxygen alarm types use the ordinary order.
    o.setAlarmO2(0);
    EXPECT_TRUE(AlarmOrderValid(o, 0));
}

TEST(AlarmRules, AlarmPointsOfAGas) {
    clsInstrument r = km();
    r.setWarning(0, 10.0f);
    r.setAlarm(0, 60.0f);
    EXPECT_TRUE(AlarmPointsValid(r, 0));
    r.setAlarm(0, 61.0f);
    EXPECT_FALSE(AlarmPointsValid(r, 0)) << "an Alarm of 61 read from the detector is out of range";
    EXPECT_FALSE(RecordAlarmPointsValid(r));
    // A disabled gas is not checked by the write workflow.
    r.setGasEnabled(0, false);
    EXPECT_TRUE(RecordAlarmPointsValid(r));
    r.setGasEnabled(0, true);

    // Values that show as words are never range-checked.
    r.setAlarm(0, clsInstrument::NoValue);
    EXPECT_TRUE(AlarmPointsValid(r, 0));
    r.setWarning(0, -104.0f);
    EXPECT_TRUE(AlarmPointsValid(r, 0));

    // STEL and TWA ranges count only above gas 1: on gas 0 an odd STEL passes.
    clsInstrument v = vlH2S();
    v.setWarning(0, 5.0f);
    v.setAlarm(0, 10.0f);
    v.setStel(0, 31.0f);
    v.setTwa(0, 150.0f);
    EXPECT_TRUE(AlarmPointsValid(v, 0));
    // A file's STEL and TWA are checked as typed ones are, whatever the gas number.
    EXPECT_FALSE(ExposureLimitValid(v, 0, AlarmItem::Twa));
    EXPECT_FALSE(RecordExposureLimitsValid(v));
    v.setStel(0, 30.0f);
    v.setTwa(0, clsInstrument::NoValue);
    EXPECT_TRUE(RecordExposureLimitsValid(v));
}

TEST(AlarmRules, SwitchingAnAlarmPointOffIsFound) {
    SetMessageLanguage("EN");
    constexpr float no = clsInstrument::NoValue;
    const SwitchedOffPoint w{0, AlarmItem::Warning}, a{0, AlarmItem::Alarm};
    const struct {
        bool read, enabled; // the detector's record holds a read; the gas written is enabled
        float detector[2], written[2]; // Warning, Alarm
        QList<SwitchedOffPoint> expected;
    } cases[] = {
        {true, true, {10, 50}, {no, 50}, {w}},
        {true, true, {10, 50}, {no, -104}, {w, a}}, // a status code goes out as "*****" too
        {true, true, {no, 50}, {no, 40}, {}},       // already off on the detector
        {true, false, {10, 50}, {no, no}, {}},      // the gas itself is switched off
        {false, true, {no, no}, {no, 50}, {w}},     // no read: every "*****" counts
    };
    for (const auto& c : cases) {
        clsInstrument detector = km(), toWrite = km();
        detector.setCommFlags(c.read);
        detector.setWarning(0, c.detector[0]);
        detector.setAlarm(0, c.detector[1]);
        toWrite.setGasEnabled(0, c.enabled);
        toWrite.setWarning(0, c.written[0]);
        toWrite.setAlarm(0, c.written[1]);
        EXPECT_EQ(AlarmPointsSwitchedOff(detector, toWrite), c.expected) << &c - cases;
    }
    EXPECT_EQ(SwitchedOffPointText(qz(1), a), "O2 Alarm");
}

TEST(AlarmRules, AutoCalibrationAtOrBeyondTheWarningPoint) {
    clsInstrument r = km();
    r.setWarning(0, 10.0f);
    r.setAutoCalib(0, 50.0f);
    EXPECT_TRUE(AutoCalValid(r, 0));
    EXPECT_TRUE(AutoCalRuleValid(r, 0, 10.0f));
    EXPECT_FALSE(AutoCalRuleValid(r, 0, 9.0f));
    r.setAutoCalib(0, 5.0f);
    EXPECT_FALSE(RecordAutoCalValid(r));
    r.setAutoCalib(0, clsInstrument::NoValue);
    EXPECT_TRUE(RecordAutoCalValid(r)) << "no auto-calibration value is no fault";

    // Oxygen warns on deficiency: the span must be at or below the warning point.
    clsInstrument o = qz(1);
    o.setGasName(0, QStringLiteral("O2"));
    o.setWarning(0, 19.5f);
    EXPECT_TRUE(AutoCalRuleValid(o, 0, 18.0f));
    EXPECT_FALSE(AutoCalRuleValid(o, 0, 20.9f));
}

TEST(AlarmRules, SnapToResolution) {
    const clsInstrument v = vlH2S();
    EXPECT_FLOAT_EQ(SnapToResolution(v, 0, 12.3f), 12.5f);
    EXPECT_FLOAT_EQ(SnapToResolution(v, 0, 12.25f), 12.0f) << "halves go to the even step";
    EXPECT_FLOAT_EQ(SnapToResolution(v, 0, 12.75f), 13.0f);
    EXPECT_FLOAT_EQ(SnapToResolution(v, 0, -3.0f), 0.0f);

    // Without a resolution the value is kept instead of collapsing to 0.
    clsInstrument none = km();
    none.setGasDesit(0, 0.0f);
    EXPECT_FLOAT_EQ(SnapToResolution(none, 0, 12.0f), 12.0f);
}
