#include "link/PortLookup.h"

#include <QHash>
#include <QMutex>
#include <QRegularExpression>
#include <QSerialPortInfo>
#include <algorithm>

namespace {

struct PortTable {
    QHash<QString, qint16> numberOf;
    QHash<qint16, QString> deviceOf;
    qint16 next = kFirstAssignedPortNumber;
};

PortTable& Table() {
    static PortTable table;
    return table;
}

// Links in several threads look their ports up at once.
QMutex& TableMutex() {
    static QMutex mutex;
    return mutex;
}

// The conventional number of a device name, 0 when it has none.
qint16 ConventionalNumber(const QString& device) {
    static const QRegularExpression com(QStringLiteral("^(?:\\\\\\\\\\.\\\\)?COM(\\d{1,4})$"),
                                        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression ttyS(QStringLiteral("^(?:/dev/)?ttyS(\\d{1,2})$"));
    if (const auto m = com.match(device); m.hasMatch()) return m.captured(1).toShort();
    if (const auto m = ttyS.match(device); m.hasMatch()) {
        const int k = m.captured(1).toInt();
        if (k < kFirstAssignedPortNumber - 1) return static_cast<qint16>(k + 1);
    }
    return 0;
}

QString ConventionalDevice(qint16 number) {
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(number);
#else
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
}

// Sort key: the name without its trailing number, then the number.
bool DeviceLess(const QString& a, const QString& b) {
    static const QRegularExpression tail(QStringLiteral("^(.*?)(\\d*)$"));
    const auto ma = tail.match(a);
    const auto mb = tail.match(b);
    if (ma.captured(1) != mb.captured(1)) return ma.captured(1) < mb.captured(1);
    return ma.captured(2).toLongLong() < mb.captured(2).toLongLong();
}

} // namespace

bool ParseHardwareId(const QString& hardwareId, quint16* vendor, quint16* product) {
    static const QRegularExpression id(
        QStringLiteral("^\\s*VID_([0-9A-F]{1,4})&PID_([0-9A-F]{1,4})\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const auto m = id.match(hardwareId);
    if (!m.hasMatch()) return false;
    if (vendor) *vendor = static_cast<quint16>(m.captured(1).toUInt(nullptr, 16));
    if (product) *product = static_cast<quint16>(m.captured(2).toUInt(nullptr, 16));
    return true;
}

QList<SerialPortEntry> PortLookup(const QString& hardwareId) {
    quint16 vendor = 0;
    quint16 product = 0;
    if (!ParseHardwareId(hardwareId, &vendor, &product)) return {};
    QStringList devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        if (info.hasVendorIdentifier() && info.hasProductIdentifier() &&
            info.vendorIdentifier() == vendor && info.productIdentifier() == product)
            devices << info.systemLocation();
    }
    std::sort(devices.begin(), devices.end(), DeviceLess);
    QList<SerialPortEntry> entries;
    for (const QString& device : devices) {
        const qint16 number = PortNumberForDevice(device);
        entries.append({QStringLiteral("COM%1").arg(number), number, device});
    }
    return entries;
}

qint16 PortNumberForDevice(const QString& device) {
    const QMutexLocker lock(&TableMutex());
    PortTable& table = Table();
    if (const auto it = table.numberOf.constFind(device); it != table.numberOf.cend())
        return it.value();
    qint16 number = ConventionalNumber(device);
    if (number <= 0 || table.deviceOf.contains(number)) {
        while (table.deviceOf.contains(table.next) || table.next < kFirstAssignedPortNumber)
            ++table.next;
        number = table.next++;
    }
    table.numberOf.insert(device, number);
    table.deviceOf.insert(number, device);
    return number;
}

QString DeviceForPortNumber(qint16 number) {
    if (number < 1) return {};
    const QMutexLocker lock(&TableMutex());
    const PortTable& table = Table();
    if (const auto it = table.deviceOf.constFind(number); it != table.deviceOf.cend())
        return it.value();
    return ConventionalDevice(number);
}
