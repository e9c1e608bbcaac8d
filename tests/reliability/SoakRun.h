#pragma once

#include "common/SimLink.h"
#include "common/TempStartupFolder.h"
#include "instrument/clsInstrument.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <random>

// Figures of one soak run.
struct SoakFigures {
    int cycles = 0;
    int faultsInjected = 0;
    int readsOk = 0;
    int readsFailed = 0;
    int writesOk = 0;
    int writesFailed = 0;
    // Failures reported as failures with their message (reads: Status 7 or 8; writes: the
    // upload-failed line in the link log).
    int failuresReported = 0;
    // Failures returned without their message.
    int failuresUnreported = 0;
    // Settings of a write reported as successful that a fresh read did not return, and reads
    // reported as successful that returned something other than the detector holds.
    int settingsLost = 0;
    int silentBadReads = 0;
    // Connects after the line went dead and came back.
    int reconnects = 0;
    qint64 rssStartKb = 0;
    qint64 rssEndKb = 0;
    // One line per finding, for the test output.
    QStringList findings;
};

// Read and write cycles of the link against a simulated detector on virtual time, with random
// faults on the line, checking after every cycle that nothing written was lost and that every
// failure was reported.
class SoakRun {
public:
    explicit SoakRun(const QString& model = QStringLiteral("KM"), quint32 seed = 1);
    ~SoakRun();

    // True when the link came up and the first clean read succeeded.
    bool start();
    // Runs `cycles` read-and-write cycles; the figures accumulate.
    void run(int cycles);
    // The figures so far.
    const SoakFigures& figures() const { return m_figures; }
    // The figures as a short report.
    QString report() const;

    // Resident memory of this process in kB (VmRSS of /proc/self/status), 0 when unknown.
    static qint64 ResidentKb();
    // True in a build with the address sanitizer (its leak checker and its larger memory use).
    static bool UnderAddressSanitizer();

private:
    enum class FaultMode { None, Random, Heavy, DeadLine };

    void cycle();
    void setFaults(FaultMode mode);
    bool ensureConnected();
    bool cleanRead(clsInstrument& record);
    void modify(clsInstrument& record);
    QByteArray logTail(qint64 from) const;
    qint64 logSize() const;

    TempStartupFolder m_folder;
    QString m_model;
    std::mt19937 m_random;
    SimLink m_sim;
    clsInstrument m_truth;
    float m_baseWarning = 0.0f;
    float m_baseAlarm = 0.0f;
    float m_step = 1.0f;
    int m_faultBase = 0;
    SoakFigures m_figures;
};
