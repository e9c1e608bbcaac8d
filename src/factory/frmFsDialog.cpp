#include "factory/frmFsDialog.h"

#include "factory/GasTableGrid.h"
#include "factory/ParameterGrid.h"
#include "factory/StationCsv.h"
#include "factory/StationGrid.h"
#include "shell/AppState.h"
#include "shell/Messages.h"
#include "shell/modGasCommon.h"
#include "widgets/RefusedEdit.h"
#include "widgets/SharedFont.h"
#include "widgets/UiPrompts.h"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

frmFsDialog::frmFsDialog(clsInstrument* record, QWidget* parent)
    : QDialog(parent), m_instrument(record) {
    setObjectName(QStringLiteral("frmFsDialog"));
    buildControls();
    SharedFont::Apply(this);
    setCaptions();
    resize(760, 600);
}

frmFsDialog::~frmFsDialog() = default;

void frmFsDialog::buildControls() {
    auto* layout = new QVBoxLayout(this);

    m_tabMain = new QTabWidget(this);
    m_tabMain->setObjectName(QStringLiteral("tabMain"));
    layout->addWidget(m_tabMain, 1);

    m_vfgDatas = new ParameterGrid;
    m_tabMain->addTab(m_vfgDatas, QString());

    m_vfgGasTbl = new GasTableGrid;
    m_tabMain->addTab(m_vfgGasTbl, QString());

    auto* stationPage = new QWidget;
    auto* stationLayout = new QHBoxLayout(stationPage);
    auto* stationList = new QVBoxLayout;
    m_lblStation = new QLabel(stationPage);
    m_lblStation->setObjectName(QStringLiteral("lblStation"));
    m_vfgStation = new StationGrid(stationPage);
    stationList->addWidget(m_lblStation);
    stationList->addWidget(m_vfgStation, 1);
    stationLayout->addLayout(stationList, 1);
    auto* stationButtons = new QVBoxLayout;
    m_cmdStationExport = new QPushButton(stationPage);
    m_cmdStationExport->setObjectName(QStringLiteral("cmdStationExport"));
    m_cmdStationImport = new QPushButton(stationPage);
    m_cmdStationImport->setObjectName(QStringLiteral("cmdStationImport"));
    stationButtons->addWidget(m_cmdStationExport);
    stationButtons->addWidget(m_cmdStationImport);
    stationButtons->addStretch(1);
    stationLayout->addLayout(stationButtons);
    m_tabMain->addTab(stationPage, QString());

    auto* buttonFrame = new QHBoxLayout;
    m_lblSpaceCount = new QLabel(this);
    m_lblSpaceCount->setObjectName(QStringLiteral("lblSpaceCount"));
    m_cmdOK = new QPushButton(this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdCancel = new QPushButton(this);
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    buttonFrame->addWidget(m_lblSpaceCount, 1);
    buttonFrame->addWidget(m_cmdOK);
    buttonFrame->addWidget(m_cmdCancel);
    layout->addLayout(buttonFrame);

    // Enter belongs to the grids' editors; no button is pressed by it.
    for (QPushButton* button : {m_cmdOK, m_cmdCancel, m_cmdStationExport, m_cmdStationImport}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    connect(m_cmdOK, &QPushButton::clicked, this, &frmFsDialog::cmdOK_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &frmFsDialog::cmdCancel_Click);
    connect(m_cmdStationExport, &QPushButton::clicked, this, &frmFsDialog::cmdStationExport_Click);
    connect(m_cmdStationImport, &QPushButton::clicked, this, &frmFsDialog::cmdStationImport_Click);

    // The left-space counter follows the editors of the parameter grid and the station list.
    for (FsGrid* grid : {static_cast<FsGrid*>(m_vfgDatas), static_cast<FsGrid*>(m_vfgStation)}) {
        connect(grid, &FsGrid::editTextChanged, this, &frmFsDialog::onEditText);
        connect(grid, &FsGrid::editClosed, this, &frmFsDialog::clearSpaceCount);
        connect(grid, &QTableWidget::currentCellChanged, this, [this](int, int column, int, int) {
            if (column != 1) clearSpaceCount();
        });
    }
    connect(m_tabMain, &QTabWidget::currentChanged, this, &frmFsDialog::clearSpaceCount);
}

void frmFsDialog::setCaptions() {
    setWindowTitle(LoadMessage(8025));
    m_tabMain->setTabText(0, LoadMessage(8100));
    m_tabMain->setTabText(1, LoadMessage(8101));
    m_tabMain->setTabText(2, LoadMessage(8102));
    m_cmdOK->setText(LoadMessage(7010));
    m_cmdCancel->setText(LoadMessage(7011));
    m_cmdStationExport->setText(LoadMessage(8039));
    m_cmdStationImport->setText(LoadMessage(8040));
    m_lblStation->setText(LoadMessage(8038));
    m_lblSpaceCount->clear();
}

void frmFsDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_activated) activate();
}

void frmFsDialog::activate() {
    m_activated = true;
    m_copy = m_instrument ? *m_instrument : clsInstrument();
    m_copy.ClearChangeFlags();
    m_copy.setChange_DummySerial(false);
    m_copy.setChange_FlowLevel(false);
    m_copy.setChange_pressOffset(false);
    m_vfgDatas->Fill(&m_copy);
    m_vfgStation->Fill(&m_copy);
    m_vfgGasTbl->Fill(&m_copy);
    m_vfgGasTbl->setReadOnlyState(m_vfgDatas->ReadOnlyState());
}

UiPrompts& frmFsDialog::prompts() const {
    return m_prompts ? *m_prompts : UiPrompts::standard();
}

QString frmFsDialog::StationFileFilter() {
    return LoadMessage(8107) + QStringLiteral(";;") + LoadMessage(8108);
}

QString frmFsDialog::StationCsvFilter() {
    return LoadMessage(8108);
}

QString frmFsDialog::LeftSpaceText(const QString& editText) {
    int blanks = 0;
    while (blanks < editText.size() && editText.at(blanks) == QLatin1Char(' '))
        ++blanks;
    return LoadMessage(8105, {QString::number(blanks)});
}

void frmFsDialog::onEditText(int row, int column, const QString& text) {
    Q_UNUSED(row);
    if (column == 1) {
        m_lblSpaceCount->setText(LeftSpaceText(text));
    } else {
        clearSpaceCount();
    }
}

void frmFsDialog::clearSpaceCount() {
    m_lblSpaceCount->clear();
}

void frmFsDialog::cmdOK_Click() {
    // A typed value that waits to be corrected is not dropped by OK.
    if (RefusedEdit::remind()) return;
    if (!m_activated) activate();
    // An edit still open ends here, as if the operator had left the cell: a refused one stays.
    for (FsGrid* grid : {static_cast<FsGrid*>(m_vfgDatas), static_cast<FsGrid*>(m_vfgGasTbl),
                         static_cast<FsGrid*>(m_vfgStation)})
        if (grid->HoldRefusedEdit()) return;
    m_vfgDatas->CommitOpenEditor();
    m_vfgGasTbl->CommitOpenEditor();
    m_vfgStation->CommitOpenEditor();

    if (!m_vfgStation->ListValid()) {
        prompts().critical(this, AppTitle(), LoadMessage(8056, {LoadMessage(8038)}));
        return;
    }
    if (!m_vfgGasTbl->TableValid()) {
        prompts().critical(this, AppTitle(), LoadMessage(8056, {LoadMessage(8101)}));
        return;
    }
    m_vfgDatas->ReadBack();
    copyBack();
    accept();
}

void frmFsDialog::cmdCancel_Click() {
    reject();
}

void frmFsDialog::copyBack() {
    if (!m_instrument) return;
    const clsInstrument& c = m_copy;
    clsInstrument& r = *m_instrument;
    // Each setter raises the setting's change flag in the caller's record.
    if (c.Change_DummySerial()) r.setDummySerial(c.DummySerial());
    if (c.Change_SpecNo()) r.setSpecNo(c.SpecNo());
    if (c.Change_AlarmMode()) r.setAlarmMode(c.AlarmMode());
    if (c.Change_AlarmMode2()) r.setAlarmMode2(c.AlarmMode2());
    if (c.Change_JW()) r.setJW(c.JW());
    if (c.Change_JH()) r.setJH(c.JH());
    if (c.Change_SE()) r.setSE(c.SE());
    if (c.Change_ABdata()) r.setABdata(c.ABdata());
    if (c.Change_LogOverWrite()) r.setLogOverWrite(c.LogOverWrite());
    if (c.Change_CalLimit()) r.setCalLimit(c.CalLimit());
    if (c.Change_DispCalLimit()) r.setDispCalLimit(c.DispCalLimit());
    if (c.Change_CalCheck()) r.setCalCheck(c.CalCheck());
    if (c.Change_BumpFunction()) r.setBumpFunction(c.BumpFunction());
    if (c.Change_BumpLimit()) r.setBumpLimit(c.BumpLimit());
    if (c.Change_DispBumpLimit()) r.setDispBumpLimit(c.DispBumpLimit());
    if (c.Change_BumpCheck()) r.setBumpCheck(c.BumpCheck());
    if (c.Change_SpecType()) r.setSpecType(c.SpecType());
    if (c.Change_LcdBackLight()) r.setLcdBackLight(c.LcdBackLight());
    if (c.Change_BumpTime()) r.setBumpTime(c.BumpTime());
    if (c.Change_BumpThreshold()) r.setBumpThreshold(c.BumpThreshold());
    if (c.Change_BumpFailCalTime()) r.setBumpFailCalTime(c.BumpFailCalTime());
    if (c.Change_BumpFailAfter()) r.setBumpFailAfter(c.BumpFailAfter());
    if (c.Change_AutoZero()) r.setAutoZero(c.AutoZero());
    if (c.Change_DemandZero()) r.setDemandZero(c.DemandZero());
    if (c.Change_SpanAllowance()) r.setSpanAllowance(c.SpanAllowance());
    if (c.Change_BumpFailBehavior()) r.setBumpFailBehavior(c.BumpFailBehavior());
    if (c.Change_SensorDate()) r.setSensorDate(c.SensorDate());
    if (c.Change_PasswordProtect()) r.setPasswordProtect(c.PasswordProtect());
    if (c.Change_UseUserPassword()) r.setUseUserPassword(c.UseUserPassword());
    if (c.Change_UserPassword2()) r.setUserPassword2(c.UserPassword2());
    if (c.Change_Confirmation()) r.setConfirmation(c.Confirmation());
    if (c.Change_AlarmO2()) r.setAlarmO2(c.AlarmO2());
    if (c.Change_AK()) r.setAK(c.AK());
    if (c.Change_AIdata()) r.setAIdata(c.AIdata());
    if (c.Change_AJdata()) r.setAJdata(c.AJdata());

    for (int i = 0; i < clsInstrument::LsCount; ++i)
        if (c.Change_LSData(i)) r.setLS_Entry(i, c.LS_Entry(i));
    // Library entries have no change flag; the gas table knows which ones were edited.
    for (int i = 1; i < clsInstrument::LiCount; ++i)
        if (m_vfgGasTbl->LibraryEdited(i)) r.setLI_Entry(i, c.LI_Entry(i));
    for (int i = 0; i < clsInstrument::StationCount; ++i)
        if (c.Change_StationList(i)) r.setStationList(i, c.StationList(i));
}

QString frmFsDialog::askSaveStationFile() {
    if (&prompts() != &UiPrompts::standard())
        return prompts().saveFileName(this, LoadMessage(8038), StationFileFilter(),
                                      StationCsvFilter());
    // The real dialog also proposes the file name.
    QFileDialog dialog(this, LoadMessage(8038), AppState::StartupFolder(), StationFileFilter());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.selectNameFilter(StationCsvFilter());
    dialog.selectFile(QStringLiteral("Station.csv"));
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles().value(0);
}

void frmFsDialog::cmdStationExport_Click() {
    if (!m_activated) activate();
    m_vfgStation->CommitOpenEditor();
    if (!m_vfgStation->ListValid()) {
        prompts().critical(this, AppTitle(), LoadMessage(8056, {LoadMessage(8038)}));
        return;
    }
    const QString path = askSaveStationFile();
    if (path.isEmpty()) return;
    QString error;
    if (!StationCsv::Write(path, m_vfgStation->Names(), ListSeparator(), &error)) {
        prompts().critical(this, AppTitle(),
                           LoadMessage(8109, {QDir::toNativeSeparators(path), error}));
        return;
    }
    prompts().message(this, AppTitle(), LoadMessage(8106));
}

void frmFsDialog::cmdStationImport_Click() {
    if (!m_activated) activate();
    m_vfgStation->CommitOpenEditor();
    const QString path =
        prompts().openFileName(this, LoadMessage(8038), StationFileFilter(), StationCsvFilter());
    if (path.isEmpty()) return;
    QStringList names;
    QString error;
    const bool read =
        StationCsv::Read(path, ListSeparator(), StationCsv::kLineCount, &names, &error);
    // Lines read before a failure stay imported.
    m_vfgStation->ApplyImported(names);
    if (!read)
        prompts().critical(this, AppTitle(),
                           LoadMessage(8110, {QDir::toNativeSeparators(path), error}));
}
