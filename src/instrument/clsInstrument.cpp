#include "instrument/clsInstrument.h"

#include "instrument/WireFormat.h"

#include <QLocale>
#include <cmath>
#include <optional>

namespace {

// An identity text trimmed of surrounding blanks; empty becomes a run of `width` "-".
QString normalisedId(const QString& text, int width) {
    const QString t = text.trimmed();
    return t.isEmpty() ? QString(width, u'-') : t;
}

// A number field of the gas definition: "." is always accepted, the locale's separator too.
// `separator` receives the decimal separator the field was read with.
std::optional<float> parseNumber(const QString& field, QChar* separator = nullptr) {
    const QString t = field.trimmed();
    if (t.isEmpty()) return std::nullopt;
    QLocale dot = QLocale::c();
    dot.setNumberOptions(QLocale::RejectGroupSeparator);
    QLocale local;
    local.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    float v = dot.toFloat(t, &ok);
    QChar used = u'.';
    if (!ok) {
        v = local.toFloat(t, &ok);
        used = local.decimalPoint().front();
    }
    if (!ok || !std::isfinite(v)) return std::nullopt;
    if (separator) *separator = used;
    return v;
}

// Full scale and resolution of a gas definition. A negative number is refused: the writer
// turns any negative value field into "*****", so such a definition could be neither sent back
// to a detector nor stored in a file that reads again.
std::optional<float> gasDefinitionNumber(const QString& field, QChar* separator = nullptr) {
    const std::optional<float> v = parseNumber(field, separator);
    if (!v || *v < 0) return std::nullopt;
    return v;
}

// Decimal places given by the characters after the separator of a resolution field.
qint16 pointsOf(const QString& field, QChar separator) {
    const QString t = field.trimmed();
    const qsizetype at = t.indexOf(separator);
    return at < 0 ? qint16(0) : qint16(t.size() - at - 1);
}

} // namespace

clsInstrument::clsInstrument() {
    ClearDatas();
}

void clsInstrument::setSerialNo(const QString& v) {
    m_SerialNo = normalisedId(v, SerialWidth);
    m_Change_SerialNo = true;
}

void clsInstrument::setDummySerial(const QString& v) {
    m_DummySerial = normalisedId(v, SerialWidth);
    m_Change_DummySerial = true;
}

void clsInstrument::setUserID(const QString& v) {
    m_UserID = normalisedId(v, IdWidth);
    m_Change_UserID = true;
}

void clsInstrument::setStationID(const QString& v) {
    m_StationID = normalisedId(v, IdWidth);
    m_Change_StationID = true;
}

void clsInstrument::setIntervals(qint16 v) {
    if (v != m_Intervals) m_Change_Interval = true;
    m_Intervals = v;
}

void clsInstrument::ClearDatas() {
    m_CommFlags = false;

    setUserID(QString());
    setStationID(QString());
    setSerialNo(QString());
    setDummySerial(QString());

    m_RomNumber = 0;
    m_SysDate = 0.0;
    m_SysDateOffset = 0.0;

    m_HcMode = m_AlarmMode = m_AlarmMode2 = m_AIdata = m_AJdata = m_ABdata = 0;
    m_Intervals = m_DispCalLimit = m_CalCheck = m_LogOverWrite = m_AutoZero = m_DemandZero = 0;
    m_AK = m_JW = m_SE = m_RA = m_SpanAllowance = m_BumpFailBehavior = 0;
    m_PasswordProtect = m_UseUserPassword = m_LcBhMode = m_BhTime = m_LcBuzzer = 0;
    m_CalLimit = m_LcdBackLight = m_AlarmO2 = m_BumpLimit = m_BumpFailAfter = 1;
    m_autoBackLight = m_AlarmOnOff = m_StelTwaOnOff = 1;
    m_BumpTime = 60;
    m_BumpThreshold = 20;
    m_BumpFailCalTime = 90;
    m_JH = QStringLiteral("0000000000");
    m_SensorDate = QStringLiteral("000101");
    m_UserPassword2 = QStringLiteral("7193");

    m_StationList.fill(QString(IdWidth, u'-'));

    m_SpecType = QStringLiteral("0");

    m_GasName.clear();
    m_GasDesit = 0.0f;
    m_GasEnabled = false;
    m_GasPoint = 0;
    // The four zero and over-scale slots are all reset, not only the gas channel's.
    m_Zero.fill(0);
    m_OverScale.fill(0);
    m_Warning = m_Alarm = m_Stel = m_Twa = NoValue;
    m_CalibBefore = m_CalibAfter = m_AutoCalib = m_Ratio = NoValue;
    m_CalibDate = -101.0;

    ApplyGasDefinition(QString::fromLatin1(NoGasDefinition));

    ClearChangeFlags();
}

void clsInstrument::SetChangeFlags(bool flag, bool idFlag) {
    m_Change_DummySerial = false;

    m_Change_UserID = m_Change_StationID = m_Change_SerialNo = idFlag;
    m_Change_StationList.fill(idFlag);

    m_Change_SpecNo = m_Change_SpecType = m_Change_SensorDate = flag;
    m_Change_HCMode = m_Change_AlarmMode = m_Change_AlarmMode2 = m_Change_AlarmO2 = flag;
    m_Change_AK = m_Change_AlarmOnOff = m_Change_StelTwaOnOff = flag;
    m_Change_AIdata = m_Change_AJdata = m_Change_ABdata = m_Change_Confirmation = flag;
    m_Change_LogOverWrite = m_Change_Interval = m_Change_JW = m_Change_JH = flag;
    m_Change_SE = m_Change_RA = flag;
    m_Change_CalLimit = m_Change_DispCalLimit = m_Change_CalCheck = flag;
    m_Change_AutoZero = m_Change_DemandZero = m_Change_SpanAllowance = flag;
    m_Change_BumpFunction = m_Change_DispBumpLimit = m_Change_BumpLimit = flag;
    m_Change_BumpCheck = m_Change_BumpTime = m_Change_BumpThreshold = flag;
    m_Change_BumpFailAfter = m_Change_BumpFailCalTime = m_Change_BumpFailBehavior = flag;
    m_Change_LcdBackLight = m_Change_autoBackLight = m_Change_LcBhMode = flag;
    m_Change_BhTime = m_Change_LcBuzzer = flag;
    m_Change_PasswordProtect = m_Change_UseUserPassword = m_Change_UserPassword2 = flag;
    m_Change_LSData.fill(flag);

    m_Change_GasEnable = m_Change_GasPoint = flag;
    m_Change_Warn = m_Change_Alarm = m_Change_Stel = m_Change_Twa = flag;
    m_Change_AutoCal = m_Change_Ratio = flag;
    // All four zero and over-scale slots, so that a cleared record has no flag raised.
    m_Change_Zero.fill(flag);
    m_Change_OverScale.fill(flag);

    // The pump flags (FlowLevel, pressOffset) belong to the factory dialog and stay as they are.
}

void clsInstrument::ClearChangeFlags() {
    SetChangeFlags(false, false);
}

bool clsInstrument::IsGasDefinition(const QString& text) {
    if (text == QLatin1String(NoGasDefinition)) return true;
    return gasDefinitionNumber(text.mid(4, 5)).has_value() &&
           gasDefinitionNumber(text.mid(9, 5)).has_value();
}

bool clsInstrument::ApplyGasDefinition(const QString& text18) {
    if (text18 == QLatin1String(NoGasDefinition)) {
        setGasName(0, QString());
        setGasUnit(0, QString());
        setGasEnabled(0, false);
        setGasFullScale(0, NoValue);
        setGasDesit(0, 0.0f);
        setGasPoint(0, qint16(NoValue));
        return true;
    }
    const std::optional<float> fullScale = gasDefinitionNumber(text18.mid(4, 5));
    QChar separator = u'.';
    const std::optional<float> digit = gasDefinitionNumber(text18.mid(9, 5), &separator);
    if (!fullScale || !digit) return false;
    setGasName(0, text18.left(4).trimmed());
    setGasEnabled(0, true);
    setGasFullScale(0, *fullScale);
    setGasDesit(0, *digit);
    setGasPoint(0, pointsOf(text18.mid(9, 5), separator));
    setGasUnit(0, text18.mid(14, 4).trimmed());
    return true;
}

QString clsInstrument::GasDefinitionText() const {
    if (!m_GasEnabled) return QString::fromLatin1(NoGasDefinition);
    return WireFormat::Pad(m_GasName, 4) + WireFormat::Val5(m_GasFullScale, m_GasPoint) +
           WireFormat::Val5(m_GasDesit, m_GasPoint) + WireFormat::Pad(m_GasUnit, 4);
}
