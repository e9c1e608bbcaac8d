#pragma once

#include <QDateTime>
#include <QObject>
#include <functional>

// The link's sense of time: "now", waiting for events and the 100 ms supervision tick. The
// program uses EventLoopClock (real time, the Qt event loop); tests use VirtualClock, which
// advances time only when asked, so timeouts and retries run without real waiting.
class LinkClock : public QObject {
    Q_OBJECT
public:
    // Interval of the supervision tick.
    static constexpr int kTickMs = 100;

    using QObject::QObject;

    // Monotonic milliseconds.
    virtual qint64 nowMs() const = 0;
    // Local wall-clock date and time (log lines and messages).
    virtual QDateTime currentDateTime() const = 0;
    // Runs or stops the supervision tick.
    virtual void setTicking(bool on) = 0;
    // True while the supervision tick runs.
    virtual bool isTicking() const = 0;
    // Processes pending events; when there are none, blocks until something happens (an event,
    // a tick) or until deadlineMs (of nowMs()) has passed.
    virtual void waitForEvents(qint64 deadlineMs) = 0;
    // Calls fn at atMs (of nowMs()) from the event loop, unless context is gone by then.
    virtual void schedule(qint64 atMs, QObject* context, std::function<void()> fn) = 0;
    // Tells the clock that something arrived (data, a communication event).
    virtual void noteActivity() {}

signals:
    // The 100 ms supervision tick.
    void tick();
};
