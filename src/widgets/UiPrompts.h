#pragma once

#include <QString>

class QWidget;

// Every message box and file dialog of the windows goes through one object of this class, so
// that a test can answer them without a person. The base class shows the real dialogs; a test
// derives from it and overrides what it answers.
class UiPrompts {
public:
    virtual ~UiPrompts() = default;

    // Yes/No question box with the question icon; true when Yes was chosen.
    virtual bool question(QWidget* parent, const QString& title, const QString& text);
    // Information box with an OK button.
    virtual void information(QWidget* parent, const QString& title, const QString& text);
    // Error box (critical icon) with an OK button.
    virtual void critical(QWidget* parent, const QString& title, const QString& text);
    // Plain box without an icon, OK button only.
    virtual void message(QWidget* parent, const QString& title, const QString& text);
    // Open dialog for an existing file; `filter` in Qt notation ("Name (*.ext);;..."),
    // `selectedFilter` preselected. Empty when cancelled.
    virtual QString openFileName(QWidget* parent, const QString& title, const QString& filter,
                                 const QString& selectedFilter);
    // Save dialog that confirms overwriting and needs an existing folder; empty when cancelled.
    virtual QString saveFileName(QWidget* parent, const QString& title, const QString& filter,
                                 const QString& selectedFilter);

    // The process-wide object that shows the real dialogs.
    static UiPrompts& standard();
};
