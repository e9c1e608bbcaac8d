#pragma once

#include <QColor>
#include <QStringList>
#include <QTableWidget>

// A grid of the factory settings dialog. Cells are edited in place, with a line editor or a
// drop-down list. Every typed character is offered to the grid's keystroke filter (a refused
// key is discarded with the system beep), and when the operator ends the edit with Enter or Tab
// the grid checks the text: a refused text keeps the editor open. An edit that ends any other
// way (a click elsewhere, the focus leaving) keeps an accepted text and drops a refused one, so
// a cell never shows a value its grid did not accept. Escape drops the edit.
//
// Subclasses give the rules by overriding the hooks BeforeEdit, EditList, EditListTyped,
// KeyPressEdit, ValidateEdit and AfterEdit.
class FsGrid : public QTableWidget {
    Q_OBJECT
public:
    explicit FsGrid(QWidget* parent = nullptr);

    // Background of header cells, of cells that do not apply and of a read-only grid.
    static QColor HeaderColour();
    // Background of a valid value cell (white).
    static QColor ValidColour();
    // Background of a value that breaks a rule (red).
    static QColor InvalidColour();

    // True while the grid refuses every edit.
    bool ReadOnlyState() const { return m_readOnly; }
    // Puts the grid into or out of its read-only state (subclasses recolour their cells).
    virtual void setReadOnlyState(bool on);

    // Whether an edit of the cell may start.
    virtual bool BeforeEdit(int row, int column) const;
    // The choice list of a cell; an empty list means free text.
    virtual QStringList EditList(int row, int column) const;
    // Whether a cell with a choice list also takes typed text.
    virtual bool EditListTyped(int row, int column) const;
    // Keystroke filter: `key` is the typed character and `result` the text it would give. Returns
    // the character to insert (possibly changed), or a null QChar to refuse the key.
    virtual QChar KeyPressEdit(int row, int column, QChar key, const QString& result) const;
    // End-of-edit check; may rewrite `text`, the text the cell is to show. False refuses it.
    virtual bool ValidateEdit(int row, int column, QString& text);
    // Called once an accepted text has been stored into the cell.
    virtual void AfterEdit(int row, int column);
    // Why a text of the cell is refused, shown beside its editor (the values the cell takes).
    virtual QString RefusalText(int row, int column) const;

    // The text of a cell (empty when the cell has no item).
    QString CellText(int row, int column) const;
    // Sets the text of a cell, creating its item when needed.
    void setCellText(int row, int column, const QString& text);
    // The background colour of a cell.
    QColor CellColour(int row, int column) const;
    // Sets the background colour of a cell, creating its item when needed.
    void setCellColour(int row, int column, const QColor& colour);
    // Makes a cell a header cell: header colour, never edited.
    void setHeaderCell(int row, int column, const QString& text);

    // Ends an open edit the way losing the focus does (accepted text kept, refused text dropped).
    void CommitOpenEditor();
    // When the open editor holds an edited text the grid refuses: keeps it open with the reason
    // beside it and returns true, so that the caller does not go on.
    bool HoldRefusedEdit();
    // The editor of the cell being edited, or nullptr.
    QWidget* OpenEditor() const;
    // Row and column of the cell being edited (-1 when none).
    int EditRow() const { return m_editRow; }
    int EditColumn() const { return m_editColumn; }

    // Runs the end-of-edit check once (not re-entered while it runs).
    bool RunValidate(int row, int column, QString& text);
    // Reports a refused key: the system beep and keyRefused().
    void RefuseKey(int row, int column);
    // Reports the text of the open editor (editTextChanged()).
    void ReportEditText(int row, int column, const QString& text);

signals:
    // A typed key was refused.
    void keyRefused(int row, int column);
    // The text of the open editor changed (also when the editor opens).
    void editTextChanged(int row, int column, const QString& text);
    // The editor closed.
    void editClosed();

protected:
    using QTableWidget::edit;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    QTableWidgetItem* ensureItem(int row, int column);

private:
    bool m_readOnly = false;
    bool m_validating = false;
    int m_editRow = -1;
    int m_editColumn = -1;
};
