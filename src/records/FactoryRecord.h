#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

class clsInstrument;

// The factory record file: one header line and one line per successful read or write of a
// detector, appended to "KM71_Setting<suffix>.csv" in the start-up folder. Fields are separated
// by ListSeparator(); concentrations always use "." as decimal separator. And the A/D values
// list that a read writes to the information log.

// Record kinds of the factory record file.
inline const QString kFactoryRecordRead = QStringLiteral("Read");
inline const QString kFactoryRecordWrite = QStringLiteral("Write");
inline const QString kFactoryRecordWriteId = QStringLiteral("WriteID");

// Number of columns of a factory record line.
inline constexpr int kFactoryRecordColumns = 59;

// Full path of the factory record file for a suffix ("KM71_Setting.csv" when it is empty).
QString FactoryRecordPath(const QString& suffix);

// The 59 column headers, in the program's language.
QStringList FactoryRecordHeaders();

// The 59 fields of the line for `record` of the given kind, written at the PC time `now`.
QStringList FactoryRecordFields(const clsInstrument& record, const QString& kind,
                                const QDateTime& now);

// The detector's clock at the PC time `now` (the PC time plus the record's clock offset); the
// PC time itself when the offset gives no valid date.
QDateTime DetectorClock(const clsInstrument& record, const QDateTime& now);

// Appends the line of `record` to the file at `path`, writing the header line first when the
// file is new (or empty). The file only ever grows by whole lines. False with the system's
// description of the error in `error` when it cannot be written.
bool AppendFactoryRecord(const QString& path, const clsInstrument& record, const QString& kind,
                         const QDateTime& now, QString* error = nullptr);

// Appends one line for `record` of the given kind ("Read", "Write" or "WriteID") to the factory
// record file of the tool settings' suffix. An empty text when the line was written, else the
// sentence that says why not (a suffix no file name may carry, or the file and the system's
// description of its error).
QString AppendToFactoryRecord(const clsInstrument& record, const QString& kind);

// The lines of the analogue-to-digital converter values list of a record (a title line and
// four channel lines); empty for an unknown model.
QStringList AnalogValuesList(const clsInstrument& record);
