// km71ctl zero and span with --certificate: the JSON certificate in the folder.
#include "CtlTestSupport.h"
#include "shell/Messages.h"

#include <QJsonDocument>
#include <QJsonObject>
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
}

} // namespace
