#include "ui/frmMain.h"

#include "configuration/ToolConfig.h"
#include "configuration/ToolSettings.h"
#include "factory/frmFsDialog.h"
#include "instrument/AlarmRules.h"
#include "instrument/MasterCompare.h"
#include "instrument/SettingsFile.h"
#include "link/LinkLog.h"
#include "link/PortHelp.h"
#include "link/uclHvif.h"
#include "register/EventRecorder.h"
#include "shell/AppState.h"
#include "shell/Messages.h"
#include "shell/modGasCommon.h"
#include "ui/GasAlarmGrid.h"
#include "ui/IdentityEdit.h"
#include "ui/LoggerCheck.h"
#include "ui/frmCalibration.h"
#include "ui/frmFleet.h"
#include "ui/frmGasSel.h"
#include "ui/frmIrCommSelect.h"
#include "ui/frmProvision.h"
#include "widgets/ControlStyle.h"
#include "widgets/RefusedEdit.h"
#include "widgets/SharedFont.h"
#include "widgets/Sounds.h"
#include "widgets/UiPrompts.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidgetItem>
#include <QTextCursor>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <cmath>

namespace {

// Message numbers of the window's captions and messages.
constexpr int kMsgReadCommands = 5700;
constexpr int kMsgDownFirst = 5703;   // "Instrument Information", then 2, 4, 5
constexpr int kMsgOptionFirst = 5707; // "Update" .. "Write Factory No "
constexpr int kMsgFramDump = 5718;
constexpr int kMsgDetailSettings = 5719;
constexpr int kMsgCompareMaster = 5720;
constexpr int kMsgLoadLocalFile = 5721;
constexpr int kMsgStoreLocalFile = 5722;
constexpr int kMsgExit = 5723;
constexpr int kMsgStatusFrame = 5724;
constexpr int kMsgIdentityFirst = 5725; // serial, station, user
constexpr int kMsgInterval = 5223;
constexpr int kMsgPcDateTime = 5728;
constexpr int kMsgDetectorDateTime = 5729;
constexpr int kMsgProgramNumber = 5730;
constexpr int kMsgSum = 5731;
constexpr int kMsgTransStatus = 5732;
constexpr int kMsgLampFirst = 5733; // "Serial Port", "Connect", "Cal.Unit", "Cal.Gas"
constexpr int kMsgDownloadState = 5737;
constexpr int kMsgSuffix = 5738;
constexpr int kMsgSerialPortStandby = 5739;
constexpr int kMsgPortsError = 5740;
constexpr int kMsgPortErrorTitle = 5741;
constexpr int kMsgExitTitle = 5742;
constexpr int kMsgAllFiles = 5743;
constexpr int kMsgConfigData = 5744;
constexpr int kMsgImportFailed = 5746;
constexpr int kMsgExportFailed = 5747;
constexpr int kMsgToolConfigFailed = 5748;
constexpr int kMsgOldLogStays = 5749;
constexpr int kMsgEnd = 5373;
constexpr int kMsgConnectRetry = 5412;
constexpr int kMsgConnected = 5432;
constexpr int kMsgReadBeforeWriting = 5910;
constexpr int kMsgStatusEarlierDetector = 5911;
constexpr int kMsgFleet = 6100;
constexpr int kMsgRecordPending = 6122;

// The read buttons that exist, by slot.
constexpr std::array<int, 4> kDownButtons{1, 2, 4, 5};
// Items of the interval list, in seconds.
constexpr std::array<int, 7> kIntervals{10, 20, 30, 60, 180, 300, 600};
// Bound of the wait for an old link log to disappear.
constexpr int kLogDeleteBoundMs = 3000;

// The date format the window shows its clocks and log stamps in.
QString WindowDateText(const QDateTime& when) {
    return when.toString(QStringLiteral("MM/dd/yyyy HH:mm:ss"));
}

// Whether a stored clock offset (days) can be added to a date.
bool IsValidOffset(double days) {
    return std::isfinite(days) && std::fabs(days) < 3000000.0;
}

QColor LampFill(frmMain::Lamp state) {
    switch (state) {
    case frmMain::Lamp::On:
        return QColor(0, 255, 0);
    case frmMain::Lamp::Error:
        return QColor(254, 0, 0);
    default:
        return QColor(160, 160, 160);
    }
}

QColor LampBorder(frmMain::Lamp state) {
    switch (state) {
    case frmMain::Lamp::On:
        return QColor(0, 192, 0);
    case frmMain::Lamp::Error:
        return QColor(192, 0, 0);
    default:
        return QColor(128, 128, 128);
    }
}

// The filter text of the configuration file dialogs and its preselected entry.
QString SettingFileFilter() {
    return LoadMessage(kMsgAllFiles) + QStringLiteral(";;") + LoadMessage(kMsgConfigData);
}

} // namespace

QWidget* frmMain::hostWidget() {
    return this;
}

frmMain::frmMain(std::unique_ptr<uclHvif> link, QWidget* parent)
    : QMainWindow(parent), m_link(std::move(link)) {
    Q_ASSERT(m_link);
    setObjectName(QStringLiteral("frmMain"));
    setAttribute(Qt::WA_DeleteOnClose, false);

    // Serial settings of the USB module until the tool configuration says otherwise.
    uclHvif::setCommSettings(QStringLiteral("921600,n,8,1"));
    Tool().CommSettings = uclHvif::CommSettings();
    Tool().Catalog.FillDefaults();

    buildWidgets();
    updateMinimumSize();

    m_tmrInter = new QTimer(this);
    m_tmrInter->setInterval(100);
    connect(m_tmrInter, &QTimer::timeout, this, &frmMain::onTimer);
    m_tmrInter->start();

    setLamp(0, Lamp::On);
    for (int i = 1; i < 4; ++i)
        setLamp(i, Lamp::Off);
    m_rtbLog->clear();
    UpdateCommandStates();
    setCalibrationLampsVisible(false);

    // Built-in defaults, then the file.
    ApplyToolDefaults();
    applyFont();
    ReadToolConfiguration();
    uclHvif::setCommSettings(Tool().CommSettings);
    applyCaptions();

    // The link: retry and timeout from the configuration, the USB module looked up first.
    m_link->setRetry(Tool().LinkRetry);
    if (!m_link->setTimeout(Tool().LinkTimeout)) m_link->setTimeout(3);
    m_link->setSerialComm(false);
    m_link->setInstrument(&m_working);
    m_link->setPortChooser([this](const QStringList& names) {
        QApplication::restoreOverrideCursor();
        return frmIrCommSelect::Choose(this, names);
    });
    // A link log that cannot be written is said once; the window goes on without it.
    SetLinkLogProblemHandler(
        [this](const QString& sentence) { AddInfo(sentence, ColourFailure()); });
    connectLink();
    openLink();
    if (!m_link->TimerEnabled()) m_link->setTimerEnabled(true);

    applyModeVisibility();
    packCommandFrames();
    sizeCommandButtons();
    updateMinimumSize();
    applyWindowPlacement();

    m_clockTag = m_link->clock()->currentDateTime();
    m_fraStatus->show();
    m_displayRefresh = false;

    removeOldSerialLog();
    m_txtSuffix->setText(Tool().FactoryRecordSuffix);
    UpdateClocks();
}

frmMain::~frmMain() {
    SetLinkLogProblemHandler({});
    // Gone without being closed (the program ends otherwise): the configuration is still saved.
    unload(false);
    // Widgets that refer to the records go before the records.
    if (m_grid) m_grid->setRecord(nullptr);
    if (m_link) {
        m_link->disconnect(this);
        m_link->clearInstrument();
    }
}

// ---- Construction ----

void frmMain::buildWidgets() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("frmMainClient"));
    setCentralWidget(central);

    auto makeButton = [](QWidget* owner, const QString& name) {
        auto* button = new QPushButton(owner);
        button->setObjectName(name);
        button->setAutoDefault(false);
        button->setMinimumHeight(26);
        return button;
    };

    // Command frames: read, write, setting.
    for (int i = 0; i < 3; ++i) {
        m_fraCommand[i] = new QGroupBox(central);
        m_fraCommand[i]->setObjectName(QStringLiteral("fraCommand%1").arg(i));
    }
    // The buttons are placed by packCommandFrames() once the modes have hidden some.
    for (int slot : kDownButtons) {
        m_cmdDown[slot] = makeButton(m_fraCommand[0], QStringLiteral("cmdDown%1").arg(slot));
        connect(m_cmdDown[slot], &QPushButton::clicked, this,
                [this, slot] { cmdDown_Click(slot); });
    }
    m_cmdFRAMDump = makeButton(m_fraCommand[0], QStringLiteral("cmdFRAMDump"));
    for (int i = 0; i < kOptionCount; ++i) {
        m_cmdOption[i] = makeButton(m_fraCommand[1], QStringLiteral("cmdOption%1").arg(i));
        connect(m_cmdOption[i], &QPushButton::clicked, this, [this, i] { cmdOption_Click(i); });
    }
    m_cmdFactorySetting = makeButton(m_fraCommand[2], QStringLiteral("cmdFactorySetting"));
    m_cmdCompareMaster = makeButton(m_fraCommand[2], QStringLiteral("cmdCompareMaster"));
    m_cmdImportSetting = makeButton(m_fraCommand[2], QStringLiteral("cmdImportSetting"));
    m_cmdExportSetting = makeButton(m_fraCommand[2], QStringLiteral("cmdExportSetting"));
    m_cmdExit = makeButton(m_fraCommand[2], QStringLiteral("cmdExit"));
    // The fleet window needs no detector: its button stands under the frames, in the room the
    // command column leaves below them.
    m_cmdFleet = makeButton(central, QStringLiteral("cmdFleet"));
    connect(m_cmdFleet, &QPushButton::clicked, this, &frmMain::cmdFleet_Click);
    for (QGroupBox* frame : m_fraCommand)
        new QGridLayout(frame);
    m_cmdCompareMaster->setEnabled(false);

    connect(m_cmdFRAMDump, &QPushButton::clicked, this, &frmMain::onFramDump);
    connect(m_cmdFactorySetting, &QPushButton::clicked, this, &frmMain::onFactorySetting);
    connect(m_cmdCompareMaster, &QPushButton::clicked, this, &frmMain::cmdCompareMaster_Click);
    connect(m_cmdImportSetting, &QPushButton::clicked, this, &frmMain::cmdImportSetting_Click);
    connect(m_cmdExportSetting, &QPushButton::clicked, this, &frmMain::cmdExportSetting_Click);
    connect(m_cmdExit, &QPushButton::clicked, this, &QWidget::close);

    // Status frame: identity and interval on the left, clocks, program number and checksum on
    // the right; each caption stands above its field.
    m_fraStatus = new QGroupBox(central);
    m_fraStatus->setObjectName(QStringLiteral("fraStatus"));
    auto* statusLayout = new QGridLayout(m_fraStatus);
    statusLayout->setVerticalSpacing(1);
    statusLayout->setHorizontalSpacing(12);
    statusLayout->setColumnStretch(0, 1);
    statusLayout->setColumnStretch(1, 1);
    for (int i = 0; i < 3; ++i) {
        m_lblIdentity[i] = new QLabel(m_fraStatus);
        m_lblIdentity[i]->setObjectName(QStringLiteral("lblOption%1").arg(i));
        // The box filters keys and stores an accepted text into the record itself.
        auto* box = new IdentityEdit(i, m_fraStatus);
        box->setObjectName(QStringLiteral("txtOption%1").arg(i));
        box->setRecord(&m_working);
        m_txtOption[i] = box;
        statusLayout->addWidget(m_lblIdentity[i], 2 * i, 0);
        statusLayout->addWidget(box, 2 * i + 1, 0);
    }
    m_lblInterval = new QLabel(m_fraStatus);
    m_lblInterval->setObjectName(QStringLiteral("lblOption7"));
    m_cmbInterval = new QComboBox(m_fraStatus);
    m_cmbInterval->setObjectName(QStringLiteral("cmbInterval"));
    for (int seconds : kIntervals)
        m_cmbInterval->addItem(QString::number(seconds), seconds);
    connect(m_cmbInterval, &QComboBox::activated, this, &frmMain::onIntervalActivated);
    auto* intervalRow = new QHBoxLayout;
    intervalRow->addWidget(m_cmbInterval);
    intervalRow->addStretch(1);
    statusLayout->addWidget(m_lblInterval, 6, 0);
    statusLayout->addLayout(intervalRow, 7, 0);

    auto makeValue = [this](const QString& name) {
        auto* label = new QLabel(m_fraStatus);
        label->setObjectName(name);
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        label->setMinimumHeight(22);
        return label;
    };
    auto makeCaption = [this](const QString& name) {
        auto* label = new QLabel(m_fraStatus);
        label->setObjectName(name);
        return label;
    };
    m_lblPcClockCaption = makeCaption(QStringLiteral("lblOption3"));
    m_lblPcClock = makeValue(QStringLiteral("lblOption5"));
    m_lblDetectorClockCaption = makeCaption(QStringLiteral("lblOption4"));
    m_lblDetectorClock = makeValue(QStringLiteral("lblOption6"));
    m_lblRomNumberCaption = makeCaption(QStringLiteral("lblInst6"));
    m_lblRomNumber = makeValue(QStringLiteral("lblInst7"));
    m_lblSumCaption = makeCaption(QStringLiteral("lblInst8"));
    m_lblSum = makeValue(QStringLiteral("lblInst9"));
    const std::array<QLabel*, 8> clockColumn{
        m_lblPcClockCaption,   m_lblPcClock,   m_lblDetectorClockCaption, m_lblDetectorClock,
        m_lblRomNumberCaption, m_lblRomNumber, m_lblSumCaption,           m_lblSum};
    for (int row = 0; row < 8; ++row)
        statusLayout->addWidget(clockColumn[row], row, 1);

    // Transfer status frame with the four lamps.
    m_fraTransStatus = new QGroupBox(central);
    m_fraTransStatus->setObjectName(QStringLiteral("fraTransStatus"));
    auto* lampLayout = new QGridLayout(m_fraTransStatus);
    for (int i = 0; i < 4; ++i) {
        m_shpStatus[i] = new QFrame(m_fraTransStatus);
        m_shpStatus[i]->setObjectName(QStringLiteral("shpStatus%1").arg(i));
        m_shpStatus[i]->setFixedSize(16, 16);
        m_lblStatus[i] = new QLabel(m_fraTransStatus);
        m_lblStatus[i]->setObjectName(QStringLiteral("lblStatus%1").arg(i));
        lampLayout->addWidget(m_shpStatus[i], i, 0);
        lampLayout->addWidget(m_lblStatus[i], i, 1);
    }
    lampLayout->setRowStretch(4, 1);

    // The settings grid.
    m_grid = new GasAlarmGrid(central);
    m_grid->setRecord(&m_working);
    connect(m_grid, &GasAlarmGrid::enableToggled, this, &frmMain::onGridEnableToggled);
    connect(m_grid, &GasAlarmGrid::alarmTestRequested, this, &frmMain::onGridAlarmTest);

    // Information log and the suffix box.
    m_lblTitle = new QLabel(central);
    m_lblTitle->setObjectName(QStringLiteral("lblTitle"));
    m_rtbLog = new QTextEdit(central);
    m_rtbLog->setObjectName(QStringLiteral("rtbLog"));
    m_rtbLog->setReadOnly(true);
    m_rtbLog->setAcceptRichText(false);
    m_rtbLog->setLineWrapMode(QTextEdit::WidgetWidth);
    m_lblSuffix = new QLabel(central);
    m_lblSuffix->setObjectName(QStringLiteral("lblSuffix"));
    m_txtSuffix = new QLineEdit(central);
    m_txtSuffix->setObjectName(QStringLiteral("txtSuffix"));
    connect(m_txtSuffix, &QLineEdit::textEdited, this, &frmMain::onSuffixEdited);

    // Layout: the command frames on the left; status, grid and log on the right. The grid's
    // gas and enable columns take their contents' width, the value columns share the rest.
    auto* commands = new QVBoxLayout;
    commands->addWidget(m_fraCommand[0]);
    commands->addWidget(m_fraCommand[1]);
    commands->addWidget(m_fraCommand[2]);
    commands->addWidget(m_cmdFleet);
    commands->addStretch(1);
    QHeaderView* columns = m_grid->horizontalHeader();
    columns->setMinimumSectionSize(40);
    columns->setSectionResizeMode(QHeaderView::Stretch);
    columns->setSectionResizeMode(GasAlarmGrid::ColGas, QHeaderView::ResizeToContents);
    columns->setSectionResizeMode(GasAlarmGrid::ColEnable, QHeaderView::ResizeToContents);

    auto* top = new QHBoxLayout;
    top->addWidget(m_fraStatus, 1);
    top->addWidget(m_fraTransStatus, 0);

    auto* suffixRow = new QHBoxLayout;
    suffixRow->addWidget(m_lblTitle);
    suffixRow->addStretch(1);
    suffixRow->addWidget(m_lblSuffix);
    suffixRow->addWidget(m_txtSuffix);

    auto* right = new QVBoxLayout;
    right->addLayout(top);
    right->addWidget(m_grid, 2);
    right->addLayout(suffixRow);
    right->addWidget(m_rtbLog, 3);

    auto* main = new QHBoxLayout(central);
    main->addLayout(commands, 0);
    main->addLayout(right, 1);
}

void frmMain::applyCaptions() {
    setWindowTitle(MainCaption(UiLanguage(), AppState::FactoryMode()));
    for (int i = 0; i < 3; ++i)
        m_fraCommand[i]->setTitle(LoadMessage(kMsgReadCommands + i));
    for (std::size_t k = 0; k < kDownButtons.size(); ++k)
        m_cmdDown[kDownButtons[k]]->setText(LoadMessage(kMsgDownFirst + int(k)));
    for (int i = 0; i < kOptionCount; ++i)
        m_cmdOption[i]->setText(LoadMessage(kMsgOptionFirst + i));
    m_cmdFRAMDump->setText(LoadMessage(kMsgFramDump));
    m_cmdFactorySetting->setText(LoadMessage(kMsgDetailSettings));
    m_cmdCompareMaster->setText(LoadMessage(kMsgCompareMaster));
    m_cmdImportSetting->setText(LoadMessage(kMsgLoadLocalFile));
    m_cmdExportSetting->setText(LoadMessage(kMsgStoreLocalFile));
    m_cmdExit->setText(LoadMessage(kMsgExit));
    m_cmdFleet->setText(LoadMessage(kMsgFleet));
    m_fraStatus->setTitle(LoadMessage(kMsgStatusFrame));
    for (int i = 0; i < 3; ++i)
        m_lblIdentity[i]->setText(LoadMessage(kMsgIdentityFirst + i));
    m_lblInterval->setText(LoadMessage(kMsgInterval));
    m_lblPcClockCaption->setText(LoadMessage(kMsgPcDateTime));
    m_lblDetectorClockCaption->setText(LoadMessage(kMsgDetectorDateTime));
    m_lblRomNumberCaption->setText(LoadMessage(kMsgProgramNumber));
    m_lblSumCaption->setText(LoadMessage(kMsgSum));
    m_fraTransStatus->setTitle(LoadMessage(kMsgTransStatus));
    for (int i = 0; i < 4; ++i)
        m_lblStatus[i]->setText(LoadMessage(kMsgLampFirst + i));
    m_lblTitle->setText(LoadMessage(kMsgDownloadState));
    m_lblSuffix->setText(LoadMessage(kMsgSuffix));
    sizeCommandButtons();
}

void frmMain::sizeCommandButtons() {
    // Every command button is as wide as the widest caption with a margin on both sides.
    const QList<QPushButton*> buttons = findChildren<QPushButton*>();
    int widest = 0;
    for (QPushButton* b : buttons) {
        b->setMinimumWidth(0);
        widest = std::max(widest, b->sizeHint().width());
    }
    for (QPushButton* b : buttons)
        b->setMinimumWidth(widest + 24);
}

void frmMain::applyFont() {
    const QFont font = SharedFont::ProgramFont();
    setFont(font);
    for (QWidget* child : findChildren<QWidget*>())
        child->setFont(font);
}

void frmMain::applyModeVisibility() {
    if (!AppState::DebugMode()) {
        for (QWidget* w :
             {static_cast<QWidget*>(m_cmdDown[2]), static_cast<QWidget*>(m_cmdFRAMDump),
              static_cast<QWidget*>(m_cmdOption[3]), static_cast<QWidget*>(m_cmdOption[4]),
              static_cast<QWidget*>(m_cmdOption[5]), static_cast<QWidget*>(m_cmdOption[6])})
            w->setVisible(false);
    }
    const bool factory = AppState::FactoryMode();
    if (factory) m_cmdOption[3]->setVisible(true);
    for (QWidget* w :
         {static_cast<QWidget*>(m_cmdOption[8]), static_cast<QWidget*>(m_cmdOption[9]),
          static_cast<QWidget*>(m_cmdOption[10]), static_cast<QWidget*>(m_cmdCompareMaster)})
        w->setVisible(factory);
}

void frmMain::packCommandFrames() {
    // Visible buttons in order, top to bottom; a frame with more than four uses two columns, so
    // that the debug and factory buttons fit the window's height. Hidden ones leave no gaps.
    std::array<QList<QPushButton*>, 3> frames;
    for (int slot : kDownButtons)
        frames[0] << m_cmdDown[slot];
    frames[0] << m_cmdFRAMDump;
    for (QPushButton* b : m_cmdOption)
        frames[1] << b;
    frames[2] << m_cmdFactorySetting << m_cmdCompareMaster << m_cmdImportSetting
              << m_cmdExportSetting << m_cmdExit;
    for (int f = 0; f < 3; ++f) {
        auto* layout = static_cast<QGridLayout*>(m_fraCommand[f]->layout());
        QList<QPushButton*> shown;
        for (QPushButton* b : frames[f]) {
            layout->removeWidget(b);
            if (!b->isHidden()) shown << b;
        }
        const int columns = shown.size() > 4 ? 2 : 1;
        const int rows = int((shown.size() + columns - 1) / columns);
        for (int k = 0; k < shown.size(); ++k)
            layout->addWidget(shown[k], k % rows, k / rows);
    }
}

void frmMain::updateMinimumSize() {
    // The twips minimum, or more when the controls need more (many buttons, large fonts).
    QSize least(int(std::ceil(kMinWidthTwips / twipsPerPixelX())),
                int(std::ceil(kMinHeightTwips / twipsPerPixelY())));
    // The grid is never narrower than its captions and values need; the value columns share
    // the width evenly, so each gets what the widest of them needs.
    if (m_grid) {
        const QFontMetrics metrics(m_grid->font());
        int need = 2 * m_grid->frameWidth() + m_grid->verticalScrollBar()->sizeHint().width();
        int widestValue = 40;
        for (int c = 0; c < m_grid->columnCount(); ++c) {
            int column = c <= GasAlarmGrid::ColEnable ? m_grid->columnWidth(c) : 40;
            for (int r = 1; r < m_grid->rowCount(); ++r)
                if (const QTableWidgetItem* item = m_grid->item(r, c))
                    column = std::max(column, metrics.horizontalAdvance(item->text()) + 16);
            if (c <= GasAlarmGrid::ColEnable)
                need += column;
            else
                widestValue = std::max(widestValue, column);
        }
        need += widestValue * (m_grid->columnCount() - GasAlarmGrid::ColEnable - 1);
        m_grid->setMinimumWidth(need);
    }
    if (QLayout* layout = centralWidget()->layout()) {
        layout->activate();
        least = least.expandedTo(minimumSizeHint());
    }
    setMinimumSize(least);
}

double frmMain::twipsPerPixelX() const {
    const QScreen* s = screen() ? screen() : QApplication::primaryScreen();
    const double dpi = s ? s->logicalDotsPerInchX() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

double frmMain::twipsPerPixelY() const {
    const QScreen* s = screen() ? screen() : QApplication::primaryScreen();
    const double dpi = s ? s->logicalDotsPerInchY() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

void frmMain::applyWindowPlacement() {
    const QScreen* s = screen() ? screen() : QApplication::primaryScreen();
    const QRect area = s ? s->availableGeometry() : QRect(0, 0, 1024, 768);
    const double tx = twipsPerPixelX();
    const double ty = twipsPerPixelY();
    const WindowSize& stored = Tool().MainWindowSize;
    int width = int(stored.Width / tx);
    int height = int(stored.Height / ty);
    if (Tool().ExecuteCount == 1) {
        const double screenW = area.width() * tx;
        const double screenH = area.height() * ty;
        width = int((screenW * 0.8 > kMinWidthTwips ? screenW * 0.8 : kMinWidthTwips) / tx);
        height = int((screenH * 0.6 > kMinHeightTwips ? screenH * 0.6 : kMinHeightTwips) / ty);
    }
    width = std::max(width, minimumWidth());
    height = std::max(height, minimumHeight());
    resize(width, height);
    move(area.center() - QPoint(width / 2, height / 2));
    if (Tool().ExecuteCount != 1 && stored.State == 2)
        setWindowState(windowState() | Qt::WindowMaximized);
}

void frmMain::storeWindowPlacement() {
    WindowSize& stored = Tool().MainWindowSize;
    stored.State = isMaximized() ? 2 : 0;
    const QRect normal = isMaximized() ? normalGeometry() : geometry();
    if (normal.isValid()) {
        stored.Width = qint32(std::lround(normal.width() * twipsPerPixelX()));
        stored.Height = qint32(std::lround(normal.height() * twipsPerPixelY()));
    }
}

void frmMain::removeOldSerialLog() {
    if (Tool().SerialLogEnabled) RotateSerialLogs();
    const QString path = AppState::PathInStartupFolder(QString::fromLatin1(kLinkLogName));
    if (!QFileInfo::exists(path)) return;
    CloseLinkLog(); // the next line opens a new file, not the removed one
    QFile::remove(path);
    // Wait, bounded, until the folder no longer lists the file.
    QElapsedTimer waited;
    waited.start();
    while (QFileInfo::exists(path) && waited.elapsed() < kLogDeleteBoundMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(20);
        QFile::remove(path);
    }
    if (QFileInfo::exists(path))
        AddInfo(LoadMessage(kMsgOldLogStays, {QDir::toNativeSeparators(path)}), ColourFailure());
}

void frmMain::connectLink() {
    uclHvif* link = m_link.get();
    connect(link, &uclHvif::OnConnect, this, &frmMain::onConnect);
    connect(link, &uclHvif::Densty, this, &frmMain::onDensty);
    connect(link, &uclHvif::ConnectRetry, this, &frmMain::onConnectRetry);
    connect(link, &uclHvif::AlarmMessage, this, &frmMain::onAlarmMessage);
    connect(link, &uclHvif::DumpMessage, this, &frmMain::onDumpMessage);
    connect(link, &uclHvif::LineDown, this, &frmMain::onLineDown);
    connect(link, &uclHvif::IrDAError, this, &frmMain::onIrDAError);
}

// ---- Accessors ----

uclHvif& frmMain::link() {
    return *m_link;
}
clsInstrument& frmMain::working() {
    return m_working;
}
clsInstrument& frmMain::master() {
    return m_master;
}
GasAlarmGrid* frmMain::grid() const {
    return m_grid;
}

UiPrompts& frmMain::prompts() const {
    return m_prompts ? *m_prompts : UiPrompts::standard();
}

void frmMain::setPrompts(UiPrompts* prompts) {
    m_prompts = prompts;
}

QString frmMain::LoggerImagePath() const {
    return AppState::PathInStartupFolder(QStringLiteral("KM71.DAT"));
}

QPushButton* frmMain::cmdDown(int i) const {
    return i >= 0 && i < kDownSlots ? m_cmdDown[i] : nullptr;
}

QPushButton* frmMain::cmdOption(int i) const {
    return i >= 0 && i < kOptionCount ? m_cmdOption[i] : nullptr;
}

QGroupBox* frmMain::fraCommand(int i) const {
    return i >= 0 && i < 3 ? m_fraCommand[i] : nullptr;
}

QLineEdit* frmMain::txtOption(int i) const {
    return i >= 0 && i < 3 ? m_txtOption[i] : nullptr;
}

QFrame* frmMain::shpStatus(int i) const {
    return i >= 0 && i < 4 ? m_shpStatus[i] : nullptr;
}

QLabel* frmMain::lblStatus(int i) const {
    return i >= 0 && i < 4 ? m_lblStatus[i] : nullptr;
}

void frmMain::setDumpMessageSink(std::function<void(const QString&)> sink) {
    m_dumpSink = std::move(sink);
}

float frmMain::TakeLatestReading() {
    m_latestReadingNew = false;
    return m_latestReading;
}

// ---- Display ----

QString frmMain::MainCaption(const QString& language, bool factoryMode) {
    const bool japanese = language == QLatin1String("JP");
    QString partNumber = QStringLiteral("30539");
    if (japanese) partNumber = factoryMode ? QStringLiteral("30516") : QStringLiteral("30537");
    QString caption = LoadMessage(5001) + QStringLiteral(" [P.No.") + partNumber + u']';
    if (japanese && factoryMode) caption += QStringLiteral(" <製造ｵﾌﾟｼｮﾝ>");
    return caption;
}

void frmMain::AddInfo(const QString& text, const QColor& colour) {
    QTextCursor cursor = m_rtbLog->textCursor();
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    format.setForeground(colour);
    // Line ends inside the text ("~c") become line breaks of the log.
    QString line = text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    cursor.insertText(line + u'\n', format);
    m_rtbLog->setTextCursor(cursor);
    m_rtbLog->ensureCursorVisible();
}

bool frmMain::RecordWritable() const {
    switch (m_origin) {
    case RecordOrigin::File:
        return true;
    case RecordOrigin::Detector:
        return m_readConnection == m_connections && m_working.CommFlags();
    default:
        return false;
    }
}

bool frmMain::RecordFromEarlierDetector() const {
    return m_origin == RecordOrigin::Detector && m_readConnection != m_connections;
}

bool frmMain::RecordReadFromDetector() const {
    return m_origin == RecordOrigin::Detector && RecordWritable();
}

void frmMain::UpdateCommandStates() {
    const bool connected = m_link->Connected();
    const bool hasData = m_working.ImportFlag() || m_working.CommFlags();
    // Settings of a detector that was connected earlier are shown greyed and cannot be edited.
    const bool earlier = RecordFromEarlierDetector();
    const bool writable = connected && RecordWritable();

    for (QLineEdit* box : m_txtOption)
        SetControlEnabled(box, hasData && !earlier);
    SetControlEnabled(m_cmbInterval, hasData && !earlier);
    for (int slot : kDownButtons)
        m_cmdDown[slot]->setEnabled(connected);
    m_cmdFRAMDump->setEnabled(connected);
    m_cmdFactorySetting->setEnabled(true);
    for (int i = 0; i < kOptionCount; ++i) {
        // "Update", "Calibration", "Update ID", "Write Serial No" and "Write Factory No " send
        // settings of the record: only a record that is known may go to the detector.
        const bool writesRecord = i == 0 || i == 2 || i == 7 || i == 9 || i == 10;
        m_cmdOption[i]->setEnabled(connected && (!writesRecord || writable));
    }
    m_cmdImportSetting->setEnabled(true);
    m_cmdExportSetting->setEnabled(true);
    SetControlEnabled(m_txtSuffix, connected);
    if (m_grid) m_grid->setEnabled((connected || hasData) && !earlier);
    if (m_fraStatus)
        m_fraStatus->setTitle(LoadMessage(earlier ? kMsgStatusEarlierDetector : kMsgStatusFrame));
}

void frmMain::RefreshInstrumentView() {
    m_displayRefresh = true;
    if (m_grid) m_grid->setRefreshing(true);
    UpdateCommandStates();

    const qint32 status = m_link->Status();
    const bool blank =
        status == 0 || status == 1 || (!m_working.ImportFlag() && !m_working.CommFlags());
    if (blank) {
        for (QLineEdit* box : m_txtOption)
            box->clear();
        m_lblRomNumber->clear();
        m_lblSum->clear();
    } else {
        m_txtOption[0]->setText(m_working.SerialNo());
        m_txtOption[1]->setText(m_working.StationID());
        m_txtOption[2]->setText(m_working.UserID());
        m_cmbInterval->setCurrentIndex(IntervalIndex(m_working.Intervals()));
        if (m_working.CommFlags()) {
            m_lblRomNumber->setText(
                QStringLiteral("%1").arg(m_working.RomNumber(), 5, 10, QLatin1Char('0')));
            m_lblSum->setText(m_working.SUM());
        } else {
            m_lblRomNumber->clear();
            m_lblSum->clear();
        }
    }
    if (m_grid) {
        m_grid->setRecord(&m_working);
        m_grid->Rebuild(blank);
        m_grid->setRefreshing(false);
    }
    updateMinimumSize();
    m_displayRefresh = false;
}

void frmMain::EnableCommandFrames(bool enabled) {
    for (QGroupBox* frame : m_fraCommand)
        frame->setEnabled(enabled);
}

void frmMain::setLamp(int index, Lamp state) {
    if (index < 0 || index >= 4) return;
    m_lampState[index] = state;
    const QColor fill = LampFill(state);
    const QColor border = LampBorder(state);
    m_shpStatus[index]->setStyleSheet(
        QStringLiteral("QFrame { background-color: %1; border: 2px solid %2; border-radius: 8px; }")
            .arg(fill.name(), border.name()));
}

frmMain::Lamp frmMain::lamp(int index) const {
    return index >= 0 && index < 4 ? m_lampState[index] : Lamp::Off;
}

void frmMain::setCalibrationLampsVisible(bool visible) {
    for (int i = 2; i < 4; ++i) {
        m_shpStatus[i]->setVisible(visible);
        m_lblStatus[i]->setVisible(visible);
    }
}

void frmMain::UpdateClocks() {
    const QDateTime now = m_link->clock()->currentDateTime();
    const QDateTime second = now.addMSecs(-now.time().msec());
    const qint32 status = m_link->Status();
    if (status != 0 && status != 1 && m_working.CommFlags()) {
        if (second != m_clockTag || m_lblPcClock->text().isEmpty()) {
            m_clockTag = second;
            m_lblPcClock->setText(WindowDateText(second));
            const double offset = m_working.SysDateOffset();
            // The detector runs `offset` days ahead of the PC (detector minus PC at the read).
            const QDateTime detector =
                IsValidOffset(offset) ? second.addMSecs(qint64(std::llround(offset * 86400000.0)))
                                      : QDateTime();
            if (detector.isValid() && detector.date().year() >= 100 &&
                detector.date().year() <= 9999) {
                m_lblDetectorClock->setText(WindowDateText(detector));
            } else {
                m_lblDetectorClock->setText(WindowDateText(second));
                m_working.setSysDateOffset(0.0);
            }
        }
    } else {
        m_lblPcClock->setText(WindowDateText(second));
        m_lblDetectorClock->clear();
    }
}

void frmMain::onTimer() {
    UpdateClocks();
}

// ---- Activation, close, unload ----

void frmMain::Form_Activate() {
    if (m_firstActivation) {
        m_link->AddLog(LoadMessage(kMsgSerialPortStandby,
                                   {WindowDateText(m_link->clock()->currentDateTime())}));
        m_master.ClearChangeFlags();
        m_master.setImportFlag(false);
        // Nothing is known of the detector until it is read or a file is loaded: the view is
        // blank and no command writes settings.
        m_working.SetChangeFlags(true, false);
        m_working.setImportFlag(false);
        m_origin = RecordOrigin::None;
        m_link->setInstrument(&m_working);
        m_link->setStatus(6);
        RefreshInstrumentView();
        m_firstActivation = false;
    }
    // The layouts place the frames, grid and log in the client area.
    if (!isMinimized() && centralWidget() && centralWidget()->layout())
        centralWidget()->layout()->activate();
}

void frmMain::showEvent(QShowEvent* event) {
    // Measured once the window is polished: the fonts are final then.
    sizeCommandButtons();
    updateMinimumSize();
    QMainWindow::showEvent(event);
    if (m_firstActivation) Form_Activate();
}

bool frmMain::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) Form_Activate();
    return QMainWindow::event(event);
}

void frmMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (m_unloaded) {
        event->accept();
        return;
    }
    // A running workflow has its frames disabled: the window stays without a question.
    if (!m_cmdExit->isEnabled()) {
        event->ignore();
        return;
    }
    if (!prompts().question(this, LoadMessage(kMsgExitTitle), LoadMessage(kMsgEnd))) {
        event->ignore();
        return;
    }
    unload(true);
    event->accept();
}

void frmMain::unload(bool interactive) {
    if (m_unloaded) return;
    m_unloaded = true;
    if (m_tmrInter) m_tmrInter->stop();
    if (m_link) m_link->setTimerEnabled(false);
    storeWindowPlacement();
    Tool().FactoryRecordSuffix = m_txtSuffix->text();
    QString error;
    if (!WriteToolConfiguration(&error) && interactive)
        prompts().critical(this, AppTitle(), LoadMessage(kMsgToolConfigFailed, {error}));
}

// ---- Link events ----

void frmMain::onConnect() {
    if (!m_link->Connected()) return;
    ++m_connections;
    AddInfo(LoadMessage(kMsgConnected), ColourConnected());
    // The line was down in between: this may be another detector.
    if (RecordFromEarlierDetector()) AddInfo(LoadMessage(kMsgReadBeforeWriting), ColourFailure());
    setLamp(0, Lamp::On);
    setLamp(1, Lamp::On);
    UpdateCommandStates();
}

void frmMain::openLink() {
    m_link->DetectIrdaModule();
    if (m_link->SerialComm() && !m_link->PortOpen()) {
        AddInfo(
            ExplainOpenFailure(m_link->serialTransport()->deviceName(), m_link->lastOpenError()),
            ColourFailure());
        setLamp(0, Lamp::Error);
    }
}

void frmMain::onDensty(float& value) {
    m_latestReading = value;
    m_latestReadingNew = true;
    if (frmCalibration::WindowOpenFlag())
        if (frmCalibration* calibration = frmCalibration::Loaded())
            calibration->Refresh_InstMoment();
    emit readingArrived(value);
}

void frmMain::onConnectRetry(short& count) {
    AddInfo(LoadMessage(kMsgConnectRetry, {QString::number(count)}), ColourProgress());
}

void frmMain::onAlarmMessage(QString& text) {
    AddInfo(text, ColourLinkText());
}

void frmMain::onDumpMessage(QString& text) {
    if (m_dumpSink) m_dumpSink(text);
}

void frmMain::onLineDown() {
    setLamp(0, Lamp::On);
    setLamp(1, Lamp::Off);
    UpdateCommandStates();
    setCalibrationLampsVisible(false);
}

void frmMain::onIrDAError(short& code) {
    if (code != 10060 && code != 10048) return;
    const QString text = LoadMessage(kMsgPortsError);
    AddInfo(text, ColourFailure());
    setLamp(0, Lamp::Error);
    setLamp(1, Lamp::Off);
    prompts().critical(this, LoadMessage(kMsgPortErrorTitle), text);
}

// ---- Controls ----

void frmMain::onIntervalActivated(int index) {
    if (m_displayRefresh || index < 0 || index >= int(kIntervals.size())) return;
    m_working.setIntervals(qint16(kIntervals[index]));
}

void frmMain::onGridEnableToggled(int gas) {
    // The grid has already refused to switch off a locked gas; for any other the operator picks
    // the gas the channel is to carry, and the view shows the record again.
    if (m_displayRefresh) return;
    SelectGas(this, m_working, gas);
    RefreshInstrumentView();
}

void frmMain::onGridAlarmTest(int mask) {
    if (m_link->Connected()) m_link->AlarmTest(qint16(mask));
}

void frmMain::onSuffixEdited(const QString& text) {
    Tool().FactoryRecordSuffix = text;
}

void frmMain::onFactorySetting() {
    if (RefusedEdit::remind()) return;
    // The dialog edits a copy and hands back only what it changed.
    frmFsDialog dialog(&m_working, this);
    dialog.setPrompts(m_prompts);
    dialog.exec();
    RefreshInstrumentView();
}

void frmMain::onFramDump() {
    FramDumpCommand(*this);
}

// ---- Configuration files and the master comparison ----

void frmMain::cmdImportSetting_Click() {
    if (RefusedEdit::remind()) return;
    const QString path = prompts().openFileName(this, LoadMessage(kMsgLoadLocalFile),
                                                SettingFileFilter(), LoadMessage(kMsgConfigData));
    if (path.isEmpty()) return;
    ImportSettingFile(path);
}

void frmMain::cmdExportSetting_Click() {
    if (RefusedEdit::remind()) return;
    const QString path = prompts().saveFileName(this, LoadMessage(kMsgStoreLocalFile),
                                                SettingFileFilter(), LoadMessage(kMsgConfigData));
    if (path.isEmpty()) return;
    ExportSettingFile(path);
}

bool frmMain::ImportSettingFile(const QString& path) {
    // STEL and TWA from a file are held to the ranges a typed value is; a file that breaks them
    // is refused whole, before anything changes.
    clsInstrument preview = m_working;
    if (SettingsFile::Read(path, preview).ok) {
        if (const auto broken = FirstExposureLimitOutOfRange(preview)) {
            const auto [gas, item] = *broken;
            const int column =
                item == AlarmItem::Stel ? GasAlarmGrid::ColStel : GasAlarmGrid::ColTwa;
            prompts().critical(
                this, AppTitle(),
                LoadMessage(kMsgImportFailed, {GasAlarmGrid::RefusalText(preview, gas, column)}));
            return false;
        }
    }
    setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const SettingsFile::ReadResult result = SettingsFile::Import(path, m_working, m_master);
    QApplication::restoreOverrideCursor();
    setEnabled(true);
    for (const QString& warning : result.warnings)
        prompts().message(this, AppTitle(), warning);
    if (!result.ok) {
        prompts().critical(this, AppTitle(), LoadMessage(kMsgImportFailed, {result.error}));
        return false;
    }
    m_cmdCompareMaster->setEnabled(true);
    m_masterFile = path;
    m_origin = RecordOrigin::File;
    m_link->setInstrument(&m_working);
    m_link->setStatus(6);
    RefreshInstrumentView();
    return true;
}

bool frmMain::ExportSettingFile(const QString& path) {
    QString error;
    if (SettingsFile::Write(m_working, path, &error)) return true;
    prompts().critical(this, AppTitle(), LoadMessage(kMsgExportFailed, {error}));
    return false;
}

void frmMain::cmdCompareMaster_Click() {
    if (RefusedEdit::remind()) return;
    const MasterCompare::Result result = MasterCompare::Compare(m_master, m_working);
    if (!result.compared) return;
    for (const MasterCompare::Difference& d : result.differences)
        AddInfo(d.text, ColourFailure());
    if (result.allOk()) {
        AddInfo(MasterCompare::OkText(), ColourCompareOk());
        Sounds::Play(QStringLiteral("OK.wav"));
    } else {
        Sounds::Play(QStringLiteral("NG.wav"));
    }
    RegisterEvent event = MakeEvent(EventKind::MasterCompare, m_working, true);
    event.details[QStringLiteral("verdict")] =
        result.allOk() ? QStringLiteral("PASS") : QStringLiteral("FAIL");
    QJsonArray differences;
    for (const MasterCompare::Difference& d : result.differences)
        differences.append(d.text);
    event.details[QStringLiteral("differences")] = differences;
    RecordEvent(event);
    // The differences also go to a table from which chosen settings are written.
    frmProvision::ShowComparison(*this, result);
}

// ---- Fleet register ----

void frmMain::RecordEvent(const RegisterEvent& event) {
    ++m_recordsInFlight;
    QPointer<frmMain> self(this);
    EventRecorder::forTool().recordInBackground(event, [self](EventRecorder::Outcome outcome) {
        if (!self) return;
        --self->m_recordsInFlight;
        if (outcome.stored) {
            self->m_pendingShown = false;
            return;
        }
        // Said once; the records that follow wait in the same queue.
        if (self->m_pendingShown) return;
        self->m_pendingShown = true;
        self->AddInfo(LoadMessage(kMsgRecordPending, {outcome.sentence}), ColourFailure());
    });
}

const clsInstrument* frmMain::DetectorOnRecord() const {
    const bool read = m_connections > 0 && m_readConnection == m_connections;
    return read ? &m_registerBaseline : nullptr;
}

void frmMain::cmdFleet_Click() {
    frmFleet::Open(this, m_prompts);
}
