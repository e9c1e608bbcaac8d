#pragma once

// Running km71sim and km71ctl from the benchmarks (Linux: pseudo-terminals, resource usage).

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace bench {

// Folder of the programs: KM71_BIN_DIR when set, else the build tree of the benchmarks.
inline QString ProgramDir() {
    const QString dir = qEnvironmentVariable("KM71_BIN_DIR");
    return dir.isEmpty() ? QStringLiteral(KM71_APP_DIR) : dir;
}

// km71sim on a pseudo-terminal in a folder of its own, for the life of the object.
class PtySim {
public:
    explicit PtySim(const QStringList& faults = {}) {
        m_link = m_dir.filePath(QStringLiteral("detector"));
        m_process.start(ProgramDir() + QStringLiteral("/km71sim"),
                        QStringList{QStringLiteral("--model"), QStringLiteral("KM"),
                                    QStringLiteral("--pty"), m_link} +
                            faults);
        if (!m_process.waitForStarted(10000)) return;
        while (!m_process.canReadLine())
            if (!m_process.waitForReadyRead(10000)) return;
        m_ready = m_process.readLine().trimmed() == "ready " + m_link.toLocal8Bit();
    }
    ~PtySim() {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool ready() const { return m_ready; }
    QString link() const { return m_link; }
    QString folder() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_link;
    QProcess m_process;
    bool m_ready = false;
};

// Runs a program with the arguments; the exit code, or -1 when it did not finish in time.
inline int RunProgram(const QString& program, const QStringList& arguments,
                      qint64* elapsedNs = nullptr) {
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    const bool finished = process.waitForFinished(120000);
    if (elapsedNs) *elapsedNs = timer.nsecsElapsed();
    if (!finished) {
        process.kill();
        process.waitForFinished(5000);
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// Runs km71ctl with the arguments, as RunProgram.
inline int RunCtl(const QStringList& arguments, qint64* elapsedNs = nullptr) {
    return RunProgram(ProgramDir() + QStringLiteral("/km71ctl"), arguments, elapsedNs);
}

} // namespace bench
