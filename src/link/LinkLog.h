#pragma once

#include <QDateTime>
#include <QString>
#include <functional>

// The link log "SerialLog.log" in the start-up folder and its rotated copies.

// Name of the link log file.
inline constexpr const char* kLinkLogName = "SerialLog.log";
// Number of older copies kept by the rotation ("SerialLog1.log" newest .. "SerialLog9.log").
inline constexpr int kLinkLogCopies = 9;

// Appends one line "hh:nn:ss text" (CR LF) to the link log; false when the file cannot be written.
bool WriteLinkLog(const QString& text, const QDateTime& when = QDateTime::currentDateTime());

// Sets what is told, in one sentence naming the file and the reason, when a line of the link log
// cannot be written; told once for a run of failed lines, again only after a line was written.
// The program goes on without the log meanwhile.
void SetLinkLogProblemHandler(std::function<void(const QString&)> handler);

// Lets go of the link log file (before it is moved or removed); the next line opens it again.
void CloseLinkLog();

// Shifts SerialLog.log to SerialLog1.log, SerialLog1.log to SerialLog2.log and so on, dropping
// SerialLog9.log. A file that will not go away is waited for at most waitBoundMs.
// False when some file could not be moved.
bool RotateSerialLogs(int waitBoundMs = 2000);

// A date and time in the locale's general format (short date, time with seconds).
QString GeneralDateText(const QDateTime& when);
