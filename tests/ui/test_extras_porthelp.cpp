// The main window says in its information pane why the serial port could not be opened, and
// its "Serial Port" lamp turns red.
#include "UiTestSupport.h"

#include "common/TempStartupFolder.h"
#include "link/PortHelp.h"
#include "link/VirtualClock.h"
#include "link/uclHvif.h"
#include "shell/Messages.h"
#include "ui/frmMain.h"

#include <QTextEdit>
#include <gtest/gtest.h>
#include <memory>

namespace {

TEST(MainWindowPortHelp, AMissingPortIsExplainedInRed) {
    TempStartupFolder dir;
    ASSERT_TRUE(dir.isValid());
    SetMessageLanguage(QStringLiteral("EN"));
    const QString missing = dir.filePath(QStringLiteral("ttyUSB7"));
    auto link = std::make_unique<uclHvif>(std::make_unique<VirtualClock>());
    link->setPortOverride(missing);
    frmMain window(std::move(link));
    const QString expected = PortProblemSentence(PortProblem::NoSuchDevice, missing, {}, {});
    EXPECT_TRUE(HasInfo(window, expected, kRed)) << window.rtbLog()->toPlainText().toStdString();
    // The "Serial Port" lamp shows the failure too.
    EXPECT_EQ(window.lamp(0), frmMain::Lamp::Error);
}

} // namespace
