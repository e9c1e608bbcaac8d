#pragma once

#include <QString>

class clsInstrument;

// What the program shows and decodes of one gas channel of a record: its label, the gas
// information field of a reply, and whether a reading has reached its warning point.

// The gas label of channel `gas` of a record: "NAME(UNIT)", or "NAME(FULLSCALEUNIT)" when
// `withFullScale` is set (not for channel 4); "----(---)" when the channel has no name.
QString FormatGasLabel(const clsInstrument& record, int gas, bool withFullScale);

// Stores the 18-character gas information field of a reply into channel `gas` of the record
// (18 "*" clear the channel). Returns false, and changes nothing, when the field is not 18
// characters long or its full scale or resolution is not a number.
bool DecodeGasInfoField(const QString& field, clsInstrument& record, int gas);

// True when `reading` is at or beyond the warning point of channel `gas` of the record (at or
// below it for an oxygen channel); any status code (negative reading) counts as true.
bool IsAtWarning(const clsInstrument& record, int gas, float reading);
