#include "instrument/WireFormat.h"

namespace WireFormat {

QString Pad(const QString& s, int n) { return s.leftJustified(n, u' ', true); }

QString Cut(const QString& s, int n) { return s.left(n); }

QString Dec(int v) { return QString::number(v); }

QString Flag01(int v) { return v != 0 ? QStringLiteral("1") : QStringLiteral("0"); }

QString HexN(int v, int n) { return Hex(v).rightJustified(n, u'0').right(n); }

QString Hex(int v) { return QString::number(quint16(qint16(v)), 16).toUpper(); }

QString Val5(float v, int point) {
    if (v < 0) return QStringLiteral("*****");
    const int decimals = (point >= 1 && point <= 3) ? point : 0;
    // QString::number uses "." whatever the locale; 'f' keeps at least one digit before the point.
    return QString::number(double(v), 'f', decimals).rightJustified(5, u' ').right(5);
}

} // namespace WireFormat
