#include "instrument/WireFormat.h"

#include "shell/modGasCommon.h"

namespace WireFormat {

QString Pad(const QString& s, int n) { return s.leftJustified(n, u' ', true); }

QString Cut(const QString& s, int n) { return s.left(n); }

QString Dec(int v) { return QString::number(v); }

QString Flag01(int v) { return v != 0 ? QStringLiteral("1") : QStringLiteral("0"); }

QString HexN(int v, int n) { return Hex(v).rightJustified(n, u'0').right(n); }

QString Hex(int v) { return QString::number(quint16(qint16(v)), 16).toUpper(); }

QString Val5(float v, int point) {
    // The rule of everything shown: the value as a person reads it, rounded decimally, so that
    // the field sent is the text the grid shows ("." whatever the locale).
    return FormatFixed5(v, point);
}

} // namespace WireFormat
