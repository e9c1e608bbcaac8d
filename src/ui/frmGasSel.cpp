#include "ui/frmGasSel.h"

#include "configuration/GasCatalog.h"
#include "configuration/ToolSettings.h"
#include "instrument/AlarmRules.h"
#include "instrument/GasChannel.h"
#include "instrument/clsInstrument.h"
#include "shell/Messages.h"
#include "shell/modGasCommon.h"
#include "widgets/SharedFont.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

constexpr int kMsgGasSelect = 2100;
constexpr int kMsgSelectList = 2101;
constexpr int kMsgOk = 2102;
constexpr int kMsgCancel = 2103;

} // namespace

frmGasSel::frmGasSel(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmGasSel"));
    setWindowTitle(LoadMessage(kMsgGasSelect));
    setModal(true);

    m_fraGasSel = new QGroupBox(LoadMessage(kMsgSelectList), this);
    m_fraGasSel->setObjectName(QStringLiteral("fraGasSel"));
    m_grid = new QGridLayout(m_fraGasSel);
    m_group = new QButtonGroup(this);
    for (int i = 0; i < kOptionCount; ++i) {
        auto* option = new QRadioButton(m_fraGasSel);
        option->setObjectName(QStringLiteral("optGasList%1").arg(i));
        option->hide();
        m_group->addButton(option, i);
        m_options[size_t(i)] = option;
    }
    connect(m_group, &QButtonGroup::idClicked, this, [this](int id) {
        // The button that is selected now names the entry.
        m_selNum = qint16(m_group->checkedButton() ? m_group->checkedId() : id);
    });

    const int captions[2] = {kMsgOk, kMsgCancel};
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (int i = 0; i < 2; ++i) {
        auto* button = new QPushButton(LoadMessage(captions[i]), this);
        button->setObjectName(QStringLiteral("cmdGasSel%1").arg(i));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, i] { cmdGasSel_Click(i); });
        buttons->addWidget(button);
        m_buttons[size_t(i)] = button;
    }
    m_buttons[0]->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_fraGasSel);
    layout->addLayout(buttons);

    SharedFont::Apply(this);
    m_flags = false;
    m_selNum = -1;
    BuildList();
}

void frmGasSel::setGasno(qint16 column) {
    m_gasno = column;
    BuildList();
}

QRadioButton* frmGasSel::optGasList(int i) const {
    return i >= 0 && i < kOptionCount ? m_options[size_t(i)] : nullptr;
}

QPushButton* frmGasSel::cmdGasSel(int i) const {
    return i >= 0 && i < 2 ? m_buttons[size_t(i)] : nullptr;
}

void frmGasSel::cmdGasSel_Click(int index) {
    m_flags = index == 0;
    if (m_flags)
        accept();
    else
        QDialog::reject();
}

void frmGasSel::reject() {
    m_flags = false;
    QDialog::reject();
}

void frmGasSel::BuildList() {
    // A new list starts without a choice.
    m_group->setExclusive(false);
    for (QRadioButton* option : m_options) {
        option->setChecked(false);
        m_grid->removeWidget(option);
        option->hide();
    }
    m_group->setExclusive(true);
    m_selNum = -1;

    const GasCatalog& catalog = Tool().Catalog;
    QList<QRadioButton*> shown;
    for (int i = 0; i < kOfferedCount; ++i) {
        const GasCatalogEntry* entry = catalog.at(m_gasno, i);
        if (!entry || !entry->Enabled) continue;
        QRadioButton* option = m_options[size_t(i)];
        option->setText(
            FormatGasCaption(entry->Name, entry->Unit, entry->FullScale, entry->Points));
        shown << option;
    }
    m_shown = int(shown.size());
    if (m_shown < kOneColumnMax + 1) {
        m_columns = m_shown > 0 ? 1 : 0;
        m_rows = m_shown;
    } else {
        m_columns = 2;
        m_rows = (m_shown + 1) / 2;
    }
    // Column by column, top to bottom.
    for (int k = 0; k < m_shown; ++k) {
        m_grid->addWidget(shown[k], k % qMax(1, m_rows), k / qMax(1, m_rows));
        shown[k]->show();
    }
    adjustSize();
}

bool ApplyGasListEntry(clsInstrument& record, int gas, int entry) {
    return Tool().Catalog.CopyEntryToRecord(GasCatalog::GroupForModel(record), entry, record, gas);
}

bool SelectGas(QWidget* parent, clsInstrument& record, int gas) {
    frmGasSel dialog(parent);
    dialog.setGasno(qint16(ModelClass(record)));
    dialog.exec();
    if (!dialog.Flags()) return false;
    if (!ApplyGasListEntry(record, gas, dialog.SelNum())) return true;

    const QString label = FormatGasLabel(record, gas, true);
    if (label.startsWith(QLatin1String("OXY")) || label.startsWith(QLatin1String("O2")))
        record.setAlarmO2(1);
    Tool().setFactoryAutoCal(gas, record.AutoCalib(gas));
    record.setOverScale(gas, 1);
    return true;
}
