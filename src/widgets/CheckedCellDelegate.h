#pragma once

#include <QStyledItemDelegate>
#include <functional>

class QLineEdit;

// Line-edit editor for grid cells whose text is checked before it is stored. The check runs
// when the operator ends the edit with Enter or Tab, or leaves the editor: a refused text keeps
// the editor open, says why beside it and beeps, and nothing else in the program acts until the
// text is corrected or the edit is abandoned with Escape (RefusedEdit). A cell always shows
// what its record holds, and no typed value is lost without a word.
class CheckedCellDelegate : public QStyledItemDelegate {
public:
    // Whether an edit of a cell may start.
    using BeforeEdit = std::function<bool(int row, int column)>;
    // Checks (and may rewrite) the text of a cell; true when it is accepted.
    using Validate = std::function<bool(int row, int column, QString& text)>;
    // Called after an accepted text was stored in the cell.
    using Committed = std::function<void()>;
    // Why the text of a cell is refused (the values it takes), shown beside the editor.
    using Reason = std::function<QString(int row, int column, const QString& text)>;

    CheckedCellDelegate(Validate validate, QObject* parent);

    // Optional: refuse edits of some cells.
    void setBeforeEdit(BeforeEdit beforeEdit) { m_beforeEdit = std::move(beforeEdit); }
    // Optional: told after every stored text.
    void setCommitted(Committed committed) { m_committed = std::move(committed); }
    // Optional: the reason shown for a refused text.
    void setReason(Reason reason) { m_reason = std::move(reason); }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    bool check(QLineEdit* line) const;
    void refuse(QLineEdit* line, bool remind) const;

    Validate m_validate;
    BeforeEdit m_beforeEdit;
    Committed m_committed;
    Reason m_reason;
};
