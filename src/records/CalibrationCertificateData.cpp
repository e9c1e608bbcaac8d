#include "records/CalibrationCertificateData.h"

#include "instrument/clsInstrument.h"
#include "shell/OleDate.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>
#include <QtGlobal>
#include <cmath>

namespace {

bool HasValue(float v) {
    return std::isfinite(v) && v > clsInstrument::NoValue;
}

QString Stamp(const QDateTime& t) {
    return t.isValid() ? t.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) : QString();
}

} // namespace

QString SafeNamePart(const QString& text) {
    QString out;
    for (const QChar c : text.trimmed())
        out += (c.isLetterOrNumber() || c == u'-' || c == u'.') ? c : QChar(u'_');
    while (out.startsWith(u'.'))
        out.remove(0, 1);
    return out.isEmpty() ? QStringLiteral("unknown") : out;
}

QString UnusedPathBase(const QString& folder, const QString& name, const QStringList& extensions,
                       const QSet<QString>& claimed) {
    const QDir dir(folder);
    QString base = dir.filePath(name);
    auto taken = [&extensions, &claimed](const QString& path) {
        if (claimed.contains(path)) return true;
        for (const QString& extension : extensions)
            if (QFileInfo::exists(path + extension)) return true;
        return false;
    };
    for (int n = 2; taken(base); ++n)
        base = dir.filePath(QStringLiteral("%1_%2").arg(name).arg(n));
    return base;
}

CalibrationCertificateData CalibrationCertificateData::FromRecords(const clsInstrument& detector,
                                                                   const clsInstrument& calibration,
                                                                   int gas, Kind kind, bool passed,
                                                                   const QDateTime& pcTime,
                                                                   const QDateTime& detectorTime) {
    CalibrationCertificateData d;
    d.kind = kind;
    d.passed = passed;
    d.model = detector.ModelTyp();
    d.serialNo = detector.SerialNo();
    d.manufactureNo = detector.DummySerial();
    d.stationId = detector.StationID();
    d.userId = detector.UserID();
    d.programNumber = QStringLiteral("%1").arg(detector.RomNumber(), 5, 10, QLatin1Char('0'));
    d.sum = detector.SUM();
    d.gasName = calibration.GasName(gas).trimmed();
    d.gasUnit = calibration.GasUnit(gas).trimmed();
    d.fullScale = calibration.GasFullScale(gas);
    d.places = calibration.GasPoint(gas);
    if (kind == Kind::Span) d.spanConcentration = calibration.AutoCalib(gas);
    d.readingBefore = detector.CalibBefore(gas);
    d.readingAfter = detector.CalibAfter(gas);
    const double when = detector.CalibDate(gas);
    if (when > 0.0) d.lastCalibration = OleToDateTime(when);
    d.pcTime = pcTime;
    d.detectorTime = detectorTime;
    d.intervalDays = qMax<int>(0, detector.CalLimit());
    d.technician = CurrentUserName();
    d.programVersion = QStringLiteral(KM71_VERSION);
    return d;
}

QString CalibrationCertificateData::CurrentUserName() {
    QString name = qEnvironmentVariable("USER");
    if (name.isEmpty()) name = qEnvironmentVariable("USERNAME");
    if (name.isEmpty()) name = qEnvironmentVariable("LOGNAME");
    return name;
}

QDate CalibrationCertificateData::nextDue() const {
    if (intervalDays <= 0 || !pcTime.isValid()) return {};
    return pcTime.date().addDays(intervalDays);
}

QString CalibrationCertificateData::baseName() const {
    return QStringLiteral("%1_%2_calibration")
        .arg(SafeNamePart(serialNo), pcTime.toString(QStringLiteral("yyyy-MM-dd_HHmmss")));
}

QString CalibrationCertificateData::concentrationText(float value) const {
    if (!HasValue(value)) return {};
    const int digits = places >= 1 && places <= 3 ? places : 0;
    return QString::number(static_cast<double>(value), 'f', digits);
}

QJsonObject CalibrationCertificateData::toJson() const {
    auto concentration = [this](float v) -> QJsonValue {
        const QString text = concentrationText(v);
        return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text.toDouble());
    };
    QJsonObject gas;
    gas[QStringLiteral("name")] = gasName;
    gas[QStringLiteral("unit")] = gasUnit;
    gas[QStringLiteral("fullScale")] = concentration(fullScale);

    QJsonObject o;
    o[QStringLiteral("calibration")] =
        kind == Kind::Zero ? QStringLiteral("zero") : QStringLiteral("span");
    o[QStringLiteral("result")] = passed ? QStringLiteral("pass") : QStringLiteral("fail");
    o[QStringLiteral("model")] = model;
    o[QStringLiteral("serialNo")] = serialNo;
    o[QStringLiteral("manufactureNo")] = manufactureNo;
    o[QStringLiteral("stationId")] = stationId;
    o[QStringLiteral("userId")] = userId;
    o[QStringLiteral("programNumber")] = programNumber;
    o[QStringLiteral("sum")] = sum;
    o[QStringLiteral("gas")] = gas;
    if (kind == Kind::Zero)
        o[QStringLiteral("zeroResult")] =
            passed ? QStringLiteral("complete") : QStringLiteral("failed");
    o[QStringLiteral("spanConcentration")] = concentration(spanConcentration);
    o[QStringLiteral("readingBefore")] = concentration(readingBefore);
    o[QStringLiteral("readingAfter")] = concentration(readingAfter);
    o[QStringLiteral("lastCalibration")] =
        lastCalibration.isValid() ? QJsonValue(Stamp(lastCalibration)) : QJsonValue();
    o[QStringLiteral("pcTime")] = Stamp(pcTime);
    o[QStringLiteral("detectorTime")] = Stamp(detectorTime);
    o[QStringLiteral("calibrationIntervalDays")] = intervalDays;
    const QDate due = nextDue();
    o[QStringLiteral("nextDue")] =
        due.isValid() ? QJsonValue(due.toString(Qt::ISODate)) : QJsonValue();
    o[QStringLiteral("technician")] = technician;
    o[QStringLiteral("programVersion")] = programVersion;
    if (acceptance) o[QStringLiteral("acceptance")] = acceptance->toJson();
    return o;
}

QString CalibrationCertificateData::unusedPathBase(const QString& folder) const {
    // Two calibrations of one detector within a second share a name; the later one takes the
    // next number rather than replacing the earlier record.
    return UnusedPathBase(folder, baseName(), {QStringLiteral(".pdf"), QStringLiteral(".json")});
}

bool CalibrationCertificateData::writeJson(const QString& path, QString* error) const {
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) {
        if (error) *error = out.errorString();
        return false;
    }
    const QByteArray bytes = QJsonDocument(toJson()).toJson(QJsonDocument::Indented);
    if (out.write(bytes) != bytes.size() || !out.flush() || !out.commit()) {
        if (error) *error = out.errorString();
        return false;
    }
    return true;
}
