#pragma once

#include <QStyledItemDelegate>
#include <functional>

class QLineEdit;

// Line-edit editor for grid cells whose text is checked before it is stored. The check runs
// when the operator ends the edit with Enter or Tab: a refused text keeps the editor open. Every
// other way of ending the edit (a click elsewhere, the focus leaving) commits only a text the
// check accepts and otherwise drops the edit, so a cell always shows what its record holds.
class CheckedCellDelegate : public QStyledItemDelegate {
public:
    // Whether an edit of a cell may start.
    using BeforeEdit = std::function<bool(int row, int column)>;
    // Checks (and may rewrite) the text of a cell; true when it is accepted.
    using Validate = std::function<bool(int row, int column, QString& text)>;
    // Called after an accepted text was stored in the cell.
    using Committed = std::function<void()>;

    CheckedCellDelegate(Validate validate, QObject* parent);

    // Optional: refuse edits of some cells.
    void setBeforeEdit(BeforeEdit beforeEdit) { m_beforeEdit = std::move(beforeEdit); }
    // Optional: told after every stored text.
    void setCommitted(Committed committed) { m_committed = std::move(committed); }
    // Beep when Enter or Tab meets a refused text.
    void setBeepOnRefusal(bool on) { m_beep = on; }

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

    Validate m_validate;
    BeforeEdit m_beforeEdit;
    Committed m_committed;
    bool m_beep = false;
};
