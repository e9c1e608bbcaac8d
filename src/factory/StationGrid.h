#pragma once

#include "factory/FsGrid.h"

class clsInstrument;

// The station list grid `vfgStation`: 256 rows of station number (1-256) and station name.
// A name is valid when its first 16 characters are name characters (letters, digits, blank,
// "-", "_", "/", ">" and "<"); an invalid name shows red and makes the list invalid. Valid
// names, typed or imported, are stored into the record (the dialog's copy) with the change
// flag of their entry; grid row i is entry i.
class StationGrid : public FsGrid {
    Q_OBJECT
public:
    static constexpr int RowTotal = 256;
    static constexpr int ColumnTotal = 2;
    static constexpr int ColNumber = 0;
    static constexpr int ColName = 1;
    // Characters of a name that count.
    static constexpr int NameLength = 16;

    // An empty list without a record.
    explicit StationGrid(QWidget* parent = nullptr);

    // Fills the list from `record` (not owned; the dialog's copy, which the grid edits).
    void Fill(clsInstrument* record);
    // True when no name is marked red.
    bool ListValid() const;
    // Whether a name is valid: its first 16 characters are name characters.
    static bool IsValidName(const QString& name);
    // The names of every row, in order.
    QStringList Names() const;
    // Puts imported names into rows 0, 1, ... (at most 256), raises the change flag of each of
    // these entries, stores the valid ones into the record and colours every row.
    void ApplyImported(const QStringList& names);

    bool BeforeEdit(int row, int column) const override;
    QChar KeyPressEdit(int row, int column, QChar key, const QString& result) const override;
    void AfterEdit(int row, int column) override;

private:
    // Colours a row after the validity of its name.
    void colourRow(int row);
    // Stores the name of a row into the record when it is valid.
    void storeName(int row);

    clsInstrument* m_record = nullptr;
};
