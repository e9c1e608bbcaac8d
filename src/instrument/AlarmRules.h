#pragma once

#include <QList>
#include <QString>
#include <optional>
#include <utility>

class clsInstrument;

// Rules for the alarm points and the auto-calibration concentration of a detector, shared by the
// settings grid (which colours the cells that break them and refuses edits that would) and by
// the write workflow (which refuses to send while they are broken).

// The alarm points the range rules know, numbered as the rules number them.
enum class AlarmItem { Warning = 1, Alarm = 2, Stel = 3, Twa = 4 };

// Model class of a record: 0 KM, 1 QZ, 2 VL with an H2S sensor (gas 0), 3 VL with any other
// sensor, -1 any other model type.
int ModelClass(const clsInstrument& record);

// True when a concentration setting is shown as a number (it is no status code and not the
// "not used" mark -101); only such values are range-checked.
bool IsShownAsNumber(float value);

// Order rule of a gas: Warning and Alarm in the right order (Warning >= Alarm for a QZ detector
// whose oxygen alarm type is 1, Warning <= Alarm otherwise); always true while either is
// negative.
bool AlarmOrderValid(const clsInstrument& record, int gas);

// The range of an item for its model class: true with `low` and `high` set, false when the model
// class has no range for the item. `low` is minus infinity where the rule has no lower bound.
bool AlarmRangeBounds(const clsInstrument& record, int gas, AlarmItem item, double* low,
                      double* high);

// True when `value` lies in the range of its model class and item; an item the model class has
// no range for, and every item of model class -1, is never valid.
bool AlarmRangeValid(const clsInstrument& record, int gas, AlarmItem item, float value);

// Auto-calibration rule: `value` is at or beyond the gas's warning point (at or below it for
// oxygen), as IsAtWarning() decides; any negative value passes.
bool AutoCalRuleValid(const clsInstrument& record, int gas, float value);

// The value snapped to the gas's resolution (RoundToStep with GasDesit); a gas without a
// resolution (0 or negative) keeps the value as it is.
float SnapToResolution(const clsInstrument& record, int gas, float value);

// Alarm-point check of one gas as the grid colours it: the order rule, and the range rule of
// Warning and Alarm (and, for gas numbers above 1, of STEL and TWA) for every value shown as a
// number.
bool AlarmPointsValid(const clsInstrument& record, int gas);

// The stored auto-calibration concentration of one gas passes the auto-calibration rule.
bool AutoCalValid(const clsInstrument& record, int gas);

// AlarmPointsValid() for every enabled gas of the record.
bool RecordAlarmPointsValid(const clsInstrument& record);

// AutoCalValid() for every enabled gas of the record.
bool RecordAutoCalValid(const clsInstrument& record);

// STEL or TWA (`item`) of one gas checked as the grid checks a typed value: a value shown as a
// number must lie in the range of its model class and item (AlarmRangeValid); the no-value mark
// and the status codes pass. Values from a configuration file go through this check, which the
// grid's colours (STEL and TWA only above gas 1) leave out.
bool ExposureLimitValid(const clsInstrument& record, int gas, AlarmItem item);

// ExposureLimitValid() of STEL and TWA for every enabled gas of the record.
bool RecordExposureLimitsValid(const clsInstrument& record);

// The first STEL or TWA of an enabled gas that fails ExposureLimitValid(), if any.
std::optional<std::pair<int, AlarmItem>> FirstExposureLimitOutOfRange(const clsInstrument& record);

// One alarm point that a write would switch off.
struct SwitchedOffPoint {
    int gas = 0;
    // AlarmItem::Warning or AlarmItem::Alarm.
    AlarmItem item = AlarmItem::Warning;
    bool operator==(const SwitchedOffPoint&) const = default;
};

// The Warning and Alarm points that writing `toWrite` would switch off, in gas order, Warning
// before Alarm: those of every gas enabled in `toWrite` that would be sent as "*****" (the
// no-value mark or any other negative value) while `detector` holds a value (>= 0) for them.
// `detector` is the detector's record as read; when it holds no complete read (CommFlags false),
// the detector's values are unknown and every such point is listed. Change flags are not looked
// at: the caller asks for a write that sends the alarm points.
QList<SwitchedOffPoint> AlarmPointsSwitchedOff(const clsInstrument& detector,
                                               const clsInstrument& toWrite);

// One switched-off point as text: the gas name of `record` and the point's caption from the
// message table ("CH4 Warning", "O2 Alarm").
QString SwitchedOffPointText(const clsInstrument& record, const SwitchedOffPoint& point);
