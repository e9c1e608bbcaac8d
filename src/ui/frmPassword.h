#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class UiPrompts;

// The start-up password dialog. A correct password (letter case ignored) raises
// passwordAccepted() and closes the dialog; a wrong one is refused with an error box, as often
// as it is entered. Closing it without a correct password asks whether to end the program.
class frmPassword : public QDialog {
    Q_OBJECT
public:
    explicit frmPassword(QWidget* parent = nullptr);

    // Message boxes go through `prompts` (not owned); nullptr uses the real dialogs.
    void setPrompts(UiPrompts* prompts) { m_prompts = prompts; }
    // False until a correct password was entered.
    bool PasswordAccepted() const { return m_accepted; }
    // Whether `entered` opens the program for the access password `password`.
    static bool Matches(const QString& entered, const QString& password);

    QLabel* lblPass() const { return m_lblPass; }
    QLineEdit* txtPass() const { return m_txtPass; }
    QPushButton* cmdOK() const { return m_cmdOK; }
    QPushButton* cmdCancel() const { return m_cmdCancel; }

    // "OK": checks the entered text against the process-wide access password.
    void cmdOK_Click();
    // Escape and "Cancel" close the dialog (with the question while no password was accepted).
    void reject() override;

signals:
    // The correct password was entered; the main window is to be shown.
    void passwordAccepted();
    // The dialog closed without a correct password: the program ends.
    void endRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    UiPrompts& prompts() const;

    UiPrompts* m_prompts = nullptr;
    QLabel* m_lblPass = nullptr;
    QLineEdit* m_txtPass = nullptr;
    QPushButton* m_cmdOK = nullptr;
    QPushButton* m_cmdCancel = nullptr;
    bool m_accepted = false;
};
