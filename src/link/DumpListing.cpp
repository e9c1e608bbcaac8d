#include "link/DumpListing.h"

#include "link/LinkLog.h"

#include <algorithm>
#include <limits>

namespace {

const QString kLineEnd = QStringLiteral("\r\n");
constexpr int kLineWidth = 74;

bool IsHexDigits(const QString& text) {
    for (QChar c : text) {
        const char16_t u = c.unicode();
        const bool hex = (u >= '0' && u <= '9') || (u >= 'A' && u <= 'F') || (u >= 'a' && u <= 'f');
        if (!hex) return false;
    }
    return true;
}

QString Address6(quint32 address) {
    return QString::number(address, 16).toUpper().rightJustified(6, u'0');
}

} // namespace

DumpListing::DumpListing() = default;

DumpListing::~DumpListing() {
    // A listing that was never finished does not replace the earlier file.
    if (m_file) m_file->cancelWriting();
}

QString DumpListing::FormatDumpLine(quint32 address, const QString& hexDigits) {
    const QString digits = hexDigits.leftJustified(kDigits, u'F', true).toUpper();
    QString hex;
    QString text;
    for (int i = 0; i < kDigits / 2; ++i) {
        const QString pair = digits.mid(2 * i, 2);
        bool ok = false;
        const int byte = pair.toInt(&ok, 16);
        hex += pair + u' ';
        if (i == 7) hex += u' ';
        text += (ok && byte >= 32 && byte <= 126) ? QChar(byte) : QChar(u'.');
    }
    return Address6(address) + u' ' + hex + QStringLiteral("  ") + text;
}

QString DumpListing::SectionHeader() {
    return QStringLiteral(
        "Adrs   +0 +1 +2 +3 +4 +5 +6 +7  +8 +9 +A +B +C +D +E +F   List Of ASCII   ");
}

QString DumpListing::SectionRule() {
    return QString(kLineWidth, u'-');
}

QString DumpListing::ElapsedText(qint64 ms) {
    const qint64 seconds = std::max<qint64>(0, ms) / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

bool DumpListing::open(const QString& path, const QDateTime& start) {
    m_error.clear();
    m_fill = 0;
    auto file = std::make_unique<QSaveFile>(path);
    if (!file->open(QIODevice::WriteOnly)) {
        m_error = file->errorString();
        return false;
    }
    m_file = std::move(file);
    writeLine(QStringLiteral(";\tKM-71 Data Logger Program"));
    writeLine(QStringLiteral(";\tFlush ROM Dump (EF) List ") + GeneralDateText(start));
    writeLine(QStringLiteral(";\tNorvane Co.,Ltd."));
    writeLine(QString());
    return true;
}

void DumpListing::writeLine(const QString& line) {
    if (!m_file) return;
    const QByteArray bytes = (line + kLineEnd).toLocal8Bit();
    if (m_file->write(bytes) != bytes.size() && m_error.isEmpty()) m_error = m_file->errorString();
}

bool DumpListing::takeBlock(const QStringList& tokens) {
    const QString data = tokens.size() > 3 ? tokens.at(3).trimmed() : QString();
    if (data.isEmpty()) return true; // a block without data adds nothing
    bool ok = false;
    const qint64 number = tokens.at(1).trimmed().toLongLong(&ok);
    if (!ok || number < 1) return false;
    const qint64 base = (number - 1) * kBlockBytes;
    const qint64 pieces = (data.size() + kDigits - 1) / kDigits;
    if (base + pieces * (kDigits / 2) > qint64(std::numeric_limits<quint32>::max()) + 1)
        return false;
    if (!IsHexDigits(data)) return false;
    for (qint64 k = 0; k < pieces; ++k) {
        const QString piece = data.mid(int(k * kDigits), kDigits);
        addLine(quint32(base + k * (kDigits / 2)), piece.leftJustified(kDigits, u'F'));
    }
    return true;
}

void DumpListing::addLine(quint32 address, const QString& hexDigits) {
    m_addresses[m_fill] = address;
    m_lines[m_fill] = hexDigits;
    ++m_fill;
    if (m_fill == kLines) writeSection();
}

QString DumpListing::writeSection() {
    if (m_fill == 0) return {};
    if (m_file) {
        writeLine(SectionHeader());
        writeLine(SectionRule());
        for (int i = 0; i < m_fill; ++i)
            writeLine(FormatDumpLine(m_addresses[i], m_lines[i]));
        writeLine(QString());
    }
    const QString text = QStringLiteral("Get Dump ") + Address6(m_addresses[0]) + u'-' +
                         Address6(m_addresses[m_fill - 1] + 15);
    m_fill = 0;
    if (progress) progress(text);
    return text;
}

void DumpListing::flush() {
    if (m_fill == 0) return;
    const QString filler(kDigits, u'F');
    quint32 address = m_addresses[m_fill - 1];
    while (m_fill > 0 && m_fill < kLines) {
        address += kDigits / 2;
        addLine(address, filler);
    }
}

bool DumpListing::finish(qint64 elapsedMs) {
    if (!m_file) return false;
    writeLine(QString());
    writeLine(QStringLiteral(";\tTotal Download Time = ") + ElapsedText(elapsedMs));
    // The last of the lines go out in flush(), whose failure commit() does not see.
    const bool written = m_error.isEmpty() && m_file->flush() && m_file->commit();
    if (!written && m_error.isEmpty()) m_error = m_file->errorString();
    m_file.reset();
    return written;
}
