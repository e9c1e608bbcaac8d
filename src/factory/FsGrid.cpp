#include "factory/FsGrid.h"

#include "factory/FsGrid_delegate.h"
#include "shell/Messages.h"

#include <QApplication>
#include <QHeaderView>

namespace {
// "~1: this value is not accepted."
constexpr int kMsgValueRefused = 5917;
} // namespace

FsGrid::FsGrid(QWidget* parent) : QTableWidget(parent) {
    setItemDelegate(new FsGridDelegate(this));
    horizontalHeader()->hide();
    verticalHeader()->hide();
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                    QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    setWordWrap(false);
}

QColor FsGrid::HeaderColour() {
    return QColor(240, 240, 240);
}

QColor FsGrid::ValidColour() {
    return QColor(255, 255, 255);
}

QColor FsGrid::InvalidColour() {
    return QColor(255, 0, 0);
}

void FsGrid::setReadOnlyState(bool on) {
    m_readOnly = on;
    if (on) CommitOpenEditor();
}

QString FsGrid::RefusalText(int row, int column) const {
    Q_UNUSED(column);
    return LoadMessage(kMsgValueRefused, {CellText(row, 0).trimmed()});
}

bool FsGrid::BeforeEdit(int row, int column) const {
    Q_UNUSED(row);
    Q_UNUSED(column);
    return !m_readOnly;
}

QStringList FsGrid::EditList(int row, int column) const {
    Q_UNUSED(row);
    Q_UNUSED(column);
    return {};
}

bool FsGrid::EditListTyped(int row, int column) const {
    Q_UNUSED(row);
    Q_UNUSED(column);
    return false;
}

QChar FsGrid::KeyPressEdit(int row, int column, QChar key, const QString& result) const {
    Q_UNUSED(row);
    Q_UNUSED(column);
    Q_UNUSED(result);
    return key;
}

bool FsGrid::ValidateEdit(int row, int column, QString& text) {
    Q_UNUSED(row);
    Q_UNUSED(column);
    Q_UNUSED(text);
    return true;
}

void FsGrid::AfterEdit(int row, int column) {
    Q_UNUSED(row);
    Q_UNUSED(column);
}

QTableWidgetItem* FsGrid::ensureItem(int row, int column) {
    QTableWidgetItem* it = item(row, column);
    if (!it) {
        it = new QTableWidgetItem;
        it->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
        setItem(row, column, it);
    }
    return it;
}

QString FsGrid::CellText(int row, int column) const {
    const QTableWidgetItem* it = item(row, column);
    return it ? it->text() : QString();
}

void FsGrid::setCellText(int row, int column, const QString& text) {
    ensureItem(row, column)->setText(text);
}

QColor FsGrid::CellColour(int row, int column) const {
    const QTableWidgetItem* it = item(row, column);
    if (!it || it->background().style() == Qt::NoBrush) return ValidColour();
    return it->background().color();
}

void FsGrid::setCellColour(int row, int column, const QColor& colour) {
    ensureItem(row, column)->setBackground(colour);
}

void FsGrid::setHeaderCell(int row, int column, const QString& text) {
    QTableWidgetItem* it = ensureItem(row, column);
    it->setText(text);
    it->setFlags(Qt::ItemIsEnabled);
    it->setBackground(HeaderColour());
}

QWidget* FsGrid::OpenEditor() const {
    if (m_editRow < 0 || m_editColumn < 0) return nullptr;
    return indexWidget(model()->index(m_editRow, m_editColumn));
}

void FsGrid::CommitOpenEditor() {
    QWidget* editor = OpenEditor();
    if (!editor) return;
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

bool FsGrid::HoldRefusedEdit() {
    QWidget* editor = OpenEditor();
    auto* delegate = qobject_cast<FsGridDelegate*>(itemDelegate());
    return editor && delegate && delegate->HoldIfRefused(editor);
}

bool FsGrid::RunValidate(int row, int column, QString& text) {
    if (m_validating) return false;
    m_validating = true;
    const bool ok = ValidateEdit(row, column, text);
    m_validating = false;
    return ok;
}

void FsGrid::RefuseKey(int row, int column) {
    QApplication::beep();
    emit keyRefused(row, column);
}

void FsGrid::ReportEditText(int row, int column, const QString& text) {
    emit editTextChanged(row, column, text);
}

bool FsGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (!index.isValid()) return false;
    // A click on the cell already being edited belongs to its editor.
    if (index.row() == m_editRow && index.column() == m_editColumn)
        return QTableWidget::edit(index, trigger, event);
    if (!BeforeEdit(index.row(), index.column())) return false;
    if (!QTableWidget::edit(index, trigger, event)) return false;
    if (indexWidget(index)) {
        m_editRow = index.row();
        m_editColumn = index.column();
    }
    return true;
}

void FsGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    m_editRow = -1;
    m_editColumn = -1;
    QTableWidget::closeEditor(editor, hint);
    emit editClosed();
}
