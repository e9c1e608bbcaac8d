#pragma once

#include "ctl/CtlOptions.h"
#include "ctl/CtlRunner.h"

#include <QMutex>
#include <QObject>
#include <QSet>
#include <QWaitCondition>
#include <QString>
#include <QTextStream>
#include <atomic>
#include <memory>
#include <optional>

// Runs one km71ctl command on several detectors at once: each detector gets its own thread,
// link and CtlRunner (the link waits by running its thread's event loop, so one thread per
// detector is what lets them talk at the same time). The output of each is kept apart and
// printed when all have ended, in the order the detectors were given: every line starts with
// the detector's port (or "sim1".."simN"), and with --json one object holds the array of the
// detectors' objects. On a terminal the error stream shows one progress line per detector.
// The exit status is 0 when every detector succeeded, else the highest of their statuses.
class CtlParallel : public QObject {
    Q_OBJECT
public:
    CtlParallel(QTextStream& out, QTextStream& err, QObject* parent = nullptr);
    ~CtlParallel() override;

    // True when the command line names several detectors (and asks for more than help).
    static bool Wanted(const CtlOptions& options);

    // Runs the command on every detector of the options; returns the exit status.
    int Execute(const CtlOptions& options);

    // Writes calibration certificates as PDF (as CtlRunner::setPdfWriter) in every run.
    void setPdfWriter(CtlRunner::PdfWriter writer) { m_pdfWriter = std::move(writer); }
    // Shows a progress line per detector on the error stream (when it is a terminal).
    void setProgressEnabled(bool on) { m_progressEnabled = on; }
    // Abandons every run (an interrupt); each notices it within 100 ms. Any thread may call it.
    void requestStop() { m_stop = true; }

private:
    struct Slot;

    struct EventRequest;

    void presetProcessState(const CtlOptions& options);
    // The recorder for the register at `location`, made again when another is asked for.
    EventRecorder& recorder(const RegisterLocation& location, const QString& folder);
    // Records, in this object's thread, every event that waits, those for one register
    // together (one transaction), and wakes the runs that wait for them.
    void recordWaitingEvents();
    void showProgress(QList<Slot*>& runs);
    void endProgress();
    int report(const CtlOptions& options, const QList<Slot*>& runs);

    QTextStream& m_out;
    QTextStream& m_err;
    CtlRunner::PdfWriter m_pdfWriter;
    bool m_progressEnabled = false;
    std::atomic<bool> m_stop = false;
    int m_progressShown = 0; // lines of the progress block on the terminal
    // The recorder every run's events go through, in this object's thread, and what it is for.
    std::unique_ptr<EventRecorder> m_recorder;
    QString m_recorderKey;
    // The register the runs will record in, opened while they talk to their detectors.
    std::optional<RegisterLocation> m_expectedRegister;
    QString m_folder;
    // The report file names the runs have chosen (guarded by the mutex).
    QMutex m_reportMutex;
    QSet<QString> m_claimedReports;
    // Events handed over by the runs and not yet recorded; a run waits for its outcome.
    QMutex m_eventMutex;
    QWaitCondition m_eventRecorded;
    QList<EventRequest*> m_waitingEvents;
};
