#include "register/RegisterEvent.h"

#include "configuration/ToolSettings.h"
#include "instrument/GasChannel.h"
#include "instrument/SettingsFile.h"
#include "instrument/clsInstrument.h"
#include "records/CalibrationCertificateData.h"
#include "records/FactoryRecord.h"
#include "shell/OleDate.h"

#include <QCryptographicHash>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QSet>
#include <QSysInfo>
#include <QUuid>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace {

struct KindName {
    EventKind kind;
    const char* name;
};

constexpr std::array<KindName, 13> kKindNames{{
    {EventKind::Read, "read"},
    {EventKind::Write, "write"},
    {EventKind::IdentityWrite, "identity-write"},
    {EventKind::Zero, "zero"},
    {EventKind::Span, "span"},
    {EventKind::ClockSet, "clock-set"},
    {EventKind::Defaults, "defaults"},
    {EventKind::LogClear, "log-clear"},
    {EventKind::PowerOff, "power-off"},
    {EventKind::MasterCompare, "master-compare"},
    {EventKind::LoggerCheck, "logger-check"},
    {EventKind::Certificate, "certificate"},
    {EventKind::Provision, "provision"},
}};

// Date-time texts of the canonical content: the PC time in UTC with "Z", the detector's own
// dates as wall-clock time without a zone; both to the millisecond.
const QString kWallFormat = QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz");

QDateTime wallFrom(const QJsonValue& value) {
    if (!value.isString()) return {};
    return QDateTime::fromString(value.toString(), kWallFormat);
}

// An identity text; the placeholder of dashes the record holds for "none" is not known.
QString identityText(const QString& text) {
    const QString t = text.trimmed();
    return std::all_of(t.cbegin(), t.cend(), [](QChar c) { return c == u'-'; }) ? QString() : t;
}

// A date of the detector's history; zero (never) and the record's no-value mark (-101) are
// no date.
QDateTime oleDate(double value) {
    return value > 0.0 ? OleToDateTime(value) : QDateTime();
}

// ---- Canonical JSON ----

void writeValue(QByteArray& out, const QJsonValue& value);
void writeObject(QByteArray& out, const QJsonObject& object);

// One UTF-16 unit in UTF-8. Each unit is written on its own, as the stored contents (and their
// hashes) have it: either half of a surrogate pair is written as "?".
void writeUnit(QByteArray& out, char16_t u) {
    if (u < 0x80) {
        out += char(u);
    } else if (u < 0x800) {
        out += char(0xC0 | (u >> 6));
        out += char(0x80 | (u & 0x3F));
    } else if (QChar::isSurrogate(u)) {
        out += '?';
    } else {
        out += char(0xE0 | (u >> 12));
        out += char(0x80 | ((u >> 6) & 0x3F));
        out += char(0x80 | (u & 0x3F));
    }
}

void writeString(QByteArray& out, const QString& text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'"' || u == u'\\') {
            out += '\\';
            out += char(u);
        } else if (u == u'\n') {
            out += "\\n";
        } else if (u == u'\r') {
            out += "\\r";
        } else if (u == u'\t') {
            out += "\\t";
        } else if (u < 0x20) {
            out += "\\u00";
            out += kHex[u >> 4];
            out += kHex[u & 0xF];
        } else {
            writeUnit(out, u);
        }
    }
    out += '"';
}

// A number as the same text for the same value: an integer where it is one (and exact),
// else the shortest text that reads back to it; no number for what is not finite.
void writeNumber(QByteArray& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
    } else if (value == std::trunc(value) && std::fabs(value) < 9007199254740992.0) {
        out += QByteArray::number(qint64(value));
    } else {
        out += QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
    }
}

void writeValue(QByteArray& out, const QJsonValue& value) {
    switch (value.type()) {
    case QJsonValue::Bool:
        out += value.toBool() ? "true" : "false";
        break;
    case QJsonValue::Double:
        writeNumber(out, value.toDouble());
        break;
    case QJsonValue::String:
        writeString(out, value.toString());
        break;
    case QJsonValue::Array: {
        out += '[';
        const QJsonArray array = value.toArray();
        for (qsizetype i = 0; i < array.size(); ++i) {
            if (i > 0) out += ',';
            writeValue(out, array.at(i));
        }
        out += ']';
        break;
    }
    case QJsonValue::Object:
        writeObject(out, value.toObject());
        break;
    default:
        out += "null";
    }
}

void writeObject(QByteArray& out, const QJsonObject& object) {
    QStringList keys = object.keys();
    std::sort(keys.begin(), keys.end());
    out += '{';
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (i > 0) out += ',';
        writeString(out, keys.at(i));
        out += ':';
        writeValue(out, object.value(keys.at(i)));
    }
    out += '}';
}

// Writes the key of a member of an object, a plain word, after the member before it (if any).
// Objects written member by member give their members in the sorted order of the keys, as
// writeObject() does.
void writeKey(QByteArray& out, const char* key, bool first = false) {
    if (!first) out += ',';
    out += '"';
    out += key;
    out += "\":";
}

void writeWallText(QByteArray& out, const QDateTime& when) {
    if (when.isValid())
        writeString(out, when.toString(kWallFormat));
    else
        out += "null";
}

void writeIdentity(QByteArray& out, const DetectorIdentity& d) {
    out += '{';
    writeKey(out, "bumpLimit", true);
    writeNumber(out, d.bumpLimit);
    writeKey(out, "calLimit");
    writeNumber(out, d.calLimit);
    writeKey(out, "gas");
    writeString(out, d.gas);
    writeKey(out, "lastBump");
    writeWallText(out, d.lastBump);
    writeKey(out, "lastCalibration");
    writeWallText(out, d.lastCalibration);
    writeKey(out, "manufactureNo");
    writeString(out, d.manufactureNo);
    writeKey(out, "model");
    writeString(out, d.model);
    writeKey(out, "programNo");
    writeString(out, d.programNo);
    writeKey(out, "serial");
    writeString(out, d.serial);
    writeKey(out, "stationId");
    writeString(out, d.stationId);
    writeKey(out, "sum");
    writeString(out, d.sum);
    writeKey(out, "userId");
    writeString(out, d.userId);
    out += '}';
}

std::optional<DetectorIdentity> identityFrom(const QJsonValue& value) {
    if (!value.isObject()) return std::nullopt;
    const QJsonObject o = value.toObject();
    DetectorIdentity d;
    d.serial = o.value(QStringLiteral("serial")).toString();
    d.model = o.value(QStringLiteral("model")).toString();
    d.gas = o.value(QStringLiteral("gas")).toString();
    d.manufactureNo = o.value(QStringLiteral("manufactureNo")).toString();
    d.stationId = o.value(QStringLiteral("stationId")).toString();
    d.userId = o.value(QStringLiteral("userId")).toString();
    d.programNo = o.value(QStringLiteral("programNo")).toString();
    d.sum = o.value(QStringLiteral("sum")).toString();
    d.calLimit = o.value(QStringLiteral("calLimit")).toInt(-1);
    d.bumpLimit = o.value(QStringLiteral("bumpLimit")).toInt(-1);
    d.lastCalibration = wallFrom(o.value(QStringLiteral("lastCalibration")));
    d.lastBump = wallFrom(o.value(QStringLiteral("lastBump")));
    return d;
}

// The settings of the configuration-file lines by key: the line's first field, and what
// follows "W," without the closing comma.
QList<QPair<QString, QString>> settingsOf(const clsInstrument& record) {
    QList<QPair<QString, QString>> out;
    for (const QString& line : SettingsFile::Lines(record)) {
        const qsizetype comma = line.indexOf(u',');
        if (comma < 0) continue;
        const QString key = line.left(comma);
        QString value = line.mid(comma + 1);
        if (value.startsWith(QLatin1String("W,"))) value.remove(0, 2);
        if (value.endsWith(u',')) value.chop(1);
        out.append({key, value});
    }
    return out;
}

} // namespace

QString EventKindName(EventKind kind) {
    for (const KindName& k : kKindNames)
        if (k.kind == kind) return QString::fromLatin1(k.name);
    return {};
}

std::optional<EventKind> EventKindFromName(const QString& name) {
    for (const KindName& k : kKindNames)
        if (name == QLatin1String(k.name)) return k.kind;
    return std::nullopt;
}

DetectorIdentity DetectorIdentity::FromRecord(const clsInstrument& record) {
    DetectorIdentity d;
    d.serial = identityText(record.SerialNo());
    d.model = record.ModelTyp().trimmed();
    if (!record.GasName(0).trimmed().isEmpty()) d.gas = FormatGasLabel(record, 0, false);
    d.manufactureNo = identityText(record.DummySerial());
    d.stationId = identityText(record.StationID());
    d.userId = identityText(record.UserID());
    if (record.RomNumber() != 0)
        d.programNo = QStringLiteral("%1").arg(record.RomNumber(), 5, 10, QLatin1Char('0'));
    d.sum = record.SUM().trimmed();
    d.calLimit = record.CalLimit() >= 0 ? record.CalLimit() : -1;
    d.bumpLimit = record.BumpLimit() >= 0 ? record.BumpLimit() : -1;
    d.lastCalibration = oleDate(record.CalibDate(0));
    d.lastBump = oleDate(record.BumpDates(0));
    return d;
}

RegisterEvent RegisterEvent::Make(EventKind kind, const clsInstrument& record, bool success) {
    RegisterEvent e;
    e.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    e.kind = kind;
    e.success = success;
    e.detector = DetectorIdentity::FromRecord(record);
    const QDateTime utc = QDateTime::currentDateTimeUtc();
    const QDateTime local = utc.toLocalTime();
    e.pcTimeUtc = utc;
    e.utcOffsetSeconds = local.offsetFromUtc();
    // A record that never held the detector's clock gives none.
    if (record.SysDate() != 0.0) e.detectorClock = DetectorClock(record, local);
    const EventStamp& stamp = EventStamp::current();
    e.computer = stamp.computer;
    e.technician = stamp.technician;
    if (e.technician.isEmpty()) e.technician = Tool().Technician;
    if (e.technician.isEmpty()) e.technician = CalibrationCertificateData::CurrentUserName();
    e.programVersion = stamp.programVersion;
    return e;
}

QList<SettingChange> RegisterEvent::Changes(const clsInstrument& before,
                                            const clsInstrument& after) {
    const QList<QPair<QString, QString>> old = settingsOf(before);
    const QList<QPair<QString, QString>> now = settingsOf(after);
    QHash<QString, QString> oldByKey;
    for (const auto& [key, value] : old)
        oldByKey.insert(key, value);
    QList<SettingChange> changes;
    QSet<QString> seen;
    for (const auto& [key, value] : now) {
        seen.insert(key);
        const auto it = oldByKey.constFind(key);
        if (it == oldByKey.cend())
            changes.append({key, QString(), value});
        else if (*it != value)
            changes.append({key, *it, value});
    }
    for (const auto& [key, value] : old)
        if (!seen.contains(key)) changes.append({key, value, QString()});
    return changes;
}

void RegisterEvent::setChanges(const QList<SettingChange>& changes) {
    QJsonArray array;
    for (const SettingChange& c : changes) {
        QJsonObject o;
        o[QStringLiteral("name")] = c.name;
        o[QStringLiteral("old")] = c.oldValue;
        o[QStringLiteral("new")] = c.newValue;
        array.append(o);
    }
    details[QStringLiteral("changes")] = array;
}

QList<SettingChange> RegisterEvent::changes() const {
    QList<SettingChange> out;
    for (const QJsonValue& v : details.value(QStringLiteral("changes")).toArray()) {
        const QJsonObject o = v.toObject();
        out.append({o.value(QStringLiteral("name")).toString(),
                    o.value(QStringLiteral("old")).toString(),
                    o.value(QStringLiteral("new")).toString()});
    }
    return out;
}

QByteArray RegisterEvent::CanonicalContent() const {
    QByteArray out;
    out += '{';
    writeKey(out, "computer", true);
    writeString(out, computer);
    writeKey(out, "details");
    writeObject(out, details);
    writeKey(out, "detector");
    writeIdentity(out, detector);
    writeKey(out, "detectorClock");
    writeWallText(out, detectorClock);
    writeKey(out, "kind");
    writeString(out, EventKindName(kind));
    writeKey(out, "pcTimeUtc");
    if (pcTimeUtc.isValid())
        writeString(out, pcTimeUtc.toUTC().toString(Qt::ISODateWithMs));
    else
        out += "null";
    writeKey(out, "programVersion");
    writeString(out, programVersion);
    writeKey(out, "success");
    out += success ? "true" : "false";
    writeKey(out, "technician");
    writeString(out, technician);
    writeKey(out, "uid");
    writeString(out, uid);
    writeKey(out, "utcOffsetSeconds");
    writeNumber(out, utcOffsetSeconds);
    out += '}';
    return out;
}

std::optional<RegisterEvent> RegisterEvent::FromCanonicalContent(const QByteArray& content) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(content, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    const QJsonObject o = doc.object();
    const std::optional<EventKind> kind =
        EventKindFromName(o.value(QStringLiteral("kind")).toString());
    const std::optional<DetectorIdentity> detector =
        identityFrom(o.value(QStringLiteral("detector")));
    const QJsonValue success = o.value(QStringLiteral("success"));
    RegisterEvent e;
    e.uid = o.value(QStringLiteral("uid")).toString();
    const QString pcTime = o.value(QStringLiteral("pcTimeUtc")).toString();
    if (pcTime.endsWith(u'Z'))
        e.pcTimeUtc = QDateTime::fromString(pcTime, Qt::ISODateWithMs).toUTC();
    if (!kind || !detector || !success.isBool() || e.uid.isEmpty() || !e.pcTimeUtc.isValid())
        return std::nullopt;
    e.kind = *kind;
    e.success = success.toBool();
    e.detector = *detector;
    e.utcOffsetSeconds = o.value(QStringLiteral("utcOffsetSeconds")).toInt();
    e.detectorClock = wallFrom(o.value(QStringLiteral("detectorClock")));
    e.computer = o.value(QStringLiteral("computer")).toString();
    e.technician = o.value(QStringLiteral("technician")).toString();
    e.programVersion = o.value(QStringLiteral("programVersion")).toString();
    e.details = o.value(QStringLiteral("details")).toObject();
    return e;
}

EventStamp& EventStamp::current() {
    static EventStamp stamp{QSysInfo::machineHostName(), QString(), QStringLiteral(KM71_VERSION)};
    return stamp;
}

QString ChainHash(const QString& previousHash, const QByteArray& canonicalContent) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(previousHash.toUtf8());
    hash.addData("\n");
    hash.addData(canonicalContent);
    return QString::fromLatin1(hash.result().toHex());
}

QJsonValue ReadingValue(float value) {
    if (!std::isfinite(value) || value == clsInstrument::NoValue) return QJsonValue();
    // The shortest text of the float itself (0.1f gives 0.1, not its double expansion).
    std::array<char, 32> text{};
    const auto end = std::to_chars(text.data(), text.data() + text.size(), value).ptr;
    return std::strtod(std::string(text.data(), end).c_str(), nullptr);
}
