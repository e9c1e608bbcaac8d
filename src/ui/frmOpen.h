#pragma once

#include <QDialog>
#include <QPixmap>

class QFrame;
class QLabel;
class QTimer;
class UiPrompts;

// The opening form shown while the program starts: logo, program title, version line with the
// part number, copyright and company lines. It closes itself 2.5 seconds after it is shown.
class frmOpen : public QDialog {
    Q_OBJECT
public:
    // Display time of the form in milliseconds.
    static constexpr int kDisplayMs = 2500;
    // Size of the logo in pixels.
    static constexpr int kLogoSize = 180;

    explicit frmOpen(QWidget* parent = nullptr);

    // The part number line for a language code and the factory mode ("P.No.30539" ...).
    static QString VersionText(const QString& language, bool factoryMode);
    // The company line for a language code.
    static QString CompanyText(const QString& language);
    // The logo (drawn by the program).
    static QPixmap Logo();

    // Message boxes go through `prompts` (not owned); nullptr uses the real dialogs.
    void setPrompts(UiPrompts* prompts) { m_prompts = prompts; }
    // The display timer and the labels (tests and layout checks).
    QTimer* tmrOpen() const { return m_tmrOpen; }
    QFrame* fraInner() const { return m_fraInner; }
    QLabel* lblTitle() const { return m_lblTitle; }
    QLabel* lblVersion() const { return m_lblVersion; }
    QLabel* lblCompany() const { return m_lblCompany; }
    QLabel* lblCopyright() const { return m_lblCopyright; }
    QLabel* lblPlatform() const { return m_lblPlatform; }
    QLabel* lblTM() const { return m_lblTM; }
    QLabel* imgLogo() const { return m_imgLogo; }

    // The display time is over: stops the timer and closes the form.
    void tmrOpen_Timer();
    // Double-click on the inner frame: the "Pause!!" box.
    void fraInner_DblClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void layoutForm();
    int twipsX(int twips) const;
    int twipsY(int twips) const;

    UiPrompts* m_prompts = nullptr;
    QTimer* m_tmrOpen = nullptr;
    QFrame* m_fraInner = nullptr;
    QLabel* m_imgLogo = nullptr;
    QLabel* m_lblTitle = nullptr;
    QLabel* m_lblTM = nullptr;
    QFrame* m_line1 = nullptr;
    QFrame* m_line2 = nullptr;
    QLabel* m_lblPlatform = nullptr;
    QLabel* m_lblVersion = nullptr;
    QLabel* m_lblCopyright = nullptr;
    QLabel* m_lblCompany = nullptr;
};
