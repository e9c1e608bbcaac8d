#pragma once

#include <QJsonArray>
#include <QList>
#include <QSerialPort>
#include <QString>

// Help for serial ports: why a port could not be opened, in one sentence that names the fix,
// and the list of serial ports with the USB infrared module marked.

// Why a serial port could not be opened.
enum class PortProblem {
    NoSuchDevice,     // the device does not exist (module unplugged, wrong name)
    InUse,            // another program holds the device
    PermissionDenied, // the user may not read and write the device
    Other,            // anything else; the sentence carries the port's own error text
};

// One serial port as the system lists it.
struct PortListEntry {
    QString device;        // the device the link opens, e.g. "/dev/ttyUSB0"
    QString description;   // the system's description, may be empty
    quint16 vendor = 0;    // USB vendor id, 0 when unknown
    quint16 product = 0;   // USB product id, 0 when unknown
    bool hasIds = false;   // vendor and product are known
    bool irModule = false; // this is the USB infrared module
};

// The problem behind a failed open of `device` that ended with the QSerialPort error `error`.
PortProblem ProblemForOpenError(QSerialPort::SerialPortError error, const QString& device);

// The one-sentence explanation of `problem` for `device`; `group` is the group that owns the
// device (for PermissionDenied), `detail` the port's own error text (for Other).
QString PortProblemSentence(PortProblem problem, const QString& device, const QString& group,
                            const QString& detail);

// The group that owns `device`; empty when it cannot be told.
QString DeviceGroup(const QString& device);

// Explains a failed open of `device` in one sentence: tries the device once more for the
// error kind and names the fix. `lastError` is the error text of the failed open.
QString ExplainOpenFailure(const QString& device, const QString& lastError);

// Every serial port of the system, in the order of their device names.
QList<PortListEntry> ListSerialPorts();

// The text listing of `ports` for km71ctl, one line a port (a line saying none when empty).
QString PortListText(const QList<PortListEntry>& ports);

// The JSON array of `ports` for km71ctl --json.
QJsonArray PortListJson(const QList<PortListEntry>& ports);
