#pragma once

#include "register/FleetRegister.h"

#include <QDate>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>

// The register commands of km71ctl (list, show, export, verify, sync, import) on the register
// at one location. None talks to a detector; each gives back what the tool prints.
class CtlRegister {
public:
    // What a command produced.
    struct Result {
        int code = 0;     // exit status (CtlOptions::Exit)
        QString text;     // for stdout, without the last line end
        QJsonObject json; // for stdout with --json
        QString error;    // one sentence for stderr when code is not 0
    };

    // The commands on the register at `location`, whose waiting events are kept in `folder`;
    // with `json`, lists give their JSON form only.
    CtlRegister(RegisterLocation location, QString folder, bool json = false);

    // The detectors with their due dates: all, those due within `dueWithin` days of `today`,
    // or only the overdue ones.
    Result list(const QDate& today, std::optional<int> dueWithin, bool overdue);
    // One detector and its events, oldest first.
    Result show(const QString& serial);
    // Every detector with its due dates as a CSV file (the locale's list separator), written
    // whole or not at all.
    Result exportCsv(const QString& path);
    // Recomputes the chain of events; exit 1 naming the first bad event.
    Result verify();
    // Forwards the events that wait; exit 1 with how many wait when the register cannot be
    // reached.
    Result sync();
    // Reads every file first (factory records and certificates; exit 2 on one that cannot be
    // used, nothing stored), then stores their events; an event stored before is not stored
    // again.
    Result import(const QStringList& paths);

    // The line of an event as `register show` prints it: the PC's local time, kind, outcome,
    // who and where, and what is particular to the kind.
    static QString EventLine(const RegisterEvent& event);
    // An event as one JSON object.
    static QJsonObject EventJson(const RegisterEvent& event);
    // A detector row as one JSON object (dates ISO 8601, null when unknown).
    static QJsonObject RowJson(const DetectorRow& row, const QDate& today);

private:
    bool open(FleetRegister& reg, Result& result);

    RegisterLocation m_location;
    QString m_folder;
    bool m_json = false;
};
