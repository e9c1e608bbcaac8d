// km71ctl zero and span with --certificate: the JSON certificate and its PDF in the folder.
#include "CtlTestSupport.h"
#include "shell/Messages.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ctltest;

namespace {

QJsonObject LastJson(const QString& out) {
    const QStringList lines = out.split(u'\n', Qt::SkipEmptyParts);
    return lines.isEmpty() ? QJsonObject()
                           : QJsonDocument::fromJson(lines.last().toUtf8()).object();
}

TEST(CtlCertificate, ZeroAndSpanWriteTheJsonCertificateIntoTheFolder) {
    SetMessageLanguage(QStringLiteral("EN"));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const struct {
        const char* command;
        const char* kind;
    } cases[] = {{"zero", "zero"}, {"span", "span"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        const InProcessRun run = RunInProcess({"--sim", "KM", "--folder", dir.path(), "--json",
                                               QString::fromLatin1(c.command), "--certificate"});
        ASSERT_EQ(run.code, CtlOptions::ExitOk) << run.err.toStdString();
        const QJsonObject result = LastJson(run.out);
        const QString path = result.value("certificate").toString();
        ASSERT_FALSE(path.isEmpty()) << run.out.toStdString();
        EXPECT_EQ(QFileInfo(path).absolutePath(), QFileInfo(dir.path()).absoluteFilePath());
        EXPECT_TRUE(QFileInfo(path).fileName().endsWith("_calibration.json"));
        const QJsonObject cert = QJsonDocument::fromJson(ReadAll(path)).object();
        EXPECT_EQ(cert.value("calibration").toString(), QLatin1String(c.kind));
        EXPECT_EQ(cert.value("result").toString(), "pass");
        EXPECT_EQ(cert.value("model").toString(), "KM");
        EXPECT_FALSE(cert.value("serialNo").toString().isEmpty());
        EXPECT_EQ(cert.value("gas").toObject().value("unit").toString(), "%LEL");
        EXPECT_TRUE(run.frames.contains("SO,R,"));
        if (QLatin1String(c.kind) == QLatin1String("span")) {
            // The detector's own calibration record, as the span reported it.
            EXPECT_EQ(cert.value("readingAfter").toDouble(), result.value("after").toDouble());
            EXPECT_EQ(cert.value("spanConcentration").toDouble(),
                      result.value("concentration").toDouble());
        } else {
            EXPECT_EQ(cert.value("zeroResult").toString(), "complete");
        }
    }

    // Without the option nothing is written; the option belongs to zero and span only.
    const qsizetype before = QDir(dir.path()).entryList({"*_calibration.json"}).size();
    EXPECT_EQ(RunInProcess({"--sim", "KM", "--folder", dir.path(), "zero"}).code,
              CtlOptions::ExitOk);
    EXPECT_EQ(QDir(dir.path()).entryList({"*_calibration.json"}).size(), before);
    const InProcessRun bad = RunInProcess({"--sim", "KM", "info", "--certificate"});
    EXPECT_EQ(bad.code, CtlOptions::ExitUsage);
    EXPECT_TRUE(bad.err.contains("--certificate belongs to the commands zero and span"));

    // A PDF that cannot be written fails the command, names the file and leaves no JSON file.
    const InProcessRun noPdf = RunInProcess(
        {"--sim", "KM", "--folder", dir.path(), "span", "--certificate"},
        [](SimDetector&, CtlRunner& runner) {
            runner.setPdfWriter([](const auto&, const QString&, QString*) { return false; });
        });
    EXPECT_EQ(noPdf.code, CtlOptions::ExitFailed);
    EXPECT_TRUE(noPdf.err.contains(".pdf\" could not be written.")) << noPdf.err.toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList({"*_calibration*"}).size(), before);
}

TEST(CtlCertificate, TheProgramWritesThePdfOverAPseudoTerminalWithoutADisplay) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    SimProcess sim;
    ASSERT_TRUE(sim.startPty("KM", dir.filePath("pty"), dir.filePath("pty.log")))
        << sim.errors().toStdString();
    // With no platform chosen and no display, km71ctl takes the offscreen one for the PDF;
    // without --certificate it needs no platform at all, not even a working one.
    const struct {
        const char* platform;
        const char* command;
    } cases[] = {{"", "span --certificate"}, {"no-such-platform", "info"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        if (*c.platform) env.insert("QT_QPA_PLATFORM", c.platform);
        CtlProcess ctl;
        ctl.process().setProcessEnvironment(env);
        ctl.start(QStringList{"--port", dir.filePath("pty"), "--folder", dir.path(), "--json"} +
                      QString::fromLatin1(c.command).split(u' '),
                  dir.path());
        const CtlResult run = ctl.finish();
        ASSERT_EQ(run.code, CtlOptions::ExitOk) << run.err.toStdString();
        if (*c.platform) continue;
        const QJsonObject result = LastJson(run.out);
        const QString json = result.value("certificate").toString();
        const QString pdf = result.value("certificatePdf").toString();
        ASSERT_TRUE(json.endsWith(".json")) << run.out.toStdString();
        EXPECT_EQ(pdf, json.chopped(4) + "pdf");
        QProcess render;
        render.start("pdftoppm", {"-png", "-r", "40", "-f", "1", "-l", "1", "-singlefile", pdf,
                                  dir.filePath("page1")});
        ASSERT_TRUE(render.waitForFinished(60000)) << "pdftoppm did not run";
        EXPECT_EQ(render.exitCode(), 0) << render.readAllStandardError().toStdString();
        EXPECT_GT(QFile(dir.filePath("page1.png")).size(), 1000);
        QProcess text;
        text.start("pdftotext", {"-f", "1", "-l", "1", pdf, "-"});
        ASSERT_TRUE(text.waitForFinished(60000)) << "pdftotext did not run";
        const QString serial =
            QJsonDocument::fromJson(ReadAll(json)).object().value("serialNo").toString();
        ASSERT_FALSE(serial.isEmpty());
        EXPECT_TRUE(QString::fromUtf8(text.readAllStandardOutput()).contains(serial));
    }
}

} // namespace
