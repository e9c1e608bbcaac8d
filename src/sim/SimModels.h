#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

// What tells the three simulated models apart: their gas, their settings as they leave the
// factory, their identity and their stored calibration and bump records.
namespace SimModels {

// Gas of a model, as its logger records and live readings use it.
struct GasProfile {
    double fullScale = 100.0; // full scale in the gas unit
    double resolution = 1.0;  // one display step
    double fresh = 0.0;       // reading in clean air (20.9 for oxygen)
    char code = 'K';          // model byte in logger records
};

// True for "KM", "QZ" and "VL".
bool IsKnownModel(const QString& model);

// The gas of the model.
GasProfile Gas(const QString& model);

// Every setting by command, in the reply format, as the detector leaves the factory.
QHash<QByteArray, QByteArray> FactorySettings(const QString& model);

// The settings of a detector in service: the factory settings with its identity filled in.
QHash<QByteArray, QByteArray> InitialSettings(const QString& model);

// Settings that restoring the factory defaults leaves as they are (identity, clock).
QList<QByteArray> KeptOnDefaults();

// Stored calibration records (22 characters each), oldest first.
QList<QByteArray> CalibrationHistory(const QString& model);

// Stored bump test records (22 characters each), oldest first.
QList<QByteArray> BumpHistory(const QString& model);

// True when the model has the command (the oxygen alarm type and oxygen zero on QZ only, the
// A-1H/TWA selection on VL only).
bool HasCommand(const QString& model, const QByteArray& command);

} // namespace SimModels
