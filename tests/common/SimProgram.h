#pragma once

// The built programs as the tests start them, and km71sim's start-up line.

#include <QProcess>
#include <QString>
#include <QStringList>

// Folder of the programs: set by CTest, else the build tree of the test.
inline QString ProgramDir() {
    const QString dir = qEnvironmentVariable("KM71_BIN_DIR");
    return dir.isEmpty() ? QStringLiteral(KM71_BINARY_DIR "/app") : dir;
}

// The km71sim program.
inline QString SimProgram() {
    return ProgramDir() + QStringLiteral("/km71sim");
}

// Starts km71sim with `args` and returns what follows "ready " on its first line; empty when it
// did not start or did not say so within `waitMs` per wait.
inline QString StartSimProgram(QProcess& process, const QStringList& args, int waitMs) {
    process.start(SimProgram(), args);
    if (!process.waitForStarted(waitMs)) return {};
    while (!process.canReadLine())
        if (!process.waitForReadyRead(waitMs)) return {};
    const QString line = QString::fromLatin1(process.readLine()).trimmed();
    return line.startsWith(QLatin1String("ready ")) ? line.mid(6) : QString();
}
