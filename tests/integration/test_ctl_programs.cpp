// The real km71ctl against a real km71sim, over a pseudo-terminal and over TCP on 127.0.0.1,
// for every command, with injected faults.
#include "CtlTestSupport.h"

#include "register/FleetRegister.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

using namespace ctltest;

namespace {

class CtlProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QFileInfo(CtlProgram()).isExecutable()) << CtlProgram().toStdString();
        ASSERT_TRUE(QFileInfo(SimProgram()).isExecutable()) << SimProgram().toStdString();
    }
    QString file(const QString& name) const { return dir.filePath(name); }

    // A simulator on a pseudo-terminal of its own.
    std::unique_ptr<SimProcess> ptySim(const QString& name, const QStringList& faults = {},
                                       const QString& model = QStringLiteral("KM")) {
        auto sim = std::make_unique<SimProcess>();
        EXPECT_TRUE(sim->startPty(model, file(name), file(name + ".log"), faults))
            << sim->errors().toStdString();
        return sim;
    }
    // km71ctl on the pseudo-terminal `name` with the tool's folder in the test folder.
    QStringList onPort(const QString& name, const QStringList& rest) const {
        return QStringList{QStringLiteral("--port"), file(name), QStringLiteral("--folder"),
                           dir.path()} +
               rest;
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(CtlProgramTest, EveryQuickCommandOverAPseudoTerminal) {
    auto sim = ptySim("pty");
    const QString seq = file("detector.seq");
    const struct {
        QStringList args;
        const char* output;
        const char* frame; // a request the simulator must have received
    } cases[] = {
        {{"info"}, "Serial No.:", "RA,R,"},
        {{"read", seq}, "Saved the configuration", "MP,R,"},
        {{"write", seq}, "Wrote", "DW,W,"},
        {{"compare", seq}, "Compare MASTER OK", "BU,R,"},
        {{"set-clock", "2025-01-07T09:30:00"}, "2025-01-07T09:30:00", "HC,W,250107093000"},
        {{"span", "40"}, "Span calibration with 40", "SA,W,   40"},
        {{"check-data"}, "check data", "XH,E,"},
        {{"dump-listing", file("listing.txt")}, "memory listing", "EF,R,"},
        {{"dump-logger", file("logger.dat")}, "logger memory", "EP,R,01FF"},
    };
    for (const auto& c : cases) {
        const CtlResult r = RunCtl(onPort("pty", c.args), dir.path());
        const std::string what = c.args.first().toStdString();
        ASSERT_TRUE(r.finished) << what;
        EXPECT_EQ(r.code, 0) << what << ": " << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(QLatin1String(c.output))) << what << ": " << r.out.toStdString();
        EXPECT_TRUE(sim->frames().contains(QLatin1String(c.frame))) << what;
    }
    EXPECT_EQ(QFileInfo(file("logger.dat")).size(), 32768);
    EXPECT_TRUE(ReadAll(file("listing.txt")).contains("List Of ASCII"));
    EXPECT_TRUE(ReadAll(file("SerialLog.log")).contains("--- km71ctl dump-logger "));
}

TEST_F(CtlProgramTest, SpanOutsideItsAcceptanceBandIsExitOne) {
    // The simulator spans 50 %LEL in whole units (default band 48 to 52), its reading after
    // adjustment off by a percentage.
    const struct {
        const char* offset;
        const char* tolerance; // SpanTolerance of the tool configuration
        int code;
        const char* error;
    } cases[] = {
        {"4", "", 0, ""},
        {"-10", "", 1,
         "The span calibration is not accepted: the reading after adjustment 45 lies outside "
         "the band 48 to 52 %LEL (50 ±2)."},
        {"-10", "10", 0, ""},
        {"0", "0", 2,
         "The span tolerance \"0\" of KM71Config.ini cannot be used: it must be a percentage "
         "above 0 and not above 100."},
    };
    int n = 0;
    for (const auto& c : cases) {
        const QString name = QStringLiteral("span%1").arg(n++);
        SCOPED_TRACE(name.toStdString());
        ASSERT_TRUE(
            WriteLines(file("KM71Config.ini"), {QStringLiteral("SpanTolerance\t") + c.tolerance}));
        auto sim = ptySim(name, {"--span-off", c.offset});
        const CtlResult r = RunCtl(onPort(name, {"span", "--certificate"}), dir.path());
        EXPECT_EQ(r.code, c.code);
        // The one sentence of a failure; none otherwise.
        EXPECT_EQ(r.err.contains("km71ctl: " + QString::fromUtf8(c.error)), c.code != 0)
            << r.err.toStdString();
        EXPECT_EQ(sim->frames().contains("S1,W,"), c.code != 2);
        // A certificate is written either way, with the band and the verdict.
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("Certificate: (.*) \\(JSON\\)")).match(r.out);
        const QJsonObject cert = QJsonDocument::fromJson(ReadAll(m.captured(1))).object();
        EXPECT_EQ(cert["acceptance"]["verdict"].toString(),
                  c.code == 2 ? "" : (c.code ? "FAIL" : "PASS"));
    }
}

TEST_F(CtlProgramTest, InfoReadAndCompareOverTcp) {
    SimProcess sim;
    ASSERT_TRUE(sim.startTcp("VL", file("tcp.log"))) << sim.errors().toStdString();
    const QStringList ir{"--ir", sim.endpoint(), "--folder", dir.path()};
    CtlResult r = RunCtl(ir + QStringList{"info", "--json"}, dir.path());
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject info = QJsonDocument::fromJson(r.out.toUtf8()).object();
    EXPECT_EQ(info["model"].toString(), "VL");
    EXPECT_TRUE(info["settings"].toObject().contains("AK"));

    const QString seq = file("vl.seq");
    r = RunCtl(ir + QStringList{"read", seq}, dir.path());
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(ReadAll(seq).contains("AK,W,"));
    r = RunCtl(ir + QStringList{"compare", seq}, dir.path());
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(sim.frames().contains("AK,R,"));
}

TEST_F(CtlProgramTest, CommandsThatWaitRunSideBySide) {
    // Each of these waits seconds of real time (confirm polls, readings, the power-off pause),
    // so they run at once, each against a simulator of its own.
    // All but watch read the detector's identity first, for the register's event.
    const QStringList id{"VP,R,", "XZ,R,", "XS,R,", "IN,R,", "HN,R,", "GJ,R,"};
    const struct {
        QStringList args;
        QStringList frames; // requests after the connect probe, in order
    } cases[] = {
        {{"zero"}, id + QStringList{"SZ,W,1", "SZ,C,"}},
        {{"watch", "--count", "2"}, {"GJ,R,", "DN,R,", "DN,R,"}},
        {{"default"}, id + QStringList{"UX,W,", "UX,C,"}},
        {{"clear-log"}, id + QStringList{"XC,W,", "XC,C,"}},
        {{"clear-power-log"}, id + QStringList{"XY,W,", "XY,C,"}},
        {{"power-off"}, id + QStringList{"RO,W,"}},
    };
    std::vector<std::unique_ptr<SimProcess>> sims;
    std::vector<std::unique_ptr<CtlProcess>> runs;
    for (size_t i = 0; i < std::size(cases); ++i) {
        const QString name = QStringLiteral("slow%1").arg(i);
        sims.push_back(ptySim(name));
        runs.push_back(std::make_unique<CtlProcess>());
        runs.back()->start(onPort(name, cases[i].args), dir.path());
    }
    for (size_t i = 0; i < std::size(cases); ++i) {
        const CtlResult r = runs[i]->finish();
        const std::string what = cases[i].args.first().toStdString();
        ASSERT_TRUE(r.finished) << what;
        EXPECT_EQ(r.code, 0) << what << ": " << r.err.toStdString();
        EXPECT_EQ(sims[i]->frames().mid(1), cases[i].frames) << what;
    }
}

TEST_F(CtlProgramTest, ADroppedOrGarbledReplyIsRepeated) {
    const struct {
        const char* fault;
        const char* repeated; // the request sent twice
    } cases[] = {
        {"--drop-nth", "XZ,R,"},    // reply 3 (RC, VP, XZ) never comes
        {"--corrupt-nth", "XZ,R,"}, // reply 3 has a wrong checksum
    };
    int n = 0;
    for (const auto& c : cases) {
        const QString name = QStringLiteral("fault%1").arg(n++);
        auto sim = ptySim(name, {QLatin1String(c.fault), "3"});
        const CtlResult r = RunCtl(onPort(name, {"--timeout", "1", "info"}), dir.path());
        EXPECT_EQ(r.code, 0) << c.fault << ": " << r.err.toStdString();
        EXPECT_EQ(sim->frames().count(QLatin1String(c.repeated)), 2) << c.fault;
    }
}

TEST_F(CtlProgramTest, AGarbledAnswerToTheFactoryDefaultIsNeverFollowedByASecondOne) {
    auto sim = ptySim("garble", {"--garble", "UX,W"});
    const CtlResult r =
        RunCtl(onPort("garble", {"--timeout", "1", "-SEIZO", "default"}), dir.path());
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.code, CtlOptions::ExitFailed) << r.err.toStdString();
    EXPECT_EQ(sim->frames().count("UX,W,"), 1);
    EXPECT_EQ(ReadAll(file("SerialLog.log")).count("W : [STX]0001UX,W,"), 1);
}

TEST_F(CtlProgramTest, ARefusedReadIsAskedAgainAndTheFileHoldsTheDetectorsValue) {
    // The line of the file that holds the setting `code`.
    const auto lineOf = [](const QString& path, const QByteArray& code) {
        for (const QByteArray& line : ReadAll(path).split('\n'))
            if (line.startsWith(code + ",W,")) return line.trimmed();
        return QByteArray();
    };
    for (const QByteArray code : {"IN", "BS", "JH"}) {
        SCOPED_TRACE(code.constData());
        const QString name = QString::fromLatin1("nak-" + code);
        auto sim = ptySim(name, {"--nak", QString::fromLatin1(code + ",R")});
        const QString refused = file(name + "-once.seq");
        const QString clean = file(name + ".seq");
        CtlResult r = RunCtl(onPort(name, {"read", refused}), dir.path());
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        EXPECT_EQ(sim->frames().count(QString::fromLatin1(code + ",R,")), 2);
        r = RunCtl(onPort(name, {"read", clean}), dir.path()); // the refusal came only once
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        EXPECT_FALSE(lineOf(clean, code).isEmpty());
        EXPECT_EQ(lineOf(refused, code), lineOf(clean, code));
    }
}

TEST_F(CtlProgramTest, ADeadOrSilentDetectorEndsWithAClearSentence) {
    // Nothing answers at all: no detector.
    auto dead = ptySim("dead", {"--dead"});
    CtlResult r = RunCtl(onPort("dead", {"--connect-timeout", "1", "info"}), dir.path());
    EXPECT_EQ(r.code, CtlOptions::ExitNoDetector);
    EXPECT_TRUE(r.err.startsWith("km71ctl: No detector answered on")) << r.err.toStdString();
    EXPECT_EQ(r.err.count(u'\n'), 1);

    // The detector connects, then its answers stop: the command fails.
    auto silent = ptySim("silent", {"--drop-nth", "2"});
    r = RunCtl(onPort("silent", {"--retry", "0", "--timeout", "1", "info"}), dir.path());
    EXPECT_EQ(r.code, CtlOptions::ExitFailed);
    EXPECT_EQ(r.err.trimmed(), "km71ctl: Reading the detector failed: no valid answer to VP,R.");

    // A port that is not there, an endpoint where nobody listens.
    r = RunCtl(onPort("nothing-here", {"info"}), dir.path());
    EXPECT_EQ(r.code, CtlOptions::ExitNoDetector);
    EXPECT_TRUE(r.err.contains("could not be opened: ")) << r.err.toStdString();
    SimProcess gone;
    ASSERT_TRUE(gone.startTcp("KM", file("gone.log")));
    const QString endpoint = gone.endpoint();
    gone.stop();
    r = RunCtl({"--ir", endpoint, "--connect-timeout", "1", "--folder", dir.path(), "info"},
               dir.path());
    EXPECT_EQ(r.code, CtlOptions::ExitNoDetector);
    EXPECT_TRUE(r.err.contains("socket error 10061")) << r.err.toStdString();
}

TEST_F(CtlProgramTest, ABadFileIsExitTwoAndSendsNothing) {
    const QString corrupt = file("corrupt.seq");
    ASSERT_TRUE(WriteLines(corrupt, {"A1,W,   20,", "XP,W,zz,"}));
    const QString unknown = file("unknown.seq");
    ASSERT_TRUE(WriteLines(unknown, {"A1,W,   20,", "QQ,W,1,"}));
    auto sim = ptySim("files");
    for (const QStringList& args :
         {QStringList{"write", corrupt}, QStringList{"compare", corrupt},
          QStringList{"write", unknown}, QStringList{"write", file("none.seq")}}) {
        const CtlResult r = RunCtl(onPort("files", args), dir.path());
        EXPECT_EQ(r.code, CtlOptions::ExitUsage) << args.join(' ').toStdString();
        EXPECT_EQ(r.err.count(u'\n'), 1) << r.err.toStdString();
    }
    // A later run finds the line untouched: its connect probe is the first frame of all.
    const CtlResult r = RunCtl(onPort("files", {"set-clock", "2025-01-07T09:30:00"}), dir.path());
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(sim->frames(), (QStringList{"RC,R,", "VP,R,", "XZ,R,", "XS,R,", "IN,R,", "HN,R,",
                                          "GJ,R,", "HC,W,250107093000"}));
}

TEST_F(CtlProgramTest, AWriteThatSwitchesAnAlarmOffOrBreaksARangeNeedsForce) {
    ASSERT_TRUE(WriteLines(file("off.seq"), {"A1,W,*****,"}));
    ASSERT_TRUE(WriteLines(file("stel.seq"), {"AS,W,  250,"}));
    const struct {
        const char* model;
        QStringList args;
        int code;
        const char* said;  // on the error stream: the refusal, or the warning of --force
        const char* write; // on the wire only when the file is written
    } cases[] = {
        // clang-format off
        {"KM", {"write", file("off.seq")}, 2, "switch off the CH4 Warning point", "A1,W,*****"},
        {"KM", {"write", file("off.seq"), "--force"}, 0, "switches off the CH4 Warning", "A1,W,*****"},
        {"VL", {"write", file("stel.seq")}, 2, "The STEL of CO", "AS,W,  250"},
        // clang-format on
    };
    for (const auto& c : cases) {
        const QString name = QLatin1String(c.model) + QString::number(c.args.size());
        auto sim = ptySim(name, {}, QLatin1String(c.model));
        const CtlResult r = RunCtl(onPort(name, c.args), dir.path());
        EXPECT_EQ(r.code, c.code) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(c.said))) << r.err.toStdString();
        EXPECT_EQ(sim->frames().contains(QLatin1String(c.write)), c.code == 0) << c.write;
        // A refused file sends no write request at all.
        EXPECT_EQ(sim->frames().filter(",W,").isEmpty(), c.code != 0) << c.write;
    }
}

TEST_F(CtlProgramTest, TheToolConfigurationGivesTheEndpoint) {
    SimProcess sim;
    ASSERT_TRUE(sim.startTcp("QZ", file("config.log"), {"--drop-nth", "3"}));
    ASSERT_TRUE(WriteLines(file("KM71Config.ini"),
                           {"Timeout\t1", "Retry\t2", "IrDA Endpoint\t" + sim.endpoint()}));
    // No connection option: the configured endpoint (a test machine has no USB module). The
    // command line overrides the file's repeats, so the dropped third reply ends the read.
    CtlResult r = RunCtl({"--folder", dir.path(), "--retry", "0", "info"}, dir.path());
    EXPECT_EQ(r.code, CtlOptions::ExitFailed) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("no valid answer to XZ,R")) << r.err.toStdString();
    r = RunCtl({"--folder", dir.path(), "info"}, dir.path());
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("QZ")) << r.out.toStdString();
}

namespace {

// Sets the values of lines "HEAD,W,..." in a configuration file, keeping the others.
bool SetFileValues(const QString& path, const QList<QPair<QString, QString>>& values) {
    QStringList lines = QString::fromLatin1(ReadAll(path)).split(QStringLiteral("\r\n"));
    int changed = 0;
    for (QString& line : lines)
        for (const auto& [head, value] : values)
            if (line.startsWith(head + QStringLiteral(",W,"))) {
                line = head + QStringLiteral(",W,") + value;
                ++changed;
            }
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return changed == values.size() && WriteLines(path, lines);
}

// The write requests among frame texts ("A1,W,   30").
QStringList Writes(const QStringList& frames) {
    QStringList writes;
    for (const QString& f : frames)
        if (f.mid(2, 3) == QLatin1String(",W,")) writes << f;
    return writes;
}

// The provisioning reports in a folder, by verdict.
QStringList ReportVerdicts(const QString& folder) {
    QStringList verdicts;
    for (const QString& name : QDir(folder).entryList({QStringLiteral("*_provision*.json")}))
        verdicts << QJsonDocument::fromJson(ReadAll(QDir(folder).filePath(name)))
                        .object()
                        .value(QStringLiteral("verdict"))
                        .toString();
    verdicts.sort();
    return verdicts;
}

} // namespace

TEST_F(CtlProgramTest, ProvisionWritesOnlyWhatDiffersAndProvesIt) {
    auto sim = ptySim("pty");
    const QString master = file("master.seq");
    ASSERT_EQ(RunCtl(onPort("pty", {"read", master}), dir.path()).code, 0);
    // The master wants other warning and alarm points than the detector holds.
    ASSERT_TRUE(SetFileValues(master, {{"A1", "   30"}, {"A2", "   60,"}}));

    CtlResult r = RunCtl(onPort("pty", {"compare", master, "--json"}), dir.path());
    EXPECT_EQ(r.code, 1);
    const QJsonArray differences =
        QJsonDocument::fromJson(r.out.toUtf8()).object().value("differences").toArray();
    ASSERT_EQ(differences.size(), 2) << r.out.toStdString();
    const QJsonObject warning = differences.at(0).toObject();
    EXPECT_EQ(warning.value("key").toString(), "Warning");
    EXPECT_EQ(warning.value("caption").toString(), "Warning");
    EXPECT_EQ(warning.value("master").toString(), "30");
    EXPECT_EQ(warning.value("detector").toString(), "10");

    const qsizetype before = sim->frames().size();
    r = RunCtl(onPort("pty", {"provision", master}), dir.path());
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("PASS: wrote Warning, Alarm into the KM detector"))
        << r.out.toStdString();
    // Exactly the two differing settings and the commit went out, and the detector was read
    // again after them.
    const QStringList frames = sim->frames().mid(before);
    EXPECT_EQ(Writes(frames), (QStringList{"A1,W,   30", "A2,W,   60", "DW,W,"}));
    EXPECT_TRUE(frames.lastIndexOf("A1,R,") > frames.indexOf("DW,W,"));
    EXPECT_EQ(ReportVerdicts(dir.path()), QStringList{"PASS"});
    EXPECT_EQ(QDir(dir.path()).entryList({"*_provision.pdf"}).size(), 1);

    // A second run finds nothing to write and says so: the one read proves it, and nothing
    // is written or read again.
    const qsizetype second = sim->frames().size();
    r = RunCtl(onPort("pty", {"provision", master}), dir.path());
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.contains("already matches")) << r.out.toStdString();
    EXPECT_EQ(Writes(sim->frames().mid(second)), QStringList{});
    EXPECT_EQ(sim->frames().mid(second).count("A1,R,"), 1);
}

TEST_F(CtlProgramTest, FourDetectorsProvisionedAtOnceOneWithAWrongEcho) {
    std::vector<std::unique_ptr<SimProcess>> sims;
    QStringList args{"--folder", dir.path()};
    for (int i = 1; i <= 4; ++i) {
        const QString name = QStringLiteral("pty%1").arg(i);
        sims.push_back(ptySim(name, i == 3 ? QStringList{"--wrong-echo-every", "1"}
                                           : QStringList{}));
        args << "--port" << file(name);
    }
    const QString master = file("master.seq");
    ASSERT_EQ(RunCtl({"--port", file("pty1"), "--folder", dir.path(), "read", master}, dir.path())
                  .code,
              0);
    ASSERT_TRUE(SetFileValues(master, {{"A1", "   30"}}));

    const CtlResult r = RunCtl(args + QStringList{"provision", master}, dir.path());
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    // One line per detector, in the order given.
    const QStringList lines = r.out.trimmed().split(u'\n');
    ASSERT_EQ(lines.size(), 4) << r.out.toStdString();
    for (int i = 0; i < 4; ++i) {
        const QString prefix = file(QStringLiteral("pty%1").arg(i + 1)) + ": ";
        EXPECT_TRUE(lines[i].startsWith(prefix + (i == 2 ? "FAIL: " : "PASS: ")))
            << lines[i].toStdString();
    }
    EXPECT_TRUE(r.err.contains(file("pty3") + ": Writing the detector failed"))
        << r.err.toStdString();
    EXPECT_EQ(ReportVerdicts(dir.path()), (QStringList{"FAIL", "PASS", "PASS", "PASS"}));
    for (const auto& sim : sims)
        EXPECT_TRUE(Writes(sim->frames()).contains("A1,W,   30"));
    // The four events reached the register (recorded together where they came together), each
    // with its verdict, and the chain verifies.
    FleetRegister reg(RegisterLocation::Default(dir.path()));
    QStringList verdicts;
    for (const RegisterEvent& e : reg.history(QStringLiteral("KM-71 SIM 0001")))
        if (e.kind == EventKind::Provision)
            verdicts << e.details.value("verdict").toString() +
                            (e.success ? QString() : QStringLiteral(" not carried out"));
    verdicts.sort();
    EXPECT_EQ(verdicts, (QStringList{"FAIL not carried out", "PASS", "PASS", "PASS"}));
    EXPECT_TRUE(reg.verify().ok);
}

TEST_F(CtlProgramTest, ReadInfoAndCompareOnSeveralPortsAtOnce) {
    auto one = ptySim("pty1");
    auto two = ptySim("pty2", {}, QStringLiteral("VL"));
    const QStringList ports{"--port", file("pty1"), "--port", file("pty2"), "--folder", dir.path()};
    const QString seq = file("saved.seq");

    // read: one file per detector, named with its serial number.
    CtlResult r = RunCtl(ports + QStringList{"read", seq}, dir.path());
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    const QStringList files = QDir(dir.path()).entryList({"saved_*.seq"});
    EXPECT_EQ(files, (QStringList{"saved_KM-71_SIM_0001.seq", "saved_VL-71_SIM_0001.seq"}));
    EXPECT_FALSE(QFileInfo::exists(seq));

    const struct {
        QStringList args;
        int code;
        const char* first;  // in the first detector's output
        const char* second; // in the second detector's output
    } cases[] = {
        {{"info"}, 0, "Model:", "TWA/A-1H:"},
        {{"compare", file("saved_KM-71_SIM_0001.seq")}, 1, "Compare MASTER OK", "Serial No. <> MASTER"},
    };
    for (const auto& c : cases) {
        r = RunCtl(ports + c.args, dir.path());
        const std::string what = c.args.first().toStdString();
        EXPECT_EQ(r.code, c.code) << what << ": " << r.err.toStdString();
        EXPECT_TRUE(r.out.startsWith(file("pty1") + ": ")) << what;
        EXPECT_TRUE(r.out.contains(file("pty1") + ": " + c.first)) << what;
        EXPECT_TRUE(r.out.contains(file("pty2") + ": " + c.second)) << what;
    }

    // --json: one object with the detectors' objects in order.
    r = RunCtl(ports + QStringList{"--json", "info"}, dir.path());
    const QJsonObject json = QJsonDocument::fromJson(r.out.toUtf8()).object();
    const QJsonArray detectors = json.value("detectors").toArray();
    ASSERT_EQ(detectors.size(), 2) << r.out.toStdString();
    EXPECT_EQ(detectors.at(1).toObject().value("detector").toString(), file("pty2"));
    EXPECT_EQ(detectors.at(1).toObject().value("model").toString(), "VL");
    EXPECT_TRUE(json.value("ok").toBool());

    // A missing detector makes the whole run fail with its status; the others still run.
    r = RunCtl(ports + QStringList{"--port", file("none"), "--connect-timeout", "1", "info"},
               dir.path());
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.out.contains(file("none") + ": failed with exit status 3."));
    EXPECT_TRUE(r.out.contains(file("pty2") + ": Model:"));

    // Commands for one detector refuse two.
    r = RunCtl(ports + QStringList{"write", seq}, dir.path());
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("works on one detector at a time")) << r.err.toStdString();
}
