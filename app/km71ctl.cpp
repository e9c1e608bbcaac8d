// km71ctl: the command-line tool for production lines. It reads, writes, compares and
// calibrates one 71-Series detector without the window program.
#include "ctl/CtlOptions.h"
#include "ctl/CtlParallel.h"
#include "ctl/CtlRunner.h"
#include "records/CalibrationCertificate.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextStream>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>

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

// The command line as parsed before the application starts; nullopt when it is not valid
// (the runner then reports why).
std::optional<CtlOptions> ParseEarly(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    CtlOptions options;
    QString error;
    if (!CtlOptions::Parse(arguments, &options, &error)) return std::nullopt;
    return options;
}

} // namespace

int main(int argc, char** argv) {
#ifdef Q_OS_LINUX
    // Unless TZ names the zone, the C library looks at /etc/localtime again for every local
    // time it converts, and the register's lists convert tens of thousands.
    if (!qEnvironmentVariableIsSet("TZ")) qputenv("TZ", ":/etc/localtime");
#endif
    // A plain core application unless a certificate is wanted: then a GUI application on the
    // offscreen platform (no display needed), unless the person chose a platform.
    const std::optional<CtlOptions> early = ParseEarly(argc, argv);
    // A certificate and a provisioning report need QtGui for the PDF's fonts.
    const bool certificate =
        early && (early->certificate || early->command == QLatin1String("provision"));
    std::unique_ptr<QCoreApplication> app;
    if (certificate) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("km71ctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KM71_VERSION));

    QTextStream out(stdout);
    QTextStream err(stderr);
    const bool terminal = KM71_ISATTY(KM71_FILENO(stderr)) != 0;
    CtlRunner runner(out, err);
    runner.setProgressEnabled(terminal);
    if (certificate) runner.setPdfWriter(&CalibrationCertificate::WritePdf);
    // Several detectors: one run each, in threads of their own.
    CtlParallel parallel(out, err);
    parallel.setProgressEnabled(terminal);
    if (certificate) parallel.setPdfWriter(&CalibrationCertificate::WritePdf);
    const bool several = early && CtlParallel::Wanted(*early);

    // An interrupt only sets a flag; the running command notices it within 100 ms, cancels
    // its exchange and ends with its exit status.
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    QTimer stopWatch;
    QObject::connect(&stopWatch, &QTimer::timeout, &runner, [&runner, &parallel] {
        if (!g_stopRequested) return;
        runner.requestStop();
        parallel.requestStop();
    });
    stopWatch.start(100);

    const int code = several ? parallel.Execute(*early)
                             : runner.Run(QCoreApplication::arguments().mid(1));
    out.flush();
    err.flush();
    return code;
}
