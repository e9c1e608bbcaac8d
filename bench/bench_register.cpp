// The fleet register at fleet scale. SQLite: 10,000 detectors and 1,000,000 events, built once
// (one transaction, prepared statements) and kept in the build folder for later runs; then the
// due list of `km71ctl register list --due-within 30` (every detector read, the due rows picked;
// aim: under 200 ms) and one recorded event (aim: under 5 ms). PostgreSQL: the same two when
// KM71_BENCH_PG_URL names a database (postgresql://user@host:port/dbname), filled with 10,000
// detectors and 100,000 events.
#include "register/FleetRegister.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>

namespace {

constexpr int kDetectors = 10000;
constexpr int kSqliteEvents = 1000000;
constexpr int kPostgresEvents = 100000;
constexpr int kRowsPerInsert = 500;
const QDate kToday(2024, 6, 1);

QString serialOf(int i) {
    return QStringLiteral("B%1").arg(i, 7, 10, QLatin1Char('0'));
}

// The identity of detector `i`: its calibration spread over the last 200 days, intervals of 90
// or 180 days; bump tests over the last 200 days, every 180 days.
DetectorIdentity identityOf(int i) {
    DetectorIdentity d;
    d.serial = serialOf(i);
    d.model = QStringLiteral("KM");
    d.gas = QStringLiteral("CH4(%LEL)");
    d.stationId = QStringLiteral("LINE-%1").arg(i % 7);
    d.programNo = QStringLiteral("00123");
    d.calLimit = i % 2 ? 90 : 180;
    d.bumpLimit = 180;
    // Times of day as a detector's history gives them: hardly two alike.
    const QTime at(8 + i % 10, i / 10 % 60, i / 600 % 60);
    d.lastCalibration = QDateTime(kToday.addDays(-(i * 7919 % 200)), at);
    d.lastBump = QDateTime(kToday.addDays(-(i * 104729 % 200)), at.addSecs(1800));
    return d;
}

RegisterEvent eventOf(qint64 n) {
    RegisterEvent e;
    e.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    e.kind = n % 3 == 0 ? EventKind::Read : n % 3 == 1 ? EventKind::Write : EventKind::Span;
    e.detector = identityOf(int(n % kDetectors));
    e.pcTimeUtc = QDateTime(kToday.addDays(-400), QTime(0, 0), Qt::UTC).addSecs(n * 30);
    e.utcOffsetSeconds = 32400;
    e.computer = QStringLiteral("station-%1").arg(n % 4);
    e.technician = QStringLiteral("bench");
    e.programVersion = QStringLiteral(KM71_VERSION);
    if (e.kind == EventKind::Write)
        e.setChanges({{QStringLiteral("SC"), QStringLiteral("005A"), QStringLiteral("00B4")}});
    if (e.kind == EventKind::Span) {
        e.details[QStringLiteral("concentration")] = 50;
        e.details[QStringLiteral("before")] = 45.0 + double(n % 50) / 10.0;
        e.details[QStringLiteral("after")] = 50;
    }
    return e;
}

// Inserts rows of `columns` in statements of kRowsPerInsert rows.
class BatchInsert {
public:
    BatchInsert(QSqlDatabase db, QString table, QStringList columns)
        : m_db(db), m_table(std::move(table)), m_columns(std::move(columns)) {}
    bool add(const QVariantList& row) {
        m_rows.append(row);
        return m_rows.size() < kRowsPerInsert || flush();
    }
    bool flush() {
        if (m_rows.isEmpty()) return true;
        const QString one =
            u'(' + QStringList(m_columns.size(), QStringLiteral("?")).join(u',') + u')';
        QSqlQuery q(m_db);
        q.prepare(
            QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
                .arg(m_table, m_columns.join(u','), QStringList(m_rows.size(), one).join(u',')));
        for (const QVariantList& row : m_rows)
            for (const QVariant& v : row)
                q.addBindValue(v);
        m_rows.clear();
        if (q.exec()) return true;
        std::fprintf(stderr, "fill: %s\n", qPrintable(q.lastError().text()));
        return false;
    }

private:
    QSqlDatabase m_db;
    QString m_table;
    QStringList m_columns;
    QList<QVariantList> m_rows;
};

// Fills an empty register with the detectors and `events` chained events in one transaction.
bool fill(const RegisterLocation& location, int events) {
    {
        FleetRegister reg(location); // creates the schema
        QString error;
        if (!reg.open(&error)) {
            std::fprintf(stderr, "fill: %s\n", qPrintable(error));
            return false;
        }
        if (reg.eventCount() >= events) return true;
        if (reg.eventCount() > 0) {
            std::fprintf(stderr, "fill: %s holds events already\n", qPrintable(location.text()));
            return false;
        }
    }
    const bool postgres = location.engine == RegisterLocation::Engine::Postgres;
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(postgres ? "QPSQL" : "QSQLITE", "bench-fill");
        if (postgres) {
            db.setHostName(location.host);
            db.setPort(location.port);
            db.setUserName(location.user);
            db.setDatabaseName(location.database);
        } else {
            db.setDatabaseName(location.sqlitePath);
        }
        ok = db.open() && db.transaction();
        BatchInsert detectors(db, QStringLiteral("detectors"),
                              {"serial", "model", "gas", "manufacture_no", "station_id", "user_id",
                               "program_no", "program_sum", "cal_limit", "bump_limit",
                               "history_calibration", "history_bump", "last_span", "first_seen",
                               "last_seen"});
        const QString wall = QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz");
        for (int i = 0; ok && i < kDetectors; ++i) {
            const DetectorIdentity d = identityOf(i);
            ok = detectors.add(
                {d.serial, d.model, d.gas, QStringLiteral(""), d.stationId, QStringLiteral(""),
                 d.programNo, QStringLiteral(""), d.calLimit, d.bumpLimit,
                 d.lastCalibration.toString(wall), d.lastBump.toString(wall), QStringLiteral(""),
                 eventOf(i).pcTimeUtc.toString(Qt::ISODateWithMs),
                 eventOf(events - kDetectors + i).pcTimeUtc.toString(Qt::ISODateWithMs)});
        }
        ok = ok && detectors.flush();
        BatchInsert rows(
            db, QStringLiteral("events"),
            {"seq", "uid", "serial", "kind", "success", "pc_time", "content", "prev_hash", "hash"});
        QString previous = QStringLiteral("");
        for (qint64 n = 0; ok && n < events; ++n) {
            const RegisterEvent e = eventOf(n);
            const QByteArray content = e.CanonicalContent();
            const QString hash = ChainHash(previous, content);
            ok = rows.add({n + 1, e.uid, e.detector.serial, EventKindName(e.kind), 1,
                           e.pcTimeUtc.toString(Qt::ISODateWithMs), QString::fromUtf8(content),
                           previous, hash});
            previous = hash;
        }
        ok = ok && rows.flush();
        QSqlQuery head(db);
        head.prepare(QStringLiteral("UPDATE chain_head SET seq = ?, hash = ? WHERE id = 1"));
        head.addBindValue(qint64(events));
        head.addBindValue(previous);
        ok = ok && head.exec() && db.commit();
        if (!ok) db.rollback();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench-fill"));
    return ok;
}

std::unique_ptr<FleetRegister> g_registers[2];

// The register of one engine, filled the first time it is asked for; closed with the
// application (the SQL connections may not outlive it).
FleetRegister* benchRegister(bool postgres) {
    std::unique_ptr<FleetRegister>& reg = g_registers[postgres ? 1 : 0];
    if (reg) return reg.get();
    qAddPostRoutine([] {
        for (std::unique_ptr<FleetRegister>& r : g_registers)
            r.reset();
    });
    RegisterLocation location;
    if (postgres) {
        const auto parsed =
            RegisterLocation::Parse(qEnvironmentVariable("KM71_BENCH_PG_URL"), {}, nullptr);
        if (!parsed) return nullptr;
        location = *parsed;
    } else {
        const QString file = QStringLiteral(KM71_BENCH_TOOL_DIR "/bench_register.sqlite");
        const QString partial = file + QStringLiteral(".partial");
        location.sqlitePath = file;
        if (!QFile::exists(file)) {
            QFile::remove(partial);
            location.sqlitePath = partial;
            if (!fill(location, kSqliteEvents)) return nullptr;
            if (!QFile::rename(partial, file)) return nullptr;
            location.sqlitePath = file;
        }
    }
    if (postgres && !fill(location, kPostgresEvents)) return nullptr;
    reg = std::make_unique<FleetRegister>(location);
    if (!reg->open()) reg.reset();
    return reg.get();
}

void DueWithin30(benchmark::State& state, bool postgres) {
    FleetRegister* reg = benchRegister(postgres);
    if (!reg) {
        state.SkipWithError(postgres ? "KM71_BENCH_PG_URL names no usable database"
                                     : "the register could not be built");
        return;
    }
    qsizetype due = 0;
    for (auto _ : state) {
        const QList<DetectorRow> rows = DueRows(reg->detectors(), kToday, 30, false);
        due = rows.size();
        benchmark::DoNotOptimize(due);
    }
    state.counters["detectors"] = double(reg->detectors().size());
    state.counters["due"] = double(due);
    state.counters["events"] = double(reg->eventCount());
}

void RecordOneEvent(benchmark::State& state, bool postgres) {
    FleetRegister* reg = benchRegister(postgres);
    if (!reg) {
        state.SkipWithError(postgres ? "KM71_BENCH_PG_URL names no usable database"
                                     : "the register could not be built");
        return;
    }
    qint64 n = reg->eventCount();
    for (auto _ : state) {
        state.PauseTiming();
        RegisterEvent e = eventOf(n++);
        e.pcTimeUtc = QDateTime::currentDateTimeUtc();
        state.ResumeTiming();
        if (!reg->append(e)) state.SkipWithError("append failed");
    }
}

void SqliteDueWithin30(benchmark::State& state) {
    DueWithin30(state, false);
}
void SqliteRecordOneEvent(benchmark::State& state) {
    RecordOneEvent(state, false);
}
void PostgresDueWithin30(benchmark::State& state) {
    DueWithin30(state, true);
}
void PostgresRecordOneEvent(benchmark::State& state) {
    RecordOneEvent(state, true);
}

bool postgresNamed() {
    return !qEnvironmentVariableIsEmpty("KM71_BENCH_PG_URL");
}

const bool registered = [] {
    benchmark::RegisterBenchmark("SqliteDueWithin30", SqliteDueWithin30)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("SqliteRecordOneEvent", SqliteRecordOneEvent)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(500);
    if (postgresNamed()) {
        benchmark::RegisterBenchmark("PostgresDueWithin30", PostgresDueWithin30)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("PostgresRecordOneEvent", PostgresRecordOneEvent)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(500);
    }
    return true;
}();

} // namespace
