#include "link/VirtualClock.h"

#include <QCoreApplication>
#include <algorithm>
#include <limits>

namespace {
constexpr qint64 kNever = std::numeric_limits<qint64>::max();
}

VirtualClock::VirtualClock(QObject* parent)
    : LinkClock(parent), m_start(QDate(2025, 1, 7), QTime(9, 30, 0)) {}

QDateTime VirtualClock::currentDateTime() const {
    return m_start.addMSecs(m_now);
}

void VirtualClock::setTicking(bool on) {
    if (on && !m_ticking) m_nextTick = m_now + kTickMs;
    m_ticking = on;
}

void VirtualClock::schedule(qint64 atMs, QObject* context, std::function<void()> fn) {
    m_pending.push_back(
        {std::max(atMs, m_now), m_order++, context, context != nullptr, std::move(fn)});
}

qint64 VirtualClock::nextEventMs() const {
    qint64 next = m_ticking ? m_nextTick : kNever;
    for (const Pending& p : m_pending)
        next = std::min(next, p.atMs);
    return next;
}

void VirtualClock::fireNext() {
    // Scheduled calls due at this instant run before the tick of the same instant.
    auto due = m_pending.end();
    for (auto it = m_pending.begin(); it != m_pending.end(); ++it) {
        if (it->atMs > m_now) continue;
        if (due == m_pending.end() || it->atMs < due->atMs ||
            (it->atMs == due->atMs && it->order < due->order))
            due = it;
    }
    if (due != m_pending.end()) {
        Pending p = std::move(*due);
        m_pending.erase(due);
        if (!p.hasContext || p.context) p.fn();
    } else if (m_ticking && m_nextTick <= m_now) {
        m_nextTick += kTickMs;
        ++m_ticksFired;
        emit tick();
    }
    QCoreApplication::processEvents();
}

void VirtualClock::advanceTo(qint64 atMs) {
    for (;;) {
        const qint64 next = nextEventMs();
        if (next > atMs) break;
        m_now = std::max(m_now, next);
        fireNext();
    }
    m_now = std::max(m_now, atMs);
}

void VirtualClock::advance(qint64 ms) {
    advanceTo(m_now + ms);
}

void VirtualClock::waitForEvents(qint64 deadlineMs) {
    m_activity = false;
    QCoreApplication::processEvents();
    if (m_activity) return;
    const qint64 next = nextEventMs();
    if (next <= deadlineMs) {
        m_now = std::max(m_now, next);
        fireNext();
    } else {
        m_now = std::max(m_now, deadlineMs);
    }
}
