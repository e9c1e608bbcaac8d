#include "ui/frmCalibration.h"

#include "configuration/ToolSettings.h"
#include "instrument/GasChannel.h"
#include "instrument/WireFormat.h"
#include "link/uclHvif.h"
#include "records/CalibrationCertificate.h"
#include "records/FactoryRecord.h"
#include "register/RegisterEvent.h"
#include "shell/AppState.h"
#include "shell/Messages.h"
#include "shell/modGasCommon.h"
#include "ui/GasAlarmGrid.h"
#include "ui/ReadingChart.h"
#include "ui/WindowHost.h"
#include "ui/frmUploadCalib.h"
#include "widgets/CheckedCellDelegate.h"
#include "widgets/RefusedEdit.h"
#include "widgets/SharedFont.h"
#include "widgets/UiPrompts.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

constexpr int kMsgWindowTitle = 5950;
constexpr int kMsgFrameCaption = 5951;
constexpr int kMsgZero = 5952;
constexpr int kMsgSpan = 5953;
constexpr int kMsgExit = 5954;
constexpr int kMsgGridHeader = 5955;
constexpr int kMsgAdjustmentComplete = 5958;
constexpr int kMsgCertificateWritten = 2247;
constexpr int kMsgCertificateFailed = 2248;
constexpr int kMsgFailed = 5959;
constexpr int kMsgAdjustmentTitle = 5960;
constexpr int kMsgNoSensorsSelected = 5961;
constexpr int kMsgSpanNotPerformed = 5962;
constexpr int kMsgCalibrationFail = 5956;
constexpr int kMsgImproperAutoCal = 5866;
constexpr int kMsgAutoCalTitle = 5654;
constexpr int kMsgAcceptancePass = 6152;
constexpr int kMsgAcceptanceFail = 6153;
constexpr int kMsgAcceptanceStatusFail = 6154;
constexpr int kMsgAcceptanceNoReading = 6155;
constexpr int kMsgToleranceRefused = 6156;

// Command slots of the window.
constexpr int kZero = 0;
constexpr int kSpan = 1;
constexpr int kExit = 3;

// Shares of the grid width taken by the first three columns, in percent; the last takes the rest.
constexpr int kColumnShares[] = {30, 10, 30};

// Editor properties: the cell an editor belongs to and the text its last check accepted.

// The calibration window that is loaded now, the program-wide open flag and span selection.
QPointer<frmCalibration> g_loaded;
bool g_windowOpen = false;
std::array<bool, clsInstrument::GasCount> g_selected{};

bool isGas(int gas) {
    return gas >= 0 && gas < clsInstrument::GasCount;
}

// Raises a flag for the lifetime of the guard and restores its earlier state afterwards.
class FlagGuard {
public:
    explicit FlagGuard(bool& flag) : m_flag(flag), m_saved(flag) { m_flag = true; }
    ~FlagGuard() { m_flag = m_saved; }
    FlagGuard(const FlagGuard&) = delete;
    FlagGuard& operator=(const FlagGuard&) = delete;

private:
    bool& m_flag;
    bool m_saved;
};

// Raises the main window's display-refresh flag while a span concentration edit is checked.
class DisplayRefreshGuard {
public:
    explicit DisplayRefreshGuard(WindowHost& main) : m_main(main), m_saved(main.DisplayRefresh()) {
        m_main.setDisplayRefresh(true);
    }
    ~DisplayRefreshGuard() { m_main.setDisplayRefresh(m_saved); }
    DisplayRefreshGuard(const DisplayRefreshGuard&) = delete;
    DisplayRefreshGuard& operator=(const DisplayRefreshGuard&) = delete;

private:
    WindowHost& m_main;
    bool m_saved;
};

} // namespace

// ---- Program-wide state ----

frmCalibration* frmCalibration::Loaded() {
    return g_loaded.data();
}

bool frmCalibration::WindowOpenFlag() {
    return g_windowOpen;
}

void frmCalibration::setWindowOpenFlag(bool on) {
    g_windowOpen = on;
}

bool frmCalibration::Selected(int gas) {
    return isGas(gas) && g_selected[gas];
}

void frmCalibration::setSelected(int gas, bool on) {
    if (isGas(gas)) g_selected[gas] = on;
}

frmCalibration::GasFlags frmCalibration::Selection() {
    return g_selected;
}

QColor frmCalibration::NotCalibratableColour() {
    return QColor(192, 192, 192);
}

QColor frmCalibration::TextColour() {
    return QColor(0, 0, 0);
}

// ---- Construction ----

frmCalibration::frmCalibration(WindowHost& main, QWidget* parent)
    : QDialog(parent ? parent : main.hostWidget()), m_main(main), m_link(&main.link()) {
    setObjectName(QStringLiteral("frmCalibration"));
    m_detectorAutoCal.fill(clsInstrument::NoValue);
    buildWidgets();
    applyCaptions();
    SharedFont::Apply(this);
    Rebuild();
}

frmCalibration::~frmCalibration() {
    // A window that goes without being left (its main window closing) stops the readings too;
    // the link may already be gone then.
    if (m_loaded && m_link) m_link->setRunDensty(false);
}

frmCalibration* frmCalibration::Open(WindowHost& main) {
    auto* window = new frmCalibration(main);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowModality(Qt::ApplicationModal);
    window->show();
    return window;
}

void frmCalibration::buildWidgets() {
    m_fraCalibration = new QGroupBox(this);
    m_fraCalibration->setObjectName(QStringLiteral("fraCalibration"));

    m_grid = new QTableWidget(m_fraCalibration);
    m_grid->setObjectName(QStringLiteral("vfgCal"));
    auto* delegate = new CheckedCellDelegate(
        [this](int row, int column, QString& text) { return ValidateEdit(row, column, text); },
        m_grid);
    delegate->setBeforeEdit([this](int row, int column) { return BeforeEdit(row, column); });
    delegate->setReason([this](int row, int, const QString&) {
        // The span concentration takes what the alarm grid's "Auto Cal." column takes.
        clsInstrument limits = m_main.working();
        const int gas = row - kHeaderRows;
        limits.setGasFullScale(gas, m_record.GasFullScale(gas));
        return GasAlarmGrid::RefusalText(limits, gas, GasAlarmGrid::ColAutoCal);
    });
    m_grid->setItemDelegate(delegate);
    m_grid->horizontalHeader()->hide();
    m_grid->verticalHeader()->hide();
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                            QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    m_grid->setWordWrap(false);
    m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_grid->setColumnCount(ColumnTotal);
    m_grid->viewport()->installEventFilter(this);
    connect(m_grid, &QTableWidget::itemChanged, this, &frmCalibration::onItemChanged);

    auto* buttons = new QHBoxLayout;
    for (int slot : {kZero, kSpan, kExit}) {
        auto* button = new QPushButton(m_fraCalibration);
        button->setObjectName(QStringLiteral("cmdCal%1").arg(slot));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, slot] { cmdCal_Click(slot); });
        m_cmdCal[slot] = button;
    }
    buttons->addWidget(m_cmdCal[kZero]);
    buttons->addWidget(m_cmdCal[kSpan]);
    buttons->addStretch(1);
    buttons->addWidget(m_cmdCal[kExit]);

    m_chart = new ReadingChart(m_fraCalibration);

    auto* frameLayout = new QVBoxLayout(m_fraCalibration);
    frameLayout->addWidget(m_grid, 1);
    frameLayout->addWidget(m_chart, 2);
    frameLayout->addLayout(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_fraCalibration);

    const QFontMetrics metrics(font());
    resize(metrics.horizontalAdvance(QStringLiteral("M")) * 60,
           metrics.height() * 14 + 2 * metrics.height());
}

void frmCalibration::applyCaptions() {
    setWindowTitle(LoadMessage(kMsgWindowTitle));
    m_fraCalibration->setTitle(LoadMessage(kMsgFrameCaption));
    m_cmdCal[kZero]->setText(LoadMessage(kMsgZero));
    m_cmdCal[kSpan]->setText(LoadMessage(kMsgSpan));
    m_cmdCal[kExit]->setText(LoadMessage(kMsgExit));
}

QPushButton* frmCalibration::cmdCal(int i) const {
    return i >= 0 && i < kCommandSlots ? m_cmdCal[i] : nullptr;
}

// ---- Opening and leaving ----

void frmCalibration::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous() || !m_firstActivation) return;
    m_firstActivation = false;
    Load();
}

void frmCalibration::Load() {
    uclHvif& link = m_main.link();
    g_windowOpen = true;
    g_loaded = this;
    m_loaded = true;
    link.setCancel(false);
    // The detector is read before the readings start streaming, so that no reading request
    // competes with the reads.
    ReadFromDetector();
    link.setRunDensty(true);
}

void frmCalibration::ReadFromDetector() {
    uclHvif& link = m_main.link();
    m_record.ClearDatas();
    link.GetGasInfo(m_record);
    link.GetAutoCalDensty(m_record);
    for (int gas = 0; gas < clsInstrument::GasCount; ++gas) {
        m_calibratable[gas] = m_record.GasEnabled(gas) && m_record.AutoCalib(gas) >= 0.0f;
        g_selected[gas] = m_calibratable[gas];
        m_detectorAutoCal[gas] = m_record.AutoCalib(gas);
    }
    Rebuild();
}

void frmCalibration::done(int result) {
    // An adjustment ends by itself; the window stays until then.
    if (m_adjusting) return;
    Unload();
    QDialog::done(result);
}

void frmCalibration::Unload() {
    if (!m_loaded) return;
    m_loaded = false;
    if (g_loaded == this) g_loaded = nullptr;
    if (m_link) m_link->setRunDensty(false);
}

// ---- Grid ----

bool frmCalibration::Calibratable(int gas) const {
    return isGas(gas) && m_calibratable[gas];
}

float frmCalibration::DetectorAutoCalib(int gas) const {
    return isGas(gas) ? m_detectorAutoCal[gas] : clsInstrument::NoValue;
}

void frmCalibration::setDetectorAutoCalib(int gas, float value) {
    if (isGas(gas)) m_detectorAutoCal[gas] = value;
}

void frmCalibration::Rebuild() {
    FlagGuard rebuilding(m_rebuilding);
    m_grid->clear();
    m_grid->setColumnCount(ColumnTotal);
    m_grid->setRowCount(kHeaderRows + clsInstrument::GasCount);

    const QStringList titles = LoadMessage(kMsgGridHeader).split(u'|');
    const QBrush background = palette().button();
    for (int column = 0; column < ColumnTotal; ++column) {
        auto* item = new QTableWidgetItem(titles.value(column));
        item->setFlags(Qt::ItemIsEnabled);
        item->setTextAlignment(Qt::AlignCenter);
        item->setBackground(background);
        item->setForeground(TextColour());
        m_grid->setItem(0, column, item);
    }
    for (int gas = 0; gas < clsInstrument::GasCount; ++gas)
        fillGasRow(gas);
    layoutColumns();
    m_grid->viewport()->update();
}

void frmCalibration::fillGasRow(int gas) {
    FlagGuard rebuilding(m_rebuilding);
    const int row = GasRow(gas);
    const int places = m_record.GasPoint(gas);
    const bool calibratable = m_calibratable[gas];
    const QColor colour = calibratable ? TextColour() : NotCalibratableColour();

    auto* label = new QTableWidgetItem(FormatGasCaption(
        m_record.GasName(gas), m_record.GasUnit(gas), m_record.GasFullScale(gas), places));
    label->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    label->setForeground(colour);
    m_grid->setItem(row, ColGas, label);

    auto* select = new QTableWidgetItem(QString());
    select->setFlags(calibratable
                         ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable
                         : Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    select->setCheckState(calibratable && g_selected[gas] ? Qt::Checked : Qt::Unchecked);
    select->setForeground(colour);
    m_grid->setItem(row, ColSelect, select);

    auto* span = new QTableWidgetItem(
        FormatReading(calibratable ? m_record.AutoCalib(gas) : clsInstrument::NoValue, places));
    span->setFlags(calibratable ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable
                                : Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    span->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    span->setForeground(colour);
    m_grid->setItem(row, ColAutoCal, span);

    auto* reading = new QTableWidgetItem(QString());
    reading->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    reading->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    reading->setForeground(colour);
    m_grid->setItem(row, ColReading, reading);
    setReadingCell(gas);
}

void frmCalibration::setReadingCell(int gas) {
    QTableWidgetItem* cell = m_grid->item(GasRow(gas), ColReading);
    if (!cell) return;
    FlagGuard rebuilding(m_rebuilding);
    const float value = Selected(gas) ? m_main.LatestReading() : clsInstrument::NoValue;
    cell->setText(FormatReading(value, m_record.GasPoint(gas)));
}

void frmCalibration::layoutColumns() {
    const int width = m_grid->viewport()->width();
    int used = 0;
    for (int column = 0; column < ColumnTotal - 1; ++column) {
        const int share = width * kColumnShares[column] / 100;
        m_grid->setColumnWidth(column, share);
        used += share;
    }
    m_grid->setColumnWidth(ColumnTotal - 1, qMax(0, width - used));
}

bool frmCalibration::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_grid->viewport() && event->type() == QEvent::Resize) layoutColumns();
    return QDialog::eventFilter(watched, event);
}

void frmCalibration::Refresh_InstMoment() {
    for (int gas = 0; gas < clsInstrument::GasCount; ++gas)
        setReadingCell(gas);
    feedChart();
    m_grid->viewport()->repaint();
}

void frmCalibration::feedChart() {
    // The chart follows the first selected gas, with the reading its cell shows.
    for (int gas = 0; gas < clsInstrument::GasCount; ++gas) {
        if (!Selected(gas)) continue;
        const clsInstrument& levels = m_main.working();
        ReadingChart::Gas shown;
        shown.name = m_record.GasName(gas);
        shown.unit = m_record.GasUnit(gas);
        shown.fullScale = m_record.GasFullScale(gas);
        shown.resolution = m_record.GasDesit(gas);
        shown.places = m_record.GasPoint(gas);
        shown.warning = levels.Warning(gas);
        shown.alarm = levels.Alarm(gas);
        shown.span = m_record.AutoCalib(gas);
        m_chart->setGas(shown);
        if (m_link) m_chart->addReading(m_link->clock()->currentDateTime(), m_main.LatestReading());
        return;
    }
}

void frmCalibration::writeCertificate(bool asZero) {
    // Only a calibration the detector reports as complete for every gas it covered.
    if (!m_result || !m_link || !CalibrationCertificate::Enabled()) return;
    int gasShown = -1;
    for (int gas = 0; gas < clsInstrument::GasCount; ++gas) {
        if (!((asZero && m_calibratable[gas]) || (!asZero && Selected(gas)))) continue;
        if (!m_statuses[gas]) return;
        if (gasShown < 0) gasShown = gas;
    }
    if (gasShown < 0) return;
    // The detector's latest calibration record (the span has read it already), read while no
    // reading is requested.
    if (asZero) {
        const bool streaming = m_link->RunDensty();
        m_link->setRunDensty(false);
        m_link->GetLatestHistory(m_main.working());
        if (streaming) m_link->setRunDensty(true);
    }

    const QDateTime now = m_link->clock()->currentDateTime();
    CalibrationCertificateData data = CalibrationCertificateData::FromRecords(
        m_main.working(), m_record, gasShown,
        asZero ? CalibrationCertificateData::Kind::Zero : CalibrationCertificateData::Kind::Span,
        true, now, DetectorClock(m_main.working(), now));
    if (!asZero) data.acceptance = m_acceptance;
    const QString folder = QFileInfo(FactoryRecordPath(QString())).absolutePath();
    QStringList written;
    QString error;
    const bool ok = CalibrationCertificate::Write(data, folder, &written, &error);
    if (ok) {
        for (const QString& path : written)
            m_main.AddInfo(LoadMessage(kMsgCertificateWritten, {QDir::toNativeSeparators(path)}),
                           WindowHost::ColourProgress());
    } else {
        m_main.AddInfo(LoadMessage(kMsgCertificateFailed, {error}), WindowHost::ColourFailure());
    }
    RegisterEvent event = m_main.MakeEvent(EventKind::Certificate, m_main.working(), ok);
    if (ok)
        event.details[QStringLiteral("file")] = written.value(0);
    else
        event.details[QStringLiteral("reason")] = error;
    m_main.RecordEvent(event);
}

void frmCalibration::recordAdjustment(bool asZero, const QString& status, bool historyRead) {
    const clsInstrument& detector = m_main.working();
    // Complete only when the detector reports every gas it covered as adjusted.
    bool complete = m_result;
    for (int gas = 0; gas < clsInstrument::GasCount; ++gas)
        if ((asZero ? m_calibratable[gas] : Selected(gas)) && !m_statuses[gas]) complete = false;
    // A span the detector carried out counts only when its reading after adjustment is accepted.
    const bool accepted = asZero || !m_acceptance || m_acceptance->passed;
    RegisterEvent event = m_main.MakeEvent(asZero ? EventKind::Zero : EventKind::Span, detector,
                                           complete && accepted);
    if (!status.isEmpty()) event.details[QStringLiteral("status")] = status;
    if (!asZero && m_acceptance) {
        const QJsonObject verdict = m_acceptance->toJson();
        for (auto it = verdict.begin(); it != verdict.end(); ++it)
            event.details[it.key()] = it.value();
    }
    if (!asZero) {
        // The concentration of the first gas spanned; the readings of the detector's
        // calibration record as read after the span.
        for (int gas = 0; gas < clsInstrument::GasCount; ++gas) {
            if (!Selected(gas)) continue;
            event.details[QStringLiteral("concentration")] = ReadingValue(m_record.AutoCalib(gas));
            break;
        }
        if (complete && historyRead) {
            event.details[QStringLiteral("before")] = ReadingValue(detector.CalibBefore(0));
            event.details[QStringLiteral("after")] = ReadingValue(detector.CalibAfter(0));
        }
    }
    if (!complete)
        event.details[QStringLiteral("reason")] = LoadMessage(kMsgCalibrationFail);
    else if (!accepted)
        event.details[QStringLiteral("reason")] = m_acceptanceText;
    m_main.RecordEvent(event);
}

void frmCalibration::judgeSpan(bool historyRead) {
    m_acceptance.reset();
    m_acceptanceText.clear();
    // Only a span the detector carried out is judged; the first gas spanned is the one judged.
    if (!m_result) return;
    int gas = 0;
    while (gas < clsInstrument::GasCount && !Selected(gas))
        ++gas;
    if (gas == clsInstrument::GasCount) return;
    std::optional<double> tolerance = SpanTolerancePercent(Tool().SpanTolerance);
    if (!tolerance) {
        m_main.AddInfo(
            LoadMessage(kMsgToleranceRefused, {Tool().SpanTolerance.trimmed(),
                                               QString::number(kDefaultSpanTolerancePercent)}),
            WindowHost::ColourFailure());
        tolerance = kDefaultSpanTolerancePercent;
    }
    const SpanAcceptance a = SpanAcceptance::Judge(m_statuses[gas], m_record.AutoCalib(gas),
                                                   historyRead ? m_main.working().CalibAfter(gas)
                                                               : clsInstrument::NoValue,
                                                   m_record.GasPoint(gas), *tolerance);
    const QString unit = m_record.GasUnit(gas).trimmed();
    const QString low = a.text(a.low());
    const QString high = a.text(a.high());
    if (!a.statusOk)
        m_acceptanceText = LoadMessage(kMsgAcceptanceStatusFail, {low, high, unit});
    else if (!a.readingKnown())
        m_acceptanceText = LoadMessage(kMsgAcceptanceNoReading, {low, high, unit});
    else
        m_acceptanceText = LoadMessage(
            a.passed ? kMsgAcceptancePass : kMsgAcceptanceFail,
            {a.text(a.reading), low, high, unit, a.text(a.concentration), a.text(a.band)});
    m_main.AddInfo(m_acceptanceText,
                   a.passed ? WindowHost::ColourProgress() : WindowHost::ColourFailure());
    m_acceptance = a;
}

void frmCalibration::onItemChanged(QTableWidgetItem* item) {
    if (m_rebuilding || !item || item->column() != ColSelect) return;
    const int gas = item->row() - kHeaderRows;
    if (!Calibratable(gas)) return;
    for (int g = 0; g < clsInstrument::GasCount; ++g) {
        const QTableWidgetItem* box = m_grid->item(GasRow(g), ColSelect);
        g_selected[g] = m_calibratable[g] && box && box->checkState() == Qt::Checked;
    }
    Refresh_InstMoment();
}

bool frmCalibration::BeforeEdit(int row, int column) const {
    const int gas = row - kHeaderRows;
    if (!Calibratable(gas) || m_adjusting) return false;
    return column == ColSelect || column == ColAutoCal;
}

bool frmCalibration::ValidateEdit(int row, int column, QString& text) {
    const int gas = row - kHeaderRows;
    if (column != ColAutoCal || !Calibratable(gas) || m_adjusting) return false;
    // An edit event that fires while the check itself changes the grid is not a new edit.
    if (m_main.DisplayRefresh()) return false;
    DisplayRefreshGuard refresh(m_main);

    const int places = m_record.GasPoint(gas);
    const QString entered = text.trimmed();
    if (entered.isEmpty()) {
        // No span concentration: the gas can no longer be chosen for a span.
        m_record.setAutoCalib(gas, clsInstrument::NoValue);
        m_calibratable[gas] = false;
        g_selected[gas] = false;
        fillGasRow(gas);
        text = FormatReading(clsInstrument::NoValue, places);
        return true;
    }
    float value = 0.0f;
    if (IsNumberText(entered)) {
        value = ParseLocaleNumber(entered);
        if (value < 0.0f || value > m_record.GasFullScale(gas)) return false;
        if (!IsAtWarning(m_main.working(), gas, value)) return false;
        // A gas without a resolution keeps the value as entered.
        const float step = m_record.GasDesit(gas);
        if (step > 0.0f) value = RoundToStep(value, step);
    } else if (!entered.contains(QStringLiteral("--"))) {
        return false;
    }
    m_record.setAutoCalib(gas, value);
    text = FormatReading(m_record.AutoCalib(gas), places);
    return true;
}

// ---- Adjustments ----

void frmCalibration::cmdCal_Click(int index) {
    if (m_adjusting || RefusedEdit::remind()) return;
    switch (index) {
    case kZero:
        ZeroAdjustment();
        break;
    case kSpan:
        SpanAdjustment();
        break;
    case kExit:
        reject();
        break;
    default:
        break;
    }
}

void frmCalibration::setAdjusting(bool on) {
    m_adjusting = on;
    for (QPushButton* button : m_cmdCal)
        if (button) button->setEnabled(!on);
    m_grid->setEnabled(!on);
    m_chart->setPaused(on);
}

void frmCalibration::ZeroAdjustment() {
    m_result = false;
    m_resultText.clear();
    m_acceptance.reset();
    AppState::setOperationState(3);
    setAdjusting(true);
    QString status;
    {
        frmUploadCalib dialog(m_main, *this);
        dialog.Run();
        status = dialog.StatusText();
    }
    setAdjusting(false);
    AppState::setOperationState(0);
    recordAdjustment(true, status, false);
    writeCertificate(true);
    ShowResult();
}

void frmCalibration::SpanAdjustment() {
    m_grid->setCurrentCell(GasRow(0), ColSelect);
    bool any = false;
    for (int gas = 0; gas < clsInstrument::GasCount; ++gas)
        any = any || Selected(gas);
    if (!any) {
        m_main.prompts().critical(this, LoadMessage(kMsgSpanNotPerformed),
                                  LoadMessage(kMsgNoSensorsSelected));
        return;
    }
    if (!SpanConcentrationsWritable()) {
        m_main.prompts().critical(this, LoadMessage(kMsgAutoCalTitle),
                                  LoadMessage(kMsgImproperAutoCal));
        return;
    }
    m_result = false;
    m_resultText.clear();
    AppState::setOperationState(4);
    setAdjusting(true);
    QString status;
    bool historyRead = false;
    {
        frmUploadCalib dialog(m_main, *this);
        dialog.Run();
        status = dialog.StatusText();
        historyRead = dialog.HistoryRead();
    }
    setAdjusting(false);
    AppState::setOperationState(0);
    judgeSpan(historyRead);
    recordAdjustment(false, status, historyRead);
    writeCertificate(false);
    ShowResult();
}

bool frmCalibration::SpanConcentrationsWritable() const {
    // A concentration that goes to the detector before the span must be one the edit check
    // takes for a number, and a span needs gas: "--" leaves 0, which is never written.
    for (int gas = 0; gas < clsInstrument::GasCount; ++gas) {
        if (!Selected(gas)) continue;
        const int places = m_record.GasPoint(gas);
        const float value = m_record.AutoCalib(gas);
        if (WireFormat::Val5(value, places) == WireFormat::Val5(m_detectorAutoCal[gas], places))
            continue;
        if (value <= 0.0f || value > m_record.GasFullScale(gas) ||
            !IsAtWarning(m_main.working(), gas, value))
            return false;
    }
    return true;
}

void frmCalibration::ShowResult() {
    if (m_result)
        m_main.prompts().information(this, LoadMessage(kMsgAdjustmentTitle), m_resultText);
}

void frmCalibration::SetCalibResult(bool result, const GasFlags& statuses, bool asZero) {
    QString text;
    for (int gas = 0; gas < clsInstrument::GasCount; ++gas) {
        if (!((asZero && m_calibratable[gas]) || Selected(gas))) continue;
        const QString name = m_record.GasName(gas);
        if (statuses[gas]) {
            text += name + QStringLiteral("  ") + LoadMessage(kMsgAdjustmentComplete) +
                    QStringLiteral("\r\n");
        } else {
            const float reading = Selected(gas) ? m_main.LatestReading() : clsInstrument::NoValue;
            text += name + u'(' + FormatReading(reading, m_record.GasPoint(gas)) +
                    QStringLiteral(") ") + LoadMessage(kMsgFailed) + QStringLiteral("\r\n");
        }
    }
    m_resultText = text;
    m_statuses = statuses;
    m_result = result;
}
