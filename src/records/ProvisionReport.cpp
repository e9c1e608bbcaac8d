#include "records/ProvisionReport.h"

#include "instrument/GasChannel.h"
#include "instrument/clsInstrument.h"
#include "records/CalibrationCertificateData.h"
#include "records/PdfPage.h"
#include "shell/Messages.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSysInfo>

namespace {

constexpr int kMsgTitle = 6160;
constexpr int kMsgMaster = 6161;
constexpr int kMsgVerdict = 6162;
constexpr int kMsgFound = 6163;
constexpr int kMsgWritten = 6164;
constexpr int kMsgRemaining = 6165;
constexpr int kMsgSetting = 6166;
constexpr int kMsgDetectorValue = 6167;
constexpr int kMsgMasterValue = 6168;
constexpr int kMsgNotCompared = 6169;
// Shared with the calibration certificate.
constexpr int kMsgModel = 2221;
constexpr int kMsgSerial = 2222;
constexpr int kMsgManufacture = 2223;
constexpr int kMsgStation = 2224;
constexpr int kMsgUser = 2225;
constexpr int kMsgGas = 2228;
constexpr int kMsgPcTime = 2240;
constexpr int kMsgTechnician = 2245;
constexpr int kMsgVersion = 2246;
constexpr int kMsgNone = 2251;

QString OrNone(const QString& text) {
    return text.trimmed().isEmpty() ? LoadMessage(kMsgNone) : text.trimmed();
}

QStringList Captions(const QList<MasterCompare::Difference>& differences) {
    QStringList captions;
    for (const MasterCompare::Difference& d : differences) captions << d.caption;
    return captions;
}

} // namespace

QString ProvisionReport::verdict() const {
    return passed() ? QStringLiteral("PASS") : QStringLiteral("FAIL");
}

ProvisionReport ProvisionReport::FromRecord(const clsInstrument& detector,
                                            const QString& masterFile, const QDateTime& pcTime) {
    ProvisionReport r;
    r.model = detector.ModelTyp();
    r.serialNo = detector.SerialNo();
    r.manufactureNo = detector.DummySerial();
    r.stationId = detector.StationID();
    r.userId = detector.UserID();
    r.gas = FormatGasLabel(detector, 0, true);
    r.masterFile = masterFile;
    r.pcTime = pcTime;
    r.technician = CalibrationCertificateData::CurrentUserName();
    r.computer = QSysInfo::machineHostName();
    r.programVersion = QStringLiteral(KM71_VERSION);
    return r;
}

QString ProvisionReport::baseName() const {
    return QStringLiteral("%1_%2_provision")
        .arg(SafeNamePart(serialNo), pcTime.toString(QStringLiteral("yyyy-MM-dd_HHmmss")));
}

QJsonArray ProvisionReport::DifferencesJson(const QList<MasterCompare::Difference>& differences) {
    QJsonArray array;
    for (const MasterCompare::Difference& d : differences)
        array.append(QJsonObject{{QStringLiteral("key"), d.key},
                                 {QStringLiteral("caption"), d.caption},
                                 {QStringLiteral("detector"), d.detector},
                                 {QStringLiteral("master"), d.master}});
    return array;
}

QJsonObject ProvisionReport::toJson() const {
    QJsonObject o;
    o[QStringLiteral("report")] = QStringLiteral("provision");
    o[QStringLiteral("verdict")] = verdict();
    o[QStringLiteral("model")] = model;
    o[QStringLiteral("serialNo")] = serialNo;
    o[QStringLiteral("manufactureNo")] = manufactureNo;
    o[QStringLiteral("stationId")] = stationId;
    o[QStringLiteral("userId")] = userId;
    o[QStringLiteral("gas")] = gas;
    o[QStringLiteral("masterFile")] = masterFile;
    o[QStringLiteral("pcTime")] = pcTime.toString(Qt::ISODate);
    o[QStringLiteral("technician")] = technician;
    o[QStringLiteral("computer")] = computer;
    o[QStringLiteral("programVersion")] = programVersion;
    o[QStringLiteral("found")] = DifferencesJson(found);
    o[QStringLiteral("written")] = QJsonArray::fromStringList(written);
    o[QStringLiteral("remaining")] = DifferencesJson(remaining);
    if (!failure.isEmpty()) o[QStringLiteral("failure")] = failure;
    return o;
}

QJsonObject ProvisionReport::eventDetails(const QString& reportFile) const {
    QJsonObject o;
    o[QStringLiteral("verdict")] = verdict();
    o[QStringLiteral("written")] = QJsonArray::fromStringList(written);
    o[QStringLiteral("remaining")] = DifferencesJson(remaining);
    if (!reportFile.isEmpty()) o[QStringLiteral("report")] = reportFile;
    if (!failure.isEmpty()) o[QStringLiteral("reason")] = failure;
    return o;
}

QList<QPair<QString, QString>> ProvisionReport::rows() const {
    const QString stamp = pcTime.isValid()
                              ? pcTime.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                              : LoadMessage(kMsgNone);
    QString outcome = verdict();
    if (!failure.isEmpty()) outcome += QStringLiteral(" (%1)").arg(failure);
    // The settings written by their names where the first comparison named them.
    QStringList writtenCaptions;
    for (const QString& key : written) {
        QString caption = key;
        for (const MasterCompare::Difference& d : found)
            if (d.key == key) caption = d.caption;
        writtenCaptions << caption;
    }
    QList<QPair<QString, QString>> rows;
    rows << qMakePair(LoadMessage(kMsgVerdict), outcome)
         << qMakePair(LoadMessage(kMsgModel), OrNone(model))
         << qMakePair(LoadMessage(kMsgSerial), OrNone(serialNo))
         << qMakePair(LoadMessage(kMsgManufacture), OrNone(manufactureNo))
         << qMakePair(LoadMessage(kMsgStation), OrNone(stationId))
         << qMakePair(LoadMessage(kMsgUser), OrNone(userId))
         << qMakePair(LoadMessage(kMsgGas), OrNone(gas))
         << qMakePair(LoadMessage(kMsgMaster), OrNone(masterFile))
         << qMakePair(LoadMessage(kMsgFound), OrNone(Captions(found).join(QStringLiteral(", "))))
         << qMakePair(LoadMessage(kMsgWritten), OrNone(writtenCaptions.join(QStringLiteral(", "))))
         << qMakePair(LoadMessage(kMsgPcTime), stamp)
         << qMakePair(LoadMessage(kMsgTechnician), OrNone(technician))
         << qMakePair(LoadMessage(kMsgVersion), OrNone(programVersion));
    return rows;
}

PdfPage::Table ProvisionReport::table() const {
    PdfPage::Table table;
    if (!failure.isEmpty()) {
        table.title = LoadMessage(kMsgNotCompared);
    } else if (!remaining.isEmpty()) {
        table.title = LoadMessage(kMsgRemaining);
        table.header = QStringList{LoadMessage(kMsgSetting), LoadMessage(kMsgDetectorValue),
                                   LoadMessage(kMsgMasterValue)};
        for (const MasterCompare::Difference& d : remaining)
            table.rows << QStringList{d.caption, d.detector, d.master};
    }
    return table;
}

bool ProvisionReport::needsSystemFont() const {
    return PdfPage::NeedsSystemFont(LoadMessage(kMsgTitle), rows(), table());
}

QString ProvisionReport::UnusedBase(const ProvisionReport& report, const QString& folder,
                                    const QSet<QString>& claimed) {
    return UnusedPathBase(folder, report.baseName(),
                          {QStringLiteral(".pdf"), QStringLiteral(".json")}, claimed);
}

bool ProvisionReport::Write(const ProvisionReport& report, const QString& folder,
                            QStringList* written, QString* error) {
    return WriteAt(report, UnusedBase(report, folder), written, error);
}

bool ProvisionReport::WriteAt(const ProvisionReport& report, const QString& base,
                              QStringList* written, QString* error) {
    const PdfPage::Table table = report.table();
    const QString pdf = base + QStringLiteral(".pdf");
    if (!PdfPage::Write(pdf, LoadMessage(kMsgTitle), report.rows(), table, error)) return false;

    const QString json = base + QStringLiteral(".json");
    if (!PdfPage::SaveWhole(json, QJsonDocument(report.toJson()).toJson(QJsonDocument::Indented),
                            error)) {
        QFile::remove(pdf);
        return false;
    }
    if (written) *written << pdf << json;
    return true;
}
