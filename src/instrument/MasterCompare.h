#pragma once

#include <QList>
#include <QString>

class clsInstrument;

// Comparison of a detector's settings with a master configuration file.
namespace MasterCompare {

// One differing setting: its message number and the line shown for it.
struct Difference {
    int message = 0;
    QString text;
};

// Result of one comparison.
struct Result {
    // False when no master was loaded (nothing compared).
    bool compared = false;
    // Differences in the fixed order of the settings.
    QList<Difference> differences;
    bool allOk() const { return compared && differences.isEmpty(); }
};

// Compares every setting that the master file set (its change flags) with the working record.
// Neither record changes. Texts come from the message table: "<name> <> MASTER", except the
// user and station ids, whose lines are the name alone.
Result Compare(const clsInstrument& master, const clsInstrument& working);

// The line shown when nothing differs.
QString OkText();

} // namespace MasterCompare
