#pragma once

#include <QString>
#include <QStringList>

// The texts with which the setting grids show list settings: the choices of each list in the
// program's language, and the text of one stored value.
namespace SettingText {

// The choice lists of list settings.
enum class Choices {
    OffOn,            // "Off", "On"; any non-zero value is on
    AlarmPattern,     // reset, latch, and in debug mode latch + reset
    LimitCheck,       // the three behaviours when a calibration or bump limit is passed
    Destination,      // the two destinations
    BumpFailBehavior, // the two behaviours after a failed bump test
    OxyAlarm,         // "L-H", "L-LL", "H-HH"
    TwaMode,          // TWA or one-hour average
};

// The choices of a list; `debug` adds the debug-only alarm pattern.
QStringList List(Choices choices, bool debug);

// The text of a stored value of a list: its choice, or the number itself when it names none.
QString Choice(Choices choices, int value, bool debug);

} // namespace SettingText
