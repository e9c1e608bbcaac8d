#include "factory/StationGrid.h"

#include "factory/GasTableGrid.h"
#include "instrument/clsInstrument.h"
#include "shell/modGasCommon.h"

#include <QHeaderView>

StationGrid::StationGrid(QWidget* parent) : FsGrid(parent) {
    setObjectName(QStringLiteral("vfgStation"));
    setRowCount(RowTotal);
    setColumnCount(ColumnTotal);
    horizontalHeader()->setStretchLastSection(true);
}

void StationGrid::Fill(clsInstrument* record) {
    CommitOpenEditor();
    hide();
    clear();
    setRowCount(RowTotal);
    setColumnCount(ColumnTotal);
    m_record = record;
    setColumnWidth(ColNumber, GasTableGrid::TwipsToPixels(400));
    for (int row = 0; row < RowTotal; ++row) {
        setHeaderCell(row, ColNumber, QString::number(row + 1));
        item(row, ColNumber)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        setCellText(row, ColName, record ? record->StationList(row) : QString());
        colourRow(row);
    }
    show();
}

bool StationGrid::IsValidName(const QString& name) {
    return IsValidListText(name.left(NameLength));
}

bool StationGrid::ListValid() const {
    for (int row = 0; row < rowCount(); ++row)
        if (CellColour(row, ColName) == InvalidColour()) return false;
    return true;
}

QStringList StationGrid::Names() const {
    QStringList names;
    for (int row = 0; row < rowCount(); ++row)
        names << CellText(row, ColName);
    return names;
}

void StationGrid::ApplyImported(const QStringList& names) {
    CommitOpenEditor();
    const int count = qMin<int>(names.size(), RowTotal);
    for (int row = 0; row < count; ++row) {
        setCellText(row, ColName, names.at(row));
        if (m_record) m_record->setChange_StationList(row, true);
        storeName(row);
    }
    for (int row = 0; row < RowTotal; ++row)
        colourRow(row);
}

bool StationGrid::BeforeEdit(int row, int column) const {
    return m_record && column == ColName && row >= 0 && row < RowTotal;
}

QChar StationGrid::KeyPressEdit(int row, int column, QChar key, const QString& result) const {
    Q_UNUSED(row);
    Q_UNUSED(column);
    // A key is refused once the name would hold more than 16 characters.
    if (FilterTextKey(key.unicode()) == 0 || result.size() > NameLength) return QChar();
    return key;
}

void StationGrid::AfterEdit(int row, int column) {
    if (column != ColName) return;
    colourRow(row);
    storeName(row);
}

void StationGrid::colourRow(int row) {
    setCellColour(row, ColName,
                  IsValidName(CellText(row, ColName)) ? ValidColour() : InvalidColour());
}

void StationGrid::storeName(int row) {
    const QString name = CellText(row, ColName);
    if (!m_record || !IsValidName(name)) return;
    // The detector holds 16 characters.
    m_record->setStationList(row, name.left(NameLength));
}
