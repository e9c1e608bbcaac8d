#include "instrument/clsInstrument.h"

#include <QLocale>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

namespace {

// How SetChangeFlags(flag, idFlag) treats a change flag.
enum class Group { Setting, Identity, DummySerial, Pump };

// One writable setting: its setter (storing a value that differs from every default), a check
// that the value arrived, and its change flag.
struct Writable {
    const char* flagName;
    Group group;
    std::function<void(clsInstrument&)> set;
    std::function<bool(const clsInstrument&)> stored;
    std::function<bool(const clsInstrument&)> flag;
    std::function<void(clsInstrument&, bool)> setFlag;
};

#define INT_VALUE(Name, Flag, GroupName)                                                           \
    Writable {                                                                                     \
        "Change_" #Flag, Group::GroupName, [](clsInstrument& r) { r.set##Name(7); },               \
            [](const clsInstrument& r) { return r.Name() == 7; },                                  \
            [](const clsInstrument& r) { return r.Change_##Flag(); },                              \
            [](clsInstrument& r, bool on) { r.setChange_##Flag(on); }                              \
    }
#define INT_SETTING(Name, Flag) INT_VALUE(Name, Flag, Setting)
#define TEXT_SETTING(Name, Flag, GroupName)                                                        \
    Writable {                                                                                     \
        "Change_" #Flag, Group::GroupName, [](clsInstrument& r) { r.set##Name("X7"); },            \
            [](const clsInstrument& r) { return r.Name() == "X7"; },                               \
            [](const clsInstrument& r) { return r.Change_##Flag(); },                              \
            [](clsInstrument& r, bool on) { r.setChange_##Flag(on); }                              \
    }
#define INDEXED(Name, Index, Value, Flag, FlagIndex, GroupName)                                    \
    Writable {                                                                                     \
        "Change_" #Flag "(" #FlagIndex ")", Group::GroupName,                                      \
            [](clsInstrument& r) { r.set##Name(Index, Value); },                                   \
            [](const clsInstrument& r) { return r.Name(Index) == Value; },                         \
            [](const clsInstrument& r) { return r.Change_##Flag(FlagIndex); },                     \
            [](clsInstrument& r, bool on) { r.setChange_##Flag(FlagIndex, on); }                   \
    }

// Every writable setting of the record.
const std::vector<Writable>& writables() {
    static const std::vector<Writable> table = {
        TEXT_SETTING(SerialNo, SerialNo, Identity),
        TEXT_SETTING(UserID, UserID, Identity),
        TEXT_SETTING(StationID, StationID, Identity),
        INDEXED(StationList, 0, QString("Gate 1"), StationList, 0, Identity),
        INDEXED(StationList, 255, QString("Gate 256"), StationList, 255, Identity),
        TEXT_SETTING(DummySerial, DummySerial, DummySerial),
        INT_VALUE(FlowLevel, FlowLevel, Pump),
        INT_VALUE(pressOffset, pressOffset, Pump),
        TEXT_SETTING(SpecNo, SpecNo, Setting),
        TEXT_SETTING(SpecType, SpecType, Setting),
        TEXT_SETTING(SensorDate, SensorDate, Setting),
        INT_SETTING(HcMode, HCMode),
        INT_SETTING(AlarmMode, AlarmMode),
        INT_SETTING(AlarmMode2, AlarmMode2),
        INT_SETTING(AlarmO2, AlarmO2),
        INT_SETTING(AK, AK),
        INT_SETTING(AlarmOnOff, AlarmOnOff),
        INT_SETTING(StelTwaOnOff, StelTwaOnOff),
        INT_SETTING(AIdata, AIdata),
        INT_SETTING(AJdata, AJdata),
        INT_SETTING(ABdata, ABdata),
        INT_SETTING(Confirmation, Confirmation),
        INT_SETTING(LogOverWrite, LogOverWrite),
        INT_SETTING(Intervals, Interval),
        INT_SETTING(JW, JW),
        TEXT_SETTING(JH, JH, Setting),
        INT_SETTING(SE, SE),
        INT_SETTING(RA, RA),
        INT_SETTING(CalLimit, CalLimit),
        INT_SETTING(DispCalLimit, DispCalLimit),
        INT_SETTING(CalCheck, CalCheck),
        INT_SETTING(AutoZero, AutoZero),
        INT_SETTING(DemandZero, DemandZero),
        INT_SETTING(SpanAllowance, SpanAllowance),
        INT_SETTING(BumpFunction, BumpFunction),
        INT_SETTING(DispBumpLimit, DispBumpLimit),
        INT_SETTING(BumpLimit, BumpLimit),
        INT_SETTING(BumpCheck, BumpCheck),
        INT_SETTING(BumpTime, BumpTime),
        INT_SETTING(BumpThreshold, BumpThreshold),
        INT_SETTING(BumpFailCalTime, BumpFailCalTime),
        INT_SETTING(BumpFailAfter, BumpFailAfter),
        INT_SETTING(BumpFailBehavior, BumpFailBehavior),
        INT_SETTING(LcdBackLight, LcdBackLight),
        INT_SETTING(autoBackLight, autoBackLight),
        INT_SETTING(LcBhMode, LcBhMode),
        INT_SETTING(BhTime, BhTime),
        INT_SETTING(LcBuzzer, LcBuzzer),
        INT_SETTING(PasswordProtect, PasswordProtect),
        INT_SETTING(UseUserPassword, UseUserPassword),
        TEXT_SETTING(UserPassword2, UserPassword2, Setting),
        INDEXED(GasEnabled, 0, true, GasEnable, 0, Setting),
        INDEXED(GasPoint, 0, qint16(2), GasPoint, 0, Setting),
        INDEXED(Warning, 0, 10.5f, Warn, 0, Setting),
        INDEXED(Alarm, 0, 20.5f, Alarm, 0, Setting),
        INDEXED(Stel, 0, 30.5f, Stel, 0, Setting),
        INDEXED(Twa, 0, 40.5f, Twa, 0, Setting),
        INDEXED(AutoCalib, 0, 50.5f, AutoCal, 0, Setting),
        INDEXED(Ratio, 0, 1.25f, Ratio, 0, Setting),
        INDEXED(Zero, 0, qint16(1), Zero, 0, Setting),
        INDEXED(Zero, 3, qint16(1), Zero, 3, Setting),
        INDEXED(OverScale, 0, qint16(1), OverScale, 0, Setting),
        INDEXED(OverScale, 3, qint16(1), OverScale, 3, Setting),
        INDEXED(LS_Name, 0, QString("CH4"), LSData, 0, Setting),
        INDEXED(LS_elem_vol, 0, 0x1234, LSData, 0, Setting),
        INDEXED(LS_Point, 1, qint16(2), LSData, 1, Setting),
        INDEXED(LS_Linear2_d, 1, 0.125, LSData, 1, Setting),
    };
    return table;
}

// Flag names that are raised in `r` (the pump flags only when `withPump`).
std::vector<std::string> raisedFlags(const clsInstrument& r, bool withPump = true) {
    std::vector<std::string> raised;
    for (const Writable& w : writables())
        if (w.flag(r) && (withPump || w.group != Group::Pump)) raised.emplace_back(w.flagName);
    return raised;
}

bool anyStationFlag(const clsInstrument& r) {
    for (int i = 0; i < clsInstrument::StationCount; ++i)
        if (r.Change_StationList(i)) return true;
    return false;
}

// The values ClearDatas leaves (a new record too).
void expectClearedDefaults(const clsInstrument& r) {
    EXPECT_FALSE(r.CommFlags());
    EXPECT_EQ(r.UserID(), QString(16, '-'));
    EXPECT_EQ(r.StationID(), QString(16, '-'));
    EXPECT_EQ(r.SerialNo(), QString(20, '-'));
    EXPECT_EQ(r.DummySerial(), QString(20, '-'));
    EXPECT_EQ(r.RomNumber(), 0);
    EXPECT_EQ(r.SysDate(), 0.0);
    EXPECT_EQ(r.SysDateOffset(), 0.0);

    const std::vector<std::pair<const char*, std::function<qint16(const clsInstrument&)>>> ints = {
        {"HcMode", &clsInstrument::HcMode},
        {"AlarmMode", &clsInstrument::AlarmMode},
        {"AlarmMode2", &clsInstrument::AlarmMode2},
        {"AIdata", &clsInstrument::AIdata},
        {"AJdata", &clsInstrument::AJdata},
        {"ABdata", &clsInstrument::ABdata},
        {"Intervals", &clsInstrument::Intervals},
        {"DispCalLimit", &clsInstrument::DispCalLimit},
        {"CalCheck", &clsInstrument::CalCheck},
        {"LogOverWrite", &clsInstrument::LogOverWrite},
        {"AutoZero", &clsInstrument::AutoZero},
        {"DemandZero", &clsInstrument::DemandZero},
        {"AK", &clsInstrument::AK},
        {"JW", &clsInstrument::JW},
        {"SE", &clsInstrument::SE},
        {"RA", &clsInstrument::RA},
        {"SpanAllowance", &clsInstrument::SpanAllowance},
        {"BumpFailBehavior", &clsInstrument::BumpFailBehavior},
        {"PasswordProtect", &clsInstrument::PasswordProtect},
        {"UseUserPassword", &clsInstrument::UseUserPassword},
        {"LcBhMode", &clsInstrument::LcBhMode},
        {"BhTime", &clsInstrument::BhTime},
        {"LcBuzzer", &clsInstrument::LcBuzzer},
    };
    for (const auto& [name, get] : ints)
        EXPECT_EQ(get(r), 0) << name;
    const std::vector<std::pair<const char*, std::function<qint16(const clsInstrument&)>>> ones = {
        {"CalLimit", &clsInstrument::CalLimit},
        {"LcdBackLight", &clsInstrument::LcdBackLight},
        {"AlarmO2", &clsInstrument::AlarmO2},
        {"BumpLimit", &clsInstrument::BumpLimit},
        {"BumpFailAfter", &clsInstrument::BumpFailAfter},
        {"autoBackLight", &clsInstrument::autoBackLight},
        {"AlarmOnOff", &clsInstrument::AlarmOnOff},
        {"StelTwaOnOff", &clsInstrument::StelTwaOnOff},
    };
    for (const auto& [name, get] : ones)
        EXPECT_EQ(get(r), 1) << name;
    EXPECT_EQ(r.BumpTime(), 60);
    EXPECT_EQ(r.BumpThreshold(), 20);
    EXPECT_EQ(r.BumpFailCalTime(), 90);
    EXPECT_EQ(r.JH(), "0000000000");
    EXPECT_EQ(r.SensorDate(), "000101");
    EXPECT_EQ(r.UserPassword2(), "7193");
    EXPECT_EQ(r.SpecType(), "0");
    for (int i = 0; i < clsInstrument::StationCount; ++i)
        ASSERT_EQ(r.StationList(i), QString(16, '-')) << i;

    EXPECT_EQ(r.GasName(0), "");
    EXPECT_EQ(r.GasUnit(0), "");
    EXPECT_FALSE(r.GasEnabled(0));
    EXPECT_EQ(r.GasFullScale(0), -101.0f);
    EXPECT_EQ(r.GasDesit(0), 0.0f);
    EXPECT_EQ(r.GasPoint(0), -101);
    for (int i = 0; i < clsInstrument::ZeroSlots; ++i) {
        EXPECT_EQ(r.Zero(i), 0) << i;
        EXPECT_EQ(r.OverScale(i), 0) << i;
    }
    for (float v : {r.Warning(0), r.Alarm(0), r.Stel(0), r.Twa(0), r.CalibBefore(0),
                    r.CalibAfter(0), r.AutoCalib(0), r.Ratio(0)})
        EXPECT_EQ(v, -101.0f);
    EXPECT_EQ(r.CalibDate(0), -101.0);
    EXPECT_EQ(r.GasDefinitionText(), "******************");

    // Every flag is lowered except the pump flags, which ClearDatas leaves alone.
    EXPECT_TRUE(raisedFlags(r, false).empty()) << raisedFlags(r, false).front();
    EXPECT_FALSE(anyStationFlag(r));
}

// Restores the en_US locale after a test that switches it.
class LocaleGuard : public ::testing::Test {
protected:
    void TearDown() override {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    static void useCommaLocale() {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }
};

// An 18-character definition from its four fields (widths 4, 5, 5, 4).
QString gasText(const char* name, const char* fullScale, const char* digit, const char* unit) {
    return QString(name).leftJustified(4) + QString(fullScale).rightJustified(5) +
           QString(digit).rightJustified(5) + QString(unit).leftJustified(4);
}

} // namespace

TEST(InstrumentRecord, NewRecordHoldsTheClearedDefaults) {
    const clsInstrument r;
    expectClearedDefaults(r);
    // Values ClearDatas keeps start empty.
    EXPECT_EQ(r.SpecNo(), "");
    EXPECT_EQ(r.ModelTyp(), "");
    EXPECT_EQ(r.Confirmation(), 0);
    EXPECT_EQ(r.BumpFunction(), 0);
    EXPECT_FALSE(r.ImportFlag());
    EXPECT_EQ(r.LI_Name(30), "");
}

TEST(InstrumentRecord, ClearDatasResetsEverythingButTheKeptValues) {
    clsInstrument r;
    for (const Writable& w : writables())
        w.set(r);
    r.setCommFlags(true);
    r.setRomNumber(4711);
    r.setSysDate(45000.5);
    r.setSysDateOffset(0.25);
    r.setGasName(0, "CO");
    r.setGasUnit(0, "ppm");
    r.setGasFullScale(0, 500.0f);
    r.setGasDesit(0, 1.0f);
    r.setCalibBefore(0, 1.0f);
    r.setCalibAfter(0, 2.0f);
    r.setCalibDate(0, 44000.0);
    for (int i = 1; i < 255; ++i)
        r.setStationList(i, "Yard");
    // Kept values.
    r.setModelTyp("VL");
    r.setSUM("1A2B");
    r.setFailLine("HC,R");
    r.setImportFlag(true);
    r.setS1(0, 3.5f);
    r.setSZ(0, 4.5f);
    r.setBumpDates(0, 44500.25);
    r.setBumpResult(0, 1.0f);
    r.setBumpConcentration(0, 25.0f);
    r.setLogMax(0, 9.0f);
    r.setLogMin(0, 1.0f);
    r.setLogAvr(0, 5.0f);
    r.setLogMaxDate(0, 44600.0);
    r.setLogMinDate(0, 44601.0);
    r.setFlowValue(12);
    r.setAnalogValue(8, 1234);
    r.setAdrealValue(99999);
    r.setLimitValue(1, 2.5f);
    r.setLI_Name(30, "H2");

    r.ClearDatas();

    expectClearedDefaults(r);
    EXPECT_EQ(r.SpecNo(), "X7");
    EXPECT_EQ(r.Confirmation(), 7);
    EXPECT_EQ(r.BumpFunction(), 7);
    EXPECT_EQ(r.DispBumpLimit(), 7);
    EXPECT_EQ(r.BumpCheck(), 7);
    EXPECT_EQ(r.FlowLevel(), 7);
    EXPECT_EQ(r.pressOffset(), 7);
    EXPECT_EQ(r.ModelTyp(), "VL");
    EXPECT_EQ(r.SUM(), "1A2B");
    EXPECT_EQ(r.FailLine(), "HC,R");
    EXPECT_TRUE(r.ImportFlag());
    EXPECT_EQ(r.S1(0), 3.5f);
    EXPECT_EQ(r.SZ(0), 4.5f);
    EXPECT_EQ(r.BumpDates(0), 44500.25);
    EXPECT_EQ(r.BumpResult(0), 1.0f);
    EXPECT_EQ(r.BumpConcentration(0), 25.0f);
    EXPECT_EQ(r.LogMax(0), 9.0f);
    EXPECT_EQ(r.LogMin(0), 1.0f);
    EXPECT_EQ(r.LogAvr(0), 5.0f);
    EXPECT_EQ(r.LogMaxDate(0), 44600.0);
    EXPECT_EQ(r.LogMinDate(0), 44601.0);
    EXPECT_EQ(r.FlowValue(), 12);
    EXPECT_EQ(r.AnalogValue(8), 1234);
    EXPECT_EQ(r.AdrealValue(), 99999);
    EXPECT_EQ(r.LimitValue(1), 2.5f);
    EXPECT_EQ(r.LI_Name(30), "H2");
    EXPECT_EQ(r.LS_Name(0), "CH4");
    EXPECT_EQ(r.LS_Linear2_d(1), 0.125);
}

TEST(InstrumentRecord, PumpFlagsSurviveClearDatas) {
    clsInstrument r;
    r.setFlowLevel(300);
    r.setpressOffset(-4);
    r.ClearDatas();
    EXPECT_TRUE(r.Change_FlowLevel());
    EXPECT_TRUE(r.Change_pressOffset());
}

TEST(InstrumentRecord, IdentityTextsAreTrimmedAndNeverEmpty) {
    struct Case {
        const char* field;
        std::function<void(clsInstrument&, const QString&)> set;
        std::function<QString(const clsInstrument&)> get;
        int width;
    };
    const std::vector<Case> cases = {
        {"UserID", &clsInstrument::setUserID, &clsInstrument::UserID, 16},
        {"StationID", &clsInstrument::setStationID, &clsInstrument::StationID, 16},
        {"SerialNo", &clsInstrument::setSerialNo, &clsInstrument::SerialNo, 20},
        {"DummySerial", &clsInstrument::setDummySerial, &clsInstrument::DummySerial, 20},
    };
    for (const Case& c : cases) {
        clsInstrument r;
        c.set(r, "   ");
        EXPECT_EQ(c.get(r), QString(c.width, '-')) << c.field;
        c.set(r, "");
        EXPECT_EQ(c.get(r), QString(c.width, '-')) << c.field;
        c.set(r, "  AB 12  ");
        EXPECT_EQ(c.get(r), "AB 12") << c.field;
        // Longer than the field: the record keeps it whole; the writers cut it.
        c.set(r, QString(30, 'Z'));
        EXPECT_EQ(c.get(r), QString(30, 'Z')) << c.field;
    }
}

TEST(InstrumentRecord, EverySetterStoresItsValueAndRaisesOnlyItsOwnFlag) {
    for (const Writable& w : writables()) {
        clsInstrument r;
        w.set(r);
        EXPECT_TRUE(w.stored(r)) << w.flagName;
        const std::vector<std::string> raised = raisedFlags(r);
        ASSERT_FALSE(raised.empty()) << w.flagName;
        for (const std::string& name : raised)
            EXPECT_EQ(name, w.flagName);
        if (std::string(w.flagName).rfind("Change_StationList", 0) != 0) {
            EXPECT_FALSE(anyStationFlag(r)) << w.flagName;
        }
    }
}

TEST(InstrumentRecord, SettersRaiseTheirFlagEvenWithoutAChange) {
    clsInstrument r;
    r.setAlarmMode(r.AlarmMode());
    EXPECT_TRUE(r.Change_AlarmMode());
    r.setWarning(0, r.Warning(0));
    EXPECT_TRUE(r.Change_Warn(0));
    r.setUserID(r.UserID());
    EXPECT_TRUE(r.Change_UserID());
}

TEST(InstrumentRecord, IntervalsRaisesItsFlagOnlyOnARealChange) {
    clsInstrument r;
    r.setIntervals(0);
    EXPECT_FALSE(r.Change_Interval());
    r.setIntervals(300);
    EXPECT_TRUE(r.Change_Interval());
    r.setChange_Interval(false);
    r.setIntervals(300);
    EXPECT_FALSE(r.Change_Interval());
    EXPECT_EQ(r.Intervals(), 300);
}

TEST(InstrumentRecord, ChangeFlagsAreReadWriteOnTheirOwn) {
    for (const Writable& w : writables()) {
        clsInstrument r;
        w.setFlag(r, true);
        EXPECT_TRUE(w.flag(r)) << w.flagName;
        EXPECT_FALSE(w.stored(r)) << w.flagName << ": setting a flag must not change the value";
        w.setFlag(r, false);
        EXPECT_FALSE(w.flag(r)) << w.flagName;
        EXPECT_TRUE(raisedFlags(r).empty()) << w.flagName;
    }
}

TEST(InstrumentRecord, SetChangeFlagsSeparatesIdentityFromSettings) {
    clsInstrument r;
    for (const Writable& w : writables())
        w.setFlag(r, false);
    r.setChange_FlowLevel(true); // pump flags are left as they are

    struct Step {
        bool flag, idFlag;
    };
    for (const Step s :
         {Step{true, false}, Step{false, true}, Step{true, true}, Step{false, false}}) {
        r.setChange_DummySerial(true);
        r.SetChangeFlags(s.flag, s.idFlag);
        for (const Writable& w : writables()) {
            bool expected = false;
            switch (w.group) {
            case Group::Setting:
                expected = s.flag;
                break;
            case Group::Identity:
                expected = s.idFlag;
                break;
            case Group::DummySerial:
                expected = false;
                break;
            case Group::Pump:
                expected = std::string(w.flagName) == "Change_FlowLevel";
                break;
            }
            EXPECT_EQ(w.flag(r), expected)
                << w.flagName << " flag=" << s.flag << " id=" << s.idFlag;
        }
        for (int i = 0; i < clsInstrument::StationCount; ++i)
            ASSERT_EQ(r.Change_StationList(i), s.idFlag) << i;
    }
}

TEST(InstrumentRecord, ClearChangeFlagsLowersAllButThePumpFlags) {
    clsInstrument r;
    for (const Writable& w : writables())
        w.set(r);
    for (int i = 0; i < clsInstrument::StationCount; ++i)
        r.setStationList(i, "S");
    r.ClearChangeFlags();
    const std::vector<std::string> raised = raisedFlags(r);
    EXPECT_EQ(raised, (std::vector<std::string>{"Change_FlowLevel", "Change_pressOffset"}));
    EXPECT_FALSE(anyStationFlag(r));
}

TEST(InstrumentRecord, OnlyGasChannelZeroExists) {
    clsInstrument r;
    r.setGasEnabled(1, true);
    r.setGasName(1, "CO");
    r.setGasPoint(1, 2);
    r.setWarning(1, 10.0f);
    r.setAlarm(-1, 10.0f);
    r.setAutoCalib(1, 10.0f);
    r.setCalibDate(1, 100.0);
    r.setChange_Stel(1, true);
    EXPECT_FALSE(r.GasEnabled(1));
    EXPECT_EQ(r.GasName(1), "");
    EXPECT_EQ(r.GasPoint(1), 0);
    EXPECT_EQ(r.Warning(1), 0.0f);
    EXPECT_EQ(r.Alarm(-1), 0.0f);
    EXPECT_EQ(r.CalibDate(1), 0.0);
    EXPECT_FALSE(r.Change_Stel(1));
    // Channel 0 is untouched and nothing was flagged.
    EXPECT_FALSE(r.GasEnabled(0));
    EXPECT_EQ(r.GasName(0), "");
    EXPECT_EQ(r.Warning(0), -101.0f);
    EXPECT_TRUE(raisedFlags(r).empty());
}

TEST(InstrumentRecord, IndexesOutsideTheirRangeAreIgnored) {
    clsInstrument r;
    r.setStationList(256, "Far");
    r.setStationList(-1, "Far");
    r.setChange_StationList(256, true);
    EXPECT_EQ(r.StationList(256), "");
    EXPECT_EQ(r.StationList(-1), "");
    EXPECT_FALSE(r.Change_StationList(256));
    EXPECT_EQ(r.StationList(255), QString(16, '-'));

    r.setZero(4, 1);
    r.setOverScale(-1, 1);
    EXPECT_EQ(r.Zero(4), 0);
    EXPECT_EQ(r.OverScale(-1), 0);
    EXPECT_FALSE(r.Change_Zero(4));

    r.setAnalogValue(9, 5);
    r.setLimitValue(2, 5.0f);
    EXPECT_EQ(r.AnalogValue(9), 0);
    EXPECT_EQ(r.LimitValue(2), 0.0f);

    r.setLI_Name(31, "X");
    r.setLS_Name(2, "X");
    r.setChange_LSData(2, true);
    EXPECT_EQ(r.LI_Name(31), "");
    EXPECT_EQ(r.LS_Name(2), "");
    EXPECT_FALSE(r.Change_LSData(2));
    EXPECT_TRUE(raisedFlags(r).empty());
}

// ---- Gas definition text ----

class GasDefinition : public LocaleGuard {};

TEST_F(GasDefinition, AppliesTheFourFieldsToChannelZero) {
    struct Case {
        QString text;
        const char* name;
        float fullScale, digit;
        int point;
        const char* unit;
    };
    const std::vector<Case> cases = {
        {gasText("CH4", "100", "1", "%LEL"), "CH4", 100.0f, 1.0f, 0, "%LEL"},
        {gasText("O2", "25.0", "0.1", "VOL%"), "O2", 25.0f, 0.1f, 1, "VOL%"},
        {gasText("H2S", "30.00", "0.05", "ppm"), "H2S", 30.0f, 0.05f, 2, "ppm"},
        {gasText("CO", "500", "1.", "ppm"), "CO", 500.0f, 1.0f, 0, "ppm"},
        {gasText("", "2.000", "0.001", ""), "", 2.0f, 0.001f, 3, ""},
    };
    for (bool comma : {false, true}) {
        if (comma) useCommaLocale();
        for (const Case& c : cases) {
            clsInstrument r;
            ASSERT_EQ(c.text.size(), 18);
            ASSERT_TRUE(r.ApplyGasDefinition(c.text)) << c.text.toStdString();
            EXPECT_TRUE(r.GasEnabled(0));
            EXPECT_EQ(r.GasName(0), c.name);
            EXPECT_FLOAT_EQ(r.GasFullScale(0), c.fullScale);
            EXPECT_FLOAT_EQ(r.GasDesit(0), c.digit);
            EXPECT_EQ(r.GasPoint(0), c.point);
            EXPECT_EQ(r.GasUnit(0), c.unit);
            // Like any edit of the definition, it is flagged for writing.
            EXPECT_TRUE(r.Change_GasEnable(0));
            EXPECT_TRUE(r.Change_GasPoint(0));
        }
    }
}

TEST_F(GasDefinition, EighteenAsterisksMeanNoGas) {
    clsInstrument r;
    ASSERT_TRUE(r.ApplyGasDefinition(gasText("CO", "500", "1", "ppm")));
    ASSERT_TRUE(r.ApplyGasDefinition("******************"));
    EXPECT_FALSE(r.GasEnabled(0));
    EXPECT_EQ(r.GasName(0), "");
    EXPECT_EQ(r.GasUnit(0), "");
    EXPECT_EQ(r.GasFullScale(0), -101.0f);
    EXPECT_EQ(r.GasDesit(0), 0.0f);
    EXPECT_EQ(r.GasPoint(0), -101);
    EXPECT_EQ(r.GasDefinitionText(), "******************");
}

TEST_F(GasDefinition, TextWithoutNumbersIsRefusedAndChangesNothing) {
    for (const QString& bad :
         {gasText("CH4", "abc", "1", "%LEL"), gasText("CH4", "100", "", "%LEL"),
          gasText("CH4", "*****", "*****", "%LEL"), QString("*****************"),
          gasText("CH4", "1,5", "1", "%LEL"), QString("CH4"),
          // Negative numbers would be written back as "*****" and could not be read again.
          gasText("O2", "-5.0", "0.1", "VOL%"), gasText("O2", "25.0", "-0.1", "VOL%")}) {
        clsInstrument r;
        ASSERT_TRUE(r.ApplyGasDefinition(gasText("CO", "500", "1", "ppm")));
        r.ClearChangeFlags();
        EXPECT_FALSE(clsInstrument::IsGasDefinition(bad)) << bad.toStdString();
        EXPECT_FALSE(r.ApplyGasDefinition(bad)) << bad.toStdString();
        EXPECT_EQ(r.GasName(0), "CO");
        EXPECT_EQ(r.GasFullScale(0), 500.0f);
        EXPECT_TRUE(raisedFlags(r).empty());
    }
    EXPECT_TRUE(clsInstrument::IsGasDefinition("******************"));
    EXPECT_TRUE(clsInstrument::IsGasDefinition(gasText("CH4", "100", "1", "%LEL")));
}

TEST_F(GasDefinition, LocaleSeparatorIsAlsoAcceptedWhenReading) {
    useCommaLocale();
    clsInstrument r;
    ASSERT_TRUE(r.ApplyGasDefinition(gasText("O2", "25,0", "0,1", "VOL%")));
    EXPECT_FLOAT_EQ(r.GasFullScale(0), 25.0f);
    EXPECT_FLOAT_EQ(r.GasDesit(0), 0.1f);
    EXPECT_EQ(r.GasPoint(0), 1);
    // Written back, the separator is "." again.
    EXPECT_EQ(r.GasDefinitionText(), gasText("O2", "25.0", "0.1", "VOL%"));
}

TEST_F(GasDefinition, TextFromTheRecordAlwaysUsesADot) {
    for (bool comma : {false, true}) {
        if (comma) useCommaLocale();
        clsInstrument r;
        r.setGasEnabled(0, true);
        r.setGasName(0, "H2S");
        r.setGasFullScale(0, 30.0f);
        r.setGasDesit(0, 0.05f);
        r.setGasPoint(0, 2);
        r.setGasUnit(0, "ppm");
        EXPECT_EQ(r.GasDefinitionText(), "H2S 30.00 0.05ppm ") << "comma locale " << comma;

        r.setGasPoint(0, 0);
        r.setGasDesit(0, 1.0f);
        r.setGasFullScale(0, 100.0f);
        r.setGasName(0, "CH4");
        r.setGasUnit(0, "%LEL");
        EXPECT_EQ(r.GasDefinitionText(), "CH4   100    1%LEL");

        // Names and units longer than their field are cut; a disabled gas is all asterisks.
        r.setGasName(0, "CH4-X");
        r.setGasUnit(0, "%LELX");
        EXPECT_EQ(r.GasDefinitionText(), "CH4-  100    1%LEL");
        r.setGasEnabled(0, false);
        EXPECT_EQ(r.GasDefinitionText(), "******************");
    }
}

TEST_F(GasDefinition, RoundTripsThroughTheRecord) {
    for (const QString& text :
         {gasText("CH4", "100", "1", "%LEL"), gasText("O2", "25.0", "0.1", "VOL%"),
          gasText("CO", "2.000", "0.005", "ppm"), QString("******************")}) {
        for (bool comma : {false, true}) {
            if (comma) useCommaLocale();
            clsInstrument r;
            ASSERT_TRUE(r.ApplyGasDefinition(text));
            EXPECT_EQ(r.GasDefinitionText(), text);
        }
    }
}
