#pragma once

#include "link/LinkClock.h"

#include <QElapsedTimer>
#include <QTimer>

// Real time: a QTimer drives the tick, waits block in the Qt event loop.
class EventLoopClock : public LinkClock {
    Q_OBJECT
public:
    explicit EventLoopClock(QObject* parent = nullptr);

    // Milliseconds since the clock was made.
    qint64 nowMs() const override;
    // The computer's local date and time.
    QDateTime currentDateTime() const override;
    // Starts or stops the 100 ms timer.
    void setTicking(bool on) override;
    // True while the 100 ms timer runs.
    bool isTicking() const override;
    // Processes pending events or sleeps in the event loop until one arrives or the deadline.
    void waitForEvents(qint64 deadlineMs) override;
    // A single-shot QTimer at the given time.
    void schedule(qint64 atMs, QObject* context, std::function<void()> fn) override;

private:
    QElapsedTimer m_elapsed;
    QTimer m_timer;
};
