#pragma once

#include "register/RegisterEvent.h"

#include <QDate>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

// Where the register lives: an SQLite file (the default "KM71Fleet.sqlite" in the start-up
// folder) or a shared PostgreSQL database named by "postgresql://user@host:port/dbname"
// (password from PostgreSQL's own password file or environment; never stored by us).
struct RegisterLocation {
    enum class Engine { Sqlite, Postgres };
    Engine engine = Engine::Sqlite;
    QString sqlitePath; // Sqlite
    QString user, host, database; // Postgres
    int port = 5432;

    // The default location: KM71Fleet.sqlite in `folder`.
    static RegisterLocation Default(const QString& folder);
    // A location from a text: a postgresql:// URL, else a path of an SQLite file (relative to
    // `folder`); nothing, with one sentence in `error`, when the text is not one.
    static std::optional<RegisterLocation> Parse(const QString& text, const QString& folder,
                                                 QString* error);
    // The text that names it (the URL without password, or the file path).
    QString text() const;
};

// One detector as the register lists it, with its due dates.
struct DetectorRow {
    DetectorIdentity detector;
    QDateTime firstSeen, lastSeen;     // UTC, from the events
    QDate lastCalibration;             // the detector's history, else the latest good span
    QDate calibrationDue;              // lastCalibration + calLimit days; null when unknown
    QDate lastBump;                    // the detector's bump history
    QDate bumpDue;                     // lastBump + bumpLimit days; null when unknown
};

// The outcome of checking the hash chain.
struct ChainCheck {
    bool ok = true;
    qint64 events = 0;      // events checked
    qint64 firstBadSeq = 0; // sequence number of the first event altered, inserted or removed
    QString firstBadUid;
    QString sentence;       // one sentence naming the first bad event, or how many verified
};

// The register's storage, through Qt SQL. Both engines run the same statements. Opening creates
// the schema or migrates it (a schema-version table). Not thread-safe: one per thread.
class FleetRegister {
public:
    explicit FleetRegister(RegisterLocation location);
    ~FleetRegister();
    FleetRegister(const FleetRegister&) = delete;
    FleetRegister& operator=(const FleetRegister&) = delete;

    const RegisterLocation& location() const;
    // Connects and prepares the schema; false with one sentence in `error`.
    bool open(QString* error = nullptr);
    bool isOpen() const;

    // Appends the event to the chain in one transaction that locks the chain head, and
    // updates its detector's row. An event whose uid is stored already is not stored again
    // (true). False with one sentence when it cannot be stored.
    bool append(const RegisterEvent& event, QString* error = nullptr);
    // Appends the events in this order in one transaction: all of them or none.
    bool append(const QList<RegisterEvent>& events, QString* error = nullptr);

    // Every detector, in serial order; `today` decides nothing here, the due dates are dates.
    QList<DetectorRow> detectors(QString* error = nullptr);
    // One detector's row; nothing when it is not in the register.
    std::optional<DetectorRow> detector(const QString& serial, QString* error = nullptr);
    // Every event of a detector, oldest first.
    QList<RegisterEvent> history(const QString& serial, QString* error = nullptr);
    // Number of events stored.
    qint64 eventCount(QString* error = nullptr);
    // Recomputes the chain.
    ChainCheck verify();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Rows due within `days` of `today` (calibration or bump due on or before today + days), or
// overdue (due before today) when `overdueOnly`.
QList<DetectorRow> DueRows(const QList<DetectorRow>& rows, const QDate& today, int days,
                           bool overdueOnly);
