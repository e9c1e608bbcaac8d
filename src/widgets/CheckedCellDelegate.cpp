#include "widgets/CheckedCellDelegate.h"

#include "widgets/RefusedEdit.h"

#include <QAbstractItemModel>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>

namespace {
constexpr char kEditorRow[] = "checkedCellRow";
constexpr char kEditorColumn[] = "checkedCellColumn";
constexpr char kAcceptedText[] = "checkedCellAcceptedText";
constexpr char kOpeningText[] = "checkedCellOpeningText";
} // namespace

CheckedCellDelegate::CheckedCellDelegate(Validate validate, QObject* parent)
    : QStyledItemDelegate(parent), m_validate(std::move(validate)) {}

QWidget* CheckedCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                           const QModelIndex& index) const {
    if (m_beforeEdit && !m_beforeEdit(index.row(), index.column())) return nullptr;
    auto* editor = new QLineEdit(parent);
    editor->setFrame(false);
    editor->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    editor->setProperty(kEditorRow, index.row());
    editor->setProperty(kEditorColumn, index.column());
    return editor;
}

void CheckedCellDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        line->setText(index.data(Qt::DisplayRole).toString());
        line->setProperty(kOpeningText, line->text());
    }
}

void CheckedCellDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                       const QModelIndex& index) const {
    auto* line = qobject_cast<QLineEdit*>(editor);
    if (!line) return;
    QString text = line->text();
    const QVariant accepted = line->property(kAcceptedText);
    if (!accepted.isValid() || accepted.toString() != text) {
        if (!m_validate(index.row(), index.column(), text)) return;
    }
    line->setProperty(kAcceptedText, QVariant());
    // The check may have rebuilt the row already; then the model shows the text.
    if (model->data(index, Qt::DisplayRole).toString() != text)
        model->setData(index, text, Qt::DisplayRole);
    if (m_committed) m_committed();
}

void CheckedCellDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                               const QModelIndex&) const {
    editor->setGeometry(option.rect);
}

bool CheckedCellDelegate::eventFilter(QObject* object, QEvent* event) {
    auto* line = qobject_cast<QLineEdit*>(object);
    if (line && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Tab ||
            key == Qt::Key_Backtab) {
            if (!check(line)) {
                refuse(line, true);
                return true;
            }
            RefusedEdit::release(line);
        }
    }
    if (line && event->type() == QEvent::FocusOut) {
        // Leaving an edited cell runs the check too; a refused text keeps the editor open. When
        // the whole window loses the focus the editor just waits for the person to come back.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        const bool edited = line->text() != line->property(kOpeningText).toString();
        if (reason != Qt::PopupFocusReason && edited && !check(line)) {
            refuse(line, reason != Qt::ActiveWindowFocusReason);
            return true;
        }
        RefusedEdit::release(line);
    }
    return QStyledItemDelegate::eventFilter(object, event);
}

void CheckedCellDelegate::refuse(QLineEdit* line, bool remind) const {
    const QString why = m_reason ? m_reason(line->property(kEditorRow).toInt(),
                                            line->property(kEditorColumn).toInt(), line->text())
                                 : QString();
    RefusedEdit::hold(line, why, remind);
}

// Runs the check on the editor text; the editor shows the text the check returns.
bool CheckedCellDelegate::check(QLineEdit* line) const {
    QString text = line->text();
    const bool ok =
        m_validate(line->property(kEditorRow).toInt(), line->property(kEditorColumn).toInt(), text);
    line->setText(text);
    line->setProperty(kAcceptedText, ok ? QVariant(text) : QVariant());
    return ok;
}
