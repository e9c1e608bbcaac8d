#pragma once

#include "link/LinkTransport.h"

#include <QSerialPort>

// The serial component: a QSerialPort on the device of its port number (see PortLookup.h).
// Received data raises event 2. The modem lines (CTS 0x10, DSR 0x20) are read on every
// pollModemLines() call and a change raises event 3 (CTS) or 4 (DSR); a device that cannot
// report modem lines (a pseudo-terminal) counts as both lines coming up once when it is opened.
// Port errors raise the event codes of LinkCodes.h; a device that goes away counts as both lines
// dropping. Opening a missing or busy port fails quietly; lastOpenError() says why.
class NVComm : public LinkTransport {
    Q_OBJECT
public:
    explicit NVComm(QObject* parent = nullptr);
    ~NVComm() override;

    // Serial flavour.
    Kind kind() const override { return Kind::Serial; }
    // The device of the current port number.
    QString deviceName() const override;
    // Opens the device with the current settings, DTR, RTS and handshaking.
    bool open() override;
    // Closes the device.
    void close() override;
    // True while the device is open.
    bool isOpen() const override;
    // The QSerialPort error text of the last failed open.
    QString lastOpenError() const override { return m_lastOpenError; }
    // Queues bytes for sending.
    qint64 write(const QByteArray& bytes) override;
    // Takes at most maxBytes of the received input.
    QByteArray read(qint64 maxBytes) override;
    // Received bytes waiting.
    qint64 bytesAvailable() const override;
    // CTS (0x10) and DSR (0x20) as last read.
    int modemStatus() const override { return m_modem; }
    // Reads the modem lines and raises events for those that changed.
    void pollModemLines() override;

    // Selects the device by number; an open port is closed and reopened on the new device.
    void setPortNumber(qint16 number) override;
    // Applies a settings text ("921600,n,8,1"); false when it is not valid.
    bool setSettings(const QString& text) override;
    // Sets the DTR line (remembered, applied when open).
    void setDtr(bool on) override;
    // Sets the RTS line (remembered, applied when open).
    void setRts(bool on) override;
    // Sets the flow control (0 none, 1 XON/XOFF, 2 RTS/CTS, 3 both).
    void setHandshaking(qint16 mode) override;

    // The communication event of a QSerialPort error; 0 when the error raises none.
    static int EventForError(QSerialPort::SerialPortError error);

private:
    void applySettings();
    void applyLines();
    void onError(QSerialPort::SerialPortError error);
    void raiseLineChanges(int newStatus);

    QSerialPort m_port;
    QString m_lastOpenError;
    int m_modem = 0;
    bool m_linesUnsupported = false;
    bool m_quiet = false; // errors of modem-line operations are not port errors
};
