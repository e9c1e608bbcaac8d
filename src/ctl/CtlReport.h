#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

class clsInstrument;

// What km71ctl prints about a detector: the identity, the gas with its alarm points, every
// setting, the latest calibration and bump test and the A/D values, as text lines for people
// and as one JSON object for scripts.
namespace CtlReport {

// The name of a setting from the message table (`fallback` when the table lacks the entry).
QString SettingName(int message, const char* fallback);

// The report as text lines, one item a line ("name: value").
QStringList InfoLines(const clsInstrument& record);

// The report as one JSON object. Concentrations without a value are null.
QJsonObject InfoJson(const clsInstrument& record);

// A single-precision value as JSON shows it: the shortest decimal that reads back as the same
// single (20.9, not 20.899999618530273).
double JsonNumber(float value);

// A date value of the record as "YYYY-MM-DDTHH:MM:SS"; empty for 0 or an invalid value.
QString DateText(double oleDate);

} // namespace CtlReport
