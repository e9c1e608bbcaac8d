#include "register/EventRecorder.h"

#include "configuration/ToolSettings.h"
#include "shell/AppState.h"
#include "shell/Messages.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QLockFile>
#include <QMutex>
#include <QPointer>
#include <QSaveFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>

namespace {

// "The event is not yet in the register ~1 (~2); it is kept in ~3 and will be forwarded."
constexpr int kMsgPending = 6140;
// "The event could not be recorded (~1); the queue ~2 cannot be written either."
constexpr int kMsgLost = 6141;

const QString kLocalFileName = QStringLiteral("KM71Fleet.sqlite");
const QString kQueueFileName = QStringLiteral("KM71Fleet.pending");
// After a shared server could not be reached, recordings keep their events in the queue
// without trying it again for this long (sync always tries).
constexpr qint64 kRetryAfterMs = 10000;

QAtomicInt g_queueConnections;

// What one forwarding pass did.
struct Forwarded {
    int forwarded = 0;   // events stored from the queue
    int remaining = 0;   // events still waiting
    bool reached = true; // the register could be opened and written
    QString error;       // why not
};

// The register and the local queue as one thread uses them (connections belong to a thread).
struct Channel {
    explicit Channel(const RegisterLocation& location)
        : reg(std::make_unique<FleetRegister>(location)),
          queueConnection(
              QStringLiteral("km71-queue-%1").arg(g_queueConnections.fetchAndAddRelaxed(1))) {}
    ~Channel() {
        reg.reset();
        if (QSqlDatabase::contains(queueConnection)) {
            {
                QSqlDatabase d = QSqlDatabase::database(queueConnection, false);
                d.close();
            }
            QSqlDatabase::removeDatabase(queueConnection);
        }
    }
    std::unique_ptr<FleetRegister> reg;
    QString queueConnection;
    bool queueReady = false;
};

// Appends one line to the file, whole or not at all.
bool appendLine(const QString& path, const QByteArray& line, QString* error) {
    QFile file(path);
    // Unbuffered: the line goes out in one write, and a short one can be cut back at once.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        if (error) *error = file.errorString();
        return false;
    }
    const qint64 before = file.size();
    const QByteArray bytes = line + '\n';
    if (file.write(bytes) == bytes.size()) return true;
    if (error) *error = file.errorString();
    file.resize(before);
    return false;
}

QList<QByteArray> queuedLines(const QString& path) {
    QList<QByteArray> lines;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return lines;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (!line.trimmed().isEmpty()) lines.append(line);
    return lines;
}

} // namespace

struct EventRecorder::Impl {
    RegisterLocation location;
    QString folder;
    // One recording or forwarding at a time, whichever thread it runs in.
    QMutex mutex;
    QHash<QThread*, std::shared_ptr<Channel>> channels;
    QElapsedTimer unreachableSince;
    QThread* worker = nullptr;
    QObject* workerContext = nullptr;

    bool postgres() const { return location.engine == RegisterLocation::Engine::Postgres; }
    QString queueFile() const { return QDir(folder).filePath(kQueueFileName); }
    QString localFile() const { return QDir(folder).filePath(kLocalFileName); }
    // Where waiting events are kept, as the sentences name it.
    QString queueName() const {
        return QDir::toNativeSeparators(postgres() ? localFile() : queueFile());
    }

    // The channel of the calling thread (the caller holds the mutex).
    Channel& channel() {
        std::shared_ptr<Channel>& c = channels[QThread::currentThread()];
        if (!c) c = std::make_shared<Channel>(location);
        return *c;
    }
    void dropChannel() {
        QMutexLocker lock(&mutex);
        channels.remove(QThread::currentThread());
    }

    // ---- The pending table (a shared server's queue) ----

    QSqlDatabase queueDb(Channel& c, QString* error) {
        if (c.queueReady) {
            QSqlDatabase d = QSqlDatabase::database(c.queueConnection, false);
            if (d.isOpen()) return d;
        }
        QSqlDatabase d =
            QSqlDatabase::contains(c.queueConnection)
                ? QSqlDatabase::database(c.queueConnection, false)
                : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), c.queueConnection);
        const auto fail = [&](const QString& cause) {
            if (error) *error = cause;
            d.close();
            return QSqlDatabase();
        };
        if (!d.isValid()) return fail(QStringLiteral("the Qt SQL driver QSQLITE is not installed"));
        if (!QDir(folder).exists()) return fail(QStringLiteral("the folder does not exist"));
        d.setDatabaseName(localFile());
        d.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        if (!d.open()) return fail(d.lastError().text().simplified());
        QSqlQuery q(d);
        for (const QString& sql :
             {QStringLiteral("PRAGMA journal_mode=WAL"),
              QStringLiteral("PRAGMA synchronous=NORMAL"),
              QStringLiteral("CREATE TABLE IF NOT EXISTS pending (id INTEGER PRIMARY KEY "
                             "AUTOINCREMENT, uid TEXT NOT NULL UNIQUE, content TEXT NOT NULL)")})
            if (!q.exec(sql)) return fail(q.lastError().text().simplified());
        c.queueReady = true;
        return d;
    }

    bool enqueueRow(Channel& c, const RegisterEvent& event, QString* error) {
        QSqlDatabase d = queueDb(c, error);
        if (!d.isOpen()) return false;
        QSqlQuery q(d);
        q.prepare(QStringLiteral("INSERT OR IGNORE INTO pending (uid, content) VALUES (?, ?)"));
        q.addBindValue(event.uid);
        q.addBindValue(QString::fromUtf8(event.CanonicalContent()));
        if (q.exec()) return true;
        if (error) *error = q.lastError().text().simplified();
        c.queueReady = false;
        return false;
    }

    // Stores the waiting rows in order, each removed from the table once it is stored (a
    // row stored but not removed is recognised by its uid the next time).
    Forwarded forwardRows(Channel& c) {
        Forwarded f;
        QString error;
        QSqlDatabase d = queueDb(c, &error);
        if (!d.isOpen()) {
            f.reached = false;
            f.error = error;
            return f;
        }
        QList<QPair<qint64, QByteArray>> rows;
        {
            QSqlQuery q(d);
            q.setForwardOnly(true);
            if (!q.exec(QStringLiteral("SELECT id, content FROM pending ORDER BY id"))) {
                f.reached = false;
                f.error = q.lastError().text().simplified();
                return f;
            }
            while (q.next())
                rows.append({q.value(0).toLongLong(), q.value(1).toString().toUtf8()});
        }
        f.remaining = int(rows.size());
        for (const auto& [id, content] : rows) {
            const std::optional<RegisterEvent> e = RegisterEvent::FromCanonicalContent(content);
            if (e && !c.reg->append(*e, &f.error)) {
                f.reached = false;
                break;
            }
            QSqlQuery q(d);
            q.prepare(QStringLiteral("DELETE FROM pending WHERE id = ?"));
            q.addBindValue(id);
            if (!q.exec()) {
                f.error = q.lastError().text().simplified();
                break;
            }
            --f.remaining;
            if (e) ++f.forwarded;
        }
        return f;
    }

    // ---- The queue file (the SQLite register's own queue) ----

    // Stores the waiting lines in order; the file then keeps only those that were not stored.
    Forwarded forwardFile(Channel& c) {
        Forwarded f;
        const QString path = queueFile();
        const QList<QByteArray> lines = queuedLines(path);
        if (lines.isEmpty()) return f;
        qsizetype done = 0;
        for (; done < lines.size(); ++done) {
            const std::optional<RegisterEvent> e = RegisterEvent::FromCanonicalContent(lines[done]);
            if (!e) continue; // not an event: nothing to forward
            if (!c.reg->append(*e, &f.error)) {
                f.reached = false;
                break;
            }
            ++f.forwarded;
        }
        f.remaining = int(lines.size() - done);
        if (f.remaining == 0) {
            if (!QFile::remove(path) && QFile::exists(path)) {
                // Stored but still queued: the uids keep them from being stored twice.
                f.remaining = int(lines.size());
            }
            return f;
        }
        if (done > 0) {
            QSaveFile rest(path);
            if (rest.open(QIODevice::WriteOnly)) {
                bool written = true;
                for (qsizetype i = done; i < lines.size(); ++i)
                    written = written && rest.write(lines[i] + '\n') == lines[i].size() + 1;
                // A queue that cannot be rewritten whole stays as it was (the uids keep the
                // events already stored from being stored twice).
                if (written && rest.flush()) rest.commit();
            }
        }
        return f;
    }

    // ---- Recording ----

    // Stores the events in order after whatever waits in the queue: together in one
    // transaction when they all can be, else one by one; what cannot be stored waits in the
    // queue.
    QList<EventRecorder::Outcome> record(const QList<RegisterEvent>& events) {
        QMutexLocker lock(&mutex);
        Channel& c = channel();
        QList<Outcome> outcomes(events.size());
        QStringList errors(events.size());
        if (postgres()) {
            const bool retry =
                !unreachableSince.isValid() || unreachableSince.elapsed() >= kRetryAfterMs;
            QList<qsizetype> queued;
            for (qsizetype i = 0; i < events.size(); ++i) {
                if (enqueueRow(c, events[i], &errors[i])) {
                    queued << i;
                    continue;
                }
                QString storeError;
                outcomes[i].stored = c.reg->append(events[i], &storeError);
                noteReach(outcomes[i].stored);
                if (!outcomes[i].stored) errors[i] = storeError + u' ' + errors[i];
            }
            if (!queued.isEmpty()) {
                Forwarded f;
                if (retry) {
                    f = forwardRows(c);
                    noteReach(f.reached);
                }
                for (const qsizetype i : std::as_const(queued)) {
                    const bool waiting = !retry || isWaiting(c, events[i].uid);
                    outcomes[i].stored = !waiting;
                    outcomes[i].pending = waiting;
                    errors[i] = retry ? f.error
                                      : QStringLiteral("it was not reachable a moment ago");
                }
            }
        } else {
            QLockFile fileLock(queueFile() + QStringLiteral(".lock"));
            fileLock.setStaleLockTime(30000);
            const bool locked = fileLock.tryLock(5000);
            const Forwarded f = forwardFile(c);
            QString batchError = f.error;
            bool all = false;
            if (f.remaining == 0) {
                all = c.reg->append(events, &batchError);
                if (!all && events.size() > 1) {
                    // One that cannot be stored keeps none of the others out.
                    for (qsizetype i = 0; i < events.size(); ++i)
                        outcomes[i].stored = c.reg->append(events[i], &errors[i]);
                } else {
                    for (Outcome& o : outcomes)
                        o.stored = all;
                }
            }
            for (qsizetype i = 0; i < events.size(); ++i) {
                Outcome& o = outcomes[i];
                if (o.stored) continue;
                if (errors[i].isEmpty()) errors[i] = batchError;
                QString queueError;
                o.pending = appendLine(queueFile(), events[i].CanonicalContent(), &queueError);
                if (!o.pending) errors[i] += QStringLiteral("; ") + queueError;
            }
            if (locked) fileLock.unlock();
        }
        for (qsizetype i = 0; i < events.size(); ++i) {
            Outcome& o = outcomes[i];
            if (o.pending)
                o.sentence = LoadMessage(kMsgPending, {location.text(), errors[i], queueName()});
            else if (!o.stored)
                o.sentence = LoadMessage(kMsgLost, {errors[i], queueName()});
        }
        return outcomes;
    }

    // Whether the event with this uid still waits in the pending table.
    bool isWaiting(Channel& c, const QString& uid) {
        QSqlDatabase d = queueDb(c, nullptr);
        if (!d.isOpen()) return true;
        QSqlQuery q(d);
        q.prepare(QStringLiteral("SELECT 1 FROM pending WHERE uid = ?"));
        q.addBindValue(uid);
        return !q.exec() || q.next();
    }

    // Connects the calling thread's channel to the register ahead of the first event.
    bool open(QString* error) {
        QMutexLocker lock(&mutex);
        Channel& c = channel();
        if (postgres() && !queueDb(c, error).isOpen()) return false;
        return c.reg->isOpen() || c.reg->open(error);
    }

    int sync(QString* error) {
        QMutexLocker lock(&mutex);
        Channel& c = channel();
        Forwarded f;
        if (postgres()) {
            f = forwardRows(c);
            noteReach(f.reached);
        } else {
            QLockFile fileLock(queueFile() + QStringLiteral(".lock"));
            fileLock.setStaleLockTime(30000);
            const bool locked = fileLock.tryLock(5000);
            f = forwardFile(c);
            if (locked) fileLock.unlock();
        }
        // Nothing waiting still tells whether the register can be reached.
        if (f.reached && f.forwarded == 0 && !c.reg->isOpen()) f.reached = c.reg->open(&f.error);
        if (!f.reached) {
            if (error) *error = f.error;
            return -1;
        }
        if (error) error->clear();
        return f.forwarded;
    }

    int pendingCount() {
        QMutexLocker lock(&mutex);
        if (!postgres()) return int(queuedLines(queueFile()).size());
        if (!QFile::exists(localFile())) return 0;
        QSqlDatabase d = queueDb(channel(), nullptr);
        QSqlQuery q(d);
        return d.isOpen() && q.exec(QStringLiteral("SELECT COUNT(*) FROM pending")) && q.next()
                   ? q.value(0).toInt()
                   : 0;
    }

    void noteReach(bool reached) {
        if (reached)
            unreachableSince.invalidate();
        else if (!unreachableSince.isValid())
            unreachableSince.start();
        else
            unreachableSince.restart();
    }
};

EventRecorder::EventRecorder(RegisterLocation location, QString folder)
    : m_impl(std::make_unique<Impl>()) {
    m_impl->location = std::move(location);
    m_impl->folder = std::move(folder);
}

EventRecorder::~EventRecorder() {
    Impl& m = *m_impl;
    if (m.worker) {
        // Finishes what was handed to the worker, then closes its connections there.
        QMetaObject::invokeMethod(
            m.workerContext, [&m] { m.dropChannel(); }, Qt::BlockingQueuedConnection);
        m.worker->quit();
        m.worker->wait();
        delete m.workerContext;
        delete m.worker;
    }
    m.channels.clear();
}

EventRecorder& EventRecorder::forTool() {
    static std::unique_ptr<EventRecorder> recorder;
    static QString recorderKey;
    const QString folder = AppState::StartupFolder();
    const QString text = Tool().Register.trimmed();
    const QString key = folder + u'\n' + text;
    if (!recorder || key != recorderKey) {
        // A location the configuration cannot name keeps the events in the default file.
        RegisterLocation location = RegisterLocation::Default(folder);
        if (!text.isEmpty())
            location = RegisterLocation::Parse(text, folder, nullptr).value_or(location);
        if (!recorder) qAddPostRoutine([] { recorder.reset(); });
        recorder = std::make_unique<EventRecorder>(location, folder);
        recorderKey = key;
    }
    return *recorder;
}

EventRecorder::Outcome EventRecorder::record(const RegisterEvent& event) {
    return m_impl->record(QList<RegisterEvent>{event}).constFirst();
}

QList<EventRecorder::Outcome> EventRecorder::record(const QList<RegisterEvent>& events) {
    return m_impl->record(events);
}

bool EventRecorder::open(QString* error) {
    return m_impl->open(error);
}

void EventRecorder::recordInBackground(const RegisterEvent& event,
                                       std::function<void(Outcome)> done) {
    Impl& m = *m_impl;
    if (!m.worker) {
        m.worker = new QThread;
        m.worker->setObjectName(QStringLiteral("km71-register"));
        m.workerContext = new QObject;
        m.workerContext->moveToThread(m.worker);
        m.worker->start();
    }
    // Receives the outcome in the caller's thread.
    QPointer<QObject> replyTo = new QObject;
    QMetaObject::invokeMethod(
        m.workerContext,
        [&m, event, done = std::move(done), replyTo] {
            const Outcome outcome = m.record(QList<RegisterEvent>{event}).constFirst();
            if (!replyTo) return;
            QMetaObject::invokeMethod(
                replyTo.data(),
                [done, outcome, replyTo] {
                    if (done) done(outcome);
                    if (replyTo) replyTo->deleteLater();
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

int EventRecorder::sync(QString* error) {
    return m_impl->sync(error);
}

int EventRecorder::pendingCount() const {
    return m_impl->pendingCount();
}
