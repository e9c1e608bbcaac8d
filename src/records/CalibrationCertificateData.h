#pragma once

#include "configuration/SpanAcceptance.h"

#include <QDate>
#include <QDateTime>
#include <QJsonObject>
#include <QSet>
#include <QString>
#include <QStringList>

class clsInstrument;

// What a calibration certificate says about one completed zero or span calibration: the
// detector's identity, the gas, the outcome with the readings before and after from the
// detector's latest calibration record, the clocks, the calibration interval with the next due
// date, the technician and the program version, and for a span the acceptance band and verdict.
// Also written as a JSON file beside the PDF.
struct CalibrationCertificateData {
    // Kind of calibration.
    enum class Kind { Zero, Span };

    Kind kind = Kind::Zero;
    bool passed = false;
    QString model; // model type code, "KM", "QZ" or "VL"
    QString serialNo;
    QString manufactureNo;
    QString stationId;
    QString userId;
    QString programNumber; // ROM number, five digits
    QString sum;           // ROM checksum text
    QString gasName;
    QString gasUnit;
    float fullScale = 0.0f;
    qint16 places = 0;                 // decimal places of the gas's concentrations
    float spanConcentration = -101.0f; // no value for a zero calibration
    float readingBefore = -101.0f;
    float readingAfter = -101.0f;
    QDateTime lastCalibration; // date of the detector's latest calibration record
    QDateTime pcTime;
    QDateTime detectorTime;
    int intervalDays = 0; // 0: no calibration interval set
    QString technician;
    QString programVersion;
    // The span's acceptance band and verdict; none for a zero calibration (and for a span
    // certificate made without one).
    std::optional<SpanAcceptance> acceptance;

    // Fills the data from the detector record (identity, gas, latest calibration record) and
    // the calibration record of the window (gas and span concentration may be its own).
    static CalibrationCertificateData FromRecords(const clsInstrument& detector,
                                                  const clsInstrument& calibration, int gas,
                                                  Kind kind, bool passed, const QDateTime& pcTime,
                                                  const QDateTime& detectorTime);

    // The login name of the person running the program.
    static QString CurrentUserName();

    // The next calibration due date (invalid when no interval is set).
    QDate nextDue() const;
    // "<serial>_<yyyy-mm-dd_hhnnss>_calibration", the name of both files without extension.
    QString baseName() const;
    // A concentration with the gas's decimal places and "."; empty for no value.
    QString concentrationText(float value) const;
    // The JSON object of the certificate.
    QJsonObject toJson() const;
    // The path without extension for this certificate's files in `folder`: `baseName()`, or
    // `baseName()` + "_2", "_3", ... when a certificate of that name is already there.
    QString unusedPathBase(const QString& folder) const;
    // Writes the JSON form to the file `path`; false with a reason when it fails.
    bool writeJson(const QString& path, QString* error) const;
};

// A file name part that cannot leave the folder or break the name ("unknown" when empty).
QString SafeNamePart(const QString& text);

// `folder`/`name`, or `folder`/`name` + "_2", "_3", ... when a file of that name with one of the
// `extensions` (such as ".pdf") is already there, or the name is among `claimed` (chosen by a
// writer that has not written yet): a later record never replaces an earlier one.
QString UnusedPathBase(const QString& folder, const QString& name, const QStringList& extensions,
                       const QSet<QString>& claimed = {});
