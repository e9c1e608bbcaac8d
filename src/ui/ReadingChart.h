#pragma once

#include <QDateTime>
#include <QList>
#include <QPointF>
#include <QString>
#include <QWidget>

class QChart;
class QChartView;
class QDateTimeAxis;
class QLabel;
class QLineSeries;
class QValueAxis;

// The live reading chart of the calibration window: the reading of one gas over the last few
// minutes, with the warning and alarm points and the span concentration as flat lines, the gas's
// unit and full scale on the value axis, and a stability hint under it ("Stable" once the last
// readings stay within one display resolution step). Readings are ignored while it is paused
// (an adjustment runs).
class ReadingChart : public QWidget {
    Q_OBJECT
public:
    // What the chart shows of a gas; a level at or below clsInstrument::NoValue has no line.
    struct Gas {
        QString name;
        QString unit;
        float fullScale = 0.0f;
        float resolution = 0.0f; // one display step; 0: one step of the last decimal place
        qint16 places = 0;
        float warning = -101.0f;
        float alarm = -101.0f;
        float span = -101.0f;
    };

    // Seconds of readings the chart keeps.
    static constexpr int kWindowSeconds = 300;
    // Readings that must stay within one step for the hint to say "Stable".
    static constexpr int kStableCount = 10;

    explicit ReadingChart(QWidget* parent = nullptr);
    ~ReadingChart() override;

    // Sets the gas; the readings shown so far are dropped unless only its levels changed.
    void setGas(const Gas& gas);
    const Gas& gas() const { return m_gas; }
    // Adds a reading taken at `time`; ignored while paused. A status word (a value at or below
    // clsInstrument::NoValue) is not drawn and restarts the stability count.
    void addReading(const QDateTime& time, float value);
    // Drops every reading.
    void clear();
    // Pauses (while an adjustment runs) or resumes; either restarts the stability count.
    void setPaused(bool on);
    bool paused() const { return m_paused; }
    // True when the last kStableCount readings lie within one display step.
    bool Stable() const;
    // The stability hint as shown under the chart.
    QString StabilityText() const;

    // ---- Parts (for tests and screenshots) ----

    QChart* chart() const { return m_chart; }
    QChartView* chartView() const { return m_view; }
    QLineSeries* readingSeries() const { return m_reading; }
    QLineSeries* warningSeries() const { return m_warning; }
    QLineSeries* alarmSeries() const { return m_alarm; }
    QLineSeries* spanSeries() const { return m_span; }
    QValueAxis* valueAxis() const { return m_valueAxis; }
    QDateTimeAxis* timeAxis() const { return m_timeAxis; }
    QLabel* stabilityLabel() const { return m_stability; }

private:
    void applyCaptions();
    void updateAxes();
    void updateLevels();
    void updateHint();
    double step() const;

    Gas m_gas;
    QChart* m_chart = nullptr;
    QChartView* m_view = nullptr;
    QLineSeries* m_reading = nullptr;
    QLineSeries* m_warning = nullptr;
    QLineSeries* m_alarm = nullptr;
    QLineSeries* m_span = nullptr;
    QValueAxis* m_valueAxis = nullptr;
    QDateTimeAxis* m_timeAxis = nullptr;
    QLabel* m_stability = nullptr;
    QList<QPointF> m_points; // milliseconds since the epoch, value
    QList<float> m_recent;   // the latest readings for the stability hint
    QDateTime m_latest;
    bool m_paused = false;
};
