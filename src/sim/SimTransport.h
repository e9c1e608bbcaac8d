#pragma once

#include "link/LinkTransport.h"

#include <QPointer>

class LinkClock;
class SimDetector;

// A transport that reaches a simulated detector in the same process. Bytes written are handed
// to the detector at once; the detector's bytes are delivered later from the event loop (every
// chunk it sends is one receive event), never from inside write(), as a real port would.
// Replies the detector delays are released on the link's clock. As a serial line the transport
// reports both modem lines coming up when it is opened; as the infrared flavour it raises the
// link-established event instead.
class SimTransport : public LinkTransport {
    Q_OBJECT
public:
    // The detector and the clock are not owned; the clock also becomes the detector's clock.
    SimTransport(SimDetector* detector, LinkClock* clock, Kind kind = Kind::Serial,
                 QObject* parent = nullptr);
    ~SimTransport() override;

    // The flavour chosen at construction.
    Kind kind() const override { return m_kind; }
    // "SIM:" + the detector's model.
    QString deviceName() const override;
    // Always reachable without a lookup.
    bool isAttached() const override { return true; }
    // True while the detector exists.
    bool available() const override { return !m_detector.isNull(); }
    // Opens: the line comes up (serial) or the link is established (infrared), from the event loop.
    bool open() override;
    // Closes; bytes still on their way are dropped.
    void close() override;
    // Serial flavour, while open: both modem lines go off or on with their event, as when the
    // detector leaves the infrared window and comes back (or another one takes its place).
    void setLineUp(bool up);
    // Open state.
    bool isOpen() const override { return m_open; }
    // Hands bytes to the detector; -1 when closed.
    qint64 write(const QByteArray& bytes) override;
    // Takes at most maxBytes of the delivered input.
    QByteArray read(qint64 maxBytes) override;
    // Delivered bytes waiting.
    qint64 bytesAvailable() const override { return m_input.size(); }
    // Both lines on while open (serial flavour).
    int modemStatus() const override { return m_modem; }
    // Sets the receive threshold; delivered data raises its event when the threshold allows.
    void setReceiveThreshold(int count) override;

    // The simulated detector.
    SimDetector* detector() const { return m_detector; }

private:
    void onTransmit(const QByteArray& bytes);
    void deliver(const QByteArray& bytes, quint64 session);
    void raiseDataEvent();
    void scheduleRelease();

    QPointer<SimDetector> m_detector;
    QPointer<LinkClock> m_clock;
    Kind m_kind;
    bool m_open = false;
    int m_modem = 0;
    quint64 m_session = 0;
    qint64 m_releaseAt = -1;
    QByteArray m_input;
};
