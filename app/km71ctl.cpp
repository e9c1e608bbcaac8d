// km71ctl: the command-line tool for production lines. It reads, writes, compares and
// calibrates one 71-Series detector without the window program.
#include "link/CtlRunner.h"

#include <QCoreApplication>
#include <QTextStream>
#include <QTimer>
#include <csignal>
#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#define KM71_ISATTY _isatty
#define KM71_FILENO _fileno
#else
#include <unistd.h>
#define KM71_ISATTY isatty
#define KM71_FILENO fileno
#endif

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;

extern "C" void RequestStop(int) {
    g_stopRequested = 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("km71ctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KM71_VERSION));

    QTextStream out(stdout);
    QTextStream err(stderr);
    CtlRunner runner(out, err);
    runner.setProgressEnabled(KM71_ISATTY(KM71_FILENO(stderr)) != 0);

    // An interrupt only sets a flag; the running command notices it within 100 ms, cancels
    // its exchange and ends with its exit status.
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    QTimer stopWatch;
    QObject::connect(&stopWatch, &QTimer::timeout, &runner, [&runner] {
        if (g_stopRequested) runner.requestStop();
    });
    stopWatch.start(100);

    const int code = runner.Run(QCoreApplication::arguments().mid(1));
    out.flush();
    err.flush();
    return code;
}
