#include "ui/frmPassword.h"

#include "shell/AppState.h"
#include "shell/Messages.h"
#include "widgets/SharedFont.h"
#include "widgets/UiPrompts.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

constexpr int kMsgPrompt = 7005;
constexpr int kMsgOK = 7010;
constexpr int kMsgCancel = 7011;
constexpr int kMsgIncorrect = 7101;
constexpr int kMsgPasswordTitle = 7102;
constexpr int kMsgEnd = 5373;
constexpr int kMsgEndTitle = 2007;

} // namespace

frmPassword::frmPassword(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmPassword"));
    setModal(false);
    setWindowTitle(AppTitle());

    m_lblPass = new QLabel(LoadMessage(kMsgPrompt), this);
    m_lblPass->setObjectName(QStringLiteral("lblPass"));
    m_txtPass = new QLineEdit(this);
    m_txtPass->setObjectName(QStringLiteral("txtPass"));
    m_txtPass->setEchoMode(QLineEdit::Password);
    // Every character typed shows as "*".
    m_txtPass->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    m_txtPass->clear();
    m_cmdOK = new QPushButton(LoadMessage(kMsgOK), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setDefault(true);
    m_cmdCancel = new QPushButton(LoadMessage(kMsgCancel), this);
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    m_cmdCancel->setAutoDefault(false);
    connect(m_cmdOK, &QPushButton::clicked, this, &frmPassword::cmdOK_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &frmPassword::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_lblPass);
    layout->addWidget(m_txtPass);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdCancel);
    layout->addLayout(buttons);
    SharedFont::Apply(this);
    setMinimumWidth(320);
}

UiPrompts& frmPassword::prompts() const {
    return m_prompts ? *m_prompts : UiPrompts::standard();
}

bool frmPassword::Matches(const QString& entered, const QString& password) {
    return entered.toUpper() == password.toUpper();
}

void frmPassword::cmdOK_Click() {
    if (!Matches(m_txtPass->text(), AppState::AccessPassword())) {
        // The text stays as it was; there is no limit on the attempts.
        prompts().critical(this, LoadMessage(kMsgPasswordTitle), LoadMessage(kMsgIncorrect));
        return;
    }
    m_accepted = true;
    emit passwordAccepted();
    close();
}

void frmPassword::reject() {
    close();
}

void frmPassword::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* s = screen() ? screen() : QApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
    m_txtPass->setFocus();
}

void frmPassword::closeEvent(QCloseEvent* event) {
    if (!m_accepted) {
        if (!prompts().question(this, LoadMessage(kMsgEndTitle), LoadMessage(kMsgEnd))) {
            event->ignore();
            return;
        }
        event->accept();
        QDialog::done(QDialog::Rejected);
        emit endRequested();
        return;
    }
    event->accept();
    QDialog::done(QDialog::Accepted);
}
