#pragma once

#include "register/FleetRegister.h"
#include "register/RegisterEvent.h"

#include <QString>
#include <functional>
#include <memory>

// What every operation that talks to a detector uses to put its event on record. Recording
// never fails the operation and never makes it wait on a shared server: the event is kept first
// in the local queue (the SQLite file in the start-up folder, or for that file itself a
// line-per-event queue file beside it) and then stored in the register; when the register
// cannot be reached the event waits in the queue and is forwarded, in order and once, the next
// time it can (any later recording, or `km71ctl register sync`).
class EventRecorder {
public:
    // The outcome of recording one event.
    struct Outcome {
        bool stored = false;  // in the register now
        bool pending = false; // kept in the local queue, to be forwarded
        QString sentence;     // for the pane or stderr when not stored; empty when stored
    };

    // A recorder for the register at `location`, queueing in `folder` (the start-up folder).
    EventRecorder(RegisterLocation location, QString folder);
    ~EventRecorder();

    // The recorder of the tool configuration's register (its "Register" key, else the default
    // SQLite file) in the start-up folder.
    static EventRecorder& forTool();

    // Records the event (forwarding any that wait first). Returns at once for the SQLite file;
    // a shared server is given at most a short connection timeout (2 s) before the event is
    // left waiting in the queue.
    Outcome record(const RegisterEvent& event);
    // Records the events in this order, in one transaction where they all can be stored;
    // one outcome for each.
    QList<Outcome> record(const QList<RegisterEvent>& events);
    // Connects to the register ahead of the first event, so that it is ready when the events
    // come; false with one sentence when it cannot be reached (recording still queues then).
    bool open(QString* error = nullptr);
    // Records the event on a worker thread and calls `done` with the outcome in the caller's
    // thread (the window uses this, so that no server ever holds up the window).
    void recordInBackground(const RegisterEvent& event, std::function<void(Outcome)> done);
    // Forwards the events that wait; how many were forwarded, or -1 with one sentence.
    int sync(QString* error = nullptr);
    // Number of events waiting in the local queue.
    int pendingCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
