#pragma once

#include <QString>
#include <QtGlobal>
#include <array>

class clsInstrument;

// One selectable gas definition of the gas catalogue.
struct GasCatalogEntry {
    bool Enabled = false; // offered in the gas selection
    bool Locked = false;  // held with the entry
    QString Name;
    QString Unit;
    float FullScale = 0.0f;
    float Digit = 0.0f; // display resolution (becomes GasDesit)
    qint16 Points = 0;  // decimal places (becomes GasPoint)
    float Warning = 0.0f;
    float Alarm = 0.0f;
    float STEL = 0.0f; // -101 means not used
    float TWA = 0.0f;  // -101 means not used
    float Ratio = 0.0f;
    float AutoCal = 0.0f; // span gas concentration (becomes AutoCalib)
    qint16 Zero = 0;

    bool operator==(const GasCatalogEntry&) const = default;
};

// The gas definitions a detector can be set to: 5 groups (model columns) of 17 entries.
// Group 0 serves KM, 1 QZ, 2 VL with an H2S sensor, 3 any other VL; group 4 no model.
class GasCatalog {
public:
    static constexpr int GroupCount = 5;
    static constexpr int EntryCount = 17;
    // Groups and entries the tool configuration file carries (the first of each).
    static constexpr int FileGroupCount = 4;
    static constexpr int FileEntryCount = 16;

    // A catalogue with every entry cleared.
    GasCatalog() = default;

    // Clears every entry (not enabled, not locked, empty texts, numbers 0).
    void Clear();
    // Clears the catalogue and fills in the built-in gas definitions of the three models.
    void FillDefaults();

    // Entry `entry` of `group`, or nullptr when either index is out of range.
    const GasCatalogEntry* at(int group, int entry) const;
    GasCatalogEntry* at(int group, int entry);

    // The group that serves a record's model, or -1 for an unknown model type.
    static int GroupForModel(const clsInstrument& record);

    // Enables channel `gas` of the record and copies entry (group, entry) into it; returns
    // false, after the enabling, when the entry does not exist.
    bool CopyEntryToRecord(int group, int entry, clsInstrument& record, int gas) const;

    bool operator==(const GasCatalog&) const = default;

private:
    std::array<std::array<GasCatalogEntry, EntryCount>, GroupCount> m_entries{};
};
