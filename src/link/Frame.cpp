#include "link/Frame.h"

QByteArray FrameChecksum(const QByteArray& bytes) {
    unsigned sum = 0;
    for (char c : bytes) sum += static_cast<unsigned char>(c);
    const unsigned value = (256u - (sum & 0xFFu)) & 0xFFu;
    return QByteArray::number(value, 16).toUpper().rightJustified(2, '0');
}

QByteArray BuildFrame(const QByteArray& text, char terminator) {
    QByteArray frame;
    frame.reserve(text.size() + 9);
    frame.append(Ctl::STX).append(kFrameAddress).append(text).append(Ctl::ETX);
    frame.append(FrameChecksum(frame)).append(terminator);
    return frame;
}

QString RenderControlChars(const QByteArray& frame) {
    QString out;
    out.reserve(frame.size() + 16);
    for (char ch : frame) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case 2: out += QLatin1String("[STX]"); break;
        case 3: out += QLatin1String("[ETX]"); break;
        case 4: out += QLatin1String("[EOT]"); break;
        case 5: out += QLatin1String("[ENQ]"); break;
        case 6: out += QLatin1String("[ACK]"); break;
        case 21: out += QLatin1String("[NAK]"); break;
        case 23: out += QLatin1String("[ETB]"); break;
        case 26: out += QLatin1String("[SUB]"); break;
        case 27: out += QLatin1String("[ESC]"); break;
        case 10:
        case 13: out += QChar(c); break;
        default:
            if (c < 32)
                out += QStringLiteral("[%1]").arg(c, 2, 16, QLatin1Char('0')).toUpper();
            else
                out += QChar(c); // Latin-1: one character per byte
        }
    }
    return out;
}
