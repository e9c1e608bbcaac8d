#pragma once

#include "register/FleetRegister.h"
#include "register/RegisterEvent.h"

#include <QDialog>
#include <QList>
#include <QPointF>
#include <QString>
#include <optional>

class QChart;
class QChartView;
class QDateTimeAxis;
class QLabel;
class QLineSeries;
class QScatterSeries;
class QTableWidget;
class QValueAxis;

// The history of one detector: its events (time, kind, outcome, technician and details in one
// line) and a chart of its span readings before adjustment over time, the reading before each
// successful span, with their least-squares trend line: how far the sensor's sensitivity drifts
// between calibrations. With fewer than two readings the chart says so.
class frmFleetHistory : public QDialog {
    Q_OBJECT
public:
    // Columns of the event list.
    enum Column { ColTime = 0, ColKind, ColResult, ColTechnician, ColDetails, ColumnCount };

    // A least-squares line: value = intercept + slope * days since `origin`.
    struct Trend {
        double originMs = 0.0; // milliseconds since the epoch of the first point
        double slopePerDay = 0.0;
        double intercept = 0.0;
        // The line's value at a time (milliseconds since the epoch).
        double at(double ms) const;
    };

    // The window for the detector `row` and its events, oldest first.
    frmFleetHistory(const DetectorRow& row, const QList<RegisterEvent>& events,
                    QWidget* parent = nullptr);
    ~frmFleetHistory() override;

    // The reading before adjustment of every successful span event that has one, as (time in
    // milliseconds since the epoch, reading), oldest first.
    static QList<QPointF> SpanPoints(const QList<RegisterEvent>& events);
    // The least-squares line through the points; nothing with fewer than two points or when
    // they all share one time.
    static std::optional<Trend> LeastSquares(const QList<QPointF>& points);
    // The localised name of a kind.
    static QString KindText(EventKind kind);
    // The particulars of an event in one line.
    static QString DetailsText(const RegisterEvent& event);
    // The event's time as the recording PC showed it.
    static QString TimeText(const RegisterEvent& event);

    const DetectorRow& row() const { return m_row; }

    // ---- Controls ----

    QLabel* identityLabel() const { return m_identity; }
    QTableWidget* eventTable() const { return m_table; }
    QChart* chart() const { return m_chart; }
    QChartView* chartView() const { return m_view; }
    QScatterSeries* pointSeries() const { return m_points; }
    QLineSeries* trendSeries() const { return m_trend; }
    QLabel* trendLabel() const { return m_trendText; }

private:
    void buildWidgets();
    void fillTable();
    void fillChart();

    DetectorRow m_row;
    QList<RegisterEvent> m_events;
    QLabel* m_identity = nullptr;
    QTableWidget* m_table = nullptr;
    QChart* m_chart = nullptr;
    QChartView* m_view = nullptr;
    QScatterSeries* m_points = nullptr;
    QLineSeries* m_trend = nullptr;
    QDateTimeAxis* m_timeAxis = nullptr;
    QValueAxis* m_valueAxis = nullptr;
    QLabel* m_trendText = nullptr;
};
