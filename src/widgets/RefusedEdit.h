#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

// Keeps a cell editor whose text was refused in front of the person: the editor stays open
// with the reason beside it, and no click or shortcut elsewhere in the program acts until the
// text is corrected or the edit is abandoned with Escape. So an edit is never lost without a
// word, and no command starts while one is pending.
class RefusedEdit : public QObject {
public:
    // Marks `editor` as holding a refused text and shows `reason` beside it; with `remind`, also
    // beeps and gives the editor the focus back.
    static void hold(QWidget* editor, const QString& reason, bool remind = true);
    // The editor's text was accepted, or it closes: input flows again.
    static void release(QWidget* editor);
    // The editor that holds a refused text, or nullptr.
    static QWidget* current();
    // The reason shown for the refused text (empty when none is held).
    static QString reason();
    // When an editor holds a refused text: beeps, brings it back to the front with its reason
    // and returns true, and the caller does not go on.
    static bool remind();

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    RefusedEdit() = default;
    static RefusedEdit& instance();

    QPointer<QWidget> m_editor;
    QString m_reason;
};
