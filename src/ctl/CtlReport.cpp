#include "ctl/CtlReport.h"

#include "instrument/GasChannel.h"
#include "instrument/clsInstrument.h"
#include "shell/Messages.h"
#include "shell/OleDate.h"
#include "shell/modGasCommon.h"

#include <QJsonArray>
#include <QList>
#include <charconv>
#include <cmath>

namespace {

// One setting: its JSON key, its shown name and its value.
struct Setting {
    QString key;
    QString name;
    QJsonValue value;
};

QList<Setting> Settings(const clsInstrument& r) {
    QList<Setting> s;
    auto add = [&s](const char* key, int message, const char* fallback, const QJsonValue& v) {
        s.append({QString::fromLatin1(key), CtlReport::SettingName(message, fallback), v});
    };
    add("AlarmMode", 8004, "Alarm pattern(1st)", int(r.AlarmMode()));
    add("AlarmMode2", 9101, "Alarm pattern(2nd)", int(r.AlarmMode2()));
    add("DispCalLimit", 8010, "Cal.Limit Display", int(r.DispCalLimit()));
    add("CalLimit", 5655, "Cal.Interval(Days)", int(r.CalLimit()));
    add("CalCheck", 8011, "Cal.Limit Check", int(r.CalCheck()));
    add("Confirmation", 8044, "Confirmation Lamp", int(r.Confirmation()));
    add("LogOverWrite", 8009, "Logger Over Write", int(r.LogOverWrite()));
    add("LcdBackLight", 8023, "LCD Backlight Time(1-255sec)", int(r.LcdBackLight()));
    add("AIdata", 9102, "Auto Stop Time(sec)", int(r.AIdata()));
    add("AJdata", 9103, "Reset Time (sec)", int(r.AJdata()));
    add("ABdata", 9104, "Buzzer Volume Selection", int(r.ABdata()));
    add("BumpFunction", 8083, "Bump Test Function", int(r.BumpFunction()));
    add("DispBumpLimit", 8081, "Bump Test Limit Display", int(r.DispBumpLimit()));
    add("BumpLimit", 8080, "Bump Test Time Limit(0-30days)", int(r.BumpLimit()));
    add("BumpCheck", 8082, "Bump Test Limit Check", int(r.BumpCheck()));
    add("BumpTime", 8029, "Bump Test Time(5-90sec)", int(r.BumpTime()));
    add("BumpThreshold", 8030, "Bump Test Threshold(10-50%)", int(r.BumpThreshold()));
    add("BumpFailAfter", 8031, "Calibration after Bump Test Failed", int(r.BumpFailAfter()));
    add("BumpFailCalTime", 8032, "Calibration Time(60-120sec) after Bump Test Failed",
        int(r.BumpFailCalTime()));
    if (r.ModelTyp() == QLatin1String("QZ"))
        add("AlarmO2", 8022, "OXY Alarm type", int(r.AlarmO2()));
    if (r.ModelTyp() == QLatin1String("VL")) add("AK", 20013, "TWA/A-1H", int(r.AK()));
    add("JW", 8084, "Auto Awakening", int(r.JW()));
    add("JH", 8085, "Awakening Date Time", r.JH());
    add("SE", 8086, "One Touch Cal. Time(0-120sec)", int(r.SE()));
    add("Intervals", 5223, "Interval Trend Time (Sec)", int(r.Intervals()));
    add("SpecType", 8015, "Destination", r.SpecType());
    add("AutoZero", 8019, "Auto Zero Adjustment", int(r.AutoZero()));
    add("DemandZero", 8020, "Zero Adjustment on demand", int(r.DemandZero()));
    add("SpanAllowance", 8057, "Maximum Span", int(r.SpanAllowance()));
    add("BumpFailBehavior", 8058, "Bump Fail Behavior", int(r.BumpFailBehavior()));
    add("SensorDate", 8059, "Sensor use start day", r.SensorDate());
    add("PasswordProtect", 8062, "Power Off Password Protection", int(r.PasswordProtect()));
    add("UseUserPassword", 8021, "Enable User Password", int(r.UseUserPassword()));
    add("UserPassword2", 8024, "User Password", r.UserPassword2());
    add("RA", 0, "Alarm test", int(r.RA()));
    return s;
}

// Channel labels of the A/D values list by model.
QStringList AnalogLabels(const QString& model) {
    if (model == QLatin1String("KM"))
        return {QStringLiteral("ch0 AMP1"), QStringLiteral("ch1 ---"), QStringLiteral("ch2 BAT"),
                QStringLiteral("ch3 TH")};
    if (model == QLatin1String("QZ"))
        return {QStringLiteral("ch0 AMP1"), QStringLiteral("ch1 BAT"), QStringLiteral("ch2 TH"),
                QStringLiteral("ch3 ---")};
    if (model == QLatin1String("VL"))
        return {QStringLiteral("ch0 AMP1"), QStringLiteral("ch1 BAT"), QStringLiteral("ch2 TH"),
                QStringLiteral("ch3 AMP2")};
    return {};
}

// A concentration for people: "-----" when it has no value.
QString LevelText(float value, int places) {
    if (value < 0) return QStringLiteral("-----");
    return FormatDigits(value, places);
}

// A concentration for scripts: null when it has no value.
QJsonValue LevelJson(float value) {
    if (value < 0 || !std::isfinite(value)) return QJsonValue::Null;
    return CtlReport::JsonNumber(value);
}

QJsonValue DateJson(double oleDate) {
    const QString text = CtlReport::DateText(oleDate);
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

QString OffsetText(double days) {
    const qint64 seconds = qRound64(days * 86400.0);
    // The detector keeps whole seconds.
    if (qAbs(seconds) <= 1) return QStringLiteral("same as this computer");
    return QStringLiteral("%1 s %2 this computer")
        .arg(qAbs(seconds))
        .arg(seconds > 0 ? QStringLiteral("ahead of") : QStringLiteral("behind"));
}

} // namespace

namespace CtlReport {

QString SettingName(int message, const char* fallback) {
    if (message > 0 && HasMessage(message)) return LoadMessage(message);
    return QString::fromLatin1(fallback);
}

double JsonNumber(float value) {
    if (!std::isfinite(value)) return 0.0;
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return QByteArray(text, int(end - text)).toDouble();
}

QString DateText(double oleDate) {
    if (oleDate == 0.0) return {};
    const QDateTime t = OleToDateTime(oleDate);
    if (!t.isValid()) return {};
    return t.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

QStringList InfoLines(const clsInstrument& r) {
    QList<QPair<QString, QString>> rows;
    auto row = [&rows](const QString& name, const QString& value) { rows.append({name, value}); };
    const int places = r.GasPoint(0);

    row(QStringLiteral("Model"), r.ModelTyp());
    row(SettingName(5608, "Serial No."), r.SerialNo());
    row(SettingName(8003, "Manufacture number"), r.DummySerial());
    row(SettingName(5610, "User ID"), r.UserID());
    row(SettingName(5609, "Station ID"), r.StationID());
    row(QStringLiteral("Spec No"), r.SpecNo());
    row(QStringLiteral("ROM"), QStringLiteral("%1").arg(r.RomNumber(), 5, 10, QLatin1Char('0')));
    row(QStringLiteral("SUM"), r.SUM());
    const QString clock = DateText(r.SysDate());
    row(QStringLiteral("Clock"),
        clock.isEmpty()
            ? QStringLiteral("-")
            : clock + QStringLiteral(" (") + OffsetText(r.SysDateOffset()) + QLatin1Char(')'));
    if (r.GasEnabled(0)) {
        row(SettingName(5648, "Gas"), FormatGasLabel(r, 0, true) + QStringLiteral(", resolution ") +
                                          FormatDigits(r.GasDesit(0), places));
    } else {
        row(SettingName(5648, "Gas"), QStringLiteral("not defined"));
    }
    row(SettingName(5650, "Warning"), LevelText(r.Warning(0), places));
    row(SettingName(5651, "Alarm"), LevelText(r.Alarm(0), places));
    row(SettingName(5652, "STEL"), LevelText(r.Stel(0), places));
    row(SettingName(5653, "TWA"), LevelText(r.Twa(0), places));
    row(SettingName(5654, "Auto Cal."), LevelText(r.AutoCalib(0), places));

    for (const Setting& s : Settings(r))
        row(s.name, s.value.isString() ? s.value.toString() : QString::number(s.value.toInteger()));

    const QString calib = DateText(r.CalibDate(0));
    row(QStringLiteral("Last calibration"),
        calib.isEmpty()
            ? QStringLiteral("-")
            : calib + QStringLiteral(", before ") + LevelText(r.CalibBefore(0), places) +
                  QStringLiteral(", after ") + LevelText(r.CalibAfter(0), places));
    const QString bump = DateText(r.BumpDates(0));
    row(QStringLiteral("Last bump test"),
        bump.isEmpty()
            ? QStringLiteral("-")
            : bump + QStringLiteral(", result ") + LevelText(r.BumpResult(0), places) +
                  QStringLiteral(", concentration ") + LevelText(r.BumpConcentration(0), places));
    row(QStringLiteral("ZERO"), QString::number(double(r.SZ(0))));
    row(QStringLiteral("SPAN"), QString::number(double(r.S1(0))));
    const QStringList labels = AnalogLabels(r.ModelTyp());
    for (int ch = 0; ch < labels.size(); ++ch)
        row(labels.at(ch), QString::number(r.AnalogValue(ch)) + QStringLiteral(" mV"));

    qsizetype width = 0;
    for (const auto& [name, value] : rows)
        width = qMax(width, name.size());
    QStringList lines;
    for (const auto& [name, value] : rows)
        lines << (name + QLatin1Char(':')).leftJustified(width + 2) + value;
    return lines;
}

QJsonObject InfoJson(const clsInstrument& r) {
    QJsonObject o;
    o[QStringLiteral("model")] = r.ModelTyp();
    o[QStringLiteral("serialNo")] = r.SerialNo();
    o[QStringLiteral("manufactureNo")] = r.DummySerial();
    o[QStringLiteral("userId")] = r.UserID();
    o[QStringLiteral("stationId")] = r.StationID();
    o[QStringLiteral("specNo")] = r.SpecNo();
    o[QStringLiteral("rom")] = r.RomNumber();
    o[QStringLiteral("sum")] = r.SUM();
    o[QStringLiteral("clock")] = DateJson(r.SysDate());
    o[QStringLiteral("clockOffsetSeconds")] = double(qRound64(r.SysDateOffset() * 86400.0));

    QJsonObject gas;
    gas[QStringLiteral("enabled")] = r.GasEnabled(0);
    gas[QStringLiteral("name")] = r.GasName(0).trimmed();
    gas[QStringLiteral("unit")] = r.GasUnit(0).trimmed();
    gas[QStringLiteral("fullScale")] = JsonNumber(r.GasFullScale(0));
    gas[QStringLiteral("resolution")] = JsonNumber(r.GasDesit(0));
    gas[QStringLiteral("decimals")] = int(r.GasPoint(0));
    gas[QStringLiteral("warning")] = LevelJson(r.Warning(0));
    gas[QStringLiteral("alarm")] = LevelJson(r.Alarm(0));
    gas[QStringLiteral("stel")] = LevelJson(r.Stel(0));
    gas[QStringLiteral("twa")] = LevelJson(r.Twa(0));
    gas[QStringLiteral("autoCal")] = LevelJson(r.AutoCalib(0));
    o[QStringLiteral("gas")] = gas;

    QJsonObject settings;
    for (const Setting& s : Settings(r))
        settings[s.key] = s.value;
    o[QStringLiteral("settings")] = settings;

    QJsonObject calib;
    calib[QStringLiteral("date")] = DateJson(r.CalibDate(0));
    calib[QStringLiteral("before")] = LevelJson(r.CalibBefore(0));
    calib[QStringLiteral("after")] = LevelJson(r.CalibAfter(0));
    o[QStringLiteral("lastCalibration")] = calib;
    QJsonObject bump;
    bump[QStringLiteral("date")] = DateJson(r.BumpDates(0));
    bump[QStringLiteral("result")] = LevelJson(r.BumpResult(0));
    bump[QStringLiteral("concentration")] = LevelJson(r.BumpConcentration(0));
    o[QStringLiteral("lastBumpTest")] = bump;
    o[QStringLiteral("zero")] = JsonNumber(r.SZ(0));
    o[QStringLiteral("span")] = JsonNumber(r.S1(0));

    QJsonArray analog;
    for (int ch = 0; ch < 4; ++ch)
        analog.append(int(r.AnalogValue(ch)));
    o[QStringLiteral("analog")] = analog;
    return o;
}

} // namespace CtlReport
