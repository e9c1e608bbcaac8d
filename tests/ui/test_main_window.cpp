// The main window with real widgets against the in-process simulated detector on virtual time:
// captions, title, mode-dependent buttons, the enable table, lamps and link events, the two
// clocks, configuration files, the master comparison and the exit path.
#include "UiTestSupport.h"

#include "common/TempStartupFolder.h"
#include "configuration/ToolConfig.h"
#include "configuration/ToolSettings.h"
#include "factory/frmFsDialog.h"
#include "instrument/SettingsFile.h"
#include "instrument/clsInstrument.h"
#include "link/VirtualClock.h"
#include "link/uclHvif.h"
#include "shell/AppState.h"
#include "shell/Messages.h"
#include "shell/OleDate.h"
#include "sim/SimDetector.h"
#include "ui/GasAlarmGrid.h"
#include "ui/frmMain.h"
#include "widgets/Sounds.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>

namespace {

class MainWindowTest : public ::testing::Test, protected SimulatedWindow {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_folder.isValid());
        AppState::setDebugMode(false);
        AppState::setFactoryMode(false);
        SetMessageLanguage(QStringLiteral("EN"));
        Tool() = ToolSettings();
    }
    void TearDown() override {
        closeWindow();
        SetMessageLanguage(QStringLiteral("EN"));
        Tool() = ToolSettings();
    }

    // The window on a simulated detector on virtual time, shown, not yet connected.
    void openWindow(const QString& model = QStringLiteral("KM")) {
        showWindow(model, QDateTime(QDate(2025, 3, 14), QTime(10, 0, 0)));
    }
    // Lets virtual time run until the detector is connected.
    void connectDetector() {
        ASSERT_TRUE(waitForConnection());
        setDetectorClockToPc();
    }
    QStringList logTexts() const {
        QStringList out;
        for (const InfoLine& l : infoLines())
            out << l.text;
        return out;
    }
    QString path(const QString& name) const { return m_folder.filePath(name); }

    TempStartupFolder m_folder;
};

// ---- Title, captions, visibility, size ----

TEST(MainWindowCaption, PartNumberAndFactorySuffixFollowLanguageAndMode) {
    struct Case {
        const char* language;
        bool factory;
        const char* ending;
    };
    const Case cases[] = {{"EN", false, " [P.No.30539]"},
                          {"EN", true, " [P.No.30539]"},
                          {"JP", false, " [P.No.30537]"},
                          {"JP", true, " [P.No.30516] <製造ｵﾌﾟｼｮﾝ>"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.language) + (c.factory ? " factory" : ""));
        SetMessageLanguage(QString::fromLatin1(c.language));
        const QString title = frmMain::MainCaption(UiLanguage(), c.factory);
        EXPECT_EQ(title, AppTitle() + QString::fromUtf8(c.ending));
    }
    SetMessageLanguage(QStringLiteral("EN"));
    EXPECT_EQ(frmMain::MainCaption(QStringLiteral("EN"), false),
              QStringLiteral("71-Series - Setup Program [P.No.30539]"));
}

TEST_F(MainWindowTest, CaptionsFollowTheLanguageAndTheIntervalListIsFixed) {
    AppState::setFactoryMode(true);
    openWindow();
    EXPECT_EQ(window->cmdCompareMaster()->text(), QStringLiteral("Compare Master"));
    QStringList items;
    for (int i = 0; i < window->cmbInterval()->count(); ++i)
        items << window->cmbInterval()->itemText(i);
    EXPECT_EQ(items, (QStringList{"10", "20", "30", "60", "180", "300", "600"}));
    window.reset();

    SetMessageLanguage(QStringLiteral("JP"));
    openWindow();
    EXPECT_EQ(window->cmdExit()->text(), QString::fromUtf8("終了"));
}

TEST_F(MainWindowTest, ModeSwitchesShowAndHideTheirButtons) {
    struct Case {
        bool debug;
        bool factory;
        std::vector<int> options; // visible cmdOption buttons
        bool logger, fram, compare;
    };
    const Case cases[] = {
        {false, false, {0, 1, 2, 7}, false, false, false},
        {true, false, {0, 1, 2, 3, 4, 5, 6, 7}, true, true, false},
        {false, true, {0, 1, 2, 3, 7, 8, 9, 10}, false, false, true},
        {true, true, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "debug " << c.debug << " factory " << c.factory);
        AppState::setDebugMode(c.debug);
        AppState::setFactoryMode(c.factory);
        openWindow();
        std::vector<int> visible;
        for (int i = 0; i < frmMain::kOptionCount; ++i)
            if (window->cmdOption(i)->isVisible()) visible.push_back(i);
        EXPECT_EQ(visible, c.options);
        EXPECT_EQ(window->cmdDown(2)->isVisible(), c.logger);
        EXPECT_EQ(window->cmdFRAMDump()->isVisible(), c.fram);
        EXPECT_EQ(window->cmdCompareMaster()->isVisible(), c.compare);
        for (int slot : {1, 4, 5})
            EXPECT_TRUE(window->cmdDown(slot)->isVisible());
        EXPECT_EQ(window->cmdDown(0), nullptr);
        EXPECT_EQ(window->cmdDown(3), nullptr);
        window.reset();
    }
}

TEST_F(MainWindowTest, WindowIsNeverSmallerThanItsMinimumAndFirstRunSizesToTheScreen) {
    // The first run of the program: the file read says 1.
    ToolSettings first;
    ASSERT_TRUE(WriteToolConfigurationFile(ToolConfigurationPath(), first, QStringLiteral("x")));
    openWindow();
    ASSERT_EQ(Tool().ExecuteCount, 1);
    const double dpiX = window->screen()->logicalDotsPerInchX();
    const double dpiY = window->screen()->logicalDotsPerInchY();
    const int minW = int(std::ceil(11640 * dpiX / 1440.0));
    const int minH = int(std::ceil(9285 * dpiY / 1440.0));
    EXPECT_GE(window->minimumWidth(), minW);
    EXPECT_GE(window->minimumHeight(), minH);
    const QRect area = window->screen()->availableGeometry();
    EXPECT_EQ(window->width(), std::max(int(area.width() * 0.8), window->minimumWidth()));
    EXPECT_EQ(window->height(), std::max(int(area.height() * 0.6), window->minimumHeight()));
    window->resize(100, 100);
    EXPECT_GE(window->width(), minW) << "the window cannot be made smaller";
}

// ---- Connection state ----

TEST_F(MainWindowTest, ConnectingLightsTheLampsAndLogsTheConnectionInBlue) {
    openWindow();
    EXPECT_EQ(window->lamp(0), frmMain::Lamp::On);
    EXPECT_EQ(window->lamp(1), frmMain::Lamp::Off);
    EXPECT_FALSE(window->shpStatus(2)->isVisible());
    EXPECT_FALSE(window->lblStatus(3)->isVisible());
    EXPECT_FALSE(window->cmdDown(1)->isEnabled());

    connectDetector();

    EXPECT_EQ(window->lamp(1), frmMain::Lamp::On);
    EXPECT_TRUE(window->cmdDown(1)->isEnabled());
    const QList<InfoLine> lines = infoLines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.last().text, QStringLiteral("71-Series ...Connection Successful."));
    EXPECT_EQ(lines.last().colour, QColor(0, 0, 255));
    EXPECT_EQ(window->shpStatus(1)->styleSheet().contains(QStringLiteral("#00ff00")), true);
}

TEST_F(MainWindowTest, EnableTableInItsFourStates) {
    AppState::setDebugMode(true);
    AppState::setFactoryMode(true);
    openWindow();
    struct Expect {
        bool ids, down, fram, factory, needData, otherOptions, files, suffix, grid;
    };
    auto check = [&](const Expect& e) {
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(window->txtOption(i)->isEnabled(), e.ids) << "txtOption " << i;
        EXPECT_EQ(window->cmbInterval()->isEnabled(), e.ids);
        for (int slot : {1, 2, 4, 5})
            EXPECT_EQ(window->cmdDown(slot)->isEnabled(), e.down) << "cmdDown " << slot;
        EXPECT_EQ(window->cmdFRAMDump()->isEnabled(), e.fram);
        EXPECT_EQ(window->cmdFactorySetting()->isEnabled(), e.factory);
        for (int i = 0; i < frmMain::kOptionCount; ++i) {
            const bool writesRecord = i == 0 || i == 2 || i == 7 || i == 9 || i == 10;
            EXPECT_EQ(window->cmdOption(i)->isEnabled(), writesRecord ? e.needData : e.otherOptions)
                << "cmdOption " << i;
        }
        EXPECT_EQ(window->cmdImportSetting()->isEnabled(), e.files);
        EXPECT_EQ(window->cmdExportSetting()->isEnabled(), e.files);
        EXPECT_EQ(window->txtSuffix()->isEnabled(), e.suffix);
        EXPECT_EQ(window->grid()->isEnabled(), e.grid);
    };
    // Each state as the operator reaches it: a fresh window; a file loaded on purpose before any
    // detector answers; a new window on a connected detector not yet read; that detector read.
    const QString file = path("table.seq");
    ASSERT_TRUE(SettingsFile::Write(window->working(), file));
    ASSERT_FALSE(window->link().Connected());
    {
        SCOPED_TRACE("not connected, no data");
        check({false, false, false, true, false, false, true, false, false});
    }
    {
        SCOPED_TRACE("not connected, has data (a file loaded on purpose)");
        ASSERT_TRUE(window->ImportSettingFile(file));
        ASSERT_FALSE(window->link().Connected());
        check({true, false, false, true, false, false, true, false, true});
    }
    openWindow();
    connectDetector();
    {
        SCOPED_TRACE("connected, no data");
        check({false, true, true, true, false, true, true, true, true});
        // What writes the record's settings waits for data; "Date/Time Set" does not.
        EXPECT_FALSE(window->cmdOption(0)->isEnabled());
        EXPECT_TRUE(window->cmdOption(1)->isEnabled());
        EXPECT_FALSE(window->cmdOption(9)->isEnabled());
    }
    {
        SCOPED_TRACE("connected, has data (the detector read)");
        ASSERT_TRUE(readDetector());
        check({true, true, true, true, true, true, true, true, true});
    }
    // While a workflow runs the frames are disabled; the close box does nothing then.
    window->EnableCommandFrames(false);
    EXPECT_FALSE(window->cmdDown(1)->isEnabled());
    EXPECT_FALSE(window->cmdExit()->isEnabled());
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(prompts.shown().isEmpty()) << prompts.shown().join('\n').toStdString();
    EXPECT_TRUE(window->isVisible());
    window->EnableCommandFrames(true);
    EXPECT_TRUE(window->cmdExit()->isEnabled());
}

TEST_F(MainWindowTest, LinkEventsReachLampsLogAndBoxes) {
    openWindow();
    connectDetector();
    uclHvif& link = window->link();
    short retries = 3;
    emit link.ConnectRetry(retries);
    QString alarm = QStringLiteral("71-Series No Response.");
    emit link.AlarmMessage(alarm);
    QList<InfoLine> lines = infoLines();
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[lines.size() - 2].text, QStringLiteral("Connect Sequence 71-Series ...(3)"));
    EXPECT_EQ(lines[lines.size() - 2].colour, kGreen);
    EXPECT_EQ(lines.last().text, alarm);
    EXPECT_EQ(lines.last().colour, QColor(0, 0, 192));

    window->setCalibrationLampsVisible(true);
    emit link.LineDown();
    EXPECT_EQ(window->lamp(0), frmMain::Lamp::On);
    EXPECT_EQ(window->lamp(1), frmMain::Lamp::Off);
    EXPECT_FALSE(window->shpStatus(2)->isVisible());
    EXPECT_FALSE(window->lblStatus(2)->isVisible());

    // Port error 10061 changes nothing; 10060 and 10048 report and light the error lamp.
    const int before = int(infoLines().size());
    short refused = 10061;
    emit link.IrDAError(refused);
    EXPECT_EQ(infoLines().size(), before);
    EXPECT_TRUE(prompts.shown().isEmpty());
    EXPECT_EQ(window->lamp(0), frmMain::Lamp::On);
    for (short code : {short(10060), short(10048)}) {
        prompts.boxes.clear();
        emit link.IrDAError(code);
        EXPECT_EQ(infoLines().last().text,
                  QStringLiteral("Cominucation Ports Error. Restart this program."));
        EXPECT_EQ(infoLines().last().colour, kRed);
        EXPECT_EQ(window->lamp(0), frmMain::Lamp::Error);
        EXPECT_EQ(window->lamp(1), frmMain::Lamp::Off);
        EXPECT_EQ(prompts.shown(), QStringList{QStringLiteral(
                                       "critical: Port Error. / Cominucation Ports Error. Restart "
                                       "this program.")});
    }

    float reading = 12.5f;
    QList<float> forwarded;
    QObject::connect(window.get(), &frmMain::readingArrived,
                     [&](float value) { forwarded << value; });
    emit link.Densty(reading);
    EXPECT_TRUE(window->LatestReadingNew());
    EXPECT_EQ(window->TakeLatestReading(), 12.5f);
    EXPECT_FALSE(window->LatestReadingNew());
    EXPECT_EQ(forwarded, QList<float>{12.5f});
}

TEST_F(MainWindowTest, GridAlarmTestReachesTheDetectorOnlyWhileConnected) {
    openWindow();
    detector->clearReceivedFrames();
    emit window->grid()->alarmTestRequested(2);
    EXPECT_TRUE(detector->receivedFrames().isEmpty());
    connectDetector();
    detector->clearReceivedFrames();
    emit window->grid()->alarmTestRequested(2);
    ASSERT_FALSE(detector->receivedFrames().isEmpty());
    EXPECT_TRUE(detector->receivedFrames().first().contains("RA,W,02"));
}

// ---- Clocks and the view ----

TEST_F(MainWindowTest, DetectorClockIsThePcClockPlusTheOffsetAndFollowsIt) {
    openWindow();
    connectDetector();
    // Without data of the detector only the PC clock runs.
    window->working().setCommFlags(false);
    window->UpdateClocks();
    EXPECT_FALSE(window->lblPcClock()->text().isEmpty());
    EXPECT_TRUE(window->lblDetectorClock()->text().isEmpty());

    // The detector runs one hour and ten seconds ahead of the PC (detector minus PC).
    window->working().setCommFlags(true);
    window->working().setSysDateOffset((3600.0 + 10.0) / 86400.0);
    detector->clearReceivedFrames();
    for (int second = 0; second < 3; ++second) {
        SCOPED_TRACE(second);
        clock->advance(1000);
        window->UpdateClocks();
        const QDateTime pc = clock->currentDateTime();
        const QDateTime pcSecond = pc.addMSecs(-pc.time().msec());
        EXPECT_EQ(window->lblPcClock()->text(),
                  pcSecond.toString(QStringLiteral("MM/dd/yyyy HH:mm:ss")));
        EXPECT_EQ(window->lblDetectorClock()->text(),
                  pcSecond.addSecs(3610).toString(QStringLiteral("MM/dd/yyyy HH:mm:ss")));
    }
    for (const QByteArray& frame : detector->receivedFrames())
        EXPECT_FALSE(frame.contains("HC,R")) << "the clock follows without asking the detector";

    // An offset that is no date shows the PC time and is reset.
    window->working().setSysDateOffset(std::nan(""));
    clock->advance(1000);
    window->UpdateClocks();
    EXPECT_EQ(window->lblDetectorClock()->text(), window->lblPcClock()->text());
    EXPECT_EQ(window->working().SysDateOffset(), 0.0);
}

TEST_F(MainWindowTest, ViewShowsTheRecordReadFromTheDetector) {
    openWindow();
    connectDetector();
    detector->setValue("IN", "SN-0042");
    detector->setValue("XZ", "OPERATOR");
    detector->setValue("XP", "002D"); // 45 s: not in the list, shows as 300, the record keeps 45
    detector->setValue("VP", "123");
    detector->setValue("VS", "BEEF");
    ASSERT_TRUE(readDetector());
    const clsInstrument& w = window->working();
    EXPECT_EQ(window->txtOption(0)->text(), QStringLiteral("SN-0042"));
    EXPECT_EQ(window->txtOption(2)->text(), QStringLiteral("OPERATOR"));
    EXPECT_EQ(window->cmbInterval()->currentText(), QStringLiteral("300"));
    EXPECT_EQ(w.Intervals(), 45);
    EXPECT_EQ(window->lblRomNumber()->text(), QStringLiteral("00123"));
    EXPECT_EQ(window->lblSum()->text(), QStringLiteral("BEEF"));
    EXPECT_EQ(window->grid()->rowCount(), GasAlarmGrid::kHeaderRows + 1);

    // Choosing an item stores its seconds into the record.
    window->cmbInterval()->setCurrentIndex(1);
    emit window->cmbInterval()->activated(1);
    EXPECT_EQ(w.Intervals(), 20);
}

TEST_F(MainWindowTest, FirstActivationPreparesTheRecordsAndTheLink) {
    openWindow();
    EXPECT_FALSE(window->FirstActivation());
    // Nothing is known of the detector yet: the record has no data and writes nothing.
    EXPECT_FALSE(window->working().ImportFlag());
    EXPECT_FALSE(window->working().CommFlags());
    EXPECT_EQ(window->Origin(), frmMain::RecordOrigin::None);
    EXPECT_TRUE(window->working().Change_AlarmMode());
    EXPECT_FALSE(window->working().Change_UserID());
    EXPECT_FALSE(window->master().ImportFlag());
    EXPECT_FALSE(window->master().Change_Warn(0));
    EXPECT_EQ(window->link().Status(), 6);
    EXPECT_EQ(window->link().Instrument(), &window->working());
    QFile log(AppState::PathInStartupFolder(QStringLiteral("SerialLog.log")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("Serial Port Standby. Date = 03/14/2025 10:00:00"));
}

// The link logs rotate when the window starts only when the tool configuration asks for it.
TEST_F(MainWindowTest, LinkLogsRotateAtStartOnlyWhenTheConfigurationSaysSo) {
    for (const QByteArray setting : {"OFF", "ON"}) {
        QFile::remove(path("SerialLog1.log"));
        for (const auto& [name, text] :
             {std::pair{"SerialLog.log", QByteArray("last run")},
              std::pair{"KM71Config.ini", "Serial Log File\t" + setting + "\r\n"}}) {
            QFile file(path(name));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
        }
        openWindow();
        EXPECT_EQ(QFile::exists(path("SerialLog1.log")), setting == "ON") << setting.constData();
        closeWindow();
    }
}

// ---- Configuration files, master comparison ----

TEST_F(MainWindowTest, ExportThroughTheDialogWritesTheFileAndReportsFailures) {
    openWindow();
    window->working().setStationID(QStringLiteral("ST-7"));
    prompts.fileToSave.clear();
    click(window->cmdExportSetting());
    ASSERT_EQ(prompts.dialogs.size(), 1);
    EXPECT_EQ(prompts.dialogs.first(),
              QStringLiteral("save: Store local file | All files (*.*);;Config Data (*.seq) | "
                             "Config Data (*.seq)"));
    EXPECT_TRUE(QDir(m_folder.path()).entryList({QStringLiteral("*.seq")}).isEmpty());

    prompts.fileToSave = path(QStringLiteral("unit.seq"));
    click(window->cmdExportSetting());
    QFile file(prompts.fileToSave);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.startsWith("BS,W,"));
    EXPECT_TRUE(text.contains("XS,W,ST-7"));
    EXPECT_TRUE(text.contains(",\r\n"));
    EXPECT_TRUE(prompts.shown().isEmpty());

    prompts.fileToSave = path(QStringLiteral("no/such/folder/unit.seq"));
    click(window->cmdExportSetting());
    ASSERT_EQ(prompts.shown().size(), 1);
    EXPECT_TRUE(prompts.shown().first().startsWith(
        QStringLiteral("critical: 71-Series - Setup Program / The configuration file could not "
                       "be stored.")));
}

TEST_F(MainWindowTest, ImportShowsWarningsAndRefusesABrokenFileWithoutChangingTheRecords) {
    AppState::setFactoryMode(true);
    openWindow();
    EXPECT_FALSE(window->cmdCompareMaster()->isEnabled());

    // A configuration file in the start-up folder with the given lines.
    const auto seqFile = [this](const char* name, const QByteArray& lines) {
        QFile file(path(QString::fromLatin1(name)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(lines);
        return file.fileName();
    };
    const QString broken = seqFile("broken.seq", "XZ,W,NEW-USER,\r\nAP,W,notanumber,\r\n");
    const QString userBefore = window->working().UserID();
    prompts.fileToOpen = broken;
    click(window->cmdImportSetting());
    ASSERT_EQ(prompts.shown().size(), 1);
    EXPECT_TRUE(prompts.shown().first().startsWith(
        QStringLiteral("critical: 71-Series - Setup Program / The configuration file could not "
                       "be loaded.")));
    EXPECT_EQ(window->working().UserID(), userBefore);
    EXPECT_FALSE(window->master().ImportFlag());
    EXPECT_FALSE(window->cmdCompareMaster()->isEnabled());
    EXPECT_TRUE(window->isEnabled());

    const QString odd = seqFile("odd.seq", "XZ,W,NEW-USER,\r\nZZ,W,1,\r\nBU,W,060,020,090,1,\r\n");
    prompts.boxes.clear();
    prompts.fileToOpen = odd;
    click(window->cmdImportSetting());
    EXPECT_EQ(
        prompts.shown(),
        (QStringList{QStringLiteral("message: 71-Series - Setup Program / unknown ZZ"),
                     QStringLiteral("message: 71-Series - Setup Program / obsolute BU format")}));
    EXPECT_EQ(window->working().UserID(), QStringLiteral("NEW-USER"));
    EXPECT_EQ(window->txtOption(2)->text(), QStringLiteral("NEW-USER"));
    EXPECT_TRUE(window->master().ImportFlag());
    EXPECT_TRUE(window->cmdCompareMaster()->isEnabled());
    EXPECT_EQ(window->link().Status(), 6);
    EXPECT_TRUE(prompts.dialogs.last().startsWith(QStringLiteral("open: Load local file | ")));

    // A STEL beyond its range is refused as a typed one would be; nothing changes.
    const QString stel =
        seqFile("stel.seq", "XZ,W,STEL-USER,\r\nGJ,W,H2S  30.0  0.5ppm ,\r\nAS,W,31.0,\r\n");
    prompts.boxes.clear();
    prompts.fileToOpen = stel;
    click(window->cmdImportSetting());
    EXPECT_EQ(prompts.shown(),
              QStringList{QStringLiteral("critical: 71-Series - Setup Program / The configuration "
                                         "file could not be loaded.\r\nSTEL: allowed from 0.0 "
                                         "to 30.0.")});
    EXPECT_EQ(window->working().UserID(), QStringLiteral("NEW-USER"));
}

TEST_F(MainWindowTest, CompareMasterAfterAReadListsTheDifferencesAndSounds) {
    AppState::setFactoryMode(true);
    openWindow();
    connectDetector();
    // Nothing loaded: the comparison does nothing.
    window->cmdCompareMaster()->setEnabled(true);
    const int linesBefore = int(infoLines().size());
    window->cmdCompareMaster_Click();
    EXPECT_EQ(infoLines().size(), linesBefore);

    // Read the detector and store it as the master file, then load it back.
    click(window->cmdDown(1));
    ASSERT_TRUE(window->working().CommFlags()) << logTexts().join('\n').toStdString();
    prompts.fileToSave = path(QStringLiteral("master.seq"));
    click(window->cmdExportSetting());
    prompts.fileToOpen = prompts.fileToSave;
    click(window->cmdImportSetting());
    ASSERT_TRUE(window->cmdCompareMaster()->isEnabled());

    // The detector as it is matches its own master.
    click(window->cmdDown(1));
    const int played = Sounds::PlayCount();
    click(window->cmdCompareMaster());
    EXPECT_EQ(infoLines().last().text, QStringLiteral(" Compare MASTER OK"));
    EXPECT_EQ(infoLines().last().colour, QColor(0, 255, 0));
    EXPECT_EQ(Sounds::LastRequested(), QStringLiteral("OK.wav"));
    EXPECT_EQ(Sounds::PlayCount(), played + 1) << "the built-in sound is found";

    // The detector changes its user id and its warning point; a new read shows both.
    detector->setValue("XZ", "SOMEONE ELSE    ");
    detector->setValue("A1", QByteArray("   15"));
    click(window->cmdDown(1));
    ASSERT_TRUE(window->working().CommFlags());
    const int from = int(infoLines().size());
    click(window->cmdCompareMaster());
    QList<InfoLine> lines = infoLines().mid(from);
    QStringList texts;
    for (const InfoLine& l : lines) {
        texts << l.text;
        EXPECT_EQ(l.colour, kRed) << l.text.toStdString();
    }
    EXPECT_EQ(texts, (QStringList{QStringLiteral("User ID"), QStringLiteral("Warning <> MASTER")}));
    EXPECT_EQ(Sounds::LastRequested(), QStringLiteral("NG.wav"));
}

TEST_F(MainWindowTest, DetailSettingsEditsTheWorkingRecordInTheFactoryDialog) {
    openWindow();
    connectDetector();
    QString dialogName;
    clsInstrument* handed = nullptr;
    AnswerModal<frmFsDialog>([&](frmFsDialog* dialog) {
        dialogName = dialog->metaObject()->className();
        handed = dialog->Instrument();
        dialog->cmdCancel_Click();
    });
    // The view shows a record once one is loaded.
    const QString file = AppState::PathInStartupFolder(QStringLiteral("detail.seq"));
    ASSERT_TRUE(window->ExportSettingFile(file));
    ASSERT_TRUE(window->ImportSettingFile(file));
    window->working().setUserID(QStringLiteral("BEFORE"));
    window->txtOption(2)->clear();
    click(window->cmdFactorySetting());
    EXPECT_EQ(dialogName, QStringLiteral("frmFsDialog"));
    EXPECT_EQ(handed, &window->working());
    EXPECT_EQ(window->txtOption(2)->text(), QStringLiteral("BEFORE")) << "the view was refreshed";
}

// ---- Exit ----

TEST_F(MainWindowTest, ExitAsksAndWritesTheToolConfiguration) {
    openWindow();
    const QString config = ToolConfigurationPath();
    ASSERT_FALSE(QFileInfo::exists(config));
    window->txtSuffix()->setText(QStringLiteral("_LINE2"));
    emit window->txtSuffix()->textEdited(QStringLiteral("_LINE2"));

    prompts.answerYes = false;
    click(window->cmdExit());
    EXPECT_EQ(prompts.shown(), QStringList{QStringLiteral("question: 71-Series / End ?")});
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(QFileInfo::exists(config));

    prompts.answerYes = true;
    click(window->cmdExit());
    EXPECT_FALSE(window->isVisible());
    ASSERT_TRUE(QFileInfo::exists(config));
    QFile file(config);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("_LINE2"));
    EXPECT_FALSE(window->link().TimerEnabled());
}

} // namespace
