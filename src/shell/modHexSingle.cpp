#include "shell/modHexSingle.h"

#include <bit>
#include <cstdint>

float HexToSingle(const QString& hex, bool* ok) {
    if (ok) *ok = false;
    const QString digits = hex.trimmed();
    if (digits.size() != 8) return 0.0f;
    std::uint32_t bits = 0;
    for (QChar c : digits) {
        const char16_t u = c.unicode();
        std::uint32_t nibble = 0;
        if (u >= u'0' && u <= u'9')
            nibble = u - u'0';
        else if (u >= u'A' && u <= u'F')
            nibble = u - u'A' + 10;
        else if (u >= u'a' && u <= u'f')
            nibble = u - u'a' + 10;
        else
            return 0.0f;
        bits = (bits << 4) | nibble;
    }
    if (ok) *ok = true;
    return std::bit_cast<float>(bits);
}

QString SingleToHex(float value) {
    const auto bits = std::bit_cast<std::uint32_t>(value);
    return QStringLiteral("%1").arg(bits, 8, 16, QLatin1Char('0')).toUpper();
}
