// km71ctl: the command-line tool for production lines. It reads, writes, compares and
// calibrates one 71-Series detector without the window program.
#include "ctl/CtlOptions.h"
#include "ctl/CtlRunner.h"
#include "records/CalibrationCertificate.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextStream>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <memory>

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

// Whether the command line asks for a certificate, which needs QtGui for the PDF's fonts.
bool WantsCertificate(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    CtlOptions options;
    QString error;
    return CtlOptions::Parse(arguments, &options, &error) && options.certificate;
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
    const bool certificate = WantsCertificate(argc, argv);
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
    CtlRunner runner(out, err);
    runner.setProgressEnabled(KM71_ISATTY(KM71_FILENO(stderr)) != 0);
    if (certificate) runner.setPdfWriter(&CalibrationCertificate::WritePdf);

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
