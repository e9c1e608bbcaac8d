#include "instrument/MasterCompare.h"

#include "instrument/clsInstrument.h"
#include "shell/Messages.h"

namespace MasterCompare {

QString OkText() { return QStringLiteral(" Compare MASTER OK"); }

Result Compare(const clsInstrument& m, const clsInstrument& w) {
    Result result;
    if (!m.ImportFlag()) return result;
    result.compared = true;

    auto differ = [&](int message, const QString& suffix = QStringLiteral(" <> MASTER")) {
        result.differences.append({message, LoadMessage(message) + suffix});
    };
    // Compares one property when the master's flag for it is raised.
    auto check = [&](bool flag, auto masterValue, auto workingValue, int message) {
        if (flag && masterValue != workingValue) differ(message);
    };

    if (m.Change_UserID() && m.UserID() != w.UserID()) differ(5610, QString());
    if (m.Change_StationID() && m.StationID() != w.StationID()) differ(5609, QString());
    check(m.Change_SerialNo(), m.SerialNo(), w.SerialNo(), 5608);
    check(m.Change_DummySerial(), m.DummySerial(), w.DummySerial(), 8003);
    if (m.Change_GasEnable(0)) {
        const bool gasDiffers = m.GasEnabled(0) != w.GasEnabled(0) ||
                                m.GasName(0) != w.GasName(0) ||
                                m.GasFullScale(0) != w.GasFullScale(0) ||
                                m.GasDesit(0) != w.GasDesit(0) ||
                                m.GasPoint(0) != w.GasPoint(0) || m.GasUnit(0) != w.GasUnit(0);
        if (gasDiffers) differ(5648, QStringLiteral("0 <> MASTER"));
    }
    check(m.Change_AlarmMode(), m.AlarmMode(), w.AlarmMode(), 8004);
    check(m.Change_AlarmMode2(), m.AlarmMode2(), w.AlarmMode2(), 9101);
    check(m.Change_DispCalLimit(), m.DispCalLimit(), w.DispCalLimit(), 8010);
    check(m.Change_CalLimit(), m.CalLimit(), w.CalLimit(), 5655);
    check(m.Change_CalCheck(), m.CalCheck(), w.CalCheck(), 8011);
    check(m.Change_Confirmation(), m.Confirmation(), w.Confirmation(), 8044);
    check(m.Change_LogOverWrite(), m.LogOverWrite(), w.LogOverWrite(), 8009);
    check(m.Change_LcdBackLight(), m.LcdBackLight(), w.LcdBackLight(), 8023);
    check(m.Change_AIdata(), m.AIdata(), w.AIdata(), 9102);
    check(m.Change_AJdata(), m.AJdata(), w.AJdata(), 9103);
    check(m.Change_ABdata(), m.ABdata(), w.ABdata(), 9104);
    check(m.Change_BumpFunction(), m.BumpFunction(), w.BumpFunction(), 8083);
    check(m.Change_DispBumpLimit(), m.DispBumpLimit(), w.DispBumpLimit(), 8081);
    check(m.Change_BumpLimit(), m.BumpLimit(), w.BumpLimit(), 8080);
    check(m.Change_BumpCheck(), m.BumpCheck(), w.BumpCheck(), 8082);
    const bool bump = m.Change_BumpTime() || m.Change_BumpThreshold() ||
                      m.Change_BumpFailAfter() || m.Change_BumpFailCalTime();
    check(bump, m.BumpTime(), w.BumpTime(), 8029);
    check(bump, m.BumpThreshold(), w.BumpThreshold(), 8030);
    check(bump, m.BumpFailAfter(), w.BumpFailAfter(), 8031);
    check(bump, m.BumpFailCalTime(), w.BumpFailCalTime(), 8032);
    check(m.ModelTyp() == QLatin1String("QZ") && m.Change_AlarmO2(), m.AlarmO2(), w.AlarmO2(),
          8022);
    check(m.ModelTyp() == QLatin1String("VL") && m.Change_AK(), m.AK(), w.AK(), 20013);
    check(m.Change_JW(), m.JW(), w.JW(), 8084);
    check(m.Change_JH(), m.JH(), w.JH(), 8085);
    check(m.Change_SE(), m.SE(), w.SE(), 8086);
    check(m.Change_Warn(0), m.Warning(0), w.Warning(0), 5650);
    check(m.Change_Alarm(0), m.Alarm(0), w.Alarm(0), 5651);
    check(m.Change_AutoCal(0), m.AutoCalib(0), w.AutoCalib(0), 5654);
    check(m.Change_Stel(0), m.Stel(0), w.Stel(0), 5652);
    check(m.Change_Twa(0), m.Twa(0), w.Twa(0), 5653);
    check(m.Change_Interval(), m.Intervals(), w.Intervals(), 5223);
    check(m.Change_SpecType(), m.SpecType(), w.SpecType(), 8015);
    check(m.Change_AutoZero(), m.AutoZero(), w.AutoZero(), 8019);
    check(m.Change_DemandZero(), m.DemandZero(), w.DemandZero(), 8020);
    check(m.Change_SpanAllowance(), m.SpanAllowance(), w.SpanAllowance(), 8057);
    check(m.Change_BumpFailBehavior(), m.BumpFailBehavior(), w.BumpFailBehavior(), 8058);
    check(m.Change_SensorDate(), m.SensorDate(), w.SensorDate(), 8059);
    check(m.Change_PasswordProtect(), m.PasswordProtect(), w.PasswordProtect(), 8062);
    const bool password = m.Change_UseUserPassword() || m.Change_UserPassword2();
    check(password, m.UseUserPassword(), w.UseUserPassword(), 8021);
    check(password, m.UserPassword2(), w.UserPassword2(), 8024);
    return result;
}

} // namespace MasterCompare
