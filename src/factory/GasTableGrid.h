#pragma once

#include "factory/FsGrid.h"

#include <array>

class clsInstrument;

// The hydrocarbon gas table `vfgGasTbl`: 17 rows by 29 columns. Rows 1-15 show the library
// entries r (left block, columns 1-14) and r + 15 (right block, columns 15-28); row 16
// (numbered 201) shows the two selected-gas entries. Each block holds name, full scale, digit,
// unit, element voltage, ratio and the eight coefficients of the two linearisation polynomials.
// Every accepted edit is stored into the record (the dialog's copy): a selected-gas edit raises
// Change_LSData of its entry; library entries carry no flag of their own, so the grid keeps
// which of them were edited (LibraryEdited). A first or second polynomial of row 16 whose
// a, b and c are all zero is marked red and makes the table invalid.
class GasTableGrid : public FsGrid {
    Q_OBJECT
public:
    static constexpr int RowTotal = 17;
    static constexpr int ColumnTotal = 29;
    // The selected-gas row.
    static constexpr int SelectedRow = 16;
    // Fields of a block, by column of the left block (the right block adds BlockWidth).
    enum Field {
        FieldName = 1,
        FieldFullScale = 2,
        FieldDigit = 3,
        FieldUnit = 4,
        FieldVolt = 5,
        FieldRatio = 6,
        FieldLinear1a = 7,
        FieldLinear1b = 8,
        FieldLinear1c = 9,
        FieldLinear1d = 10,
        FieldLinear2a = 11,
        FieldLinear2b = 12,
        FieldLinear2c = 13,
        FieldLinear2d = 14
    };
    static constexpr int BlockWidth = 14;

    // An empty table without a record.
    explicit GasTableGrid(QWidget* parent = nullptr);

    // Fills the table from `record` (not owned; the dialog's copy, which the grid edits).
    void Fill(clsInstrument* record);
    // True when no cell of row 16, columns 7-27, is red.
    bool TableValid() const;
    // True when library entry i (1..30) was changed by an edit.
    bool LibraryEdited(int i) const;
    // The field a column shows (1..14), 0 for the number column.
    static int FieldOf(int column);
    // The library entry a cell of rows 1-15 shows, or the selected-gas entry (0, 1) of row 16.
    static int EntryOf(int row, int column);
    // Column widths in pixels, from the widths in twips.
    static int TwipsToPixels(int twips);

    // Read-only state: cells take the header colour.
    void setReadOnlyState(bool on) override;

    bool BeforeEdit(int row, int column) const override;
    QStringList EditList(int row, int column) const override;
    bool EditListTyped(int row, int column) const override;
    QChar KeyPressEdit(int row, int column, QChar key, const QString& result) const override;
    bool ValidateEdit(int row, int column, QString& text) override;
    void AfterEdit(int row, int column) override;

private:
    void fillRow(int row);
    // Stores the text of a cell into its entry of the record.
    void store(int row, int column);
    // Marks the first all-zero coefficient triplet of row 16 red, the rest of it white.
    void checkTriplets();
    void colourCells();

    clsInstrument* m_record = nullptr;
    std::array<bool, 31> m_libraryEdited{};
};
