#pragma once

// Helpers of the factory dialog tests: a prompts object that answers for the operator, cell
// editing through real key events, and a fixture that restores the process-wide modes.

#include "common/QtTextPrinting.h"
#include "factory/FsGrid.h"
#include "factory/frmFsDialog.h"
#include "shell/AppState.h"
#include "shell/Messages.h"
#include "widgets/UiPrompts.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace fstest {

// Answers every box and file dialog; records what was shown.
struct FakePrompts : UiPrompts {
    QStringList boxes; // "critical|title|text", "message|title|text", ...
    QString saveAnswer;
    QString openAnswer;
    QString lastFilter;
    QString lastSelectedFilter;

    bool question(QWidget*, const QString& title, const QString& text) override {
        boxes << QStringLiteral("question|") + title + u'|' + text;
        return true;
    }
    void information(QWidget*, const QString& title, const QString& text) override {
        boxes << QStringLiteral("information|") + title + u'|' + text;
    }
    void critical(QWidget*, const QString& title, const QString& text) override {
        boxes << QStringLiteral("critical|") + title + u'|' + text;
    }
    void message(QWidget*, const QString& title, const QString& text) override {
        boxes << QStringLiteral("message|") + title + u'|' + text;
    }
    QString openFileName(QWidget*, const QString&, const QString& filter,
                         const QString& selected) override {
        lastFilter = filter;
        lastSelectedFilter = selected;
        return openAnswer;
    }
    QString saveFileName(QWidget*, const QString&, const QString& filter,
                         const QString& selected) override {
        lastFilter = filter;
        lastSelectedFilter = selected;
        return saveAnswer;
    }
};

// Opens the editor of a cell with the edit key (F2); nullptr when the grid refuses the edit.
inline QWidget* OpenCell(FsGrid* grid, int row, int column) {
    grid->setCurrentCell(row, column);
    QTest::keyClick(grid, Qt::Key_F2);
    return grid->OpenEditor();
}

// Replaces the text of the open editor key by key.
inline void TypeOver(QWidget* editor, const QString& text) {
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(editor, Qt::Key_Backspace);
    QTest::keyClicks(editor, text);
}

// The text of an editor.
inline QString EditorText(QWidget* editor) {
    if (auto* combo = qobject_cast<QComboBox*>(editor)) return combo->currentText();
    if (auto* line = qobject_cast<QLineEdit*>(editor)) return line->text();
    return {};
}

// Types `text` into a cell and presses Enter. True when the grid took the text (the editor
// closed); a refused text is dropped with Escape so that the grid is left without an editor.
inline bool EnterText(FsGrid* grid, int row, int column, const QString& text) {
    QWidget* editor = OpenCell(grid, row, column);
    if (!editor) return false;
    TypeOver(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
    if (QWidget* still = grid->OpenEditor()) {
        QTest::keyClick(still, Qt::Key_Escape);
        return false;
    }
    return true;
}

// Picks an entry of a drop-down cell with the keyboard and presses Enter.
inline bool ChooseText(FsGrid* grid, int row, int column, const QString& text) {
    auto* combo = qobject_cast<QComboBox*>(OpenCell(grid, row, column));
    if (!combo) return false;
    QTest::keyClick(combo, Qt::Key_Home);
    for (int i = 0; i < combo->count() && combo->currentText() != text; ++i)
        QTest::keyClick(combo, Qt::Key_Down);
    if (combo->currentText() != text) {
        QTest::keyClick(combo, Qt::Key_Escape);
        return false;
    }
    QTest::keyClick(combo, Qt::Key_Return);
    return grid->OpenEditor() == nullptr;
}

// Runs each test in English, factory mode, no debug mode and the "." locale, and restores the
// process-wide state afterwards.
class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_debug = AppState::DebugMode();
        m_factory = AppState::FactoryMode();
        SetMessageLanguage(QStringLiteral("EN"));
        AppState::setDebugMode(false);
        AppState::setFactoryMode(true);
    }
    void TearDown() override {
        AppState::setDebugMode(m_debug);
        AppState::setFactoryMode(m_factory);
        SetMessageLanguage(QStringLiteral("EN"));
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    // A shown dialog on `record` that answers through `prompts`.
    std::unique_ptr<frmFsDialog> open(clsInstrument& record) {
        auto dialog = std::make_unique<frmFsDialog>(&record);
        dialog->setPrompts(&prompts);
        dialog->show();
        return dialog;
    }

    FakePrompts prompts;

private:
    bool m_debug = false;
    bool m_factory = false;
};

} // namespace fstest
