#include "ui/IdentityEdit.h"

#include "instrument/clsInstrument.h"
#include "shell/modGasCommon.h"

#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QKeyEvent>

namespace {

constexpr int kBackspaceKey = 8;

bool isControlText(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) return true;
    return false;
}

} // namespace

int IdentityEdit::MaxLength(int box) {
    return box == SerialNumber ? clsInstrument::SerialWidth : clsInstrument::IdWidth;
}

bool IdentityEdit::IsAcceptableText(int box, const QString& text) {
    if (text.size() > MaxLength(box)) return false;
    for (const QChar c : text) {
        const int key = c.unicode();
        if (key == kBackspaceKey || FilterIdKey(key) == 0) return false;
    }
    return true;
}

QString IdentityEdit::RecordText(const clsInstrument& record, int box) {
    switch (box) {
    case SerialNumber:
        return record.SerialNo();
    case StationId:
        return record.StationID();
    default:
        return record.UserID();
    }
}

IdentityEdit::IdentityEdit(int box, QWidget* parent)
    : QLineEdit(parent), m_box(box < SerialNumber || box > UserId ? UserId : box) {}

void IdentityEdit::ShowRecord() {
    setText(m_record ? RecordText(*m_record, m_box) : QString());
}

bool IdentityEdit::StoreToRecord() {
    if (!m_record) return false;
    const QString entered = text();
    if (!IsAcceptableText(m_box, entered)) {
        ShowRecord();
        return false;
    }
    if (entered == RecordText(*m_record, m_box)) return false;
    switch (m_box) {
    case SerialNumber:
        m_record->setSerialNo(entered);
        break;
    case StationId:
        m_record->setStationID(entered);
        break;
    default:
        m_record->setUserID(entered);
        break;
    }
    // The record trims the text and fills an empty one with "-"; show what it holds.
    ShowRecord();
    return true;
}

void IdentityEdit::setBeep(std::function<void()> beep) {
    m_beep = std::move(beep);
}

void IdentityEdit::beep() {
    if (m_beep)
        m_beep();
    else
        QApplication::beep();
}

void IdentityEdit::insertFiltered(const QString& typed) {
    QString upper = typed;
    for (QChar& c : upper)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) c = c.toUpper();

    const QString current = text();
    const int start = hasSelectedText() ? selectionStart() : cursorPosition();
    const int removed = hasSelectedText() ? int(selectedText().size()) : 0;
    const QString result = current.left(start) + upper + current.mid(start + removed);
    if (!IsAcceptableText(m_box, result)) {
        beep();
        return;
    }
    insert(upper);
}

void IdentityEdit::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Paste)) {
        event->accept();
        const QString pasted = QApplication::clipboard()->text();
        if (!pasted.isEmpty()) insertFiltered(pasted);
        return;
    }
    const QString typed = event->text();
    const bool shortcut = event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier);
    // Backspace, editing and navigation keys, shortcuts, Enter and Escape keep their meaning.
    if (event->key() == Qt::Key_Backspace || shortcut || typed.isEmpty() || isControlText(typed)) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    event->accept();
    insertFiltered(typed);
}

void IdentityEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // A context menu of the box takes the focus only for a moment; a disabled box holds no data.
    if (event->reason() != Qt::PopupFocusReason && isEnabled()) StoreToRecord();
}
