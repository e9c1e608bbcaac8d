#include "records/FactoryRecord.h"

#include "configuration/ToolSettings.h"
#include "instrument/clsInstrument.h"
#include "shell/AppState.h"
#include "shell/Messages.h"
#include "shell/OleDate.h"
#include "shell/WriteError.h"
#include "shell/modGasCommon.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <array>
#include <cerrno>
#include <cmath>

namespace {

constexpr int kMsgAnalogListKM = 5905;
constexpr int kMsgAnalogListQZ = 5906;
constexpr int kMsgAnalogListVL = 5907;
// "The character that cannot be used for the file name is included."
constexpr int kMsgBadSuffix = 5862;
// "The factory record file could not be written.~c~1~c~2" (path, system text).
constexpr int kMsgRecordFailed = 2130;
// The 59 column headers are the consecutive entries from this one.
constexpr int kMsgFirstHeader = 2140;

const QString kRecordBaseName = QStringLiteral("KM71_Setting.csv");
const QString kLineEnd = QStringLiteral("\r\n");
const QString kDisabledGasField = QStringLiteral("-----");
// Characters a file name suffix may not hold.
const QString kForbiddenSuffixChars = QStringLiteral("\\/:|<>*?\"");

// Number of per-gas columns (41 to 54).
constexpr int kGasColumns = 14;

QString DateText(const QDateTime& when) {
    return when.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

// A date value of the record; empty when it is no date.
QString OleDateText(double value) {
    const QDateTime when = OleToDateTime(value);
    return when.isValid() ? DateText(when) : QString();
}

QString OnOff(qint16 value) {
    return value == 1 ? QStringLiteral("ON") : QStringLiteral("OFF");
}

QString AlarmPattern(qint16 mode) {
    if (mode == 1) return QStringLiteral("Latch");
    if (mode == 2) return QStringLiteral("Latch + Reset");
    return QStringLiteral("Reset");
}

// The limit check setting; a value the detector does not define is written as its number.
QString LimitCheck(qint16 value) {
    switch (value) {
    case 0:
        return QStringLiteral("Confirm to use");
    case 1:
        return QStringLiteral("Can't use");
    case 2:
        return QStringLiteral("None");
    default:
        return QString::number(value);
    }
}

// The destination; a value the detector does not define is written as it stands.
QString Destination(const QString& specType) {
    bool ok = false;
    const int value = specType.trimmed().toInt(&ok);
    if (ok && value == 0) return QStringLiteral("Domestic");
    if (ok && value == 1) return QStringLiteral("Foreign");
    if (ok && value == 2) return QStringLiteral("Germany");
    return specType;
}

QString OxygenAlarmType(const clsInstrument& record) {
    if (record.ModelTyp().trimmed() != QLatin1String("QZ")) return QStringLiteral("-");
    if (record.AlarmO2() == 1) return QStringLiteral("L-LL");
    if (record.AlarmO2() == 2) return QStringLiteral("H-HH");
    return QStringLiteral("L-H");
}

QString ExposureKind(const clsInstrument& record) {
    if (record.ModelTyp().trimmed() != QLatin1String("VL")) return QStringLiteral("-");
    return record.AK() == 1 ? QStringLiteral("A-1H") : QStringLiteral("TWA");
}

QString Number(int value) {
    return QString::number(value);
}

// Columns 41 to 54 of one gas.
QStringList GasFields(const clsInstrument& record, int gas) {
    if (!record.GasEnabled(gas)) {
        QStringList dashes;
        for (int i = 0; i < kGasColumns; ++i)
            dashes << kDisabledGasField;
        return dashes;
    }
    const int places = record.GasPoint(gas);
    const auto conc = [places](float value) { return FormatFixed5(value, places); };
    return {record.GasName(gas),
            conc(record.Warning(gas)),
            conc(record.Alarm(gas)),
            conc(record.Stel(gas)),
            conc(record.Twa(gas)),
            conc(record.AutoCalib(gas)),
            OleDateText(record.CalibDate(gas)),
            conc(record.CalibBefore(gas)),
            conc(record.CalibAfter(gas)),
            OleDateText(record.BumpDates(gas)),
            conc(record.BumpResult(gas)),
            conc(record.BumpConcentration(gas)),
            FormatDigits(record.SZ(gas), -1),
            FormatDigits(record.S1(gas), -1)};
}

// Writes all of `bytes` at the end of `file` (opened unbuffered, so the line goes out in one
// write); on a short or failed write the file is cut back to the length it had, so that it never
// ends in a partial line.
bool AppendWhole(QFile& file, const QByteArray& bytes, QString* error) {
    const qint64 before = file.size();
    errno = 0;
    if (file.write(bytes) == bytes.size()) return true;
    if (error) *error = WriteErrorText(file, errno);
    file.resize(before);
    return false;
}

// True when the file is empty or its last byte ends a line (or it cannot be read).
bool EndsWithLineBreak(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0) return true;
    return !file.seek(file.size() - 1) || file.read(1) == "\n";
}

// Creates the file with its header line only, atomically: either the whole header is there or
// no file is.
bool CreateWithHeader(const QString& path, QString* error) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        const QByteArray header =
            (FactoryRecordHeaders().join(ListSeparator()) + kLineEnd).toLocal8Bit();
        // The last of the bytes go out in flush(), whose failure commit() does not see.
        errno = 0;
        if (file.write(header) == header.size() && file.flush() && file.commit()) return true;
    }
    if (error) *error = WriteErrorText(file, errno);
    return false;
}

} // namespace

QString FactoryRecordPath(const QString& suffix) {
    const QString full = AppState::PathInStartupFolder(kRecordBaseName);
    return full.left(full.size() - 4) + suffix + QStringLiteral(".csv");
}

QStringList FactoryRecordHeaders() {
    QStringList headers;
    for (int i = 0; i < kFactoryRecordColumns; ++i)
        headers << LoadMessage(kMsgFirstHeader + i);
    return headers;
}

QDateTime DetectorClock(const clsInstrument& record, const QDateTime& now) {
    const double offset = record.SysDateOffset();
    // The offset is the detector clock minus the PC clock at the read, in days.
    if (!std::isfinite(offset) || std::fabs(offset) > 3.0e6) return now;
    const QDateTime detector = now.addMSecs(qint64(std::llround(offset * 86400000.0)));
    if (!detector.isValid() || detector.date().year() < 100 || detector.date().year() > 9999)
        return now;
    return detector;
}

QStringList FactoryRecordFields(const clsInstrument& record, const QString& kind,
                                const QDateTime& now) {
    QStringList f;
    f << kind << DateText(now) << DateText(DetectorClock(record, now)) << record.ModelTyp()
      << record.SpecNo() << record.SerialNo() << record.DummySerial()
      << QStringLiteral("%1").arg(record.RomNumber(), 5, 10, QLatin1Char('0')) << record.SUM()
      << record.StationID() << record.UserID() << AlarmPattern(record.AlarmMode())
      << AlarmPattern(record.AlarmMode2()) << Number(record.CalLimit())
      << OnOff(record.DispCalLimit()) << LimitCheck(record.CalCheck()) << Number(record.Intervals())
      << OnOff(record.LogOverWrite()) << Destination(record.SpecType()) << OxygenAlarmType(record)
      << Number(record.LcdBackLight()) << Number(record.AIdata()) << Number(record.AJdata())
      << OnOff(record.ABdata()) << OnOff(record.AutoZero()) << OnOff(record.DemandZero())
      << OnOff(record.SpanAllowance())
      << (record.BumpFailBehavior() == 1 ? QStringLiteral("Can Not Use") : QStringLiteral("None"))
      << record.SensorDate() << OnOff(record.PasswordProtect()) << OnOff(record.UseUserPassword())
      << record.UserPassword2() << OnOff(record.BumpFunction()) << Number(record.BumpLimit())
      << OnOff(record.DispBumpLimit()) << LimitCheck(record.BumpCheck())
      << Number(record.BumpTime()) << Number(record.BumpThreshold())
      << Number(record.BumpFailCalTime()) << OnOff(record.BumpFailAfter());
    for (int gas = 0; gas < clsInstrument::GasCount; ++gas)
        f << GasFields(record, gas);
    f << OnOff(record.Confirmation()) << ExposureKind(record) << OnOff(record.JW()) << record.JH()
      << Number(record.SE());
    return f;
}

bool AppendFactoryRecord(const QString& path, const clsInstrument& record, const QString& kind,
                         const QDateTime& now, QString* error) {
    const QFileInfo info(path);
    if (!info.exists() || (info.isFile() && info.size() == 0)) {
        if (!CreateWithHeader(path, error)) return false;
    }
    QByteArray line =
        (FactoryRecordFields(record, kind, now).join(ListSeparator()) + kLineEnd).toLocal8Bit();
    // A file that was cut off in the middle of a line gets its line ended first.
    if (!EndsWithLineBreak(path)) line.prepend(kLineEnd.toLatin1());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        if (error) *error = file.errorString();
        return false;
    }
    if (!AppendWhole(file, line, error)) return false;
    file.close();
    if (file.error() != QFileDevice::NoError) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

QString AppendToFactoryRecord(const clsInstrument& record, const QString& kind) {
    const QString suffix = Tool().FactoryRecordSuffix;
    for (const QChar c : suffix) {
        // The record never lands outside the start-up folder or under a name it cannot have.
        if (kForbiddenSuffixChars.contains(c)) return LoadMessage(kMsgBadSuffix);
    }
    const QString path = FactoryRecordPath(suffix);
    QString error;
    if (!AppendFactoryRecord(path, record, kind, QDateTime::currentDateTime(), &error))
        return LoadMessage(kMsgRecordFailed, {path, error});
    return {};
}

QStringList AnalogValuesList(const clsInstrument& record) {
    using Labels = std::array<const char*, 4>;
    const QString model = record.ModelTyp().trimmed();
    int title = 0;
    Labels labels{};
    if (model == QLatin1String("KM")) {
        title = kMsgAnalogListKM;
        labels = {"ch0 AMP1      ", "ch1 ---       ", "ch2 BAT       ", "ch3 TH        "};
    } else if (model == QLatin1String("QZ")) {
        title = kMsgAnalogListQZ;
        labels = {"ch0 AMP1      ", "ch1 BAT       ", "ch2 TH        ", "ch3 ---       "};
    } else if (model == QLatin1String("VL")) {
        title = kMsgAnalogListVL;
        labels = {"ch0 AMP1      ", "ch1 BAT       ", "ch2 TH        ", "ch3 AMP2      "};
    } else {
        return {};
    }
    QStringList lines{LoadMessage(title)};
    for (int channel = 0; channel < 4; ++channel) {
        const QString value =
            (QStringLiteral("    ") + QString::number(record.AnalogValue(channel))).right(4);
        lines << QString::fromLatin1(labels[channel]) + QStringLiteral("\t: ") + value +
                     QStringLiteral("mV");
    }
    return lines;
}
