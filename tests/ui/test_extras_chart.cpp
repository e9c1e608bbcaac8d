// The live reading chart: on its own, and in the calibration window against the in-process
// simulated detector on virtual time.
#include "UiTestSupport.h"

#include "common/TempStartupFolder.h"
#include "instrument/clsInstrument.h"
#include "link/VirtualClock.h"
#include "shell/AppState.h"
#include "shell/Messages.h"
#include "sim/SimDetector.h"
#include "ui/ReadingChart.h"
#include "ui/frmCalibration.h"
#include "ui/frmMain.h"

#include <QChartView>
#include <QDateTimeAxis>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineSeries>
#include <QPixmap>
#include <QPushButton>
#include <QTest>
#include <QValueAxis>
#include <QSet>
#include <gtest/gtest.h>
#include <iostream>

namespace {

const QDateTime kStart(QDate(2025, 1, 7), QTime(9, 30, 0));

// The values of a flat level line, or {} when it has none.
QList<double> LevelValues(const QLineSeries* series) {
    QList<double> values;
    for (const QPointF& p : series->points())
        values << p.y();
    return values;
}

ReadingChart::Gas Methane() {
    ReadingChart::Gas gas;
    gas.name = QStringLiteral("CH4");
    gas.unit = QStringLiteral("%LEL");
    gas.fullScale = 100.0f;
    gas.resolution = 1.0f;
    gas.warning = 10.0f;
    gas.alarm = 50.0f;
    gas.span = 50.0f;
    return gas;
}

class ReadingChartTest : public ::testing::Test {
protected:
    void SetUp() override { SetMessageLanguage(QStringLiteral("EN")); }
};

TEST_F(ReadingChartTest, AxesAndLevelLinesFollowTheGas) {
    ReadingChart chart;
    ReadingChart::Gas gas = Methane();
    gas.span = clsInstrument::NoValue; // no span concentration: no line
    chart.setGas(gas);
    chart.addReading(kStart, 3.0f);

    EXPECT_EQ(chart.valueAxis()->titleText(), QStringLiteral("%LEL"));
    EXPECT_DOUBLE_EQ(chart.valueAxis()->min(), 0.0);
    EXPECT_DOUBLE_EQ(chart.valueAxis()->max(), 100.0);
    EXPECT_EQ(chart.timeAxis()->max(), kStart);
    EXPECT_EQ(chart.timeAxis()->min(), kStart.addSecs(-ReadingChart::kWindowSeconds));
    EXPECT_EQ(LevelValues(chart.warningSeries()), (QList<double>{10.0, 10.0}));
    EXPECT_EQ(LevelValues(chart.alarmSeries()), (QList<double>{50.0, 50.0}));
    EXPECT_TRUE(chart.spanSeries()->points().isEmpty());
    EXPECT_FALSE(chart.spanSeries()->isVisible());
    // The lines span the time axis.
    EXPECT_EQ(chart.warningSeries()->points().last().x(),
              static_cast<double>(kStart.toMSecsSinceEpoch()));

    // A new span concentration moves its line and keeps the readings.
    gas.span = 45.0f;
    chart.setGas(gas);
    EXPECT_EQ(LevelValues(chart.spanSeries()), (QList<double>{45.0, 45.0}));
    EXPECT_EQ(chart.readingSeries()->count(), 1);
    // Another gas starts afresh.
    gas.name = QStringLiteral("H2S");
    chart.setGas(gas);
    EXPECT_EQ(chart.readingSeries()->count(), 0);
}

TEST_F(ReadingChartTest, KeepsTheLastMinutesAndSkipsStatusWords) {
    ReadingChart chart;
    chart.setGas(Methane());
    for (int s = 0; s <= ReadingChart::kWindowSeconds + 60; s += 30)
        chart.addReading(kStart.addSecs(s), static_cast<float>(s % 7));
    const QList<QPointF> points = chart.readingSeries()->points();
    ASSERT_FALSE(points.isEmpty());
    const QDateTime last = kStart.addSecs((ReadingChart::kWindowSeconds + 60) / 30 * 30);
    EXPECT_GE(points.first().x(),
              static_cast<double>(last.addSecs(-ReadingChart::kWindowSeconds).toMSecsSinceEpoch()));
    EXPECT_EQ(points.last().x(), static_cast<double>(last.toMSecsSinceEpoch()));

    const qsizetype before = chart.readingSeries()->count();
    chart.addReading(last, -104.0f); // a status word is not a concentration
    EXPECT_EQ(chart.readingSeries()->count(), before);
}

TEST_F(ReadingChartTest, StableOnlyAfterTenReadingsWithinOneStep) {
    const struct {
        const char* name;
        QList<float> readings;
        float resolution;
        qint16 places;
        bool stable;
    } cases[] = {
        {"ten equal", QList<float>(10, 25.0f), 1.0f, 0, true},
        {"nine only", QList<float>(9, 25.0f), 1.0f, 0, false},
        {"within one step", {25, 26, 25, 26, 26, 25, 25, 26, 25, 26}, 1.0f, 0, true},
        {"two steps apart", {25, 26, 27, 26, 26, 25, 25, 26, 25, 26}, 1.0f, 0, false},
        {"early drift forgotten", {10, 20, 25, 25, 25, 25, 25, 25, 25, 25, 25, 25}, 1.0f, 0, true},
        {"decimal step",
         {20.9f, 21.0f, 20.9f, 21.0f, 21.0f, 20.9f, 20.9f, 21.0f, 21.0f, 20.9f},
         0.1f,
         1,
         true},
        {"decimal step exceeded",
         {20.8f, 21.0f, 20.9f, 21.0f, 21.0f, 20.9f, 20.9f, 21.0f, 21.0f, 20.9f},
         0.1f,
         1,
         false},
        {"step from places",
         {1.0f, 1.01f, 1.0f, 1.0f, 1.01f, 1.0f, 1.0f, 1.0f, 1.01f, 1.0f},
         0.0f,
         2,
         true},
        {"status word restarts", {25, 25, 25, 25, 25, -104, 25, 25, 25, 25, 25}, 1.0f, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ReadingChart chart;
        ReadingChart::Gas gas = Methane();
        gas.resolution = c.resolution;
        gas.places = c.places;
        chart.setGas(gas);
        for (qsizetype i = 0; i < c.readings.size(); ++i)
            chart.addReading(kStart.addSecs(i), c.readings[i]);
        EXPECT_EQ(chart.Stable(), c.stable);
        EXPECT_EQ(chart.stabilityLabel()->text(),
                  c.stable ? QStringLiteral("Stable") : QStringLiteral("Not stable"));
    }
}

TEST_F(ReadingChartTest, PausedChartTakesNoReadingsAndRestartsTheHint) {
    ReadingChart chart;
    chart.setGas(Methane());
    for (int i = 0; i < 10; ++i)
        chart.addReading(kStart.addSecs(i), 25.0f);
    ASSERT_TRUE(chart.Stable());
    chart.setPaused(true);
    chart.addReading(kStart.addSecs(10), 80.0f);
    EXPECT_EQ(chart.readingSeries()->count(), 10);
    EXPECT_EQ(chart.stabilityLabel()->text(), QStringLiteral("Paused during the adjustment"));
    chart.setPaused(false);
    chart.addReading(kStart.addSecs(11), 25.0f);
    EXPECT_EQ(chart.readingSeries()->count(), 11);
    EXPECT_FALSE(chart.Stable()) << "stability is shown again only after ten new readings";
}

// ---- In the calibration window ----

class CalibrationChartTest : public ::testing::Test, protected SimulatedWindow {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_folder.isValid());
        SetMessageLanguage(QStringLiteral("EN"));
        AppState::setOperationState(0);
        AppState::setDebugMode(false);
        AppState::setFactoryMode(false);
    }
    void TearDown() override { closeWindow(); }

    void openMain() {
        showWindow(QStringLiteral("KM"), kStart);
        ASSERT_TRUE(waitForConnection());
        ASSERT_TRUE(readDetector());
    }

private:
    TempStartupFolder m_folder;
};

TEST_F(CalibrationChartTest, ChartShowsTheLiveReadingsWithTheDetectorsLevels) {
    openMain();
    QTest::mouseClick(window->cmdOption(2), Qt::LeftButton);
    frmCalibration* calibration = frmCalibration::Loaded();
    ASSERT_NE(calibration, nullptr);
    ReadingChart* chart = calibration->readingChart();
    ASSERT_NE(chart, nullptr);
    EXPECT_TRUE(chart->isVisible());

    const float readings[] = {3, 6, 12, 18, 22, 24, 25, 25, 25, 26, 25, 25, 26, 25, 25, 25};
    for (float r : readings) {
        detector->setValue("DN", QStringLiteral("%1").arg(static_cast<int>(r), 5).toLatin1());
        clock->advance(1000);
    }
    const QList<QPointF> points = chart->readingSeries()->points();
    ASSERT_GE(points.size(), 10);
    EXPECT_EQ(points.last().y(), 25.0);
    EXPECT_EQ(chart->StabilityText(), QStringLiteral("Stable"));

    const clsInstrument& record = calibration->record();
    EXPECT_EQ(chart->valueAxis()->titleText(), record.GasUnit(0).trimmed());
    EXPECT_DOUBLE_EQ(chart->valueAxis()->max(), record.GasFullScale(0));
    const QList<double> warning = LevelValues(chart->warningSeries());
    const QList<double> alarm = LevelValues(chart->alarmSeries());
    const QList<double> span = LevelValues(chart->spanSeries());
    ASSERT_EQ(warning.size(), 2);
    ASSERT_EQ(alarm.size(), 2);
    ASSERT_EQ(span.size(), 2);
    EXPECT_FLOAT_EQ(static_cast<float>(warning[0]), window->working().Warning(0));
    EXPECT_FLOAT_EQ(static_cast<float>(alarm[0]), window->working().Alarm(0));
    EXPECT_FLOAT_EQ(static_cast<float>(span[0]), record.AutoCalib(0));
    EXPECT_LT(warning[0], alarm[0]);

    // A screenshot for a person to look at.
    calibration->resize(640, 560);
    QTest::qWait(0);
    // Into the build folder, which outlives the test.
    QDir screenshots(QStringLiteral(KM71_BINARY_DIR "/screenshots"));
    ASSERT_TRUE(screenshots.mkpath(QStringLiteral(".")));
    const QString shot = screenshots.filePath(QStringLiteral("reading_chart.png"));
    const QImage image = chart->grab().toImage();
    ASSERT_TRUE(image.save(shot, "PNG"));
    EXPECT_EQ(image.size(), chart->size() * chart->devicePixelRatio());
    // Not blank: the plot, its levels and its texts give many colours.
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            colours.insert(image.pixel(x, y));
    EXPECT_GT(colours.size(), 100);
    std::cout << "reading chart screenshot: " << QDir::toNativeSeparators(shot).toStdString()
              << " (" << colours.size() << " colours)" << std::endl;

    calibration->cmdCal(3)->click();
}

TEST_F(CalibrationChartTest, ChartPausesWhileAnAdjustmentRuns) {
    openMain();
    QTest::mouseClick(window->cmdOption(2), Qt::LeftButton);
    frmCalibration* calibration = frmCalibration::Loaded();
    ASSERT_NE(calibration, nullptr);
    ReadingChart* chart = calibration->readingChart();
    detector->setValue("DN", "   20");
    clock->advance(3000);
    const qsizetype before = chart->readingSeries()->count();
    ASSERT_GT(before, 0);

    bool pausedDuringZero = false;
    qsizetype countDuringZero = -1;
    QObject::connect(detector, &SimDetector::frameReceived, calibration,
                     [&](const QByteArray& frame) {
                         if (!frame.contains("SZ,W,")) return;
                         pausedDuringZero = chart->paused();
                         // A reading handed to the window now is not drawn.
                         calibration->Refresh_InstMoment();
                         countDuringZero = chart->readingSeries()->count();
                     });
    QTest::mouseClick(calibration->cmdCal(0), Qt::LeftButton);

    EXPECT_TRUE(pausedDuringZero);
    EXPECT_EQ(countDuringZero, before);
    EXPECT_FALSE(chart->paused());
    clock->advance(2000);
    EXPECT_GT(chart->readingSeries()->count(), before) << "readings are drawn again";
    calibration->cmdCal(3)->click();
}

} // namespace
