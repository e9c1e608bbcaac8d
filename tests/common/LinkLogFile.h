#pragma once

// The link log file as the tests read it.

#include "link/LinkLog.h"
#include "shell/AppState.h"

#include <QFile>
#include <QString>

// The text of the link log in the start-up folder; empty when there is none.
inline QString LinkLogText() {
    QFile file(AppState::PathInStartupFolder(QString::fromLatin1(kLinkLogName)));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}
