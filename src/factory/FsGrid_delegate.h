#pragma once

#include <QStyledItemDelegate>

class FsGrid;
class QLineEdit;

// The cell editor of an FsGrid: a line editor for free text, a drop-down list for cells with a
// choice list (also taking typed text where the grid allows it). It feeds each typed or pasted
// character through the grid's keystroke filter and runs the grid's end-of-edit check.
class FsGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit FsGridDelegate(FsGrid* grid);

    // Creates the editor of a cell: a drop-down list when the cell has a choice list.
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    // Puts the cell text into the editor.
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    // Stores the editor text into the cell when the grid accepts it.
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
    // Places the editor over the cell.
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

    // The text an editor holds.
    static QString EditorText(const QWidget* editor);
    // When `editor` holds an edited text the grid refuses, keeps it open with the reason and
    // returns true.
    bool HoldIfRefused(QWidget* editor) const;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    // The editor a widget belongs to (the widget itself or the drop-down list around it).
    QWidget* editorOf(QObject* object) const;
    // The line editor in which text is typed, or nullptr for a fixed drop-down list.
    static QLineEdit* lineOf(QWidget* editor);
    // Offers each character of `text` to the keystroke filter and inserts what it accepts.
    void typeText(QWidget* editor, QLineEdit* line, const QString& text) const;
    // Runs the end-of-edit check; the editor shows the text the check returns.
    bool check(QWidget* editor) const;
    // True when the editor's text differs from the cell's.
    static bool edited(const QWidget* editor);
    // Keeps the editor of a refused text open with the grid's reason beside it.
    void refuse(QWidget* editor, bool remind) const;

    FsGrid* m_grid;
};
