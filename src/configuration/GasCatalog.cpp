#include "configuration/GasCatalog.h"

#include "instrument/clsInstrument.h"

namespace {

struct DefaultEntry {
    int group;
    int entry;
    const char* name;
    const char* unit;
    qint16 points;
    float digit;
    float fullScale;
    float warning;
    float alarm;
    float stel;
    float twa;
    float autoCal;
};

// The built-in definitions; every other entry stays cleared.
constexpr DefaultEntry kDefaults[] = {
    {0, 0, "CH4", "%LEL", 0, 1.0f, 100.0f, 10.0f, 50.0f, -101.0f, -101.0f, 50.0f},
    {0, 1, "HC", "%LEL", 0, 1.0f, 100.0f, 10.0f, 50.0f, -101.0f, -101.0f, 50.0f},
    {0, 2, "H2", "%LEL", 0, 1.0f, 100.0f, 10.0f, 50.0f, -101.0f, -101.0f, 50.0f},
    {0, 3, "CH4", "VOL%", 2, 0.05f, 5.0f, 0.5f, 2.5f, -101.0f, -101.0f, 2.5f},
    {1, 0, "O2", "VOL%", 1, 0.1f, 40.0f, 19.5f, 18.0f, -101.0f, -101.0f, 0.0f},
    {2, 0, "H2S", "ppm", 1, 0.5f, 100.0f, 10.0f, 30.0f, 15.0f, 10.0f, 25.0f},
    {2, 1, "H2S", "ppm", 1, 0.1f, 30.0f, 1.0f, 10.0f, 5.0f, 1.0f, 16.0f},
    {3, 0, "CO", "ppm", 0, 1.0f, 500.0f, 50.0f, 150.0f, 200.0f, 150.0f, 80.0f},
};

} // namespace

void GasCatalog::Clear() {
    for (auto& group : m_entries)
        group.fill(GasCatalogEntry{});
}

void GasCatalog::FillDefaults() {
    Clear();
    for (const DefaultEntry& d : kDefaults) {
        GasCatalogEntry& e = m_entries[static_cast<size_t>(d.group)][static_cast<size_t>(d.entry)];
        e.Enabled = true;
        e.Locked = false;
        e.Name = QString::fromLatin1(d.name);
        e.Unit = QString::fromLatin1(d.unit);
        e.Points = d.points;
        e.Digit = d.digit;
        e.FullScale = d.fullScale;
        e.Warning = d.warning;
        e.Alarm = d.alarm;
        e.STEL = d.stel;
        e.TWA = d.twa;
        e.AutoCal = d.autoCal;
    }
}

const GasCatalogEntry* GasCatalog::at(int group, int entry) const {
    if (group < 0 || group >= GroupCount || entry < 0 || entry >= EntryCount) return nullptr;
    return &m_entries[static_cast<size_t>(group)][static_cast<size_t>(entry)];
}

GasCatalogEntry* GasCatalog::at(int group, int entry) {
    if (group < 0 || group >= GroupCount || entry < 0 || entry >= EntryCount) return nullptr;
    return &m_entries[static_cast<size_t>(group)][static_cast<size_t>(entry)];
}

int GasCatalog::GroupForModel(const clsInstrument& record) {
    const QString model = record.ModelTyp().trimmed();
    if (model == QLatin1String("KM")) return 0;
    if (model == QLatin1String("QZ")) return 1;
    if (model == QLatin1String("VL"))
        return record.GasName(0).trimmed() == QLatin1String("H2S") ? 2 : 3;
    return -1;
}

bool GasCatalog::CopyEntryToRecord(int group, int entry, clsInstrument& record, int gas) const {
    record.setGasEnabled(gas, true);
    const GasCatalogEntry* e = at(group, entry);
    if (!e) return false;
    record.setGasName(gas, e->Name);
    record.setGasPoint(gas, e->Points);
    record.setGasUnit(gas, e->Unit);
    record.setGasDesit(gas, e->Digit);
    record.setGasFullScale(gas, e->FullScale);
    record.setRatio(gas, e->Ratio);
    record.setWarning(gas, e->Warning);
    record.setAlarm(gas, e->Alarm);
    record.setStel(gas, e->STEL);
    record.setTwa(gas, e->TWA);
    record.setAutoCalib(gas, e->AutoCal);
    record.setZero(gas, e->Zero);
    return true;
}
