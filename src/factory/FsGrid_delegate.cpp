#include "factory/FsGrid_delegate.h"

#include "factory/FsGrid.h"
#include "widgets/RefusedEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>

namespace {

constexpr char kRow[] = "fsRow";
constexpr char kColumn[] = "fsColumn";
// The text the end-of-edit check accepted last (so that it is not checked twice).
constexpr char kAccepted[] = "fsAccepted";
constexpr char kOpening[] = "fsOpening";

// True when a key event types its text: no shortcut modifier (Ctrl+Alt is AltGr on some
// keyboards) and no control characters.
bool IsTypedText(const QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers =
        event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (modifiers != Qt::NoModifier && modifiers != (Qt::ControlModifier | Qt::AltModifier))
        return false;
    const QString text = event->text();
    if (text.isEmpty()) return false;
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) return false;
    return true;
}

// A line editor that only takes text through the keystroke filter: no input method, no
// context menu, no drops.
void GuardLine(QLineEdit* line) {
    line->setAttribute(Qt::WA_InputMethodEnabled, false);
    line->setContextMenuPolicy(Qt::NoContextMenu);
    line->setAcceptDrops(false);
    line->setDragEnabled(false);
}

void SetEditorText(QWidget* editor, const QString& text) {
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        if (combo->isEditable()) {
            combo->setEditText(text);
        } else {
            combo->setCurrentIndex(combo->findText(text));
        }
    } else if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        line->setText(text);
    }
}

} // namespace

FsGridDelegate::FsGridDelegate(FsGrid* grid) : QStyledItemDelegate(grid), m_grid(grid) {}

QWidget* FsGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                      const QModelIndex& index) const {
    const int row = index.row();
    const int column = index.column();
    FsGrid* grid = m_grid;
    QWidget* editor = nullptr;
    const QStringList list = m_grid->EditList(row, column);
    if (!list.isEmpty()) {
        auto* combo = new QComboBox(parent);
        combo->addItems(list);
        if (m_grid->EditListTyped(row, column)) {
            combo->setEditable(true);
            combo->setInsertPolicy(QComboBox::NoInsert);
            combo->setCompleter(nullptr);
            combo->setAttribute(Qt::WA_InputMethodEnabled, false);
            GuardLine(combo->lineEdit());
            combo->lineEdit()->installEventFilter(const_cast<FsGridDelegate*>(this));
        }
        connect(
            combo, &QComboBox::currentTextChanged, grid,
            [grid, row, column](const QString& text) { grid->ReportEditText(row, column, text); });
        editor = combo;
    } else {
        auto* line = new QLineEdit(parent);
        line->setFrame(false);
        GuardLine(line);
        connect(line, &QLineEdit::textChanged, grid, [grid, row, column](const QString& text) {
            grid->ReportEditText(row, column, text);
        });
        editor = line;
    }
    editor->setProperty(kRow, row);
    editor->setProperty(kColumn, column);
    return editor;
}

void FsGridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    const QString text = index.data(Qt::DisplayRole).toString();
    SetEditorText(editor, text);
    editor->setProperty(kOpening, EditorText(editor));
    m_grid->ReportEditText(index.row(), index.column(), EditorText(editor));
}

void FsGridDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                  const QModelIndex& index) const {
    QString text = EditorText(editor);
    const QVariant accepted = editor->property(kAccepted);
    if (!accepted.isValid() || accepted.toString() != text) {
        if (!m_grid->RunValidate(index.row(), index.column(), text)) return;
    }
    editor->setProperty(kAccepted, QVariant());
    model->setData(index, text, Qt::EditRole);
    m_grid->AfterEdit(index.row(), index.column());
}

void FsGridDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                          const QModelIndex&) const {
    editor->setGeometry(option.rect);
}

QString FsGridDelegate::EditorText(const QWidget* editor) {
    if (auto* combo = qobject_cast<const QComboBox*>(editor)) return combo->currentText();
    if (auto* line = qobject_cast<const QLineEdit*>(editor)) return line->text();
    return {};
}

QWidget* FsGridDelegate::editorOf(QObject* object) const {
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget) return nullptr;
    if (widget->property(kRow).isValid()) return widget;
    QWidget* parent = widget->parentWidget();
    if (parent && qobject_cast<QComboBox*>(parent) && parent->property(kRow).isValid())
        return parent;
    return nullptr;
}

QLineEdit* FsGridDelegate::lineOf(QWidget* editor) {
    if (auto* combo = qobject_cast<QComboBox*>(editor)) return combo->lineEdit();
    return qobject_cast<QLineEdit*>(editor);
}

void FsGridDelegate::typeText(QWidget* editor, QLineEdit* line, const QString& text) const {
    const int row = editor->property(kRow).toInt();
    const int column = editor->property(kColumn).toInt();
    for (QChar c : text) {
        const QString current = line->text();
        const bool selected = line->hasSelectedText();
        const int start = selected ? line->selectionStart() : line->cursorPosition();
        const int length = selected ? int(line->selectedText().size()) : 0;
        const QString result = current.left(start) + c + current.mid(start + length);
        const QChar accepted = m_grid->KeyPressEdit(row, column, c, result);
        if (accepted.isNull()) {
            m_grid->RefuseKey(row, column);
            return;
        }
        line->insert(QString(accepted));
    }
}

bool FsGridDelegate::edited(const QWidget* editor) {
    return EditorText(editor) != editor->property(kOpening).toString();
}

bool FsGridDelegate::HoldIfRefused(QWidget* editor) const {
    if (!edited(editor) || check(editor)) return false;
    refuse(editor, true);
    return true;
}

void FsGridDelegate::refuse(QWidget* editor, bool remind) const {
    RefusedEdit::hold(
        editor,
        m_grid->RefusalText(editor->property(kRow).toInt(), editor->property(kColumn).toInt()),
        remind);
}

bool FsGridDelegate::check(QWidget* editor) const {
    QString text = EditorText(editor);
    const bool ok = m_grid->RunValidate(editor->property(kRow).toInt(),
                                        editor->property(kColumn).toInt(), text);
    if (ok) {
        SetEditorText(editor, text);
        editor->setProperty(kAccepted, text);
    }
    return ok;
}

bool FsGridDelegate::eventFilter(QObject* object, QEvent* event) {
    QWidget* editor = editorOf(object);
    if (!editor) return QStyledItemDelegate::eventFilter(object, event);
    if (event->type() == QEvent::KeyPress) {
        auto* keyEvent = static_cast<QKeyEvent*>(event);
        switch (keyEvent->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            // A refused text keeps the editor open and says why.
            if (check(editor)) {
                RefusedEdit::release(editor);
                emit commitData(editor);
                emit closeEditor(editor, QAbstractItemDelegate::NoHint);
            } else {
                refuse(editor, true);
            }
            return true;
        case Qt::Key_Escape:
            emit closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
            return true;
        default:
            break;
        }
        if (QLineEdit* line = lineOf(editor)) {
            if (keyEvent->matches(QKeySequence::Paste)) {
                typeText(editor, line, QGuiApplication::clipboard()->text());
                return true;
            }
            if (IsTypedText(keyEvent)) {
                typeText(editor, line, keyEvent->text());
                return true;
            }
        }
    }
    if (event->type() == QEvent::FocusOut) {
        // Leaving an edited cell with a refused text keeps the editor open too.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::PopupFocusReason && !editor->isAncestorOf(QApplication::focusWidget()) &&
            edited(editor) && !check(editor)) {
            refuse(editor, reason != Qt::ActiveWindowFocusReason);
            return true;
        }
        RefusedEdit::release(editor);
    }
    // The inner line editor of a drop-down list: focus and commit belong to the list itself.
    if (object != editor) return false;
    return QStyledItemDelegate::eventFilter(object, event);
}
