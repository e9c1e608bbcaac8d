#pragma once

#include "shell/AppState.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

// A scratch start-up folder for one test: the program's files land in it while it lives, and
// the start-up folder from before comes back when it goes.
class TempStartupFolder {
public:
    TempStartupFolder() : m_saved(AppState::StartupFolder()) {
        AppState::setStartupFolder(m_dir.path());
    }
    ~TempStartupFolder() { AppState::setStartupFolder(m_saved); }
    TempStartupFolder(const TempStartupFolder&) = delete;
    TempStartupFolder& operator=(const TempStartupFolder&) = delete;

    // True when the folder could be made.
    bool isValid() const { return m_dir.isValid(); }
    // The folder's path.
    QString path() const { return m_dir.path(); }
    // The path of a file in the folder.
    QString filePath(const QString& name) const { return m_dir.filePath(name); }
    // The bytes of a file in the folder; empty when it cannot be read.
    QByteArray readFile(const QString& name) const {
        QFile file(filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QTemporaryDir m_dir;
    QString m_saved;
};
