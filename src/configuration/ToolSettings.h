#pragma once

#include "configuration/GasCatalog.h"
#include "instrument/clsInstrument.h"

#include <QString>
#include <QtGlobal>
#include <array>

// The dialog font as plain data; the window program turns it into a font object.
struct FontSpec {
    QString Name; // empty: the system's default family
    float Size = 9.0f;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;

    bool operator==(const FontSpec&) const = default;
};

// The main window's placement: state 0 normal, 2 maximised; width and height in twips.
struct WindowSize {
    qint16 State = 0;
    qint32 Width = 7680;
    qint32 Height = 5760;

    bool operator==(const WindowSize&) const = default;
};

// The program's own settings (not the detector's), kept in the tool configuration file.
// The field values are those before the file is read; ApplyToolDefaults() completes them.
struct ToolSettings {
    // Settings with the values they hold before the file is read.
    ToolSettings();

    // Runs of the program; the file stores one more than the value last read.
    qint32 ExecuteCount = 0;
    // Rotate the link logs at start-up.
    bool SerialLogEnabled = false;
    // Inserted into the factory record file name before ".csv".
    QString FactoryRecordSuffix;
    // Serial port number of the infrared module (written only).
    qint16 IrCommPort = 0;
    // Serial settings text of the infrared module (written only).
    QString CommSettings = QStringLiteral("921600,n,8,1");
    // Infrared endpoint of the link, "HOST:PORT"; empty when none is configured.
    QString IrdaEndpoint;
    // Link reply timeout in seconds, delay (stored only) and retry count.
    qint16 LinkTimeout = 3;
    qint16 LinkDelay = 0;
    qint16 LinkRetry = 3;
    // Stored only.
    bool AutoLoadEnabled = false;
    bool AutoRemoveEnabled = false;
    // Font of the dialog controls.
    FontSpec SharedFont;
    // Calibration range (50 when 0 at start).
    float CalibRange = 0.0f;
    // Read only; no other use.
    qint16 LimitDays = 0;
    // Defaults of a new configuration.
    clsInstrument DefaultValues;
    // Concentration conversion factor and switch, and the two unit names it converts between.
    float ConvFactor = 0.0f;
    bool ConvEnabled = false;
    std::array<QString, 2> ConvUnits{QStringLiteral("%LEL"), QStringLiteral("VOL%")};
    // The selectable gas definitions.
    GasCatalog Catalog;
    // Calibration waits in seconds (45, 90, 45 when 0 at start).
    qint16 CalUnitOnWait = 0;
    qint16 CalSpanOnWait = 0;
    qint16 CalSpanOffWait = 0;
    // Placement of the main window.
    WindowSize MainWindowSize;
    // Line widths of printing: data line, scale line (1..100).
    std::array<float, 2> PrintWidths{1.0f, 1.0f};
    // Stored only.
    bool CompletelyView = true;
    // Trend search window: before the event, after the event.
    std::array<qint16, 2> TrendSearch{-30, 45};
    // Where the fleet register lives: a postgresql:// URL or the path of an SQLite file; empty
    // for the default file in the start-up folder. Written only when set.
    QString Register;
    // Who the register's events name as technician; empty for the login name. Written only
    // when set.
    QString Technician;
    // How far the reading after a span may lie from the span concentration, in percent of it,
    // as written in the file (SpanTolerancePercent() reads it); empty for the default. Written
    // only when set.
    QString SpanTolerance;

    // Whether `gas` is a channel of the per-gas tables.
    static bool IsGas(int gas) { return gas >= 0 && gas < clsInstrument::GasCount; }

    // Whether the gas may not be switched off; false for a channel that does not exist.
    bool GasLocked(int gas) const;
    // Stores the lock of a gas; ignored for a channel that does not exist.
    void setGasLocked(int gas, bool locked);
    // Span concentration of the factory auto calibration (-101 for none); -101 outside.
    float FactoryAutoCal(int gas) const;
    // Stores the factory auto calibration value; ignored for a channel that does not exist.
    void setFactoryAutoCal(int gas, float value);
    // Graph colour of a gas (stored only); 0 outside.
    qint32 GasGraphColor(int gas) const;
    // Stores the graph colour; ignored for a channel that does not exist.
    void setGasGraphColor(int gas, qint32 color);

private:
    std::array<bool, clsInstrument::GasCount> m_gasLocked{};
    std::array<float, clsInstrument::GasCount> m_factoryAutoCal{};
    std::array<qint32, clsInstrument::GasCount> m_gasGraphColor{};
};

// The process-wide tool settings.
ToolSettings& Tool();

// Completes `settings` and `password` with the built-in defaults the main window sets before it
// reads the file: trend search, retry and timeout, and every value still 0 or out of range.
void ApplyToolDefaults(ToolSettings& settings, QString& password);

// Applies the built-in defaults to Tool() and the process-wide access password.
void ApplyToolDefaults();

// The default access password word of the running interface language.
QString DefaultPasswordWord();
