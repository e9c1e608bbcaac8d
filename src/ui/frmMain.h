#pragma once

#include "instrument/clsInstrument.h"
#include "ui/WindowHost.h"

#include <QColor>
#include <QDateTime>
#include <QMainWindow>
#include <QString>
#include <array>
#include <functional>
#include <memory>

class GasAlarmGrid;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTextEdit;
class QTimer;
class UiPrompts;
class uclHvif;

// The program's main window: hosts the instrument link, the settings grid, the command buttons
// of the read, write and maintenance workflows, the information log, the two clocks and the
// connection lamps; follows the link's state and the working record's origin. The windows it
// opens reach it through WindowHost.
class frmMain : public QMainWindow, public WindowHost {
    Q_OBJECT
public:
    // Number of `cmdDown` slots (1, 2, 4 and 5 carry buttons) and of `cmdOption` buttons.
    static constexpr int kDownSlots = 6;
    static constexpr int kOptionCount = 11;
    // Minimum size of the window in twips.
    static constexpr int kMinWidthTwips = 11640;
    static constexpr int kMinHeightTwips = 9285;

    // State of a status lamp.
    enum class Lamp { On, Off, Error };

    // Builds the window around a link the caller made (real transports, a given port, an
    // infrared endpoint or the simulator): reads the tool configuration, configures and opens
    // the link.
    explicit frmMain(std::unique_ptr<uclHvif> link, QWidget* parent = nullptr);
    ~frmMain() override;

    // ---- Records and parts ----

    // The window itself, over which the windows it opens are placed.
    QWidget* hostWidget() override;

    // The instrument link.
    uclHvif& link() override;
    // The detector's settings as read, edited and written.
    clsInstrument& working() override;
    // The reference of the master comparison.
    clsInstrument& master() override;
    // Path of the configuration file last loaded as the master (empty before one was).
    QString MasterFile() const override { return m_masterFile; }
    // The settings grid (`vfgOption`).
    GasAlarmGrid* grid() const;
    // The message boxes and file dialogs in use.
    UiPrompts& prompts() const override;
    // Uses `prompts` for every box and dialog (not owned); nullptr restores the real dialogs.
    void setPrompts(UiPrompts* prompts);
    // Path of the logger image file ("KM71.DAT" in the start-up folder).
    QString LoggerImagePath() const override;

    // Where the working record's settings came from.
    enum class RecordOrigin { None, Detector, File };
    RecordOrigin Origin() const { return m_origin; }
    // True when the working record holds a complete read of the detector connected now, or a
    // configuration file loaded on purpose: only then may a command write settings.
    bool RecordWritable() const;
    // True when the settings shown were read from a detector whose connection has ended since.
    bool RecordFromEarlierDetector() const;
    // True when the working record holds a complete read of the detector connected now.
    bool RecordReadFromDetector() const override;

    // ---- Display ----

    // Appends one line in `colour` to the information log and scrolls to it.
    void AddInfo(const QString& text, const QColor& colour) override;
    // Enables and disables the controls for the link state and the working record's origin.
    void UpdateCommandStates();
    // Refreshes the identity fields, interval, program number, checksum and grid.
    void RefreshInstrumentView() override;
    // Enables or disables the three command frames.
    void EnableCommandFrames(bool enabled) override;
    // True while the window rebuilds its displays (grid edit events are ignored then).
    bool DisplayRefresh() const override { return m_displayRefresh; }
    void setDisplayRefresh(bool on) override { m_displayRefresh = on; }
    // The window caption for a language code and the factory mode.
    static QString MainCaption(const QString& language, bool factoryMode);
    // Shows the clocks as the 100 ms timer does, for the current time.
    void UpdateClocks();
    // Runs the activation steps (the first-activation steps when the flag is set).
    void Form_Activate();
    // Set after loading and after a successful power off; consumed by the next activation.
    bool FirstActivation() const { return m_firstActivation; }
    void setFirstActivation(bool on) { m_firstActivation = on; }
    // Sets and reads a status lamp (0 serial port, 1 connect, 2 cal. unit, 3 cal. gas).
    void setLamp(int index, Lamp state);
    Lamp lamp(int index) const;
    // Shows or hides lamps 2 and 3 with their labels.
    void setCalibrationLampsVisible(bool visible);
    // Routes the link's dump progress texts to a progress dialog (empty: dropped).
    void setDumpMessageSink(std::function<void(const QString&)> sink) override;
    // Latest concentration reading of gas 0 and whether it is new since taken.
    float LatestReading() const override { return m_latestReading; }
    bool LatestReadingNew() const { return m_latestReadingNew; }
    // Returns the latest reading and marks it as taken.
    float TakeLatestReading() override;

    // ---- Controls ----

    QPushButton* cmdDown(int i) const;
    QPushButton* cmdOption(int i) const;
    QPushButton* cmdFRAMDump() const { return m_cmdFRAMDump; }
    QPushButton* cmdFactorySetting() const { return m_cmdFactorySetting; }
    QPushButton* cmdCompareMaster() const { return m_cmdCompareMaster; }
    QPushButton* cmdImportSetting() const { return m_cmdImportSetting; }
    QPushButton* cmdExportSetting() const { return m_cmdExportSetting; }
    QPushButton* cmdExit() const { return m_cmdExit; }
    // Opens the fleet window.
    QPushButton* cmdFleet() const { return m_cmdFleet; }
    QGroupBox* fraCommand(int i) const;
    // Identity boxes 0 serial number, 1 station id, 2 user id.
    QLineEdit* txtOption(int i) const;
    QComboBox* cmbInterval() const { return m_cmbInterval; }
    QLineEdit* txtSuffix() const { return m_txtSuffix; }
    QTextEdit* rtbLog() const { return m_rtbLog; }
    // Label of the PC clock (`lblOption(5)`) and of the detector clock (`lblOption(6)`).
    QLabel* lblPcClock() const { return m_lblPcClock; }
    QLabel* lblDetectorClock() const { return m_lblDetectorClock; }
    // Program number (`lblInst(7)`) and checksum (`lblInst(9)`).
    QLabel* lblRomNumber() const { return m_lblRomNumber; }
    QLabel* lblSum() const { return m_lblSum; }
    QFrame* shpStatus(int i) const;
    QLabel* lblStatus(int i) const;

    // ---- Commands of the setting frame ----

    // Loads a configuration file chosen in the open dialog.
    void cmdImportSetting_Click();
    // Stores the working record in a file chosen in the save dialog.
    void cmdExportSetting_Click();
    // Compares the working record with the master and reports the differences.
    void cmdCompareMaster_Click();
    // Loads a configuration file into the working and the master record; true on success.
    bool ImportSettingFile(const QString& path);
    // Writes the working record to a configuration file; true on success.
    bool ExportSettingFile(const QString& path);

    // ---- Workflows (frmMain_workflows.cpp) ----

    // Runs the workflow of read button `index` (1, 2, 4, 5).
    void cmdDown_Click(int index);
    // Runs the workflow of write button `index` (0..10).
    void cmdOption_Click(int index);
    // Reads the detector into the working record; true on success.
    bool ReadInstrument();
    // Warns when the detector clock is more than a day away from the PC clock.
    void ClockCheck();
    // Reads the detector and writes the factory record.
    void ReadAndSave();
    // Checks, confirms and writes the working record (buttons "Update", "Update ID",
    // "Write Serial No", "Write Factory No "; -1 sends the settings already flagged).
    WriteOutcome WriteFrame(int button);
    // Writes exactly the settings flagged on the working record, as "Update" writes.
    WriteOutcome WriteFlaggedSettings() override;
    // Reads the detector as "Instrument Information" does; true on success.
    bool ReadDetectorWorkflow() override;
    // The box after a write: "Upload Complete." or an error box naming what was not written.
    void ReportUploadOutcome(bool ok, const QString& notWritten);
    // Sets the detector clock to the PC clock.
    void SetClockWorkflow();
    // Writes the check data.
    void WriteCheckDataWorkflow();
    // Restores defaults or clears logs (buttons "DEFAULT", "Clear Power Log",
    // "Clear Logger Data").
    void MaintenanceWorkflow(int button);
    // Powers the detector off.
    void PowerOffWorkflow();
    // Downloads the logger data into the logger image file; true when it was read completely.
    bool LoggerDownloadWorkflow() override;

    // ---- Fleet register ----

    // Records the event in the background; the information log says once that a record is
    // pending when the register cannot take it.
    void RecordEvent(const RegisterEvent& event) override;
    // The detector as read during this connection and as written since.
    const clsInstrument* DetectorOnRecord() const override;
    // Events handed to the register whose outcome has not come back yet.
    int RecordsInFlight() const { return m_recordsInFlight; }
    // Opens the fleet window.
    void cmdFleet_Click();

signals:
    // A concentration reading of gas 0 arrived from the link.
    void readingArrived(float value);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void buildWidgets();
    void applyCaptions();
    void applyFont();
    void sizeCommandButtons();
    void packCommandFrames();
    void updateMinimumSize();
    void applyModeVisibility();
    void applyWindowPlacement();
    void storeWindowPlacement();
    void removeOldSerialLog();
    void connectLink();
    void openLink();
    void onTimer();
    void onConnect();
    void onDensty(float& value);
    void onConnectRetry(short& count);
    void onAlarmMessage(QString& text);
    void onDumpMessage(QString& text);
    void onLineDown();
    void onIrDAError(short& code);
    void onIntervalActivated(int index);
    void onGridEnableToggled(int gas);
    void onGridAlarmTest(int mask);
    void onSuffixEdited(const QString& text);
    void onFactorySetting();
    void onFramDump();
    void unload(bool interactive);
    double twipsPerPixelX() const;
    double twipsPerPixelY() const;

    std::unique_ptr<uclHvif> m_link;
    clsInstrument m_working;
    clsInstrument m_master;
    QString m_masterFile;
    UiPrompts* m_prompts = nullptr;
    GasAlarmGrid* m_grid = nullptr;

    std::array<QGroupBox*, 3> m_fraCommand{};
    std::array<QPushButton*, kDownSlots> m_cmdDown{};
    std::array<QPushButton*, kOptionCount> m_cmdOption{};
    QPushButton* m_cmdFRAMDump = nullptr;
    QPushButton* m_cmdFactorySetting = nullptr;
    QPushButton* m_cmdCompareMaster = nullptr;
    QPushButton* m_cmdImportSetting = nullptr;
    QPushButton* m_cmdExportSetting = nullptr;
    QPushButton* m_cmdExit = nullptr;
    QPushButton* m_cmdFleet = nullptr;
    QGroupBox* m_fraStatus = nullptr;
    QGroupBox* m_fraTransStatus = nullptr;
    std::array<QLabel*, 3> m_lblIdentity{};
    std::array<QLineEdit*, 3> m_txtOption{};
    QLabel* m_lblInterval = nullptr;
    QComboBox* m_cmbInterval = nullptr;
    QLabel* m_lblPcClockCaption = nullptr;
    QLabel* m_lblPcClock = nullptr;
    QLabel* m_lblDetectorClockCaption = nullptr;
    QLabel* m_lblDetectorClock = nullptr;
    QLabel* m_lblRomNumberCaption = nullptr;
    QLabel* m_lblRomNumber = nullptr;
    QLabel* m_lblSumCaption = nullptr;
    QLabel* m_lblSum = nullptr;
    std::array<QFrame*, 4> m_shpStatus{};
    std::array<QLabel*, 4> m_lblStatus{};
    std::array<Lamp, 4> m_lampState{Lamp::Off, Lamp::Off, Lamp::Off, Lamp::Off};
    QLabel* m_lblTitle = nullptr;
    QTextEdit* m_rtbLog = nullptr;
    QLabel* m_lblSuffix = nullptr;
    QLineEdit* m_txtSuffix = nullptr;
    QTimer* m_tmrInter = nullptr;

    // Second shown by the PC clock (the tag of `lblOption(5)`).
    QDateTime m_clockTag;
    std::function<void(const QString&)> m_dumpSink;
    float m_latestReading = 0.0f;
    bool m_latestReadingNew = false;
    bool m_firstActivation = true;
    bool m_displayRefresh = false;
    bool m_unloaded = false;
    RecordOrigin m_origin = RecordOrigin::None;
    // The detector's settings as last read completely (what it holds, for the write's checks).
    clsInstrument m_detectorRead;
    // Connections made so far, and the one during which the working record was read.
    quint64 m_connections = 0;
    quint64 m_readConnection = 0;
    // The detector's settings as the register knows them: as read, then as written since.
    clsInstrument m_registerBaseline;
    int m_recordsInFlight = 0;
    // Set once the log has said that a record is pending; cleared when one is stored again.
    bool m_pendingShown = false;
};
