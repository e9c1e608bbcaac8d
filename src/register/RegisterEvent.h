#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

class clsInstrument;

// One event of the fleet register: something a program did with a detector, and its outcome.
// Events are made by the operations themselves (see EventRecorder) and never changed after.

// What happened.
enum class EventKind {
    Read,          // the detector's settings were read
    Write,         // settings were written (details: the settings that changed)
    IdentityWrite, // serial, factory, station or user number written
    Zero,          // zero adjustment
    Span,          // span adjustment (concentration, readings before and after, status)
    ClockSet,      // the detector's clock was set
    Defaults,      // factory defaults restored
    LogClear,      // a log of the detector cleared (details: which)
    PowerOff,      // the detector was switched off
    MasterCompare, // compared against a master file (verdict PASS/FAIL, differences)
    LoggerCheck,   // logger-area check (verdict OK/NG)
    Certificate,   // a calibration certificate file was written
    Provision,     // set up from a master (verdict PASS/FAIL, settings written, still different)
};

// The stable name of a kind as stored ("read", "write", "identity-write", "zero", "span",
// "clock-set", "defaults", "log-clear", "power-off", "master-compare", "logger-check",
// "certificate", "provision"), and back (nothing for an unknown name).
QString EventKindName(EventKind kind);
std::optional<EventKind> EventKindFromName(const QString& name);

// One setting changed by a write: its configuration-file key (e.g. "A1"), the value the
// detector held and the value written, both as the configuration file writes them.
struct SettingChange {
    QString name;
    QString oldValue;
    QString newValue;
    bool operator==(const SettingChange&) const = default;
};

// What the register keeps of a detector from the record an event was made with. Empty texts
// and invalid dates mean "not known".
struct DetectorIdentity {
    QString serial;        // serial number (the detector's key in the register)
    QString model;         // "KM", "QZ", "VL"
    QString gas;           // gas label of channel 0, e.g. "CH4(%LEL)"
    QString manufactureNo; // factory (manufacture) number
    QString stationId;
    QString userId;
    QString programNo;     // program (ROM) number
    QString sum;           // program checksum
    int calLimit = -1;     // calibration interval in days (CalLimit), -1 unknown
    int bumpLimit = -1;    // bump interval in days (BumpLimit), -1 unknown
    QDateTime lastCalibration; // the detector's latest calibration (its SO history)
    QDateTime lastBump;        // the detector's latest bump test (its BO history)

    // The identity a record read from a detector carries.
    static DetectorIdentity FromRecord(const clsInstrument& record);
    bool operator==(const DetectorIdentity&) const = default;
};

struct RegisterEvent {
    QString uid;  // unique id, made with the event; the same event is never stored twice
    EventKind kind = EventKind::Read;
    bool success = true;
    DetectorIdentity detector;
    QDateTime pcTimeUtc;       // the PC's time, UTC
    int utcOffsetSeconds = 0;  // the PC's local offset from UTC at that time
    QDateTime detectorClock;   // the detector's clock (local, no zone); invalid when unknown
    QString computer;          // host name of the PC
    QString technician;        // who ran the operation
    QString programVersion;    // version of the program that recorded it
    // What is particular to the kind, with these keys:
    //   write, identity-write: "changes": [{"name","old","new"}]
    //   zero, span: "concentration", "before", "after" (numbers), "status" (text, per gas)
    //   master-compare: "verdict" ("PASS"/"FAIL"), "differences": [text]
    //   logger-check: "verdict" ("OK"/"NG")
    //   log-clear: "log" ("logger", "power", ...)
    //   certificate: "file" (path)
    //   any kind: "reason" (why it failed), "source" (e.g. an imported file)
    QJsonObject details;

    // A new event of `kind` about the detector of `record`, stamped now with a fresh uid, this
    // computer, the technician and program version of EventStamp (the technician: the stamp's
    // when a program set one, else the tool configuration's, else the login name).
    static RegisterEvent Make(EventKind kind, const clsInstrument& record, bool success);

    // The settings that differ between the configuration-file lines of `before` and `after`.
    static QList<SettingChange> Changes(const clsInstrument& before, const clsInstrument& after);
    void setChanges(const QList<SettingChange>& changes);
    QList<SettingChange> changes() const;

    // The canonical content the hash chain covers: every field above as one compact JSON
    // object with sorted keys (dates ISO 8601), the same bytes on every engine and machine.
    QByteArray CanonicalContent() const;
    // The event the canonical content describes; nothing when it is not one.
    static std::optional<RegisterEvent> FromCanonicalContent(const QByteArray& content);

    bool operator==(const RegisterEvent&) const = default;
};

// The computer name, technician and program version events are stamped with. The technician
// is empty unless a program sets it; events then name the tool configuration's, else the login
// name.
struct EventStamp {
    QString computer;
    QString technician;
    QString programVersion;
    static EventStamp& current();
};

// SHA-256 (lower-case hex) over the previous event's hash (empty for the first event), a line
// feed and the canonical content of this event.
QString ChainHash(const QString& previousHash, const QByteArray& canonicalContent);

// A reading or concentration as the details hold it: the number with the shortest text that
// gives the float back (0.1f is 0.1); null for no value (-101, or not finite).
QJsonValue ReadingValue(float value);
