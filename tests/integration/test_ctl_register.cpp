// The fleet register through km71ctl: the events its commands put on record against the
// simulated detector, the register commands on an SQLite file, and stations sharing a real
// PostgreSQL server.
#include "CtlTestSupport.h"

#include "ctl/RegisterImport.h"

#include "instrument/clsInstrument.h"
#include "records/FactoryRecord.h"
#include "register/FleetRegister.h"
#include "shell/OleDate.h"
#include "shell/modGasCommon.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QUuid>
#include <gtest/gtest.h>

using namespace ctltest;

namespace {

const QString kSimSerial = QStringLiteral("KM-71 SIM 0001");

// A factory record line of a KM detector calibrated `daysAgo` days before today with a
// calibration interval of `interval` days.
QString RecordLine(const QString& serial, int daysAgo, int interval) {
    clsInstrument r;
    r.setModelTyp(QStringLiteral("KM"));
    r.setSerialNo(serial);
    r.ApplyGasDefinition(QStringLiteral("CH4   100    1%LEL"));
    r.setCalLimit(qint16(interval));
    r.setCalibDate(0,
                   DateTimeToOle(QDateTime(QDate::currentDate().addDays(-daysAgo), QTime(9, 0))));
    return FactoryRecordFields(r, kFactoryRecordRead, QDateTime::currentDateTime())
        .join(ListSeparator());
}

bool WriteRecord(const QString& path, const QStringList& lines) {
    return WriteLines(path, QStringList{FactoryRecordHeaders().join(ListSeparator())} + lines);
}

QJsonObject JsonOf(const CtlResult& r) {
    return QJsonDocument::fromJson(r.out.toUtf8()).object();
}

// The serial numbers of a `register list --json`.
QStringList Serials(const CtlResult& r) {
    QStringList serials;
    for (const QJsonValue& v : JsonOf(r)["detectors"].toArray())
        serials << v["serialNo"].toString();
    return serials;
}

class CtlRegisterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QFileInfo(CtlProgram()).isExecutable()) << CtlProgram().toStdString();
    }
    QString file(const QString& name) const { return dir.filePath(name); }
    // km71ctl with the test's folder, which holds its register KM71Fleet.sqlite.
    CtlResult ctl(const QStringList& rest) const {
        return RunCtl(QStringList{"--folder", dir.path()} + rest, dir.path());
    }
    // The events of a detector as `register show --json` gives them.
    QJsonArray events(const QString& serial, const QStringList& where = {}) const {
        return JsonOf(ctl(where + QStringList{"register", "show", serial, "--json"}))["events"]
            .toArray();
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(CtlRegisterTest, ReadWriteSpanAndAFailedReadAreOnRecord) {
    const QString seq = file("km.seq");
    CtlResult r = ctl({"--sim", "KM", "read", seq});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    // The file differs from the detector in its warning point, its calibration interval and
    // its station, which a write without --identity leaves as it is.
    QString text = QString::fromLatin1(ReadAll(seq));
    text.replace("A1,W,   10,", "A1,W,   20,").replace("SC,W,001E,", "SC,W,00B4,");
    text.replace("XS,W,STATION-01      ,", "XS,W,STATION-99      ,");
    ASSERT_TRUE(WriteLines(seq, text.split("\r\n", Qt::SkipEmptyParts)));
    for (const QStringList& args : {QStringList{"write", seq}, QStringList{"span", "40"}}) {
        r = ctl(QStringList{"--sim", "KM"} + args);
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    }
    // The sixth reply (HN,R) is lost: the serial number was read, the read failed.
    const InProcessRun failed =
        RunInProcess({"--sim", "KM", "--folder", dir.path(), "--retry", "0", "read", seq},
                     [](SimDetector& s, CtlRunner&) { s.faults().dropNth = 6; });
    ASSERT_EQ(failed.code, CtlOptions::ExitFailed);

    const QJsonArray e = events(kSimSerial);
    ASSERT_EQ(e.size(), 4);
    QStringList kinds;
    for (const QJsonValue& v : e)
        kinds << v["kind"].toString() + (v["success"].toBool() ? "" : " failed");
    EXPECT_EQ(kinds, (QStringList{"read", "write", "span", "read failed"}));
    const QJsonArray changes = e[1]["details"]["changes"].toArray();
    ASSERT_EQ(changes.size(), 2) << QJsonDocument(changes).toJson().constData();
    EXPECT_EQ(changes[0].toObject(),
              (QJsonObject{{"name", "SC"}, {"old", "001E"}, {"new", "00B4"}}));
    EXPECT_EQ(changes[1].toObject(),
              (QJsonObject{{"name", "A1"}, {"old", "   10"}, {"new", "   20"}}));
    const QJsonObject span = e[2]["details"].toObject();
    EXPECT_EQ(span["concentration"].toDouble(), 40.0);
    EXPECT_EQ(span["after"].toDouble(), 40.0);
    EXPECT_LT(span["before"].toDouble(), 40.0);
    EXPECT_EQ(span["status"].toString(), "0");
    // The acceptance band around 40 in whole units, and the verdict.
    EXPECT_EQ(span["verdict"].toString(), "PASS");
    EXPECT_EQ(span["band"].toDouble(), 2.0);
    EXPECT_EQ(span["low"].toDouble(), 38.0);
    EXPECT_TRUE(e[3]["details"]["reason"].toString().contains("HN,R"));

    // The span's date and the written interval give the calibration due date.
    const QJsonObject row =
        JsonOf(ctl({"register", "show", kSimSerial, "--json"}))["detector"].toObject();
    const QDate last = QDate::fromString(row["lastCalibration"].toString(), Qt::ISODate);
    ASSERT_TRUE(last.isValid());
    EXPECT_EQ(row["calibrationDue"].toString(), last.addDays(180).toString(Qt::ISODate));
    EXPECT_EQ(row["stationId"].toString(), "STATION-01");
    r = ctl({"register", "show", kSimSerial});
    EXPECT_TRUE(r.out.contains("write  ok")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("A1 \"   10\" -> \"   20\"")) << r.out.toStdString();
}

TEST_F(CtlRegisterTest, EveryCommandThatTalksToTheDetectorRecordsItsEvent) {
    const QString seq = file("master.seq");
    ASSERT_EQ(RunInProcess({"--sim", "KM", "--folder", dir.path(), "read", seq}).code, 0);
    const struct {
        QStringList args;
        const char* kind;
        const char* key; // a detail of the event and its value
        const char* value;
    } cases[] = {
        {{"info"}, "read", "", ""},
        {{"compare", seq}, "master-compare", "verdict", "PASS"},
        {{"write", seq, "--identity"}, "identity-write", "", ""},
        {{"set-clock", "2025-01-07T09:30:00"}, "clock-set", "clock", "2025-01-07T09:30:00"},
        {{"zero"}, "zero", "status", "0"},
        {{"span", "--certificate"}, "certificate", "calibration", "span"},
        {{"default"}, "defaults", "", ""},
        {{"clear-log"}, "log-clear", "log", "logger"},
        {{"clear-power-log"}, "log-clear", "log", "power"},
        {{"check-data"}, "logger-check", "verdict", "OK"},
        {{"power-off"}, "power-off", "", ""},
    };
    FleetRegister reg(RegisterLocation::Default(dir.path()));
    ASSERT_TRUE(reg.open());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const InProcessRun run =
            RunInProcess(QStringList{"--sim", "KM", "--folder", dir.path()} + c.args);
        ASSERT_EQ(run.code, 0) << run.err.toStdString();
        const QList<RegisterEvent> history = reg.history(kSimSerial);
        ASSERT_FALSE(history.isEmpty());
        const RegisterEvent& last = history.last();
        EXPECT_EQ(EventKindName(last.kind), QLatin1String(c.kind));
        EXPECT_TRUE(last.success);
        if (*c.key) {
            EXPECT_EQ(last.details[QLatin1String(c.key)].toString(), c.value);
        }
    }
    // A certificate written by span follows the span event, and an import of its file later
    // finds it on record.
    const QList<RegisterEvent> history = reg.history(kSimSerial);
    const qsizetype certificate = history.size() - 6; // five cases came after it
    EXPECT_EQ(history.at(certificate - 1).kind, EventKind::Span);
    const QString json = history.at(certificate).details["file"].toString();
    EXPECT_EQ(ctl({"register", "import", json}).code, 0);
    EXPECT_EQ(reg.eventCount(), history.size());
}

TEST_F(CtlRegisterTest, ListShowsWhatIsDueWithinDaysOrOverdue) {
    // Calibrated 200, 170 and 100 days ago, every 180 days: due 20 days ago, in 10 days and in
    // 80 days (days apart enough that a date change during the test changes nothing).
    ASSERT_TRUE(WriteRecord(file("KM71_Setting.csv"),
                            {RecordLine("DUE-A", 200, 180), RecordLine("DUE-B", 170, 180),
                             RecordLine("DUE-C", 100, 180)}));
    ASSERT_EQ(ctl({"register", "import", file("KM71_Setting.csv")}).code, 0);
    const struct {
        QStringList options;
        QStringList serials;
    } cases[] = {
        {{}, {"DUE-A", "DUE-B", "DUE-C"}},
        {{"--due-within", "30"}, {"DUE-A", "DUE-B"}},
        {{"--due-within", "90"}, {"DUE-A", "DUE-B", "DUE-C"}},
        {{"--overdue"}, {"DUE-A"}},
    };
    for (const auto& c : cases) {
        const CtlResult r = ctl(QStringList{"register", "list", "--json"} + c.options);
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        EXPECT_EQ(Serials(r), c.serials) << c.options.join(' ').toStdString();
    }
    const CtlResult text = ctl({"register", "list", "--due-within", "30"});
    EXPECT_TRUE(text.out.contains("overdue")) << text.out.toStdString();
    EXPECT_TRUE(text.out.trimmed().endsWith("2 detectors due within 30 days."))
        << text.out.toStdString();
}

TEST_F(CtlRegisterTest, ImportTwiceStoresOnceAndVerifyNamesAnAlteredRow) {
    const QString csv = file("KM71_Setting_A.csv");
    ASSERT_TRUE(WriteRecord(csv, {RecordLine("IMP-1", 10, 180), RecordLine("IMP-2", 20, 180),
                                  RecordLine("IMP-1", 5, 180)}));
    const QString broken = file("broken.csv");
    ASSERT_TRUE(WriteRecord(broken, {RecordLine("IMP-3", 1, 180), "Read,too,few"}));
    ASSERT_TRUE(WriteLines(file("KM71Config.ini"), {"Register\t'station.sqlite'"}));

    const struct {
        QStringList files;
        int code;
        int events; // in the register afterwards
    } cases[] = {
        {{csv}, 0, 3}, {{csv}, 0, 3}, {{broken, csv}, 2, 3}, // nothing of a refused run is stored
    };
    for (const auto& c : cases) {
        const CtlResult r = ctl(QStringList{"register", "import"} + c.files);
        EXPECT_EQ(r.code, c.code) << r.err.toStdString();
        const CtlResult verify = ctl({"register", "verify", "--json"});
        EXPECT_EQ(verify.code, 0) << verify.err.toStdString();
        EXPECT_EQ(JsonOf(verify)["events"].toInt(), c.events);
    }
    EXPECT_TRUE(QFileInfo::exists(file("station.sqlite"))) << "the configured register";
    EXPECT_FALSE(QFileInfo::exists(file("KM71Fleet.sqlite")));

    // A row altered behind the register's back is named by its uid, exit 1.
    const QString uid = events("IMP-2").at(0)["uid"].toString();
    QProcess sqlite;
    sqlite.start("sqlite3", {file("station.sqlite"),
                             "UPDATE events SET content = replace(content, '\"IMP-2\"', "
                             "'\"IMP-9\"') WHERE uid = '" +
                                 uid + "'"});
    ASSERT_TRUE(sqlite.waitForFinished(kRunWaitMs) && sqlite.exitCode() == 0)
        << sqlite.readAllStandardError().constData();
    const CtlResult verify = ctl({"register", "verify"});
    EXPECT_EQ(verify.code, CtlOptions::ExitFailed);
    EXPECT_TRUE(verify.err.contains(uid)) << verify.err.toStdString();
}

TEST(RegisterImportDates, AYearTheRegisterCannotWriteIsNoDate) {
    // Qt reads a year with a sign; the register's ISO texts hold only years 1 to 9999.
    const auto certificate = [](const char* pcTime, const char* detectorTime) {
        return QStringLiteral("{\"calibration\": \"span\", \"serialNo\": \"A1\", "
                              "\"pcTime\": \"%1\", \"detectorTime\": \"%2\"}")
            .arg(QLatin1String(pcTime), QLatin1String(detectorTime))
            .toUtf8();
    };
    const struct {
        const char* pcTime;
        const char* detectorTime;
        bool imported;
        bool detectorClock;
    } cases[] = {
        {"2026-01-01T09:30:00", "2026-01-01T09:29:00", true, true},
        {"-2026-01-01T09:30:00", "2026-01-01T09:29:00", false, false},
        {"2026-01-01T09:30:00", "-0001-01-01T09:29:00", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pcTime + std::string(" ") + c.detectorTime);
        RegisterEvent e;
        QString error;
        const QByteArray content = certificate(c.pcTime, c.detectorTime);
        ASSERT_EQ(RegisterImport::CertificateEvent("/c/A1_calibration.json", content, &e, &error),
                  c.imported)
            << error.toStdString();
        if (!c.imported) continue;
        EXPECT_EQ(e.detectorClock.isValid(), c.detectorClock);
        const auto back = RegisterEvent::FromCanonicalContent(e.CanonicalContent());
        ASSERT_TRUE(back);
        EXPECT_EQ(back->CanonicalContent(), e.CanonicalContent());
    }
}

// ---- Stations sharing the PostgreSQL server of the test fixture ----

namespace {

class PostgresCtlTest : public CtlRegisterTest {
protected:
    void SetUp() override {
        CtlRegisterTest::SetUp();
        pgDir = qEnvironmentVariable("KM71_TEST_PG_DIR");
        ASSERT_FALSE(pgDir.isEmpty()) << "run through CTest, which starts the server";
        url = QString::fromLatin1(ReadAll(pgDir + "/url")).trimmed();
        ASSERT_TRUE(url.startsWith("postgresql://")) << url.toStdString();
    }
    // Runs the fixture's pg_server.sh with "start" or "stop".
    bool server(const QString& action) const {
        QProcess p;
        p.start(QStringLiteral(KM71_SOURCE_DIR "/tests/register/pg_server.sh"), {action, pgDir});
        return p.waitForFinished(120000) && p.exitCode() == 0;
    }
    QStringList at() const { return {"--register", url}; }
    qint64 eventCount() const {
        return JsonOf(ctl(at() + QStringList{"register", "verify", "--json"}))["events"]
            .toInteger();
    }

    QString pgDir, url;
};

} // namespace

TEST_F(PostgresCtlTest, TwoStationsImportingAtOnceLeaveEveryEventOnAChainThatVerifies) {
    // Serial numbers of this run: the server keeps its data from earlier runs.
    const QString run = QUuid::createUuid().toString(QUuid::Id128).left(8);
    std::vector<std::unique_ptr<CtlProcess>> stations;
    const qint64 before = eventCount();
    for (const char* station : {"A", "B"}) {
        QStringList lines;
        for (int i = 0; i < 500; ++i)
            lines << RecordLine(QStringLiteral("PG-%1-%2-%3").arg(run, station).arg(i % 50), i,
                                180);
        const QString csv = file(QStringLiteral("KM71_Setting_%1.csv").arg(station));
        ASSERT_TRUE(WriteRecord(csv, lines));
        stations.push_back(std::make_unique<CtlProcess>());
        stations.back()->start(
            at() + QStringList{"--folder", dir.path(), "register", "import", csv}, dir.path());
    }
    for (auto& station : stations) {
        const CtlResult r = station->finish(120000);
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
    }
    const CtlResult verify = ctl(at() + QStringList{"register", "verify", "--json"});
    EXPECT_EQ(verify.code, 0) << verify.err.toStdString();
    EXPECT_EQ(JsonOf(verify)["events"].toInteger(), before + 1000);
}

TEST_F(PostgresCtlTest, AStationWhoseServerIsDownRecordsLocallyAndForwardsOnce) {
    const QString seq = file("km.seq");
    const QStringList read = at() + QStringList{"--sim", "KM", "read", seq};
    const qsizetype known = events(kSimSerial, at()).size();
    const CtlResult up = ctl(read);
    ASSERT_EQ(up.code, 0) << up.err.toStdString();
    EXPECT_TRUE(up.err.isEmpty()) << up.err.toStdString();

    ASSERT_TRUE(server("stop"));
    const CtlResult down = ctl(read);
    const bool started = server("start");
    EXPECT_EQ(down.code, up.code);
    EXPECT_EQ(down.out, up.out);
    EXPECT_EQ(down.err.count(u'\n'), 1) << down.err.toStdString();
    EXPECT_TRUE(down.err.contains("pending")) << down.err.toStdString();
    ASSERT_TRUE(started);

    EXPECT_EQ(events(kSimSerial, at()).size(), known + 1);
    for (int forwarded : {1, 0}) {
        const CtlResult sync = ctl(at() + QStringList{"register", "sync", "--json"});
        EXPECT_EQ(sync.code, 0) << sync.err.toStdString();
        EXPECT_EQ(JsonOf(sync)["forwarded"].toInt(), forwarded);
        EXPECT_EQ(events(kSimSerial, at()).size(), known + 2);
    }
}
