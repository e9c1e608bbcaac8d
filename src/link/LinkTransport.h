#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// One way of carrying the link's bytes. The serial flavour (NVComm) reports data and modem-line
// changes; the infrared flavour (NvIrDA11) adds availability, a poll operation, the link
// established / socket error events and the dump storage operations. Every event is raised as
// commEvent(code) with the codes of LinkCodes.h; the details are read back from the transport.
class LinkTransport : public QObject {
    Q_OBJECT
public:
    enum class Kind { Serial, Infrared };

    using QObject::QObject;

    // Serial or infrared flavour.
    virtual Kind kind() const = 0;
    // The device or endpoint the transport reaches, for logs and port numbers.
    virtual QString deviceName() const = 0;
    // True when the transport reaches its device without a hardware lookup.
    virtual bool isAttached() const { return false; }
    // Availability query (infrared): whether the transport can be used at all.
    virtual bool available() const { return true; }

    // Opens the transport; false when it could not be opened (see lastOpenError()).
    virtual bool open() = 0;
    // Closes the transport.
    virtual void close() = 0;
    // Open state as last set (an infrared transport may still be connecting).
    virtual bool isOpen() const = 0;
    // True while the transport reaches its far end (an infrared endpoint: connected).
    virtual bool isConnected() const { return isOpen(); }
    // Why the last open failed (empty after a successful open).
    virtual QString lastOpenError() const { return {}; }

    // Sends bytes; returns the number accepted, -1 when the transport is not open.
    virtual qint64 write(const QByteArray& bytes) = 0;
    // Takes at most maxBytes of the received input.
    virtual QByteArray read(qint64 maxBytes) = 0;
    // Takes every received byte.
    QByteArray readAll() { return read(bytesAvailable()); }
    // Number of received bytes waiting.
    virtual qint64 bytesAvailable() const = 0;

    // Modem status: 0x10 CTS on, 0x20 DSR on (serial).
    virtual int modemStatus() const { return 0; }
    // Reads the modem lines and raises events 3 and 4 for the lines that changed (serial).
    virtual void pollModemLines() {}
    // The infrared poll operation: reconnects when the link is down.
    virtual void poll() {}
    // Winsock error number of the last socket error (infrared).
    virtual int lastSocketError() const { return 0; }

    // Characters that must be waiting before a receive event is raised; 0 holds the events.
    int receiveThreshold() const { return m_receiveThreshold; }
    virtual void setReceiveThreshold(int count) { m_receiveThreshold = count; }

    // Binary dump file of the dump storage operations.
    QString dumpPath() const { return m_dumpPath; }
    void setDumpPath(const QString& path) { m_dumpPath = path; }
    // Creates the dump image: size bytes of 0xFF. False when the file cannot be written.
    virtual bool initImage(qint32 size);
    // Stores at most maxBytes of the waiting input into the dump file at position; returns the
    // number of bytes stored.
    virtual int storeInputToDump(qint32 position, int maxBytes);

    // Port number, settings text ("9600,n,8,1"), DTR, RTS and handshaking (0 none,
    // 1 XON/XOFF, 2 RTS/CTS, 3 both) as set.
    qint16 portNumber() const { return m_portNumber; }
    virtual void setPortNumber(qint16 number) { m_portNumber = number; }
    QString settings() const { return m_settings; }
    // False (and nothing changed) when the text is not a valid settings text.
    virtual bool setSettings(const QString& text);
    bool dtr() const { return m_dtr; }
    virtual void setDtr(bool on) { m_dtr = on; }
    bool rts() const { return m_rts; }
    virtual void setRts(bool on) { m_rts = on; }
    qint16 handshaking() const { return m_handshaking; }
    virtual void setHandshaking(qint16 mode) { m_handshaking = mode; }

    // Writes bytes into a file at a position, creating the file when needed.
    static bool WriteBytesAt(const QString& path, qint64 position, const QByteArray& bytes);

    // Parts of a settings text.
    struct SerialSettings {
        qint32 baud = 9600;
        char parity = 'n'; // n, e, o, m, s
        int dataBits = 8;
        int stopBits = 1; // 1, 2, or 3 for one and a half
    };
    // Reads "baud,parity,data bits,stop bits"; false when the text is not valid.
    static bool ParseSettings(const QString& text, SerialSettings* out);

signals:
    // A communication event (codes of LinkCodes.h).
    void commEvent(int code);

protected:
    int m_receiveThreshold = 1;

private:
    qint16 m_portNumber = 0;
    QString m_settings = QStringLiteral("9600,n,8,1");
    bool m_dtr = false;
    bool m_rts = false;
    qint16 m_handshaking = 0;
    QString m_dumpPath;
};
