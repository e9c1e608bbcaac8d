#pragma once

#include <QColor>
#include <QTableWidget>
#include <functional>

class clsInstrument;
class UiPrompts;

// The settings grid of the main window (`vfgOption`): two header rows and one row per gas
// (gas n in row n + 2) with the gas label, the Enable check box, the Warning, Alarm, STEL, TWA
// and Auto Cal. concentrations. Edits are checked against the alarm rules and written straight
// into the working record (whose setters raise the change flags); cells whose value breaks a
// rule show red. A modified click (Shift, Ctrl or Alt) asks for the detector's alarm test.
class GasAlarmGrid : public QTableWidget {
    Q_OBJECT
public:
    // Columns of the grid.
    enum Column {
        ColGas = 0,
        ColEnable = 1,
        ColWarning = 2,
        ColAlarm = 3,
        ColStel = 4,
        ColTwa = 5,
        ColAutoCal = 6,
        ColumnTotal = 7
    };
    // Fixed header rows above the first gas row.
    static constexpr int kHeaderRows = 2;
    // Text of a concentration that is not used (-101).
    static QString NoValueText();

    // Grid row of a gas.
    static int GasRow(int gas) { return gas + kHeaderRows; }
    // Text colour of a value that keeps the rules (black).
    static QColor TextColour();
    // Text colour of a value that breaks a rule (red).
    static QColor ErrorColour();
    // Text colour of cells that can't be edited.
    static QColor DisabledTextColour();
    // Alarm test code of a column: gas 128, Warning 1, Alarm 2, STEL 8, TWA 16, others 0.
    static int AlarmTestMask(int column);

    // An empty grid without a record.
    explicit GasAlarmGrid(QWidget* parent = nullptr);

    // The record shown and edited (not owned; nullptr shows nothing); call Rebuild() after.
    void setRecord(clsInstrument* record);
    clsInstrument* record() const { return m_record; }
    // Rebuilds the grid from the record: header rows only when `blank` or without a record.
    void Rebuild(bool blank);
    // The display-refresh flag: while set, edits are refused and grid events are ignored.
    void setRefreshing(bool on) { m_refreshing = on; }
    bool refreshing() const { return m_refreshing; }
    // True when every enabled gas keeps the order and range rules of its Warning and Alarm.
    bool AlarmPointsValid() const;
    // True when the auto-calibration concentration of every enabled gas keeps its rule.
    bool AutoCalValid() const;
    // Decides whether a gas may not be switched off (default: the tool settings' GasLocked).
    void setLockCheck(std::function<bool(int gas)> isLocked);
    // Message boxes go through `prompts` (not owned); nullptr uses the real dialogs.
    void setPrompts(UiPrompts* prompts) { m_prompts = prompts; }

    // Whether an edit of the cell may start (the before-edit rule).
    bool BeforeEdit(int row, int column);
    // Checks the edit text of a cell and, when it is accepted, stores its value into the record;
    // `text` becomes the text the cell is to show. Returns false when the edit is refused.
    bool ValidateEdit(int row, int column, QString& text);
    // Colours every gas row after the order, auto-calibration and range rules.
    void RunColourPasses();
    // Why a typed value of a value column is refused: the values the column takes for the gas
    // of `record` ("Alarm: allowed from 0 to 60.").
    static QString RefusalText(const clsInstrument& record, int gas, int column);

signals:
    // The Enable box of an unlocked gas was clicked (the gas choice belongs to the caller).
    void enableToggled(int gas);
    // A modified click asks for the alarm test with this code.
    void alarmTestRequested(int mask);
    // An accepted edit changed the record.
    void edited();

protected:
    using QTableWidget::edit;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void writeHeaderRows();
    void mergeHeaderRow();
    void fillGasRow(int gas);
    void setCellColour(int row, int column, bool valid);
    void onItemChanged(QTableWidgetItem* item);
    void afterEnableEdit(int gas);
    // Called by the editor delegate once a cell took an accepted text.
    void cellCommitted();
    UiPrompts& prompts() const;

    clsInstrument* m_record = nullptr;
    bool m_refreshing = false;
    bool m_blank = true;
    std::function<bool(int gas)> m_isLocked;
    UiPrompts* m_prompts = nullptr;
};
