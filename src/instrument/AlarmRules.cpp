#include "instrument/AlarmRules.h"

#include "instrument/GasChannel.h"
#include "instrument/clsInstrument.h"
#include "shell/Messages.h"
#include "shell/modGasCommon.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Captions of the two alarm points and of a gas without a name.
constexpr int kMsgWarningPoint = 5650;
constexpr int kMsgAlarmPoint = 5651;
constexpr int kMsgGas = 5648;

// Limits are decimal numbers (20.9, 0.6 x full scale) compared with single-precision values, so
// a value that shows as the limit must count as on it: allow a millionth of the limit.
double slack(double limit) {
    return 1e-6 * std::max(1.0, std::fabs(limit));
}
bool atLeast(float value, double limit) {
    return static_cast<double>(value) >= limit - slack(limit);
}
bool atMost(float value, double limit) {
    return static_cast<double>(value) <= limit + slack(limit);
}

} // namespace

int ModelClass(const clsInstrument& record) {
    const QString model = record.ModelTyp().trimmed();
    if (model == QLatin1String("KM")) return 0;
    if (model == QLatin1String("QZ")) return 1;
    if (model == QLatin1String("VL"))
        return record.GasName(0).trimmed() == QLatin1String("H2S") ? 2 : 3;
    return -1;
}

bool IsShownAsNumber(float value) {
    return std::isfinite(value) && ReadingCodeText(value).isEmpty();
}

bool AlarmOrderValid(const clsInstrument& record, int gas) {
    const float warning = record.Warning(gas);
    const float alarm = record.Alarm(gas);
    if (warning < 0.0f || alarm < 0.0f) return true;
    // The oxygen alarm type 1 warns on deficiency: the warning point lies above the alarm.
    if (ModelClass(record) == 1 && record.AlarmO2() == 1) return warning >= alarm;
    return warning <= alarm;
}

bool AlarmRangeBounds(const clsInstrument& record, int gas, AlarmItem item, double* low,
                      double* high) {
    const double fullScale = record.GasFullScale(gas);
    const bool alarmPoint = item == AlarmItem::Warning || item == AlarmItem::Alarm;
    const double none = -std::numeric_limits<double>::infinity();
    auto bounds = [&](double from, double to) {
        *low = from;
        *high = to;
        return true;
    };
    switch (ModelClass(record)) {
    case 0:
        if (item == AlarmItem::Warning) return bounds(0.0, fullScale);
        if (item == AlarmItem::Alarm) return bounds(none, 0.6 * fullScale);
        return false;
    case 1:
        if (!alarmPoint) return false;
        switch (record.AlarmO2()) {
        case 0:
            return bounds(18.0, 25.0);
        case 1:
            return bounds(18.0, 20.9);
        case 2:
            if (item == AlarmItem::Warning) return bounds(none, record.Alarm(gas));
            return bounds(record.Warning(gas), fullScale);
        default:
            return false;
        }
    case 2:
        return bounds(0.0, 30.0);
    case 3:
        return bounds(0.0, 200.0);
    default:
        return false;
    }
}

bool AlarmRangeValid(const clsInstrument& record, int gas, AlarmItem item, float value) {
    if (!std::isfinite(value)) return false;
    double low = 0.0;
    double high = 0.0;
    if (!AlarmRangeBounds(record, gas, item, &low, &high)) return false;
    return (std::isinf(low) || atLeast(value, low)) && atMost(value, high);
}

bool AutoCalRuleValid(const clsInstrument& record, int gas, float value) {
    return IsAtWarning(record, gas, value);
}

float SnapToResolution(const clsInstrument& record, int gas, float value) {
    const float step = record.GasDesit(gas);
    if (!(step > 0.0f)) return value;
    return RoundToStep(value, step);
}

bool AlarmPointsValid(const clsInstrument& record, int gas) {
    if (!AlarmOrderValid(record, gas)) return false;
    struct Checked {
        AlarmItem item;
        float value;
    };
    const Checked checked[] = {
        {AlarmItem::Warning, record.Warning(gas)},
        {AlarmItem::Alarm, record.Alarm(gas)},
        {AlarmItem::Stel, record.Stel(gas)},
        {AlarmItem::Twa, record.Twa(gas)},
    };
    for (const Checked& c : checked) {
        // STEL and TWA ranges apply only to gas numbers above 1.
        if ((c.item == AlarmItem::Stel || c.item == AlarmItem::Twa) && gas <= 1) continue;
        if (IsShownAsNumber(c.value) && !AlarmRangeValid(record, gas, c.item, c.value))
            return false;
    }
    return true;
}

bool AutoCalValid(const clsInstrument& record, int gas) {
    return AutoCalRuleValid(record, gas, record.AutoCalib(gas));
}

bool RecordAlarmPointsValid(const clsInstrument& record) {
    for (int gas = 0; gas < clsInstrument::GasCount; ++gas)
        if (record.GasEnabled(gas) && !AlarmPointsValid(record, gas)) return false;
    return true;
}

bool RecordAutoCalValid(const clsInstrument& record) {
    for (int gas = 0; gas < clsInstrument::GasCount; ++gas)
        if (record.GasEnabled(gas) && !AutoCalValid(record, gas)) return false;
    return true;
}

bool ExposureLimitValid(const clsInstrument& record, int gas, AlarmItem item) {
    const float value = item == AlarmItem::Stel ? record.Stel(gas) : record.Twa(gas);
    return !IsShownAsNumber(value) || AlarmRangeValid(record, gas, item, value);
}

bool RecordExposureLimitsValid(const clsInstrument& record) {
    return !FirstExposureLimitOutOfRange(record);
}

std::optional<std::pair<int, AlarmItem>> FirstExposureLimitOutOfRange(const clsInstrument& record) {
    for (int gas = 0; gas < clsInstrument::GasCount; ++gas) {
        if (!record.GasEnabled(gas)) continue;
        for (const AlarmItem item : {AlarmItem::Stel, AlarmItem::Twa})
            if (!ExposureLimitValid(record, gas, item)) return std::pair{gas, item};
    }
    return std::nullopt;
}

QList<SwitchedOffPoint> AlarmPointsSwitchedOff(const clsInstrument& detector,
                                               const clsInstrument& toWrite) {
    // A value goes out as "*****" exactly when it is not a value of at least 0.
    const auto sentAsNoValue = [](float v) { return !(v >= 0.0f) || std::isinf(v); };
    const auto detectorHolds = [&](float v) { return !detector.CommFlags() || v >= 0.0f; };
    QList<SwitchedOffPoint> points;
    for (int gas = 0; gas < clsInstrument::GasCount; ++gas) {
        if (!toWrite.GasEnabled(gas)) continue;
        if (sentAsNoValue(toWrite.Warning(gas)) && detectorHolds(detector.Warning(gas)))
            points.append({gas, AlarmItem::Warning});
        if (sentAsNoValue(toWrite.Alarm(gas)) && detectorHolds(detector.Alarm(gas)))
            points.append({gas, AlarmItem::Alarm});
    }
    return points;
}

QString SwitchedOffPointText(const clsInstrument& record, const SwitchedOffPoint& point) {
    QString gas = record.GasName(point.gas).trimmed();
    if (gas.isEmpty()) gas = LoadMessage(kMsgGas) + QString::number(point.gas);
    const int caption = point.item == AlarmItem::Alarm ? kMsgAlarmPoint : kMsgWarningPoint;
    return gas + u' ' + LoadMessage(caption);
}
