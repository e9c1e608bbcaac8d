#include "instrument/MasterCompare.h"

#include "instrument/SettingText.h"
#include "instrument/clsInstrument.h"
#include "shell/Messages.h"
#include "shell/modGasCommon.h"

#include <functional>

namespace MasterCompare {

namespace {

using Record = clsInstrument;
using SettingText::Choices;

// One compared setting: when the master sets it, how it differs, how it is shown and how the
// master's value is taken over. The table below holds them in the fixed order of the lines.
struct Setting {
    const char* key;
    int message;
    QString suffix;
    std::function<bool(const Record& master)> set;
    std::function<bool(const Record& master, const Record& working)> differs;
    std::function<QString(const Record&)> shown;
    std::function<void(const Record& from, Record& to)> adopt;
};

const QString kSuffix = QStringLiteral(" <> MASTER");

QString Reading(float value, const Record& r) {
    return FormatReading(value, r.GasPoint(0));
}

QString GasShown(const Record& r) {
    if (!r.GasEnabled(0)) return SettingText::Choice(Choices::OffOn, 0, false);
    return FormatGasCaption(r.GasName(0), r.GasUnit(0), r.GasFullScale(0), r.GasPoint(0));
}

bool GasDiffers(const Record& m, const Record& w) {
    return m.GasEnabled(0) != w.GasEnabled(0) || m.GasName(0) != w.GasName(0) ||
           m.GasFullScale(0) != w.GasFullScale(0) || m.GasDesit(0) != w.GasDesit(0) ||
           m.GasPoint(0) != w.GasPoint(0) || m.GasUnit(0) != w.GasUnit(0);
}

void GasAdopt(const Record& m, Record& w) {
    w.setGasName(0, m.GasName(0));
    w.setGasEnabled(0, m.GasEnabled(0));
    w.setGasFullScale(0, m.GasFullScale(0));
    w.setGasDesit(0, m.GasDesit(0));
    w.setGasPoint(0, m.GasPoint(0));
    w.setGasUnit(0, m.GasUnit(0));
}

bool BumpGroup(const Record& m) {
    return m.Change_BumpTime() || m.Change_BumpThreshold() || m.Change_BumpFailAfter() ||
           m.Change_BumpFailCalTime();
}

bool PasswordGroup(const Record& m) {
    return m.Change_UseUserPassword() || m.Change_UserPassword2();
}

QString Number(int value) {
    return QString::number(value);
}

QString Destination(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? SettingText::Choice(Choices::Destination, value, true) : text;
}

// A setting of the record held in property NAME with setter setNAME, shown through SHOWN (an
// expression of `value`); the master sets it when SET(master) holds.
#define KM71_GROUPED(NAME, MESSAGE, SET, SHOWN)                                                 \
    Setting {                                                                                  \
        #NAME, MESSAGE, kSuffix, SET,                                                           \
            [](const Record& m, const Record& w) { return m.NAME() != w.NAME(); },              \
            [](const Record& r) {                                                               \
                const auto value = r.NAME();                                                    \
                return SHOWN;                                                                   \
            },                                                                                  \
            [](const Record& m, Record& w) { w.set##NAME(m.NAME()); }                           \
    }
// The same for a setting with its own flag Change_NAME.
#define KM71_SETTING(NAME, MESSAGE, SHOWN)                                                      \
    KM71_GROUPED(NAME, MESSAGE, [](const Record& m) { return m.Change_##NAME(); }, SHOWN)
// A concentration setting of gas channel 0.
#define KM71_GAS_POINT(KEY, NAME, FLAG, MESSAGE)                                                \
    Setting {                                                                                  \
        KEY, MESSAGE, kSuffix, [](const Record& m) { return m.FLAG(0); },                       \
            [](const Record& m, const Record& w) { return m.NAME(0) != w.NAME(0); },            \
            [](const Record& r) { return Reading(r.NAME(0), r); },                              \
            [](const Record& m, Record& w) { w.set##NAME(0, m.NAME(0)); }                       \
    }

const QList<Setting>& Settings() {
    static const QList<Setting> settings{
        KM71_SETTING(UserID, 5610, value),
        KM71_SETTING(StationID, 5609, value),
        KM71_SETTING(SerialNo, 5608, value),
        KM71_SETTING(DummySerial, 8003, value),
        Setting{"Gas", 5648, QStringLiteral("0") + kSuffix,
                [](const Record& m) { return m.Change_GasEnable(0); }, GasDiffers, GasShown,
                GasAdopt},
        KM71_SETTING(AlarmMode, 8004, SettingText::Choice(Choices::AlarmPattern, value, true)),
        KM71_SETTING(AlarmMode2, 9101, SettingText::Choice(Choices::AlarmPattern, value, true)),
        KM71_SETTING(DispCalLimit, 8010, SettingText::Choice(Choices::OffOn, value, false)),
        KM71_SETTING(CalLimit, 5655, Number(value)),
        KM71_SETTING(CalCheck, 8011, SettingText::Choice(Choices::LimitCheck, value, false)),
        KM71_SETTING(Confirmation, 8044, SettingText::Choice(Choices::OffOn, value, false)),
        KM71_SETTING(LogOverWrite, 8009, SettingText::Choice(Choices::OffOn, value, false)),
        KM71_SETTING(LcdBackLight, 8023, Number(value)),
        KM71_SETTING(AIdata, 9102, Number(value)),
        KM71_SETTING(AJdata, 9103, Number(value)),
        KM71_SETTING(ABdata, 9104, SettingText::Choice(Choices::OffOn, value, false)),
        KM71_SETTING(BumpFunction, 8083, SettingText::Choice(Choices::OffOn, value, false)),
        KM71_SETTING(DispBumpLimit, 8081, SettingText::Choice(Choices::OffOn, value, false)),
        KM71_SETTING(BumpLimit, 8080, Number(value)),
        KM71_SETTING(BumpCheck, 8082, SettingText::Choice(Choices::LimitCheck, value, false)),
        KM71_GROUPED(BumpTime, 8029, BumpGroup, Number(value)),
        KM71_GROUPED(BumpThreshold, 8030, BumpGroup, Number(value)),
        KM71_GROUPED(BumpFailAfter, 8031, BumpGroup,
                     SettingText::Choice(Choices::OffOn, value, false)),
        KM71_GROUPED(BumpFailCalTime, 8032, BumpGroup, Number(value)),
        KM71_GROUPED(
            AlarmO2, 8022,
            [](const Record& m) { return m.ModelTyp() == QLatin1String("QZ") && m.Change_AlarmO2(); },
            SettingText::Choice(Choices::OxyAlarm, value, false)),
        KM71_GROUPED(
            AK, 20013,
            [](const Record& m) { return m.ModelTyp() == QLatin1String("VL") && m.Change_AK(); },
            SettingText::Choice(Choices::TwaMode, value, false)),
        KM71_SETTING(JW, 8084, SettingText::Choice(Choices::OffOn, value, false)),
        KM71_SETTING(JH, 8085, value),
        KM71_SETTING(SE, 8086, Number(value)),
        KM71_GAS_POINT("Warning", Warning, Change_Warn, 5650),
        KM71_GAS_POINT("Alarm", Alarm, Change_Alarm, 5651),
        KM71_GAS_POINT("AutoCalib", AutoCalib, Change_AutoCal, 5654),
        KM71_GAS_POINT("Stel", Stel, Change_Stel, 5652),
        KM71_GAS_POINT("Twa", Twa, Change_Twa, 5653),
        KM71_GROUPED(
            Intervals, 5223, [](const Record& m) { return m.Change_Interval(); }, Number(value)),
        KM71_SETTING(SpecType, 8015, Destination(value)),
        KM71_SETTING(AutoZero, 8019, SettingText::Choice(Choices::OffOn, value, false)),
        KM71_SETTING(DemandZero, 8020, SettingText::Choice(Choices::OffOn, value, false)),
        KM71_SETTING(SpanAllowance, 8057, SettingText::Choice(Choices::OffOn, value, false)),
        KM71_SETTING(BumpFailBehavior, 8058,
                     SettingText::Choice(Choices::BumpFailBehavior, value, false)),
        KM71_SETTING(SensorDate, 8059, value),
        KM71_SETTING(PasswordProtect, 8062, SettingText::Choice(Choices::OffOn, value, false)),
        KM71_GROUPED(UseUserPassword, 8021, PasswordGroup,
                     SettingText::Choice(Choices::OffOn, value, false)),
        KM71_GROUPED(UserPassword2, 8024, PasswordGroup, value),
    };
    return settings;
}

#undef KM71_SETTING
#undef KM71_GROUPED
#undef KM71_GAS_POINT

} // namespace

QString OkText() { return QStringLiteral(" Compare MASTER OK"); }

Result Compare(const clsInstrument& m, const clsInstrument& w) {
    Result result;
    if (!m.ImportFlag()) return result;
    result.compared = true;
    for (const Setting& s : Settings()) {
        if (!s.set(m) || !s.differs(m, w)) continue;
        const QString key = QString::fromLatin1(s.key);
        // The user and station ids are named alone.
        const bool named = key == QLatin1String("UserID") || key == QLatin1String("StationID");
        const QString caption = LoadMessage(s.message);
        result.differences.append(
            {s.message, caption + (named ? QString() : s.suffix), key, caption, s.shown(w),
             s.shown(m)});
    }
    return result;
}

QStringList AdoptFromMaster(const clsInstrument& master, clsInstrument& working,
                            const QStringList& keys) {
    working.ClearChangeFlags();
    QStringList unknown;
    for (const QString& key : keys) {
        bool known = false;
        for (const Setting& s : Settings()) {
            if (key != QLatin1String(s.key)) continue;
            s.adopt(master, working);
            known = true;
            break;
        }
        if (!known) unknown << key;
    }
    return unknown;
}

bool IsIdentityKey(const QString& key) {
    return key == QLatin1String("SerialNo") || key == QLatin1String("DummySerial") ||
           key == QLatin1String("UserID") || key == QLatin1String("StationID");
}

} // namespace MasterCompare
