#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class clsInstrument;

// Comparison of a detector's settings with a master configuration file.
namespace MasterCompare {

// One differing setting.
struct Difference {
    // Message number of the setting's name and the red line shown for it.
    int message = 0;
    QString text;
    // Stable name of the setting (the record's property, such as "AlarmMode" or "Warning"),
    // the name that AdoptFromMaster takes.
    QString key;
    // The setting's name in the program's language.
    QString caption;
    // The values of the working record (the detector) and of the master as the setting grids
    // show them.
    QString detector;
    QString master;
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

// Lowers every change flag of `working`, then copies the master's value of each setting named
// in `keys` into it, raising only the change flags of those settings, so that the write
// sequence sends exactly them. Returns the keys it does not know (nothing is copied for them).
QStringList AdoptFromMaster(const clsInstrument& master, clsInstrument& working,
                            const QStringList& keys);

// True for the settings that make a detector's identity (serial and manufacture numbers, user
// and station ids).
bool IsIdentityKey(const QString& key);

} // namespace MasterCompare
