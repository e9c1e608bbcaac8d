#include "instrument/GasChannel.h"

#include "instrument/clsInstrument.h"
#include "shell/modGasCommon.h"

QString FormatGasLabel(const clsInstrument& record, int gas, bool withFullScale) {
    const QString name = record.GasName(gas);
    if (name.trimmed().isEmpty()) return QStringLiteral("----(---)");
    if (gas == 4 || !withFullScale)
        return name + QLatin1Char('(') + record.GasUnit(gas) + QLatin1Char(')');
    return name + QLatin1Char('(') + FormatDigits(record.GasFullScale(gas), record.GasPoint(gas)) +
           record.GasUnit(gas) + QLatin1Char(')');
}

bool DecodeGasInfoField(const QString& field, clsInstrument& record, int gas) {
    if (gas < 0 || gas >= clsInstrument::GasCount || field.size() != 18) return false;
    if (!record.ApplyGasDefinition(field)) return false;
    // A value read from the detector is no pending edit.
    record.setChange_GasEnable(gas, false);
    record.setChange_GasPoint(gas, false);
    return true;
}

bool IsAtWarning(const clsInstrument& record, int gas, float reading) {
    if (reading < 0.0f) return true;
    float fallback = 0.0f;
    if (gas == 1)
        fallback = 19.5f;
    else if (gas == 3)
        fallback = 25.0f;
    else if (gas == 0 || gas == 2)
        fallback = 10.0f;

    const QString name = record.GasName(gas);
    const float warning = record.Warning(gas);
    if (name != QLatin1String("O2") && name != QLatin1String("OXY"))
        return warning < 0.0f ? reading >= fallback : reading >= warning;
    // Oxygen warns on deficiency.
    if (record.AlarmO2() == 2) return record.GasFullScale(gas) != 0.0f;
    return warning < 0.0f ? reading <= fallback : reading <= warning;
}
