// Reading and writing the whole configuration of a detector.
#include "instrument/WireFormat.h"
#include "instrument/clsInstrument.h"
#include "link/DumpListing.h"
#include "link/LinkCodes.h"
#include "link/LinkLog.h"
#include "link/uclHvif.h"
#include "shell/AppState.h"
#include "shell/Messages.h"

#include <QFile>

using namespace WireFormat;

namespace {

constexpr int kMsgUploadStarted = 5536;
constexpr int kMsgUploadFinished = 5537;
constexpr int kMsgUploadFailed = 5538;

// Entries of the read-command table that a read walks (entry 53 is never used).
constexpr int kLastReadEntry = 52;
// Passes of the alarm-level and calibration-concentration writes.
constexpr int kVerifiedPasses = 3;

// One row of the write sequence: sent when its flag is raised, flags lowered on success.
struct WriteRow {
    bool (*raised)(const clsInstrument&);
    QString (*text)(const clsInstrument&);
    void (*lower)(clsInstrument&);
};

QString Val5Of(const clsInstrument& r, float v) {
    return Val5(v, r.GasPoint(0));
}

// The write sequence before the verified group, in the order of sending.
const WriteRow kRowsBefore[] = {
    {[](const clsInstrument& r) { return r.Change_SpecNo(); },
     [](const clsInstrument& r) { return "BS,W," + Pad(r.SpecNo(), 10); },
     [](clsInstrument& r) { r.setChange_SpecNo(false); }},
    {[](const clsInstrument& r) { return r.Change_UserID(); },
     [](const clsInstrument& r) { return "XZ,W," + Pad(r.UserID(), 16); },
     [](clsInstrument& r) { r.setChange_UserID(false); }},
    {[](const clsInstrument& r) { return r.Change_StationID(); },
     [](const clsInstrument& r) { return "XS,W," + Pad(r.StationID(), 16); },
     [](clsInstrument& r) { r.setChange_StationID(false); }},
    {[](const clsInstrument& r) { return r.Change_SerialNo(); },
     [](const clsInstrument& r) { return "IN,W," + Pad(r.SerialNo(), 20); },
     [](clsInstrument& r) { r.setChange_SerialNo(false); }},
    {[](const clsInstrument& r) { return r.Change_DummySerial(); },
     [](const clsInstrument& r) { return "HN,W," + Pad(r.DummySerial(), 20); },
     [](clsInstrument& r) { r.setChange_DummySerial(false); }},
    {[](const clsInstrument& r) { return r.Change_GasEnable(0); },
     [](const clsInstrument& r) { return "GJ,W," + r.GasDefinitionText(); },
     [](clsInstrument& r) { r.setChange_GasEnable(0, false); }},
    {[](const clsInstrument& r) { return r.Change_AlarmMode(); },
     [](const clsInstrument& r) { return "AP,W," + Dec(r.AlarmMode()); },
     [](clsInstrument& r) { r.setChange_AlarmMode(false); }},
    {[](const clsInstrument& r) { return r.Change_AlarmMode2(); },
     [](const clsInstrument& r) { return "AU,W," + Dec(r.AlarmMode2()); },
     [](clsInstrument& r) { r.setChange_AlarmMode2(false); }},
    {[](const clsInstrument& r) { return r.Change_DispCalLimit(); },
     [](const clsInstrument& r) { return "SD,W," + Flag01(r.DispCalLimit()); },
     [](clsInstrument& r) { r.setChange_DispCalLimit(false); }},
    {[](const clsInstrument& r) { return r.Change_CalLimit(); },
     [](const clsInstrument& r) { return "SC,W," + HexN(r.CalLimit(), 4); },
     [](clsInstrument& r) { r.setChange_CalLimit(false); }},
    {[](const clsInstrument& r) { return r.Change_CalCheck(); },
     [](const clsInstrument& r) { return "SM,W," + Dec(r.CalCheck()); },
     [](clsInstrument& r) { r.setChange_CalCheck(false); }},
    {[](const clsInstrument& r) { return r.Change_Confirmation(); },
     [](const clsInstrument& r) { return "XB,W," + Dec(r.Confirmation()); },
     [](clsInstrument& r) { r.setChange_Confirmation(false); }},
    {[](const clsInstrument& r) { return r.Change_LogOverWrite(); },
     [](const clsInstrument& r) { return "XW,W," + Dec(r.LogOverWrite()); },
     [](clsInstrument& r) { r.setChange_LogOverWrite(false); }},
    {[](const clsInstrument& r) { return r.Change_LcdBackLight(); },
     [](const clsInstrument& r) { return "XT,W," + HexN(r.LcdBackLight(), 4); },
     [](clsInstrument& r) { r.setChange_LcdBackLight(false); }},
    {[](const clsInstrument& r) { return r.Change_AIdata(); },
     [](const clsInstrument& r) { return "AI,W," + HexN(r.AIdata(), 2); },
     [](clsInstrument& r) { r.setChange_AIdata(false); }},
    {[](const clsInstrument& r) { return r.Change_AJdata(); },
     [](const clsInstrument& r) { return "AJ,W," + HexN(r.AJdata(), 2); },
     [](clsInstrument& r) { r.setChange_AJdata(false); }},
    {[](const clsInstrument& r) { return r.Change_ABdata(); },
     [](const clsInstrument& r) { return "AB,W," + Hex(r.ABdata()); },
     [](clsInstrument& r) { r.setChange_ABdata(false); }},
    {[](const clsInstrument& r) { return r.Change_BumpFunction(); },
     [](const clsInstrument& r) { return "BV,W," + Dec(r.BumpFunction()); },
     [](clsInstrument& r) { r.setChange_BumpFunction(false); }},
    {[](const clsInstrument& r) { return r.Change_DispBumpLimit(); },
     [](const clsInstrument& r) { return "BJ,W," + Dec(r.DispBumpLimit()); },
     [](clsInstrument& r) { r.setChange_DispBumpLimit(false); }},
    {[](const clsInstrument& r) { return r.Change_BumpLimit(); },
     [](const clsInstrument& r) { return "BK,W," + HexN(r.BumpLimit(), 4); },
     [](clsInstrument& r) { r.setChange_BumpLimit(false); }},
    {[](const clsInstrument& r) { return r.Change_BumpCheck(); },
     [](const clsInstrument& r) { return "BL,W," + Dec(r.BumpCheck()); },
     [](clsInstrument& r) { r.setChange_BumpCheck(false); }},
    {[](const clsInstrument& r) {
         return r.Change_BumpTime() || r.Change_BumpThreshold() || r.Change_BumpFailAfter() ||
                r.Change_BumpFailCalTime();
     },
     [](const clsInstrument& r) {
         return "BU,W," + HexN(r.BumpTime(), 2) + u',' + HexN(r.BumpThreshold(), 2) + u',' +
                HexN(r.BumpFailCalTime(), 2) + u',' + Dec(r.BumpFailAfter());
     },
     [](clsInstrument& r) {
         r.setChange_BumpTime(false);
         r.setChange_BumpThreshold(false);
         r.setChange_BumpFailAfter(false);
         r.setChange_BumpFailCalTime(false);
     }},
    {[](const clsInstrument& r) {
         return r.ModelTyp() == QLatin1String("QZ") && r.Change_AlarmO2();
     },
     [](const clsInstrument& r) { return "AT,W," + Dec(r.AlarmO2()); },
     [](clsInstrument& r) { r.setChange_AlarmO2(false); }},
    {[](const clsInstrument& r) { return r.ModelTyp() == QLatin1String("VL") && r.Change_AK(); },
     [](const clsInstrument& r) { return "AK,W," + Dec(r.AK()); },
     [](clsInstrument& r) { r.setChange_AK(false); }},
    {[](const clsInstrument& r) { return r.Change_JW(); },
     [](const clsInstrument& r) { return "JW,W," + Dec(r.JW()); },
     [](clsInstrument& r) { r.setChange_JW(false); }},
    {[](const clsInstrument& r) { return r.Change_JH(); },
     [](const clsInstrument& r) { return "JH,W," + Cut(r.JH(), 10); },
     [](clsInstrument& r) { r.setChange_JH(false); }},
    {[](const clsInstrument& r) { return r.Change_SE(); },
     [](const clsInstrument& r) { return "SE,W," + HexN(r.SE(), 2); },
     [](clsInstrument& r) { r.setChange_SE(false); }},
};

// The write sequence after the verified group.
const WriteRow kRowsAfter[] = {
    {[](const clsInstrument& r) { return r.Change_Stel(0); },
     [](const clsInstrument& r) { return "AS,W," + Val5Of(r, r.Stel(0)); },
     [](clsInstrument& r) { r.setChange_Stel(0, false); }},
    {[](const clsInstrument& r) { return r.Change_Twa(0); },
     [](const clsInstrument& r) { return "AW,W," + Val5Of(r, r.Twa(0)); },
     [](clsInstrument& r) { r.setChange_Twa(0, false); }},
    {[](const clsInstrument& r) { return r.Change_Interval(); },
     [](const clsInstrument& r) { return "XP,W," + HexN(r.Intervals(), 4); },
     [](clsInstrument& r) { r.setChange_Interval(false); }},
    {[](const clsInstrument& r) { return r.Change_SpecType(); },
     [](const clsInstrument& r) { return "UJ,W," + r.SpecType(); },
     [](clsInstrument& r) { r.setChange_SpecType(false); }},
    {[](const clsInstrument& r) { return r.Change_AutoZero(); },
     [](const clsInstrument& r) { return "SJ,W," + Dec(r.AutoZero()); },
     [](clsInstrument& r) { r.setChange_AutoZero(false); }},
    {[](const clsInstrument& r) { return r.Change_DemandZero(); },
     [](const clsInstrument& r) { return "SG,W," + Dec(r.DemandZero()); },
     [](clsInstrument& r) { r.setChange_DemandZero(false); }},
    {[](const clsInstrument& r) { return r.Change_SpanAllowance(); },
     [](const clsInstrument& r) { return "PN,W," + Dec(r.SpanAllowance()); },
     [](clsInstrument& r) { r.setChange_SpanAllowance(false); }},
    {[](const clsInstrument& r) { return r.Change_BumpFailBehavior(); },
     [](const clsInstrument& r) { return "PM,W," + Dec(r.BumpFailBehavior()); },
     [](clsInstrument& r) { r.setChange_BumpFailBehavior(false); }},
    {[](const clsInstrument& r) { return r.Change_SensorDate(); },
     [](const clsInstrument& r) { return "PS,W," + r.SensorDate(); },
     [](clsInstrument& r) { r.setChange_SensorDate(false); }},
    {[](const clsInstrument& r) { return r.Change_PasswordProtect(); },
     [](const clsInstrument& r) {
         return "PG,W," + Dec(r.PasswordProtect()) + u',' + r.UserPassword2();
     },
     [](clsInstrument& r) { r.setChange_PasswordProtect(false); }},
    {[](const clsInstrument& r) { return r.Change_UseUserPassword() || r.Change_UserPassword2(); },
     [](const clsInstrument& r) {
         return "MP,W," + Dec(r.UseUserPassword()) + u',' + r.UserPassword2();
     },
     [](clsInstrument& r) {
         r.setChange_UseUserPassword(false);
         r.setChange_UserPassword2(false);
     }},
};

// One value of the verified group: written, then checked against the detector's echo.
struct VerifiedValue {
    const char* name;
    bool (*raised)(const clsInstrument&);
    QString (*text)(const clsInstrument&);
    void (*lower)(clsInstrument&);
};

const VerifiedValue kVerifiedValues[] = {
    {"Warning", [](const clsInstrument& r) { return r.Change_Warn(0); },
     [](const clsInstrument& r) { return "A1,W," + Val5Of(r, r.Warning(0)); },
     [](clsInstrument& r) { r.setChange_Warn(0, false); }},
    {"Alarm", [](const clsInstrument& r) { return r.Change_Alarm(0); },
     [](const clsInstrument& r) { return "A2,W," + Val5Of(r, r.Alarm(0)); },
     [](clsInstrument& r) { r.setChange_Alarm(0, false); }},
    {"AutoCalib", [](const clsInstrument& r) { return r.Change_AutoCal(0); },
     [](const clsInstrument& r) { return "SA,W," + Val5Of(r, r.AutoCalib(0)); },
     [](clsInstrument& r) { r.setChange_AutoCal(0, false); }},
};

} // namespace

bool uclHvif::GetInstrument(clsInstrument& record) {
    BeginOperation();
    m_opResult = true;
    setInstrument(&record);
    record.ClearDatas();
    record.setFailLine(QString());

    for (int i = 0; i <= kLastReadEntry; ++i) {
        const QString command = ReadCommand(i);
        if (command.isEmpty()) continue;
        // Settings the model does not have are not asked for; they read as 0 and count as
        // unchanged.
        if (command == QLatin1String("AK,R,") && record.ModelTyp() != QLatin1String("VL")) {
            record.setAK(0);
            record.setChange_AK(false);
            continue;
        }
        if (command == QLatin1String("AT,R,") && record.ModelTyp() != QLatin1String("QZ")) {
            record.setAlarmO2(0);
            record.setChange_AlarmO2(false);
            continue;
        }
        if (!Exchange(command.toLatin1(), LinkStatus::ReadWait)) return false;
    }
    return true;
}

bool uclHvif::SetInstrument(clsInstrument& record) {
    BeginOperation();
    m_opResult = true;
    m_notWritten.clear();
    setInstrument(&record);
    bool ok = true;
    bool written = false;
    const QDateTime start = m_clock->currentDateTime();
    const qint64 startMs = m_clock->nowMs();
    AddLog(LoadMessage(kMsgUploadStarted, {GeneralDateText(start)}));

    // Sends one write; true when the detector answered it.
    const auto send = [&](const QString& text) {
        if (!ok) return false;
        if (Exchange(text.toLatin1(), LinkStatus::WriteWait))
            written = true;
        else
            ok = false;
        return ok;
    };
    const auto walk = [&](const auto& rows) {
        for (const WriteRow& row : rows) {
            if (!ok) return;
            if (row.raised(record) && send(row.text(record))) row.lower(record);
        }
    };

    walk(kRowsBefore);

    // Alarm levels and the calibration concentration count as written only when the detector
    // echoes exactly what was sent; a value whose echo differs is sent again in the next pass.
    for (int pass = 0; pass < kVerifiedPasses && ok; ++pass) {
        for (const VerifiedValue& value : kVerifiedValues) {
            if (!ok || !value.raised(record)) continue;
            const QByteArray frame = BuildFrame(value.text(record).toLatin1(), Ctl::EOT);
            m_lastReceivedFrame.clear();
            if (!send(value.text(record))) break;
            if (m_lastReceivedFrame == frame) value.lower(record);
        }
    }
    if (ok) {
        for (const VerifiedValue& value : kVerifiedValues) {
            if (!value.raised(record)) continue;
            const QString name = QString::fromLatin1(value.name);
            m_notWritten << name;
            AddLog(QStringLiteral("--- %1 not written: the detector did not echo \"%2\" ---")
                       .arg(name, value.text(record)));
        }
    }

    walk(kRowsAfter);

    if (written) send(QStringLiteral("DW,W,"));

    const QDateTime end = m_clock->currentDateTime();
    const bool succeeded = ok && m_notWritten.isEmpty();
    if (succeeded)
        AddLog(LoadMessage(
            kMsgUploadFinished,
            {GeneralDateText(end), DumpListing::ElapsedText(m_clock->nowMs() - startMs)}));
    else
        AddLog(LoadMessage(kMsgUploadFailed, {GeneralDateText(end)}));
    return succeeded && written;
}

QStringList uclHvif::PendingWrites(const clsInstrument& record) {
    QStringList commands;
    const auto collect = [&](const auto& rows) {
        for (const auto& row : rows)
            if (row.raised(record)) commands << row.text(record).left(2);
    };
    collect(kRowsBefore);
    collect(kVerifiedValues);
    collect(kRowsAfter);
    return commands;
}
