#include "ui/frmIrCommSelect.h"

#include "shell/Messages.h"
#include "widgets/SharedFont.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kMsgCaption = 2008;
constexpr int kMsgSelect = 2009;
constexpr int kMsgOK = 2010;

int& stored() {
    static int choice = 0;
    return choice;
}

} // namespace

frmIrCommSelect::frmIrCommSelect(const QStringList& names, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmIrCommSelect"));
    setWindowTitle(LoadMessage(kMsgCaption));
    m_lblSelect = new QLabel(LoadMessage(kMsgSelect), this);
    m_cmbIrComm = new QComboBox(this);
    m_cmbIrComm->setObjectName(QStringLiteral("cmbIrComm"));
    m_cmbIrComm->addItems(names);
    if (!names.isEmpty()) m_cmbIrComm->setCurrentIndex(0);
    m_cmdOK = new QPushButton(LoadMessage(kMsgOK), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setDefault(true);
    connect(m_cmdOK, &QPushButton::clicked, this, &frmIrCommSelect::onOK);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_lblSelect);
    layout->addWidget(m_cmbIrComm);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cmdOK);
    layout->addLayout(buttons);
    SharedFont::Apply(this);
}

void frmIrCommSelect::onOK() {
    if (m_cmbIrComm->currentIndex() >= 0) stored() = m_cmbIrComm->currentIndex() + 1;
    accept();
}

int frmIrCommSelect::StoredChoice() {
    return stored();
}

void frmIrCommSelect::setStoredChoice(int choice) {
    stored() = choice;
}

int frmIrCommSelect::ChoiceIndex(int choice, int count) {
    // A choice kept from an earlier list may not fit the ports listed now.
    if (choice < 1 || choice > count) return -1;
    return choice - 1;
}

int frmIrCommSelect::Choose(QWidget* parent, const QStringList& names) {
    frmIrCommSelect dialog(names, parent);
    dialog.exec();
    return ChoiceIndex(stored(), int(names.size()));
}
