#pragma once

#include "factory/FsGrid.h"

class clsInstrument;

// The parameter grid `vfgDatas` of the factory settings dialog: a header row and 35 setting
// rows of three columns (caption, value, the row's "|"-separated choice list). Text rows are
// edited as text through per-row keystroke filters and end-of-edit checks; list rows through a
// drop-down of their choices. Rows that do not apply to the record's model or the program's
// mode stay empty in the header colour and are neither edited nor read back.
class ParameterGrid : public FsGrid {
    Q_OBJECT
public:
    // Rows of the grid (row 0 is the header).
    static constexpr int RowTotal = 36;
    static constexpr int ColumnTotal = 3;
    // Columns: caption, value, choice list.
    static constexpr int ColCaption = 0;
    static constexpr int ColValue = 1;
    static constexpr int ColList = 2;

    // Setting rows referred to by name.
    enum Row {
        RowDummySerial = 1,
        RowSpecNo = 2,
        RowAlarmMode = 3,
        RowAlarmMode2 = 4,
        RowJW = 5,
        RowJH = 6,
        RowSE = 7,
        RowABdata = 8,
        RowLogOverWrite = 9,
        RowCalLimit = 10,
        RowDispCalLimit = 11,
        RowCalCheck = 12,
        RowBumpFunction = 13,
        RowBumpLimit = 14,
        RowDispBumpLimit = 15,
        RowBumpCheck = 16,
        RowSpecType = 17,
        RowLcdBackLight = 18,
        RowBumpTime = 19,
        RowBumpThreshold = 20,
        RowBumpFailCalTime = 21,
        RowBumpFailAfter = 22,
        RowAutoZero = 23,
        RowDemandZero = 24,
        RowSpanAllowance = 25,
        RowBumpFailBehavior = 26,
        RowSensorDate = 27,
        RowPasswordProtect = 28,
        RowUseUserPassword = 29,
        RowUserPassword2 = 30,
        RowConfirmation = 31,
        RowAlarmO2 = 32,
        RowAK = 33,
        RowAIdata = 34,
        RowAJdata = 35
    };

    // An empty grid without a record.
    explicit ParameterGrid(QWidget* parent = nullptr);

    // Fills the grid from `record` (not owned; the dialog's copy, which the grid edits):
    // captions, values and lists; without factory mode the grid becomes read-only.
    void Fill(clsInstrument* record);
    // Reads every applicable row back into the record, setting only values that differ.
    void ReadBack();
    // Whether a row applies: rows 32 and 33 only for the models "QZ" and "VL", rows 34 and 35
    // only in debug mode.
    bool RowApplies(int row) const;
    // Whether a row is edited as a choice from a list.
    bool IsListRow(int row) const;
    // The choices of a row (empty for a text row).
    QStringList RowList(int row) const;

    // Read-only state: every value cell takes the header colour.
    void setReadOnlyState(bool on) override;

    bool BeforeEdit(int row, int column) const override;
    QStringList EditList(int row, int column) const override;
    QChar KeyPressEdit(int row, int column, QChar key, const QString& result) const override;
    bool ValidateEdit(int row, int column, QString& text) override;
    QString RefusalText(int row, int column) const override;
    void AfterEdit(int row, int column) override;

private:
    // The value a list row's text stands for: its position in the list, -1 when not found.
    int ListPosition(int row, const QString& text) const;
    void colourValueCells();

    clsInstrument* m_record = nullptr;
    bool m_debug = false;
    QString m_model;
};
