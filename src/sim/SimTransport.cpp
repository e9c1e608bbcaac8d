#include "sim/SimTransport.h"

#include "link/LinkClock.h"
#include "link/LinkCodes.h"
#include "sim/SimDetector.h"

#include <QMetaObject>

SimTransport::SimTransport(SimDetector* detector, LinkClock* clock, Kind kind, QObject* parent)
    : LinkTransport(parent), m_detector(detector), m_clock(clock), m_kind(kind) {
    if (m_detector) {
        connect(m_detector, &SimDetector::transmit, this, &SimTransport::onTransmit);
        if (m_clock) {
            QPointer<LinkClock> clk = m_clock;
            m_detector->setClock([clk] { return clk ? clk->nowMs() : 0; });
        }
    }
}

SimTransport::~SimTransport() = default;

QString SimTransport::deviceName() const {
    return QStringLiteral("SIM:") + (m_detector ? m_detector->model() : QString());
}

bool SimTransport::open() {
    if (!m_detector) return false;
    if (m_open) return true;
    m_open = true;
    ++m_session;
    const quint64 session = m_session;
    QMetaObject::invokeMethod(
        this,
        [this, session] {
            if (!m_open || session != m_session) return;
            if (m_kind == Kind::Serial) {
                m_modem = ModemLine::Cts | ModemLine::Dsr;
                emit commEvent(CommEvent::CtsChanged);
            } else {
                emit commEvent(CommEvent::LinkEstablished);
            }
        },
        Qt::QueuedConnection);
    return true;
}

void SimTransport::close() {
    m_open = false;
    ++m_session;
    m_modem = 0;
    m_input.clear();
}

void SimTransport::setLineUp(bool up) {
    if (!m_open || m_kind != Kind::Serial) return;
    m_modem = up ? ModemLine::Cts | ModemLine::Dsr : 0;
    emit commEvent(CommEvent::CtsChanged);
}

qint64 SimTransport::write(const QByteArray& bytes) {
    if (!m_open || !m_detector) return -1;
    m_detector->receive(bytes);
    scheduleRelease();
    return bytes.size();
}

QByteArray SimTransport::read(qint64 maxBytes) {
    if (maxBytes <= 0) return {};
    const QByteArray taken = m_input.left(maxBytes);
    m_input.remove(0, taken.size());
    return taken;
}

void SimTransport::onTransmit(const QByteArray& bytes) {
    if (!m_open) return;
    const quint64 session = m_session;
    QMetaObject::invokeMethod(
        this, [this, bytes, session] { deliver(bytes, session); }, Qt::QueuedConnection);
}

void SimTransport::deliver(const QByteArray& bytes, quint64 session) {
    if (!m_open || session != m_session) return;
    m_input.append(bytes);
    raiseDataEvent();
}

void SimTransport::raiseDataEvent() {
    if (m_receiveThreshold <= 0 || m_input.isEmpty()) return;
    if (m_input.size() >= m_receiveThreshold) emit commEvent(CommEvent::DataReceived);
}

void SimTransport::setReceiveThreshold(int count) {
    LinkTransport::setReceiveThreshold(count);
    if (count > 0 && m_input.size() >= count)
        QMetaObject::invokeMethod(this, &SimTransport::raiseDataEvent, Qt::QueuedConnection);
}

void SimTransport::scheduleRelease() {
    if (!m_detector || !m_clock) return;
    const qint64 due = m_detector->nextDueMs();
    if (due < 0 || (m_releaseAt >= 0 && m_releaseAt <= due)) return;
    m_releaseAt = due;
    m_clock->schedule(due, this, [this] {
        m_releaseAt = -1;
        if (m_detector) m_detector->poll();
        scheduleRelease();
    });
}
