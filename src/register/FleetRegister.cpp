#include "register/FleetRegister.h"

#include "shell/Messages.h"

#include <QAtomicInt>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUrl>
#include <QVariant>
#include <cmath>

namespace {

constexpr int kSchemaVersion = 1;
const QString kDefaultFileName = QStringLiteral("KM71Fleet.sqlite");
// Serialises creating the schema between stations that open a new shared register at once.
constexpr qint64 kSchemaLockKey = 7171071;
// Rows read at a time while checking the chain.
constexpr int kVerifyBatch = 5000;

// Wall-clock date-times (the detector's own dates, the PC's local time) as the tables hold them;
// they sort as text.
const QString kWallFormat = QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz");

QAtomicInt g_connections;

// A text for a NOT NULL column: a null text binds as NULL, an empty one does not.
QString nonNull(const QString& text) {
    return text.isNull() ? QStringLiteral("") : text;
}

QString utcText(const QDateTime& when) {
    return when.isValid() ? when.toUTC().toString(Qt::ISODateWithMs) : QStringLiteral("");
}

QString wallText(const QDateTime& when) {
    return when.isValid() ? when.toString(kWallFormat) : QStringLiteral("");
}

// Reads the date-times the tables hold ("yyyy-MM-ddTHH:mm:ss.zzz", with "Z" when in UTC) by
// their fixed places: the general parser costs more than the rest of listing the fleet.
// `zone` says which of the two the text is.
QDateTime stampFrom(const QString& text, Qt::TimeSpec zone) {
    if (text.size() != 23 && !(text.size() == 24 && text.endsWith(u'Z'))) return {};
    const auto number = [&text](int at, int digits) {
        int value = 0;
        for (int i = at; i < at + digits; ++i) {
            const char16_t c = text.at(i).unicode();
            if (c < u'0' || c > u'9') return -1;
            value = value * 10 + (c - u'0');
        }
        return value;
    };
    const QDate date(number(0, 4), number(5, 2), number(8, 2));
    const QTime time(number(11, 2), number(14, 2), number(17, 2), number(20, 3));
    if (!date.isValid() || !time.isValid()) return {};
    return QDateTime(date, time, zone);
}

QDateTime utcFrom(const QString& text) {
    return stampFrom(text, Qt::UTC);
}

QDateTime wallFrom(const QString& text) {
    return stampFrom(text, Qt::LocalTime);
}

// The driver's text of an error on one line.
QString errorText(const QSqlError& error) {
    QString text = error.text().simplified();
    if (text.endsWith(u'.')) text.chop(1);
    return text.isEmpty() ? QStringLiteral("unknown error") : text;
}

// The columns of the detectors table after the serial, in this order everywhere.
const QString kDetectorColumns = QStringLiteral(
    "model, gas, manufacture_no, station_id, user_id, program_no, program_sum, cal_limit, "
    "bump_limit, history_calibration, history_bump, last_span, first_seen, last_seen");

// One row of the detectors table as stored.
struct StoredDetector {
    DetectorIdentity identity;
    QString historyCalibration, historyBump, lastSpan, firstSeen, lastSeen;

    // Reads the columns of kDetectorColumns from `q`, starting at `first`.
    static StoredDetector Read(const QSqlQuery& q, int first) {
        StoredDetector d;
        DetectorIdentity& i = d.identity;
        i.model = q.value(first).toString();
        i.gas = q.value(first + 1).toString();
        i.manufactureNo = q.value(first + 2).toString();
        i.stationId = q.value(first + 3).toString();
        i.userId = q.value(first + 4).toString();
        i.programNo = q.value(first + 5).toString();
        i.sum = q.value(first + 6).toString();
        i.calLimit = q.value(first + 7).toInt();
        i.bumpLimit = q.value(first + 8).toInt();
        d.historyCalibration = q.value(first + 9).toString();
        d.historyBump = q.value(first + 10).toString();
        d.lastSpan = q.value(first + 11).toString();
        d.firstSeen = q.value(first + 12).toString();
        d.lastSeen = q.value(first + 13).toString();
        i.lastCalibration = wallFrom(d.historyCalibration);
        i.lastBump = wallFrom(d.historyBump);
        return d;
    }

    // Binds the columns of kDetectorColumns, then the serial.
    void bind(QSqlQuery& q) const {
        const DetectorIdentity& i = identity;
        for (const QString& text :
             {i.model, i.gas, i.manufactureNo, i.stationId, i.userId, i.programNo, i.sum})
            q.addBindValue(nonNull(text));
        q.addBindValue(i.calLimit);
        q.addBindValue(i.bumpLimit);
        for (const QString& text : {historyCalibration, historyBump, lastSpan, firstSeen, lastSeen})
            q.addBindValue(nonNull(text));
        q.addBindValue(nonNull(i.serial));
    }

    // The row as the register lists it, with its due dates.
    DetectorRow row() && {
        DetectorRow r;
        r.detector = std::move(identity);
        r.firstSeen = utcFrom(firstSeen);
        r.lastSeen = utcFrom(lastSeen);
        const DetectorIdentity& i = r.detector;
        if (i.lastCalibration.isValid())
            r.lastCalibration = i.lastCalibration.date();
        else if (!lastSpan.isEmpty())
            r.lastCalibration = QDate::fromString(lastSpan.left(10), Qt::ISODate);
        if (r.lastCalibration.isValid() && i.calLimit > 0)
            r.calibrationDue = r.lastCalibration.addDays(i.calLimit);
        if (i.lastBump.isValid()) r.lastBump = i.lastBump.date();
        if (r.lastBump.isValid() && i.bumpLimit > 0) r.bumpDue = r.lastBump.addDays(i.bumpLimit);
        return r;
    }

    // Takes in what `event` tells of its detector: first and last seen from every event; the
    // identity, limits and history dates from a successful one, the newest one's where known
    // (an event forwarded late fills only what is still unknown); the latest good span.
    void merge(const RegisterEvent& event, bool stored) {
        const QString when = utcText(event.pcTimeUtc);
        const bool newest = !stored || when >= lastSeen;
        if (!stored || when < firstSeen) firstSeen = when;
        if (!stored || when > lastSeen) lastSeen = when;
        if (!event.success) return;
        const DetectorIdentity& e = event.detector;
        DetectorIdentity& i = identity;
        const auto take = [newest](QString& mine, const QString& theirs) {
            if (!theirs.isEmpty() && (newest || mine.isEmpty())) mine = theirs;
        };
        take(i.model, e.model);
        take(i.gas, e.gas);
        take(i.manufactureNo, e.manufactureNo);
        take(i.stationId, e.stationId);
        take(i.userId, e.userId);
        take(i.programNo, e.programNo);
        take(i.sum, e.sum);
        if (e.calLimit >= 0 && (newest || i.calLimit < 0)) i.calLimit = e.calLimit;
        if (e.bumpLimit >= 0 && (newest || i.bumpLimit < 0)) i.bumpLimit = e.bumpLimit;
        take(historyCalibration, wallText(e.lastCalibration));
        take(historyBump, wallText(e.lastBump));
        if (event.kind == EventKind::Span) {
            // The PC's wall-clock time of the span: its date is the calibration date.
            const QString local = wallText(event.pcTimeUtc.toUTC().addSecs(event.utcOffsetSeconds));
            if (local > lastSpan) lastSpan = local;
        }
    }
};

// One stored event as the chain check reads it.
struct ChainRow {
    QVariant seqValue;
    qint64 seq = 0;
    bool seqWhole = false;
    QString uid, serial, kind, pcTime, prevHash, hash;
    int success = 0;
    QByteArray content;

    static ChainRow Read(const QSqlQuery& q) {
        ChainRow r;
        r.seqValue = q.value(0);
        bool ok = false;
        const double asNumber = r.seqValue.toDouble(&ok);
        // A number between two sequence numbers (an event slipped in) counts as the lower one.
        r.seq = qint64(std::floor(asNumber));
        r.seqWhole = ok && asNumber == double(r.seq);
        r.uid = q.value(1).toString();
        r.serial = q.value(2).toString();
        r.kind = q.value(3).toString();
        r.success = q.value(4).toInt();
        r.pcTime = q.value(5).toString();
        r.content = q.value(6).toString().toUtf8();
        r.prevHash = q.value(7).toString();
        r.hash = q.value(8).toString();
        return r;
    }

    // Whether the hash covers the stored content and the copied columns say what it says.
    bool consistent() const {
        if (ChainHash(prevHash, content) != hash) return false;
        const std::optional<RegisterEvent> e = RegisterEvent::FromCanonicalContent(content);
        return e && e->uid == uid && nonNull(e->detector.serial) == serial &&
               EventKindName(e->kind) == kind && int(e->success) == success &&
               utcText(e->pcTimeUtc) == pcTime;
    }

    QString name() const { return QStringLiteral("%1 (%2)").arg(seqValue.toString(), uid); }
};

} // namespace

// ---- RegisterLocation ----

RegisterLocation RegisterLocation::Default(const QString& folder) {
    RegisterLocation l;
    l.sqlitePath = QDir::cleanPath(QDir(folder).absoluteFilePath(kDefaultFileName));
    return l;
}

std::optional<RegisterLocation> RegisterLocation::Parse(const QString& text, const QString& folder,
                                                        QString* error) {
    const auto fail = [error](const QString& sentence) -> std::optional<RegisterLocation> {
        // The sentence quotes the text as given; it stays one line.
        if (error) *error = OneLineText(sentence);
        return std::nullopt;
    };
    const QString t = text.trimmed();
    if (t.isEmpty()) return fail(QStringLiteral("No register location is given."));
    const bool postgres = t.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
                          t.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
    if (!postgres) {
        if (t.contains(QLatin1String("://")))
            return fail(QStringLiteral("\"%1\" is neither a postgresql:// URL nor the path of an "
                                       "SQLite file.")
                            .arg(t));
        // A name that starts with ':' is a file in the folder like any other: Qt would read
        // it as one of the program's embedded resources, and SQLite ":memory:" as a register
        // that is lost when it closes.
        RegisterLocation l;
        l.sqlitePath = QDir::cleanPath(
            QDir(folder).absoluteFilePath(t.startsWith(u':') ? QStringLiteral("./") + t : t));
        return l;
    }
    const QUrl url(t, QUrl::StrictMode);
    const QString database = url.path().mid(1);
    if (!url.isValid() || url.host().isEmpty() || database.isEmpty() || database.contains(u'/') ||
        url.port(5432) <= 0)
        return fail(QStringLiteral("\"%1\" is not a register URL of the form "
                                   "postgresql://user@host:port/dbname.")
                        .arg(t));
    if (!url.password().isEmpty())
        return fail(QStringLiteral("The register URL may not hold a password: PostgreSQL takes it "
                                   "from its password file (~/.pgpass) or PGPASSWORD."));
    RegisterLocation l;
    l.engine = Engine::Postgres;
    l.user = url.userName();
    l.host = url.host();
    l.port = url.port(5432);
    l.database = database;
    return l;
}

QString RegisterLocation::text() const {
    if (engine == Engine::Sqlite) return QDir::toNativeSeparators(sqlitePath);
    const QString hostPart = host.contains(u':') ? u'[' + host + u']' : host;
    return QStringLiteral("postgresql://%1%2:%3/%4")
        .arg(user.isEmpty() ? QString() : user + u'@', hostPart)
        .arg(port)
        .arg(database);
}

// ---- FleetRegister ----

struct FleetRegister::Impl {
    RegisterLocation location;
    QString connection;
    bool open = false;

    bool postgres() const { return location.engine == RegisterLocation::Engine::Postgres; }
    QSqlDatabase db() const { return QSqlDatabase::database(connection, false); }

    bool fail(QString* error, const QString& what, const QSqlError& cause) {
        if (error)
            *error = QStringLiteral("The register %1 %2: %3.")
                         .arg(location.text(), what, errorText(cause));
        return false;
    }

    // Runs one statement without parameters.
    bool exec(const QString& sql, QSqlError* cause = nullptr) {
        QSqlQuery q(db());
        if (q.exec(sql)) return true;
        if (cause) *cause = q.lastError();
        return false;
    }

    // Starts a transaction that holds the register's write lock (SQLite) or is about to take the
    // chain head's row lock (PostgreSQL).
    bool begin(QSqlError* cause) {
        return exec(postgres() ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"),
                    cause);
    }
    void rollback() { exec(QStringLiteral("ROLLBACK")); }

    // After a failed statement the connection may be gone (a server restarted): the next use
    // connects again.
    void drop() {
        open = false;
        QSqlDatabase d = db();
        if (d.isValid()) d.close();
    }

    int schemaVersion(QSqlError* cause) {
        if (!db().tables().contains(QStringLiteral("schema_version"))) return 0;
        QSqlQuery q(db());
        if (!q.exec(QStringLiteral("SELECT MAX(version) FROM schema_version"))) {
            if (cause) *cause = q.lastError();
            return -1;
        }
        return q.next() ? q.value(0).toInt() : 0;
    }

    bool prepareSchema(QString* error) {
        QSqlError cause;
        if (schemaVersion(&cause) == kSchemaVersion) return true;
        if (!begin(&cause)) return fail(error, QStringLiteral("cannot be prepared"), cause);
        if (postgres() &&
            !exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kSchemaLockKey), &cause)) {
            rollback();
            return fail(error, QStringLiteral("cannot be prepared"), cause);
        }
        const int version = schemaVersion(&cause);
        if (version > kSchemaVersion) {
            rollback();
            if (error)
                *error = QStringLiteral("The register %1 was made by a newer program (schema %2; "
                                        "this program knows %3).")
                             .arg(location.text())
                             .arg(version)
                             .arg(kSchemaVersion);
            return false;
        }
        QStringList steps;
        if (version == 0)
            steps << QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version ("
                                    "version INTEGER NOT NULL)")
                  << QStringLiteral("CREATE TABLE IF NOT EXISTS chain_head ("
                                    "id INTEGER PRIMARY KEY, seq BIGINT NOT NULL, "
                                    "hash TEXT NOT NULL)")
                  << QStringLiteral("CREATE TABLE IF NOT EXISTS events ("
                                    "seq BIGINT PRIMARY KEY, uid TEXT NOT NULL UNIQUE, "
                                    "serial TEXT NOT NULL, kind TEXT NOT NULL, "
                                    "success INTEGER NOT NULL, pc_time TEXT NOT NULL, "
                                    "content TEXT NOT NULL, prev_hash TEXT NOT NULL, "
                                    "hash TEXT NOT NULL)")
                  << QStringLiteral("CREATE INDEX IF NOT EXISTS events_serial ON events "
                                    "(serial, seq)")
                  << QStringLiteral("CREATE INDEX IF NOT EXISTS events_time ON events (pc_time)")
                  << QStringLiteral(
                         "CREATE TABLE IF NOT EXISTS detectors ("
                         "serial TEXT PRIMARY KEY, model TEXT NOT NULL, gas TEXT NOT NULL, "
                         "manufacture_no TEXT NOT NULL, station_id TEXT NOT NULL, "
                         "user_id TEXT NOT NULL, program_no TEXT NOT NULL, "
                         "program_sum TEXT NOT NULL, cal_limit INTEGER NOT NULL, "
                         "bump_limit INTEGER NOT NULL, history_calibration TEXT NOT NULL, "
                         "history_bump TEXT NOT NULL, last_span TEXT NOT NULL, "
                         "first_seen TEXT NOT NULL, last_seen TEXT NOT NULL)")
                  << QStringLiteral("INSERT INTO chain_head (id, seq, hash) VALUES (1, 0, '')")
                  << QStringLiteral("INSERT INTO schema_version (version) VALUES (%1)")
                         .arg(kSchemaVersion);
        // Later schema versions add their steps here, each from the version before it.
        for (const QString& sql : steps)
            if (!exec(sql, &cause)) {
                rollback();
                return fail(error, QStringLiteral("cannot be prepared"), cause);
            }
        if (!exec(QStringLiteral("COMMIT"), &cause)) {
            rollback();
            return fail(error, QStringLiteral("cannot be prepared"), cause);
        }
        return true;
    }

    // Stores the event in the open transaction; false with the cause of a failed statement.
    bool store(const RegisterEvent& event, QSqlError* cause) {
        const auto failed = [cause](const QSqlQuery& q) {
            if (cause) *cause = q.lastError();
            return false;
        };
        QSqlQuery q(db());
        if (!q.exec(postgres()
                        ? QStringLiteral("SELECT seq, hash FROM chain_head WHERE id = 1 FOR UPDATE")
                        : QStringLiteral("SELECT seq, hash FROM chain_head WHERE id = 1")))
            return failed(q);
        if (!q.next()) {
            if (cause) *cause = QSqlError(QStringLiteral("the chain head is missing"));
            return false;
        }
        const qint64 headSeq = q.value(0).toLongLong();
        const QString headHash = q.value(1).toString();
        q.finish();

        q.prepare(QStringLiteral("SELECT seq FROM events WHERE uid = ?"));
        q.addBindValue(nonNull(event.uid));
        if (!q.exec()) return failed(q);
        if (q.next()) return true; // stored before: nothing to do
        q.finish();

        const QByteArray content = event.CanonicalContent();
        const QString hash = ChainHash(headHash, content);
        const qint64 seq = headSeq + 1;
        q.prepare(QStringLiteral("INSERT INTO events (seq, uid, serial, kind, success, pc_time, "
                                 "content, prev_hash, hash) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        q.addBindValue(seq);
        q.addBindValue(nonNull(event.uid));
        q.addBindValue(nonNull(event.detector.serial));
        q.addBindValue(EventKindName(event.kind));
        q.addBindValue(event.success ? 1 : 0);
        q.addBindValue(utcText(event.pcTimeUtc));
        q.addBindValue(QString::fromUtf8(content));
        q.addBindValue(nonNull(headHash));
        q.addBindValue(hash);
        if (!q.exec()) return failed(q);

        q.prepare(QStringLiteral("UPDATE chain_head SET seq = ?, hash = ? WHERE id = 1"));
        q.addBindValue(seq);
        q.addBindValue(hash);
        if (!q.exec()) return failed(q);

        if (event.detector.serial.isEmpty()) return true;
        q.prepare(
            QStringLiteral("SELECT %1 FROM detectors WHERE serial = ?").arg(kDetectorColumns));
        q.addBindValue(event.detector.serial);
        if (!q.exec()) return failed(q);
        const bool stored = q.next();
        StoredDetector d;
        if (stored) d = StoredDetector::Read(q, 0);
        q.finish();
        d.identity.serial = event.detector.serial;
        d.merge(event, stored);
        if (stored) {
            QStringList sets;
            for (const QString& column : kDetectorColumns.split(QStringLiteral(", ")))
                sets << column + QStringLiteral(" = ?");
            q.prepare(QStringLiteral("UPDATE detectors SET %1 WHERE serial = ?")
                          .arg(sets.join(QStringLiteral(", "))));
        } else {
            q.prepare(QStringLiteral("INSERT INTO detectors (%1, serial) VALUES "
                                     "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                          .arg(kDetectorColumns));
        }
        d.bind(q);
        return q.exec() || failed(q);
    }

    // Reads rows of the detectors table; `where` may narrow it to one serial.
    QList<DetectorRow> readDetectors(const QString& serial, bool one, QString* error) {
        QList<DetectorRow> rows;
        QSqlQuery q(db());
        q.setForwardOnly(true);
        const QString sql =
            QStringLiteral("SELECT serial, %1 FROM detectors").arg(kDetectorColumns);
        if (one) {
            q.prepare(sql + QStringLiteral(" WHERE serial = ?"));
            q.addBindValue(serial);
        } else {
            q.prepare(sql + QStringLiteral(" ORDER BY serial"));
        }
        if (!q.exec()) {
            fail(error, QStringLiteral("cannot be read"), q.lastError());
            drop();
            return rows;
        }
        while (q.next()) {
            StoredDetector d = StoredDetector::Read(q, 1);
            d.identity.serial = q.value(0).toString();
            rows.append(std::move(d).row());
        }
        if (error) error->clear();
        return rows;
    }
};

FleetRegister::FleetRegister(RegisterLocation location) : m_impl(std::make_unique<Impl>()) {
    m_impl->location = std::move(location);
    m_impl->connection =
        QStringLiteral("km71-register-%1").arg(g_connections.fetchAndAddRelaxed(1));
}

FleetRegister::~FleetRegister() {
    if (QSqlDatabase::contains(m_impl->connection)) {
        {
            QSqlDatabase d = m_impl->db();
            d.close();
        }
        QSqlDatabase::removeDatabase(m_impl->connection);
    }
}

const RegisterLocation& FleetRegister::location() const {
    return m_impl->location;
}

bool FleetRegister::open(QString* error) {
    Impl& m = *m_impl;
    if (m.open && m.db().isOpen()) return true;
    const bool postgres = m.postgres();
    const QString driver = postgres ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
    QSqlDatabase d = QSqlDatabase::contains(m.connection)
                         ? m.db()
                         : QSqlDatabase::addDatabase(driver, m.connection);
    if (!d.isValid()) {
        if (error)
            *error = QStringLiteral("The register %1 cannot be opened: the Qt SQL driver %2 is "
                                    "not installed.")
                         .arg(m.location.text(), driver);
        return false;
    }
    if (postgres) {
        d.setHostName(m.location.host);
        d.setPort(m.location.port);
        d.setDatabaseName(m.location.database);
        d.setUserName(m.location.user);
        // No password: libpq takes it from ~/.pgpass or PGPASSWORD itself.
        d.setConnectOptions(QStringLiteral("connect_timeout=2;application_name=km71"));
    } else {
        const QFileInfo file(m.location.sqlitePath);
        if (!file.absoluteDir().exists()) {
            if (error)
                *error = QStringLiteral("The register %1 cannot be opened: its folder does not "
                                        "exist.")
                             .arg(m.location.text());
            return false;
        }
        d.setDatabaseName(m.location.sqlitePath);
        d.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    }
    if (!d.open()) {
        const QSqlError cause = d.lastError();
        d.close();
        return m.fail(error,
                      postgres ? QStringLiteral("cannot be reached")
                               : QStringLiteral("cannot be opened"),
                      cause);
    }
    QSqlError cause;
    if (!postgres && (!m.exec(QStringLiteral("PRAGMA journal_mode=WAL"), &cause) ||
                      !m.exec(QStringLiteral("PRAGMA synchronous=NORMAL"), &cause))) {
        d.close();
        return m.fail(error, QStringLiteral("cannot be opened"), cause);
    }
    if (!m.prepareSchema(error)) {
        d.close();
        return false;
    }
    m.open = true;
    if (error) error->clear();
    return true;
}

bool FleetRegister::isOpen() const {
    return m_impl->open && m_impl->db().isOpen();
}

bool FleetRegister::append(const RegisterEvent& event, QString* error) {
    return append(QList<RegisterEvent>{event}, error);
}

bool FleetRegister::append(const QList<RegisterEvent>& events, QString* error) {
    Impl& m = *m_impl;
    if (!isOpen() && !open(error)) return false;
    for (const RegisterEvent& event : events) {
        if (event.uid.isEmpty() || !event.pcTimeUtc.isValid()) {
            if (error) *error = QStringLiteral("An event without uid or time cannot be recorded.");
            return false;
        }
    }
    QSqlError cause;
    if (!m.begin(&cause)) {
        m.drop();
        return m.fail(error, QStringLiteral("cannot be written"), cause);
    }
    for (const RegisterEvent& event : events) {
        if (!m.store(event, &cause)) {
            m.rollback();
            m.drop();
            return m.fail(error, QStringLiteral("cannot be written"), cause);
        }
    }
    if (!m.exec(QStringLiteral("COMMIT"), &cause)) {
        m.rollback();
        m.drop();
        return m.fail(error, QStringLiteral("cannot be written"), cause);
    }
    if (error) error->clear();
    return true;
}

QList<DetectorRow> FleetRegister::detectors(QString* error) {
    if (!isOpen() && !open(error)) return {};
    return m_impl->readDetectors(QString(), false, error);
}

std::optional<DetectorRow> FleetRegister::detector(const QString& serial, QString* error) {
    if (!isOpen() && !open(error)) return std::nullopt;
    const QList<DetectorRow> rows = m_impl->readDetectors(serial, true, error);
    if (rows.isEmpty()) return std::nullopt;
    return rows.first();
}

QList<RegisterEvent> FleetRegister::history(const QString& serial, QString* error) {
    QList<RegisterEvent> events;
    if (!isOpen() && !open(error)) return events;
    QSqlQuery q(m_impl->db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT content FROM events WHERE serial = ? ORDER BY seq"));
    q.addBindValue(serial);
    if (!q.exec()) {
        m_impl->fail(error, QStringLiteral("cannot be read"), q.lastError());
        m_impl->drop();
        return events;
    }
    while (q.next())
        if (const auto e = RegisterEvent::FromCanonicalContent(q.value(0).toString().toUtf8()))
            events.append(*e);
    if (error) error->clear();
    return events;
}

qint64 FleetRegister::eventCount(QString* error) {
    if (!isOpen() && !open(error)) return -1;
    QSqlQuery q(m_impl->db());
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM events")) || !q.next()) {
        m_impl->fail(error, QStringLiteral("cannot be read"), q.lastError());
        m_impl->drop();
        return -1;
    }
    if (error) error->clear();
    return q.value(0).toLongLong();
}

ChainCheck FleetRegister::verify() {
    ChainCheck check;
    const auto bad = [&check](qint64 seq, const QString& uid, const QString& sentence) {
        check.ok = false;
        check.firstBadSeq = seq;
        check.firstBadUid = uid;
        check.sentence = sentence;
        return check;
    };
    QString error;
    if (!isOpen() && !open(&error)) {
        check.ok = false;
        check.sentence = error;
        return check;
    }
    QSqlQuery q(m_impl->db());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT seq, hash FROM chain_head WHERE id = 1")) || !q.next())
        return bad(0, QString(),
                   QStringLiteral("The register %1 has no chain head: it has been altered.")
                       .arg(location().text()));
    const qint64 headSeq = q.value(0).toLongLong();
    const QString headHash = q.value(1).toString();
    q.finish();

    // The chain so far ends in `last`; each row must follow it. A row that does not is named:
    // inserted when the row after it (or the head) follows `last` instead, removed (before it)
    // when it is whole in itself but does not link to `last`, else altered.
    ChainRow last; // seq 0, hash "": before the first event
    last.seqValue = 0;
    last.seqWhole = true;
    QList<ChainRow> rows;
    qsizetype at = 0;
    bool more = true;
    QVariant after = 0;
    const auto fetch = [&]() -> bool {
        rows.clear();
        at = 0;
        q.prepare(QStringLiteral("SELECT seq, uid, serial, kind, success, pc_time, content, "
                                 "prev_hash, hash FROM events WHERE seq > ? ORDER BY seq LIMIT %1")
                      .arg(kVerifyBatch));
        q.addBindValue(after);
        if (!q.exec()) return false;
        while (q.next())
            rows.append(ChainRow::Read(q));
        q.finish();
        more = rows.size() == kVerifyBatch;
        if (!rows.isEmpty()) after = rows.last().seqValue;
        return true;
    };
    if (!fetch()) {
        m_impl->drop();
        return bad(0, QString(),
                   QStringLiteral("The register %1 cannot be read: %2.")
                       .arg(location().text(), errorText(q.lastError())));
    }
    while (at < rows.size()) {
        const ChainRow cur = rows.at(at++);
        if (at == rows.size() && more && !fetch()) {
            m_impl->drop();
            return bad(cur.seq, cur.uid,
                       QStringLiteral("The register %1 cannot be read: %2.")
                           .arg(location().text(), errorText(q.lastError())));
        }
        const ChainRow* next = at < rows.size() ? &rows.at(at) : nullptr;
        ++check.events;
        const qint64 expected = last.seq + 1;
        const bool whole = cur.consistent();
        const bool linked = cur.prevHash == last.hash;
        const bool inSequence = cur.seqWhole && cur.seq == expected;
        if (whole && linked && inSequence) {
            last = cur;
            continue;
        }
        const bool skipped =
            next ? next->prevHash == last.hash : headHash == last.hash && headSeq == last.seq;
        if (skipped)
            return bad(cur.seq, cur.uid,
                       QStringLiteral("Event %1 has been inserted: the chain goes from event %2 "
                                      "to the one after it.")
                           .arg(cur.name(), last.seqValue.toString()));
        if (whole && !linked) {
            if (cur.seqWhole && cur.seq > expected)
                return bad(expected, QString(),
                           QStringLiteral("Event %1 has been removed: the chain breaks before "
                                          "event %2.")
                               .arg(expected)
                               .arg(cur.name()));
            return bad(cur.seq, cur.uid,
                       QStringLiteral("An event before event %1 has been removed: the chain "
                                      "breaks there.")
                           .arg(cur.name()));
        }
        return bad(cur.seq, cur.uid, QStringLiteral("Event %1 has been altered.").arg(cur.name()));
    }
    if (headSeq > last.seq)
        return bad(last.seq + 1, QString(),
                   QStringLiteral("Event %1 has been removed: the chain ends before it, at event "
                                  "%2 of %3.")
                       .arg(last.seq + 1)
                       .arg(last.seq)
                       .arg(headSeq));
    if (headSeq != last.seq || headHash != last.hash)
        return bad(headSeq + 1, QString(),
                   QStringLiteral("The chain head no longer names the last event %1: events have "
                                  "been added or the head altered.")
                       .arg(last.seq));
    check.sentence = QStringLiteral("%1 events verified: the chain is unbroken.").arg(check.events);
    return check;
}

QList<DetectorRow> DueRows(const QList<DetectorRow>& rows, const QDate& today, int days,
                           bool overdueOnly) {
    const QDate limit = overdueOnly ? today.addDays(-1) : today.addDays(days);
    const auto due = [&limit](const QDate& date) { return date.isValid() && date <= limit; };
    QList<DetectorRow> out;
    for (const DetectorRow& r : rows)
        if (due(r.calibrationDue) || due(r.bumpDue)) out.append(r);
    return out;
}
