#include "ui/frmFleetHistory.h"

#include "shell/Messages.h"
#include "widgets/SharedFont.h"

#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QFileInfo>
#include <QHeaderView>
#include <QJsonArray>
#include <QLabel>
#include <QLineSeries>
#include <QPen>
#include <QScatterSeries>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kMsgTitle = 6113;
constexpr int kMsgColumns = 6114;
constexpr int kMsgSuccess = 6115;
constexpr int kMsgFailed = 6116;
constexpr int kMsgChartTitle = 6117;
constexpr int kMsgTooFewPoints = 6118;
constexpr int kMsgReadingBefore = 6119;
constexpr int kMsgTrend = 6120;
constexpr int kMsgDate = 6121;
constexpr int kMsgKindFirst = 6123; // the kinds in the order of EventKind, up to Certificate
constexpr int kMsgKindProvision = 6179;
constexpr int kMsgConcentration = 6135;
constexpr int kMsgBefore = 6136;
constexpr int kMsgAfter = 6137;
constexpr int kMsgStatus = 6138;
constexpr int kMsgDrift = 6139;
// The captions of the two log clears.
constexpr int kMsgClearPowerLog = 5711;
constexpr int kMsgClearLoggerData = 5712;

constexpr double kMsPerDay = 86400000.0;

QString Number(const QJsonValue& value) {
    return QString::number(value.toDouble(), 'g', 6);
}

} // namespace

double frmFleetHistory::Trend::at(double ms) const {
    return intercept + slopePerDay * (ms - originMs) / kMsPerDay;
}

frmFleetHistory::frmFleetHistory(const DetectorRow& row, const QList<RegisterEvent>& events,
                                 QWidget* parent)
    : QDialog(parent), m_row(row), m_events(events) {
    setObjectName(QStringLiteral("frmFleetHistory"));
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    buildWidgets();
    SharedFont::Apply(this);
    fillTable();
    fillChart();
}

frmFleetHistory::~frmFleetHistory() = default;

// ---- Texts ----

QString frmFleetHistory::KindText(EventKind kind) {
    if (kind == EventKind::Provision) return LoadMessage(kMsgKindProvision);
    return LoadMessage(kMsgKindFirst + static_cast<int>(kind));
}

QString frmFleetHistory::TimeText(const RegisterEvent& event) {
    if (!event.pcTimeUtc.isValid()) return QString();
    return event.pcTimeUtc.toOffsetFromUtc(event.utcOffsetSeconds)
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString frmFleetHistory::DetailsText(const RegisterEvent& event) {
    const QJsonObject& d = event.details;
    QStringList parts;
    for (const SettingChange& change : event.changes())
        parts << change.name + QStringLiteral(" ") + change.oldValue.trimmed() +
                     QStringLiteral(" \u2192 ") + change.newValue.trimmed();
    if (d.contains(QStringLiteral("concentration")))
        parts << LoadMessage(kMsgConcentration, {Number(d.value(QStringLiteral("concentration")))});
    if (d.contains(QStringLiteral("before")))
        parts << LoadMessage(kMsgBefore, {Number(d.value(QStringLiteral("before")))});
    if (d.contains(QStringLiteral("after")))
        parts << LoadMessage(kMsgAfter, {Number(d.value(QStringLiteral("after")))});
    if (d.contains(QStringLiteral("status")))
        parts << LoadMessage(kMsgStatus, {d.value(QStringLiteral("status")).toString()});
    if (d.contains(QStringLiteral("verdict")))
        parts << d.value(QStringLiteral("verdict")).toString();
    for (const QJsonValue& difference : d.value(QStringLiteral("differences")).toArray())
        parts << difference.toString().simplified();
    const QString log = d.value(QStringLiteral("log")).toString();
    if (log == QLatin1String("power"))
        parts << LoadMessage(kMsgClearPowerLog);
    else if (log == QLatin1String("logger"))
        parts << LoadMessage(kMsgClearLoggerData);
    else if (!log.isEmpty())
        parts << log;
    if (d.contains(QStringLiteral("file")))
        parts << QFileInfo(d.value(QStringLiteral("file")).toString()).fileName();
    if (d.contains(QStringLiteral("source")))
        parts << QFileInfo(d.value(QStringLiteral("source")).toString()).fileName();
    if (d.contains(QStringLiteral("reason")))
        parts << d.value(QStringLiteral("reason")).toString().simplified();
    return parts.join(QStringLiteral("; "));
}

// ---- Span readings and their trend ----

QList<QPointF> frmFleetHistory::SpanPoints(const QList<RegisterEvent>& events) {
    QList<QPointF> points;
    for (const RegisterEvent& event : events) {
        if (event.kind != EventKind::Span || !event.success || !event.pcTimeUtc.isValid()) continue;
        const QJsonValue before = event.details.value(QStringLiteral("before"));
        if (!before.isDouble() || !std::isfinite(before.toDouble())) continue;
        points << QPointF(double(event.pcTimeUtc.toMSecsSinceEpoch()), before.toDouble());
    }
    std::stable_sort(points.begin(), points.end(),
                     [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
    return points;
}

std::optional<frmFleetHistory::Trend> frmFleetHistory::LeastSquares(const QList<QPointF>& points) {
    if (points.size() < 2) return std::nullopt;
    Trend trend;
    trend.originMs = points.first().x();
    // Days since the first point keep the sums small.
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const QPointF& p : points) {
        const double x = (p.x() - trend.originMs) / kMsPerDay;
        sx += x;
        sy += p.y();
        sxx += x * x;
        sxy += x * p.y();
    }
    const double n = double(points.size());
    const double denominator = n * sxx - sx * sx;
    if (std::fabs(denominator) < 1e-12) return std::nullopt;
    trend.slopePerDay = (n * sxy - sx * sy) / denominator;
    trend.intercept = (sy - trend.slopePerDay * sx) / n;
    return trend;
}

// ---- Widgets ----

void frmFleetHistory::buildWidgets() {
    const DetectorIdentity& d = m_row.detector;
    setWindowTitle(LoadMessage(kMsgTitle, {d.serial}));

    m_identity = new QLabel(this);
    m_identity->setObjectName(QStringLiteral("lblIdentity"));
    QStringList identity{d.serial, d.model, d.gas, d.stationId};
    identity.removeAll(QString());
    m_identity->setText(identity.join(QStringLiteral("   ")));

    m_table = new QTableWidget(0, ColumnCount, this);
    m_table->setObjectName(QStringLiteral("tblEvents"));
    m_table->setHorizontalHeaderLabels(LoadMessage(kMsgColumns).split(u'|'));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);

    m_chart = new QChart;
    m_chart->setMargins(QMargins(4, 4, 4, 4));
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_points = new QScatterSeries;
    m_points->setName(LoadMessage(kMsgReadingBefore));
    m_points->setMarkerSize(9.0);
    m_points->setColor(QColor(0, 0, 192));
    m_trend = new QLineSeries;
    m_trend->setName(LoadMessage(kMsgTrend));
    QPen trendPen(QColor(220, 30, 30));
    trendPen.setWidth(2);
    trendPen.setStyle(Qt::DashLine);
    m_trend->setPen(trendPen);
    m_timeAxis = new QDateTimeAxis;
    m_timeAxis->setFormat(QStringLiteral("yyyy-MM-dd"));
    m_timeAxis->setTitleText(LoadMessage(kMsgDate));
    m_timeAxis->setTickCount(5);
    m_valueAxis = new QValueAxis;
    m_valueAxis->setTitleText(d.gas);
    m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
    m_chart->addAxis(m_valueAxis, Qt::AlignLeft);
    for (QXYSeries* series :
         {static_cast<QXYSeries*>(m_points), static_cast<QXYSeries*>(m_trend)}) {
        m_chart->addSeries(series);
        series->attachAxis(m_timeAxis);
        series->attachAxis(m_valueAxis);
    }
    m_view = new QChartView(m_chart, this);
    m_view->setObjectName(QStringLiteral("chvDrift"));
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setMinimumHeight(220);
    m_trendText = new QLabel(this);
    m_trendText->setObjectName(QStringLiteral("lblTrend"));

    auto* chartPane = new QWidget(this);
    auto* chartLayout = new QVBoxLayout(chartPane);
    chartLayout->setContentsMargins(0, 0, 0, 0);
    chartLayout->addWidget(m_view, 1);
    chartLayout->addWidget(m_trendText);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(m_table);
    splitter->addWidget(chartPane);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_identity);
    layout->addWidget(splitter, 1);

    const QFontMetrics metrics(font());
    resize(metrics.horizontalAdvance(QLatin1Char('M')) * 64, metrics.height() * 36);
}

void frmFleetHistory::fillTable() {
    m_table->setRowCount(int(m_events.size()));
    for (int r = 0; r < m_events.size(); ++r) {
        const RegisterEvent& event = m_events[r];
        const QStringList cells{TimeText(event), KindText(event.kind),
                                LoadMessage(event.success ? kMsgSuccess : kMsgFailed),
                                event.technician, DetailsText(event)};
        for (int c = 0; c < ColumnCount; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (c == ColResult && !event.success) item->setForeground(QColor(255, 0, 0));
            if (c == ColDetails) item->setToolTip(cells[c]);
            m_table->setItem(r, c, item);
        }
    }
    m_table->resizeColumnsToContents();
    m_table->scrollToBottom();
}

void frmFleetHistory::fillChart() {
    const QList<QPointF> points = SpanPoints(m_events);
    m_points->replace(points);
    m_trend->clear();
    const std::optional<Trend> trend = LeastSquares(points);
    if (!trend) {
        m_chart->setTitle(LoadMessage(kMsgTooFewPoints));
        m_trendText->clear();
    } else {
        m_chart->setTitle(LoadMessage(kMsgChartTitle));
        const double first = points.first().x();
        const double last = points.last().x();
        m_trend->append(first, trend->at(first));
        m_trend->append(last, trend->at(last));
        m_trendText->setText(
            LoadMessage(kMsgDrift, {QString::number(trend->slopePerDay * 30.0, 'f', 3)}));
    }

    // Axes around the points and the line, with a margin; a day either side of a single time.
    double minX = 0, maxX = 0, minY = 0, maxY = 1;
    if (!points.isEmpty()) {
        minX = maxX = points.first().x();
        minY = maxY = points.first().y();
        for (const QPointF& p : points) {
            minX = std::min(minX, p.x());
            maxX = std::max(maxX, p.x());
            minY = std::min(minY, p.y());
            maxY = std::max(maxY, p.y());
        }
        for (const QPointF& p : m_trend->points()) {
            minY = std::min(minY, p.y());
            maxY = std::max(maxY, p.y());
        }
    } else {
        minX = maxX = double(QDateTime::currentMSecsSinceEpoch());
    }
    const double spanX = std::max(maxX - minX, kMsPerDay);
    const double spanY = std::max(maxY - minY, 1.0);
    m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(qint64(minX - spanX * 0.05)),
                         QDateTime::fromMSecsSinceEpoch(qint64(maxX + spanX * 0.05)));
    m_valueAxis->setRange(minY - spanY * 0.1, maxY + spanY * 0.1);
    m_valueAxis->applyNiceNumbers();
}
