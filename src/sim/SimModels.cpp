#include "sim/SimModels.h"

namespace SimModels {

bool IsKnownModel(const QString& model) {
    return model == QLatin1String("KM") || model == QLatin1String("QZ") ||
           model == QLatin1String("VL");
}

GasProfile Gas(const QString& model) {
    if (model == QLatin1String("QZ")) return {25.0, 0.1, 20.9, 'Q'};
    if (model == QLatin1String("VL")) return {500.0, 1.0, 0.0, 'V'};
    return {100.0, 1.0, 0.0, 'K'};
}

QHash<QByteArray, QByteArray> FactorySettings(const QString& model) {
    QHash<QByteArray, QByteArray> s;
    const QByteArray m = model.toLatin1();
    // Identity.
    s["IN"] = m + "-71 SIM 0001";
    s["HN"] = "SIM-" + m + "71-000001";
    s["XZ"] = "----------------";
    s["XS"] = "----------------";
    s["BS"] = "SP-" + m + "71-01";
    s["UJ"] = "0";
    s["PS"] = "240115";
    s["RC"] = "71-Series," + m + "," + m + "-71";
    // Alarm behaviour and options (hexadecimal fields in their reply width).
    s["AP"] = "0001";
    s["AU"] = "0002";
    s["AI"] = "1E";
    s["AJ"] = "05";
    s["AB"] = "01";
    s["XB"] = "0001";
    s["XW"] = "1";
    s["XP"] = "003C";
    s["JW"] = "0";
    s["JH"] = "0000000000";
    s["SE"] = "0A";
    s["RA"] = "00";
    // Calibration.
    s["SC"] = "001E";
    s["SD"] = "1";
    s["SM"] = "0";
    s["SJ"] = "1";
    s["SG"] = "1";
    s["PN"] = "0000";
    // Bump test.
    s["BV"] = "1";
    s["BJ"] = "1";
    s["BK"] = "001E";
    s["BL"] = "0";
    s["BU"] = "3C,14,5A,1";
    s["PM"] = "0000";
    // Display, buzzer, protection, pump, hydrocarbon table.
    s["XT"] = "001E";
    s["UQ"] = "1";
    s["WB"] = "0,0,0";
    s["PG"] = "0";
    s["MP"] = "0,7193";
    s["BP"] = "0";
    s["LP"] = "0";
    s["AO"] = "0000";
    s["UZ"] = "0000";
    if (model == QLatin1String("QZ")) {
        s["GJ"] = "O2   25.0  0.1VOL%";
        s["A1"] = " 19.5";
        s["A2"] = " 18.0";
        s["AS"] = "*****";
        s["AW"] = "*****";
        // An oxygen span gas lies below the deficiency warning point.
        s["SA"] = " 18.0";
        s["AT"] = "1";
        s["VP"] = "71201";
        s["VS"] = "4B12";
        s["SZ"] = "0000";
        s["S1"] = "0A28";
        s["HA"] = "0A8C,0BB8,0672,0000,0000,0000,0000,0000,45002000";
    } else if (model == QLatin1String("VL")) {
        s["GJ"] = "CO    500    1ppm ";
        s["A1"] = "   25";
        s["A2"] = "   50";
        s["AS"] = "  200";
        s["AW"] = "   25";
        s["SA"] = "  100";
        s["AK"] = "0";
        s["VP"] = "71301";
        s["VS"] = "5E09";
        s["SZ"] = "0190";
        s["S1"] = "0640";
        s["HA"] = "0190,0BB8,0672,0064,0000,0000,0000,0000,439F2000";
    } else {
        s["GJ"] = "CH4   100    1%LEL";
        s["A1"] = "   10";
        s["A2"] = "   50";
        s["AS"] = "*****";
        s["AW"] = "*****";
        s["SA"] = "   50";
        s["VP"] = "71101";
        s["VS"] = "3A7C";
        s["SZ"] = "0200";
        s["S1"] = "0C80";
        s["HA"] = "01F4,0000,0BB8,0672,0000,0000,0000,0000,43CE4000";
    }
    return s;
}

QHash<QByteArray, QByteArray> InitialSettings(const QString& model) {
    QHash<QByteArray, QByteArray> s = FactorySettings(model);
    s["XZ"] = "SIM-USER";
    s["XS"] = "STATION-01";
    return s;
}

QList<QByteArray> KeptOnDefaults() {
    return {"IN", "HN", "BS", "UJ", "PS", "RC", "VP", "VS", "SZ", "S1", "HA"};
}

QList<QByteArray> CalibrationHistory(const QString& model) {
    if (model == QLatin1String("QZ"))
        return {"240320101500 20.3 20.9", "240918093000 21.2 20.9", "250305141200 20.6 20.9"};
    if (model == QLatin1String("VL"))
        return {"240320101500   96  100", "240918093000  104  100", "250305141200   98  100"};
    return {"240320101500   47   50", "240918093000   52   50", "250305141200   49   50"};
}

QList<QByteArray> BumpHistory(const QString& model) {
    if (model == QLatin1String("QZ")) return {"241002080500 18.2 18.0", "250401074500 18.1 18.0"};
    if (model == QLatin1String("VL")) return {"241002080500   48   50", "250401074500   51   50"};
    return {"241002080500   24   25", "250401074500   26   25"};
}

bool HasCommand(const QString& model, const QByteArray& command) {
    if (command == "AT" || command == "SN") return model == QLatin1String("QZ");
    if (command == "AK") return model == QLatin1String("VL");
    return true;
}

} // namespace SimModels
