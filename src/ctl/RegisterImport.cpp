#include "ctl/RegisterImport.h"

#include "records/FactoryRecord.h"
#include "shell/Messages.h"
#include "shell/modGasCommon.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>
#include <algorithm>

namespace {

// The name space of the uids derived from imported files.
const QUuid kImportNamespace(QStringLiteral("{5b0d3c0e-6f7a-4d55-9a43-71c0f1ee7a10}"));

// Columns of a factory record line (0-based).
constexpr int kColKind = 0;
constexpr int kColPcTime = 1;
constexpr int kColDetectorClock = 2;
constexpr int kColModel = 3;
constexpr int kColSerial = 5;
constexpr int kColManufactureNo = 6;
constexpr int kColProgramNo = 7;
constexpr int kColSum = 8;
constexpr int kColStation = 9;
constexpr int kColUser = 10;
constexpr int kColCalLimit = 13;
constexpr int kColBumpLimit = 33;
constexpr int kColGasName = 40;
constexpr int kColCalibDate = 46;
constexpr int kColBumpDate = 49;

const QString kRecordDateFormat = QStringLiteral("yyyy/MM/dd HH:mm:ss");
const QString kCertificateDateFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss");

QString Quoted(const QString& path) {
    return u'"' + OneLineText(QDir::toNativeSeparators(path)) + u'"';
}

// An identity text of a file; dashes alone mean "none".
QString IdentityText(QStringView text) {
    const QStringView t = text.trimmed();
    return std::all_of(t.cbegin(), t.cend(), [](QChar c) { return c == u'-'; }) ? QString()
                                                                                : t.toString();
}

// A whole number of a file, -1 when there is none.
int WholeOrUnknown(QStringView text) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    return ok && v >= 0 ? v : -1;
}

// A date and time of a file in `format`; invalid unless its year lies in 1..9999 (Qt would
// also read "-2026", a year the register's ISO texts cannot hold).
QDateTime FileDate(QStringView text, const QString& format) {
    const QDateTime when = QDateTime::fromString(text.trimmed().toString(), format);
    return when.isValid() && when.date().year() >= 1 && when.date().year() <= 9999 ? when
                                                                                   : QDateTime();
}

// A date of the detector's history in a factory record; the record writes "no date" (0 and
// -101 as date values) as days of 1899, which are not known.
QDateTime HistoryDate(QStringView text) {
    const QDateTime when = FileDate(text, kRecordDateFormat);
    return when.isValid() && when.date().year() >= 1900 ? when : QDateTime();
}

// Stamps the event with a local wall-clock time of a file: UTC and the offset it had.
void SetPcTime(RegisterEvent& e, const QDateTime& local) {
    e.pcTimeUtc = local.toUTC();
    e.utcOffsetSeconds = local.offsetFromUtc();
}

// The separator that splits the header line into the factory record's columns.
QString SeparatorOf(QStringView header) {
    const QString mine = ListSeparator();
    const QString other = mine == QLatin1String(",") ? QStringLiteral(";") : QStringLiteral(",");
    // Each is one character: the header splits into one field more than it holds of it.
    for (const QString& separator : {mine, other})
        if (header.count(separator) + 1 == kFactoryRecordColumns) return separator;
    return {};
}

} // namespace

namespace RegisterImport {

bool ReadFile(const QString& path, QList<RegisterEvent>* events, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error =
            QStringLiteral("Cannot read the file %1: %2.").arg(Quoted(path), file.errorString());
        return false;
    }
    const QByteArray content = file.readAll();
    if (content.trimmed().startsWith('{')) {
        RegisterEvent event;
        if (!CertificateEvent(QFileInfo(path).absoluteFilePath(), content, &event, error))
            return false;
        events->append(event);
        return true;
    }
    return FactoryRecordEvents(QFileInfo(path).fileName(), content, events, error);
}

bool FactoryRecordEvents(const QString& fileName, const QByteArray& content,
                         QList<RegisterEvent>* events, QString* error) {
    QString text = QString::fromLocal8Bit(content);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(u'\r', u'\n');
    const QList<QStringView> lines = QStringView(text).split(u'\n');
    const QString separator = lines.isEmpty() ? QString() : SeparatorOf(lines.first());
    if (separator.isEmpty()) {
        *error = QStringLiteral("%1 is neither a factory record nor a certificate: its first line "
                                "is not the header of %2 columns.")
                     .arg(Quoted(fileName))
                     .arg(kFactoryRecordColumns);
        return false;
    }
    QList<RegisterEvent> found;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QStringView line = lines.at(i);
        if (line.trimmed().isEmpty()) continue;
        const int number = int(i + 1);
        const auto bad = [&](const QString& why) {
            *error = QStringLiteral("Line %1 of %2 %3.").arg(number).arg(Quoted(fileName), why);
            return false;
        };
        const QList<QStringView> f = line.split(separator);
        if (f.size() != kFactoryRecordColumns)
            return bad(
                QStringLiteral("has %1 fields, not %2").arg(f.size()).arg(kFactoryRecordColumns));

        RegisterEvent e;
        const QStringView kind = f.at(kColKind).trimmed();
        if (kind == kFactoryRecordRead)
            e.kind = EventKind::Read;
        else if (kind == kFactoryRecordWrite)
            e.kind = EventKind::Write;
        else if (kind == kFactoryRecordWriteId)
            e.kind = EventKind::IdentityWrite;
        else
            return bad(QStringLiteral("is no read or write record (\"%1\")").arg(kind));
        const QDateTime pcTime = FileDate(f.at(kColPcTime), kRecordDateFormat);
        if (!pcTime.isValid())
            return bad(QStringLiteral("has no valid date (\"%1\")").arg(f.at(kColPcTime)));

        e.uid =
            QUuid::createUuidV5(
                kImportNamespace,
                QStringLiteral("factory-record\n%1\n%2\n%3").arg(fileName).arg(number).arg(line))
                .toString(QUuid::WithoutBraces);
        e.success = true; // the factory record holds only completed reads and writes
        SetPcTime(e, pcTime);
        e.detectorClock = FileDate(f.at(kColDetectorClock), kRecordDateFormat);
        DetectorIdentity& d = e.detector;
        d.serial = IdentityText(f.at(kColSerial));
        d.model = f.at(kColModel).trimmed().toString();
        d.gas = IdentityText(f.at(kColGasName));
        d.manufactureNo = IdentityText(f.at(kColManufactureNo));
        d.stationId = IdentityText(f.at(kColStation));
        d.userId = IdentityText(f.at(kColUser));
        // A program number of zeros is none.
        const QStringView programNo = f.at(kColProgramNo).trimmed();
        d.programNo = programNo.toInt() != 0 ? programNo.toString() : QString();
        d.sum = f.at(kColSum).trimmed().toString();
        d.calLimit = WholeOrUnknown(f.at(kColCalLimit));
        d.bumpLimit = WholeOrUnknown(f.at(kColBumpLimit));
        d.lastCalibration = HistoryDate(f.at(kColCalibDate));
        d.lastBump = HistoryDate(f.at(kColBumpDate));
        e.details[QStringLiteral("source")] = fileName;
        e.details[QStringLiteral("line")] = number;
        found.append(e);
    }
    events->append(found);
    return true;
}

bool CertificateEvent(const QString& path, const QByteArray& content, RegisterEvent* event,
                      QString* error) {
    const QJsonObject o = QJsonDocument::fromJson(content).object();
    const QString calibration = o.value(QStringLiteral("calibration")).toString();
    const QDateTime pcTime =
        FileDate(o.value(QStringLiteral("pcTime")).toString(), kCertificateDateFormat);
    if ((calibration != QLatin1String("zero") && calibration != QLatin1String("span")) ||
        !o.value(QStringLiteral("serialNo")).isString() || !pcTime.isValid()) {
        *error = QStringLiteral("%1 is not a calibration certificate.").arg(Quoted(path));
        return false;
    }
    const QString fileName = QFileInfo(path).fileName();
    RegisterEvent e;
    e.uid = CertificateUid(fileName, content);
    e.kind = EventKind::Certificate;
    e.success = true;
    SetPcTime(e, pcTime);
    e.detectorClock =
        FileDate(o.value(QStringLiteral("detectorTime")).toString(), kCertificateDateFormat);
    e.technician = o.value(QStringLiteral("technician")).toString();
    e.programVersion = o.value(QStringLiteral("programVersion")).toString();

    DetectorIdentity& d = e.detector;
    d.serial = IdentityText(o.value(QStringLiteral("serialNo")).toString());
    d.model = o.value(QStringLiteral("model")).toString().trimmed();
    const QJsonObject gas = o.value(QStringLiteral("gas")).toObject();
    const QString gasName = gas.value(QStringLiteral("name")).toString().trimmed();
    if (!gasName.isEmpty())
        d.gas = QStringLiteral("%1(%2)").arg(
            gasName, gas.value(QStringLiteral("unit")).toString().trimmed());
    d.manufactureNo = IdentityText(o.value(QStringLiteral("manufactureNo")).toString());
    d.stationId = IdentityText(o.value(QStringLiteral("stationId")).toString());
    d.userId = IdentityText(o.value(QStringLiteral("userId")).toString());
    d.programNo = o.value(QStringLiteral("programNumber")).toString().trimmed();
    d.sum = o.value(QStringLiteral("sum")).toString().trimmed();
    // A certificate shows no interval as 0.
    const int interval = o.value(QStringLiteral("calibrationIntervalDays")).toInt(0);
    d.calLimit = interval > 0 ? interval : -1;
    d.lastCalibration =
        FileDate(o.value(QStringLiteral("lastCalibration")).toString(), kCertificateDateFormat);

    e.details[QStringLiteral("file")] = QDir::toNativeSeparators(path);
    e.details[QStringLiteral("source")] = fileName;
    e.details[QStringLiteral("calibration")] = calibration;
    e.details[QStringLiteral("result")] = o.value(QStringLiteral("result")).toString();
    for (const auto& [from, to] :
         {std::pair{"spanConcentration", "concentration"}, std::pair{"readingBefore", "before"},
          std::pair{"readingAfter", "after"}}) {
        const QJsonValue v = o.value(QLatin1String(from));
        if (v.isDouble()) e.details[QLatin1String(to)] = v;
    }
    *event = e;
    return true;
}

QString CertificateUid(const QString& fileName, const QByteArray& content) {
    const QByteArray digest = QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex();
    return QUuid::createUuidV5(
               kImportNamespace,
               QStringLiteral("certificate\n%1\n%2").arg(fileName, QString::fromLatin1(digest)))
        .toString(QUuid::WithoutBraces);
}

} // namespace RegisterImport
