#include "link/LinkTransport.h"

#include <QFile>
#include <QStringList>

bool LinkTransport::setSettings(const QString& text) {
    if (!ParseSettings(text, nullptr)) return false;
    m_settings = text.trimmed();
    return true;
}

bool LinkTransport::ParseSettings(const QString& text, SerialSettings* out) {
    const QStringList parts = text.trimmed().split(u',');
    if (parts.size() != 4) return false;
    SerialSettings s;
    bool ok = false;
    s.baud = parts[0].trimmed().toInt(&ok);
    if (!ok || s.baud <= 0) return false;
    const QString parity = parts[1].trimmed().toLower();
    if (parity.size() != 1 || !QStringLiteral("neoms").contains(parity)) return false;
    s.parity = parity.at(0).toLatin1();
    s.dataBits = parts[2].trimmed().toInt(&ok);
    if (!ok || s.dataBits < 5 || s.dataBits > 8) return false;
    const QString stop = parts[3].trimmed();
    if (stop == QLatin1String("1"))
        s.stopBits = 1;
    else if (stop == QLatin1String("2"))
        s.stopBits = 2;
    else if (stop == QLatin1String("1.5"))
        s.stopBits = 3;
    else
        return false;
    if (out) *out = s;
    return true;
}

bool LinkTransport::WriteBytesAt(const QString& path, qint64 position, const QByteArray& bytes) {
    if (path.isEmpty() || position < 0) return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) return false;
    if (!file.seek(position)) return false;
    return file.write(bytes) == bytes.size();
}

bool LinkTransport::initImage(qint32 size) {
    if (m_dumpPath.isEmpty() || size < 0) return false;
    QFile file(m_dumpPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    const QByteArray image(size, static_cast<char>(0xFF));
    return file.write(image) == image.size();
}

int LinkTransport::storeInputToDump(qint32 position, int maxBytes) {
    if (maxBytes <= 0) return 0;
    const QByteArray bytes = read(maxBytes);
    if (bytes.isEmpty()) return 0;
    WriteBytesAt(m_dumpPath, position, bytes);
    return static_cast<int>(bytes.size());
}
