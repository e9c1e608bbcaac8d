#include "ctl/CtlRegister.h"

#include "ctl/CtlOptions.h"
#include "ctl/RegisterImport.h"
#include "register/EventRecorder.h"
#include "shell/modGasCommon.h"

#include <QDir>
#include <QJsonArray>
#include <QSaveFile>
#include <algorithm>
#include <cstdio>

namespace {

QString Quoted(const QString& path) {
    return u'"' + QDir::toNativeSeparators(path) + u'"';
}

// A date as YYYY-MM-DD ("-" when unknown), without the calendar machinery of QDate::toString:
// the list writes tens of thousands.
QString DateText(const QDate& date) {
    if (!date.isValid()) return QStringLiteral("-");
    int year = 0, month = 0, day = 0;
    date.getDate(&year, &month, &day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
    return QString::fromLatin1(text);
}

QJsonValue DateJson(const QDate& date) {
    return date.isValid() ? QJsonValue(date.toString(Qt::ISODate)) : QJsonValue();
}

QJsonValue WallJson(const QDateTime& when) {
    return when.isValid() ? QJsonValue(when.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")))
                          : QJsonValue();
}

QJsonValue UtcJson(const QDateTime& when) {
    return when.isValid() ? QJsonValue(when.toUTC().toString(Qt::ISODate)) : QJsonValue();
}

// The PC time of an event as it was on that PC's clock, with its offset.
QDateTime LocalPcTime(const RegisterEvent& e) {
    return e.pcTimeUtc.toUTC().toOffsetFromUtc(e.utcOffsetSeconds);
}

QString Plural(qint64 n, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

// Whether a detector is due now or was due before `today`.
bool Overdue(const DetectorRow& row, const QDate& today) {
    return (row.calibrationDue.isValid() && row.calibrationDue < today) ||
           (row.bumpDue.isValid() && row.bumpDue < today);
}

// A number of the details as text ("-" for none).
QString DetailNumber(const QJsonObject& details, const char* key) {
    const QJsonValue v = details.value(QLatin1String(key));
    return v.isDouble() ? QString::number(v.toDouble(), 'g', 8) : QStringLiteral("-");
}

// What is particular to the event's kind, in a few words.
QString DetailsText(const RegisterEvent& e) {
    const QJsonObject& d = e.details;
    QStringList parts;
    switch (e.kind) {
    case EventKind::Write:
    case EventKind::IdentityWrite: {
        QStringList changes;
        for (const SettingChange& c : e.changes())
            changes << QStringLiteral("%1 \"%2\" -> \"%3\"").arg(c.name, c.oldValue, c.newValue);
        parts << (changes.isEmpty() ? QStringLiteral("no setting changed")
                                    : changes.join(QStringLiteral(", ")));
        break;
    }
    case EventKind::Zero:
    case EventKind::Span:
        if (d.contains(QStringLiteral("concentration")))
            parts << QStringLiteral("concentration %1").arg(DetailNumber(d, "concentration"));
        if (d.contains(QStringLiteral("before")) || d.contains(QStringLiteral("after")))
            parts << QStringLiteral("before %1, after %2")
                         .arg(DetailNumber(d, "before"), DetailNumber(d, "after"));
        if (d.contains(QStringLiteral("status")))
            parts << QStringLiteral("status \"%1\"")
                         .arg(d.value(QStringLiteral("status")).toString());
        break;
    case EventKind::MasterCompare: {
        QString text = d.value(QStringLiteral("verdict")).toString();
        QStringList differences;
        for (const QJsonValue& v : d.value(QStringLiteral("differences")).toArray())
            differences << v.toString();
        if (!differences.isEmpty())
            text += QStringLiteral(": ") + differences.join(QStringLiteral("; "));
        parts << text;
        break;
    }
    case EventKind::Provision: {
        QString text = d.value(QStringLiteral("verdict")).toString();
        QStringList written, remaining;
        for (const QJsonValue& v : d.value(QStringLiteral("written")).toArray())
            written << v.toString();
        for (const QJsonValue& v : d.value(QStringLiteral("remaining")).toArray())
            remaining << v.toObject().value(QStringLiteral("caption")).toString();
        if (!written.isEmpty()) text += QStringLiteral(", wrote ") + written.join(QStringLiteral(", "));
        if (!remaining.isEmpty())
            text += QStringLiteral(", still different: ") + remaining.join(QStringLiteral("; "));
        parts << text;
        break;
    }
    case EventKind::LoggerCheck:
        parts << d.value(QStringLiteral("verdict")).toString();
        break;
    case EventKind::LogClear:
        parts << QStringLiteral("%1 log").arg(d.value(QStringLiteral("log")).toString());
        break;
    case EventKind::ClockSet:
        if (d.contains(QStringLiteral("clock")))
            parts << QStringLiteral("to %1").arg(d.value(QStringLiteral("clock")).toString());
        break;
    case EventKind::Certificate:
        if (d.contains(QStringLiteral("calibration")))
            parts << QStringLiteral("%1 %2").arg(d.value(QStringLiteral("calibration")).toString(),
                                                 d.value(QStringLiteral("result")).toString());
        parts << QDir::toNativeSeparators(d.value(QStringLiteral("file")).toString());
        break;
    default:
        break;
    }
    if (d.contains(QStringLiteral("source")) && e.kind != EventKind::Certificate) {
        const QJsonValue line = d.value(QStringLiteral("line"));
        parts << (line.isDouble() ? QStringLiteral("from %1 line %2")
                                        .arg(d.value(QStringLiteral("source")).toString())
                                        .arg(line.toInt())
                                  : QStringLiteral("from %1").arg(
                                        d.value(QStringLiteral("source")).toString()));
    }
    if (d.contains(QStringLiteral("reason")))
        parts << QStringLiteral("reason: %1").arg(d.value(QStringLiteral("reason")).toString());
    parts.removeAll(QString());
    return parts.join(QStringLiteral("; "));
}

// Lines of a table with columns as wide as their widest cell.
QStringList TableLines(const QList<QStringList>& rows) {
    QList<qsizetype> widths;
    for (const QStringList& row : rows)
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (widths.size() <= i) widths.append(0);
            widths[i] = std::max(widths[i], row.at(i).size());
        }
    QStringList lines;
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row.at(i).leftJustified(widths[i] + 2) : row.at(i);
        lines << line;
    }
    return lines;
}

// A CSV field: quoted when it holds the separator, a quote or a line end.
QString CsvField(const QString& text, const QString& separator) {
    if (!text.contains(separator) && !text.contains(u'"') && !text.contains(u'\n') &&
        !text.contains(u'\r'))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return u'"' + quoted + u'"';
}

QString CsvDate(const QDate& date) {
    return date.isValid() ? date.toString(QStringLiteral("yyyy/MM/dd")) : QString();
}

QString CsvTime(const QDateTime& when) {
    return when.isValid() ? when.toLocalTime().toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"))
                          : QString();
}

QString Limit(int days) {
    return days >= 0 ? QString::number(days) : QString();
}

} // namespace

CtlRegister::CtlRegister(RegisterLocation location, QString folder, bool json)
    : m_location(std::move(location)), m_folder(std::move(folder)), m_json(json) {}

bool CtlRegister::open(FleetRegister& reg, Result& result) {
    QString error;
    if (reg.open(&error)) return true;
    // The sentence names the register.
    result.code = CtlOptions::ExitFailed;
    result.error = error;
    return false;
}

CtlRegister::Result CtlRegister::list(const QDate& today, std::optional<int> dueWithin,
                                      bool overdue) {
    Result r;
    FleetRegister reg(m_location);
    if (!open(reg, r)) return r;
    QString error;
    QList<DetectorRow> rows = reg.detectors(&error);
    if (!error.isEmpty()) {
        r.code = CtlOptions::ExitFailed;
        r.error = QStringLiteral("Reading the register failed: %1").arg(error);
        return r;
    }
    if (dueWithin || overdue) rows = DueRows(rows, today, dueWithin.value_or(0), overdue);

    QList<QStringList> table{{QStringLiteral("Serial No."), QStringLiteral("Model"),
                              QStringLiteral("Gas"), QStringLiteral("Station"),
                              QStringLiteral("Last calibration"), QStringLiteral("Calibration due"),
                              QStringLiteral("Last bump"), QStringLiteral("Bump due"),
                              QStringLiteral("Last seen")}};
    QJsonArray detectors;
    for (const DetectorRow& row : std::as_const(rows)) {
        if (m_json) {
            detectors.append(RowJson(row, today));
            continue;
        }
        const DetectorIdentity& d = row.detector;
        table.append({d.serial, d.model, d.gas.isEmpty() ? QStringLiteral("-") : d.gas,
                      d.stationId.isEmpty() ? QStringLiteral("-") : d.stationId,
                      DateText(row.lastCalibration),
                      DateText(row.calibrationDue) +
                          (row.calibrationDue.isValid() && row.calibrationDue < today
                               ? QStringLiteral(" overdue")
                               : QString()),
                      DateText(row.lastBump),
                      DateText(row.bumpDue) + (row.bumpDue.isValid() && row.bumpDue < today
                                                   ? QStringLiteral(" overdue")
                                                   : QString()),
                      DateText(row.lastSeen.toLocalTime().date())});
    }
    r.json[QStringLiteral("detectors")] = detectors;
    r.json[QStringLiteral("count")] = int(rows.size());
    QStringList lines = rows.isEmpty() || m_json ? QStringList() : TableLines(table);
    lines << Plural(rows.size(), "detector", "detectors") +
                 (dueWithin && !overdue ? QStringLiteral(" due within %1 days.").arg(*dueWithin)
                  : overdue             ? QStringLiteral(" overdue.")
                                        : QStringLiteral(" on record."));
    r.text = lines.join(u'\n');
    return r;
}

CtlRegister::Result CtlRegister::show(const QString& serial) {
    Result r;
    FleetRegister reg(m_location);
    if (!open(reg, r)) return r;
    QString error;
    const std::optional<DetectorRow> row = reg.detector(serial, &error);
    const QList<RegisterEvent> events =
        error.isEmpty() ? reg.history(serial, &error) : QList<RegisterEvent>();
    if (!error.isEmpty()) {
        r.code = CtlOptions::ExitFailed;
        r.error = QStringLiteral("Reading the register failed: %1").arg(error);
        return r;
    }
    if (!row && events.isEmpty()) {
        r.code = CtlOptions::ExitFailed;
        r.error = QStringLiteral("The detector %1 is not in the register.").arg(serial);
        return r;
    }
    const QDate today = QDate::currentDate();
    QStringList lines;
    if (row) {
        const DetectorIdentity& d = row->detector;
        const auto known = [](const QString& t) { return t.isEmpty() ? QStringLiteral("-") : t; };
        const auto days = [](int n) {
            return n >= 0 ? QStringLiteral("%1 days").arg(n) : QStringLiteral("-");
        };
        lines << QStringLiteral("Serial No.: %1").arg(d.serial)
              << QStringLiteral("Model: %1").arg(known(d.model))
              << QStringLiteral("Gas: %1").arg(known(d.gas))
              << QStringLiteral("Manufacture No.: %1").arg(known(d.manufactureNo))
              << QStringLiteral("Station ID: %1").arg(known(d.stationId))
              << QStringLiteral("User ID: %1").arg(known(d.userId))
              << QStringLiteral("Program No.: %1").arg(known(d.programNo))
              << QStringLiteral("SUM: %1").arg(known(d.sum))
              << QStringLiteral("Calibration interval: %1").arg(days(d.calLimit))
              << QStringLiteral("Bump interval: %1").arg(days(d.bumpLimit))
              << QStringLiteral("Last calibration: %1").arg(DateText(row->lastCalibration))
              << QStringLiteral("Calibration due: %1").arg(DateText(row->calibrationDue))
              << QStringLiteral("Last bump: %1").arg(DateText(row->lastBump))
              << QStringLiteral("Bump due: %1").arg(DateText(row->bumpDue))
              << QStringLiteral("First seen: %1")
                     .arg(row->firstSeen.toLocalTime().toString(
                         QStringLiteral("yyyy-MM-dd HH:mm:ss")))
              << QStringLiteral("Last seen: %1")
                     .arg(row->lastSeen.toLocalTime().toString(
                         QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        r.json[QStringLiteral("detector")] = RowJson(*row, today);
    }
    lines << QStringLiteral("Events: %1").arg(events.size());
    QJsonArray array;
    for (const RegisterEvent& e : events) {
        lines << EventLine(e);
        array.append(EventJson(e));
    }
    r.json[QStringLiteral("events")] = array;
    r.text = lines.join(u'\n');
    return r;
}

CtlRegister::Result CtlRegister::exportCsv(const QString& path) {
    Result r;
    FleetRegister reg(m_location);
    if (!open(reg, r)) return r;
    QString error;
    const QList<DetectorRow> rows = reg.detectors(&error);
    if (!error.isEmpty()) {
        r.code = CtlOptions::ExitFailed;
        r.error = QStringLiteral("Reading the register failed: %1").arg(error);
        return r;
    }
    const QString separator = ListSeparator();
    const auto line = [&separator](const QStringList& fields) {
        QStringList quoted;
        for (const QString& f : fields)
            quoted << CsvField(f, separator);
        return quoted.join(separator) + QStringLiteral("\r\n");
    };
    QString text =
        line({QStringLiteral("Serial No."), QStringLiteral("Model"), QStringLiteral("Gas"),
              QStringLiteral("Manufacture No."), QStringLiteral("Station ID"),
              QStringLiteral("User ID"), QStringLiteral("Program No."), QStringLiteral("SUM"),
              QStringLiteral("Calibration interval"), QStringLiteral("Bump interval"),
              QStringLiteral("Last calibration"), QStringLiteral("Calibration due"),
              QStringLiteral("Last bump"), QStringLiteral("Bump due"), QStringLiteral("First seen"),
              QStringLiteral("Last seen")});
    for (const DetectorRow& row : rows) {
        const DetectorIdentity& d = row.detector;
        text += line({d.serial, d.model, d.gas, d.manufactureNo, d.stationId, d.userId, d.programNo,
                      d.sum, Limit(d.calLimit), Limit(d.bumpLimit), CsvDate(row.lastCalibration),
                      CsvDate(row.calibrationDue), CsvDate(row.lastBump), CsvDate(row.bumpDue),
                      CsvTime(row.firstSeen), CsvTime(row.lastSeen)});
    }
    QSaveFile file(path);
    const QByteArray bytes = text.toLocal8Bit();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() ||
        !file.commit()) {
        r.code = CtlOptions::ExitUsage;
        r.error = QStringLiteral("Cannot write %1: %2.").arg(Quoted(path), file.errorString());
        return r;
    }
    r.json[QStringLiteral("file")] = QDir::toNativeSeparators(path);
    r.json[QStringLiteral("count")] = int(rows.size());
    r.text = QStringLiteral("Wrote the due dates of %1 in %2.")
                 .arg(Plural(rows.size(), "detector", "detectors"), Quoted(path));
    return r;
}

CtlRegister::Result CtlRegister::verify() {
    Result r;
    FleetRegister reg(m_location);
    if (!open(reg, r)) return r;
    const ChainCheck check = reg.verify();
    r.json[QStringLiteral("events")] = check.events;
    r.json[QStringLiteral("verified")] = check.ok;
    if (check.ok) {
        r.text = check.sentence;
        return r;
    }
    r.code = CtlOptions::ExitFailed;
    r.error = check.sentence;
    r.json[QStringLiteral("firstBadSeq")] = check.firstBadSeq;
    r.json[QStringLiteral("firstBadUid")] = check.firstBadUid;
    return r;
}

CtlRegister::Result CtlRegister::sync() {
    Result r;
    EventRecorder recorder(m_location, m_folder);
    QString error;
    const int forwarded = recorder.sync(&error);
    const int waiting = recorder.pendingCount();
    r.json[QStringLiteral("waiting")] = waiting;
    if (forwarded < 0) {
        r.code = CtlOptions::ExitFailed;
        r.error = QStringLiteral("%1 %2.").arg(error.trimmed(),
                                               Plural(waiting, "event waits", "events wait"));
        return r;
    }
    r.json[QStringLiteral("forwarded")] = forwarded;
    r.text = QStringLiteral("Forwarded %1 to the register %2; %3.")
                 .arg(Plural(forwarded, "event", "events"), Quoted(m_location.text()),
                      waiting == 0 ? QStringLiteral("none waits")
                                   : Plural(waiting, "event still waits", "events still wait"));
    return r;
}

CtlRegister::Result CtlRegister::import(const QStringList& paths) {
    Result r;
    QList<RegisterEvent> events;
    for (const QString& path : paths) {
        QString error;
        if (!RegisterImport::ReadFile(path, &events, &error)) {
            r.code = CtlOptions::ExitUsage;
            r.error = error;
            return r;
        }
    }
    FleetRegister reg(m_location);
    if (!open(reg, r)) return r;
    const qint64 before = reg.eventCount();
    for (qsizetype i = 0; i < events.size(); ++i) {
        QString error;
        if (!reg.append(events.at(i), &error)) {
            r.code = CtlOptions::ExitFailed;
            r.error = QStringLiteral("Storing event %1 of %2 failed: %3")
                          .arg(i + 1)
                          .arg(events.size())
                          .arg(error);
            return r;
        }
    }
    const qint64 added = reg.eventCount() - before;
    r.json[QStringLiteral("events")] = int(events.size());
    r.json[QStringLiteral("files")] = int(paths.size());
    r.text = QStringLiteral("Imported %1 from %2 into the register %3.")
                 .arg(Plural(events.size(), "event", "events"),
                      Plural(paths.size(), "file", "files"), Quoted(m_location.text()));
    if (added >= 0 && added <= events.size())
        r.text += QStringLiteral(" The register holds %1 more than before.")
                      .arg(Plural(added, "event", "events"));
    return r;
}

QString CtlRegister::EventLine(const RegisterEvent& e) {
    QStringList who;
    if (!e.technician.isEmpty()) who << e.technician;
    if (!e.computer.isEmpty()) who << e.computer;
    QString line = QStringLiteral("%1  %2  %3")
                       .arg(LocalPcTime(e).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                            EventKindName(e.kind),
                            e.success ? QStringLiteral("ok") : QStringLiteral("failed"));
    if (!who.isEmpty()) line += QStringLiteral("  ") + who.join(u'@');
    const QString details = DetailsText(e);
    if (!details.isEmpty()) line += QStringLiteral("  ") + details;
    return line;
}

QJsonObject CtlRegister::EventJson(const RegisterEvent& e) {
    QJsonObject o;
    o[QStringLiteral("uid")] = e.uid;
    o[QStringLiteral("kind")] = EventKindName(e.kind);
    o[QStringLiteral("success")] = e.success;
    o[QStringLiteral("serialNo")] = e.detector.serial;
    o[QStringLiteral("pcTime")] = LocalPcTime(e).toString(Qt::ISODate);
    o[QStringLiteral("detectorClock")] = WallJson(e.detectorClock);
    o[QStringLiteral("computer")] = e.computer;
    o[QStringLiteral("technician")] = e.technician;
    o[QStringLiteral("programVersion")] = e.programVersion;
    o[QStringLiteral("details")] = e.details;
    return o;
}

QJsonObject CtlRegister::RowJson(const DetectorRow& row, const QDate& today) {
    const DetectorIdentity& d = row.detector;
    QJsonObject o;
    o[QStringLiteral("serialNo")] = d.serial;
    o[QStringLiteral("model")] = d.model;
    o[QStringLiteral("gas")] = d.gas;
    o[QStringLiteral("manufactureNo")] = d.manufactureNo;
    o[QStringLiteral("stationId")] = d.stationId;
    o[QStringLiteral("userId")] = d.userId;
    o[QStringLiteral("programNo")] = d.programNo;
    o[QStringLiteral("sum")] = d.sum;
    o[QStringLiteral("calLimit")] = d.calLimit >= 0 ? QJsonValue(d.calLimit) : QJsonValue();
    o[QStringLiteral("bumpLimit")] = d.bumpLimit >= 0 ? QJsonValue(d.bumpLimit) : QJsonValue();
    o[QStringLiteral("lastCalibration")] = DateJson(row.lastCalibration);
    o[QStringLiteral("calibrationDue")] = DateJson(row.calibrationDue);
    o[QStringLiteral("lastBump")] = DateJson(row.lastBump);
    o[QStringLiteral("bumpDue")] = DateJson(row.bumpDue);
    o[QStringLiteral("overdue")] = Overdue(row, today);
    o[QStringLiteral("firstSeen")] = UtcJson(row.firstSeen);
    o[QStringLiteral("lastSeen")] = UtcJson(row.lastSeen);
    return o;
}
