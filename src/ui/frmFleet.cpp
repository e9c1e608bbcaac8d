#include "ui/frmFleet.h"

#include "configuration/ToolSettings.h"
#include "records/PdfPage.h"
#include "shell/AppState.h"
#include "shell/Messages.h"
#include "shell/modGasCommon.h"
#include "ui/frmFleetHistory.h"
#include "widgets/SharedFont.h"
#include "widgets/UiPrompts.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QPushButton>
#include <QSaveFile>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {

constexpr int kMsgFleet = 6100;
constexpr int kMsgColumns = 6101;
constexpr int kMsgFilter = 6102;
constexpr int kMsgExportCsv = 6103;
constexpr int kMsgExportPdf = 6104;
constexpr int kMsgClose = 6105;
constexpr int kMsgShownOf = 6106;
constexpr int kMsgReadFailed = 6107;
constexpr int kMsgCsvFiles = 6108;
constexpr int kMsgPdfFiles = 6109;
constexpr int kMsgExportFailed = 6110;
constexpr int kMsgReportTitle = 6111;
constexpr int kMsgReportSubtitle = 6112;

// Role holding the value a column sorts by (dates as dates, texts as texts).
constexpr int kSortRole = Qt::UserRole + 1;

QString DateText(const QDate& date) {
    return date.isValid() ? date.toString(Qt::ISODate) : QString();
}

QString SeenText(const QDateTime& utc) {
    return utc.isValid() ? utc.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"))
                         : QString();
}

QStandardItem* MakeItem(const QString& text, const QVariant& sortKey) {
    auto* item = new QStandardItem(text);
    item->setEditable(false);
    item->setData(sortKey, kSortRole);
    return item;
}

// The text colour that reads on a background.
QColor TextOn(const QColor& background) {
    return qGray(background.rgb()) < 128 ? QColor(Qt::white) : QColor(Qt::black);
}

} // namespace

// ---- Due dates ----

frmFleet::Due frmFleet::DueState(const QDate& due, const QDate& today) {
    if (!due.isValid() || !today.isValid()) return Due::None;
    if (due < today) return Due::Overdue;
    if (due <= today.addDays(kDueSoonDays)) return Due::Soon;
    return Due::None;
}

QColor frmFleet::OverdueColour() {
    return QColor(220, 30, 30);
}

QColor frmFleet::DueSoonColour() {
    return QColor(255, 190, 0);
}

// ---- Construction ----

RegisterLocation frmFleet::ToolLocation(QString* error) {
    const QString folder = AppState::StartupFolder();
    const QString text = Tool().Register.trimmed();
    if (!text.isEmpty()) {
        if (const auto location = RegisterLocation::Parse(text, folder, error)) return *location;
    }
    return RegisterLocation::Default(folder);
}

frmFleet* frmFleet::Open(QWidget* parent, UiPrompts* prompts) {
    if (parent) {
        if (auto* open = parent->findChild<frmFleet*>(QString(), Qt::FindDirectChildrenOnly)) {
            open->show();
            open->raise();
            open->activateWindow();
            return open;
        }
    }
    QString error;
    const RegisterLocation location = ToolLocation(&error);
    auto* window = new frmFleet(location, prompts, parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    // A key that names no location is said; the default file is shown meanwhile.
    window->m_note = error;
    window->updateStatus();
    window->show();
    return window;
}

frmFleet::frmFleet(const RegisterLocation& location, UiPrompts* prompts, QWidget* parent)
    : QDialog(parent), m_location(location), m_prompts(prompts), m_today(QDate::currentDate()) {
    setObjectName(QStringLiteral("frmFleet"));
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    buildWidgets();
    SharedFont::Apply(this);
    Reload();
}

frmFleet::~frmFleet() = default;

void frmFleet::buildWidgets() {
    setWindowTitle(LoadMessage(kMsgFleet));

    auto* filterLabel = new QLabel(LoadMessage(kMsgFilter), this);
    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("txtFilter"));
    m_filter->setClearButtonEnabled(true);
    filterLabel->setBuddy(m_filter);

    m_model = new QStandardItemModel(0, ColumnCount, this);
    m_model->setHorizontalHeaderLabels(ColumnCaptions());
    m_proxy = new QSortFilterProxyModel(this);
    m_proxy->setSourceModel(m_model);
    m_proxy->setFilterKeyColumn(-1);
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_proxy->setSortRole(kSortRole);
    m_proxy->setSortCaseSensitivity(Qt::CaseInsensitive);
    connect(m_filter, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_proxy->setFilterFixedString(text.trimmed());
        updateStatus();
    });

    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("tblFleet"));
    m_table->setModel(m_proxy);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(ColSerial, Qt::AscendingOrder);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setAlternatingRowColors(true);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    connect(m_table, &QTableView::doubleClicked, this, &frmFleet::onDoubleClicked);

    m_cmdCsv = new QPushButton(LoadMessage(kMsgExportCsv), this);
    m_cmdCsv->setObjectName(QStringLiteral("cmdExportCsv"));
    m_cmdPdf = new QPushButton(LoadMessage(kMsgExportPdf), this);
    m_cmdPdf->setObjectName(QStringLiteral("cmdExportPdf"));
    m_cmdClose = new QPushButton(LoadMessage(kMsgClose), this);
    m_cmdClose->setObjectName(QStringLiteral("cmdClose"));
    for (QPushButton* b : {m_cmdCsv, m_cmdPdf, m_cmdClose})
        b->setAutoDefault(false);
    connect(m_cmdCsv, &QPushButton::clicked, this, &frmFleet::onExportCsv);
    connect(m_cmdPdf, &QPushButton::clicked, this, &frmFleet::onExportPdf);
    connect(m_cmdClose, &QPushButton::clicked, this, &QDialog::reject);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lblStatus"));
    m_status->setWordWrap(true);

    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(filterLabel);
    filterRow->addWidget(m_filter, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_status, 1);
    buttons->addWidget(m_cmdCsv);
    buttons->addWidget(m_cmdPdf);
    buttons->addWidget(m_cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filterRow);
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);

    const QFontMetrics metrics(font());
    resize(metrics.horizontalAdvance(QLatin1Char('M')) * 70, metrics.height() * 28);
}

UiPrompts& frmFleet::prompts() const {
    return m_prompts ? *m_prompts : UiPrompts::standard();
}

QStringList frmFleet::ColumnCaptions() {
    QStringList captions = LoadMessage(kMsgColumns).split(u'|');
    while (captions.size() < ColumnCount)
        captions << QString();
    return captions.mid(0, ColumnCount);
}

// ---- The list ----

void frmFleet::setToday(const QDate& day) {
    m_today = day;
    fillModel();
}

bool frmFleet::Reload() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_rows.clear();
    m_readError.clear();
    FleetRegister fleet(m_location);
    QString error;
    if (fleet.open(&error)) {
        m_rows = fleet.detectors(&error);
        if (!error.isEmpty()) m_rows.clear();
    }
    m_readError = error;
    QApplication::restoreOverrideCursor();
    fillModel();
    return m_readError.isEmpty();
}

void frmFleet::fillModel() {
    m_model->removeRows(0, m_model->rowCount());
    for (const DetectorRow& row : m_rows) {
        const DetectorIdentity& d = row.detector;
        QList<QStandardItem*> items(ColumnCount);
        items[ColSerial] = MakeItem(d.serial, d.serial);
        items[ColModel] = MakeItem(d.model, d.model);
        items[ColGas] = MakeItem(d.gas, d.gas);
        items[ColStation] = MakeItem(d.stationId, d.stationId);
        items[ColLastCalibration] = MakeItem(DateText(row.lastCalibration), row.lastCalibration);
        items[ColCalibrationDue] = MakeItem(DateText(row.calibrationDue), row.calibrationDue);
        items[ColLastBump] = MakeItem(DateText(row.lastBump), row.lastBump);
        items[ColLastSeen] = MakeItem(SeenText(row.lastSeen), row.lastSeen);
        const Due due = DueState(row.calibrationDue, m_today);
        if (due != Due::None) {
            const QColor background = due == Due::Overdue ? OverdueColour() : DueSoonColour();
            items[ColCalibrationDue]->setBackground(background);
            items[ColCalibrationDue]->setForeground(TextOn(background));
        }
        m_model->appendRow(items);
    }
    m_table->resizeColumnsToContents();
    updateStatus();
}

void frmFleet::updateStatus() {
    if (!m_readError.isEmpty()) {
        m_status->setText(LoadMessage(kMsgReadFailed, {m_readError}));
        return;
    }
    QString text = LoadMessage(
        kMsgShownOf, {QString::number(m_proxy->rowCount()), QString::number(m_model->rowCount())});
    if (!m_note.isEmpty()) text += QStringLiteral("  ") + m_note;
    m_status->setText(text);
}

QList<QStringList> frmFleet::ShownRows() const {
    QList<QStringList> rows;
    for (int r = 0; r < m_proxy->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < ColumnCount; ++c)
            cells << m_proxy->index(r, c).data(Qt::DisplayRole).toString();
        rows << cells;
    }
    return rows;
}

// ---- Export ----

QString frmFleet::CsvText(const QStringList& captions, const QList<QStringList>& rows,
                          const QString& separator) {
    const auto field = [&separator](const QString& text) {
        if (!text.contains(separator) && !text.contains(u'"') && !text.contains(u'\n') &&
            !text.contains(u'\r'))
            return text;
        QString quoted = text;
        quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
        return u'"' + quoted + u'"';
    };
    const auto line = [&](const QStringList& cells) {
        QStringList fields;
        for (const QString& cell : cells)
            fields << field(cell);
        return fields.join(separator) + QStringLiteral("\r\n");
    };
    QString text = line(captions);
    for (const QStringList& row : rows)
        text += line(row);
    return text;
}

bool frmFleet::ExportCsv(const QString& path, QString* error) const {
    const QByteArray bytes = CsvText(ColumnCaptions(), ShownRows(), ListSeparator()).toLocal8Bit();
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() &&
        file.commit())
        return true;
    if (error) *error = QDir::toNativeSeparators(path) + QStringLiteral(": ") + file.errorString();
    return false;
}

bool frmFleet::ExportPdf(const QString& path, QString* error) const {
    const QStringList captions = ColumnCaptions();
    QString html =
        QStringLiteral("<h2>%1</h2><p>%2</p>")
            .arg(LoadMessage(kMsgReportTitle).toHtmlEscaped(),
                 LoadMessage(kMsgReportSubtitle, {m_location.text(), m_today.toString(Qt::ISODate)})
                     .toHtmlEscaped());
    html += QStringLiteral("<table border='1' cellspacing='0' cellpadding='3' width='100%'><tr>");
    for (const QString& caption : captions)
        html += QStringLiteral("<th bgcolor='#d8d8d8'>%1</th>").arg(caption.toHtmlEscaped());
    html += QStringLiteral("</tr>");
    for (int r = 0; r < m_proxy->rowCount(); ++r) {
        html += QStringLiteral("<tr>");
        for (int c = 0; c < ColumnCount; ++c) {
            const QModelIndex index = m_proxy->index(r, c);
            const QVariant background = index.data(Qt::BackgroundRole);
            QString attributes;
            if (background.canConvert<QBrush>() &&
                background.value<QBrush>().style() != Qt::NoBrush)
                attributes =
                    QStringLiteral(" bgcolor='%1'").arg(background.value<QBrush>().color().name());
            html += QStringLiteral("<td%1>%2</td>")
                        .arg(attributes, index.data(Qt::DisplayRole).toString().toHtmlEscaped());
        }
        html += QStringLiteral("</tr>");
    }
    html += QStringLiteral("</table><p>%1</p>").arg(m_status->text().toHtmlEscaped());

    // The report is made in memory and then replaces the file whole, so that a full disk leaves
    // no cut-off PDF behind.
    return PdfPage::SaveWhole(
        path, PdfPage::RenderHtml(html, LoadMessage(kMsgReportTitle), true, 15.0), error);
}

void frmFleet::onExportCsv() {
    const QString path = prompts().saveFileName(
        this, LoadMessage(kMsgExportCsv), LoadMessage(kMsgCsvFiles), LoadMessage(kMsgCsvFiles));
    if (path.isEmpty()) return;
    QString error;
    if (!ExportCsv(path, &error))
        prompts().critical(this, LoadMessage(kMsgFleet), LoadMessage(kMsgExportFailed, {error}));
}

void frmFleet::onExportPdf() {
    const QString path = prompts().saveFileName(
        this, LoadMessage(kMsgExportPdf), LoadMessage(kMsgPdfFiles), LoadMessage(kMsgPdfFiles));
    if (path.isEmpty()) return;
    QString error;
    if (!ExportPdf(path, &error))
        prompts().critical(this, LoadMessage(kMsgFleet), LoadMessage(kMsgExportFailed, {error}));
}

// ---- History ----

void frmFleet::onDoubleClicked(const QModelIndex& index) {
    if (!index.isValid()) return;
    OpenHistory(m_proxy->index(index.row(), ColSerial).data(Qt::DisplayRole).toString());
}

frmFleetHistory* frmFleet::OpenHistory(const QString& serial) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    FleetRegister fleet(m_location);
    QString error;
    QList<RegisterEvent> events;
    std::optional<DetectorRow> row;
    if (fleet.open(&error)) {
        row = fleet.detector(serial, &error);
        if (error.isEmpty()) events = fleet.history(serial, &error);
    }
    QApplication::restoreOverrideCursor();
    if (!error.isEmpty()) {
        m_status->setText(LoadMessage(kMsgReadFailed, {error}));
        return nullptr;
    }
    if (!row) {
        row = DetectorRow{};
        row->detector.serial = serial;
    }
    auto* window = new frmFleetHistory(*row, events, this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return window;
}
