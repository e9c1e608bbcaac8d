// Start-up of the window program: command line, single instance, opening form, password dialog,
// port choice dialog and the hand-over to the main window on the simulated detector.
#include "UiTestSupport.h"

#include "common/SimProgram.h"

#include "common/SimLink.h"
#include "common/TempStartupFolder.h"
#include "configuration/ToolSettings.h"
#include "link/VirtualClock.h"
#include "link/uclHvif.h"
#include "shell/AppState.h"
#include "shell/Messages.h"
#include "sim/SimDetector.h"
#include "ui/frmIrCommSelect.h"
#include "ui/frmMain.h"
#include "ui/frmOpen.h"
#include "ui/frmPassword.h"
#include "ui/modMain.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <gtest/gtest.h>
#include <memory>

namespace {

// Saves a picture of `widget` as <KM71_SHOTS_DIR>/<name>.png when that variable is set (the
// screenshot script sets it).
void SaveShot(QWidget* widget, const QString& name) {
    const QString folder = qEnvironmentVariable("KM71_SHOTS_DIR");
    if (folder.isEmpty()) return;
    widget->grab().save(QDir(folder).filePath(name + QStringLiteral(".png")), "PNG");
}

// Keeps the process-wide state of each test to itself.
class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_folder.isValid());
        m_savedPassword = AppState::AccessPassword();
        AppState::setAccessPassword(QStringLiteral("7305"));
        AppState::setDebugMode(false);
        AppState::setFactoryMode(false);
        SetMessageLanguage(QStringLiteral("EN"));
        Tool() = ToolSettings();
    }
    void TearDown() override {
        SetMessageLanguage(QStringLiteral("EN"));
        AppState::setDebugMode(false);
        AppState::setFactoryMode(false);
        AppState::setAccessPassword(m_savedPassword);
        Tool() = ToolSettings();
    }

    TempStartupFolder m_folder;
    QString m_savedPassword;
    RecordingPrompts prompts;
};

// ---- Command line ----

TEST(StartupArguments, OptionsTakeTheirValuesAndEverythingElseIsScannedForSwitches) {
    const modMain::StartupOptions o = modMain::ParseArguments(
        {"-debug", "--sim", "qz", "--lang=jp", "x-SEIZOextra", "--no-splash", "--password", "7305",
         "--screenshot", "/tmp/a.png"});
    EXPECT_TRUE(o.error.isEmpty()) << o.error.toStdString();
    EXPECT_EQ(o.sim, QStringLiteral("QZ"));
    EXPECT_EQ(o.lang, QStringLiteral("JP"));
    EXPECT_TRUE(o.noSplash);
    EXPECT_EQ(o.password, QStringLiteral("7305"));
    EXPECT_EQ(o.screenshot, QStringLiteral("/tmp/a.png"));
    EXPECT_EQ(o.switchArguments, (QStringList{"-debug", "x-SEIZOextra"}));

    const modMain::StartupOptions p =
        modMain::ParseArguments({"--port", "/dev/pts/7", "--ir", "127.0.0.1:5000"});
    EXPECT_TRUE(p.error.isEmpty());
    EXPECT_EQ(p.port, QStringLiteral("/dev/pts/7"));
    EXPECT_EQ(p.ir, QStringLiteral("127.0.0.1:5000"));
    EXPECT_TRUE(p.switchArguments.isEmpty());
}

TEST(StartupArguments, UnusableCommandLinesAreRefusedWithOneSentence) {
    const QTemporaryDir folder;
    const QList<QStringList> bad = {{"--sim"},
                                    {"--sim", "XX"},
                                    {"--lang", "FR"},
                                    {"--sim", "KM", "--port", "/dev/ttyS0"},
                                    {"--folder", folder.path() + QStringLiteral("/missing")}};
    for (const QStringList& args : bad) {
        SCOPED_TRACE(args.join(' ').toStdString());
        EXPECT_FALSE(modMain::ParseArguments(args).error.isEmpty());
    }
    EXPECT_TRUE(modMain::ParseArguments({"--folder", folder.path()}).error.isEmpty());
    EXPECT_TRUE(modMain::ParseArguments({"--help"}).help);
}

TEST_F(StartupTest, ModeSwitchesMatchAsSubstringsInAnyCaseButNotInsideOptionValues) {
    struct Case {
        QStringList args;
        bool debug;
        bool factory;
    };
    const Case cases[] = {
        {{"-seizo", "file.txt", "-debug"}, true, true},
        {{"-Debug"}, true, false},
        {{"-SEIZOABC"}, false, true},
        {{"abc-seizo-debug"}, true, true},
        {{"DEBUG", "SEIZO"}, false, false},
        {{"--folder", "/tmp/x-debug", "--password", "-SEIZO"}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        AppState::ApplyCommandLine(modMain::ParseArguments(c.args).switchArguments);
        EXPECT_EQ(AppState::DebugMode(), c.debug);
        EXPECT_EQ(AppState::FactoryMode(), c.factory);
    }
}

// The program refuses to start while another instance of the same user holds the lock: the real
// km71setup, started while this test holds the lock of a user of its own.
TEST(StartupInstance, ASecondInstanceOfTheSameUserIsRefused) {
    const QString user = QStringLiteral("km71test%1").arg(QCoreApplication::applicationPid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("USER"), user);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const QString lockPath = QDir(QDir::tempPath()).filePath(QStringLiteral("km71setup-%1.lock").arg(user));
    QLockFile held(lockPath);
    ASSERT_TRUE(held.tryLock(0));

    QProcess second;
    second.setProcessEnvironment(env);
    second.setReadChannel(QProcess::StandardError);
    second.start(ProgramDir() + QStringLiteral("/km71setup"), {QStringLiteral("--lang"), QStringLiteral("EN")});
    ASSERT_TRUE(second.waitForStarted(10000));
    QByteArray said;
    while (!said.contains("started.\n") && second.waitForReadyRead(10000))
        said += second.readAllStandardError();
    second.kill();
    second.waitForFinished(10000);
    EXPECT_TRUE(said.contains("km71setup: It has already started.\n")) << said.constData();
}

// ---- Opening form ----

TEST_F(StartupTest, OpeningFormShowsThePartNumberAndCompanyOfTheLanguage) {
    struct Case {
        const char* language;
        bool factory;
        const char* version;
        const char* company;
    };
    const Case cases[] = {{"EN", false, "P.No.30539", "NVN Instruments, Inc."},
                          {"EN", true, "P.No.30539", "NVN Instruments, Inc."},
                          {"JP", false, "P.No.30537", "NORVANE CO.,LTD."},
                          {"JP", true, "P.No.30516", "NORVANE CO.,LTD."}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.language) + (c.factory ? " factory" : ""));
        SetMessageLanguage(QString::fromLatin1(c.language));
        AppState::setFactoryMode(c.factory);
        frmOpen form;
        EXPECT_EQ(form.lblVersion()->text(), QString::fromLatin1(c.version));
        EXPECT_EQ(frmOpen::VersionText(UiLanguage(), c.factory), QString::fromLatin1(c.version));
        EXPECT_EQ(form.lblCompany()->text(), QString::fromLatin1(c.company));
        EXPECT_EQ(form.lblTitle()->text(), LoadMessage(2001));
    }
}

TEST_F(StartupTest, OpeningFormLaysItsPartsOutWithoutOverlapAndClosesAfterItsTime) {
    for (const char* language : {"EN", "JP"}) {
        SCOPED_TRACE(language);
        SetMessageLanguage(QString::fromLatin1(language));
        frmOpen form;
        form.setPrompts(&prompts);
        form.show();
        SaveShot(&form, std::string(language) == "JP" ? QStringLiteral("open_ja")
                                                      : QStringLiteral("open_en"));
        EXPECT_EQ(form.imgLogo()->size(), QSize(180, 180));
        const QList<QWidget*> parts = {form.imgLogo(),     form.lblTitle(),   form.lblTM(),
                                       form.lblPlatform(), form.lblVersion(), form.lblCopyright(),
                                       form.lblCompany()};
        for (int i = 0; i < parts.size(); ++i) {
            EXPECT_TRUE(form.fraInner()->geometry().contains(parts[i]->geometry()))
                << parts[i]->objectName().toStdString();
            EXPECT_GE(parts[i]->width(), parts[i]->sizeHint().width())
                << parts[i]->objectName().toStdString();
            for (int j = i + 1; j < parts.size(); ++j)
                EXPECT_FALSE(parts[i]->geometry().intersects(parts[j]->geometry()))
                    << parts[i]->objectName().toStdString() << " / "
                    << parts[j]->objectName().toStdString();
        }
        // "TM" stands 120 twips right of the title; the version line below "for Windows".
        EXPECT_GT(form.lblTM()->x(), form.lblTitle()->geometry().right());
        EXPECT_GT(form.lblVersion()->y(), form.lblPlatform()->geometry().bottom());
        EXPECT_EQ(form.lblVersion()->geometry().right(), form.lblCompany()->geometry().right());

        // Double-click: the pause box; the timer keeps running.
        ASSERT_TRUE(form.tmrOpen()->isActive());
        EXPECT_EQ(form.tmrOpen()->interval(), 2500);
        QTest::mouseDClick(form.fraInner(), Qt::LeftButton, {}, QPoint(5, 5));
        EXPECT_EQ(prompts.shown(),
                  QStringList{QString::fromUtf8(language == std::string("EN")
                                                    ? "information: Pause / Pause!!"
                                                    : "information: 一時停止 / 一時停止!!")});
        prompts.boxes.clear();
        EXPECT_TRUE(form.tmrOpen()->isActive());

        form.tmrOpen_Timer();
        EXPECT_FALSE(form.isVisible());
        EXPECT_FALSE(form.tmrOpen()->isActive());
        EXPECT_EQ(form.result(), QDialog::Accepted);
    }
}

// ---- Password dialog ----

TEST_F(StartupTest, PasswordDialogRefusesWrongTextsAsOftenAsTheyComeAndIgnoresCase) {
    AppState::setAccessPassword(QStringLiteral("7305"));
    frmPassword dialog;
    dialog.setPrompts(&prompts);
    int accepted = 0;
    QObject::connect(&dialog, &frmPassword::passwordAccepted, [&] { ++accepted; });
    dialog.show();
    QTest::keyClicks(dialog.txtPass(), QStringLiteral("73"));
    SaveShot(&dialog, QStringLiteral("password_en"));
    dialog.txtPass()->clear();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("71-Series - Setup Program"));
    EXPECT_EQ(dialog.lblPass()->text(), QStringLiteral("Please input password."));
    EXPECT_EQ(dialog.cmdOK()->text(), QStringLiteral("OK"));
    EXPECT_EQ(dialog.cmdCancel()->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(dialog.txtPass()->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(dialog.txtPass()->text().isEmpty());

    for (const char* wrong : {"", "7306", "73050", "7305 "}) {
        SCOPED_TRACE(wrong);
        dialog.txtPass()->setText(QString::fromLatin1(wrong));
        QTest::mouseClick(dialog.cmdOK(), Qt::LeftButton);
        EXPECT_EQ(prompts.shown(),
                  QStringList{QStringLiteral("critical: Password / Incorrect Password Entered")});
        prompts.boxes.clear();
        EXPECT_EQ(dialog.txtPass()->text(), QString::fromLatin1(wrong)) << "the text stays";
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_FALSE(dialog.PasswordAccepted());
    }
    EXPECT_EQ(accepted, 0);

    dialog.txtPass()->clear();
    QTest::keyClicks(dialog.txtPass(), QStringLiteral("7305"));
    QTest::keyClick(dialog.txtPass(), Qt::Key_Return);
    EXPECT_EQ(accepted, 1);
    EXPECT_TRUE(dialog.PasswordAccepted());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(prompts.shown().isEmpty()) << "an accepted password closes without a question";

    // Letter case never matters.
    for (const char* entered : {"abc9", "ABC9", "aBc9"})
        EXPECT_TRUE(frmPassword::Matches(QString::fromLatin1(entered), QStringLiteral("AbC9")));
    EXPECT_FALSE(frmPassword::Matches(QStringLiteral("abc"), QStringLiteral("AbC9")));
}

TEST_F(StartupTest, ClosingThePasswordDialogAsksWhetherToEnd) {
    frmPassword dialog;
    dialog.setPrompts(&prompts);
    int ended = 0;
    QObject::connect(&dialog, &frmPassword::endRequested, [&] { ++ended; });
    dialog.show();

    prompts.answerYes = false;
    QTest::mouseClick(dialog.cmdCancel(), Qt::LeftButton);
    EXPECT_EQ(prompts.shown(), QStringList{QStringLiteral("question: KM-71 / End ?")});
    EXPECT_TRUE(dialog.isVisible());
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.close());
    EXPECT_EQ(ended, 0);

    prompts.answerYes = true;
    prompts.boxes.clear();
    EXPECT_TRUE(dialog.close());
    EXPECT_EQ(prompts.shown(), QStringList{QStringLiteral("question: KM-71 / End ?")});
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(QFileInfo::exists(m_folder.filePath(QStringLiteral("KM71Config.ini"))))
        << "ending at the password writes no configuration";
}

TEST_F(StartupTest, JapanesePasswordDialogAndQuestion) {
    SetMessageLanguage(QStringLiteral("JP"));
    frmPassword dialog;
    dialog.setPrompts(&prompts);
    dialog.show();
    SaveShot(&dialog, QStringLiteral("password_ja"));
    EXPECT_EQ(dialog.lblPass()->text(), QString::fromUtf8("ﾊﾟｽﾜｰﾄﾞを入力してください。"));
    EXPECT_EQ(dialog.cmdCancel()->text(), QString::fromUtf8("ｷｬﾝｾﾙ"));
    dialog.txtPass()->setText(QStringLiteral("0000"));
    dialog.cmdOK_Click();
    EXPECT_EQ(prompts.shown().last(),
              QString::fromUtf8("critical: ﾊﾟｽﾜｰﾄﾞ / ﾊﾟｽﾜｰﾄﾞが合いません。"));
    dialog.close();
    EXPECT_EQ(prompts.shown().last(),
              QString::fromUtf8("question: KM-71 / ﾌﾟﾛｸﾞﾗﾑを終了してよろしいですか？"));
}

TEST_F(StartupTest, DialogFontComesFromTheSharedFont) {
    Tool().SharedFont.Size = 12.0f;
    Tool().SharedFont.Bold = true;
    frmPassword dialog;
    EXPECT_EQ(dialog.txtPass()->font().pointSizeF(), 12.0);
    EXPECT_TRUE(dialog.cmdOK()->font().bold());
    EXPECT_TRUE(dialog.lblPass()->font().bold());
}

TEST_F(StartupTest, AcceptedPasswordOpensTheMainWindowOnTheSimulatedDetector) {
    frmPassword dialog;
    dialog.setPrompts(&prompts);
    std::unique_ptr<frmMain> window;
    QObject::connect(&dialog, &frmPassword::passwordAccepted, [&] {
        window = std::make_unique<frmMain>(
            modMain::MakeSimulatedLink("QZ", std::make_unique<VirtualClock>()));
        window->setPrompts(&prompts);
        window->show();
    });
    dialog.show();
    QTest::keyClicks(dialog.txtPass(), QStringLiteral("7305"));
    QTest::mouseClick(dialog.cmdOK(), Qt::LeftButton);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(dialog.isVisible());

    ASSERT_TRUE(SimLink::WaitForConnection(window->link()));
    EXPECT_EQ(window->working().ModelTyp(), QStringLiteral("QZ"));
    EXPECT_TRUE(window->rtbLog()->toPlainText().contains(
        QStringLiteral("71-Series ...Connection Successful.")));
    window.reset();
}

// ---- Port choice dialog ----

TEST_F(StartupTest, PortChoiceDialogKeepsTheLastChoiceAndFallsBackToTheFirstPort) {
    frmIrCommSelect::setStoredChoice(0);
    {
        frmIrCommSelect dialog({"COM3", "COM7", "COM9"});
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("IrCOMM"));
        EXPECT_EQ(dialog.cmbIrComm()->currentIndex(), 0);
        EXPECT_EQ(dialog.cmbIrComm()->count(), 3);
        EXPECT_EQ(dialog.cmdOK()->text(), QStringLiteral("OK"));
        ASSERT_NE(dialog.findChild<QLabel*>(), nullptr);
        EXPECT_EQ(dialog.findChild<QLabel*>()->text(), QStringLiteral("Select IrCOMM"));
    }

    // Through the modal dialog: choose the second port and press OK.
    AnswerModal<frmIrCommSelect>([](frmIrCommSelect* dialog) {
        dialog->cmbIrComm()->setCurrentIndex(1);
        QTest::mouseClick(dialog->cmdOK(), Qt::LeftButton);
    });
    EXPECT_EQ(frmIrCommSelect::Choose(nullptr, {"COM3", "COM7", "COM9"}), 1);
    EXPECT_EQ(frmIrCommSelect::StoredChoice(), 2);

    // Closed without OK: the earlier choice stays in force.
    AnswerModal<QWidget>([](QWidget* dialog) { dialog->close(); });
    EXPECT_EQ(frmIrCommSelect::Choose(nullptr, {"COM3", "COM7", "COM9"}), 1);

    struct Case {
        int stored, count, index;
    };
    for (const Case& c :
         {Case{0, 3, -1}, Case{1, 3, 0}, Case{3, 3, 2}, Case{4, 3, -1}, Case{2, 1, -1}}) {
        SCOPED_TRACE(testing::Message() << c.stored << " of " << c.count);
        EXPECT_EQ(frmIrCommSelect::ChoiceIndex(c.stored, c.count), c.index);
    }
    frmIrCommSelect::setStoredChoice(0);
}

} // namespace
