// The main window says in its information pane why the serial port could not be opened.
#include "link/PortHelp.h"
#include "link/VirtualClock.h"
#include "link/uclHvif.h"
#include "shell/AppState.h"
#include "shell/Messages.h"
#include "shell/ToolSettings.h"
#include "ui/UiPrompts.h"
#include "ui/frmMain.h"

#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <gtest/gtest.h>
#include <memory>

namespace {

class SilentPrompts : public UiPrompts {
public:
    bool question(QWidget*, const QString&, const QString&) override { return false; }
    void information(QWidget*, const QString&, const QString&) override {}
    void critical(QWidget*, const QString&, const QString&) override {}
    void message(QWidget*, const QString&, const QString&) override {}
    QString openFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
};

TEST(MainWindowPortHelp, AMissingPortIsExplainedInRed) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString savedFolder = AppState::StartupFolder();
    AppState::setStartupFolder(dir.path());
    SetMessageLanguage(QStringLiteral("EN"));
    const QString missing = dir.filePath(QStringLiteral("ttyUSB7"));
    {
        auto link = std::make_unique<uclHvif>(std::make_unique<VirtualClock>());
        link->setPortOverride(missing);
        frmMain window(std::move(link));
        const QString expected = PortProblemSentence(PortProblem::NoSuchDevice, missing, {}, {});
        bool found = false;
        const QTextDocument* doc = window.rtbLog()->document();
        for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
            if (block.text() != expected) continue;
            for (auto it = block.begin(); !it.atEnd(); ++it)
                found =
                    found || it.fragment().charFormat().foreground().color() == QColor(255, 0, 0);
        }
        EXPECT_TRUE(found) << window.rtbLog()->toPlainText().toStdString();
    }
    AppState::setStartupFolder(savedFolder);
}

} // namespace
