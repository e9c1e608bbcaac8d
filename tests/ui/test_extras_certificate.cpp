// Calibration certificates: the content, the PDF and JSON files, and the calibration window
// writing them after a completed calibration against the in-process simulated detector.
#include "UiTestSupport.h"

#include "common/TempStartupFolder.h"
#include "instrument/clsInstrument.h"
#include "records/CalibrationCertificate.h"
#include "records/CalibrationCertificateData.h"
#include "records/ProvisionReport.h"
#include "shell/AppState.h"
#include "shell/Messages.h"
#include "shell/OleDate.h"
#include "sim/SimDetector.h"
#include "ui/frmCalibration.h"
#include "ui/frmMain.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QDateTime kNow(QDate(2025, 1, 7), QTime(9, 30, 5));

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

CalibrationCertificateData SpanData() {
    clsInstrument detector;
    detector.setModelTyp(QStringLiteral("KM"));
    detector.setSerialNo(QStringLiteral("A12/34"));
    detector.setDummySerial(QStringLiteral("M-778"));
    detector.setStationID(QStringLiteral("LINE 2"));
    detector.setUserID(QString());
    detector.setRomNumber(712);
    detector.setSUM(QStringLiteral("5A3C"));
    detector.setCalLimit(180);
    detector.setCalibBefore(0, 48.0f);
    detector.setCalibAfter(0, 50.0f);
    detector.setCalibDate(0, DateTimeToOle(kNow.addSecs(-5)));
    clsInstrument calibration;
    calibration.setGasName(0, QStringLiteral("CH4 "));
    calibration.setGasUnit(0, QStringLiteral("%LEL"));
    calibration.setGasFullScale(0, 100.0f);
    calibration.setGasPoint(0, 0);
    calibration.setAutoCalib(0, 50.0f);
    return CalibrationCertificateData::FromRecords(detector, calibration, 0,
                                                   CalibrationCertificateData::Kind::Span, true,
                                                   kNow, kNow.addSecs(-61));
}

class CertificateTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        SetMessageLanguage(QStringLiteral("EN"));
    }
    void TearDown() override { SetMessageLanguage(QStringLiteral("EN")); }
    QTemporaryDir dir;
};

TEST_F(CertificateTest, JsonHoldsEveryFieldOfTheCertificate) {
    const CalibrationCertificateData data = SpanData();
    // A serial number never makes a path.
    EXPECT_EQ(data.baseName(), QStringLiteral("A12_34_2025-01-07_093005_calibration"));
    const QJsonObject o = data.toJson();
    EXPECT_EQ(o.value("calibration").toString(), "span");
    EXPECT_EQ(o.value("result").toString(), "pass");
    EXPECT_EQ(o.value("model").toString(), "KM");
    EXPECT_EQ(o.value("serialNo").toString(), "A12/34");
    EXPECT_EQ(o.value("manufactureNo").toString(), "M-778");
    EXPECT_EQ(o.value("stationId").toString(), "LINE 2");
    EXPECT_EQ(o.value("userId").toString(), QString(16, u'-'));
    EXPECT_EQ(o.value("programNumber").toString(), "00712");
    EXPECT_EQ(o.value("sum").toString(), "5A3C");
    EXPECT_EQ(o.value("gas").toObject().value("name").toString(), "CH4");
    EXPECT_EQ(o.value("gas").toObject().value("unit").toString(), "%LEL");
    EXPECT_EQ(o.value("gas").toObject().value("fullScale").toDouble(), 100.0);
    EXPECT_EQ(o.value("spanConcentration").toDouble(), 50.0);
    EXPECT_EQ(o.value("readingBefore").toDouble(), 48.0);
    EXPECT_EQ(o.value("readingAfter").toDouble(), 50.0);
    EXPECT_FALSE(o.contains("zeroResult"));
    EXPECT_EQ(o.value("lastCalibration").toString(), "2025-01-07T09:30:00");
    EXPECT_EQ(o.value("pcTime").toString(), "2025-01-07T09:30:05");
    EXPECT_EQ(o.value("detectorTime").toString(), "2025-01-07T09:29:04");
    EXPECT_EQ(o.value("calibrationIntervalDays").toInt(), 180);
    EXPECT_EQ(o.value("nextDue").toString(), "2025-07-06");
    EXPECT_EQ(o.value("programVersion").toString(), QStringLiteral(KM71_VERSION));
    EXPECT_TRUE(o.contains("technician"));

    // A zero calibration has no span concentration; no interval gives no due date.
    CalibrationCertificateData zero = data;
    zero.kind = CalibrationCertificateData::Kind::Zero;
    zero.spanConcentration = clsInstrument::NoValue;
    zero.intervalDays = 0;
    const QJsonObject z = zero.toJson();
    EXPECT_EQ(z.value("zeroResult").toString(), "complete");
    EXPECT_TRUE(z.value("spanConcentration").isNull());
    EXPECT_TRUE(z.value("nextDue").isNull());
}

TEST_F(CertificateTest, WritesAnA4PdfAndTheSameContentAsJson) {
    const CalibrationCertificateData data = SpanData();
    QStringList written;
    QString error;
    ASSERT_TRUE(CalibrationCertificate::Write(data, dir.path(), &written, &error))
        << error.toStdString();
    ASSERT_EQ(written.size(), 2);
    EXPECT_EQ(written[0], dir.filePath(data.baseName() + ".pdf"));
    EXPECT_EQ(written[1], dir.filePath(data.baseName() + ".json"));
    const QByteArray pdf = ReadAll(written[0]);
    EXPECT_TRUE(pdf.startsWith("%PDF-"));
    // A4 portrait: 595 x 842 points.
    const QRegularExpressionMatch box =
        QRegularExpression(QStringLiteral("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]"))
            .match(QString::fromLatin1(pdf));
    ASSERT_TRUE(box.hasMatch());
    EXPECT_NEAR(box.captured(1).toDouble(), 595.0, 1.0);
    EXPECT_NEAR(box.captured(2).toDouble(), 842.0, 1.0);
    EXPECT_EQ(QJsonDocument::fromJson(ReadAll(written[1])).object(), data.toJson());

    // The PDF opens in a real reader: its first page renders, and its text holds the serial
    // number (poppler's pdftoppm and pdftotext, installed with the project's packages).
    QProcess render;
    render.start(QStringLiteral("pdftoppm"), {"-png", "-r", "40", "-f", "1", "-l", "1",
                                              "-singlefile", written[0], dir.filePath("page1")});
    ASSERT_TRUE(render.waitForFinished(60000)) << "pdftoppm did not run";
    EXPECT_EQ(render.exitCode(), 0) << render.readAllStandardError().toStdString();
    EXPECT_GT(QFile(dir.filePath("page1.png")).size(), 1000);
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {"-f", "1", "-l", "1", written[0], "-"});
    ASSERT_TRUE(text.waitForFinished(60000)) << "pdftotext did not run";
    EXPECT_TRUE(QString::fromUtf8(text.readAllStandardOutput()).contains(data.serialNo))
        << "the first page does not show the serial number";

    // A second certificate of the same detector and second keeps the first pair as it was.
    const QByteArray firstPdf = ReadAll(dir.filePath(data.baseName() + ".pdf"));
    for (const char* suffix : {"_2", "_3"}) {
        QStringList again;
        ASSERT_TRUE(CalibrationCertificate::Write(data, dir.path(), &again, &error));
        ASSERT_EQ(again.size(), 2);
        EXPECT_EQ(again[0], dir.filePath(data.baseName() + suffix + ".pdf"));
        EXPECT_EQ(again[1], dir.filePath(data.baseName() + suffix + ".json"));
    }
    EXPECT_EQ(ReadAll(dir.filePath(data.baseName() + ".pdf")), firstPdf);

    // A folder that cannot take the files: a reason and no half pair.
    written.clear();
    const QString missing = dir.filePath("no/such/folder");
    EXPECT_FALSE(CalibrationCertificate::Write(data, missing, &written, &error));
    EXPECT_TRUE(written.isEmpty());
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(CertificateTest, ProvisionReportNamesItsVerdictAndWhatStillDiffers) {
    clsInstrument detector;
    detector.setModelTyp(QStringLiteral("KM"));
    detector.setSerialNo(QStringLiteral("P/7"));
    const MasterCompare::Difference alarm{8004, "Alarm pattern(1st) <> MASTER", "AlarmMode",
                                          "Alarm pattern(1st)", "Reset", "Latch"};
    const MasterCompare::Difference warning{5650, "Warning <> MASTER", "Warning", "Warning",
                                            "10", "15"};
    const struct {
        QList<MasterCompare::Difference> remaining;
        QString failure;
        const char* verdict;
    } cases[] = {{{}, {}, "PASS"}, {{warning}, {}, "FAIL"}, {{}, "no reply", "FAIL"}};
    int n = 0;
    for (const auto& c : cases) {
        ProvisionReport report = ProvisionReport::FromRecord(detector, "/m/master.seq", kNow);
        report.found = {alarm, warning};
        report.written = {"AlarmMode"};
        report.remaining = c.remaining;
        report.failure = c.failure;
        QStringList written;
        QString error;
        ASSERT_TRUE(ProvisionReport::Write(report, dir.path(), &written, &error)) << qPrintable(error);
        const QString base = "P_7_2025-01-07_093005_provision" + (n++ ? "_" + QString::number(n) : "");
        ASSERT_EQ(written, QStringList({dir.filePath(base + ".pdf"), dir.filePath(base + ".json")}));
        EXPECT_TRUE(ReadAll(written[0]).startsWith("%PDF-"));
        const QJsonObject json = QJsonDocument::fromJson(ReadAll(written[1])).object();
        EXPECT_EQ(json["verdict"].toString(), c.verdict);
        EXPECT_EQ(json["remaining"].toArray().size(), c.remaining.size());
        EXPECT_EQ(json["found"].toArray().at(1).toObject(),
                  QJsonObject({{"key", "Warning"}, {"caption", "Warning"}, {"detector", "10"},
                               {"master", "15"}}));
        EXPECT_EQ(json["written"].toArray(), QJsonArray({"AlarmMode"}));
        // The page names the settings written by their captions.
        EXPECT_TRUE(report.rows().contains(qMakePair(QString("Written"), QString("Alarm pattern(1st)"))));
    }
    QString error;
    EXPECT_FALSE(ProvisionReport::Write(ProvisionReport::FromRecord(detector, "m", kNow),
                                        dir.filePath("no/such"), nullptr, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(CertificateTest, RowsFollowTheProgramsLanguage) {
    const CalibrationCertificateData data = SpanData();
    const auto en = CalibrationCertificate::Rows(data);
    ASSERT_FALSE(en.isEmpty());
    EXPECT_EQ(en.first().first, QStringLiteral("Model"));
    bool before = false;
    for (const auto& [caption, value] : en)
        if (caption == QStringLiteral("Reading Before Calibration"))
            before = value == QStringLiteral("48 %LEL");
    EXPECT_TRUE(before);
    // A span's acceptance adds its band and verdict; the other rows stay.
    CalibrationCertificateData judged = data;
    judged.acceptance = SpanAcceptance::Judge(true, 50.0f, 47.0f, 0, 5.0);
    QList<QPair<QString, QString>> rows = CalibrationCertificate::Rows(judged);
    EXPECT_TRUE(rows.removeOne({"Acceptance Band", "48 to 52 %LEL (±2)"}));
    EXPECT_TRUE(rows.removeOne({"Acceptance", "Fail"}));
    EXPECT_EQ(rows, en);
    SetMessageLanguage(QStringLiteral("JP"));
    const auto ja = CalibrationCertificate::Rows(data);
    ASSERT_EQ(ja.size(), en.size());
    EXPECT_EQ(ja.first().first, QStringLiteral("機種"));
}

// ---- In the calibration window ----

class CertificateWindowTest : public CertificateTest, protected SimulatedWindow {
protected:
    void SetUp() override {
        CertificateTest::SetUp();
        ASSERT_TRUE(m_folder.isValid());
        AppState::setOperationState(0);
        AppState::setDebugMode(false);
        AppState::setFactoryMode(false);
        CalibrationCertificate::setEnabled(true);
    }
    void TearDown() override {
        closeWindow();
        CalibrationCertificate::setEnabled(false);
        CertificateTest::TearDown();
    }
    frmCalibration* openCalibration() {
        showWindow(QStringLiteral("KM"), kNow);
        EXPECT_TRUE(waitForConnection());
        EXPECT_TRUE(readDetector());
        click(window->cmdOption(2));
        return frmCalibration::Loaded();
    }
    QStringList certificates() const {
        return QDir(m_folder.path()).entryList({"*_calibration.*"}, QDir::Files, QDir::Name);
    }

    TempStartupFolder m_folder;
};

TEST_F(CertificateWindowTest, CompletedSpanWritesBothFilesWithTheDetectorsRecord) {
    frmCalibration* calibration = openCalibration();
    ASSERT_NE(calibration, nullptr);
    QTest::mouseClick(calibration->cmdCal(1), Qt::LeftButton);
    ASSERT_TRUE(calibration->CalibResult());

    const QStringList files = certificates();
    ASSERT_EQ(files.size(), 2) << files.join(' ').toStdString();
    EXPECT_TRUE(files[0].endsWith("_calibration.json"));
    EXPECT_TRUE(files[1].endsWith("_calibration.pdf"));
    const QJsonObject o = QJsonDocument::fromJson(ReadAll(m_folder.filePath(files[0]))).object();
    EXPECT_EQ(o.value("calibration").toString(), "span");
    EXPECT_EQ(o.value("serialNo").toString(), window->working().SerialNo());
    const double span = calibration->record().AutoCalib(0);
    EXPECT_EQ(o.value("spanConcentration").toDouble(), span);
    // The detector's own record: a little low before, the gas after.
    EXPECT_NEAR(o.value("readingBefore").toDouble(), span * 0.96, 1.0);
    EXPECT_EQ(o.value("readingAfter").toDouble(), span);
    EXPECT_EQ(o.value("acceptance").toObject().value("verdict").toString(), "PASS");
    calibration->cmdCal(3)->click();
}

TEST_F(CertificateWindowTest, CompletedZeroReadsTheRecordBackAndAFailedOneWritesNothing) {
    frmCalibration* calibration = openCalibration();
    ASSERT_NE(calibration, nullptr);
    detector->faults().deadLine = true;
    QTest::mouseClick(calibration->cmdCal(0), Qt::LeftButton);
    EXPECT_FALSE(calibration->CalibResult());
    EXPECT_TRUE(certificates().isEmpty());

    detector->faults().deadLine = false;
    detector->clearReceivedFrames();
    QTest::mouseClick(calibration->cmdCal(0), Qt::LeftButton);
    ASSERT_TRUE(calibration->CalibResult());
    bool readBack = false;
    for (const QByteArray& frame : detector->receivedFrames())
        readBack = readBack || frame.contains("SO,R,");
    EXPECT_TRUE(readBack);
    ASSERT_EQ(certificates().size(), 2);
    const QJsonObject o =
        QJsonDocument::fromJson(ReadAll(m_folder.filePath(certificates()[0]))).object();
    EXPECT_EQ(o.value("calibration").toString(), "zero");
    EXPECT_EQ(o.value("zeroResult").toString(), "complete");
    calibration->cmdCal(3)->click();
}

} // namespace
