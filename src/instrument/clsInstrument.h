#pragma once

#include <QString>
#include <QtGlobal>
#include <array>

// In-memory image of one detector: identity, gas channel definition, settings, live and
// historical values, linearisation tables and one change flag per writable setting.
//
// Every setter of a writable setting raises that setting's change flag (each time it is
// called, whether or not the value changes; `Intervals` is the one exception and raises its
// flag only on a real change). The write sequence lowers a flag once the detector has taken
// the value. Dates are OLE dates: days since 30 December 1899, fraction = time of day.
//
// Per-gas properties take a channel index; only channel 0 exists: reading another channel
// yields 0 (or an empty text) and writing one does nothing. `Zero` and `OverScale` hold four
// slots (0..3), the station list 256 entries, the linearisation tables 31 (`LI_`) and 2
// (`LS_`) entries; an index outside those ranges reads as 0 / empty / false and is not stored.
class clsInstrument {
public:
    // Value of a concentration setting that has none ("*****" in files and on the wire).
    static constexpr float NoValue = -101.0f;
    // Number of usable gas channels.
    static constexpr int GasCount = 1;
    // Slots of `Zero` and `OverScale`.
    static constexpr int ZeroSlots = 4;
    // Entries of the station list.
    static constexpr int StationCount = 256;
    // Channels of `AnalogValue`.
    static constexpr int AnalogCount = 9;
    // Entries of `LimitValue`.
    static constexpr int LimitCount = 2;
    // Entries of the `LI_` and `LS_` linearisation tables.
    static constexpr int LiCount = 31;
    static constexpr int LsCount = 2;
    // Widths of the identity texts (also the length of their "-" placeholder).
    static constexpr int IdWidth = 16;
    static constexpr int SerialWidth = 20;
    // The gas definition text that means "no gas".
    static constexpr char NoGasDefinition[] = "******************";

    // A new record, already cleared to its defaults.
    clsInstrument();

    // Resets the record to its defaults and lowers every change flag; "kept" values stay.
    void ClearDatas();
    // Sets change flags in bulk: identity flags and the station list to idFlag, the
    // settings to flag; Change_DummySerial always false, pump flags untouched.
    void SetChangeFlags(bool flag, bool idFlag);
    // Lowers every change flag that SetChangeFlags handles.
    void ClearChangeFlags();

    // Applies an 18-character gas definition (name 4, full scale 5, resolution 5, unit 4) or
    // the 18 "*" of "no gas" to channel 0 through the setters (raising Change_GasEnable(0)
    // and Change_GasPoint(0)). Returns false and changes nothing when a number field is not
    // a number.
    bool ApplyGasDefinition(const QString& text18);
    // The 18-character gas definition of channel 0, "." as decimal separator; 18 "*" when
    // the channel is not enabled.
    QString GasDefinitionText() const;
    // Whether `text` is a gas definition that ApplyGasDefinition accepts.
    static bool IsGasDefinition(const QString& text);

    // ---- Identity and state ----

    // Instrument serial number (trimmed; empty becomes 20 "-").
    QString SerialNo() const { return m_SerialNo; }
    void setSerialNo(const QString& v);
    bool Change_SerialNo() const { return m_Change_SerialNo; }
    void setChange_SerialNo(bool on) { m_Change_SerialNo = on; }

    // Manufacture number (trimmed; empty becomes 20 "-").
    QString DummySerial() const { return m_DummySerial; }
    void setDummySerial(const QString& v);
    bool Change_DummySerial() const { return m_Change_DummySerial; }
    void setChange_DummySerial(bool on) { m_Change_DummySerial = on; }

    // User identification (trimmed; empty becomes 16 "-").
    QString UserID() const { return m_UserID; }
    void setUserID(const QString& v);
    bool Change_UserID() const { return m_Change_UserID; }
    void setChange_UserID(bool on) { m_Change_UserID = on; }

    // Station identification (trimmed; empty becomes 16 "-").
    QString StationID() const { return m_StationID; }
    void setStationID(const QString& v);
    bool Change_StationID() const { return m_Change_StationID; }
    void setChange_StationID(bool on) { m_Change_StationID = on; }

    // Build variant number the detector reports with BS (ten characters on the wire).
    QString SpecNo() const { return m_SpecNo; }
    void setSpecNo(const QString& v) {
        m_SpecNo = v;
        m_Change_SpecNo = true;
    }
    bool Change_SpecNo() const { return m_Change_SpecNo; }
    void setChange_SpecNo(bool on) { m_Change_SpecNo = on; }

    // Destination ("0", "1" or "2").
    QString SpecType() const { return m_SpecType; }
    void setSpecType(const QString& v) {
        m_SpecType = v;
        m_Change_SpecType = true;
    }
    bool Change_SpecType() const { return m_Change_SpecType; }
    void setChange_SpecType(bool on) { m_Change_SpecType = on; }

    // Sensor use start day, six digits YYMMDD.
    QString SensorDate() const { return m_SensorDate; }
    void setSensorDate(const QString& v) {
        m_SensorDate = v;
        m_Change_SensorDate = true;
    }
    bool Change_SensorDate() const { return m_Change_SensorDate; }
    void setChange_SensorDate(bool on) { m_Change_SensorDate = on; }

    // Model type code: "KM", "QZ" or "VL".
    QString ModelTyp() const { return m_ModelTyp; }
    void setModelTyp(const QString& v) { m_ModelTyp = v; }

    // ROM number.
    qint32 RomNumber() const { return m_RomNumber; }
    void setRomNumber(qint32 v) { m_RomNumber = v; }

    // ROM checksum text.
    QString SUM() const { return m_SUM; }
    void setSUM(const QString& v) { m_SUM = v; }

    // Detector system date (OLE date).
    double SysDate() const { return m_SysDate; }
    void setSysDate(double v) { m_SysDate = v; }

    // Detector clock minus PC clock at the read, in days.
    double SysDateOffset() const { return m_SysDateOffset; }
    void setSysDateOffset(double v) { m_SysDateOffset = v; }

    // Text set by the reply decoder when a reply fails its check (the failing head).
    QString FailLine() const { return m_FailLine; }
    void setFailLine(const QString& v) { m_FailLine = v; }

    // True when the record holds the result of a successful read of the detector.
    bool CommFlags() const { return m_CommFlags; }
    void setCommFlags(bool v) { m_CommFlags = v; }

    // True when the record was filled from a configuration file.
    bool ImportFlag() const { return m_ImportFlag; }
    void setImportFlag(bool v) { m_ImportFlag = v; }

    // ---- Gas channel (index 0) ----

    // Gas name, for example CH4, O2, CO or H2S.
    QString GasName(int gas) const { return isGas(gas) ? m_GasName : QString(); }
    void setGasName(int gas, const QString& v) {
        if (isGas(gas)) m_GasName = v;
    }

    // Full-scale value of the range.
    float GasFullScale(int gas) const { return isGas(gas) ? m_GasFullScale : 0.0f; }
    void setGasFullScale(int gas, float v) {
        if (isGas(gas)) m_GasFullScale = v;
    }

    // Display resolution (digit).
    float GasDesit(int gas) const { return isGas(gas) ? m_GasDesit : 0.0f; }
    void setGasDesit(int gas, float v) {
        if (isGas(gas)) m_GasDesit = v;
    }

    // Decimal places of this gas's concentrations (1 to 3; anything else means none).
    qint16 GasPoint(int gas) const { return isGas(gas) ? m_GasPoint : qint16(0); }
    void setGasPoint(int gas, qint16 v) {
        if (isGas(gas)) {
            m_GasPoint = v;
            m_Change_GasPoint = true;
        }
    }
    bool Change_GasPoint(int gas) const { return isGas(gas) && m_Change_GasPoint; }
    void setChange_GasPoint(int gas, bool on) {
        if (isGas(gas)) m_Change_GasPoint = on;
    }

    // Unit text, for example %LEL, VOL% or ppm.
    QString GasUnit(int gas) const { return isGas(gas) ? m_GasUnit : QString(); }
    void setGasUnit(int gas, const QString& v) {
        if (isGas(gas)) m_GasUnit = v;
    }

    // Channel defined; its flag announces a change of the whole gas definition.
    bool GasEnabled(int gas) const { return isGas(gas) && m_GasEnabled; }
    void setGasEnabled(int gas, bool v) {
        if (isGas(gas)) {
            m_GasEnabled = v;
            m_Change_GasEnable = true;
        }
    }
    bool Change_GasEnable(int gas) const { return isGas(gas) && m_Change_GasEnable; }
    void setChange_GasEnable(int gas, bool on) {
        if (isGas(gas)) m_Change_GasEnable = on;
    }

    // First alarm level.
    float Warning(int gas) const { return isGas(gas) ? m_Warning : 0.0f; }
    void setWarning(int gas, float v) {
        if (isGas(gas)) {
            m_Warning = v;
            m_Change_Warn = true;
        }
    }
    bool Change_Warn(int gas) const { return isGas(gas) && m_Change_Warn; }
    void setChange_Warn(int gas, bool on) {
        if (isGas(gas)) m_Change_Warn = on;
    }

    // Second alarm level.
    float Alarm(int gas) const { return isGas(gas) ? m_Alarm : 0.0f; }
    void setAlarm(int gas, float v) {
        if (isGas(gas)) {
            m_Alarm = v;
            m_Change_Alarm = true;
        }
    }
    bool Change_Alarm(int gas) const { return isGas(gas) && m_Change_Alarm; }
    void setChange_Alarm(int gas, bool on) {
        if (isGas(gas)) m_Change_Alarm = on;
    }

    // STEL alarm level.
    float Stel(int gas) const { return isGas(gas) ? m_Stel : 0.0f; }
    void setStel(int gas, float v) {
        if (isGas(gas)) {
            m_Stel = v;
            m_Change_Stel = true;
        }
    }
    bool Change_Stel(int gas) const { return isGas(gas) && m_Change_Stel; }
    void setChange_Stel(int gas, bool on) {
        if (isGas(gas)) m_Change_Stel = on;
    }

    // TWA alarm level.
    float Twa(int gas) const { return isGas(gas) ? m_Twa : 0.0f; }
    void setTwa(int gas, float v) {
        if (isGas(gas)) {
            m_Twa = v;
            m_Change_Twa = true;
        }
    }
    bool Change_Twa(int gas) const { return isGas(gas) && m_Change_Twa; }
    void setChange_Twa(int gas, bool on) {
        if (isGas(gas)) m_Change_Twa = on;
    }

    // Calibration gas concentration.
    float AutoCalib(int gas) const { return isGas(gas) ? m_AutoCalib : 0.0f; }
    void setAutoCalib(int gas, float v) {
        if (isGas(gas)) {
            m_AutoCalib = v;
            m_Change_AutoCal = true;
        }
    }
    bool Change_AutoCal(int gas) const { return isGas(gas) && m_Change_AutoCal; }
    void setChange_AutoCal(int gas, bool on) {
        if (isGas(gas)) m_Change_AutoCal = on;
    }

    // Zero setting, slots 0..3 (slot 0 is the gas channel's).
    qint16 Zero(int i) const { return isSlot(i) ? m_Zero[i] : qint16(0); }
    void setZero(int i, qint16 v) {
        if (isSlot(i)) {
            m_Zero[i] = v;
            m_Change_Zero[i] = true;
        }
    }
    bool Change_Zero(int i) const { return isSlot(i) && m_Change_Zero[i]; }
    void setChange_Zero(int i, bool on) {
        if (isSlot(i)) m_Change_Zero[i] = on;
    }

    // Over-scale setting, slots 0..3 (slot 0 is the gas channel's).
    qint16 OverScale(int i) const { return isSlot(i) ? m_OverScale[i] : qint16(0); }
    void setOverScale(int i, qint16 v) {
        if (isSlot(i)) {
            m_OverScale[i] = v;
            m_Change_OverScale[i] = true;
        }
    }
    bool Change_OverScale(int i) const { return isSlot(i) && m_Change_OverScale[i]; }
    void setChange_OverScale(int i, bool on) {
        if (isSlot(i)) m_Change_OverScale[i] = on;
    }

    // Ratio.
    float Ratio(int gas) const { return isGas(gas) ? m_Ratio : 0.0f; }
    void setRatio(int gas, float v) {
        if (isGas(gas)) {
            m_Ratio = v;
            m_Change_Ratio = true;
        }
    }
    bool Change_Ratio(int gas) const { return isGas(gas) && m_Change_Ratio; }
    void setChange_Ratio(int gas, bool on) {
        if (isGas(gas)) m_Change_Ratio = on;
    }

    // Channel value carried by command S1.
    float S1(int gas) const { return isGas(gas) ? m_S1 : 0.0f; }
    void setS1(int gas, float v) {
        if (isGas(gas)) m_S1 = v;
    }

    // Channel value carried by command SZ.
    float SZ(int gas) const { return isGas(gas) ? m_SZ : 0.0f; }
    void setSZ(int gas, float v) {
        if (isGas(gas)) m_SZ = v;
    }

    // Last calibration date (OLE date).
    double CalibDate(int gas) const { return isGas(gas) ? m_CalibDate : 0.0; }
    void setCalibDate(int gas, double v) {
        if (isGas(gas)) m_CalibDate = v;
    }

    // Value before the last calibration.
    float CalibBefore(int gas) const { return isGas(gas) ? m_CalibBefore : 0.0f; }
    void setCalibBefore(int gas, float v) {
        if (isGas(gas)) m_CalibBefore = v;
    }

    // Value after the last calibration.
    float CalibAfter(int gas) const { return isGas(gas) ? m_CalibAfter : 0.0f; }
    void setCalibAfter(int gas, float v) {
        if (isGas(gas)) m_CalibAfter = v;
    }

    // Last bump test date (OLE date).
    double BumpDates(int gas) const { return isGas(gas) ? m_BumpDates : 0.0; }
    void setBumpDates(int gas, double v) {
        if (isGas(gas)) m_BumpDates = v;
    }

    // Last bump test result.
    float BumpResult(int gas) const { return isGas(gas) ? m_BumpResult : 0.0f; }
    void setBumpResult(int gas, float v) {
        if (isGas(gas)) m_BumpResult = v;
    }

    // Last bump test concentration.
    float BumpConcentration(int gas) const { return isGas(gas) ? m_BumpConcentration : 0.0f; }
    void setBumpConcentration(int gas, float v) {
        if (isGas(gas)) m_BumpConcentration = v;
    }

    // Logged maximum.
    float LogMax(int gas) const { return isGas(gas) ? m_LogMax : 0.0f; }
    void setLogMax(int gas, float v) {
        if (isGas(gas)) m_LogMax = v;
    }

    // Logged minimum.
    float LogMin(int gas) const { return isGas(gas) ? m_LogMin : 0.0f; }
    void setLogMin(int gas, float v) {
        if (isGas(gas)) m_LogMin = v;
    }

    // Logged average.
    float LogAvr(int gas) const { return isGas(gas) ? m_LogAvr : 0.0f; }
    void setLogAvr(int gas, float v) {
        if (isGas(gas)) m_LogAvr = v;
    }

    // Time of the logged maximum (OLE date).
    double LogMaxDate(int gas) const { return isGas(gas) ? m_LogMaxDate : 0.0; }
    void setLogMaxDate(int gas, double v) {
        if (isGas(gas)) m_LogMaxDate = v;
    }

    // Time of the logged minimum (OLE date).
    double LogMinDate(int gas) const { return isGas(gas) ? m_LogMinDate : 0.0; }
    void setLogMinDate(int gas, double v) {
        if (isGas(gas)) m_LogMinDate = v;
    }

    // ---- Alarm behaviour ----

    // Alarm pattern (1st).
    qint16 AlarmMode() const { return m_AlarmMode; }
    void setAlarmMode(qint16 v) {
        m_AlarmMode = v;
        m_Change_AlarmMode = true;
    }
    bool Change_AlarmMode() const { return m_Change_AlarmMode; }
    void setChange_AlarmMode(bool on) { m_Change_AlarmMode = on; }

    // Alarm pattern (2nd).
    qint16 AlarmMode2() const { return m_AlarmMode2; }
    void setAlarmMode2(qint16 v) {
        m_AlarmMode2 = v;
        m_Change_AlarmMode2 = true;
    }
    bool Change_AlarmMode2() const { return m_Change_AlarmMode2; }
    void setChange_AlarmMode2(bool on) { m_Change_AlarmMode2 = on; }

    // Oxygen alarm type (QZ model only).
    qint16 AlarmO2() const { return m_AlarmO2; }
    void setAlarmO2(qint16 v) {
        m_AlarmO2 = v;
        m_Change_AlarmO2 = true;
    }
    bool Change_AlarmO2() const { return m_Change_AlarmO2; }
    void setChange_AlarmO2(bool on) { m_Change_AlarmO2 = on; }

    // TWA/A-1H selection (VL model only).
    qint16 AK() const { return m_AK; }
    void setAK(qint16 v) {
        m_AK = v;
        m_Change_AK = true;
    }
    bool Change_AK() const { return m_Change_AK; }
    void setChange_AK(bool on) { m_Change_AK = on; }

    // Alarm function (1 = on).
    qint16 AlarmOnOff() const { return m_AlarmOnOff; }
    void setAlarmOnOff(qint16 v) {
        m_AlarmOnOff = v;
        m_Change_AlarmOnOff = true;
    }
    bool Change_AlarmOnOff() const { return m_Change_AlarmOnOff; }
    void setChange_AlarmOnOff(bool on) { m_Change_AlarmOnOff = on; }

    // STEL/TWA function (1 = on).
    qint16 StelTwaOnOff() const { return m_StelTwaOnOff; }
    void setStelTwaOnOff(qint16 v) {
        m_StelTwaOnOff = v;
        m_Change_StelTwaOnOff = true;
    }
    bool Change_StelTwaOnOff() const { return m_Change_StelTwaOnOff; }
    void setChange_StelTwaOnOff(bool on) { m_Change_StelTwaOnOff = on; }

    // Selected entry of the hydrocarbon gas table.
    qint16 HcMode() const { return m_HcMode; }
    void setHcMode(qint16 v) {
        m_HcMode = v;
        m_Change_HCMode = true;
    }
    bool Change_HCMode() const { return m_Change_HCMode; }
    void setChange_HCMode(bool on) { m_Change_HCMode = on; }

    // Auto stop time in seconds.
    qint16 AIdata() const { return m_AIdata; }
    void setAIdata(qint16 v) {
        m_AIdata = v;
        m_Change_AIdata = true;
    }
    bool Change_AIdata() const { return m_Change_AIdata; }
    void setChange_AIdata(bool on) { m_Change_AIdata = on; }

    // Reset time in seconds.
    qint16 AJdata() const { return m_AJdata; }
    void setAJdata(qint16 v) {
        m_AJdata = v;
        m_Change_AJdata = true;
    }
    bool Change_AJdata() const { return m_Change_AJdata; }
    void setChange_AJdata(bool on) { m_Change_AJdata = on; }

    // Buzzer volume selection.
    qint16 ABdata() const { return m_ABdata; }
    void setABdata(qint16 v) {
        m_ABdata = v;
        m_Change_ABdata = true;
    }
    bool Change_ABdata() const { return m_Change_ABdata; }
    void setChange_ABdata(bool on) { m_Change_ABdata = on; }

    // Confirmation lamp.
    qint16 Confirmation() const { return m_Confirmation; }
    void setConfirmation(qint16 v) {
        m_Confirmation = v;
        m_Change_Confirmation = true;
    }
    bool Change_Confirmation() const { return m_Change_Confirmation; }
    void setChange_Confirmation(bool on) { m_Change_Confirmation = on; }

    // Logger over-write.
    qint16 LogOverWrite() const { return m_LogOverWrite; }
    void setLogOverWrite(qint16 v) {
        m_LogOverWrite = v;
        m_Change_LogOverWrite = true;
    }
    bool Change_LogOverWrite() const { return m_Change_LogOverWrite; }
    void setChange_LogOverWrite(bool on) { m_Change_LogOverWrite = on; }

    // Interval trend time in seconds; raises Change_Interval only when the value changes.
    qint16 Intervals() const { return m_Intervals; }
    void setIntervals(qint16 v);
    bool Change_Interval() const { return m_Change_Interval; }
    void setChange_Interval(bool on) { m_Change_Interval = on; }

    // Auto awakening.
    qint16 JW() const { return m_JW; }
    void setJW(qint16 v) {
        m_JW = v;
        m_Change_JW = true;
    }
    bool Change_JW() const { return m_Change_JW; }
    void setChange_JW(bool on) { m_Change_JW = on; }

    // Awakening date and time, ten characters.
    QString JH() const { return m_JH; }
    void setJH(const QString& v) {
        m_JH = v;
        m_Change_JH = true;
    }
    bool Change_JH() const { return m_Change_JH; }
    void setChange_JH(bool on) { m_Change_JH = on; }

    // One-touch calibration time, 0 to 120 seconds.
    qint16 SE() const { return m_SE; }
    void setSE(qint16 v) {
        m_SE = v;
        m_Change_SE = true;
    }
    bool Change_SE() const { return m_Change_SE; }
    void setChange_SE(bool on) { m_Change_SE = on; }

    // Value reported by command RA.
    qint16 RA() const { return m_RA; }
    void setRA(qint16 v) {
        m_RA = v;
        m_Change_RA = true;
    }
    bool Change_RA() const { return m_Change_RA; }
    void setChange_RA(bool on) { m_Change_RA = on; }

    // ---- Calibration ----

    // Calibration interval in days.
    qint16 CalLimit() const { return m_CalLimit; }
    void setCalLimit(qint16 v) {
        m_CalLimit = v;
        m_Change_CalLimit = true;
    }
    bool Change_CalLimit() const { return m_Change_CalLimit; }
    void setChange_CalLimit(bool on) { m_Change_CalLimit = on; }

    // Calibration-limit display (non-zero = on).
    qint16 DispCalLimit() const { return m_DispCalLimit; }
    void setDispCalLimit(qint16 v) {
        m_DispCalLimit = v;
        m_Change_DispCalLimit = true;
    }
    bool Change_DispCalLimit() const { return m_Change_DispCalLimit; }
    void setChange_DispCalLimit(bool on) { m_Change_DispCalLimit = on; }

    // Calibration-limit check.
    qint16 CalCheck() const { return m_CalCheck; }
    void setCalCheck(qint16 v) {
        m_CalCheck = v;
        m_Change_CalCheck = true;
    }
    bool Change_CalCheck() const { return m_Change_CalCheck; }
    void setChange_CalCheck(bool on) { m_Change_CalCheck = on; }

    // Auto zero adjustment.
    qint16 AutoZero() const { return m_AutoZero; }
    void setAutoZero(qint16 v) {
        m_AutoZero = v;
        m_Change_AutoZero = true;
    }
    bool Change_AutoZero() const { return m_Change_AutoZero; }
    void setChange_AutoZero(bool on) { m_Change_AutoZero = on; }

    // Zero adjustment on demand.
    qint16 DemandZero() const { return m_DemandZero; }
    void setDemandZero(qint16 v) {
        m_DemandZero = v;
        m_Change_DemandZero = true;
    }
    bool Change_DemandZero() const { return m_Change_DemandZero; }
    void setChange_DemandZero(bool on) { m_Change_DemandZero = on; }

    // Maximum span.
    qint16 SpanAllowance() const { return m_SpanAllowance; }
    void setSpanAllowance(qint16 v) {
        m_SpanAllowance = v;
        m_Change_SpanAllowance = true;
    }
    bool Change_SpanAllowance() const { return m_Change_SpanAllowance; }
    void setChange_SpanAllowance(bool on) { m_Change_SpanAllowance = on; }

    // ---- Bump test ----

    // Bump test function (non-zero = on).
    qint16 BumpFunction() const { return m_BumpFunction; }
    void setBumpFunction(qint16 v) {
        m_BumpFunction = v;
        m_Change_BumpFunction = true;
    }
    bool Change_BumpFunction() const { return m_Change_BumpFunction; }
    void setChange_BumpFunction(bool on) { m_Change_BumpFunction = on; }

    // Bump test limit display (non-zero = on).
    qint16 DispBumpLimit() const { return m_DispBumpLimit; }
    void setDispBumpLimit(qint16 v) {
        m_DispBumpLimit = v;
        m_Change_DispBumpLimit = true;
    }
    bool Change_DispBumpLimit() const { return m_Change_DispBumpLimit; }
    void setChange_DispBumpLimit(bool on) { m_Change_DispBumpLimit = on; }

    // Bump test time limit, 0 to 30 days.
    qint16 BumpLimit() const { return m_BumpLimit; }
    void setBumpLimit(qint16 v) {
        m_BumpLimit = v;
        m_Change_BumpLimit = true;
    }
    bool Change_BumpLimit() const { return m_Change_BumpLimit; }
    void setChange_BumpLimit(bool on) { m_Change_BumpLimit = on; }

    // Bump test limit check.
    qint16 BumpCheck() const { return m_BumpCheck; }
    void setBumpCheck(qint16 v) {
        m_BumpCheck = v;
        m_Change_BumpCheck = true;
    }
    bool Change_BumpCheck() const { return m_Change_BumpCheck; }
    void setChange_BumpCheck(bool on) { m_Change_BumpCheck = on; }

    // Bump test time, 5 to 90 seconds.
    qint16 BumpTime() const { return m_BumpTime; }
    void setBumpTime(qint16 v) {
        m_BumpTime = v;
        m_Change_BumpTime = true;
    }
    bool Change_BumpTime() const { return m_Change_BumpTime; }
    void setChange_BumpTime(bool on) { m_Change_BumpTime = on; }

    // Bump test threshold, 10 to 50 %.
    qint16 BumpThreshold() const { return m_BumpThreshold; }
    void setBumpThreshold(qint16 v) {
        m_BumpThreshold = v;
        m_Change_BumpThreshold = true;
    }
    bool Change_BumpThreshold() const { return m_Change_BumpThreshold; }
    void setChange_BumpThreshold(bool on) { m_Change_BumpThreshold = on; }

    // Calibration time after a failed bump test, 60 to 120 seconds.
    qint16 BumpFailCalTime() const { return m_BumpFailCalTime; }
    void setBumpFailCalTime(qint16 v) {
        m_BumpFailCalTime = v;
        m_Change_BumpFailCalTime = true;
    }
    bool Change_BumpFailCalTime() const { return m_Change_BumpFailCalTime; }
    void setChange_BumpFailCalTime(bool on) { m_Change_BumpFailCalTime = on; }

    // Calibration after a failed bump test.
    qint16 BumpFailAfter() const { return m_BumpFailAfter; }
    void setBumpFailAfter(qint16 v) {
        m_BumpFailAfter = v;
        m_Change_BumpFailAfter = true;
    }
    bool Change_BumpFailAfter() const { return m_Change_BumpFailAfter; }
    void setChange_BumpFailAfter(bool on) { m_Change_BumpFailAfter = on; }

    // Bump fail behaviour.
    qint16 BumpFailBehavior() const { return m_BumpFailBehavior; }
    void setBumpFailBehavior(qint16 v) {
        m_BumpFailBehavior = v;
        m_Change_BumpFailBehavior = true;
    }
    bool Change_BumpFailBehavior() const { return m_Change_BumpFailBehavior; }
    void setChange_BumpFailBehavior(bool on) { m_Change_BumpFailBehavior = on; }

    // ---- Display, backlight and buzzer ----

    // LCD backlight time, 1 to 255 seconds.
    qint16 LcdBackLight() const { return m_LcdBackLight; }
    void setLcdBackLight(qint16 v) {
        m_LcdBackLight = v;
        m_Change_LcdBackLight = true;
    }
    bool Change_LcdBackLight() const { return m_Change_LcdBackLight; }
    void setChange_LcdBackLight(bool on) { m_Change_LcdBackLight = on; }

    // Auto backlight (1 = on).
    qint16 autoBackLight() const { return m_autoBackLight; }
    void setautoBackLight(qint16 v) {
        m_autoBackLight = v;
        m_Change_autoBackLight = true;
    }
    bool Change_autoBackLight() const { return m_Change_autoBackLight; }
    void setChange_autoBackLight(bool on) { m_Change_autoBackLight = on; }

    // Leak check / bar hole mode.
    qint16 LcBhMode() const { return m_LcBhMode; }
    void setLcBhMode(qint16 v) {
        m_LcBhMode = v;
        m_Change_LcBhMode = true;
    }
    bool Change_LcBhMode() const { return m_Change_LcBhMode; }
    void setChange_LcBhMode(bool on) { m_Change_LcBhMode = on; }

    // Bar hole measure time in seconds.
    qint16 BhTime() const { return m_BhTime; }
    void setBhTime(qint16 v) {
        m_BhTime = v;
        m_Change_BhTime = true;
    }
    bool Change_BhTime() const { return m_Change_BhTime; }
    void setChange_BhTime(bool on) { m_Change_BhTime = on; }

    // Leak check buzzer.
    qint16 LcBuzzer() const { return m_LcBuzzer; }
    void setLcBuzzer(qint16 v) {
        m_LcBuzzer = v;
        m_Change_LcBuzzer = true;
    }
    bool Change_LcBuzzer() const { return m_Change_LcBuzzer; }
    void setChange_LcBuzzer(bool on) { m_Change_LcBuzzer = on; }

    // ---- Protection ----

    // Power-off password protection.
    qint16 PasswordProtect() const { return m_PasswordProtect; }
    void setPasswordProtect(qint16 v) {
        m_PasswordProtect = v;
        m_Change_PasswordProtect = true;
    }
    bool Change_PasswordProtect() const { return m_Change_PasswordProtect; }
    void setChange_PasswordProtect(bool on) { m_Change_PasswordProtect = on; }

    // User password enabled.
    qint16 UseUserPassword() const { return m_UseUserPassword; }
    void setUseUserPassword(qint16 v) {
        m_UseUserPassword = v;
        m_Change_UseUserPassword = true;
    }
    bool Change_UseUserPassword() const { return m_Change_UseUserPassword; }
    void setChange_UseUserPassword(bool on) { m_Change_UseUserPassword = on; }

    // User password, four characters.
    QString UserPassword2() const { return m_UserPassword2; }
    void setUserPassword2(const QString& v) {
        m_UserPassword2 = v;
        m_Change_UserPassword2 = true;
    }
    bool Change_UserPassword2() const { return m_Change_UserPassword2; }
    void setChange_UserPassword2(bool on) { m_Change_UserPassword2 = on; }

    // ---- Pump ----

    // Pump flow level (factory setting).
    qint32 FlowLevel() const { return m_FlowLevel; }
    void setFlowLevel(qint32 v) {
        m_FlowLevel = v;
        m_Change_FlowLevel = true;
    }
    bool Change_FlowLevel() const { return m_Change_FlowLevel; }
    void setChange_FlowLevel(bool on) { m_Change_FlowLevel = on; }

    // Pressure sensor offset.
    qint16 pressOffset() const { return m_pressOffset; }
    void setpressOffset(qint16 v) {
        m_pressOffset = v;
        m_Change_pressOffset = true;
    }
    bool Change_pressOffset() const { return m_Change_pressOffset; }
    void setChange_pressOffset(bool on) { m_Change_pressOffset = on; }

    // Flow reading.
    qint16 FlowValue() const { return m_FlowValue; }
    void setFlowValue(qint16 v) { m_FlowValue = v; }

    // ---- Station list ----

    // Station name i (0..255); outside the range reads empty and is not stored.
    QString StationList(int i) const { return isStation(i) ? m_StationList[i] : QString(); }
    void setStationList(int i, const QString& v) {
        if (isStation(i)) {
            m_StationList[i] = v;
            m_Change_StationList[i] = true;
        }
    }
    bool Change_StationList(int i) const { return isStation(i) && m_Change_StationList[i]; }
    void setChange_StationList(int i, bool on) {
        if (isStation(i)) m_Change_StationList[i] = on;
    }

    // ---- Live values ----

    // A/D converter channel values, i = 0..8.
    qint16 AnalogValue(int i) const { return inRange(i, AnalogCount) ? m_AnalogValue[i] : 0; }
    void setAnalogValue(int i, qint16 v) {
        if (inRange(i, AnalogCount)) m_AnalogValue[i] = v;
    }

    // A/D value.
    qint32 AdrealValue() const { return m_AdrealValue; }
    void setAdrealValue(qint32 v) { m_AdrealValue = v; }

    // Limit values, i = 0..1.
    float LimitValue(int i) const { return inRange(i, LimitCount) ? m_LimitValue[i] : 0.0f; }
    void setLimitValue(int i, float v) {
        if (inRange(i, LimitCount)) m_LimitValue[i] = v;
    }

    // ---- Linearisation tables ----

    // One entry of a linearisation table.
    struct LinearEntry {
        QString Name;
        float FullScale = 0.0f;
        float Digit = 0.0f;
        QString Unit;
        qint32 elem_vol = 0;
        float Ratio = 0.0f;
        qint16 Point = 0;
        double Linear1_a = 0.0, Linear1_b = 0.0, Linear1_c = 0.0, Linear1_d = 0.0;
        double Linear2_a = 0.0, Linear2_b = 0.0, Linear2_c = 0.0, Linear2_d = 0.0;
        bool operator==(const LinearEntry&) const = default;
    };

    // Whole entry i of the library table (0..30); an empty entry outside the range.
    LinearEntry LI_Entry(int i) const { return inRange(i, LiCount) ? m_LI[i] : LinearEntry(); }
    // Replaces entry i of the library table (raises nothing).
    void setLI_Entry(int i, const LinearEntry& e) {
        if (inRange(i, LiCount)) m_LI[i] = e;
    }
    // Whole entry i of the selected-gas table (0..1); an empty entry outside the range.
    LinearEntry LS_Entry(int i) const { return inRange(i, LsCount) ? m_LS[i] : LinearEntry(); }
    // Replaces entry i of the selected-gas table and raises Change_LSData(i).
    void setLS_Entry(int i, const LinearEntry& e) {
        if (inRange(i, LsCount)) {
            m_LS[i] = e;
            m_Change_LSData[i] = true;
        }
    }

    // Selected-gas entry i changed (0..1).
    bool Change_LSData(int i) const { return inRange(i, LsCount) && m_Change_LSData[i]; }
    void setChange_LSData(int i, bool on) {
        if (inRange(i, LsCount)) m_Change_LSData[i] = on;
    }

    // Library table fields (i = 0..30; the setters raise nothing).
    QString LI_Name(int i) const { return LI_Entry(i).Name; }
    void setLI_Name(int i, const QString& v) {
        li(i, [&](LinearEntry& e) { e.Name = v; });
    }
    float LI_FullScale(int i) const { return LI_Entry(i).FullScale; }
    void setLI_FullScale(int i, float v) {
        li(i, [&](LinearEntry& e) { e.FullScale = v; });
    }
    float LI_Digit(int i) const { return LI_Entry(i).Digit; }
    void setLI_Digit(int i, float v) {
        li(i, [&](LinearEntry& e) { e.Digit = v; });
    }
    QString LI_Unit(int i) const { return LI_Entry(i).Unit; }
    void setLI_Unit(int i, const QString& v) {
        li(i, [&](LinearEntry& e) { e.Unit = v; });
    }
    qint32 LI_elem_vol(int i) const { return LI_Entry(i).elem_vol; }
    void setLI_elem_vol(int i, qint32 v) {
        li(i, [&](LinearEntry& e) { e.elem_vol = v; });
    }
    float LI_Ratio(int i) const { return LI_Entry(i).Ratio; }
    void setLI_Ratio(int i, float v) {
        li(i, [&](LinearEntry& e) { e.Ratio = v; });
    }
    qint16 LI_Point(int i) const { return LI_Entry(i).Point; }
    void setLI_Point(int i, qint16 v) {
        li(i, [&](LinearEntry& e) { e.Point = v; });
    }
    double LI_Linear1_a(int i) const { return LI_Entry(i).Linear1_a; }
    void setLI_Linear1_a(int i, double v) {
        li(i, [&](LinearEntry& e) { e.Linear1_a = v; });
    }
    double LI_Linear1_b(int i) const { return LI_Entry(i).Linear1_b; }
    void setLI_Linear1_b(int i, double v) {
        li(i, [&](LinearEntry& e) { e.Linear1_b = v; });
    }
    double LI_Linear1_c(int i) const { return LI_Entry(i).Linear1_c; }
    void setLI_Linear1_c(int i, double v) {
        li(i, [&](LinearEntry& e) { e.Linear1_c = v; });
    }
    double LI_Linear1_d(int i) const { return LI_Entry(i).Linear1_d; }
    void setLI_Linear1_d(int i, double v) {
        li(i, [&](LinearEntry& e) { e.Linear1_d = v; });
    }
    double LI_Linear2_a(int i) const { return LI_Entry(i).Linear2_a; }
    void setLI_Linear2_a(int i, double v) {
        li(i, [&](LinearEntry& e) { e.Linear2_a = v; });
    }
    double LI_Linear2_b(int i) const { return LI_Entry(i).Linear2_b; }
    void setLI_Linear2_b(int i, double v) {
        li(i, [&](LinearEntry& e) { e.Linear2_b = v; });
    }
    double LI_Linear2_c(int i) const { return LI_Entry(i).Linear2_c; }
    void setLI_Linear2_c(int i, double v) {
        li(i, [&](LinearEntry& e) { e.Linear2_c = v; });
    }
    double LI_Linear2_d(int i) const { return LI_Entry(i).Linear2_d; }
    void setLI_Linear2_d(int i, double v) {
        li(i, [&](LinearEntry& e) { e.Linear2_d = v; });
    }

    // Selected-gas table fields (i = 0..1; every setter raises Change_LSData(i)).
    QString LS_Name(int i) const { return LS_Entry(i).Name; }
    void setLS_Name(int i, const QString& v) {
        ls(i, [&](LinearEntry& e) { e.Name = v; });
    }
    float LS_FullScale(int i) const { return LS_Entry(i).FullScale; }
    void setLS_FullScale(int i, float v) {
        ls(i, [&](LinearEntry& e) { e.FullScale = v; });
    }
    float LS_Digit(int i) const { return LS_Entry(i).Digit; }
    void setLS_Digit(int i, float v) {
        ls(i, [&](LinearEntry& e) { e.Digit = v; });
    }
    QString LS_Unit(int i) const { return LS_Entry(i).Unit; }
    void setLS_Unit(int i, const QString& v) {
        ls(i, [&](LinearEntry& e) { e.Unit = v; });
    }
    qint32 LS_elem_vol(int i) const { return LS_Entry(i).elem_vol; }
    void setLS_elem_vol(int i, qint32 v) {
        ls(i, [&](LinearEntry& e) { e.elem_vol = v; });
    }
    float LS_Ratio(int i) const { return LS_Entry(i).Ratio; }
    void setLS_Ratio(int i, float v) {
        ls(i, [&](LinearEntry& e) { e.Ratio = v; });
    }
    qint16 LS_Point(int i) const { return LS_Entry(i).Point; }
    void setLS_Point(int i, qint16 v) {
        ls(i, [&](LinearEntry& e) { e.Point = v; });
    }
    double LS_Linear1_a(int i) const { return LS_Entry(i).Linear1_a; }
    void setLS_Linear1_a(int i, double v) {
        ls(i, [&](LinearEntry& e) { e.Linear1_a = v; });
    }
    double LS_Linear1_b(int i) const { return LS_Entry(i).Linear1_b; }
    void setLS_Linear1_b(int i, double v) {
        ls(i, [&](LinearEntry& e) { e.Linear1_b = v; });
    }
    double LS_Linear1_c(int i) const { return LS_Entry(i).Linear1_c; }
    void setLS_Linear1_c(int i, double v) {
        ls(i, [&](LinearEntry& e) { e.Linear1_c = v; });
    }
    double LS_Linear1_d(int i) const { return LS_Entry(i).Linear1_d; }
    void setLS_Linear1_d(int i, double v) {
        ls(i, [&](LinearEntry& e) { e.Linear1_d = v; });
    }
    double LS_Linear2_a(int i) const { return LS_Entry(i).Linear2_a; }
    void setLS_Linear2_a(int i, double v) {
        ls(i, [&](LinearEntry& e) { e.Linear2_a = v; });
    }
    double LS_Linear2_b(int i) const { return LS_Entry(i).Linear2_b; }
    void setLS_Linear2_b(int i, double v) {
        ls(i, [&](LinearEntry& e) { e.Linear2_b = v; });
    }
    double LS_Linear2_c(int i) const { return LS_Entry(i).Linear2_c; }
    void setLS_Linear2_c(int i, double v) {
        ls(i, [&](LinearEntry& e) { e.Linear2_c = v; });
    }
    double LS_Linear2_d(int i) const { return LS_Entry(i).Linear2_d; }
    void setLS_Linear2_d(int i, double v) {
        ls(i, [&](LinearEntry& e) { e.Linear2_d = v; });
    }

private:
    static constexpr bool inRange(int i, int count) { return i >= 0 && i < count; }
    static constexpr bool isGas(int gas) { return gas == 0; }
    static constexpr bool isSlot(int i) { return inRange(i, ZeroSlots); }
    static constexpr bool isStation(int i) { return inRange(i, StationCount); }
    template <typename F> void li(int i, F&& change) {
        if (inRange(i, LiCount)) change(m_LI[i]);
    }
    template <typename F> void ls(int i, F&& change) {
        if (inRange(i, LsCount)) {
            change(m_LS[i]);
            m_Change_LSData[i] = true;
        }
    }

    // Identity and state
    QString m_SerialNo, m_DummySerial, m_UserID, m_StationID, m_SpecNo, m_SpecType, m_SensorDate;
    QString m_ModelTyp, m_SUM, m_FailLine;
    qint32 m_RomNumber = 0;
    double m_SysDate = 0.0, m_SysDateOffset = 0.0;
    bool m_CommFlags = false, m_ImportFlag = false;
    bool m_Change_SerialNo = false, m_Change_DummySerial = false, m_Change_UserID = false,
         m_Change_StationID = false, m_Change_SpecNo = false, m_Change_SpecType = false,
         m_Change_SensorDate = false;

    // Gas channel 0
    QString m_GasName, m_GasUnit;
    float m_GasFullScale = 0.0f, m_GasDesit = 0.0f;
    qint16 m_GasPoint = 0;
    bool m_GasEnabled = false;
    float m_Warning = 0.0f, m_Alarm = 0.0f, m_Stel = 0.0f, m_Twa = 0.0f, m_AutoCalib = 0.0f;
    float m_Ratio = 0.0f, m_S1 = 0.0f, m_SZ = 0.0f;
    std::array<qint16, ZeroSlots> m_Zero{}, m_OverScale{};
    double m_CalibDate = 0.0, m_BumpDates = 0.0, m_LogMaxDate = 0.0, m_LogMinDate = 0.0;
    float m_CalibBefore = 0.0f, m_CalibAfter = 0.0f, m_BumpResult = 0.0f,
          m_BumpConcentration = 0.0f, m_LogMax = 0.0f, m_LogMin = 0.0f, m_LogAvr = 0.0f;
    bool m_Change_GasPoint = false, m_Change_GasEnable = false, m_Change_Warn = false,
         m_Change_Alarm = false, m_Change_Stel = false, m_Change_Twa = false,
         m_Change_AutoCal = false, m_Change_Ratio = false;
    std::array<bool, ZeroSlots> m_Change_Zero{}, m_Change_OverScale{};

    // Settings
    qint16 m_AlarmMode = 0, m_AlarmMode2 = 0, m_AlarmO2 = 0, m_AK = 0, m_AlarmOnOff = 0,
           m_StelTwaOnOff = 0, m_HcMode = 0, m_AIdata = 0, m_AJdata = 0, m_ABdata = 0,
           m_Confirmation = 0, m_LogOverWrite = 0, m_Intervals = 0, m_JW = 0, m_SE = 0, m_RA = 0;
    QString m_JH;
    qint16 m_CalLimit = 0, m_DispCalLimit = 0, m_CalCheck = 0, m_AutoZero = 0, m_DemandZero = 0,
           m_SpanAllowance = 0;
    qint16 m_BumpFunction = 0, m_DispBumpLimit = 0, m_BumpLimit = 0, m_BumpCheck = 0,
           m_BumpTime = 0, m_BumpThreshold = 0, m_BumpFailCalTime = 0, m_BumpFailAfter = 0,
           m_BumpFailBehavior = 0;
    qint16 m_LcdBackLight = 0, m_autoBackLight = 0, m_LcBhMode = 0, m_BhTime = 0, m_LcBuzzer = 0;
    qint16 m_PasswordProtect = 0, m_UseUserPassword = 0;
    QString m_UserPassword2;
    qint32 m_FlowLevel = 0;
    qint16 m_pressOffset = 0, m_FlowValue = 0;
    bool m_Change_AlarmMode = false, m_Change_AlarmMode2 = false, m_Change_AlarmO2 = false,
         m_Change_AK = false, m_Change_AlarmOnOff = false, m_Change_StelTwaOnOff = false,
         m_Change_HCMode = false, m_Change_AIdata = false, m_Change_AJdata = false,
         m_Change_ABdata = false, m_Change_Confirmation = false, m_Change_LogOverWrite = false,
         m_Change_Interval = false, m_Change_JW = false, m_Change_JH = false, m_Change_SE = false,
         m_Change_RA = false, m_Change_CalLimit = false, m_Change_DispCalLimit = false,
         m_Change_CalCheck = false, m_Change_AutoZero = false, m_Change_DemandZero = false,
         m_Change_SpanAllowance = false, m_Change_BumpFunction = false,
         m_Change_DispBumpLimit = false, m_Change_BumpLimit = false, m_Change_BumpCheck = false,
         m_Change_BumpTime = false, m_Change_BumpThreshold = false,
         m_Change_BumpFailCalTime = false, m_Change_BumpFailAfter = false,
         m_Change_BumpFailBehavior = false, m_Change_LcdBackLight = false,
         m_Change_autoBackLight = false, m_Change_LcBhMode = false, m_Change_BhTime = false,
         m_Change_LcBuzzer = false, m_Change_PasswordProtect = false,
         m_Change_UseUserPassword = false, m_Change_UserPassword2 = false,
         m_Change_FlowLevel = false, m_Change_pressOffset = false;

    // Station list, live values, linearisation tables
    std::array<QString, StationCount> m_StationList;
    std::array<bool, StationCount> m_Change_StationList{};
    std::array<qint16, AnalogCount> m_AnalogValue{};
    qint32 m_AdrealValue = 0;
    std::array<float, LimitCount> m_LimitValue{};
    std::array<LinearEntry, LiCount> m_LI;
    std::array<LinearEntry, LsCount> m_LS;
    std::array<bool, LsCount> m_Change_LSData{};
};
