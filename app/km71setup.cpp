// km71setup: the window program. Start-up: one instance per user, the mode switches, the
// opening form, the password dialog, then the main window on the link chosen on the command
// line (a serial device, an infrared endpoint, the simulated detector or the module lookup).
#include "link/uclHvif.h"
#include "records/CalibrationCertificate.h"
#include "shell/AppState.h"
#include "shell/Messages.h"
#include "ui/frmMain.h"
#include "ui/frmOpen.h"
#include "ui/frmPassword.h"
#include "ui/modMain.h"
#include "widgets/SharedFont.h"
#include "widgets/UiPrompts.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QLockFile>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <memory>

namespace {

// Longest wait of the screenshot mode for the detector to connect and be read.
constexpr int kScreenshotConnectMs = 20000;

// Waits for the connection, reads the detector, saves the window as a PNG image and ends.
void RunScreenshot(frmMain* window, const QString& file) {
    auto done = std::make_shared<bool>(false);
    auto shoot = [window, file, done](bool connected) {
        if (*done) return;
        *done = true;
        if (connected) window->cmdDown_Click(1);
        // Let the window settle (layouts, log scrolling) before it is grabbed.
        QTimer::singleShot(300, window, [window, file, connected] {
            const bool saved = window->grab().save(file, "PNG");
            std::fprintf(stderr, "km71setup: %s %s\n", saved ? "saved" : "could not save",
                         qPrintable(QDir::toNativeSeparators(file)));
            QCoreApplication::exit(saved && connected ? 0 : 1);
        });
    };
    QObject::connect(&window->link(), &uclHvif::OnConnect, window, [window, shoot] {
        if (window->link().Connected()) QTimer::singleShot(0, window, [shoot] { shoot(true); });
    });
    QTimer::singleShot(kScreenshotConnectMs, window, [shoot] { shoot(false); });
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("km71setup"));
    QApplication::setApplicationVersion(QStringLiteral(KM71_VERSION));

    const modMain::StartupOptions options =
        modMain::ParseArguments(QCoreApplication::arguments().mid(1));
    if (options.help) {
        std::fputs(qPrintable(modMain::UsageText()), stdout);
        return 0;
    }
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "km71setup: %s\n%s", qPrintable(options.error),
                     qPrintable(modMain::UsageText()));
        return 2;
    }
    if (!options.lang.isEmpty()) SetMessageLanguage(options.lang);
    SharedFont::PreferLanguageFont(UiLanguage());

    // 1. One instance per user.
    QLockFile lock(modMain::InstanceLockPath());
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0)) {
        // Said on the error stream too, for whoever started the program from a terminal.
        std::fprintf(stderr, "km71setup: %s\n", qPrintable(LoadMessage(99)));
        std::fflush(stderr);
        UiPrompts::standard().critical(nullptr, AppTitle(), LoadMessage(99));
        return 1;
    }

    // 2. Start-up folder; 3. mode switches (by substring, any letter case).
    AppState::setStartupFolder(options.folder.isEmpty() ? QDir::currentPath()
                                                        : QDir(options.folder).absolutePath());
    AppState::ApplyCommandLine(options.switchArguments);

    // 4. The dialog font starts at size 9 (ToolSettings' default). 5. The opening form.
    if (!options.noSplash) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        frmOpen opening;
        opening.exec();
        QApplication::restoreOverrideCursor();
    }

    // 6. The built-in password; 7. the password dialog, without blocking.
    AppState::setAccessPassword(QStringLiteral("7305"));
    // The calibration window writes a certificate after each completed calibration.
    CalibrationCertificate::setEnabled(true);
    std::unique_ptr<frmMain> window;
    frmPassword password;
    QObject::connect(&password, &frmPassword::passwordAccepted, &app, [&] {
        QString error;
        std::unique_ptr<uclHvif> link =
            modMain::MakeLink(options, AppState::StartupFolder(), &error);
        if (!link) {
            UiPrompts::standard().critical(nullptr, AppTitle(), error);
            QCoreApplication::exit(1);
            return;
        }
        window = std::make_unique<frmMain>(std::move(link));
        window->show();
        if (!options.screenshot.isEmpty()) RunScreenshot(window.get(), options.screenshot);
    });
    QObject::connect(&password, &frmPassword::endRequested, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    password.show();
    if (!options.password.isEmpty()) {
        password.txtPass()->setText(options.password);
        QTimer::singleShot(0, &password, [&password] { password.cmdOK()->click(); });
    }

    const int code = app.exec();
    // The main window writes the tool configuration when it goes.
    window.reset();
    return code;
}
