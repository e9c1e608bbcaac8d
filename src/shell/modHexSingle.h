#pragma once

#include <QString>

// Single-precision values carried as eight hexadecimal digits: the four bytes of the IEEE-754
// single, most significant byte first ("40490FDB" is 3.1415927).

// The single held by eight hexadecimal digits (either case, surrounding blanks ignored).
// Anything else (fewer or more digits, a non-hex character) is a conversion error: `ok` is set
// to false and 0 is returned.
float HexToSingle(const QString& hex, bool* ok = nullptr);

// The eight upper-case hexadecimal digits of `value`, most significant byte first.
QString SingleToHex(float value);
