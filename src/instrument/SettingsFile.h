#pragma once

#include <QString>
#include <QList>
#include <QStringList>
#include <QStringView>

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
// The text of the file for `record` made in one piece: its lines, each followed by CR LF.
QString Text(const clsInstrument& record);

// Writes the file for `record`, replacing an existing one only when the new one is complete.
// Returns false with one sentence in `error` when it cannot be written.
bool Write(const clsInstrument& record, const QString& path, QString* error = nullptr);

// How reading a file raises the change flags of the record it fills.
enum class Flagging {
    // As the setters raise them; a setter that flags only a change (the interval) leaves a
    // setting whose value stays the same unflagged.
    BySetters,
    // Every setting a line of the file sets is flagged, whatever value the record held before:
    // the flags then name exactly the settings the file holds (a master record).
    EveryLine,
};

// Applies the lines of a file to `record` through its setters (raising their change flags;
// with Flagging::EveryLine also the flag of every setting a line sets). The alarm levels and the
// calibration concentration the file sets (A1, A2, AS, AW, SA) are then rounded to the gas's
// decimal places (RoundToPlaces), so that the record holds exactly what is shown and sent.
// A conversion error stops at that line; what came before it has been applied.
ReadResult ApplyLines(const QStringList& lines, clsInstrument& record,
                      Flagging flagging = Flagging::BySetters);
// The same for lines that are views of a text (LineViews), which must outlive the call.
ReadResult ApplyLines(const QList<QStringView>& lines, clsInstrument& record,
                      Flagging flagging = Flagging::BySetters);

// Reads the lines of a master file into `master` as the master comparison needs it: every
// change flag lowered first, then every setting the file holds flagged (Flagging::EveryLine);
// ImportFlag is true afterwards only when the whole file was read.
ReadResult ApplyMasterLines(const QStringList& lines, clsInstrument& master);
ReadResult ApplyMasterLines(const QList<QStringView>& lines, clsInstrument& master);

// The text of a file's bytes (in the system's encoding).
QString TextOfBytes(const QByteArray& bytes);
// The lines of a text (CR LF, LF and CR line ends), as views of it.
QList<QStringView> LineViews(QStringView text);
// The lines of a file's bytes: TextOfBytes, then LineViews, each line a text of its own.
QStringList LinesOfText(const QByteArray& bytes);

// Reads the file at `path` into its lines (LinesOfText).
bool LoadLines(const QString& path, QStringList& lines, QString* error = nullptr);

// Reads the file at `path` into `record`. On an error `record` is left exactly as it was.
ReadResult Read(const QString& path, clsInstrument& record);

// Loads a file into the working record (every setting flagged for writing except the
// identity, ImportFlag set) and into the master record (ApplyMasterLines: every setting the
// file holds flagged, ImportFlag set). On an error neither record changes.
ReadResult Import(const QString& path, clsInstrument& working, clsInstrument& master);

} // namespace SettingsFile
