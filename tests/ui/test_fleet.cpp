// The fleet window and the detector history on a register with known dates, and the main
// window's button that opens them.
#include "UiTestSupport.h"

#include "common/TempStartupFolder.h"
#include "register/FleetRegister.h"
#include "shell/Messages.h"
#include "ui/frmFleet.h"
#include "ui/frmFleetHistory.h"
#include "ui/frmMain.h"

#include <QChart>
#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QLineSeries>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QScatterSeries>
#include <QScreen>
#include <QSet>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QUuid>
#include <cmath>
#include <gtest/gtest.h>
#include <iostream>

namespace {

const QDate kToday(2025, 3, 1);

RegisterEvent Event(const QString& serial, EventKind kind, const QDateTime& utc,
                    const QDate& calibrated = {}, int calLimit = -1) {
    RegisterEvent e;
    e.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    e.kind = kind;
    e.detector.serial = serial;
    e.detector.model = QStringLiteral("KM");
    e.detector.gas =
        serial.startsWith(u'B') ? QStringLiteral("CO(ppm)") : QStringLiteral("CH4(%LEL)");
    e.detector.stationId = QStringLiteral("LINE ") + serial.left(1);
    e.detector.calLimit = calLimit;
    if (calibrated.isValid()) e.detector.lastCalibration = QDateTime(calibrated, QTime(10, 0));
    e.pcTimeUtc = utc;
    e.technician = QStringLiteral("Tester");
    return e;
}

class FleetTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_folder.isValid());
        SetMessageLanguage(QStringLiteral("EN"));
    }
    // Stores the events in the default register of the start-up folder.
    void store(const QList<RegisterEvent>& events) {
        FleetRegister fleet(RegisterLocation::Default(m_folder.path()));
        QString error;
        ASSERT_TRUE(fleet.open(&error)) << error.toStdString();
        for (const RegisterEvent& e : events)
            ASSERT_TRUE(fleet.append(e, &error)) << error.toStdString();
    }
    // Five detectors whose calibrations fall due at known distances from kToday.
    std::unique_ptr<frmFleet> openFleet() {
        const QDateTime seen(QDate(2025, 2, 20), QTime(8, 0), Qt::UTC);
        store({Event("A-OVERDUE", EventKind::Read, seen, QDate(2025, 1, 1), 30),
               Event("A-TODAY", EventKind::Read, seen, QDate(2025, 2, 1), 28),
               Event("B-SOON", EventKind::Read, seen, QDate(2025, 2, 13), 30),
               Event("C-LATER", EventKind::Read, seen, QDate(2025, 2, 14), 30),
               Event("C-NEVER", EventKind::Read, seen)});
        auto window = std::make_unique<frmFleet>(RegisterLocation::Default(m_folder.path()));
        window->setToday(kToday);
        window->show();
        return window;
    }
    static QStringList ShownSerials(const frmFleet& window) {
        QStringList serials;
        for (const QStringList& row : window.ShownRows())
            serials << row[frmFleet::ColSerial];
        return serials;
    }
    // Saves a picture of the window into the build folder, checks it is not blank and prints
    // its path.
    static void Screenshot(QWidget* widget, const QString& name) {
        const QDir folder(QStringLiteral(KM71_BINARY_DIR "/screenshots"));
        ASSERT_TRUE(folder.mkpath(QStringLiteral(".")));
        const QString path = folder.filePath(name);
        QTest::qWait(0);
        ASSERT_TRUE(widget->grab().save(path, "PNG"));
        const QImage image(path);
        EXPECT_GE(image.width(), 600);
        EXPECT_GE(image.height(), 300);
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); y += 3)
            for (int x = 0; x < image.width(); x += 3)
                colours.insert(image.pixel(x, y));
        EXPECT_GE(colours.size(), 8) << "a blank picture";
        std::cout << "screenshot: " << QDir::toNativeSeparators(path).toStdString() << std::endl;
    }

    TempStartupFolder m_folder;
};

TEST_F(FleetTest, CalibrationDueDatesAreRedWhenOverdueAmberWithinTwoWeeks) {
    const std::unique_ptr<frmFleet> window = openFleet();
    const QColor red = frmFleet::OverdueColour(), amber = frmFleet::DueSoonColour(), plain;
    const struct {
        const char* serial;
        const char* due;
        QColor colour;
    } cases[] = {{"A-OVERDUE", "2025-01-31", red},
                 {"A-TODAY", "2025-03-01", amber},
                 {"B-SOON", "2025-03-15", amber},
                 {"C-LATER", "2025-03-16", plain},
                 {"C-NEVER", "", plain}};
    ASSERT_EQ(window->model()->rowCount(), 5);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.serial);
        const QList<QStandardItem*> found = window->model()->findItems(c.serial);
        ASSERT_EQ(found.size(), 1);
        const QStandardItem* due =
            window->model()->item(found.first()->row(), frmFleet::ColCalibrationDue);
        EXPECT_EQ(due->text(), QString::fromLatin1(c.due));
        const QBrush background = due->background();
        EXPECT_EQ(background.style() == Qt::NoBrush ? QColor() : background.color(), c.colour);
    }
    EXPECT_TRUE(red.red() > 200 && red.green() < 80 && amber.green() > 150) << "red and amber";
    window->resize(960, 420);
    Screenshot(window.get(), QStringLiteral("fleet_window.png"));
}

TEST_F(FleetTest, FilterNarrowsTheRowsToThoseAnyColumnOfWhichHoldsItsText) {
    const std::unique_ptr<frmFleet> window = openFleet();
    const struct {
        const char* text;
        QStringList serials;
    } cases[] = {{"", {"A-OVERDUE", "A-TODAY", "B-SOON", "C-LATER", "C-NEVER"}},
                 {"co(ppm)", {"B-SOON"}},
                 {"line c", {"C-LATER", "C-NEVER"}},
                 {"2025-03-1", {"B-SOON", "C-LATER"}},
                 {"nowhere", {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        window->filterBox()->setText(QString::fromLatin1(c.text));
        EXPECT_EQ(ShownSerials(*window), c.serials);
        EXPECT_EQ(window->statusLabel()->text(),
                  QStringLiteral("%1 of 5 detectors").arg(c.serials.size()));
    }
}

TEST_F(FleetTest, ExportsTheListAsShownToCsvWithTheLocalesSeparatorAndToPdf) {
    const std::unique_ptr<frmFleet> window = openFleet();
    window->filterBox()->setText(QStringLiteral("line a"));
    const QString seen = QDateTime(QDate(2025, 2, 20), QTime(8, 0), Qt::UTC)
                             .toLocalTime()
                             .toString("yyyy-MM-dd HH:mm");
    for (const auto& [locale, separator] :
         {std::pair{QLocale(QLocale::English, QLocale::UnitedStates), QStringLiteral(",")},
          std::pair{QLocale(QLocale::German, QLocale::Germany), QStringLiteral(";")}}) {
        SCOPED_TRACE(separator.toStdString());
        const QLocale saved;
        QLocale::setDefault(locale);
        const QString path = m_folder.filePath(QStringLiteral("fleet.csv"));
        QString error;
        const bool written = window->ExportCsv(path, &error);
        QLocale::setDefault(saved);
        ASSERT_TRUE(written) << error.toStdString();
        const QStringList expected{
            "Serial No.,Model,Gas,Station,Last Calibration,Calibration Due,Last Bump,Last Seen",
            "A-OVERDUE,KM,CH4(%LEL),LINE A,2025-01-01,2025-01-31,," + seen,
            "A-TODAY,KM,CH4(%LEL),LINE A,2025-02-01,2025-03-01,," + seen, ""};
        EXPECT_EQ(QString::fromLocal8Bit(m_folder.readFile("fleet.csv")),
                  expected.join("\r\n").replace(u',', separator));
    }
    // A field holding the separator or a quote is quoted.
    EXPECT_EQ(frmFleet::CsvText({"a", "b"}, {{"x,y", "say \"hi\""}}, ","),
              QStringLiteral("a,b\r\n\"x,y\",\"say \"\"hi\"\"\"\r\n"));

    // The report is a PDF a real reader renders, with the rows shown.
    const QString pdf = m_folder.filePath(QStringLiteral("fleet.pdf"));
    ASSERT_TRUE(window->ExportPdf(pdf));
    QProcess render;
    render.start(QStringLiteral("pdftoppm"), {"-png", "-r", "40", "-f", "1", "-l", "1",
                                              "-singlefile", pdf, m_folder.filePath("page")});
    ASSERT_TRUE(render.waitForFinished(60000)) << "pdftoppm did not run";
    EXPECT_EQ(render.exitCode(), 0) << render.readAllStandardError().toStdString();
    EXPECT_GT(QFile(m_folder.filePath("page.png")).size(), 1000);
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {"-layout", pdf, "-"});
    ASSERT_TRUE(text.waitForFinished(60000));
    const QString page = QString::fromUtf8(text.readAllStandardOutput());
    EXPECT_TRUE(page.contains("Fleet Register") && page.contains("A-TODAY")) << page.toStdString();
    EXPECT_FALSE(page.contains("B-SOON")) << "a row the filter hides";
}

TEST_F(FleetTest, HistoryChartsTheSpanReadingsBeforeAdjustmentWithTheirTrend) {
    const QDateTime start(QDate(2024, 6, 1), QTime(9, 0), Qt::UTC);
    const auto span = [&](int day, double before, bool ok) {
        RegisterEvent e = Event("A-DRIFT", EventKind::Span, start.addDays(day));
        e.success = ok;
        e.details.insert("before", before);
        e.details.insert("after", 50.0);
        return e;
    };
    RegisterEvent write = Event("A-DRIFT", EventKind::Write, start.addDays(1));
    write.setChanges({{"A1", "   10", "   20"}});
    store({span(0, 48.0, true), write, span(30, 47.0, true), span(45, 20.0, false),
           span(60, 45.5, true)});
    frmFleet fleet(RegisterLocation::Default(m_folder.path()));
    fleet.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&fleet));
    // A double click on the row opens the history.
    const QModelIndex cell = fleet.proxy()->index(0, frmFleet::ColGas);
    const QPoint at = fleet.table()->visualRect(cell).center();
    QTest::mouseClick(fleet.table()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(fleet.table()->viewport(), Qt::LeftButton, {}, at);
    frmFleetHistory* history = fleet.findChild<frmFleetHistory*>();
    ASSERT_NE(history, nullptr) << fleet.statusLabel()->text().toStdString();
    EXPECT_EQ(history->eventTable()->rowCount(), 5);
    EXPECT_EQ(history->eventTable()->item(1, frmFleetHistory::ColDetails)->text(),
              QStringLiteral("A1 10 \u2192 20"));
    EXPECT_EQ(history->eventTable()->item(3, frmFleetHistory::ColResult)->text(), "Failed");

    // The three successful spans, and the least-squares line: 48.083 falling 1/24 a day.
    const double day0 = double(start.toMSecsSinceEpoch());
    const QList<QPointF> expected{
        {day0, 48.0}, {day0 + 30 * 86400000.0, 47.0}, {day0 + 60 * 86400000.0, 45.5}};
    EXPECT_EQ(history->pointSeries()->points(), expected);
    const QList<QPointF> trend = history->trendSeries()->points();
    ASSERT_EQ(trend.size(), 2);
    EXPECT_EQ(trend[0].x(), expected[0].x());
    EXPECT_EQ(trend[1].x(), expected[2].x());
    EXPECT_NEAR(trend[0].y(), 48.0 + 1.0 / 12.0, 1e-9);
    EXPECT_NEAR(trend[1].y(), 48.0 + 1.0 / 12.0 - 2.5, 1e-9);
    EXPECT_EQ(history->chart()->title(), QStringLiteral("Span reading before adjustment"));
    history->resize(900, 700);
    Screenshot(history, QStringLiteral("fleet_history.png"));

    // With one reading there is nothing to draw a trend through, and the chart says so.
    frmFleetHistory single(history->row(), {span(0, 48.0, true), span(9, 40.0, false)});
    EXPECT_EQ(single.pointSeries()->count(), 1);
    EXPECT_EQ(single.trendSeries()->count(), 0);
    EXPECT_EQ(single.chart()->title(),
              QStringLiteral("Fewer than two span readings: no trend to show yet."));
}

// ---- The button of the main window ----

class FleetButtonTest : public FleetTest, protected SimulatedWindow {
protected:
    void TearDown() override { closeWindow(); }
};

TEST_F(FleetButtonTest, TakesNoRoomFromAnyControlAndOpensTheFleetWindow) {
    for (const auto& [debug, factory] : {std::pair{false, false}, std::pair{true, false},
                                         std::pair{false, true}, std::pair{true, true}}) {
        SCOPED_TRACE(testing::Message() << "debug " << debug << " factory " << factory);
        AppState::setDebugMode(debug);
        AppState::setFactoryMode(factory);
        showWindow();
        QPushButton* button = window->cmdFleet();
        ASSERT_TRUE(button->isVisible() && button->isEnabled());
        EXPECT_EQ(button->text(), QStringLiteral("Fleet"));
        for (const QSize size : {window->minimumSize(), QSize(1280, 900)}) {
            window->resize(size);
            const auto places = [this] {
                QList<QRect> out;
                for (QWidget* w : window->findChildren<QWidget*>())
                    if (w != window->cmdFleet() && w->isVisible())
                        out << QRect(w->mapTo(window.get(), QPoint(0, 0)), w->size());
                return out;
            };
            QLayout* layout = window->centralWidget()->layout();
            button->show();
            layout->activate();
            const QList<QRect> with = places();
            const int leastWith = layout->minimumSize().height();
            button->hide();
            layout->activate();
            EXPECT_EQ(places(), with);
            // Nor does it raise the window's least height (the twips one, or the controls').
            const int twips = int(std::ceil(frmMain::kMinHeightTwips *
                                            window->screen()->logicalDotsPerInchY() / 1440.0));
            EXPECT_LE(leastWith, std::max(twips, layout->minimumSize().height()));
            button->show();
        }
    }
    click(window->cmdFleet());
    frmFleet* fleet = window->findChild<frmFleet*>();
    ASSERT_NE(fleet, nullptr);
    EXPECT_TRUE(fleet->isVisible() && QFile::exists(m_folder.filePath("KM71Fleet.sqlite")));
    EXPECT_EQ(fleet->statusLabel()->text(), QStringLiteral("0 of 0 detectors"));
}

} // namespace
