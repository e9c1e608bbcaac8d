// The calibration window and its adjustment dialog, with real widgets against the in-process
// simulated detector on virtual time.
#include "UiTestSupport.h"

#include "common/LinkLogFile.h"
#include "common/TempStartupFolder.h"
#include "configuration/ToolSettings.h"
#include "instrument/clsInstrument.h"
#include "link/Frame.h"
#include "link/VirtualClock.h"
#include "link/uclHvif.h"
#include "shell/AppState.h"
#include "sim/SimDetector.h"
#include "ui/frmCalibration.h"
#include "ui/frmMain.h"
#include "ui/frmUploadCalib.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QColor kGrey(192, 192, 192);
const int kRow = frmCalibration::GasRow(0);

class CalibrationTest : public ::testing::Test, protected SimulatedWindow {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_folder.isValid());
        AppState::setOperationState(0);
    }
    void TearDown() override { closeWindow(); } // the windows and the link go first

    // The main window on a simulated detector, connected and with the detector read.
    void openMain(const QString& model = QStringLiteral("KM")) {
        AppState::setDebugMode(false);
        AppState::setFactoryMode(false);
        showWindow(model);
        ASSERT_TRUE(waitForConnection());
        ASSERT_TRUE(readDetector());
        detector->clearReceivedFrames();
    }

    // Opens the calibration window with the main window's "Calibration" button.
    frmCalibration* openCalibration() {
        click(window->cmdOption(2));
        frmCalibration* calibration = frmCalibration::Loaded();
        EXPECT_NE(calibration, nullptr);
        return calibration;
    }

    // Request texts the detector received, in order, without the live reading polls and the
    // requests for the next block of a reply.
    QStringList commands() const {
        QStringList out;
        for (const QString& text : requests())
            if (text != QLatin1String("DN,R,") && !text.endsWith(QChar(Ctl::ACK))) out << text;
        return out;
    }
    int readingPolls() const {
        int count = 0;
        for (const QByteArray& frame : detector->receivedFrames())
            count += frame.contains("DN,R,") ? 1 : 0;
        return count;
    }

    QString cell(frmCalibration* calibration, int column) const {
        const QTableWidgetItem* item = calibration->vfgCal()->item(kRow, column);
        return item ? item->text() : QStringLiteral("<none>");
    }

private:
    TempStartupFolder m_folder;
};

// ---- Opening ----

TEST_F(CalibrationTest, OpensWithTheDetectorsGasAndSpanConcentration) {
    struct Case {
        const char* model;
        const char* caption;
        const char* span;
    };
    const Case cases[] = {
        {"KM", "CH4(100%LEL)", "50"}, {"QZ", "O2(25.0VOL%)", "18.0"}, {"VL", "CO(500ppm)", "100"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        openMain(QString::fromLatin1(c.model));
        frmCalibration* calibration = openCalibration();
        ASSERT_NE(calibration, nullptr);

        EXPECT_EQ(commands(), (QStringList{QStringLiteral("GJ,R,"), QStringLiteral("SA,R,")}));
        EXPECT_EQ(calibration->windowTitle(), QStringLiteral("71-Series Calibration"));
        EXPECT_EQ(calibration->fraCalibration()->title(), QStringLiteral("Calibration"));
        EXPECT_EQ(calibration->cmdCal(0)->text(), QStringLiteral("Zero"));
        EXPECT_EQ(calibration->cmdCal(1)->text(), QStringLiteral("Span"));
        EXPECT_EQ(calibration->cmdCal(3)->text(), QStringLiteral("Exit Calibration"));
        EXPECT_EQ(calibration->cmdCal(2), nullptr);
        EXPECT_TRUE(calibration->isModal());
        const QTableWidget* grid = calibration->vfgCal();
        ASSERT_EQ(grid->rowCount(), 2);
        QStringList header;
        for (int column = 0; column < grid->columnCount(); ++column)
            header << grid->item(0, column)->text();
        EXPECT_EQ(header.join(u'|'), QStringLiteral("Gas|Select|Auto Cal.(F)|Current Reading"));

        EXPECT_EQ(cell(calibration, frmCalibration::ColGas), QString::fromLatin1(c.caption));
        EXPECT_EQ(cell(calibration, frmCalibration::ColAutoCal), QString::fromLatin1(c.span));
        EXPECT_EQ(grid->item(kRow, frmCalibration::ColSelect)->checkState(), Qt::Checked);
        EXPECT_TRUE(calibration->Calibratable(0));
        EXPECT_TRUE(frmCalibration::Selected(0));
        EXPECT_TRUE(frmCalibration::WindowOpenFlag());
        EXPECT_TRUE(window->link().RunDensty()) << "the live readings stream while it is open";
        EXPECT_FALSE(calibration->BeforeEdit(kRow, frmCalibration::ColReading));
        EXPECT_TRUE(calibration->BeforeEdit(kRow, frmCalibration::ColAutoCal));

        click(calibration->cmdCal(3));
        closeWindow();
    }
}

// ---- Span refused before any traffic ----

TEST_F(CalibrationTest, SpanWithNoGasSelectedIsRefusedBeforeAnyTraffic) {
    // A detector without a span concentration opens with its gas not calibratable; a
    // calibratable gas can be deselected by its box.
    for (const bool noConcentration : {true, false}) {
        SCOPED_TRACE(noConcentration ? "no span concentration" : "box cleared");
        openMain();
        if (noConcentration) detector->setValue("SA", "*****");
        frmCalibration* calibration = openCalibration();
        ASSERT_NE(calibration, nullptr);
        QTableWidgetItem* box = calibration->vfgCal()->item(kRow, frmCalibration::ColSelect);
        if (noConcentration) {
            EXPECT_FALSE(calibration->Calibratable(0));
            EXPECT_EQ(box->checkState(), Qt::Unchecked);
            EXPECT_FALSE(box->flags() & Qt::ItemIsUserCheckable);
            EXPECT_EQ(cell(calibration, frmCalibration::ColAutoCal), QStringLiteral("-----"));
            for (int column = 0; column < frmCalibration::ColumnTotal; ++column) {
                const QTableWidgetItem* item = calibration->vfgCal()->item(kRow, column);
                EXPECT_EQ(item->foreground().color(), kGrey) << column;
                EXPECT_FALSE(item->flags() & Qt::ItemIsEditable) << column;
                EXPECT_FALSE(calibration->BeforeEdit(kRow, column)) << column;
            }
        } else {
            box->setCheckState(Qt::Unchecked);
        }
        EXPECT_FALSE(frmCalibration::Selected(0));
        detector->clearReceivedFrames();

        click(calibration->cmdCal(1));

        EXPECT_EQ(prompts.shown(),
                  QStringList{QStringLiteral("critical: Span not performed. / No sensors "
                                             "selected.\r\nMake selection in calibration table.")});
        EXPECT_TRUE(commands().isEmpty()) << commands().join(u' ').toStdString();
        EXPECT_EQ(calibration->vfgCal()->currentRow(), 1);
        EXPECT_EQ(calibration->vfgCal()->currentColumn(), 1);
        EXPECT_EQ(AppState::OperationState(), 0);
        prompts.boxes.clear();
        click(calibration->cmdCal(3));
        closeWindow();
    }
}

// ---- Zero ----

TEST_F(CalibrationTest, ZeroWithNotYetAnswersEndsWithTheAdjustmentBox) {
    openMain();
    frmCalibration* calibration = openCalibration();
    ASSERT_NE(calibration, nullptr);
    detector->faults().notYet = 2;
    detector->clearReceivedFrames();

    // What the program shows while the detector works on the zero.
    qint16 stateDuringAdjustment = -1;
    QString dialogTitle;
    bool streamingDuringAdjustment = true;
    bool closedDuringAdjustment = false;
    QObject::connect(detector, &SimDetector::frameReceived, calibration,
                     [&](const QByteArray& frame) {
                         if (!frame.contains("SZ,W,")) return;
                         stateDuringAdjustment = AppState::OperationState();
                         streamingDuringAdjustment = window->link().RunDensty();
                         const auto dialogs = calibration->findChildren<frmUploadCalib*>();
                         if (!dialogs.isEmpty()) dialogTitle = dialogs.first()->windowTitle();
                         // The close box does nothing while the adjustment runs.
                         closedDuringAdjustment = calibration->close();
                     });

    click(calibration->cmdCal(0));

    EXPECT_EQ(stateDuringAdjustment, 3);
    EXPECT_EQ(dialogTitle, QStringLiteral("Adjusting Zero"));
    EXPECT_FALSE(streamingDuringAdjustment);
    EXPECT_FALSE(closedDuringAdjustment);
    EXPECT_EQ(commands(), (QStringList{QStringLiteral("SZ,W,1"), QStringLiteral("SZ,C,"),
                                       QStringLiteral("SZ,C,"), QStringLiteral("SZ,C,")}));
    EXPECT_EQ(prompts.shown(), QStringList{QStringLiteral(
                                   "information: Adjustment / CH4  Adjustment Complete.\r\n")});
    EXPECT_TRUE(calibration->CalibResult());
    EXPECT_EQ(AppState::OperationState(), 0);
    EXPECT_TRUE(window->link().RunDensty()) << "the live readings stream again";
    EXPECT_EQ(frmCalibration::Loaded(), calibration);
    EXPECT_TRUE(calibration->isVisible());
    EXPECT_TRUE(calibration->findChildren<frmUploadCalib*>().isEmpty());
    EXPECT_TRUE(calibration->cmdCal(0)->isEnabled());
}

TEST_F(CalibrationTest, FailedZeroWritesTheRedLineAndShowsNoBox) {
    openMain();
    frmCalibration* calibration = openCalibration();
    ASSERT_NE(calibration, nullptr);
    detector->faults().deadLine = true;

    click(calibration->cmdCal(0));

    EXPECT_TRUE(hasInfo(QStringLiteral("71-Series Calibration Fail."), kRed));
    EXPECT_TRUE(prompts.boxes.isEmpty());
    EXPECT_FALSE(calibration->CalibResult());
    // The link writes the failure into the link log, once.
    EXPECT_EQ(LinkLogText().count(QStringLiteral("---Calibration Upload Failed---. Date = ")), 1);
    EXPECT_EQ(AppState::OperationState(), 0);
}

// ---- Span ----

TEST_F(CalibrationTest, SpanRequestTextForSelectedAndUnselectedGas) {
    struct Case {
        const char* gas;
        float span;
        bool selected;
        const char* request;
    };
    const Case cases[] = {{"CH4   100    1%LEL", 50.0f, true, "1,   50"},
                          {"CH4   100    1%LEL", 50.0f, false, "0,*****"},
                          {"O2   25.0  0.1VOL%", 20.9f, true, "1, 20.9"},
                          {"CO    500    1ppm ", 250.0f, true, "1,  250"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request);
        clsInstrument record;
        ASSERT_TRUE(record.ApplyGasDefinition(QString::fromLatin1(c.gas)));
        record.setAutoCalib(0, c.span);
        EXPECT_EQ(frmUploadCalib::SpanRequestText(record, {c.selected}),
                  QString::fromLatin1(c.request));
    }
}

TEST_F(CalibrationTest, SpanWithTheDetectorsConcentrationSendsOnlyTheSpanRequest) {
    openMain();
    frmCalibration* calibration = openCalibration();
    ASSERT_NE(calibration, nullptr);
    detector->clearReceivedFrames();
    qint16 stateDuringSpan = -1;
    QObject::connect(detector, &SimDetector::frameReceived, calibration,
                     [&](const QByteArray& frame) {
                         if (frame.contains("S1,W,")) stateDuringSpan = AppState::OperationState();
                     });

    click(calibration->cmdCal(1));

    EXPECT_EQ(stateDuringSpan, 4);
    EXPECT_EQ(commands(), (QStringList{QStringLiteral("S1,W,"), QStringLiteral("SO,R,")}));
    EXPECT_EQ(prompts.shown(), QStringList{QStringLiteral(
                                   "information: Adjustment / CH4  Adjustment Complete.\r\n")});
    const QString log = LinkLogText();
    EXPECT_TRUE(
        log.contains(QStringLiteral("---Calibration Upload Started---. Date = 01/07/2025 09:3")));
    EXPECT_TRUE(log.contains(QStringLiteral("(1,   50)")));
    // The latest calibration record of the working record was read again.
    EXPECT_NE(window->working().CalibAfter(0), clsInstrument::NoValue);
    EXPECT_EQ(AppState::OperationState(), 0);
    EXPECT_TRUE(window->link().RunDensty());
}

TEST_F(CalibrationTest, EditedSpanConcentrationIsWrittenBeforeTheSpan) {
    openMain();
    frmCalibration* calibration = openCalibration();
    ASSERT_NE(calibration, nullptr);
    QString text = QStringLiteral("60");
    ASSERT_TRUE(calibration->ValidateEdit(kRow, frmCalibration::ColAutoCal, text));
    detector->clearReceivedFrames();

    click(calibration->cmdCal(1));

    const QStringList sent = commands();
    const qsizetype write = sent.indexOf(QStringLiteral("SA,W,   60"));
    const qsizetype span = sent.indexOf(QStringLiteral("S1,W,"));
    ASSERT_GE(write, 0) << sent.join(u' ').toStdString();
    ASSERT_GT(span, write);
    EXPECT_EQ(sent.mid(write + 1, span - write - 1), QStringList{QStringLiteral("DW,W,")});
    EXPECT_EQ(detector->value("SA"), QByteArray("   60"));
    EXPECT_EQ(calibration->DetectorAutoCalib(0), 60.0f);
    EXPECT_EQ(&window->working(), window->link().Instrument()) << "the link is given back";
    EXPECT_EQ(prompts.shown(), QStringList{QStringLiteral(
                                   "information: Adjustment / CH4  Adjustment Complete.\r\n")});
    EXPECT_TRUE(LinkLogText().contains(QStringLiteral("(1,   60)")));

    // A second span finds the detector holding the value already.
    detector->clearReceivedFrames();
    click(calibration->cmdCal(1));
    EXPECT_EQ(commands(), (QStringList{QStringLiteral("S1,W,"), QStringLiteral("SO,R,")}));

    // The main record holds the new concentration too: a later "Update" keeps it.
    EXPECT_EQ(window->working().AutoCalib(0), 60.0f);
    click(calibration->cmdCal(3));
    detector->clearReceivedFrames();
    click(window->cmdOption(0));
    EXPECT_EQ(requests(QStringLiteral("SA,W")), QStringList{QStringLiteral("SA,W,   60")});
}

TEST_F(CalibrationTest, SpanConcentrationThatCannotBeUsedIsNeverWritten) {
    openMain();
    frmCalibration* calibration = openCalibration();
    ASSERT_NE(calibration, nullptr);
    QString text = QStringLiteral("--");
    ASSERT_TRUE(calibration->ValidateEdit(kRow, frmCalibration::ColAutoCal, text));
    EXPECT_EQ(text, QStringLiteral("0"));
    detector->clearReceivedFrames();

    click(calibration->cmdCal(1));

    EXPECT_EQ(prompts.shown(),
              QStringList{QStringLiteral("critical: Auto Cal. / Improper Auto Cal.")});
    EXPECT_TRUE(commands().isEmpty()) << commands().join(u' ').toStdString();
    EXPECT_EQ(detector->value("SA"), QByteArray("   50"));
}

TEST_F(CalibrationTest, FailedSpanWriteEndsTheSpanWithTheRedLine) {
    openMain();
    frmCalibration* calibration = openCalibration();
    ASSERT_NE(calibration, nullptr);
    QString text = QStringLiteral("70");
    ASSERT_TRUE(calibration->ValidateEdit(kRow, frmCalibration::ColAutoCal, text));
    // Every echo of the written value carries another value.
    detector->faults().wrongEchoEvery = 1;
    detector->clearReceivedFrames();

    click(calibration->cmdCal(1));

    EXPECT_EQ(commands().count(QStringLiteral("SA,W,   70")), 3);
    EXPECT_FALSE(commands().contains(QStringLiteral("S1,W,"))) << "no span with a doubtful value";
    EXPECT_TRUE(hasInfo(QStringLiteral("71-Series Calibration Fail."), kRed));
    EXPECT_TRUE(prompts.boxes.isEmpty());
    EXPECT_TRUE(LinkLogText().contains(QStringLiteral("---Calibration Upload Failed---")));
    EXPECT_EQ(calibration->DetectorAutoCalib(0), 50.0f);
    EXPECT_TRUE(window->link().RunDensty());
}

TEST_F(CalibrationTest, SpanShowsItsAcceptanceWithTheBand) {
    openMain();
    frmCalibration* calibration = openCalibration();
    ASSERT_NE(calibration, nullptr);
    // The detector holds 50 %LEL in whole units: the default band is 48 to 52.
    const struct {
        double offset;         // of the detector's reading after adjustment, in percent
        const char* tolerance; // the tool configuration's SpanTolerance
        const char* line;
        bool passed;
    } cases[] = {
        {0.0, "", "PASS. The reading after adjustment 50 lies within 48 to 52 %LEL (span 50 ±2).",
         true},
        {-10.0, "",
         "FAIL. The reading after adjustment 45 lies outside 48 to 52 %LEL (span 50 ±2).", false},
        {-10.0, "10",
         "PASS. The reading after adjustment 45 lies within 45 to 55 %LEL (span 50 ±5).", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Tool().SpanTolerance = QString::fromLatin1(c.tolerance);
        detector->setSpanAfterOffset(c.offset);
        click(calibration->cmdCal(1));
        EXPECT_TRUE(hasInfo(QStringLiteral("Span acceptance: ") + QString::fromUtf8(c.line),
                            c.passed ? kGreen : kRed));
        EXPECT_EQ(calibration->LastAcceptance().value_or(SpanAcceptance()).passed, c.passed);
    }
    Tool().SpanTolerance.clear();
}

// ---- Editing the span concentration ----

TEST_F(CalibrationTest, SpanConcentrationEditsAreChecked) {
    openMain(); // CH4: full scale 100, resolution 1, warning point 10
    frmCalibration* calibration = openCalibration();
    ASSERT_NE(calibration, nullptr);
    struct Case {
        const char* entered;
        bool accepted;
        const char* shown; // what the cell shows afterwards
        float stored;
    };
    const Case cases[] = {
        {"150", false, "50", 50.0f}, // above the full scale
        {"5", false, "50", 50.0f},   // below the warning point
        {"-3", false, "50", 50.0f},  {"abc", false, "50", 50.0f},
        {"60.4", true, "60", 60.0f}, // snapped to the resolution
        {"--", true, "0", 0.0f},     {"100", true, "100", 100.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entered);
        QString text = QString::fromLatin1(c.entered);
        const bool accepted = calibration->ValidateEdit(kRow, frmCalibration::ColAutoCal, text);
        EXPECT_EQ(accepted, c.accepted);
        if (accepted) {
            EXPECT_EQ(text, QString::fromLatin1(c.shown));
            calibration->vfgCal()->item(kRow, frmCalibration::ColAutoCal)->setText(text);
        }
        EXPECT_EQ(cell(calibration, frmCalibration::ColAutoCal), QString::fromLatin1(c.shown));
        EXPECT_EQ(calibration->record().AutoCalib(0), c.stored);
        EXPECT_TRUE(calibration->Calibratable(0));
    }

    // Other columns and a rebuilding main window refuse.
    QString text = QStringLiteral("70");
    EXPECT_FALSE(calibration->ValidateEdit(kRow, frmCalibration::ColReading, text));
    window->setDisplayRefresh(true);
    EXPECT_FALSE(calibration->ValidateEdit(kRow, frmCalibration::ColAutoCal, text));
    window->setDisplayRefresh(false);

    // Emptying the cell leaves the gas without a span concentration: deselected and grey.
    text.clear();
    ASSERT_TRUE(calibration->ValidateEdit(kRow, frmCalibration::ColAutoCal, text));
    EXPECT_EQ(text, QStringLiteral("-----"));
    EXPECT_EQ(calibration->record().AutoCalib(0), clsInstrument::NoValue);
    EXPECT_FALSE(calibration->Calibratable(0));
    EXPECT_FALSE(frmCalibration::Selected(0));
    const QTableWidgetItem* box = calibration->vfgCal()->item(kRow, frmCalibration::ColSelect);
    EXPECT_EQ(box->checkState(), Qt::Unchecked);
    EXPECT_EQ(box->foreground().color(), kGrey);
    EXPECT_FALSE(calibration->BeforeEdit(kRow, frmCalibration::ColAutoCal));
}

TEST_F(CalibrationTest, SpanConcentrationEditorKeepsARefusedTextOpen) {
    openMain();
    frmCalibration* calibration = openCalibration();
    ASSERT_NE(calibration, nullptr);
    QTableWidget* grid = calibration->vfgCal();
    grid->setFocus();
    grid->editItem(grid->item(kRow, frmCalibration::ColAutoCal));
    QPointer<QLineEdit> editor = grid->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);

    editor->setText(QStringLiteral("150"));
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents(); // the view commits an edit from the event loop
    EXPECT_TRUE(editor && editor->isVisible()) << "a refused value stays in edit";
    EXPECT_EQ(calibration->record().AutoCalib(0), 50.0f);

    editor->setText(QStringLiteral("75"));
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents(); // the view commits an edit from the event loop
    EXPECT_TRUE(!editor || !editor->isVisible());
    EXPECT_EQ(cell(calibration, frmCalibration::ColAutoCal), QStringLiteral("75"));
    EXPECT_EQ(calibration->record().AutoCalib(0), 75.0f);

    // An emptied cell turns the row grey while its editor is being committed.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // the old editor goes
    grid->editItem(grid->item(kRow, frmCalibration::ColAutoCal));
    editor = grid->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->clear();
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(cell(calibration, frmCalibration::ColAutoCal), QStringLiteral("-----"));
    EXPECT_EQ(grid->item(kRow, frmCalibration::ColAutoCal)->foreground().color(), kGrey);
    EXPECT_FALSE(grid->item(kRow, frmCalibration::ColAutoCal)->flags() & Qt::ItemIsEditable);
}

TEST_F(CalibrationTest, SpanConcentrationWithADecimalComma) {
    openMain();
    frmCalibration* calibration = openCalibration();
    ASSERT_NE(calibration, nullptr);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QString comma = QStringLiteral("60,4");
    const bool acceptedComma = calibration->ValidateEdit(kRow, frmCalibration::ColAutoCal, comma);
    QString point = QStringLiteral("55.4");
    const bool acceptedPoint = calibration->ValidateEdit(kRow, frmCalibration::ColAutoCal, point);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));

    EXPECT_TRUE(acceptedComma);
    EXPECT_EQ(comma, QStringLiteral("60"));
    EXPECT_TRUE(acceptedPoint) << "a point is read as the decimal point everywhere";
    EXPECT_EQ(calibration->record().AutoCalib(0), 55.0f);
}

// ---- Live readings and leaving ----

TEST_F(CalibrationTest, LiveReadingsReachTheGridUntilTheWindowCloses) {
    enum class Leave { ExitButton, CloseBox, Escape };
    for (const Leave leave : {Leave::ExitButton, Leave::CloseBox, Leave::Escape}) {
        SCOPED_TRACE(static_cast<int>(leave));
        openMain();
        detector->setValue("DN", "   25");
        QPointer<frmCalibration> calibration = openCalibration();
        ASSERT_FALSE(calibration.isNull());
        clock->advance(1500);
        EXPECT_EQ(cell(calibration, frmCalibration::ColReading), QStringLiteral("25"));

        // A deselected gas shows no reading.
        QTableWidgetItem* box = calibration->vfgCal()->item(kRow, frmCalibration::ColSelect);
        box->setCheckState(Qt::Unchecked);
        detector->setValue("DN", "   30");
        clock->advance(1000);
        EXPECT_EQ(cell(calibration, frmCalibration::ColReading), QStringLiteral("-----"));
        box->setCheckState(Qt::Checked);
        EXPECT_EQ(cell(calibration, frmCalibration::ColReading), QStringLiteral("30"));

        switch (leave) {
        case Leave::ExitButton:
            click(calibration->cmdCal(3));
            break;
        case Leave::CloseBox:
            calibration->close();
            break;
        case Leave::Escape:
            QTest::keyClick(calibration, Qt::Key_Escape);
            break;
        }
        EXPECT_FALSE(window->link().RunDensty());
        EXPECT_EQ(frmCalibration::Loaded(), nullptr);
        EXPECT_TRUE(frmCalibration::WindowOpenFlag()) << "the flag stays set";
        detector->clearReceivedFrames();
        clock->advance(3000);
        EXPECT_EQ(readingPolls(), 0);
        EXPECT_TRUE(calibration.isNull()) << "the window is gone";

        closeWindow();
    }
}

TEST_F(CalibrationTest, ResultTextNamesEachGasWithItsOutcome) {
    openMain();
    detector->setValue("DN", "   42");
    frmCalibration* calibration = openCalibration();
    ASSERT_NE(calibration, nullptr);
    clock->advance(1500);
    ASSERT_EQ(window->LatestReading(), 42.0f);

    calibration->SetCalibResult(true, {false}, false);
    EXPECT_EQ(calibration->CalibResultText(), QStringLiteral("CH4(42) Failed\r\n"));
    EXPECT_TRUE(calibration->CalibResult());

    // Zero lists every calibratable gas; one that is not selected shows no reading.
    calibration->vfgCal()->item(kRow, frmCalibration::ColSelect)->setCheckState(Qt::Unchecked);
    calibration->SetCalibResult(true, {false}, true);
    EXPECT_EQ(calibration->CalibResultText(), QStringLiteral("CH4(-----) Failed\r\n"));
    calibration->SetCalibResult(false, {true}, true);
    EXPECT_EQ(calibration->CalibResultText(), QStringLiteral("CH4  Adjustment Complete.\r\n"));
    EXPECT_FALSE(calibration->CalibResult());
    // Span lists only the selected gases.
    calibration->SetCalibResult(true, {true}, false);
    EXPECT_TRUE(calibration->CalibResultText().isEmpty());
}

} // namespace
