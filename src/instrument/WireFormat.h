#pragma once

#include <QByteArray>
#include <QString>

// Value formatting shared by the write sequence and the configuration file. Every result is
// plain ASCII; numbers always use "." whatever the locale.
namespace WireFormat {

// `s` followed by blanks, cut to exactly `n` characters.
QString Pad(const QString& s, int n);

// The first `n` characters of `s`, not padded.
QString Cut(const QString& s, int n);

// Decimal, "-" for negative values.
QString Dec(int v);

// "1" when `v` is non-zero, else "0".
QString Flag01(int v);

// Upper-case hexadecimal of the 16-bit two's complement, left-padded with "0", last `n` digits.
QString HexN(int v, int n);

// Upper-case hexadecimal of the 16-bit two's complement, without leading zeros.
QString Hex(int v);

// The five-character value field: "*****" for negative values, otherwise `v` with `point`
// decimals (1..3; any other value: none), right-aligned, its last five characters. The value is
// rounded as FormatReading() rounds it (decimally, halves away from zero), so what is sent is
// what is shown.
QString Val5(float v, int point);

} // namespace WireFormat
