#include "link/PortHelp.h"

#include "shell/Messages.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QSerialPortInfo>
#include <algorithm>

namespace {

constexpr int kMsgNoSuchDevice = 2200;
constexpr int kMsgInUse = 2201;
constexpr int kMsgPermissionGroup = 2202;
constexpr int kMsgPermission = 2203;
constexpr int kMsgOther = 2204;
constexpr int kMsgUnknownError = 2205;

// The USB infrared module.
constexpr quint16 kModuleVendor = 0x10C4;
constexpr quint16 kModuleProduct = 0xEA60;

QString Hex4(quint16 v) {
    return QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0')).toUpper();
}

} // namespace

PortProblem ProblemForOpenError(QSerialPort::SerialPortError error, const QString& device) {
    if (error == QSerialPort::DeviceNotFoundError) return PortProblem::NoSuchDevice;
    if (!device.isEmpty() && !QFileInfo::exists(device)) return PortProblem::NoSuchDevice;
    if (error == QSerialPort::OpenError) return PortProblem::InUse;
    if (error == QSerialPort::PermissionError) {
        // The port reports a busy device (locked or opened exclusively) as a permission error
        // too: a device this user may read and write is held by another program.
        const QFileInfo info(device);
        if (info.exists() && info.isReadable() && info.isWritable()) return PortProblem::InUse;
        return PortProblem::PermissionDenied;
    }
    return PortProblem::Other;
}

QString PortProblemSentence(PortProblem problem, const QString& device, const QString& group,
                            const QString& detail) {
    const QString shown = QDir::toNativeSeparators(device);
    switch (problem) {
    case PortProblem::NoSuchDevice:
        return LoadMessage(kMsgNoSuchDevice, {shown});
    case PortProblem::InUse:
        return LoadMessage(kMsgInUse, {shown});
    case PortProblem::PermissionDenied:
        if (!group.isEmpty()) return LoadMessage(kMsgPermissionGroup, {shown, group});
        return LoadMessage(kMsgPermission, {shown});
    case PortProblem::Other:
        break;
    }
    QString text = detail.trimmed();
    while (text.endsWith(u'.'))
        text.chop(1);
    if (text.isEmpty()) text = LoadMessage(kMsgUnknownError);
    return LoadMessage(kMsgOther, {shown, text});
}

QString DeviceGroup(const QString& device) {
    const QFileInfo info(device);
    if (!info.exists()) return {};
    return info.group();
}

QString ExplainOpenFailure(const QString& device, const QString& lastError) {
    if (device.isEmpty() || !QFileInfo::exists(device))
        return PortProblemSentence(PortProblem::NoSuchDevice, device, {}, {});
    // The link keeps only the text of its failed open; a second try tells the kind.
    QSerialPort probe;
    probe.setPortName(device);
    if (probe.open(QIODevice::ReadWrite)) {
        probe.close();
        return PortProblemSentence(PortProblem::Other, device, {}, lastError);
    }
    const PortProblem problem = ProblemForOpenError(probe.error(), device);
    const QString detail = lastError.isEmpty() ? probe.errorString() : lastError;
    return PortProblemSentence(problem, device, DeviceGroup(device), detail);
}

QList<PortListEntry> ListSerialPorts() {
    QList<PortListEntry> ports;
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : infos) {
        PortListEntry entry;
        entry.device = info.systemLocation();
        entry.description = info.description();
        entry.hasIds = info.hasVendorIdentifier() && info.hasProductIdentifier();
        if (entry.hasIds) {
            entry.vendor = info.vendorIdentifier();
            entry.product = info.productIdentifier();
        }
        entry.irModule =
            entry.hasIds && entry.vendor == kModuleVendor && entry.product == kModuleProduct;
        ports << entry;
    }
    std::sort(ports.begin(), ports.end(),
              [](const PortListEntry& a, const PortListEntry& b) { return a.device < b.device; });
    return ports;
}

QString PortListText(const QList<PortListEntry>& ports) {
    if (ports.isEmpty()) return QStringLiteral("No serial ports found.\n");
    qsizetype width = 0;
    for (const PortListEntry& p : ports)
        width = std::max(width, QDir::toNativeSeparators(p.device).size());
    QString text;
    for (const PortListEntry& p : ports) {
        QString line = QDir::toNativeSeparators(p.device).leftJustified(width + 2);
        line += p.hasIds ? QStringLiteral("%1:%2").arg(Hex4(p.vendor), Hex4(p.product))
                         : QStringLiteral("----:----");
        if (p.irModule) line += QStringLiteral("  USB infrared module");
        if (!p.description.isEmpty()) line += QStringLiteral("  (%1)").arg(p.description);
        text += line + u'\n';
    }
    return text;
}

QJsonArray PortListJson(const QList<PortListEntry>& ports) {
    QJsonArray array;
    for (const PortListEntry& p : ports) {
        QJsonObject o;
        o[QStringLiteral("device")] = p.device;
        o[QStringLiteral("description")] = p.description;
        if (p.hasIds) {
            o[QStringLiteral("vendor")] = Hex4(p.vendor);
            o[QStringLiteral("product")] = Hex4(p.product);
        } else {
            o[QStringLiteral("vendor")] = QJsonValue::Null;
            o[QStringLiteral("product")] = QJsonValue::Null;
        }
        o[QStringLiteral("irModule")] = p.irModule;
        array.append(o);
    }
    return array;
}
