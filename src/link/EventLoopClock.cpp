#include "link/EventLoopClock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <limits>

namespace {
int DelayUntil(qint64 atMs, qint64 nowMs) {
    const qint64 delay = std::clamp<qint64>(atMs - nowMs, 0, std::numeric_limits<int>::max());
    return static_cast<int>(delay);
}
} // namespace

EventLoopClock::EventLoopClock(QObject* parent) : LinkClock(parent) {
    m_elapsed.start();
    m_timer.setInterval(kTickMs);
    connect(&m_timer, &QTimer::timeout, this, &LinkClock::tick);
}

qint64 EventLoopClock::nowMs() const {
    return m_elapsed.elapsed();
}

QDateTime EventLoopClock::currentDateTime() const {
    return QDateTime::currentDateTime();
}

void EventLoopClock::setTicking(bool on) {
    if (on && !m_timer.isActive()) m_timer.start();
    if (!on) m_timer.stop();
}

bool EventLoopClock::isTicking() const {
    return m_timer.isActive();
}

void EventLoopClock::waitForEvents(qint64 deadlineMs) {
    // The guard timer wakes the event loop at the deadline when nothing else does.
    QTimer guard;
    guard.setSingleShot(true);
    guard.start(DelayUntil(deadlineMs, nowMs()));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void EventLoopClock::schedule(qint64 atMs, QObject* context, std::function<void()> fn) {
    QTimer::singleShot(DelayUntil(atMs, nowMs()), context ? context : this, std::move(fn));
}
