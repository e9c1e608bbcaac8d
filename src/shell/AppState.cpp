#include "shell/AppState.h"

#include <QDir>

namespace {
struct State {
    bool debug = false;
    bool factory = false;
    QString folder = QDir::currentPath();
    QString password = QStringLiteral("7305");
    qint16 operation = 0;
};
State& state() {
    static State s;
    return s;
}
} // namespace

namespace AppState {

bool DebugMode() { return state().debug; }
void setDebugMode(bool on) { state().debug = on; }
bool FactoryMode() { return state().factory; }
void setFactoryMode(bool on) { state().factory = on; }

QString StartupFolder() { return state().folder; }
void setStartupFolder(const QString& folder) { state().folder = QDir::cleanPath(folder); }

QString PathInStartupFolder(const QString& fileName) {
    return QDir(state().folder).filePath(fileName);
}

QString AccessPassword() { return state().password; }
void setAccessPassword(const QString& password) { state().password = password; }

qint16 OperationState() { return state().operation; }
void setOperationState(qint16 s) { state().operation = s; }

void ApplyCommandLine(const QStringList& arguments) {
    // The whole line, upper-cased; the switches match as substrings anywhere.
    const QString line = arguments.join(u' ').toUpper();
    state().debug = line.contains(QLatin1String("-DEBUG"));
    state().factory = line.contains(QLatin1String("-SEIZO"));
}

} // namespace AppState
