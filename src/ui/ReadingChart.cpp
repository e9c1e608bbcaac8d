#include "ui/ReadingChart.h"

#include "instrument/clsInstrument.h"
#include "shell/Messages.h"

#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QLabel>
#include <QLineSeries>
#include <QPen>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kMsgReading = 2210;
constexpr int kMsgTime = 2211;
constexpr int kMsgWarning = 2212;
constexpr int kMsgAlarm = 2213;
constexpr int kMsgSpanGas = 2214;
constexpr int kMsgStable = 2215;
constexpr int kMsgNotStable = 2216;
constexpr int kMsgPaused = 2217;

bool HasLevel(float value) {
    return std::isfinite(value) && value > clsInstrument::NoValue;
}

QLineSeries* MakeLevelSeries(const QColor& colour, Qt::PenStyle style) {
    auto* series = new QLineSeries;
    QPen pen(colour);
    pen.setWidth(2);
    pen.setStyle(style);
    series->setPen(pen);
    return series;
}

} // namespace

ReadingChart::ReadingChart(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ReadingChart"));
    m_chart = new QChart;
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_chart->setMargins(QMargins(4, 4, 4, 4));

    m_reading = new QLineSeries;
    QPen readingPen(QColor(0, 0, 192));
    readingPen.setWidth(2);
    m_reading->setPen(readingPen);
    m_warning = MakeLevelSeries(QColor(230, 160, 0), Qt::DashLine);
    m_alarm = MakeLevelSeries(QColor(255, 0, 0), Qt::DashLine);
    m_span = MakeLevelSeries(QColor(0, 160, 0), Qt::DotLine);

    m_timeAxis = new QDateTimeAxis;
    m_timeAxis->setFormat(QStringLiteral("hh:mm:ss"));
    m_timeAxis->setTickCount(6);
    m_valueAxis = new QValueAxis;
    m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
    m_chart->addAxis(m_valueAxis, Qt::AlignLeft);
    for (QLineSeries* series : {m_reading, m_span, m_warning, m_alarm}) {
        m_chart->addSeries(series);
        series->attachAxis(m_timeAxis);
        series->attachAxis(m_valueAxis);
    }

    m_view = new QChartView(m_chart, this);
    m_view->setObjectName(QStringLiteral("chvReading"));
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setMinimumHeight(180);
    m_stability = new QLabel(this);
    m_stability->setObjectName(QStringLiteral("lblStability"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_stability);

    applyCaptions();
    updateAxes();
    updateHint();
}

ReadingChart::~ReadingChart() = default;

void ReadingChart::applyCaptions() {
    m_reading->setName(
        m_gas.name.trimmed().isEmpty()
            ? LoadMessage(kMsgReading)
            : QStringLiteral("%1 %2").arg(LoadMessage(kMsgReading), m_gas.name.trimmed()));
    m_warning->setName(LoadMessage(kMsgWarning));
    m_alarm->setName(LoadMessage(kMsgAlarm));
    m_span->setName(LoadMessage(kMsgSpanGas));
    m_timeAxis->setTitleText(LoadMessage(kMsgTime));
    m_valueAxis->setTitleText(m_gas.unit.trimmed());
    const int places = m_gas.places >= 1 && m_gas.places <= 3 ? m_gas.places : 0;
    m_valueAxis->setLabelFormat(QStringLiteral("%.%1f").arg(places));
}

void ReadingChart::setGas(const Gas& gas) {
    const bool sameGas = gas.name == m_gas.name && gas.unit == m_gas.unit &&
                         gas.fullScale == m_gas.fullScale && gas.resolution == m_gas.resolution &&
                         gas.places == m_gas.places;
    m_gas = gas;
    if (sameGas) {
        // Only a level changed (an edited span concentration): the readings stay.
        updateAxes();
        return;
    }
    m_points.clear();
    m_reading->clear();
    m_recent.clear();
    m_latest = QDateTime();
    applyCaptions();
    updateAxes();
    updateHint();
}

void ReadingChart::clear() {
    m_points.clear();
    m_reading->clear();
    m_recent.clear();
    m_latest = QDateTime();
    updateAxes();
    updateHint();
}

void ReadingChart::addReading(const QDateTime& time, float value) {
    if (m_paused || !time.isValid()) return;
    // A clock set back starts the chart afresh rather than drawing backwards.
    if (m_latest.isValid() && time < m_latest) clear();
    m_latest = time;
    if (HasLevel(value)) {
        m_points << QPointF(static_cast<double>(time.toMSecsSinceEpoch()), value);
        m_recent << value;
        while (m_recent.size() > kStableCount)
            m_recent.removeFirst();
    } else {
        m_recent.clear();
    }
    const double oldest = static_cast<double>(time.toMSecsSinceEpoch()) - kWindowSeconds * 1000.0;
    const auto firstKept = std::find_if(m_points.begin(), m_points.end(),
                                        [oldest](const QPointF& p) { return p.x() >= oldest; });
    m_points.erase(m_points.begin(), firstKept);
    m_reading->replace(m_points);
    updateAxes();
    updateHint();
}

void ReadingChart::setPaused(bool on) {
    if (m_paused == on) return;
    m_paused = on;
    m_recent.clear();
    updateHint();
}

double ReadingChart::step() const {
    if (m_gas.resolution > 0.0f) return m_gas.resolution;
    const int places = m_gas.places >= 1 && m_gas.places <= 3 ? m_gas.places : 0;
    return std::pow(10.0, -places);
}

bool ReadingChart::Stable() const {
    if (m_paused || m_recent.size() < kStableCount) return false;
    const auto [low, high] = std::minmax_element(m_recent.begin(), m_recent.end());
    // Readings arrive as floats: allow for their rounding.
    return static_cast<double>(*high) - static_cast<double>(*low) <= step() * (1.0 + 1e-4);
}

QString ReadingChart::StabilityText() const {
    if (m_paused) return LoadMessage(kMsgPaused);
    return LoadMessage(Stable() ? kMsgStable : kMsgNotStable);
}

void ReadingChart::updateHint() {
    m_stability->setText(StabilityText());
    m_stability->setStyleSheet(Stable() ? QStringLiteral("color: rgb(0,160,0);")
                                        : QStringLiteral("color: rgb(128,128,128);"));
}

void ReadingChart::updateAxes() {
    const QDateTime end = m_latest.isValid() ? m_latest : QDateTime::currentDateTime();
    const QDateTime start = end.addSecs(-kWindowSeconds);
    m_timeAxis->setRange(start, end);

    double low = 0.0;
    double high = m_gas.fullScale > 0.0f ? m_gas.fullScale : 0.0;
    for (const QPointF& p : std::as_const(m_points)) {
        low = std::min(low, p.y());
        high = std::max(high, p.y());
    }
    for (float level : {m_gas.warning, m_gas.alarm, m_gas.span})
        if (HasLevel(level)) high = std::max(high, static_cast<double>(level));
    if (high <= low) high = low + 1.0;
    m_valueAxis->setRange(low, high);
    updateLevels();
}

void ReadingChart::updateLevels() {
    const double from = m_timeAxis->min().toMSecsSinceEpoch();
    const double to = m_timeAxis->max().toMSecsSinceEpoch();
    const std::pair<QLineSeries*, float> levels[] = {
        {m_warning, m_gas.warning}, {m_alarm, m_gas.alarm}, {m_span, m_gas.span}};
    for (const auto& [series, level] : levels) {
        if (!HasLevel(level)) {
            series->clear();
            series->setVisible(false);
            continue;
        }
        series->replace(QList<QPointF>{{from, level}, {to, level}});
        series->setVisible(true);
    }
}
