#include "ui/GasAlarmGrid.h"

#include "configuration/ToolSettings.h"
#include "instrument/AlarmRules.h"
#include "instrument/clsInstrument.h"
#include "shell/Messages.h"
#include "shell/modGasCommon.h"
#include "widgets/CheckedCellDelegate.h"
#include "widgets/RefusedEdit.h"
#include "widgets/UiPrompts.h"

#include <QAbstractItemModel>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kMsgGasHeader = 5648;
constexpr int kMsgEnableHeader = 5800;
constexpr int kMsgWarningHeader = 5650;
constexpr int kMsgAlarmHeader = 5651;
constexpr int kMsgStelHeader = 5652;
constexpr int kMsgTwaHeader = 5653;
constexpr int kMsgAutoCalHeader = 5654;
constexpr int kMsgA1hHeader = 20012;
constexpr int kMsgAlarmPointsHeader = 5801;
constexpr int kMsgSensorNotRemoved = 5802;
constexpr int kMsgSensorOnOff = 5803;
constexpr int kMsgAllowedRange = 5913;
constexpr int kMsgEnterNumber = 5914;

// Editor properties: the cell an editor belongs to and the text its last check accepted.

// Sets the display-refresh flag for the lifetime of the guard and clears it afterwards.
class RefreshGuard {
public:
    explicit RefreshGuard(bool& flag) : m_flag(flag) { m_flag = true; }
    ~RefreshGuard() { m_flag = false; }
    RefreshGuard(const RefreshGuard&) = delete;
    RefreshGuard& operator=(const RefreshGuard&) = delete;

private:
    bool& m_flag;
};

bool isValueColumn(int column) {
    return column >= GasAlarmGrid::ColWarning && column <= GasAlarmGrid::ColAutoCal;
}

// The alarm item of a Warning, Alarm, STEL or TWA column.
AlarmItem itemOfColumn(int column) {
    switch (column) {
    case GasAlarmGrid::ColWarning:
        return AlarmItem::Warning;
    case GasAlarmGrid::ColAlarm:
        return AlarmItem::Alarm;
    case GasAlarmGrid::ColStel:
        return AlarmItem::Stel;
    default:
        return AlarmItem::Twa;
    }
}

float valueOfColumn(const clsInstrument& record, int gas, int column) {
    switch (column) {
    case GasAlarmGrid::ColWarning:
        return record.Warning(gas);
    case GasAlarmGrid::ColAlarm:
        return record.Alarm(gas);
    case GasAlarmGrid::ColStel:
        return record.Stel(gas);
    case GasAlarmGrid::ColTwa:
        return record.Twa(gas);
    default:
        return record.AutoCalib(gas);
    }
}

void storeValueOfColumn(clsInstrument& record, int gas, int column, float value) {
    switch (column) {
    case GasAlarmGrid::ColWarning:
        record.setWarning(gas, value);
        break;
    case GasAlarmGrid::ColAlarm:
        record.setAlarm(gas, value);
        break;
    case GasAlarmGrid::ColStel:
        record.setStel(gas, value);
        break;
    case GasAlarmGrid::ColTwa:
        record.setTwa(gas, value);
        break;
    default:
        record.setAutoCalib(gas, value);
        break;
    }
}

QTableWidgetItem* headerItem(const QString& text, const QBrush& background) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled);
    item->setTextAlignment(Qt::AlignCenter);
    item->setBackground(background);
    item->setForeground(GasAlarmGrid::TextColour());
    return item;
}

} // namespace

QString GasAlarmGrid::NoValueText() {
    return QStringLiteral("-----");
}

QColor GasAlarmGrid::TextColour() {
    return QColor(0, 0, 0);
}

QColor GasAlarmGrid::ErrorColour() {
    return QColor(255, 0, 0);
}

QColor GasAlarmGrid::DisabledTextColour() {
    return QColor(128, 128, 128);
}

int GasAlarmGrid::AlarmTestMask(int column) {
    switch (column) {
    case ColGas:
        return 128;
    case ColWarning:
        return 1;
    case ColAlarm:
        return 2;
    case ColStel:
        return 8;
    case ColTwa:
        return 16;
    default:
        return 0;
    }
}

GasAlarmGrid::GasAlarmGrid(QWidget* parent)
    : QTableWidget(parent), m_isLocked([](int gas) { return Tool().GasLocked(gas); }) {
    setObjectName(QStringLiteral("vfgOption"));
    auto* delegate = new CheckedCellDelegate(
        [this](int row, int column, QString& text) { return ValidateEdit(row, column, text); },
        this);
    delegate->setCommitted([this] { cellCommitted(); });
    delegate->setReason([this](int row, int column, const QString&) {
        return m_record ? RefusalText(*m_record, row - kHeaderRows, column) : QString();
    });
    setItemDelegate(delegate);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                    QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    setWordWrap(false);
    connect(this, &QTableWidget::itemChanged, this, &GasAlarmGrid::onItemChanged);

    setColumnCount(ColumnTotal);
    const QFontMetrics metrics(font());
    const int valueWidth = metrics.horizontalAdvance(QStringLiteral("Warning and A")) + 8;
    setColumnWidth(ColGas, metrics.horizontalAdvance(QStringLiteral("CH4(100.00%LEL)")) + 16);
    setColumnWidth(ColEnable, metrics.horizontalAdvance(QStringLiteral("Enable")) + 24);
    for (int column = ColWarning; column <= ColAutoCal; ++column)
        setColumnWidth(column, valueWidth);
    Rebuild(true);
}

void GasAlarmGrid::setRecord(clsInstrument* record) {
    m_record = record;
}

void GasAlarmGrid::setLockCheck(std::function<bool(int gas)> isLocked) {
    m_isLocked = std::move(isLocked);
}

UiPrompts& GasAlarmGrid::prompts() const {
    return m_prompts ? *m_prompts : UiPrompts::standard();
}

void GasAlarmGrid::Rebuild(bool blank) {
    const bool wasRefreshing = m_refreshing;
    m_refreshing = true;
    // An edit still open belongs to the values being replaced: it is dropped.
    if (state() == QAbstractItemView::EditingState) {
        for (QLineEdit* editor : viewport()->findChildren<QLineEdit*>()) {
            RefusedEdit::release(editor);
            closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
        }
    }
    {
        const QSignalBlocker blocker(this);
        clear();
        clearSpans();
        m_blank = blank || !m_record;
        setColumnCount(ColumnTotal);
        setRowCount(m_blank ? kHeaderRows : kHeaderRows + clsInstrument::GasCount);
        writeHeaderRows();
        if (!m_blank) {
            for (int gas = 0; gas < clsInstrument::GasCount; ++gas)
                fillGasRow(gas);
            RunColourPasses();
        }
    }
    m_refreshing = wasRefreshing;
    viewport()->update();
}

void GasAlarmGrid::writeHeaderRows() {
    const QBrush background = palette().button();
    const QString alarmPoints = LoadMessage(kMsgAlarmPointsHeader);
    for (int column = 0; column < ColumnTotal; ++column)
        setItem(0, column, headerItem(column >= ColAlarm ? alarmPoints : QString(), background));
    mergeHeaderRow();

    const bool oneHour = m_record && m_record->AK() != 0;
    const QString titles[ColumnTotal] = {
        LoadMessage(kMsgGasHeader),     LoadMessage(kMsgEnableHeader),
        LoadMessage(kMsgWarningHeader), LoadMessage(kMsgAlarmHeader),
        LoadMessage(kMsgStelHeader),    LoadMessage(oneHour ? kMsgA1hHeader : kMsgTwaHeader),
        LoadMessage(kMsgAutoCalHeader),
    };
    for (int column = 0; column < ColumnTotal; ++column)
        setItem(1, column, headerItem(titles[column], background));
}

void GasAlarmGrid::mergeHeaderRow() {
    int start = 0;
    for (int column = 1; column <= ColumnTotal; ++column) {
        const bool runEnds =
            column == ColumnTotal || item(0, column)->text() != item(0, start)->text();
        if (!runEnds) continue;
        if (column - start > 1) setSpan(0, start, 1, column - start);
        start = column;
    }
}

void GasAlarmGrid::fillGasRow(int gas) {
    const clsInstrument& r = *m_record;
    const int row = GasRow(gas);
    const int places = r.GasPoint(gas);

    auto* label = new QTableWidgetItem(
        FormatGasCaption(r.GasName(gas), r.GasUnit(gas), r.GasFullScale(gas), places));
    label->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    label->setForeground(TextColour());
    setItem(row, ColGas, label);

    auto* enable = new QTableWidgetItem(QString());
    enable->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    enable->setCheckState(r.GasEnabled(gas) ? Qt::Checked : Qt::Unchecked);
    setItem(row, ColEnable, enable);

    for (int column = ColWarning; column <= ColAutoCal; ++column) {
        auto* cell = new QTableWidgetItem(FormatReading(valueOfColumn(r, gas, column), places));
        cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
        cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        cell->setForeground(TextColour());
        setItem(row, column, cell);
    }
}

void GasAlarmGrid::setCellColour(int row, int column, bool valid) {
    if (QTableWidgetItem* cell = item(row, column))
        cell->setForeground(valid ? TextColour() : ErrorColour());
}

void GasAlarmGrid::RunColourPasses() {
    if (m_blank || !m_record) return;
    const QSignalBlocker blocker(this);
    const clsInstrument& r = *m_record;
    for (int gas = 0; gas < clsInstrument::GasCount; ++gas) {
        const int row = GasRow(gas);
        if (row >= rowCount()) break;
        // Pass 1: order of the alarm points and the auto-calibration rule.
        const bool ordered = AlarmOrderValid(r, gas);
        setCellColour(row, ColWarning, ordered);
        setCellColour(row, ColAlarm, ordered);
        setCellColour(row, ColAutoCal, ::AutoCalValid(r, gas));
        // Pass 2: ranges of the values shown as numbers; STEL and TWA only above gas 1.
        for (int column = ColWarning; column <= ColTwa; ++column) {
            const bool exposure = column == ColStel || column == ColTwa;
            if (exposure && gas <= 1) continue;
            const float value = valueOfColumn(r, gas, column);
            if (IsShownAsNumber(value) && !AlarmRangeValid(r, gas, itemOfColumn(column), value))
                setCellColour(row, column, false);
        }
    }
}

bool GasAlarmGrid::AlarmPointsValid() const {
    return !m_record || RecordAlarmPointsValid(*m_record);
}

bool GasAlarmGrid::AutoCalValid() const {
    return !m_record || RecordAutoCalValid(*m_record);
}

bool GasAlarmGrid::BeforeEdit(int row, int column) {
    if (m_refreshing || m_blank || !m_record) return false;
    if (row < kHeaderRows || row >= rowCount() || column < 0 || column >= ColumnTotal) return false;
    bool allowed = false;
    {
        const RefreshGuard guard(m_refreshing);
        const QTableWidgetItem* enable = item(row, ColEnable);
        const QTableWidgetItem* cell = item(row, column);
        allowed = enable && enable->checkState() == Qt::Checked && cell &&
                  cell->foreground().color() != DisabledTextColour();
    }
    if (allowed && (currentRow() != row || currentColumn() != column)) setCurrentCell(row, column);
    return allowed;
}

QString GasAlarmGrid::RefusalText(const clsInstrument& record, int gas, int column) {
    const int places = record.GasPoint(gas);
    const int caption = column == ColWarning ? kMsgWarningHeader
                        : column == ColAlarm ? kMsgAlarmHeader
                        : column == ColStel  ? kMsgStelHeader
                        : column == ColTwa   ? kMsgTwaHeader
                                             : kMsgAutoCalHeader;
    double low = 0.0;
    double high = record.GasFullScale(gas);
    if (column == ColAutoCal) {
        // At or beyond the warning point: above it, or below it for oxygen.
        const float warning = record.Warning(gas);
        const QString name = record.GasName(gas).trimmed();
        const bool oxygen = name == QLatin1String("O2") || name == QLatin1String("OXY");
        if (warning >= 0.0f && oxygen) high = std::min<double>(high, warning);
        if (warning >= 0.0f && !oxygen) low = warning;
    } else if (!AlarmRangeBounds(record, gas, itemOfColumn(column), &low, &high)) {
        return LoadMessage(kMsgEnterNumber, {LoadMessage(caption)});
    }
    if (std::isinf(low)) low = 0.0;
    return LoadMessage(kMsgAllowedRange, {LoadMessage(caption), FormatReading(float(low), places),
                                          FormatReading(float(high), places)});
}

bool GasAlarmGrid::ValidateEdit(int row, int column, QString& text) {
    if (m_refreshing || m_blank || !m_record) return false;
    if (row < kHeaderRows || row >= rowCount() || !isValueColumn(column)) return false;
    const RefreshGuard guard(m_refreshing);
    clsInstrument& r = *m_record;
    const int gas = row - kHeaderRows;
    const int places = r.GasPoint(gas);
    const QString entered = text.trimmed();
    bool accepted = false;

    if (entered.isEmpty() || entered == NoValueText()) {
        // An emptied cell marks the value as not used.
        storeValueOfColumn(r, gas, column, clsInstrument::NoValue);
        text = NoValueText();
        accepted = true;
    } else if (IsNumberText(entered)) {
        const float typed = ParseLocaleNumber(entered);
        if (column == ColAutoCal) {
            const float fullScale = r.GasFullScale(gas);
            const float snapped = SnapToResolution(r, gas, typed);
            accepted = typed >= 0.0f && typed <= fullScale && AutoCalRuleValid(r, gas, typed) &&
                       snapped <= fullScale && AutoCalRuleValid(r, gas, snapped);
            if (accepted) storeValueOfColumn(r, gas, column, snapped);
        } else {
            const float snapped = SnapToResolution(r, gas, typed);
            accepted = AlarmRangeValid(r, gas, itemOfColumn(column), snapped);
            if (accepted) storeValueOfColumn(r, gas, column, snapped);
        }
        if (accepted) text = FormatReading(valueOfColumn(r, gas, column), places);
    }

    RunColourPasses();
    return accepted;
}

void GasAlarmGrid::cellCommitted() {
    RunColourPasses();
    emit edited();
}

bool GasAlarmGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (index.isValid() && !BeforeEdit(index.row(), index.column())) return false;
    return QTableWidget::edit(index, trigger, event);
}

void GasAlarmGrid::mousePressEvent(QMouseEvent* event) {
    const Qt::KeyboardModifiers test = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;
    if (event->button() == Qt::LeftButton && (event->modifiers() & test)) {
        emit alarmTestRequested(AlarmTestMask(columnAt(qRound(event->position().x()))));
        event->accept();
        return;
    }
    QTableWidget::mousePressEvent(event);
}

void GasAlarmGrid::onItemChanged(QTableWidgetItem* changed) {
    if (m_refreshing || m_blank || !m_record || !changed) return;
    if (changed->column() != ColEnable || changed->row() < kHeaderRows) return;
    const int gas = changed->row() - kHeaderRows;
    const bool checked = changed->checkState() == Qt::Checked;
    if (checked == m_record->GasEnabled(gas)) return;
    // Handled once the click that toggled the box has been processed completely.
    QTimer::singleShot(0, this, [this, gas] { afterEnableEdit(gas); });
}

void GasAlarmGrid::afterEnableEdit(int gas) {
    if (m_refreshing || m_blank || !m_record) return;
    const int row = GasRow(gas);
    QTableWidgetItem* enable = item(row, ColEnable);
    if (!enable) return;
    m_refreshing = true;
    if (m_isLocked && m_isLocked(gas)) {
        prompts().information(this, LoadMessage(kMsgSensorOnOff),
                              LoadMessage(kMsgSensorNotRemoved));
        if (QTableWidgetItem* box = item(row, ColEnable)) {
            const QSignalBlocker blocker(this);
            box->setCheckState(m_record->GasEnabled(gas) ? Qt::Checked : Qt::Unchecked);
        }
        m_refreshing = false;
        return;
    }
    emit enableToggled(gas);
    Rebuild(m_blank);
    m_refreshing = false;
}
