#include "ui/frmProvision.h"

#include "instrument/clsInstrument.h"
#include "link/uclHvif.h"
#include "records/FactoryRecord.h"
#include "records/ProvisionReport.h"
#include "register/RegisterEvent.h"
#include "shell/Messages.h"
#include "ui/WindowHost.h"
#include "widgets/RefusedEdit.h"
#include "widgets/SharedFont.h"
#include "widgets/Sounds.h"
#include "widgets/UiPrompts.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

constexpr int kMsgTitle = 6170;
constexpr int kMsgWriteSelected = 6171;
constexpr int kMsgClose = 6172;
constexpr int kMsgPass = 6173;
constexpr int kMsgFail = 6174;
constexpr int kMsgDropEdits = 6175;
constexpr int kMsgReportWritten = 6176;
constexpr int kMsgReportFailed = 6177;
constexpr int kMsgReadFirst = 6178;
// Shared with the report and the write.
constexpr int kMsgSetting = 6166;
constexpr int kMsgDetectorValue = 6167;
constexpr int kMsgMasterValue = 6168;
constexpr int kMsgNotCompared = 6169;
constexpr int kMsgUploadFailed = 5874;

// Role of the setting's cell that holds the setting's key.
constexpr int kKeyRole = Qt::UserRole + 1;

QTableWidgetItem* MakeItem(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

} // namespace

frmProvision* frmProvision::Loaded(WindowHost& host) {
    QWidget* parent = host.hostWidget();
    return parent ? parent->findChild<frmProvision*>(QString(), Qt::FindDirectChildrenOnly)
                  : nullptr;
}

frmProvision* frmProvision::ShowComparison(WindowHost& host, const MasterCompare::Result& result) {
    if (!result.compared) return Loaded(host);
    frmProvision* window = Loaded(host);
    if (!window) {
        if (result.differences.isEmpty()) return nullptr;
        window = new frmProvision(host, host.hostWidget());
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->setDifferences(result.differences);
    window->m_verdict.clear();
    window->m_lblVerdict->clear();
    window->show();
    window->raise();
    return window;
}

frmProvision::frmProvision(WindowHost& host, QWidget* parent) : QDialog(parent), m_host(host) {
    setObjectName(QStringLiteral("frmProvision"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    buildWidgets();
    SharedFont::Apply(this);
    updateButtons();
}

frmProvision::~frmProvision() = default;

void frmProvision::buildWidgets() {
    setWindowTitle(LoadMessage(kMsgTitle));

    m_table = new QTableWidget(0, ColumnCount, this);
    m_table->setObjectName(QStringLiteral("tblDifferences"));
    m_table->setHorizontalHeaderLabels(
        {LoadMessage(kMsgSetting), LoadMessage(kMsgDetectorValue), LoadMessage(kMsgMasterValue)});
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_table->horizontalHeader()->setSectionResizeMode(ColSetting, QHeaderView::ResizeToContents);
    connect(m_table, &QTableWidget::itemChanged, this, [this] {
        if (!m_filling) updateButtons();
    });

    m_lblVerdict = new QLabel(this);
    m_lblVerdict->setObjectName(QStringLiteral("lblVerdict"));
    m_lblVerdict->setWordWrap(true);

    m_cmdWrite = new QPushButton(LoadMessage(kMsgWriteSelected), this);
    m_cmdWrite->setObjectName(QStringLiteral("cmdWriteSelected"));
    m_cmdClose = new QPushButton(LoadMessage(kMsgClose), this);
    m_cmdClose->setObjectName(QStringLiteral("cmdClose"));
    for (QPushButton* b : {m_cmdWrite, m_cmdClose})
        b->setAutoDefault(false);
    connect(m_cmdWrite, &QPushButton::clicked, this, &frmProvision::cmdWriteSelected_Click);
    connect(m_cmdClose, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_lblVerdict, 1);
    buttons->addWidget(m_cmdWrite);
    buttons->addWidget(m_cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);

    const QFontMetrics metrics(font());
    resize(metrics.horizontalAdvance(QLatin1Char('M')) * 48, metrics.height() * 20);
}

// ---- The table ----

void frmProvision::setDifferences(const QList<MasterCompare::Difference>& differences) {
    m_filling = true;
    m_differences = differences;
    m_table->setRowCount(int(differences.size()));
    for (int row = 0; row < differences.size(); ++row) {
        const MasterCompare::Difference& d = differences[row];
        QTableWidgetItem* setting = MakeItem(d.caption);
        setting->setFlags(setting->flags() | Qt::ItemIsUserCheckable);
        setting->setCheckState(Qt::Unchecked);
        setting->setData(kKeyRole, d.key);
        // The detector's value is the one that is wrong: red, as the comparison's lines are.
        QTableWidgetItem* detector = MakeItem(d.detector);
        detector->setForeground(WindowHost::ColourFailure());
        m_table->setItem(row, ColSetting, setting);
        m_table->setItem(row, ColDetector, detector);
        m_table->setItem(row, ColMaster, MakeItem(d.master));
    }
    m_filling = false;
    updateButtons();
}

bool frmProvision::setTicked(const QString& key, bool ticked) {
    for (int row = 0; row < m_table->rowCount(); ++row) {
        QTableWidgetItem* item = m_table->item(row, ColSetting);
        if (item && item->data(kKeyRole).toString() == key) {
            item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
            return true;
        }
    }
    return false;
}

QStringList frmProvision::TickedKeys() const {
    QStringList keys;
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const QTableWidgetItem* item = m_table->item(row, ColSetting);
        if (item && item->checkState() == Qt::Checked) keys << item->data(kKeyRole).toString();
    }
    return keys;
}

void frmProvision::updateButtons() {
    m_cmdWrite->setEnabled(!TickedKeys().isEmpty());
}

void frmProvision::showVerdict(bool passed, const QString& text) {
    const QColor colour = passed ? WindowHost::ColourProgress() : WindowHost::ColourFailure();
    m_lblVerdict->setText(text);
    m_lblVerdict->setStyleSheet(QStringLiteral("QLabel { color: %1; }").arg(colour.name()));
    m_host.AddInfo(text, colour);
}

// ---- Write selected ----

void frmProvision::cmdWriteSelected_Click() {
    // No command starts while a typed value waits to be corrected.
    if (RefusedEdit::remind()) return;
    const QStringList keys = TickedKeys();
    if (keys.isEmpty()) return;
    clsInstrument& working = m_host.working();
    const clsInstrument* held = m_host.DetectorOnRecord();
    // The settings are taken over into what the detector connected now holds: it must have
    // been read.
    if (!held || !m_host.RecordReadFromDetector()) {
        m_host.AddInfo(LoadMessage(kMsgReadFirst), WindowHost::ColourFailure());
        return;
    }
    // Edits not written yet would be lost to the read that follows, and must not ride along
    // with the write: the person decides.
    if (!RegisterEvent::Changes(*held, working).isEmpty() &&
        !m_host.prompts().question(this, LoadMessage(kMsgTitle), LoadMessage(kMsgDropEdits)))
        return;

    m_cmdWrite->setEnabled(false);
    const clsInstrument before = working;
    const QList<MasterCompare::Difference> found = m_differences;
    working = *held;
    MasterCompare::AdoptFromMaster(m_host.master(), working, keys);
    // What is written is shown while the write asks its questions.
    m_host.RefreshInstrumentView();
    const WindowHost::WriteOutcome outcome = m_host.WriteFlaggedSettings();
    if (outcome == WindowHost::WriteOutcome::NotSent) {
        // Nothing reached the detector: the record is as it was.
        working = before;
        m_host.RefreshInstrumentView();
        updateButtons();
        return;
    }

    // The detector is read again, whatever the write did, and compared again.
    const bool read = m_host.ReadDetectorWorkflow();
    QStringList failures;
    if (outcome == WindowHost::WriteOutcome::Failed)
        failures << LoadMessage(kMsgUploadFailed).simplified();
    if (!read) failures << LoadMessage(kMsgNotCompared);
    const QList<MasterCompare::Difference> remaining =
        read ? MasterCompare::Compare(m_host.master(), working).differences : found;

    const clsInstrument& detector =
        m_host.DetectorOnRecord() ? *m_host.DetectorOnRecord() : working;
    ProvisionReport report = ProvisionReport::FromRecord(detector, m_host.MasterFile(),
                                                         m_host.link().clock()->currentDateTime());
    report.found = found;
    if (outcome == WindowHost::WriteOutcome::Written) report.written = keys;
    report.remaining = read ? remaining : QList<MasterCompare::Difference>();
    report.failure = failures.join(u' ');
    m_verdict = report.verdict();

    setDifferences(remaining);
    QString detail = report.failure;
    if (detail.isEmpty()) {
        QStringList captions;
        for (const MasterCompare::Difference& d : remaining)
            captions << d.caption;
        detail = captions.join(QStringLiteral(", "));
    }
    showVerdict(report.passed(),
                report.passed() ? LoadMessage(kMsgPass) : LoadMessage(kMsgFail, {detail}));
    Sounds::Play(report.passed() ? QStringLiteral("OK.wav") : QStringLiteral("NG.wav"));

    // The report goes beside the calibration certificates.
    m_reportFiles.clear();
    QString error;
    const QString folder = QFileInfo(FactoryRecordPath(QString())).absolutePath();
    QString jsonFile;
    if (ProvisionReport::Write(report, folder, &m_reportFiles, &error)) {
        for (const QString& file : m_reportFiles)
            if (file.endsWith(QStringLiteral(".json"))) jsonFile = file;
        const QString pdf = m_reportFiles.isEmpty() ? QString() : m_reportFiles.first();
        m_host.AddInfo(LoadMessage(kMsgReportWritten, {QDir::toNativeSeparators(pdf)}),
                       WindowHost::ColourProgress());
    } else {
        m_host.AddInfo(LoadMessage(kMsgReportFailed, {error}), WindowHost::ColourFailure());
    }

    RegisterEvent event =
        m_host.MakeEvent(EventKind::Provision, detector, report.failure.isEmpty());
    event.details = report.eventDetails(jsonFile);
    m_host.RecordEvent(event);
    updateButtons();
}
