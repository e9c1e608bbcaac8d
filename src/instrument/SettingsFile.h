#pragma once

#include <QString>
#include <QStringList>

class clsInstrument;

// The configuration file (".seq"): one detector's settings as write commands, one a line.
namespace SettingsFile {

// Outcome of reading or importing a file.
struct ReadResult {
    // False when the file could not be opened or a field could not be converted.
    bool ok = true;
    // One sentence naming the file (and line) when ok is false.
    QString error;
    // 1-based line of a conversion error, 0 otherwise.
    int errorLine = 0;
    // Texts of the warnings met while reading ("obsolute BU format", "unknown ZZ"), in order.
    QStringList warnings;
};

// The lines of the file for `record`, without line ends, each ending with ",".
QStringList Lines(const clsInstrument& record);

// Writes the file for `record`, replacing an existing one only when the new one is complete.
// Returns false with one sentence in `error` when it cannot be written.
bool Write(const clsInstrument& record, const QString& path, QString* error = nullptr);

// Applies the lines of a file to `record` through its setters (raising their change flags).
// A conversion error stops at that line; what came before it has been applied.
ReadResult ApplyLines(const QStringList& lines, clsInstrument& record);

// Reads the file at `path` into its lines (CR LF, LF and CR line ends accepted).
bool LoadLines(const QString& path, QStringList& lines, QString* error = nullptr);

// Reads the file at `path` into `record`. On an error `record` is left exactly as it was.
ReadResult Read(const QString& path, clsInstrument& record);

// Loads a file into the working record (every setting flagged for writing except the
// identity, ImportFlag set) and into the master record (only the settings the file holds
// flagged, ImportFlag set). On an error neither record changes.
ReadResult Import(const QString& path, clsInstrument& working, clsInstrument& master);

} // namespace SettingsFile
