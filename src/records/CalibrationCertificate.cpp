#include "records/CalibrationCertificate.h"

#include "records/PdfPage.h"
#include "shell/Messages.h"

#include <QDir>
#include <QFile>

namespace {

constexpr int kMsgTitle = 2220;
constexpr int kMsgModel = 2221;
constexpr int kMsgSerial = 2222;
constexpr int kMsgManufacture = 2223;
constexpr int kMsgStation = 2224;
constexpr int kMsgUser = 2225;
constexpr int kMsgProgram = 2226;
constexpr int kMsgSum = 2227;
constexpr int kMsgGas = 2228;
constexpr int kMsgFullScale = 2229;
constexpr int kMsgCalibration = 2230;
constexpr int kMsgZero = 2231;
constexpr int kMsgSpan = 2232;
constexpr int kMsgZeroResult = 2233;
constexpr int kMsgSpanConcentration = 2234;
constexpr int kMsgBefore = 2235;
constexpr int kMsgAfter = 2236;
constexpr int kMsgResult = 2237;
constexpr int kMsgPass = 2238;
constexpr int kMsgFail = 2239;
constexpr int kMsgPcTime = 2240;
constexpr int kMsgDetectorTime = 2241;
constexpr int kMsgInterval = 2242;
constexpr int kMsgDays = 2243;
constexpr int kMsgNextDue = 2244;
constexpr int kMsgTechnician = 2245;
constexpr int kMsgVersion = 2246;
constexpr int kMsgComplete = 2249;
constexpr int kMsgLastCalibration = 2250;
constexpr int kMsgNone = 2251;
constexpr int kMsgAcceptanceBand = 6150;
constexpr int kMsgAcceptance = 6151;
constexpr int kMsgBandText = 6157;

QString Stamp(const QDateTime& t) {
    return t.isValid() ? t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : LoadMessage(kMsgNone);
}

QString OrNone(const QString& text) {
    return text.trimmed().isEmpty() ? LoadMessage(kMsgNone) : text.trimmed();
}

bool g_enabled = false;

} // namespace

bool CalibrationCertificate::Enabled() {
    return g_enabled;
}

void CalibrationCertificate::setEnabled(bool on) {
    g_enabled = on;
}

QList<QPair<QString, QString>> CalibrationCertificate::Rows(const CalibrationCertificateData& d) {
    const bool zero = d.kind == CalibrationCertificateData::Kind::Zero;
    auto conc = [&d](float v) {
        const QString text = d.concentrationText(v);
        return text.isEmpty() ? LoadMessage(kMsgNone) : text + u' ' + d.gasUnit;
    };
    QList<QPair<QString, QString>> rows;
    rows << qMakePair(LoadMessage(kMsgModel), OrNone(d.model))
         << qMakePair(LoadMessage(kMsgSerial), OrNone(d.serialNo))
         << qMakePair(LoadMessage(kMsgManufacture), OrNone(d.manufactureNo))
         << qMakePair(LoadMessage(kMsgStation), OrNone(d.stationId))
         << qMakePair(LoadMessage(kMsgUser), OrNone(d.userId))
         << qMakePair(LoadMessage(kMsgProgram), OrNone(d.programNumber))
         << qMakePair(LoadMessage(kMsgSum), OrNone(d.sum))
         << qMakePair(LoadMessage(kMsgGas), OrNone(d.gasName + u' ' + d.gasUnit))
         << qMakePair(LoadMessage(kMsgFullScale), conc(d.fullScale))
         << qMakePair(LoadMessage(kMsgCalibration), LoadMessage(zero ? kMsgZero : kMsgSpan));
    if (zero)
        rows << qMakePair(LoadMessage(kMsgZeroResult),
                          LoadMessage(d.passed ? kMsgComplete : kMsgFail));
    rows << qMakePair(LoadMessage(kMsgSpanConcentration), conc(d.spanConcentration))
         << qMakePair(LoadMessage(kMsgLastCalibration), Stamp(d.lastCalibration))
         << qMakePair(LoadMessage(kMsgBefore), conc(d.readingBefore))
         << qMakePair(LoadMessage(kMsgAfter), conc(d.readingAfter))
         << qMakePair(LoadMessage(kMsgResult), LoadMessage(d.passed ? kMsgPass : kMsgFail));
    if (const std::optional<SpanAcceptance>& a = d.acceptance)
        rows << qMakePair(LoadMessage(kMsgAcceptanceBand),
                          LoadMessage(kMsgBandText, {a->text(a->low()), a->text(a->high()),
                                                     d.gasUnit, a->text(a->band)}))
             << qMakePair(LoadMessage(kMsgAcceptance),
                          LoadMessage(a->passed ? kMsgPass : kMsgFail));
    rows << qMakePair(LoadMessage(kMsgPcTime), Stamp(d.pcTime))
         << qMakePair(LoadMessage(kMsgDetectorTime), Stamp(d.detectorTime))
         << qMakePair(LoadMessage(kMsgInterval),
                      d.intervalDays > 0 ? LoadMessage(kMsgDays, {QString::number(d.intervalDays)})
                                         : LoadMessage(kMsgNone));
    const QDate due = d.nextDue();
    rows << qMakePair(LoadMessage(kMsgNextDue),
                      due.isValid() ? due.toString(Qt::ISODate) : LoadMessage(kMsgNone))
         << qMakePair(LoadMessage(kMsgTechnician), OrNone(d.technician))
         << qMakePair(LoadMessage(kMsgVersion), OrNone(d.programVersion));
    return rows;
}

bool CalibrationCertificate::WritePdf(const CalibrationCertificateData& data, const QString& path,
                                      QString* error) {
    return PdfPage::Write(path, LoadMessage(kMsgTitle), Rows(data), {}, error);
}

bool CalibrationCertificate::Write(const CalibrationCertificateData& data, const QString& folder,
                                   QStringList* written, QString* error) {
    const QString base = data.unusedPathBase(folder);
    const QString pdf = base + QStringLiteral(".pdf");
    if (!WritePdf(data, pdf, error)) return false;
    const QString json = base + QStringLiteral(".json");
    if (!data.writeJson(json, error)) {
        if (error) *error = QDir::toNativeSeparators(json) + QStringLiteral(": ") + *error;
        QFile::remove(pdf);
        return false;
    }
    if (written) *written << pdf << json;
    return true;
}
