#include "widgets/Sounds.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSoundEffect>
#include <QUrl>

namespace {

struct State {
    QHash<QString, QSoundEffect*> effects;
    int played = 0;
    QString last;
};

State& state() {
    static State s;
    return s;
}

} // namespace

namespace Sounds {

QString Resolve(const QString& fileName) {
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(fileName);
    if (QFileInfo::exists(beside)) return beside;
    const QString builtIn = QStringLiteral(":/gui/") + fileName;
    if (QFileInfo::exists(builtIn)) return builtIn;
    return QString();
}

void Play(const QString& fileName) {
    State& s = state();
    s.last = fileName;
    const QString path = Resolve(fileName);
    if (path.isEmpty()) return;
    ++s.played;
    QSoundEffect*& effect = s.effects[path];
    if (!effect) {
        // The effects live as long as the application; they are never played from two places.
        effect = new QSoundEffect(QCoreApplication::instance());
        effect->setSource(path.startsWith(u':') ? QUrl(QStringLiteral("qrc") + path)
                                                : QUrl::fromLocalFile(path));
    }
    effect->play();
}

int PlayCount() {
    return state().played;
}

QString LastRequested() {
    return state().last;
}

} // namespace Sounds
