// The register's storage on SQLite and on the scratch PostgreSQL server: due dates, the hash
// chain and its check, the offline queue.
#include "register/EventRecorder.h"
#include "register/FleetRegister.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUuid>
#include <gtest/gtest.h>

namespace {

TEST(RegisterLocationText, UrlsAndPathsReadBackAndRefusalsStayOneLine) {
    const struct {
        const char* text;
        const char* named; // what text() gives; empty when refused
        const char* inError; // part of the refusal
    } cases[] = {
        {"postgresql://fleet@db.example:5433/km71", "postgresql://fleet@db.example:5433/km71", ""},
        {"  postgres://u@[::1]/reg  ", "postgresql://u@[::1]:5432/reg", ""},
        {"fleet/KM71Fleet.sqlite", "/station/fleet/KM71Fleet.sqlite", ""},
        // Neither an embedded resource nor SQLite's in-memory database: files in the folder.
        {":memory:", "/station/:memory:", ""},
        {":/..", "/station", ""},
        {"postgresql://u:secret@h/db", "", "may not hold a password"},
        {"postgresql://u@h/", "", "not a register URL"},
        {"ftp://h/x", "", "neither a postgresql:// URL"},
        {"postgresql://u\x01@h/\n", "", "\\x01"},
    };
    for (const auto& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        QString error;
        const auto location = RegisterLocation::Parse(text, "/station", &error);
        if (*c.named) {
            ASSERT_TRUE(location) << c.text << ": " << qPrintable(error);
            EXPECT_EQ(location->text(), c.named);
            const auto again = RegisterLocation::Parse(location->text(), "/elsewhere", nullptr);
            ASSERT_TRUE(again);
            EXPECT_EQ(again->text(), location->text());
        } else {
            EXPECT_FALSE(location) << c.text;
            EXPECT_TRUE(error.contains(c.inError)) << qPrintable(error);
            for (const QChar ch : error) EXPECT_GE(ch.unicode(), 0x20) << c.text;
        }
    }
}

const QDateTime kT0(QDate(2024, 3, 1), QTime(10, 0), Qt::UTC);

RegisterEvent event(const QString& serial, EventKind kind, const QDateTime& when,
                    bool success = true) {
    RegisterEvent e;
    e.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    e.kind = kind;
    e.success = success;
    e.detector.serial = serial;
    e.pcTimeUtc = when;
    return e;
}

QDateTime wall(int y, int m, int d) {
    return QDateTime(QDate(y, m, d), QTime(12, 0));
}

// Runs the sqlite3 command-line tool on a file.
bool sqlite3(const QString& file, const QString& sql) {
    QProcess p;
    p.start(QStringLiteral("sqlite3"), {file, sql});
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QStringList uidsOf(const QList<RegisterEvent>& events) {
    QStringList uids;
    for (const RegisterEvent& e : events)
        uids << e.uid;
    return uids;
}

} // namespace

TEST(RegisterDueDates, FromTheHistoryElseTheLatestGoodSpan) {
    QTemporaryDir dir;
    FleetRegister reg(RegisterLocation::Default(dir.path()));
    ASSERT_TRUE(reg.open());
    struct Case {
        const char* serial;
        QDateTime history; // the detector's latest calibration
        int calLimit;
        QList<QPair<QDateTime, bool>> spans; // PC time (UTC) and success, at +9 h
        QDate last, due;
    };
    const Case cases[] = {
        {"history", wall(2024, 1, 10), 30, {}, {2024, 1, 10}, {2024, 2, 9}},
        {"history-over-span", wall(2024, 1, 10), 30, {{kT0, true}}, {2024, 1, 10}, {2024, 2, 9}},
        {"span", {}, 90, {{kT0, true}, {kT0.addDays(-5), true}}, {2024, 3, 1}, {2024, 5, 30}},
        {"span-local-date", {}, 10, {{kT0.addSecs(11 * 3600), true}}, {2024, 3, 2}, {2024, 3, 12}},
        {"failed-span", {}, 30, {{kT0, false}}, {}, {}},
        {"no-limit", wall(2024, 1, 10), 0, {}, {2024, 1, 10}, {}},
    };
    for (const Case& c : cases) {
        RegisterEvent read = event(c.serial, EventKind::Read, kT0.addDays(-10));
        read.detector.lastCalibration = c.history;
        read.detector.calLimit = c.calLimit;
        read.detector.lastBump = wall(2024, 2, 1);
        read.detector.bumpLimit = 7;
        ASSERT_TRUE(reg.append(read));
        for (const auto& [when, ok] : c.spans) {
            RegisterEvent span = event(c.serial, EventKind::Span, when, ok);
            span.utcOffsetSeconds = 9 * 3600;
            ASSERT_TRUE(reg.append(span));
        }
        const std::optional<DetectorRow> row = reg.detector(c.serial);
        ASSERT_TRUE(row) << c.serial;
        EXPECT_EQ(row->lastCalibration, c.last) << c.serial;
        EXPECT_EQ(row->calibrationDue, c.due) << c.serial;
        EXPECT_EQ(row->bumpDue, QDate(2024, 2, 8)) << c.serial;
    }

    // A late event does not undo what a newer one said; first and last seen span both.
    RegisterEvent newer = event(QStringLiteral("late"), EventKind::Read, kT0);
    newer.detector.stationId = QStringLiteral("B");
    RegisterEvent older = event(QStringLiteral("late"), EventKind::Read, kT0.addDays(-3));
    older.detector.stationId = QStringLiteral("A");
    older.detector.userId = QStringLiteral("U");
    ASSERT_TRUE(reg.append(newer) && reg.append(older) && reg.append(older));
    const DetectorRow late = *reg.detector(QStringLiteral("late"));
    EXPECT_EQ(late.detector.stationId, QStringLiteral("B"));
    EXPECT_EQ(late.detector.userId, QStringLiteral("U"));
    EXPECT_EQ(late.firstSeen, kT0.addDays(-3));
    EXPECT_EQ(late.lastSeen, kT0);
    EXPECT_EQ(reg.history(QStringLiteral("late")).size(), 2) << "the same uid is stored once";
    EXPECT_EQ(reg.detectors().size(), int(std::size(cases)) + 1);

    const QDate today(2024, 2, 1);
    QList<DetectorRow> rows(3);
    rows[0].calibrationDue = today.addDays(-1);
    rows[1].bumpDue = today.addDays(30);
    rows[2].calibrationDue = today.addDays(31);
    const auto serialsDue = [&rows, &today](int days, bool overdue) {
        return DueRows(rows, today, days, overdue).size();
    };
    EXPECT_EQ(serialsDue(0, false), 1);
    EXPECT_EQ(serialsDue(30, false), 2);
    EXPECT_EQ(serialsDue(31, false), 3);
    EXPECT_EQ(serialsDue(365, true), 1);
}

TEST(RegisterChain, VerifyNamesTheFirstEventAlteredInsertedOrRemoved) {
    QTemporaryDir dir;
    const QString pristine = dir.filePath(QStringLiteral("pristine.sqlite"));
    QStringList uids;
    {
        RegisterLocation l;
        l.sqlitePath = pristine;
        FleetRegister reg(l);
        for (int i = 0; i < 5; ++i) {
            const RegisterEvent e =
                event(QStringLiteral("S%1").arg(i % 2), EventKind::Read, kT0.addSecs(i));
            uids << e.uid;
            ASSERT_TRUE(reg.append(e));
        }
        EXPECT_EQ(reg.verify().events, 5);
        EXPECT_TRUE(reg.verify().ok) << reg.verify().sentence.toStdString();
    }
    struct Case {
        const char* sql;
        qint64 seq;
        QString uid;
        const char* word;
    };
    const Case cases[] = {
        {"UPDATE events SET content = replace(content, '\"success\":true', '\"success\":false') "
         "WHERE seq = 3",
         3, uids[2], "altered"},
        {"UPDATE events SET serial = 'X' WHERE seq = 2", 2, uids[1], "altered"},
        {"UPDATE events SET hash = prev_hash WHERE seq = 4", 4, uids[3], "altered"},
        {"DELETE FROM events WHERE seq = 4", 4, QString(), "removed"},
        {"DELETE FROM events WHERE seq = 1", 1, QString(), "removed"},
        {"DELETE FROM events WHERE seq = 5", 5, QString(), "removed"},
        {"INSERT INTO events SELECT 2.5, 'forged', serial, kind, success, pc_time, content, "
         "prev_hash, hash FROM events WHERE seq = 2",
         2, "forged", "inserted"},
        {"INSERT INTO events SELECT 6, 'tail', serial, kind, success, pc_time, content, hash, "
         "hash FROM events WHERE seq = 5",
         6, "tail", "inserted"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        const QString copy = dir.filePath(QStringLiteral("copy.sqlite"));
        QFile::remove(copy);
        ASSERT_TRUE(QFile::copy(pristine, copy));
        ASSERT_TRUE(sqlite3(copy, QString::fromLatin1(c.sql)));
        RegisterLocation l;
        l.sqlitePath = copy;
        FleetRegister reg(l);
        const ChainCheck check = reg.verify();
        EXPECT_FALSE(check.ok);
        EXPECT_EQ(check.firstBadSeq, c.seq);
        EXPECT_EQ(check.firstBadUid, c.uid);
        EXPECT_TRUE(check.sentence.contains(QLatin1String(c.word))) << check.sentence.toStdString();
    }
}

TEST(RegisterQueue, EventsWaitWhileTheFileCannotBeOpenedAndAreForwardedOnceInOrder) {
    QTemporaryDir dir;
    RegisterLocation l;
    l.sqlitePath = dir.filePath(QStringLiteral("later/fleet.sqlite")); // no such folder yet
    EventRecorder recorder(l, dir.path());
    QStringList uids;
    for (int i = 0; i < 3; ++i) {
        const RegisterEvent e = event(QStringLiteral("S"), EventKind::Read, kT0.addSecs(i));
        uids << e.uid;
        const EventRecorder::Outcome o = recorder.record(e);
        EXPECT_TRUE(o.pending && !o.stored);
        EXPECT_TRUE(o.sentence.contains(QLatin1String("KM71Fleet.pending")));
    }
    EXPECT_EQ(recorder.pendingCount(), 3);
    QString error;
    EXPECT_EQ(recorder.sync(&error), -1);
    EXPECT_FALSE(error.isEmpty());

    const QString queue = dir.filePath(QStringLiteral("KM71Fleet.pending"));
    ASSERT_TRUE(QFile::copy(queue, queue + QStringLiteral(".copy")));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("later")));
    // Events that come together are stored together, after the waiting ones; one that cannot
    // be stored (no uid) keeps none of the others out and waits in the queue.
    const RegisterEvent fourth = event(QStringLiteral("S"), EventKind::Write, kT0.addSecs(9));
    RegisterEvent broken = event(QStringLiteral("S"), EventKind::Write, kT0.addSecs(10));
    broken.uid.clear();
    const RegisterEvent fifth = event(QStringLiteral("S"), EventKind::Zero, kT0.addSecs(11));
    uids << fourth.uid << fifth.uid;
    const QList<EventRecorder::Outcome> outcomes = recorder.record({fourth, broken, fifth});
    ASSERT_EQ(outcomes.size(), 3);
    EXPECT_TRUE(outcomes[0].stored && outcomes[2].stored) << "the waiting ones go first";
    EXPECT_TRUE(outcomes[1].pending && !outcomes[1].stored);
    EXPECT_EQ(recorder.pendingCount(), 1);
    ASSERT_TRUE(QFile::remove(queue));

    // A forward cut off after storing but before dequeuing stores nothing twice.
    ASSERT_TRUE(QFile::rename(queue + QStringLiteral(".copy"), queue));
    EXPECT_EQ(recorder.sync(), 3);
    EXPECT_EQ(recorder.sync(), 0);
    FleetRegister reg(l);
    EXPECT_EQ(uidsOf(reg.history(QStringLiteral("S"))), uids);
    EXPECT_TRUE(reg.verify().ok);
}

TEST(RegisterQueue, RecordingInTheBackgroundAnswersInTheCallersThreadInOrder) {
    QTemporaryDir dir;
    EventRecorder recorder(RegisterLocation::Default(dir.path()), dir.path());
    QStringList uids;
    QList<bool> stored;
    QList<QThread*> threads;
    QEventLoop loop;
    QTimer::singleShot(30000, &loop, &QEventLoop::quit); // only a guard against hanging
    for (int i = 0; i < 3; ++i) {
        const RegisterEvent e = event(QStringLiteral("S"), EventKind::Read, kT0.addSecs(i));
        uids << e.uid;
        recorder.recordInBackground(e, [&](EventRecorder::Outcome o) {
            stored << o.stored;
            threads << QThread::currentThread();
            if (stored.size() == 3) loop.quit();
        });
    }
    loop.exec();
    EXPECT_EQ(stored, (QList<bool>{true, true, true}));
    EXPECT_EQ(threads, (QList<QThread*>(3, QThread::currentThread())));
    FleetRegister reg(RegisterLocation::Default(dir.path()));
    EXPECT_EQ(uidsOf(reg.history(QStringLiteral("S"))), uids);
}

// ---- Against the scratch PostgreSQL server ----

// A database of its own on the fixture's server for each test, dropped afterwards.
class PostgresRegister : public ::testing::Test {
protected:
    void SetUp() override {
        const QString pgDir = qEnvironmentVariable("KM71_TEST_PG_DIR");
        ASSERT_FALSE(pgDir.isEmpty()) << "run through ctest (fixture \"postgres\")";
        QFile url(QDir(pgDir).filePath(QStringLiteral("url")));
        ASSERT_TRUE(url.open(QIODevice::ReadOnly));
        const auto server = RegisterLocation::Parse(QString::fromUtf8(url.readAll()), {}, nullptr);
        ASSERT_TRUE(server);
        m_location = *server;
        m_location.database =
            QStringLiteral("core_") + QUuid::createUuid().toString(QUuid::Id128).left(12);
        ASSERT_TRUE(admin(QStringLiteral("CREATE DATABASE %1").arg(m_location.database)));
    }
    void TearDown() override {
        if (!m_location.database.isEmpty())
            admin(
                QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_location.database));
    }
    bool admin(const QString& sql) {
        bool ok = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), "admin");
            db.setHostName(m_location.host);
            db.setPort(m_location.port);
            db.setUserName(m_location.user);
            db.setDatabaseName(QStringLiteral("km71"));
            ok = db.open() && QSqlQuery(db).exec(sql);
        }
        QSqlDatabase::removeDatabase(QStringLiteral("admin"));
        return ok;
    }
    RegisterLocation m_location;
    QTemporaryDir m_folder;
};

TEST_F(PostgresRegister, TwoConnectionsAppendingAtOnceKeepOneUnbrokenChain) {
    FleetRegister first(m_location);
    ASSERT_TRUE(first.open());
    const auto appendMany = [this](const QString& serial) {
        FleetRegister reg(m_location);
        for (int i = 0; i < 100; ++i)
            EXPECT_TRUE(reg.append(event(serial, EventKind::Read, kT0.addSecs(i))));
    };
    QThread* a = QThread::create(appendMany, QStringLiteral("A"));
    QThread* b = QThread::create(appendMany, QStringLiteral("B"));
    a->start();
    b->start();
    a->wait();
    b->wait();
    delete a;
    delete b;
    EXPECT_EQ(first.eventCount(), 200);
    const ChainCheck check = first.verify();
    EXPECT_TRUE(check.ok) << check.sentence.toStdString();
    EXPECT_EQ(check.events, 200);
    EXPECT_EQ(first.detectors().size(), 2);
    EXPECT_EQ(first.detector(QStringLiteral("B"))->lastSeen, kT0.addSecs(99));
}

TEST_F(PostgresRegister, AStationOffTheServerQueuesLocallyAndForwardsOnce) {
    RegisterLocation away = m_location;
    away.port = 1; // nothing listens there
    QStringList uids;
    {
        EventRecorder offline(away, m_folder.path());
        for (int i = 0; i < 3; ++i) {
            const RegisterEvent e = event(QStringLiteral("P"), EventKind::Zero, kT0.addSecs(i));
            uids << e.uid;
            EXPECT_TRUE(offline.record(e).pending);
        }
        EXPECT_EQ(offline.pendingCount(), 3);
    }
    const QString local = m_folder.filePath(QStringLiteral("KM71Fleet.sqlite"));
    ASSERT_TRUE(QFile::copy(local, local + QStringLiteral(".copy")));
    EventRecorder online(m_location, m_folder.path());
    EXPECT_EQ(online.sync(), 3);
    EXPECT_EQ(online.pendingCount(), 0);

    // Rows stored but not yet dequeued when the forward was cut off are not stored again.
    ASSERT_TRUE(sqlite3(local, QStringLiteral("ATTACH '%1.copy' AS old; INSERT INTO pending "
                                              "SELECT * FROM old.pending")
                                   .arg(local)));
    EXPECT_EQ(online.pendingCount(), 3);
    const RegisterEvent fourth = event(QStringLiteral("P"), EventKind::Span, kT0.addSecs(9));
    const RegisterEvent fifth = event(QStringLiteral("P"), EventKind::Zero, kT0.addSecs(10));
    uids << fourth.uid << fifth.uid;
    const QList<EventRecorder::Outcome> outcomes = online.record({fourth, fifth});
    EXPECT_TRUE(outcomes.size() == 2 && outcomes[0].stored && outcomes[1].stored);
    FleetRegister reg(m_location);
    EXPECT_EQ(uidsOf(reg.history(QStringLiteral("P"))), uids);
    EXPECT_TRUE(reg.verify().ok);
}
