#include "widgets/RefusedEdit.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QToolTip>
#include <QWidget>

RefusedEdit& RefusedEdit::instance() {
    static RefusedEdit* guard = new RefusedEdit; // lives as long as the process
    return *guard;
}

void RefusedEdit::hold(QWidget* editor, const QString& reason, bool remindNow) {
    if (!editor) return;
    RefusedEdit& self = instance();
    if (self.m_editor != editor) {
        self.m_editor = editor;
        QObject::connect(editor, &QObject::destroyed, &self, [] { release(nullptr); });
    }
    self.m_reason = reason;
    editor->setToolTip(reason);
    qApp->removeEventFilter(&self);
    qApp->installEventFilter(&self);
    if (remindNow) remind();
}

void RefusedEdit::release(QWidget* editor) {
    RefusedEdit& self = instance();
    if (editor && self.m_editor && self.m_editor != editor) return;
    if (self.m_editor) {
        self.m_editor->setToolTip(QString());
        QObject::disconnect(self.m_editor, &QObject::destroyed, &self, nullptr);
    }
    self.m_editor = nullptr;
    self.m_reason.clear();
    qApp->removeEventFilter(&self);
    QToolTip::hideText();
}

QWidget* RefusedEdit::current() {
    // A view hides an editor as it closes it (Escape, a rebuild): then nothing is held.
    QWidget* editor = instance().m_editor;
    return editor && !editor->isHidden() ? editor : nullptr;
}

QString RefusedEdit::reason() {
    return current() ? instance().m_reason : QString();
}

bool RefusedEdit::remind() {
    QWidget* editor = current();
    if (!editor) return false;
    QApplication::beep();
    editor->window()->activateWindow();
    editor->setFocus(Qt::OtherFocusReason);
    // The focus may be moving away right now (the click that brought us here); take it back
    // once that is done.
    QTimer::singleShot(0, editor, [editor] {
        if (current() == editor) editor->setFocus(Qt::OtherFocusReason);
    });
    const QString text = reason();
    if (!text.isEmpty())
        QToolTip::showText(editor->mapToGlobal(QPoint(0, editor->height())), text, editor);
    return true;
}

bool RefusedEdit::eventFilter(QObject* object, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease:
    case QEvent::Shortcut:
        break;
    default:
        return false;
    }
    QWidget* editor = current();
    auto* target = qobject_cast<QWidget*>(object);
    if (!editor || !target || target == editor || editor->isAncestorOf(target)) return false;
    // A box that opened over the editor's window (a message from the link, say) stays usable.
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal != editor->window() && target->window() == modal) return false;
    if (target->window()->windowType() == Qt::ToolTip) return false;
    if (event->type() != QEvent::MouseButtonRelease) remind();
    return true;
}
