// What the window may send and what it shows: writes only from a record that is known, reads
// that change nothing when they fail, edits that are never dropped without a word, failures
// that are as visible as successes. Real widgets against the in-process simulated detector on
// virtual time; the frames the detector received are the proof of what reached it.
#include "UiTestSupport.h"

#include "common/TempStartupFolder.h"
#include "instrument/clsInstrument.h"
#include "link/VirtualClock.h"
#include "link/uclHvif.h"
#include "shell/AppState.h"
#include "sim/SimTransport.h"
#include "ui/GasAlarmGrid.h"
#include "ui/frmMain.h"
#include "widgets/RefusedEdit.h"

#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

constexpr int kUpdate = 0;
constexpr int kCalibration = 2;
constexpr int kUpdateId = 7;
constexpr int kWriteSerialNo = 9;
constexpr int kWriteFactoryNo = 10;
constexpr int kWritingButtons[] = {kUpdate, kCalibration, kUpdateId, kWriteSerialNo,
                                   kWriteFactoryNo};
const QString kReadFirst = QStringLiteral(
    "Read the detector before writing: the settings shown belong to the detector connected "
    "earlier.");

class WriteSafetyTest : public ::testing::Test, protected SimulatedWindow {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_folder.isValid());
        AppState::setOperationState(0);
        AppState::setFactoryMode(true);
    }
    void TearDown() override {
        closeWindow();
        AppState::setOperationState(0);
    }

    void openWindow(const QString& model = QStringLiteral("KM")) {
        showWindow(model);
        ASSERT_TRUE(waitForConnection());
        setDetectorClockToPc();
        detector->clearReceivedFrames();
    }

    // True when none of the buttons that write settings can be clicked.
    bool writesDisabled() const {
        for (int button : kWritingButtons)
            if (window->cmdOption(button)->isEnabled()) return false;
        return true;
    }

    // Every request the detector received since the last clear was a connect probe.
    bool onlyProbesReached() const {
        for (const QString& request : requests())
            if (request != QLatin1String("RC,R,")) return false;
        return true;
    }

    // Drops the serial line and brings it up again; the link connects anew.
    void dropAndReconnect() {
        auto* line = dynamic_cast<SimTransport*>(window->link().serialTransport());
        ASSERT_NE(line, nullptr);
        line->setLineUp(false);
        EXPECT_FALSE(window->link().Connected());
        line->setLineUp(true);
        ASSERT_TRUE(waitForConnection());
    }

    // Opens the editor of a value cell of gas 0 and types `text` into it.
    QPointer<QLineEdit> typeInto(int column, const QString& text) {
        GasAlarmGrid* grid = window->grid();
        grid->setFocus();
        grid->setCurrentCell(GasAlarmGrid::GasRow(0), column);
        QTest::keyClick(grid, Qt::Key_F2);
        QPointer<QLineEdit> editor = grid->viewport()->findChild<QLineEdit*>();
        if (!editor) return editor;
        editor->selectAll();
        if (text.isEmpty())
            QTest::keyClick(editor, Qt::Key_Delete);
        else
            QTest::keyClicks(editor, text);
        return editor;
    }

    TempStartupFolder m_folder;
};

TEST_F(WriteSafetyTest, OnlyARecordReadFromTheConnectedDetectorOrLoadedFromAFileIsWritten) {
    openWindow();
    // At start nothing is known of the detector: the view is blank and nothing writes.
    EXPECT_TRUE(writesDisabled());
    EXPECT_TRUE(window->txtOption(0)->text().isEmpty());
    window->cmdOption_Click(kUpdate);
    window->cmdOption_Click(kUpdateId);
    EXPECT_TRUE(onlyProbesReached()) << requests().join(u' ').toStdString();
    EXPECT_TRUE(prompts.boxes.isEmpty());

    // A failed first read leaves it so.
    detector->faults().deadLine = true;
    EXPECT_FALSE(readDetector());
    EXPECT_TRUE(writesDisabled());
    detector->faults().deadLine = false;
    ASSERT_TRUE(waitForConnection());

    ASSERT_TRUE(readDetector());
    EXPECT_FALSE(writesDisabled());
    const QString serial = window->txtOption(0)->text();

    // The line drops and comes back: another detector may be there now.
    detector->setValue("IN", "ANOTHER DETECTOR");
    dropAndReconnect();
    EXPECT_TRUE(writesDisabled());
    EXPECT_TRUE(hasInfo(kReadFirst, kRed));
    EXPECT_EQ(window->txtOption(0)->text(), serial);
    EXPECT_FALSE(window->txtOption(0)->isEnabled());
    EXPECT_FALSE(window->grid()->isEnabled());
    EXPECT_TRUE(window->findChild<QGroupBox*>(QStringLiteral("fraStatus"))
                    ->title()
                    .contains(QStringLiteral("earlier detector")));
    detector->clearReceivedFrames();
    window->cmdOption_Click(kUpdate);
    EXPECT_TRUE(onlyProbesReached()) << requests().join(u' ').toStdString();

    // Reading the detector now connected makes it writable again.
    ASSERT_TRUE(readDetector());
    EXPECT_EQ(window->txtOption(0)->text(), QStringLiteral("ANOTHER DETECTOR"));
    EXPECT_FALSE(writesDisabled());
    EXPECT_TRUE(window->grid()->isEnabled());

    // After "Power Off" the window starts over with nothing known.
    prompts.answerYes = true;
    click(window->cmdDown(4));
    EXPECT_TRUE(writesDisabled());
}

TEST_F(WriteSafetyTest, AFailedReadChangesNothingOnScreen) {
    openWindow();
    ASSERT_TRUE(readDetector());
    const QString serial = window->txtOption(0)->text();
    const QString warning =
        window->grid()->item(GasAlarmGrid::GasRow(0), GasAlarmGrid::ColWarning)->text();
    detector->setValue("IN", "CHANGED MEANWHILE");
    // The detector stops answering halfway through the read.
    detector->faults().dropNth = 12;
    detector->faults().dropEvery = 1;
    click(window->cmdDown(1));
    EXPECT_TRUE(hasInfoText(QStringLiteral("Failed")));
    EXPECT_EQ(window->txtOption(0)->text(), serial);
    EXPECT_EQ(window->working().SerialNo(), serial);
    EXPECT_EQ(window->grid()->item(GasAlarmGrid::GasRow(0), GasAlarmGrid::ColWarning)->text(),
              warning);
    EXPECT_FALSE(writesDisabled()) << "the record read before still belongs to this detector";
}

TEST_F(WriteSafetyTest, ARefusedEditStaysOpenAndNoCommandStartsMeanwhile) {
    openWindow();
    ASSERT_TRUE(readDetector());
    // The window has the focus, as the one a person works in.
    QApplication::setActiveWindow(window.get());
    detector->clearReceivedFrames();

    // Alarm 61 is beyond 0.6 x 100; leaving the cell for "Update" keeps the edit and says why.
    QPointer<QLineEdit> editor = typeInto(GasAlarmGrid::ColAlarm, QStringLiteral("61"));
    ASSERT_TRUE(editor);
    QTest::mouseClick(window->cmdOption(kUpdate), Qt::LeftButton);
    QTest::mouseClick(window->cmdDown(1), Qt::LeftButton);
    EXPECT_TRUE(editor && editor->isVisible());
    EXPECT_EQ(editor->text(), QStringLiteral("61"));
    EXPECT_EQ(RefusedEdit::reason(), QStringLiteral("Alarm: allowed from 0 to 60."));
    EXPECT_TRUE(prompts.boxes.isEmpty());
    EXPECT_TRUE(requests().isEmpty()) << requests().join(u' ').toStdString();

    // Corrected, the edit is taken and the write goes ahead.
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("40"));
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(RefusedEdit::current(), nullptr);
    EXPECT_FLOAT_EQ(window->working().Alarm(0), 40.0f);

    // An edited identity and "Update": the write leaves the identity and says so.
    QLineEdit* station = window->txtOption(1);
    station->setFocus();
    station->selectAll();
    QTest::keyClicks(station, QStringLiteral("BENCH 7"));
    click(window->cmdOption(kUpdate));
    EXPECT_EQ(requests(QStringLiteral("A2,W")), QStringList{QStringLiteral("A2,W,   40")});
    EXPECT_TRUE(requests(QStringLiteral("XS,W")).isEmpty());
    ASSERT_FALSE(infoLines().isEmpty());
    EXPECT_EQ(infoLines().last().text,
              QStringLiteral("The identity (serial number, station ID, user ID) was not "
                             "written; \"Update ID\" writes it."));
}

TEST_F(WriteSafetyTest, FailuresAreAsVisibleAsSuccess) {
    openWindow();
    ASSERT_TRUE(readDetector());
    // The detector stops answering: nothing of the write reaches it.
    detector->faults().deadLine = true;
    click(window->cmdOption(kUpdate));
    ASSERT_FALSE(prompts.boxes.isEmpty());
    const RecordingPrompts::Box& box = prompts.boxes.last();
    EXPECT_EQ(box.kind, QStringLiteral("critical"));
    EXPECT_TRUE(box.text.contains(QStringLiteral("71-Series Upload Failed.")));
    EXPECT_TRUE(box.text.contains(QStringLiteral("Not written to the detector:")));
    EXPECT_TRUE(box.text.contains(QStringLiteral("Warning"))) << box.text.toStdString();
    EXPECT_TRUE(box.text.contains(QStringLiteral("Interval Trend Time (Sec)")));
}

TEST_F(WriteSafetyTest, SwitchingAnAlarmPointOffAsksFirst) {
    openWindow();
    ASSERT_TRUE(readDetector());
    QPointer<QLineEdit> editor = typeInto(GasAlarmGrid::ColWarning, QString());
    ASSERT_TRUE(editor);
    QTest::keyClick(editor, Qt::Key_Return);
    detector->clearReceivedFrames();
    for (bool yes : {false, true}) {
        prompts.boxes.clear();
        prompts.answerYes = yes;
        click(window->cmdOption(kUpdate));
        ASSERT_FALSE(prompts.boxes.isEmpty());
        EXPECT_EQ(prompts.boxes.first().text,
                  QStringLiteral("CH4 Warning will be switched off (*****): the detector will "
                                 "give no alarm there.\r\nWrite anyway?"));
        EXPECT_EQ(requests(QStringLiteral("A1,W")),
                  yes ? QStringList{QStringLiteral("A1,W,*****")} : QStringList{});
    }
}

TEST_F(WriteSafetyTest, ShownIsSent) {
    openWindow(QStringLiteral("QZ"));
    ASSERT_TRUE(readDetector());
    // A file value with more decimals than the gas has is rounded once, as it is shown.
    const QString file = AppState::PathInStartupFolder(QStringLiteral("qz.seq"));
    ASSERT_TRUE(window->ExportSettingFile(file));
    QFile seq(file);
    ASSERT_TRUE(seq.open(QIODevice::ReadOnly));
    QByteArray text = seq.readAll();
    seq.close();
    const qsizetype at = text.indexOf("A1,W,");
    ASSERT_GE(at, 0);
    text.replace(at, text.indexOf(',', at + 5) - at, "A1,W,18.05");
    ASSERT_TRUE(seq.open(QIODevice::WriteOnly | QIODevice::Truncate));
    seq.write(text);
    seq.close();
    ASSERT_TRUE(window->ImportSettingFile(file));
    EXPECT_EQ(window->grid()->item(GasAlarmGrid::GasRow(0), GasAlarmGrid::ColWarning)->text(),
              QStringLiteral("18.1"));
    detector->clearReceivedFrames();
    click(window->cmdOption(kUpdate));
    EXPECT_EQ(requests(QStringLiteral("A1,W")), QStringList{QStringLiteral("A1,W, 18.1")});
}

TEST_F(WriteSafetyTest, TheConnectionComesBackAfterTheGiveUp) {
    // One corrupt answer to the first probe with one retry: the link gives up once...
    showWindow(QStringLiteral("KM"), kWindowTestStart,
               [](uclHvif&, SimDetector& simulated) { simulated.faults().corruptNth = 1; });
    window->link().setRetry(1);
    ASSERT_TRUE(waitForConnection()) << "...and connects in a later round";
    const QString noResponse = QStringLiteral("71-Series No Response. Check Port,Cable And Power.");
    int giveUps = 0;
    for (const InfoLine& line : infoLines())
        giveUps += line.text == noResponse ? 1 : 0;
    EXPECT_EQ(giveUps, 1);
    EXPECT_TRUE(hasInfoText(QStringLiteral("Connection Successful")));
}

} // namespace
