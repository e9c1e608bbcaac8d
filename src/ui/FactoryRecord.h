#pragma once

#include <QString>
#include <QStringList>

class clsInstrument;

// Record kinds of the factory record file.
inline const QString kFactoryRecordRead = QStringLiteral("Read");
inline const QString kFactoryRecordWrite = QStringLiteral("Write");
inline const QString kFactoryRecordWriteId = QStringLiteral("WriteID");

// Appends one line for `record` of the given kind ("Read", "Write" or "WriteID") to the
// factory record file.
void WriteFactoryRecord(const clsInstrument& record, const QString& kind);

// The lines of the analogue-to-digital converter values list of a record (a title line and
// four channel lines); empty for an unknown model.
QStringList AnalogValuesList(const clsInstrument& record);
