#include "link/LinkLog.h"

#include "shell/AppState.h"
#include "shell/Messages.h"
#include "shell/WriteError.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QMutex>
#include <QThread>
#include <cerrno>

namespace {

QString LogPath(int copy) {
    const QString name =
        copy == 0 ? QString::fromLatin1(kLinkLogName) : QStringLiteral("SerialLog%1.log").arg(copy);
    return AppState::PathInStartupFolder(name);
}

// Removes path and waits (bounded) until it is gone; true when it is gone.
bool RemoveAndWait(const QString& path, int waitBoundMs) {
    QDeadlineTimer deadline(waitBoundMs);
    for (;;) {
        if (!QFile::exists(path)) return true;
        QFile::remove(path);
        if (!QFile::exists(path)) return true;
        if (deadline.hasExpired()) return false;
        QThread::msleep(20);
    }
}

} // namespace

namespace {

// The link log stays open between lines (a busy link writes two lines per exchange); it is
// opened again when the start-up folder changes or the file was moved or removed meanwhile.
QFile& OpenLog() {
    static QFile file;
    return file;
}

// Links in several threads share the log: one line, open or rotation at a time.
QMutex& LogMutex() {
    static QMutex mutex;
    return mutex;
}

// How long an open log is written without asking whether its file is still there.
constexpr qint64 kPresenceCheckMs = 500;

QElapsedTimer& PresenceChecked() {
    static QElapsedTimer timer;
    return timer;
}

// True when the file's presence is to be asked again (the caller holds the lock).
bool PresenceCheckDue() {
    QElapsedTimer& timer = PresenceChecked();
    if (timer.isValid() && timer.elapsed() < kPresenceCheckMs) return false;
    timer.start();
    return true;
}

void CloseLog() {
    if (OpenLog().isOpen()) OpenLog().close();
}

// "The link log ~1 cannot be written (~2); the program goes on without it."
constexpr int kMsgLogUnwritable = 6190;

std::function<void(const QString&)>& ProblemHandler() {
    static std::function<void(const QString&)> handler;
    return handler;
}

// True while the lines since the last one that was written have all failed.
bool g_failing = false;

// Notes a line that could not be written; the first of a run of failures is said.
bool Failed(const QString& path, const QString& reason) {
    if (g_failing) return false;
    g_failing = true;
    if (ProblemHandler())
        ProblemHandler()(LoadMessage(kMsgLogUnwritable, {QDir::toNativeSeparators(path), reason}));
    return false;
}

} // namespace

bool WriteLinkLog(const QString& text, const QDateTime& when) {
    // The line and the path are made before the lock: the links of other threads wait only
    // for the write itself.
    const QString path = LogPath(0);
    const QByteArray bytes =
        (when.time().toString(QStringLiteral("HH:mm:ss")) + u' ' + text + QStringLiteral("\r\n"))
            .toLocal8Bit();
    const QMutexLocker lock(&LogMutex());
    QFile& file = OpenLog();
    // Whether the file was moved or removed meanwhile is asked at most every
    // kPresenceCheckMs, not for every line: a busy link writes hundreds of lines a second.
    if (file.isOpen() && file.fileName() != path) file.close();
    if (file.isOpen() && PresenceCheckDue() && !QFile::exists(path)) file.close();
    if (!file.isOpen()) {
        file.setFileName(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            return Failed(path, file.errorString());
        PresenceChecked().start();
    }
    // One write per line, so a line is never split by another writer; a short one is cut back.
    errno = 0;
    const qint64 written = file.write(bytes);
    if (written == bytes.size()) {
        g_failing = false;
        return true;
    }
    const QString reason = WriteErrorText(file, errno);
    // The part of the line that was written is cut off again (the size is asked only then:
    // one system call less for every line of the log).
    if (written > 0) file.resize(file.size() - written);
    file.close();
    return Failed(path, reason);
}

void SetLinkLogProblemHandler(std::function<void(const QString&)> handler) {
    ProblemHandler() = std::move(handler);
    g_failing = false;
}

void CloseLinkLog() {
    const QMutexLocker lock(&LogMutex());
    CloseLog();
}

bool RotateSerialLogs(int waitBoundMs) {
    const QMutexLocker lock(&LogMutex());
    CloseLog();
    bool allMoved = true;
    for (int i = kLinkLogCopies - 1; i >= 0; --i) {
        const QString from = LogPath(i);
        if (!QFile::exists(from)) continue;
        const QString to = LogPath(i + 1);
        if (!RemoveAndWait(to, waitBoundMs) || !QFile::rename(from, to)) allMoved = false;
    }
    return allMoved;
}

QString GeneralDateText(const QDateTime& when) {
    const QLocale locale;
    // The long time format carries the time zone; the general date format does not.
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(u't');
    timeFormat = timeFormat.trimmed();
    return locale.toString(when.date(), QLocale::ShortFormat) + u' ' +
           locale.toString(when.time(), timeFormat);
}
