#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// Serial ports by hardware id, and the port numbers the link uses for serial devices.
//
// Port numbers: a device named "COM<n>" (Windows) is number n; the built-in UARTs
// "/dev/ttyS<k>" are numbers k+1 (COM1 = ttyS0); every other device (USB bridges such as
// /dev/ttyUSB0, pseudo-terminals, the simulator) gets a number from 33 upward when it is first
// seen, kept for the life of the process. DeviceForPortNumber turns a number back into the
// device the link opens.

// One port found by the lookup.
struct SerialPortEntry {
    QString name;   // "COM" + number, as the port choice lists it
    qint16 number;  // port number
    QString device; // the device the serial component opens (e.g. "/dev/ttyUSB0")
};

// First number given to devices that have no conventional number.
inline constexpr qint16 kFirstAssignedPortNumber = 33;

// Ports whose USB vendor and product match a hardware id such as "VID_10C4&PID_EA60", in the
// order of their device names. An id that cannot be read finds nothing.
QList<SerialPortEntry> PortLookup(const QString& hardwareId);

// Reads "VID_xxxx&PID_yyyy" (hexadecimal, any case); false when the text is not such an id.
bool ParseHardwareId(const QString& hardwareId, quint16* vendor, quint16* product);

// The port number of a device (registering it when it has no conventional number).
qint16 PortNumberForDevice(const QString& device);

// The device of a port number: a registered device, else the conventional name; empty for
// numbers below 1.
QString DeviceForPortNumber(qint16 number);
