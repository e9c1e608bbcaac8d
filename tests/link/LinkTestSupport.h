#pragma once

// Helpers of the link tests: a recording engine host and a scriptable transport.

#include "common/QtTextPrinting.h"

#include "link/Frame.h"
#include "link/LinkCodes.h"
#include "link/LinkEngineHost.h"
#include "link/LinkTransport.h"

#include <QByteArray>
#include <QList>
#include <QMetaObject>
#include <QPair>
#include <QStringList>
#include <functional>
#include <ostream>

// Readable test output for frames: control characters by name.
inline void PrintTo(const QByteArray& bytes, std::ostream* os) {
    *os << '"' << RenderControlChars(bytes).toStdString() << '"';
}

namespace linktest {

// A reply frame ended by EOT.
inline QByteArray Reply(const QByteArray& text) {
    return BuildFrame(text, Ctl::EOT);
}
// A reply block ended by ETB.
inline QByteArray Block(const QByteArray& text) {
    return BuildFrame(text, Ctl::ETB);
}
// A request as the link sends it.
inline QByteArray Request(const QByteArray& text) {
    return BuildFrame(text, Ctl::EOT);
}
// The frame with a wrong checksum.
inline QByteArray Corrupt(QByteArray frame) {
    const qsizetype at = frame.indexOf(Ctl::ETX) + 1;
    frame[at] = frame[at] == '0' ? '1' : '0';
    return frame;
}

// Accepts a frame whose checksum is right (a stand-in for the reply decoder).
inline bool ChecksumIsRight(const QByteArray& frame) {
    const qsizetype etx = frame.indexOf(Ctl::ETX);
    if (frame.size() < 15 || etx < 0 || etx + 3 >= frame.size()) return false;
    return FrameChecksum(frame.left(etx + 1)) == frame.mid(etx + 1, 2);
}

// Engine host that records everything the engine does.
struct RecordingHost : LinkEngineHost {
    QList<QByteArray> written;
    QStringList logLines;
    QList<QByteArray> parsed;
    QStringList events;
    QByteArray serialInput;
    QByteArray infraredInput;
    int modem = 0;
    int socketError = 0;
    int polls = 0;
    QList<QPair<qint32, QByteArray>> dumpWrites;
    std::function<bool(const QByteArray&)> parser = ChecksumIsRight;
    std::function<void(const QByteArray&)> onParsed;

    void writeFrame(const QByteArray& frame) override { written << frame; }
    bool parseFrame(const QByteArray& frame) override {
        parsed << frame;
        const bool accepted = parser(frame);
        if (onParsed) onParsed(frame);
        return accepted;
    }
    void log(const QString& text) override { logLines << text; }
    QString dateText() override { return QStringLiteral("1/7/25 9:30:00 AM"); }
    QByteArray readSerialInput() override {
        QByteArray bytes = serialInput;
        serialInput.clear();
        return bytes;
    }
    int serialModemStatus() override { return modem; }
    void storeDumpBytes(qint32 position, const QByteArray& bytes) override {
        dumpWrites.append({position, bytes});
    }
    QByteArray readInfraredInput() override {
        QByteArray bytes = infraredInput;
        infraredInput.clear();
        return bytes;
    }
    int storeInfraredInputToDump(qint32 position, int maxBytes) override {
        const QByteArray bytes = infraredInput.left(maxBytes);
        infraredInput.remove(0, bytes.size());
        dumpWrites.append({position, bytes});
        return int(bytes.size());
    }
    int infraredSocketError() override { return socketError; }
    void pollInfrared() override { ++polls; }
    void onConnect() override { events << QStringLiteral("OnConnect"); }
    void connectRetry(qint16 count) override {
        events << QStringLiteral("ConnectRetry:%1").arg(count);
    }
    void alarmMessage(const QString& text) override { events << QStringLiteral("Alarm:") + text; }
    void lineDown() override { events << QStringLiteral("LineDown"); }
    void irdaError(qint16 code) override { events << QStringLiteral("IrDAError:%1").arg(code); }
    void stsTransmit() override { events << QStringLiteral("StsTransmit"); }
    void stsIdle() override { events << QStringLiteral("StsIdle"); }

    // Events other than StsTransmit and StsIdle.
    QStringList hostEvents() const {
        QStringList out;
        for (const QString& e : events)
            if (e != QLatin1String("StsTransmit") && e != QLatin1String("StsIdle")) out << e;
        return out;
    }
};

// A transport driven by the test: what the link writes is recorded (and may be answered by a
// responder, delivered from the event loop), and the test raises events and data at will.
class FakeTransport : public LinkTransport {
public:
    explicit FakeTransport(Kind kind, bool available = true)
        : m_kind(kind), m_available(available) {}

    Kind kind() const override { return m_kind; }
    QString deviceName() const override { return QStringLiteral("fake"); }
    bool isAttached() const override { return attached; }
    bool available() const override { return m_available; }
    void setAvailable(bool on) { m_available = on; }
    bool open() override {
        ++opens;
        if (failOpen) return false;
        m_open = true;
        return true;
    }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    qint64 write(const QByteArray& bytes) override {
        written << bytes;
        thresholdsAtWrite << m_receiveThreshold;
        if (responder) {
            const QByteArray reply = responder(bytes);
            if (!reply.isEmpty())
                QMetaObject::invokeMethod(
                    this, [this, reply] { receive(reply); }, Qt::QueuedConnection);
        }
        return bytes.size();
    }
    QByteArray read(qint64 maxBytes) override {
        const QByteArray taken = input.left(maxBytes);
        input.remove(0, taken.size());
        return taken;
    }
    qint64 bytesAvailable() const override { return input.size(); }
    int modemStatus() const override { return modem; }
    void poll() override { ++polls; }
    int lastSocketError() const override { return socketError; }

    // Data arrives (event 2).
    void receive(const QByteArray& bytes) {
        input += bytes;
        emit commEvent(CommEvent::DataReceived);
    }
    // The modem lines change (events 3 and 4 as a real line would raise them).
    void setLines(int status) {
        const int changed = modem ^ status;
        modem = status;
        if (changed & ModemLine::Cts) emit commEvent(CommEvent::CtsChanged);
        if (changed & ModemLine::Dsr) emit commEvent(CommEvent::DsrChanged);
    }
    // Any other event.
    void raise(int code) { emit commEvent(code); }

    QList<QByteArray> written;
    QList<int> thresholdsAtWrite;
    QByteArray input;
    int modem = 0;
    int socketError = 0;
    int polls = 0;
    int opens = 0;
    bool failOpen = false;
    bool attached = false;
    std::function<QByteArray(const QByteArray&)> responder;

private:
    Kind m_kind;
    bool m_available;
    bool m_open = false;
};

} // namespace linktest
