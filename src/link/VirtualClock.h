#pragma once

#include "link/LinkClock.h"

#include <QPointer>
#include <vector>

// Virtual time for tests and batch runs: time moves only when the clock is advanced or a wait
// finds nothing to do, and then jumps straight to the next tick or scheduled call.
class VirtualClock : public LinkClock {
    Q_OBJECT
public:
    explicit VirtualClock(QObject* parent = nullptr);

    // Virtual milliseconds since the clock was made.
    qint64 nowMs() const override { return m_now; }
    // A fixed start date and time plus the virtual milliseconds.
    QDateTime currentDateTime() const override;
    // Sets the date and time that virtual millisecond 0 stands for.
    void setStartDateTime(const QDateTime& start) { m_start = start; }
    // Runs or stops the tick.
    void setTicking(bool on) override;
    // True while the tick runs.
    bool isTicking() const override { return m_ticking; }
    // Processes pending events; when nothing arrived, advances to the next tick, scheduled call
    // or the deadline, whichever comes first.
    void waitForEvents(qint64 deadlineMs) override;
    // Calls fn when virtual time reaches atMs.
    void schedule(qint64 atMs, QObject* context, std::function<void()> fn) override;
    // Remembers that something arrived during the current wait.
    void noteActivity() override { m_activity = true; }

    // Moves time forward by ms, firing ticks and scheduled calls in time order and processing
    // pending events after each.
    void advance(qint64 ms);
    // Moves time forward to atMs (no effect when it has passed).
    void advanceTo(qint64 atMs);
    // Number of ticks fired so far.
    qint64 ticksFired() const { return m_ticksFired; }

private:
    struct Pending {
        qint64 atMs;
        quint64 order;
        QPointer<QObject> context;
        bool hasContext;
        std::function<void()> fn;
    };
    qint64 nextEventMs() const;
    void fireNext();

    qint64 m_now = 0;
    qint64 m_nextTick = kTickMs;
    bool m_ticking = false;
    bool m_activity = false;
    quint64 m_order = 0;
    qint64 m_ticksFired = 0;
    QDateTime m_start;
    std::vector<Pending> m_pending;
};
