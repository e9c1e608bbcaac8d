#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// What the link engine needs from its surroundings: the two transports, the reply decoder, the
// link log and the host that receives the link's events. The engine itself does no I/O.
class LinkEngineHost {
public:
    virtual ~LinkEngineHost() = default;

    // Writes one complete frame on the active transport.
    virtual void writeFrame(const QByteArray& frame) = 0;
    // Hands one received frame (STX .. terminator) to the reply decoder; true when accepted.
    virtual bool parseFrame(const QByteArray& frame) = 0;
    // Appends one line to the link log.
    virtual void log(const QString& text) = 0;
    // The current date and time as the link's messages show it.
    virtual QString dateText() = 0;

    // Every byte waiting on the serial component; the input is emptied.
    virtual QByteArray readSerialInput() = 0;
    // Modem status of the serial component: 0x10 CTS on, 0x20 DSR on.
    virtual int serialModemStatus() = 0;
    // Writes bytes of a binary dump block into the dump file at a position (serial component).
    virtual void storeDumpBytes(qint32 position, const QByteArray& bytes) = 0;

    // Every byte waiting on the infrared component; the input is emptied.
    virtual QByteArray readInfraredInput() = 0;
    // Stores at most maxBytes of the infrared input into the dump file at a position;
    // returns the number of bytes stored.
    virtual int storeInfraredInputToDump(qint32 position, int maxBytes) = 0;
    // Last socket error of the infrared component (a Winsock error number).
    virtual int infraredSocketError() = 0;
    // The infrared component's poll operation.
    virtual void pollInfrared() = 0;
    // True while the line to the detector is still there (serial: port open and its modem
    // lines on; infrared: endpoint connected), so that an unanswered link may probe again.
    virtual bool lineStillThere() { return false; }

    // Events of the link (the host raises them as it sees fit).
    virtual void onConnect() {}
    virtual void connectRetry(qint16 count) { Q_UNUSED(count); }
    virtual void alarmMessage(const QString& text) { Q_UNUSED(text); }
    virtual void lineDown() {}
    virtual void irdaError(qint16 code) { Q_UNUSED(code); }
    virtual void stsTransmit() {}
    virtual void stsIdle() {}
};
