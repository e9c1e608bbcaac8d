// The progress dialog and the read and write workflows of the main window, with real widgets
// against the in-process simulated detector on virtual time.
#include "UiTestSupport.h"

#include "common/LinkLogFile.h"
#include "common/TempStartupFolder.h"
#include "configuration/ToolSettings.h"
#include "instrument/clsInstrument.h"
#include "link/Frame.h"
#include "link/VirtualClock.h"
#include "link/uclHvif.h"
#include "records/CalibrationCertificate.h"
#include "register/FleetRegister.h"
#include "shell/AppState.h"
#include "shell/Messages.h"
#include "sim/SimDetector.h"
#include "sim/SimTransport.h"
#include "ui/GasAlarmGrid.h"
#include "ui/frmCalibration.h"
#include "ui/frmMain.h"
#include "ui/frmProvision.h"
#include "ui/frmUpload.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTableWidget>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTextEdit>
#include <gtest/gtest.h>
#include <memory>

// How the register's values show in a failed expectation.
void PrintTo(const SettingChange& c, std::ostream* out) {
    *out << c.name.toStdString() << " '" << c.oldValue.toStdString() << "' -> '"
         << c.newValue.toStdString() << "'";
}
void PrintTo(EventKind kind, std::ostream* out) {
    *out << EventKindName(kind).toStdString();
}

namespace {

// Runs each test in its own start-up folder with the operation state idle.
class InTempFolder : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_folder.isValid());
        AppState::setOperationState(0);
    }
    void TearDown() override { AppState::setOperationState(0); }

    TempStartupFolder m_folder;
};

// ---- Progress dialog ----

using ProgressDialogTest = InTempFolder;

TEST_F(ProgressDialogTest, CaptionsAndCancelButtonFollowTheOperationState) {
    struct Case {
        qint16 state;
        const char* caption;
        bool button;
    };
    const Case cases[] = {{1, "Now Uploading", true},
                          {3, "Adjusting Zero", false},
                          {4, "Adjusting Span Settings.", false},
                          {6, "Now Writing", false},
                          {0, "Now Downloading", false},
                          {2, "Now Downloading", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        AppState::setOperationState(c.state);
        frmUpload dialog(nullptr);
        dialog.show();
        EXPECT_EQ(dialog.windowTitle(), QString::fromLatin1(c.caption));
        EXPECT_EQ(dialog.lblUpload()->text(), QString::fromLatin1(c.caption));
        EXPECT_EQ(dialog.cmdUpload()->isVisible(), c.button);
        if (c.button) {
            EXPECT_EQ(dialog.cmdUpload()->text(), QStringLiteral("Cancel"));
        }
        dialog.Finish();
    }
}

TEST_F(ProgressDialogTest, CancelButtonCancelsTheLinkAndLogsIt) {
    AppState::setOperationState(1);
    uclHvif link(std::make_unique<VirtualClock>());
    frmUpload dialog(&link);
    dialog.show();
    EXPECT_FALSE(dialog.Canceled());
    EXPECT_FALSE(link.Cancel());

    QTest::mouseClick(dialog.cmdUpload(), Qt::LeftButton);

    EXPECT_TRUE(dialog.Canceled());
    EXPECT_TRUE(link.Cancel());
    EXPECT_FALSE(dialog.cmdUpload()->isEnabled());
    EXPECT_EQ(dialog.lblUpload()->text(), QStringLiteral("Now Cancel Processing"));
    EXPECT_EQ(LinkLogText().count(QStringLiteral("= User Cancel =")), 1);

    // Shown again, the dialog starts uncancelled.
    dialog.Finish();
    dialog.show();
    EXPECT_FALSE(dialog.Canceled());
    dialog.Finish();
}

TEST_F(ProgressDialogTest, StaysOpenUntilTheProgramClosesItAndStopsItsTimer) {
    frmUpload dialog(nullptr);
    dialog.show();
    EXPECT_TRUE(dialog.tmrInter()->isActive());

    dialog.close();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible()) << "neither the close box nor Escape ends a transfer dialog";

    dialog.Finish();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(dialog.tmrInter()->isActive());
}

TEST_F(ProgressDialogTest, WithoutTheAnimationFileTheBusyIndicatorShows) {
    if (!frmUpload::AnimationPath().isEmpty()) GTEST_SKIP() << "an animation file is installed";
    frmUpload dialog(nullptr);
    dialog.show();
    EXPECT_FALSE(dialog.AnimationPlaying());
    EXPECT_TRUE(dialog.busyIndicator()->isVisible());
    EXPECT_EQ(dialog.busyIndicator()->maximum(), 0) << "an indeterminate bar";
    dialog.Finish();
}

// ---- Workflows of the main window ----

// The simulated detector with a rewriter between it and the link: every reply frame's text
// (between the address and ETX) passes through `rewrite` and is framed again.
class RewritingTransport : public LinkTransport {
public:
    using Rewrite = std::function<QByteArray(const QByteArray& text)>;

    RewritingTransport(SimDetector* detector, LinkClock* clock, Rewrite rewrite)
        : m_inner(detector, clock), m_rewrite(std::move(rewrite)) {
        connect(&m_inner, &LinkTransport::commEvent, this, &LinkTransport::commEvent);
    }
    Kind kind() const override { return m_inner.kind(); }
    QString deviceName() const override { return m_inner.deviceName(); }
    bool isAttached() const override { return true; }
    bool open() override { return m_inner.open(); }
    void close() override {
        m_inner.close();
        m_pending.clear();
    }
    bool isOpen() const override { return m_inner.isOpen(); }
    qint64 write(const QByteArray& bytes) override { return m_inner.write(bytes); }
    qint64 bytesAvailable() const override { return m_pending.size() + m_inner.bytesAvailable(); }
    int modemStatus() const override { return m_inner.modemStatus(); }
    void setReceiveThreshold(int count) override {
        LinkTransport::setReceiveThreshold(count);
        m_inner.setReceiveThreshold(count);
    }
    QByteArray read(qint64 maxBytes) override {
        m_pending += rewriteFrames(m_inner.read(m_inner.bytesAvailable()));
        const QByteArray taken = m_pending.left(maxBytes);
        m_pending.remove(0, taken.size());
        return taken;
    }

private:
    QByteArray rewriteFrames(QByteArray bytes) {
        QByteArray out;
        for (;;) {
            const qsizetype stx = bytes.indexOf(Ctl::STX);
            const qsizetype etx = bytes.indexOf(Ctl::ETX, stx);
            if (stx < 0 || etx < 0 || etx + 3 >= bytes.size()) break;
            out += bytes.left(stx);
            const QByteArray text = bytes.mid(stx + 5, etx - stx - 5);
            out += BuildFrame(m_rewrite(text), bytes.at(etx + 3));
            bytes.remove(0, etx + 4);
        }
        return out + bytes;
    }

    SimTransport m_inner;
    Rewrite m_rewrite;
    QByteArray m_pending;
};

class WorkflowTest : public InTempFolder, protected SimulatedWindow {
protected:
    void TearDown() override {
        closeWindow();
        InTempFolder::TearDown();
    }

    // The window on a link to a simulated detector on virtual time, shown and (unless the
    // detector is dead) connected. The factory mode shows every write button; the debug mode
    // the logger download.
    void openWindow(const QString& model = QStringLiteral("KM"), bool debug = false,
                    bool dead = false, RewritingTransport::Rewrite rewrite = {}) {
        AppState::setDebugMode(debug);
        AppState::setFactoryMode(true);
        showWindow(model, kWindowTestStart, [&](uclHvif& link, SimDetector& simulated) {
            simulated.faults().deadLine = dead;
            if (rewrite)
                link.setSerialTransport(
                    std::make_unique<RewritingTransport>(&simulated, link.clock(), rewrite));
        });
        ASSERT_EQ(waitForConnection(), !dead);
        // The detector's clock runs with the PC's.
        setDetectorClockToPc();
        detector->clearReceivedFrames();
    }
};

TEST_F(WorkflowTest, InstrumentInformationFillsTheIdentityFieldsAndTheGrid) {
    openWindow(QStringLiteral("KM"));
    ASSERT_TRUE(readDetector());

    const clsInstrument& record = window->working();
    EXPECT_FALSE(record.ImportFlag());
    EXPECT_EQ(window->txtOption(0)->text(), QStringLiteral("KM-71 SIM 0001"));
    EXPECT_EQ(window->txtOption(0)->text(), record.SerialNo());
    EXPECT_EQ(record.GasName(0), QStringLiteral("CH4"));
    const GasAlarmGrid* grid = window->grid();
    ASSERT_GT(grid->rowCount(), GasAlarmGrid::GasRow(0));
    EXPECT_TRUE(grid->item(GasAlarmGrid::GasRow(0), GasAlarmGrid::ColGas)
                    ->text()
                    .startsWith(QStringLiteral("CH4")));
    EXPECT_EQ(grid->item(GasAlarmGrid::GasRow(0), GasAlarmGrid::ColWarning)->text().trimmed(),
              QStringLiteral("10"));
    EXPECT_FALSE(window->lblRomNumber()->text().isEmpty());

    // The latest calibration and bump records are read after the settings.
    EXPECT_EQ(requests().count(QStringLiteral("SO,R,")), 1);
    EXPECT_EQ(requests().count(QStringLiteral("BO,R,")), 1);

    EXPECT_TRUE(hasInfo(QStringLiteral("71-Series Instrument Information Download."), kGreen));
    EXPECT_TRUE(
        hasInfo(QStringLiteral("71-Series Instrument Information Download Complete."), kGreen));
    EXPECT_TRUE(hasInfoText(QStringLiteral("KM-71 Analog to Digital Converter Values List")));
    EXPECT_TRUE(hasInfoText(QStringLiteral("ch2 BAT       \t: ")));
    const QString log = LinkLogText();
    EXPECT_TRUE(log.contains(
        QStringLiteral("---Instrument Download Start Sequence---. Date = 01/07/2025 ")));
    EXPECT_TRUE(log.contains(QStringLiteral("---Instrument Download Finished---. Date = ")));
    EXPECT_TRUE(log.contains(QStringLiteral("[Time = 00:00:")));

    // The progress dialog is gone and the commands are back.
    EXPECT_TRUE(window->fraCommand(0)->isEnabled());
    EXPECT_EQ(window->findChildren<frmUpload*>().size(), 0);
}

TEST_F(WorkflowTest, UpdateSendsTheSettingsWithTheEditedValueButNoIdentity) {
    openWindow(QStringLiteral("KM"));
    ASSERT_TRUE(readDetector());
    detector->clearReceivedFrames();

    // The operator edits the warning point in the grid, and the serial number.
    QString text = QStringLiteral("20");
    ASSERT_TRUE(
        window->grid()->ValidateEdit(GasAlarmGrid::GasRow(0), GasAlarmGrid::ColWarning, text));
    window->working().setSerialNo(QStringLiteral("NEW SERIAL"));

    click(window->cmdOption(0));

    EXPECT_EQ(prompts.boxes.first().text, QStringLiteral("Update Ready?"));
    EXPECT_EQ(requests(QStringLiteral("A1,W")), QStringList{QStringLiteral("A1,W,   20")});
    EXPECT_EQ(detector->value("A1"), QByteArray("   20"));
    EXPECT_EQ(requests().last(), QStringLiteral("DW,W,"));
    // "Update" writes every setting of the detector, never the identity.
    EXPECT_EQ(requests(QStringLiteral("A2,W")).size(), 1);
    EXPECT_EQ(requests(QStringLiteral("AP,W")).size(), 1);
    for (const char* id : {"IN,W", "HN,W", "XZ,W", "XS,W"})
        EXPECT_TRUE(requests(QString::fromLatin1(id)).isEmpty()) << id;
    EXPECT_FALSE(window->working().Change_Warn(0));

    EXPECT_TRUE(hasInfo(QStringLiteral("71-Series Instrument Information Upload."), kGreen));
    EXPECT_TRUE(hasInfo(QStringLiteral("71-Series Upload Complete."), kGreen));
    EXPECT_EQ(prompts.shown().last(), QStringLiteral("information: Upload / Upload Complete."));
    EXPECT_TRUE(LinkLogText().contains(QStringLiteral("---Instrument Upload Start Sequence---")));
    EXPECT_TRUE(window->isEnabled());
}

TEST_F(WorkflowTest, NoToUpdateReadySendsNothingAndKeepsTheFlags) {
    openWindow(QStringLiteral("KM"), true); // factory and debug mode: every write button shows
    ASSERT_TRUE(readDetector());
    QString text = QStringLiteral("20");
    ASSERT_TRUE(
        window->grid()->ValidateEdit(GasAlarmGrid::GasRow(0), GasAlarmGrid::ColWarning, text));
    detector->clearReceivedFrames();
    const clsInstrument before = window->working();

    prompts.answerYes = false;
    for (int button : {0, 7, 9, 10, 1, 6}) {
        SCOPED_TRACE(button);
        prompts.boxes.clear();
        ASSERT_TRUE(window->cmdOption(button)->isVisible());
        click(window->cmdOption(button));
        ASSERT_EQ(prompts.boxes.size(), 1);
        EXPECT_EQ(prompts.boxes.first().text, QStringLiteral("Update Ready?"));
        EXPECT_EQ(prompts.boxes.first().title, QStringLiteral("Update"));
    }

    EXPECT_TRUE(requests().isEmpty());
    const clsInstrument& after = window->working();
    EXPECT_TRUE(after.Change_Warn(0));
    EXPECT_EQ(after.Change_Alarm(0), before.Change_Alarm(0));
    EXPECT_EQ(after.Change_SerialNo(), before.Change_SerialNo());
    EXPECT_EQ(after.Change_AlarmMode(), before.Change_AlarmMode());
    EXPECT_EQ(after.Change_UserID(), before.Change_UserID());
}

// The factory record gets "Read" from "Information Get & Save", "Write" from "Update" and
// "WriteID" from the identity writes; a workflow that fails leaves no line.
TEST_F(WorkflowTest, EachWorkflowLeavesItsKindInTheFactoryRecord) {
    openWindow(QStringLiteral("KM"), true);
    const auto kinds = [] {
        QFile file(AppState::PathInStartupFolder(QStringLiteral("KM71_Setting.csv")));
        QStringList out;
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray& line : file.readAll().split('\n').mid(1)) // after the header
                if (!line.isEmpty()) out << QString::fromLatin1(line.left(line.indexOf(',')));
        return out;
    };
    const auto update = [this](QString warning) { // edits the warning point, then "Update"
        ASSERT_TRUE(window->grid()->ValidateEdit(GasAlarmGrid::GasRow(0), GasAlarmGrid::ColWarning, warning));
        click(window->cmdOption(0));
    };
    click(window->cmdDown(5));
    update(QStringLiteral("20"));
    for (int identity : {7, 9, 10}) // "Update ID", "Write Serial No", "Write Factory No "
        click(window->cmdOption(identity));
    const QStringList done = {"Read", "Write", "WriteID", "WriteID", "WriteID"};
    EXPECT_EQ(kinds(), done);

    detector->faults().deadLine = true;
    update(QStringLiteral("21"));
    click(window->cmdDown(5));
    EXPECT_TRUE(hasInfoText(QStringLiteral("Upload Failed")));
    EXPECT_TRUE(hasInfoText(QStringLiteral("Download Failed")));
    EXPECT_EQ(kinds(), done) << "failed workflows leave no line";
}

TEST_F(WorkflowTest, WriteSerialNoSendsOnlyTheSerialNumber) {
    openWindow(QStringLiteral("KM"));
    ASSERT_TRUE(readDetector());
    QString text = QStringLiteral("20");
    ASSERT_TRUE(
        window->grid()->ValidateEdit(GasAlarmGrid::GasRow(0), GasAlarmGrid::ColWarning, text));
    window->working().setSerialNo(QStringLiteral("KM-0042"));
    window->working().setUserID(QStringLiteral("USER"));
    detector->clearReceivedFrames();

    click(window->cmdOption(9));

    EXPECT_EQ(requests(),
              (QStringList{QStringLiteral("IN,W,KM-0042             "), QStringLiteral("DW,W,")}));
    EXPECT_EQ(detector->value("IN").trimmed(), QByteArray("KM-0042"));
    EXPECT_FALSE(window->working().Change_Warn(0)) << "the other flags were cleared first";
    EXPECT_EQ(prompts.shown().last(), QStringLiteral("information: Upload / Upload Complete."));

    // "Write Factory No " likewise sends only the manufacture number.
    window->working().setDummySerial(QStringLiteral("F-7"));
    detector->clearReceivedFrames();
    click(window->cmdOption(10));
    EXPECT_EQ(requests(),
              (QStringList{QStringLiteral("HN,W,F-7                 "), QStringLiteral("DW,W,")}));
}

TEST_F(WorkflowTest, UpdateIdSendsTheIdentityOnly) {
    openWindow(QStringLiteral("KM"));
    ASSERT_TRUE(readDetector());
    window->working().setStationID(QStringLiteral("ST-1"));
    detector->clearReceivedFrames();

    click(window->cmdOption(7));

    QStringList heads;
    for (const QString& r : requests())
        heads << r.left(4);
    EXPECT_EQ(heads, (QStringList{QStringLiteral("XZ,W"), QStringLiteral("XS,W"),
                                  QStringLiteral("IN,W"), QStringLiteral("DW,W")}));
    EXPECT_EQ(detector->value("XS").trimmed(), QByteArray("ST-1"));
}

TEST_F(WorkflowTest, UpdateResendsBothLinearisationSetsWhenOneBelongsToTheGas) {
    openWindow(QStringLiteral("KM"));
    ASSERT_TRUE(readDetector());
    clsInstrument& record = window->working();
    struct Case {
        const char* setName;
        bool bothExpected;
    };
    for (const Case c : {Case{"  CH4 ", true}, Case{"H2", false}}) {
        SCOPED_TRACE(c.setName);
        record.setLS_Name(1, QString::fromLatin1(c.setName)); // flags set 1
        record.setChange_LSData(0, false);
        click(window->cmdOption(0));
        EXPECT_EQ(record.Change_LSData(0), c.bothExpected);
        EXPECT_TRUE(record.Change_LSData(1));
    }
    // Without a flagged set neither is flagged.
    record.setChange_LSData(0, false);
    record.setChange_LSData(1, false);
    click(window->cmdOption(0));
    EXPECT_FALSE(record.Change_LSData(0));
    EXPECT_FALSE(record.Change_LSData(1));
}

TEST_F(WorkflowTest, BrokenAlarmPointsOrAutoCalStopTheWriteBeforeTheQuestion) {
    openWindow(QStringLiteral("KM"));
    ASSERT_TRUE(readDetector());
    clsInstrument& record = window->working();
    detector->clearReceivedFrames();

    record.setAlarm(0, 80.0f); // above 60 % of the full scale
    click(window->cmdOption(0));
    ASSERT_EQ(prompts.boxes.size(), 1);
    EXPECT_EQ(prompts.shown().first(),
              QStringLiteral("critical: Warning and alarm range. / Check warning and alarm "
                             "value. (red color cells)"));

    record.setAlarm(0, 50.0f);
    record.setAutoCalib(0, 5.0f); // below the warning point
    prompts.boxes.clear();
    click(window->cmdOption(7));
    ASSERT_EQ(prompts.boxes.size(), 1);
    EXPECT_EQ(prompts.shown().first(), QStringLiteral("critical: Auto Cal. / Improper Auto Cal."));
    EXPECT_TRUE(requests().isEmpty());
}

TEST_F(WorkflowTest, AValueTheDetectorNeverEchoedIsNamedAndTheUploadFails) {
    // The detector answers every warning write with another value.
    openWindow(QStringLiteral("KM"), false, false, [](const QByteArray& text) {
        return text.startsWith("A1,W,") ? QByteArray("A1,W,   99") : text;
    });
    ASSERT_TRUE(readDetector());
    QString text = QStringLiteral("20");
    ASSERT_TRUE(
        window->grid()->ValidateEdit(GasAlarmGrid::GasRow(0), GasAlarmGrid::ColWarning, text));
    detector->clearReceivedFrames();

    click(window->cmdOption(0));

    EXPECT_EQ(requests(QStringLiteral("A1,W")).size(), 3);
    EXPECT_TRUE(hasInfo(QStringLiteral("71-Series Warning was not written."), kRed));
    EXPECT_TRUE(hasInfoText(QStringLiteral("Upload Failed")));
    EXPECT_FALSE(hasInfoText(QStringLiteral("Upload Complete")));
    for (const QString& box : prompts.shown())
        EXPECT_FALSE(box.contains(QStringLiteral("Upload Complete."))) << box.toStdString();
    EXPECT_TRUE(window->working().Change_Warn(0));
    EXPECT_FALSE(window->working().Change_Alarm(0));
}

TEST_F(WorkflowTest, ADetectorClockTwoDaysOffGivesTheRedClockLine) {
    openWindow(QStringLiteral("KM"));
    const QDateTime ahead = clock->currentDateTime().addDays(2);
    detector->setValue("HC", ahead.toString(QStringLiteral("yyMMddHHmmss")).toLatin1());

    ASSERT_TRUE(readDetector());

    EXPECT_NEAR(window->working().SysDateOffset(), 2.0, 0.01);
    const QList<InfoLine> lines = infoLines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.last().text, QStringLiteral("A date doesn't correspond to the host. Confirm a "
                                                "host and the date of the machine."));
    EXPECT_EQ(lines.last().colour, kRed);

    // Date/Time Set puts the detector on the PC clock; the next read is quiet.
    click(window->cmdOption(1));
    ASSERT_EQ(requests(QStringLiteral("HC,W")).size(), 1);
    EXPECT_EQ(requests(QStringLiteral("HC,W")).first().size(), 5 + 12);
    EXPECT_EQ(window->working().SysDateOffset(), 0.0);
    window->rtbLog()->clear();
    ASSERT_TRUE(readDetector());
    EXPECT_FALSE(hasInfoText(QStringLiteral("A date doesn't correspond")));
}

TEST_F(WorkflowTest, AnImpossibleDetectorDateFailsTheReadWithItsOwnLine) {
    openWindow(QStringLiteral("KM"), false, false, [](const QByteArray& text) {
        return text.startsWith("HC,R,") ? QByteArray("HC,R,251399250000") : text;
    });
    EXPECT_FALSE(readDetector());
    EXPECT_TRUE(hasInfo(QStringLiteral("71-Series Instrument Information Download Failed."), kRed));
    EXPECT_TRUE(hasInfo(QStringLiteral("A date is injustice. Make it accurate time, and try again "
                                       " download."),
                        kRed));
}

TEST_F(WorkflowTest, ASuffixWithAQuestionMarkBlocksGetAndSaveBeforeAnyTraffic) {
    openWindow(QStringLiteral("KM"));
    QLineEdit* suffix = window->txtSuffix();
    suffix->clear();
    QTest::keyClicks(suffix, QStringLiteral("A?1"));

    click(window->cmdDown(5));

    EXPECT_TRUE(requests().isEmpty());
    ASSERT_EQ(prompts.boxes.size(), 1);
    EXPECT_EQ(prompts.boxes.first().kind, QStringLiteral("critical"));
    EXPECT_EQ(prompts.boxes.first().title, AppTitle());
    EXPECT_EQ(prompts.boxes.first().text,
              QStringLiteral("The character that cannot be used for the file name is included."));
    EXPECT_FALSE(window->working().CommFlags());

    // Every forbidden character is refused; a plain suffix reads the detector.
    for (const QChar c : QStringLiteral("\\/:|<>*\"")) {
        prompts.boxes.clear();
        suffix->setText(QStringLiteral("X") + c);
        click(window->cmdDown(5));
        EXPECT_EQ(prompts.boxes.size(), 1) << QString(c).toStdString();
    }
    EXPECT_TRUE(requests().isEmpty());
    suffix->setText(QStringLiteral("A1"));
    click(window->cmdDown(5));
    EXPECT_TRUE(window->working().CommFlags());
}

TEST_F(WorkflowTest, AFailedReadIsReportedAsFailed) {
    struct Case {
        const char* name;
        bool dead;
    };
    for (const Case c : {Case{"dead line", true}, Case{"garbled replies", false}}) {
        SCOPED_TRACE(c.name);
        closeWindow();
        openWindow(QStringLiteral("KM"));
        if (c.dead)
            detector->faults().deadLine = true;
        else
            detector->faults().corruptEvery = 1; // the detector answers, but never usably
        EXPECT_FALSE(readDetector());
        EXPECT_TRUE(
            hasInfo(QStringLiteral("71-Series Instrument Information Download Failed."), kRed));
        EXPECT_FALSE(hasInfoText(QStringLiteral("Download Complete")));
        const QString log = LinkLogText();
        EXPECT_TRUE(log.contains(QStringLiteral("---Instrument Download Fail Line---")));
        EXPECT_TRUE(log.contains(QStringLiteral("---Instrument Download Failed---. Date = ")));
        EXPECT_TRUE(window->fraCommand(0)->isEnabled());
    }
}

TEST_F(WorkflowTest, WithoutADetectorTheWorkflowsSayNoResponse) {
    openWindow(QStringLiteral("KM"), true, true);
    const QString noResponse = QStringLiteral("71-Series No Response. Check Port,Cable And Power.");
    EXPECT_FALSE(window->cmdDown(1)->isEnabled());

    EXPECT_FALSE(window->ReadInstrument());
    EXPECT_TRUE(hasInfo(noResponse, kRed));
    EXPECT_TRUE(LinkLogText().contains(
        QStringLiteral("----Instrument Download Failed--- 71-Series No response. Date = ")));

    window->rtbLog()->clear();
    window->MaintenanceWorkflow(5);
    EXPECT_TRUE(hasInfo(noResponse, kRed));
    EXPECT_TRUE(LinkLogText().contains(
        QStringLiteral("--- Data Remove Failed--- 71-Series No response. ")));

    window->rtbLog()->clear();
    window->PowerOffWorkflow();
    EXPECT_TRUE(hasInfo(noResponse, kRed));
    EXPECT_TRUE(requests(QStringLiteral("RO,W")).isEmpty());

    window->rtbLog()->clear();
    window->LoggerDownloadWorkflow();
    EXPECT_TRUE(hasInfo(noResponse, kRed));
    EXPECT_TRUE(LinkLogText().contains(
        QStringLiteral("---Interval Trend Download Failed. 71-Series No response---. Date = ")));
    EXPECT_TRUE(requests(QStringLiteral("EP,R")).isEmpty());
    EXPECT_EQ(AppState::OperationState(), 0);
}

TEST_F(WorkflowTest, MaintenanceCommandsAskFirstThenReportTheirOutcome) {
    openWindow(QStringLiteral("KM"), true);
    struct Case {
        int button;
        const char* question;
        const char* title;
        const char* request;
        const char* before;
        const char* success;
    };
    const Case cases[] = {
        {3, "71-Series DEFAULT \r\nReady?", "DEFAULT", "UX,W,", "71-Series Start DEFAULT.",
         "71-Series DEFAULT Complete ."},
        {4, "Clear Power Log ?", "Clear Power", "XY,W,", "71-Series Start Clear Power Area.",
         "71-Series ClearPowerArea Complete ."},
        {5, "71-Series Data clear\r\nReady?", "Logger Data Clear", "XC,W,",
         "71-Series Start Data Removal.", "71-Series Data Removal Complete."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        prompts.boxes.clear();
        prompts.answerYes = false;
        click(window->cmdOption(c.button));
        ASSERT_EQ(prompts.boxes.size(), 1);
        EXPECT_EQ(prompts.boxes.first().text, QString::fromLatin1(c.question));
        EXPECT_EQ(prompts.boxes.first().title, QString::fromLatin1(c.title));
        EXPECT_TRUE(requests().isEmpty());

        prompts.answerYes = true;
        click(window->cmdOption(c.button));
        EXPECT_EQ(requests().count(QString::fromLatin1(c.request)), 1);
        EXPECT_TRUE(hasInfo(QString::fromLatin1(c.before), kGreen));
        EXPECT_TRUE(hasInfo(QString::fromLatin1(c.success), kGreen));
        EXPECT_TRUE(window->fraCommand(1)->isEnabled());
        detector->clearReceivedFrames();
    }

    // A detector that stops answering makes the command fail.
    detector->faults().deadLine = true;
    click(window->cmdOption(3));
    EXPECT_TRUE(hasInfo(QStringLiteral("71-Series DEFAULT Fail ."), kRed));
}

TEST_F(WorkflowTest, WriteCheckDataReportsCompleteOnlyWhenTheDetectorTookIt) {
    openWindow(QStringLiteral("KM"), true);
    click(window->cmdOption(6));
    EXPECT_EQ(requests().count(QStringLiteral("XH,E,")), 1);
    EXPECT_TRUE(hasInfo(QStringLiteral("71-Series Upload Complete."), kGreen));
    EXPECT_EQ(prompts.shown().last(), QStringLiteral("information: Upload / Upload Complete."));

    window->rtbLog()->clear();
    prompts.boxes.clear();
    detector->faults().deadLine = true;
    click(window->cmdOption(6));
    EXPECT_TRUE(hasInfoText(QStringLiteral("Upload Failed")));
    EXPECT_FALSE(hasInfoText(QStringLiteral("Upload Complete")));
    EXPECT_EQ(prompts.shown().last(),
              QStringLiteral("critical: Upload / 71-Series Upload Failed.\r\nNot written to the "
                             "detector:\r\nWrite Check Data"));
}

TEST_F(WorkflowTest, PowerOffSwitchesTheDetectorOffAndStartsTheWindowOver) {
    openWindow(QStringLiteral("KM"));
    ASSERT_TRUE(readDetector());
    detector->clearReceivedFrames();

    prompts.answerYes = false;
    click(window->cmdDown(4));
    ASSERT_EQ(prompts.boxes.size(), 1);
    EXPECT_EQ(prompts.boxes.first().text,
              QStringLiteral("71-Series Power off and Serial port off line.\r\nReady?"));
    EXPECT_EQ(prompts.boxes.first().title, QStringLiteral("Power off"));
    EXPECT_TRUE(requests().isEmpty());

    prompts.answerYes = true;
    click(window->cmdDown(4));
    EXPECT_EQ(requests().count(QStringLiteral("RO,W,")), 1);
    EXPECT_TRUE(hasInfo(QStringLiteral("71-Series Auto Power OFF Complete."), kGreen));
    const clsInstrument& record = window->working();
    EXPECT_FALSE(record.CommFlags());
    EXPECT_FALSE(record.ImportFlag()) << "the window started over, knowing nothing of a detector";
    EXPECT_EQ(record.SerialNo(), QString(clsInstrument::SerialWidth, u'-'));
    EXPECT_FALSE(window->FirstActivation());

    // The link is opened again and finds the detector.
    EXPECT_TRUE(waitForConnection());
    EXPECT_TRUE(window->cmdDown(1)->isEnabled());
}

// ---- Fleet register ----

// The events of a detector in the register of the start-up folder, once the window's records
// have come back.
QList<RegisterEvent> RegisteredEvents(const frmMain& window, const QString& serial) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.RecordsInFlight() == 0; }, 20000));
    FleetRegister fleet(RegisterLocation::Default(AppState::StartupFolder()));
    QString error;
    EXPECT_TRUE(fleet.open(&error)) << error.toStdString();
    return fleet.history(serial, &error);
}

TEST_F(WorkflowTest, EachWorkflowLeavesItsEventInTheRegister) {
    openWindow(QStringLiteral("KM"), true);
    const QString serial = QStringLiteral("KM-71 SIM 0001");
    const auto value = [this](const char* key) {
        return QString::fromLatin1(detector->value(key)).leftJustified(5);
    };
    const auto edit = [this](int column, QString text) {
        ASSERT_TRUE(window->grid()->ValidateEdit(GasAlarmGrid::GasRow(0), column, text));
    };
    const auto press = [this](QPushButton* button) { return [this, button] { click(button); }; };
    using Check = std::function<void(const RegisterEvent&)>;
    const auto detail = [](const char* key, const char* text) -> Check {
        return [=](const RegisterEvent& e) { EXPECT_EQ(e.details.value(key), text); };
    };
    CalibrationCertificate::setEnabled(true);
    const auto restore = qScopeGuard([] { CalibrationCertificate::setEnabled(false); });
    struct Case {
        const char* what;
        std::function<void()> run;
        QList<EventKind> kinds; // the events it adds; the last one failed when `failed`
        Check check;            // on its first event
        bool failed = false;
    };
    QList<SettingChange> written, identity;
    const Case cases[] = {
        {"read", press(window->cmdDown(1)), {EventKind::Read}, {}},
        {"update with two grid edits and an unwritten serial",
         [&] {
             written = {{"A1", value("A1"), "   20"}, {"A2", value("A2"), "   40"}};
             edit(GasAlarmGrid::ColWarning, QStringLiteral("20"));
             edit(GasAlarmGrid::ColAlarm, QStringLiteral("40"));
             window->working().setSerialNo(QStringLiteral("NOT WRITTEN"));
             click(window->cmdOption(0));
         },
         {EventKind::Write},
         [&](const RegisterEvent& e) { EXPECT_EQ(e.changes(), written); }},
        // The serial edited but not written does not rename the detector.
        {"clock set", press(window->cmdOption(1)), {EventKind::ClockSet}, {}},
        {"update id",
         [&] {
             window->working().setSerialNo(serial);
             window->working().setStationID(QStringLiteral("ST-1"));
             identity = {{"XS", value("XS").leftJustified(16), "ST-1            "}};
             click(window->cmdOption(7));
         },
         {EventKind::IdentityWrite},
         [&](const RegisterEvent& e) { EXPECT_EQ(e.changes(), identity); }},
        {"span, with its certificate",
         [&] {
             click(window->cmdOption(2));
             ASSERT_NE(frmCalibration::Loaded(), nullptr);
             click(frmCalibration::Loaded()->cmdCal(1));
             frmCalibration::Loaded()->cmdCal(3)->click();
         },
         {EventKind::Span, EventKind::Certificate},
         [&](const RegisterEvent& e) {
             EXPECT_EQ(e.details.value("concentration").toDouble(), 50.0);
             EXPECT_EQ(e.details.value("before").toDouble(), window->working().CalibBefore(0));
             EXPECT_EQ(e.details.value("after").toDouble(), window->working().CalibAfter(0));
         }},
        {"compare master",
         [&] {
             const QString file = QDir(AppState::StartupFolder()).filePath("master.seq");
             ASSERT_TRUE(window->ExportSettingFile(file) && window->ImportSettingFile(file));
             click(window->cmdCompareMaster());
         },
         {EventKind::MasterCompare},
         detail("verdict", "PASS")},
        {"defaults", press(window->cmdOption(3)), {EventKind::Defaults}, {}},
        {"power log", press(window->cmdOption(4)), {EventKind::LogClear}, detail("log", "power")},
        {"logger", press(window->cmdOption(5)), {EventKind::LogClear}, detail("log", "logger")},
        {"power off", press(window->cmdDown(4)), {EventKind::PowerOff}, {}},
        {"a read the detector stops answering",
         [&] {
             ASSERT_TRUE(waitForConnection() && readDetector());
             detector->faults().deadLine = true;
             click(window->cmdDown(1));
         },
         {EventKind::Read, EventKind::Read},
         {},
         true},
    };
    qsizetype known = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.run();
        const QList<RegisterEvent> events = RegisteredEvents(*window, serial);
        QList<EventKind> kinds;
        for (qsizetype i = known; i < events.size(); ++i)
            kinds << events[i].kind;
        ASSERT_EQ(kinds, c.kinds);
        for (qsizetype i = known; i < events.size(); ++i) {
            const bool failed = c.failed && i == events.size() - 1;
            EXPECT_EQ(events[i].success, !failed);
            EXPECT_EQ(events[i].details.contains("reason"), failed);
        }
        if (c.check) c.check(events[known]);
        known = events.size();
    }
}

// "Compare Master" lists the differences in a table; "Write selected" writes exactly the ticked
// settings, reads the detector again and gives the verdict in the window, the information log,
// the register and the report files. An edit not yet written never rides along.
TEST_F(WorkflowTest, WriteSelectedFromTheMasterWritesOnlyTheTickedSettingsAndGivesTheVerdict) {
    openWindow(QStringLiteral("KM"));
    const QString serial = QStringLiteral("KM-71 SIM 0001");
    ASSERT_TRUE(readDetector());
    const QString file = QDir(AppState::StartupFolder()).filePath(QStringLiteral("master.seq"));
    ASSERT_TRUE(window->ExportSettingFile(file) && window->ImportSettingFile(file));
    // The detector differs from the master in its user id and its warning and alarm points.
    detector->setValue("XZ", "SOMEONE ELSE    ");
    detector->setValue("A1", "   15");
    detector->setValue("A2", "   40");
    ASSERT_TRUE(readDetector());
    click(window->cmdCompareMaster());
    frmProvision* provision = frmProvision::Loaded(*window);
    ASSERT_NE(provision, nullptr);
    ASSERT_TRUE(provision->isVisible());
    const auto column = [provision](int c) {
        QStringList texts;
        for (int row = 0; row < provision->table()->rowCount(); ++row)
            texts << provision->table()->item(row, c)->text().trimmed();
        return texts;
    };
    EXPECT_EQ(column(frmProvision::ColSetting),
              (QStringList{QStringLiteral("User ID"), QStringLiteral("Warning"),
                           QStringLiteral("Alarm")}));
    EXPECT_EQ(column(frmProvision::ColDetector),
              (QStringList{QStringLiteral("SOMEONE ELSE"), QStringLiteral("15"),
                           QStringLiteral("40")}));
    EXPECT_EQ(column(frmProvision::ColMaster).mid(1),
              (QStringList{QStringLiteral("10"), QStringLiteral("50")}));
    EXPECT_FALSE(provision->cmdWriteSelected()->isEnabled()) << "nothing ticked yet";
    const QDir shots(QStringLiteral(KM71_BINARY_DIR "/screenshots"));
    ASSERT_TRUE(shots.mkpath(QStringLiteral(".")));
    ASSERT_TRUE(provision->grab().save(shots.filePath(QStringLiteral("provision_table.png"))));

    // An edit of the station id that was never written.
    window->working().setStationID(QStringLiteral("EDITED"));
    struct Case {
        const char* what;
        QStringList ticked;
        bool answer;        // to the question about the unwritten edit
        bool asked;         // whether that question came
        QStringList writes; // heads of the write requests the detector received
        const char* verdict;
        QStringList remaining;
    };
    const Case cases[] = {
        {"one ticked, the question about the edit answered no", {"Warning"}, false, true, {}, "",
         {"UserID", "Warning", "Alarm"}},
        {"one ticked, the edit dropped", {"Warning"}, true, true, {"A1,W", "DW,W"}, "FAIL",
         {"UserID", "Alarm"}},
        {"the other two ticked", {"UserID", "Alarm"}, true, false, {"XZ,W", "A2,W", "DW,W"},
         "PASS", {}},
    };
    int verdicts = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        prompts.boxes.clear();
        prompts.answerYes = c.answer;
        detector->clearReceivedFrames();
        for (const QString& key : c.ticked)
            ASSERT_TRUE(provision->setTicked(key, true));
        click(provision->cmdWriteSelected());

        QStringList writes;
        for (const QString& r : requests())
            if (r.mid(2, 3) == QLatin1String(",W,")) writes << r.left(4);
        EXPECT_EQ(writes, c.writes);
        EXPECT_EQ(!prompts.boxes.isEmpty() &&
                      prompts.boxes.first().text.startsWith(QStringLiteral("The settings shown")),
                  c.asked);
        EXPECT_EQ(provision->verdict(), QString::fromLatin1(c.verdict));
        QStringList remaining;
        for (const MasterCompare::Difference& d : provision->differences())
            remaining << d.key;
        EXPECT_EQ(remaining, c.remaining);
        const QList<RegisterEvent> events = RegisteredEvents(*window, serial);
        QList<RegisterEvent> provisions;
        for (const RegisterEvent& e : events)
            if (e.kind == EventKind::Provision) provisions << e;
        if (!*c.verdict) {
            EXPECT_EQ(window->working().StationID(), QStringLiteral("EDITED"));
            EXPECT_EQ(provisions.size(), verdicts);
            continue;
        }
        ++verdicts;
        EXPECT_EQ(detector->value("A1"), QByteArray("   10"));
        const bool pass = QLatin1String(c.verdict) == QLatin1String("PASS");
        const QString line = pass ? QStringLiteral("Provision from master: PASS")
                                  : QStringLiteral("Provision from master: FAIL (User ID, Alarm)");
        EXPECT_TRUE(hasInfo(line, pass ? kGreen : kRed));
        ASSERT_EQ(provisions.size(), verdicts);
        const RegisterEvent& event = provisions.last();
        EXPECT_TRUE(event.success);
        EXPECT_EQ(event.details.value("verdict").toString(), QString::fromLatin1(c.verdict));
        EXPECT_EQ(event.details.value("written").toVariant().toStringList(), c.ticked);
        EXPECT_EQ(event.details.value("remaining").toArray().size(), c.remaining.size());
        // The report, JSON and PDF, beside the certificates.
        const QStringList files = provision->ReportFiles();
        ASSERT_EQ(files.size(), 2);
        EXPECT_TRUE(files[0].contains(QStringLiteral("_provision")) &&
                    files[0].endsWith(QStringLiteral(".pdf")) && QFile::exists(files[0]));
        QFile json(files[1]);
        ASSERT_TRUE(json.open(QIODevice::ReadOnly));
        const QJsonObject report = QJsonDocument::fromJson(json.readAll()).object();
        EXPECT_EQ(report.value("verdict").toString(), QString::fromLatin1(c.verdict));
        EXPECT_EQ(report.value("remaining").toArray().size(), c.remaining.size());
        EXPECT_EQ(report.value("found").toArray().size(), c.remaining.size() + c.ticked.size());
        EXPECT_EQ(event.details.value("report").toString(), files[1]);
        EXPECT_EQ(QFileInfo(files[1]).absolutePath(),
                  QFileInfo(AppState::PathInStartupFolder(QStringLiteral("x"))).absolutePath());
    }
    // The detector holds the master's settings, and the station id it held.
    EXPECT_EQ(detector->value("XZ").trimmed(), window->master().UserID().trimmed().toLatin1());
    EXPECT_NE(detector->value("XS").trimmed(), QByteArray("EDITED"));
}

TEST_F(WorkflowTest, ARecordTheRegisterCannotTakeIsSaidToBePendingOnce) {
    openWindow(QStringLiteral("KM"));
    // A register file below a plain file can never be made.
    QFile blocker(QDir(AppState::StartupFolder()).filePath("plain"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Tool().Register = blocker.fileName() + QStringLiteral("/fleet.sqlite");
    const auto restore = qScopeGuard([] { Tool().Register.clear(); });
    for (int read = 0; read < 3; ++read)
        ASSERT_TRUE(readDetector());
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->RecordsInFlight() == 0; }, 20000));
    QList<InfoLine> pending;
    for (const InfoLine& line : infoLines())
        if (line.text.startsWith(QStringLiteral("Record pending: "))) pending << line;
    ASSERT_EQ(pending.size(), 1);
    EXPECT_EQ(pending.first().colour, kRed);
}

// ---- Logger download ----

class LoggerDownloadTest : public WorkflowTest {
protected:
    // Calls `action` when the detector receives the nth request for a logger block (1-based).
    void onBlockRequest(int nth, std::function<void()> action) {
        auto count = std::make_shared<int>(0);
        QObject::connect(detector, &SimDetector::frameReceived,
                         [count, nth, action](const QByteArray& frame) {
                             if (frame.contains("EP,R,") && ++*count == nth) action();
                         });
    }
    // The progress dialog of the running workflow.
    frmUpload* progressDialog() const { return window->findChild<frmUpload*>(); }
    // After a download that ended early, "Date/Time Set" and "Write Check Data" go through: the
    // download left no Cancel behind.
    void expectTheNextWritesGoThrough() {
        detector->faults().deadLine = false;
        for (int button : {1, 6}) {
            window->rtbLog()->clear();
            click(window->cmdOption(button));
            EXPECT_TRUE(hasInfo(QStringLiteral("71-Series Upload Complete."), kGreen)) << button;
        }
    }
    QByteArray imageFile() const {
        QFile file(window->LoggerImagePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

TEST_F(LoggerDownloadTest, TheWholeLoggerMemoryLandsInTheImageFile) {
    openWindow(QStringLiteral("KM"), true);
    QString caption;
    bool cancelShown = false;
    onBlockRequest(1, [&] {
        caption = progressDialog()->windowTitle();
        cancelShown = progressDialog()->cmdUpload()->isVisible();
    });

    click(window->cmdDown(2));

    EXPECT_EQ(caption, QStringLiteral("Download"));
    EXPECT_TRUE(cancelShown);
    EXPECT_EQ(requests().count(QStringLiteral("EP,R,0000")), 1);
    EXPECT_EQ(requests().count(QStringLiteral("EP,R,01FF")), 1);
    // The area from 28672 to 32639 holds the detector's running state, which moves on.
    const QByteArray image = imageFile();
    const QByteArray memory = detector->memoryImage();
    ASSERT_EQ(image.size(), 32768);
    ASSERT_EQ(memory.size(), 32768);
    EXPECT_TRUE(image.left(28672) == memory.left(28672));
    EXPECT_TRUE(image.mid(32640) == memory.mid(32640));
    EXPECT_TRUE(hasInfo(QStringLiteral("71-Series Log Data Download"), kGreen));
    EXPECT_TRUE(hasInfo(QStringLiteral("71-Series Log Data Download Complete."), kGreen));
    EXPECT_TRUE(LinkLogText().contains(
        QStringLiteral("---Interval Trend Download Start Sequence---. Date = ")));
    EXPECT_EQ(AppState::OperationState(), 0);
    EXPECT_EQ(progressDialog(), nullptr);
    EXPECT_TRUE(window->fraCommand(0)->isEnabled());
}

TEST_F(LoggerDownloadTest, ATimedOutBlockGetsOneMoreAttemptThenFails) {
    openWindow(QStringLiteral("KM"), true);
    QString labelOnRetry;
    onBlockRequest(1, [&] { detector->faults().deadLine = true; });
    onBlockRequest(2, [&] { labelOnRetry = progressDialog()->label(); });

    click(window->cmdDown(2));

    EXPECT_EQ(requests().count(QStringLiteral("EP,R,0000")), 2);
    EXPECT_TRUE(labelOnRetry.startsWith(QStringLiteral("One more time !")))
        << labelOnRetry.toStdString();
    EXPECT_TRUE(hasInfo(QStringLiteral("Data Download Failed."), kRed));
    EXPECT_FALSE(hasInfoText(QStringLiteral("Download Complete")));
    EXPECT_EQ(AppState::OperationState(), 0);
    expectTheNextWritesGoThrough();
}

TEST_F(LoggerDownloadTest, CancelFromTheProgressDialogStopsTheDownload) {
    openWindow(QStringLiteral("KM"), true);
    onBlockRequest(10, [&] { QTest::mouseClick(progressDialog()->cmdUpload(), Qt::LeftButton); });

    click(window->cmdDown(2));

    const int blocks = int(requests(QStringLiteral("EP,R")).count());
    EXPECT_GE(blocks, 10);
    EXPECT_LE(blocks, 11) << "no block is requested after the cancel, and no retry";
    EXPECT_EQ(requests().count(QStringLiteral("EP,R,01FF")), 0);
    EXPECT_TRUE(LinkLogText().contains(QStringLiteral("= User Cancel =")));
    EXPECT_TRUE(hasInfo(QStringLiteral("Cominucation Canceled."), kRed));
    EXPECT_FALSE(hasInfoText(QStringLiteral("Data Download Failed.")));
    EXPECT_FALSE(hasInfoText(QStringLiteral("Download Complete")));
    EXPECT_EQ(AppState::OperationState(), 0);
    EXPECT_TRUE(window->fraCommand(0)->isEnabled());
    expectTheNextWritesGoThrough();
}

} // namespace
