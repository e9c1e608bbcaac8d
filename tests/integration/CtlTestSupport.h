#pragma once

// Helpers of the km71ctl tests: running the tool in this process against the simulated
// detector on virtual time, and running the real km71ctl and km71sim programs.

#include "common/QtTextPrinting.h"
#include "common/SimProgram.h"
#include "ctl/CtlRunner.h"
#include "link/Frame.h"
#include "link/VirtualClock.h"
#include "sim/SimDetector.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <memory>

namespace ctltest {

// Longest wait for one program run; runs normally take well under a second.
constexpr int kRunWaitMs = 30000;
// Longest wait for km71sim to report that it is listening.
constexpr int kReadyWaitMs = 10000;

// The command text of a frame (between the address and ETX): "XS,R," or "HC,W,250107093000".
inline QString FrameText(const QByteArray& frame) {
    const qsizetype etx = frame.indexOf(Ctl::ETX);
    if (frame.size() < 6 || etx < 5) return {};
    return QString::fromLatin1(frame.mid(5, etx - 5));
}

// The command texts of frames.
inline QStringList FrameTexts(const QList<QByteArray>& frames) {
    QStringList texts;
    for (const QByteArray& f : frames)
        texts << FrameText(f);
    return texts;
}

// Writes a text file with CR LF line ends.
inline bool WriteLines(const QString& path, const QStringList& lines) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    for (const QString& line : lines)
        file.write(line.toLatin1() + "\r\n");
    return true;
}

inline QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What one in-process run left behind.
struct InProcessRun {
    int code = -1;
    QString out;
    QString err;
    QStringList frames; // command texts the simulated detector received, in order
};

// Runs km71ctl's logic in this process on virtual time; `setup` prepares the simulated
// detector of --sim (and may hold on to the runner), `inspect` looks at it after the run.
inline InProcessRun RunInProcess(const QStringList& arguments,
                                 const std::function<void(SimDetector&, CtlRunner&)>& setup = {},
                                 const std::function<void(SimDetector&)>& inspect = {}) {
    InProcessRun run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    CtlRunner runner(out, err);
    runner.setClockFactory([] { return std::make_unique<VirtualClock>(); });
    if (setup) runner.setSimSetup([&](SimDetector& sim) { setup(sim, runner); });
    run.code = runner.Run(arguments);
    out.flush();
    err.flush();
    if (SimDetector* sim = runner.simDetector()) {
        run.frames = FrameTexts(sim->receivedFrames());
        if (inspect) inspect(*sim);
    }
    return run;
}

// The km71ctl program.
inline QString CtlProgram() {
    return ProgramDir() + QStringLiteral("/km71ctl");
}

// A km71sim process on a pseudo-terminal or a TCP port, with its frame log.
class SimProcess {
public:
    SimProcess() = default;
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;
    ~SimProcess() { stop(); }

    // Starts the simulator on a pseudo-terminal linked at `link`; true when it is ready.
    bool startPty(const QString& model, const QString& link, const QString& log,
                  const QStringList& faults = {}) {
        m_log = log;
        return start({QStringLiteral("--model"), model, QStringLiteral("--pty"), link,
                      QStringLiteral("--log"), log},
                     faults) == link;
    }
    // Starts the simulator on a free TCP port of 127.0.0.1; true when it is ready.
    bool startTcp(const QString& model, const QString& log, const QStringList& faults = {}) {
        m_log = log;
        const QString port = start({QStringLiteral("--model"), model, QStringLiteral("--tcp"),
                                    QStringLiteral("127.0.0.1:0"), QStringLiteral("--log"), log},
                                   faults);
        m_port = port.toInt();
        return m_port > 0;
    }
    // "127.0.0.1:PORT" of a TCP simulator.
    QString endpoint() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }
    // Command texts of the frames received so far, in order.
    QStringList frames() const {
        QStringList texts;
        const QList<QByteArray> lines = ReadAll(m_log).split('\n');
        for (QByteArray line : lines) {
            line = line.trimmed();
            const qsizetype start = line.indexOf("[STX]0001");
            const qsizetype end = line.indexOf("[ETX]");
            if (start < 0 || end < start) continue;
            texts << QString::fromLatin1(line.mid(start + 9, end - start - 9));
        }
        return texts;
    }
    // What the simulator wrote on its error stream.
    QString errors() { return QString::fromLocal8Bit(m_process.readAllStandardError()); }
    // Ends the simulator.
    void stop() {
        if (m_process.state() == QProcess::NotRunning) return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

private:
    QString start(QStringList args, const QStringList& faults) {
        args << faults;
        return StartSimProgram(m_process, args, kReadyWaitMs);
    }

    QProcess m_process;
    QString m_log;
    int m_port = 0;
};

// One run of the real km71ctl.
struct CtlResult {
    int code = -1;
    bool finished = false;
    QString out;
    QString err;
};

// A km71ctl process; several may run at once.
class CtlProcess {
public:
    // Starts km71ctl with the arguments in the working folder `dir`.
    void start(const QStringList& arguments, const QString& dir) {
        m_process.setWorkingDirectory(dir);
        m_process.start(CtlProgram(), arguments);
    }
    // Waits (bounded) for the end of the run.
    CtlResult finish(int waitMs = kRunWaitMs) {
        CtlResult r;
        r.finished = m_process.waitForFinished(waitMs);
        if (!r.finished) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
        r.code = m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
        r.out = QString::fromLocal8Bit(m_process.readAllStandardOutput());
        r.err = QString::fromLocal8Bit(m_process.readAllStandardError());
        return r;
    }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
};

// Runs km71ctl to its end.
inline CtlResult RunCtl(const QStringList& arguments, const QString& dir, int waitMs = kRunWaitMs) {
    CtlProcess p;
    p.start(arguments, dir);
    return p.finish(waitMs);
}

} // namespace ctltest
