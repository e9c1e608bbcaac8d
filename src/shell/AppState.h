#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Process-wide state read by every part of the program.
namespace AppState {

// True when the command line holds "-DEBUG" (any case, anywhere).
bool DebugMode();
void setDebugMode(bool on);

// True when the command line holds "-SEIZO" (any case, anywhere).
bool FactoryMode();
void setFactoryMode(bool on);

// Folder of every file the program writes (the current directory at start unless overridden).
QString StartupFolder();
void setStartupFolder(const QString& folder);

// Full path of `fileName` inside the start-up folder.
QString PathInStartupFolder(const QString& fileName);

// The password the start-up dialog checks against (built-in "7305" until the tool
// configuration replaces it).
QString AccessPassword();
void setAccessPassword(const QString& password);

// The transfer in progress: 0 idle, 1 downloading, 3 zero adjustment, 4 span adjustment,
// 6 writing. The progress dialogs take their captions from it.
qint16 OperationState();
void setOperationState(qint16 state);

// Sets DebugMode and FactoryMode from a command line by case-insensitive substring match.
void ApplyCommandLine(const QStringList& arguments);

} // namespace AppState
