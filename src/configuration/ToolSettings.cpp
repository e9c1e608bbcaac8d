#include "configuration/ToolSettings.h"

#include "shell/AppState.h"
#include "shell/Messages.h"
#include "shell/modGasCommon.h"

ToolSettings::ToolSettings() {
    m_factoryAutoCal.fill(clsInstrument::NoValue);
}

bool ToolSettings::GasLocked(int gas) const {
    return IsGas(gas) && m_gasLocked[static_cast<size_t>(gas)];
}

void ToolSettings::setGasLocked(int gas, bool locked) {
    if (IsGas(gas)) m_gasLocked[static_cast<size_t>(gas)] = locked;
}

float ToolSettings::FactoryAutoCal(int gas) const {
    return IsGas(gas) ? m_factoryAutoCal[static_cast<size_t>(gas)] : clsInstrument::NoValue;
}

void ToolSettings::setFactoryAutoCal(int gas, float value) {
    if (IsGas(gas)) m_factoryAutoCal[static_cast<size_t>(gas)] = value;
}

qint32 ToolSettings::GasGraphColor(int gas) const {
    return IsGas(gas) ? m_gasGraphColor[static_cast<size_t>(gas)] : 0;
}

void ToolSettings::setGasGraphColor(int gas, qint32 color) {
    if (IsGas(gas)) m_gasGraphColor[static_cast<size_t>(gas)] = color;
}

ToolSettings& Tool() {
    static ToolSettings settings;
    return settings;
}

QString DefaultPasswordWord() {
    return UiLanguage() == QLatin1String("EN") ? QStringLiteral("KM71") : QStringLiteral("KM71J");
}

void ApplyToolDefaults(ToolSettings& s, QString& password) {
    s.TrendSearch = {-30, 45};
    s.LinkRetry = 3;
    s.LinkTimeout = 3;

    if (s.ConvFactor == 0.0f) {
        s.ConvFactor = kDefaultConvFactor;
        s.ConvEnabled = false;
        s.ConvUnits = {QStringLiteral("%LEL"), QStringLiteral("VOL%")};
    }

    // A fresh record holds the no-value mark as full scale, an untouched one 0: either way
    // the default gas has no range yet and gets the built-in methane definition.
    clsInstrument& d = s.DefaultValues;
    if (!(d.GasFullScale(0) > 0.0f)) {
        d.setGasName(0, QStringLiteral("CH4"));
        d.setGasEnabled(0, true);
        s.setGasLocked(0, false);
        d.setGasPoint(0, 0);
        d.setGasUnit(0, QStringLiteral("%LEL"));
        d.setWarning(0, 10.0f);
        d.setAlarm(0, 50.0f);
        d.setStel(0, -1.0f);
        d.setTwa(0, -1.0f);
        d.setGasDesit(0, 1.0f);
        d.setGasFullScale(0, 100.0f);
        d.setAutoCalib(0, 50.0f);
        s.setFactoryAutoCal(0, 50.0f);
    }

    if (s.CalibRange == 0.0f) s.CalibRange = 50.0f;
    if (password.isEmpty()) password = DefaultPasswordWord();
    for (float& width : s.PrintWidths)
        if (!(width >= 1.0f && width <= 100.0f)) width = 1.0f;
    if (s.CalUnitOnWait == 0) s.CalUnitOnWait = 45;
    if (s.CalSpanOnWait == 0) s.CalSpanOnWait = 90;
    if (s.CalSpanOffWait == 0) s.CalSpanOffWait = 45;
    s.CompletelyView = true;
}

void ApplyToolDefaults() {
    QString password = AppState::AccessPassword();
    ApplyToolDefaults(Tool(), password);
    AppState::setAccessPassword(password);
}
