// km71ctl's own logic, run in this process against the simulated detector on virtual time:
// the command line, exit statuses, output shapes and what reaches the detector.
#include "CtlTestSupport.h"

#include "instrument/SettingsFile.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ctltest;

namespace {

class CtlRunnerTest : public ::testing::Test {
protected:
    // "--sim MODEL --folder DIR" followed by the rest.
    QStringList sim(const QStringList& rest, const QString& model = QStringLiteral("KM")) const {
        return QStringList{QStringLiteral("--sim"), model, QStringLiteral("--folder"), dir.path()} +
               rest;
    }
    QString file(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
};

QJsonObject ParseJsonLine(const QString& text) {
    return QJsonDocument::fromJson(text.trimmed().toUtf8()).object();
}

// True when the frame list holds a frame starting with `start`.
bool Sent(const QStringList& frames, const QString& start) {
    for (const QString& f : frames)
        if (f.startsWith(start)) return true;
    return false;
}

} // namespace

TEST(CtlOptionsTest, AcceptsOptionsBeforeAndAfterTheCommand) {
    CtlOptions o;
    QString error;
    ASSERT_TRUE(CtlOptions::Parse({"write", "f.seq", "--identity", "--port=/dev/ttyUSB0", "-seizo",
                                   "--force", "--retry", "0", "--timeout", "0.5"},
                                  &o, &error))
        << error.toStdString();
    EXPECT_EQ(o.command, "write");
    EXPECT_EQ(o.arguments, QStringList{"f.seq"});
    EXPECT_EQ(o.connection, CtlOptions::Connection::Port);
    EXPECT_EQ(o.port, "/dev/ttyUSB0");
    EXPECT_TRUE(o.identity && o.force && o.factoryMode && !o.debugMode);
    EXPECT_EQ(o.retry, 0);
    EXPECT_EQ(o.timeoutSeconds, 0.5);

    ASSERT_TRUE(CtlOptions::Parse(
        {"--sim", "vl", "watch", "--count", "3", "-DEBUGX", "--json", "--connect-timeout=2.5"}, &o,
        &error));
    EXPECT_EQ(o.simModel, "VL");
    EXPECT_EQ(o.count, 3);
    EXPECT_TRUE(o.debugMode && o.json);
    EXPECT_EQ(o.connectTimeoutSeconds, 2.5);

    ASSERT_TRUE(CtlOptions::Parse({"--ir", "192.168.1.5:4001", "set-clock", "2025-01-07T09:30:00"},
                                  &o, &error));
    EXPECT_EQ(o.irEndpoint, "192.168.1.5:4001");
    EXPECT_EQ(o.clockTime, QDateTime(QDate(2025, 1, 7), QTime(9, 30)));
    ASSERT_TRUE(CtlOptions::Parse({"span", "12.5"}, &o, &error));
    EXPECT_EQ(o.concentration, 12.5f);
}

TEST(CtlOptionsTest, UsageErrorsAreExitTwoWithOneSentence) {
    const struct {
        QStringList args;
        const char* error;
    } cases[] = {
        {{}, "No command given"},
        {{"--json"}, "No command given"},
        {{"frobnicate"}, "Unknown command \"frobnicate\""},
        {{"--sim", "KM", "--port", "/dev/x", "info"}, "at most one of --port, --ir and --sim"},
        {{"--sim", "XX", "info"}, "KM, QZ or VL"},
        {{"--ir", "nohostport", "info"}, "HOST:PORT"},
        {{"--port"}, "--port needs a value"},
        {{"--json=yes", "info"}, "--json takes no value"},
        {{"--bogus", "info"}, "Unknown option \"--bogus\""},
        {{"-x", "info"}, "Unknown option \"-x\""},
        {{"--bad\nline", "info"}, "Unknown option \"--bad\\x0Aline\""}, // stays one line
        {{"--retry", "abc", "info"}, "--retry needs a whole number"},
        {{"--timeout", "5000", "info"}, "--timeout needs seconds"},
        {{"--connect-timeout", "0", "info"}, "--connect-timeout needs"},
        {{"read"}, "read needs a FILE"},
        {{"info", "extra"}, "Too many arguments for info"},
        {{"read", "f.seq", "--identity"}, "--identity belongs to the commands write and provision"},
        {{"info", "--force"}, "--force belongs to the commands write, compare and provision"},
        {{"info", "--count", "2"}, "--count belongs to the command watch"},
        {{"watch", "--count", "0"}, "--count needs a whole number of 1 or more"},
        {{"set-clock", "2025-13-01T00:00:00"}, "YYYY-MM-DDTHH:MM:SS"},
        {{"set-clock", "1999-12-31T23:59:59"}, "between 2000 and 2099"},
        {{"span", "-5"}, "concentration of 0 or more"},
        {{"span", "lots"}, "concentration of 0 or more"},
    };
    for (const auto& c : cases) {
        const InProcessRun run = RunInProcess(c.args);
        EXPECT_EQ(run.code, CtlOptions::ExitUsage) << c.args.join(' ').toStdString();
        EXPECT_TRUE(run.err.startsWith("km71ctl: ")) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QLatin1String(c.error))) << run.err.toStdString();
        EXPECT_EQ(run.err.count(u'\n'), 1) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
}

TEST_F(CtlRunnerTest, InfoShowsTheModelsOwnSettings) {
    const struct {
        const char* model;
        const char* present;
        const char* absent;
    } cases[] = {
        {"KM", "Warning:", "OXY Alarm type"},
        {"QZ", "OXY Alarm type:", "TWA/A-1H"},
        {"VL", "TWA/A-1H:", "OXY Alarm type"},
    };
    for (const auto& c : cases) {
        const InProcessRun run = RunInProcess(sim({"info"}, c.model));
        ASSERT_EQ(run.code, 0) << run.err.toStdString();
        EXPECT_TRUE(run.out.contains(QLatin1String("Model:")));
        EXPECT_TRUE(run.out.contains(QLatin1String(c.present))) << c.model;
        EXPECT_FALSE(run.out.contains(QLatin1String(c.absent))) << c.model;
        // The record is read completely, then the latest calibration and bump test.
        EXPECT_EQ(run.frames.first(), "RC,R,");
        EXPECT_TRUE(run.frames.contains("RA,R,"));
        EXPECT_TRUE(run.frames.contains("SO,R,"));
        EXPECT_TRUE(run.frames.last().startsWith("BO,R,"));
    }
}

TEST_F(CtlRunnerTest, InfoJsonIsOneObjectWithNullForMissingLevels) {
    const InProcessRun run = RunInProcess(sim({"info", "--json"}, "QZ"));
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.count(u'\n'), 1);
    const QJsonObject o = ParseJsonLine(run.out);
    EXPECT_EQ(o["command"].toString(), "info");
    EXPECT_TRUE(o["ok"].toBool());
    EXPECT_EQ(o["exit"].toInt(-1), 0);
    EXPECT_EQ(o["model"].toString(), "QZ");
    const QJsonObject gas = o["gas"].toObject();
    EXPECT_EQ(gas["name"].toString(), "O2");
    EXPECT_TRUE(gas["warning"].isDouble());
    EXPECT_TRUE(gas["stel"].isNull());
    const QJsonObject settings = o["settings"].toObject();
    EXPECT_TRUE(settings["AlarmO2"].isDouble());
    EXPECT_FALSE(settings.contains("AK"));
    EXPECT_TRUE(settings["SensorDate"].isString());
    EXPECT_EQ(o["analog"].toArray().size(), 4);
    EXPECT_TRUE(o["lastCalibration"].toObject()["date"].isString());
}

TEST_F(CtlRunnerTest, ReadSavesTheFileAndAFailedReadLeavesNone) {
    const QString path = file("detector.seq");
    InProcessRun run = RunInProcess(sim({"read", path}));
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    clsInstrument record;
    ASSERT_TRUE(SettingsFile::Read(path, record).ok);
    EXPECT_EQ(record.GasName(0).trimmed(), "CH4");

    // The sixth reply (HN,R) is lost and no repeat is allowed.
    const auto dropSixth = [](SimDetector& s, CtlRunner&) { s.faults().dropNth = 6; };
    const QString fresh = file("fresh.seq");
    run = RunInProcess(sim({"--retry", "0", "read", fresh}), dropSixth);
    EXPECT_EQ(run.code, CtlOptions::ExitFailed);
    EXPECT_TRUE(run.err.contains("no valid answer to HN,R")) << run.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(fresh));

    // An earlier file of that name is left as it was.
    ASSERT_TRUE(WriteLines(path, {"keep"}));
    run = RunInProcess(sim({"--retry", "0", "--json", "read", path}), dropSixth);
    EXPECT_EQ(run.code, CtlOptions::ExitFailed);
    EXPECT_EQ(ReadAll(path), "keep\r\n");
    const QJsonObject o = ParseJsonLine(run.out);
    EXPECT_FALSE(o["ok"].toBool(true));
    EXPECT_EQ(o["exit"].toInt(), 1);
    EXPECT_FALSE(o["error"].toString().isEmpty());
}

TEST_F(CtlRunnerTest, FilesWithWarningsAreRefusedBeforeAnyTrafficUnlessForced) {
    const struct {
        const char* line;
        const char* warning;
    } cases[] = {
        {"ZZ,W,1,", "unknown ZZ"},
        {"BU,W,060,020,090,1,", "obsolute BU format"},
    };
    for (const auto& c : cases) {
        const QString path = file("warn.seq");
        ASSERT_TRUE(WriteLines(path, {"A1,W,   20,", QString::fromLatin1(c.line)}));
        for (const char* command : {"write", "compare"}) {
            InProcessRun run = RunInProcess(sim({command, path}));
            EXPECT_EQ(run.code, CtlOptions::ExitUsage) << command;
            EXPECT_TRUE(run.err.contains(QLatin1String(c.warning))) << run.err.toStdString();
            EXPECT_TRUE(run.err.contains("--force"));
            EXPECT_TRUE(run.frames.isEmpty()) << "no detector was even connected";
        }
        const InProcessRun forced = RunInProcess(sim({"write", path, "--force"}));
        EXPECT_EQ(forced.code, 0) << forced.err.toStdString();
        EXPECT_TRUE(forced.frames.contains("A1,W,   20"));
    }
}

TEST_F(CtlRunnerTest, UnconvertibleOrMissingFilesAreExitTwoWithoutTraffic) {
    const QString bad = file("bad.seq");
    ASSERT_TRUE(WriteLines(bad, {"A1,W,   20,", "AP,W,abc,"}));
    for (const QStringList& args : {QStringList{"write", bad}, QStringList{"compare", bad},
                                    QStringList{"write", file("missing.seq")}}) {
        const InProcessRun run = RunInProcess(sim(args));
        EXPECT_EQ(run.code, CtlOptions::ExitUsage) << args.join(' ').toStdString();
        EXPECT_TRUE(run.frames.isEmpty());
        EXPECT_EQ(run.err.count(u'\n'), 1) << run.err.toStdString();
    }
    EXPECT_TRUE(RunInProcess(sim({"write", bad})).err.contains("Line 2"));
}

TEST_F(CtlRunnerTest, WriteKeepsWhatTheFileDoesNotHoldAndTheIdentityUnlessAsked) {
    const QString path = file("partial.seq");
    ASSERT_TRUE(WriteLines(path, {"A1,W,   20,", "IN,W,NEW-SERIAL,"}));
    QByteArray alarmBefore, alarmAfter, serialAfter;
    const auto before = [&](SimDetector& s, CtlRunner&) { alarmBefore = s.value("A2"); };
    const auto after = [&](SimDetector& s) {
        alarmAfter = s.value("A2");
        serialAfter = s.value("IN").trimmed();
    };
    InProcessRun run = RunInProcess(sim({"write", path}), before, after);
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.frames.contains("A1,W,   20"));
    EXPECT_EQ(alarmAfter, alarmBefore);
    EXPECT_FALSE(Sent(run.frames, "IN,W,"));
    EXPECT_FALSE(Sent(run.frames, "XZ,W,"));
    EXPECT_EQ(run.frames.last(), "DW,W,");

    run = RunInProcess(sim({"write", "--identity", path}), before, after);
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(Sent(run.frames, "IN,W,NEW-SERIAL"));
    EXPECT_TRUE(Sent(run.frames, "XZ,W,") && Sent(run.frames, "XS,W,"));
    EXPECT_EQ(serialAfter, "NEW-SERIAL");
}

TEST_F(CtlRunnerTest, WriteRefusesAFileOfAnotherModel) {
    const QString path = file("oxygen.seq");
    ASSERT_TRUE(WriteLines(path, {"GJ,W,O2   25.0  0.1VOL%,", "A1,W, 19.5,"}));
    const InProcessRun run = RunInProcess(sim({"write", path}));
    EXPECT_EQ(run.code, CtlOptions::ExitUsage);
    EXPECT_TRUE(run.err.contains("for a QZ detector, but a KM detector")) << run.err.toStdString();
    EXPECT_FALSE(Sent(run.frames, "GJ,W,"));
}

TEST_F(CtlRunnerTest, WriteRefusesBrokenAlarmPointsUnlessForced) {
    const struct {
        QStringList lines;
        const char* error;
    } cases[] = {
        {{"A1,W,   60,", "A2,W,   50,"}, "out of order or out of range"},
        {{"SA,W,    5,"}, "does not reach the warning point"},
    };
    for (const auto& c : cases) {
        const QString path = file("rules.seq");
        ASSERT_TRUE(WriteLines(path, c.lines));
        InProcessRun run = RunInProcess(sim({"write", path}));
        EXPECT_EQ(run.code, CtlOptions::ExitUsage);
        EXPECT_TRUE(run.err.contains(QLatin1String(c.error))) << run.err.toStdString();
        EXPECT_FALSE(Sent(run.frames, "DW,W,"));
        run = RunInProcess(sim({"write", path, "--force"}));
        EXPECT_EQ(run.code, 0) << run.err.toStdString();
    }
}

TEST_F(CtlRunnerTest, CompareNamesEachDifference) {
    const QString master = file("master.seq");
    ASSERT_EQ(RunInProcess(sim({"read", master})).code, 0);
    InProcessRun run = RunInProcess(sim({"compare", master}));
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out.trimmed(), "Compare MASTER OK");

    ASSERT_TRUE(WriteLines(master, {"A1,W,   15,", "XZ,W,OTHER USER,"}));
    run = RunInProcess(sim({"compare", master}));
    EXPECT_EQ(run.code, CtlOptions::ExitFailed);
    EXPECT_EQ(run.out.trimmed().split('\n'), (QStringList{"User ID", "Warning <> MASTER"}));

    run = RunInProcess(sim({"compare", master, "--json"}));
    const QJsonArray differences = ParseJsonLine(run.out)["differences"].toArray();
    ASSERT_EQ(differences.size(), 2);
    EXPECT_EQ(differences[1].toObject()["message"].toInt(), 5650);
    EXPECT_EQ(differences[1].toObject()["text"].toString(), "Warning <> MASTER");
}

TEST_F(CtlRunnerTest, SpanWritesAnotherConcentrationFirstAndChecksTheStatus) {
    // The simulated KM holds 50 %LEL.
    InProcessRun run = RunInProcess(sim({"span", "40"}));
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    const qsizetype sa = run.frames.indexOf("SA,W,   40");
    ASSERT_GE(sa, 0);
    EXPECT_GT(run.frames.indexOf("S1,W,"), sa);

    for (const QStringList& args : {QStringList{"span"}, QStringList{"span", "50"}}) {
        run = RunInProcess(sim(args));
        EXPECT_EQ(run.code, 0) << run.err.toStdString();
        EXPECT_FALSE(Sent(run.frames, "SA,W,"));
        EXPECT_TRUE(run.frames.contains("S1,W,"));
    }

    // The oxygen detector's own 18.0 is used as it stands; a new value must not exceed its
    // warning point.
    run = RunInProcess(sim({"span", "18"}, "QZ"));
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_FALSE(Sent(run.frames, "SA,W,"));
    run = RunInProcess(sim({"span", "17.5"}, "QZ"));
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.frames.contains("SA,W, 17.5"));
    run = RunInProcess(sim({"span", "20.9"}, "QZ"));
    EXPECT_EQ(run.code, CtlOptions::ExitUsage);
    EXPECT_FALSE(Sent(run.frames, "S1,W,"));

    // Above the full scale, or below the warning point: refused before calibrating.
    for (const char* value : {"200", "5"}) {
        run = RunInProcess(sim({"span", value}));
        EXPECT_EQ(run.code, CtlOptions::ExitUsage) << value;
        EXPECT_FALSE(Sent(run.frames, "SA,W,") || Sent(run.frames, "S1,W,"));
    }

    // The detector cannot span with a zero concentration and says so.
    run =
        RunInProcess(sim({"span"}), [](SimDetector& s, CtlRunner&) { s.setValue("SA", "    0"); });
    EXPECT_EQ(run.code, CtlOptions::ExitFailed);
    EXPECT_TRUE(run.err.contains("status \"1\"")) << run.err.toStdString();
}

TEST_F(CtlRunnerTest, MaintenanceCommandsSendTheirRequests) {
    const auto notYetOnce = [](SimDetector& s, CtlRunner&) { s.faults().notYet = 1; };
    // The detector's identity is read first, so that the register's event names it.
    const QStringList identity{"VP,R,", "XZ,R,", "XS,R,", "IN,R,", "HN,R,", "GJ,R,"};
    const struct {
        QStringList args;
        QStringList expected; // in order, among the frames after the probe and the identity
    } cases[] = {
        {{"set-clock", "2025-01-07T09:30:00"}, {"HC,W,250107093000"}},
        {{"zero"}, {"SZ,W,1", "SZ,C,", "SZ,C,"}},
        {{"clear-log"}, {"XC,W,", "XC,C,", "XC,C,"}},
        {{"clear-power-log"}, {"XY,W,", "XY,C,", "XY,C,"}},
        {{"default"}, {"UX,W,", "UX,C,", "UX,C,"}},
        {{"check-data"}, {"XH,E,"}},
        {{"power-off"}, {"RO,W,"}},
    };
    for (const auto& c : cases) {
        const InProcessRun run = RunInProcess(sim(c.args), notYetOnce);
        EXPECT_EQ(run.code, 0) << c.args.join(' ').toStdString() << run.err.toStdString();
        EXPECT_EQ(run.frames.mid(1, 6), identity) << c.args.join(' ').toStdString();
        EXPECT_EQ(run.frames.mid(7), c.expected) << c.args.join(' ').toStdString();
    }
}

TEST_F(CtlRunnerTest, PowerOffWithoutAnAnswerIsAFailure) {
    const InProcessRun run =
        RunInProcess(sim({"--retry", "0", "power-off"}),
                     [](SimDetector& s, CtlRunner&) { s.faults().dropNth = 8; });
    EXPECT_EQ(run.code, CtlOptions::ExitFailed);
    EXPECT_TRUE(run.err.contains("did not answer the power-off command"));
}

TEST_F(CtlRunnerTest, WatchPrintsReadingsUntilTheCountOrAnInterrupt) {
    InProcessRun run = RunInProcess(sim({"watch", "--count", "3"}));
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    const QStringList lines = run.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith("2025-01-07T09:30:")) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith("%LEL"));

    run = RunInProcess(sim({"watch", "--count", "2", "--json"}));
    for (const QString& line : run.out.trimmed().split('\n')) {
        const QJsonObject o = ParseJsonLine(line);
        EXPECT_TRUE(o["value"].isDouble()) << line.toStdString();
        EXPECT_EQ(o["unit"].toString(), "%LEL");
    }

    // Without a count the readings go on until an interrupt, which ends the run normally.
    int readings = 0;
    run = RunInProcess(sim({"watch"}), [&readings](SimDetector& s, CtlRunner& runner) {
        QObject::connect(&s, &SimDetector::frameReceived,
                         [&readings, &runner](const QByteArray& f) {
                             if (FrameText(f) == "DN,R," && ++readings == 4) runner.requestStop();
                         });
    });
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.trimmed().split('\n').size(), 3);
}

TEST_F(CtlRunnerTest, NoDetectorIsExitThree) {
    const InProcessRun run =
        RunInProcess(sim({"--connect-timeout", "3", "info"}),
                     [](SimDetector& s, CtlRunner&) { s.faults().deadLine = true; });
    EXPECT_EQ(run.code, CtlOptions::ExitNoDetector);
    EXPECT_TRUE(run.err.contains("No detector answered on the simulated KM detector within 3 s "
                                 "(its connect probes went unanswered)."))
        << run.err.toStdString();
    EXPECT_EQ(run.frames.count("RC,R,"), 3);
}

TEST_F(CtlRunnerTest, DumpLoggerReplacesTheFileOnlyWhenComplete) {
    const QString path = file("logger.dat");
    QByteArray image;
    InProcessRun run = RunInProcess(sim({"dump-logger", path}), {},
                                    [&image](SimDetector& s) { image = s.memoryImage(); });
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    const QByteArray saved = ReadAll(path);
    ASSERT_EQ(saved.size(), 32768);
    // The detector keeps counting in its status area (from 28672 on) while it is read.
    EXPECT_EQ(saved.left(28672), image.left(28672));

    // Every 50th block is lost: the first attempt and its one repeat both fail.
    ASSERT_TRUE(WriteLines(path, {"old"}));
    run = RunInProcess(sim({"--retry", "1", "--timeout", "0.2", "dump-logger", path}),
                       [](SimDetector& s, CtlRunner&) { s.faults().dropEvery = 50; });
    EXPECT_EQ(run.code, CtlOptions::ExitFailed);
    EXPECT_TRUE(run.err.contains("warning: A block of the logger memory timed out"));
    EXPECT_EQ(ReadAll(path), "old\r\n");
    EXPECT_FALSE(QFileInfo::exists(path + ".part"));
}

TEST_F(CtlRunnerTest, EveryRunWritesTheLinkLogIntoItsFolder) {
    ASSERT_EQ(RunInProcess(sim({"set-clock"})).code, 0);
    const QString log = QString::fromLocal8Bit(ReadAll(file("SerialLog.log")));
    EXPECT_TRUE(log.contains("--- km71ctl set-clock ---"));
    EXPECT_TRUE(log.contains("W : [STX]0001HC,W,250107"));
    EXPECT_TRUE(log.contains("--- km71ctl set-clock: exit status 0 ---"));
}
