#pragma once

#include "instrument/MasterCompare.h"
#include "records/PdfPage.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

class clsInstrument;

// The proof that a detector was set up from a master file: who and what, the settings that
// differed at first, the settings written, and the verdict of the comparison that followed
// (PASS when nothing differs any more). Written as "<serial>_<yyyy-mm-dd_hhnnss>_provision"
// .json and .pdf beside the calibration certificates.
struct ProvisionReport {
    QString model; // model type code, "KM", "QZ" or "VL"
    QString serialNo;
    QString manufactureNo;
    QString stationId;
    QString userId;
    QString gas;        // the gas as the grids show it
    QString masterFile; // path of the master file
    QDateTime pcTime;
    QString technician;
    QString computer;
    QString programVersion;
    QList<MasterCompare::Difference> found;     // the differences before anything was written
    QStringList written;                        // keys of the settings written
    QList<MasterCompare::Difference> remaining; // the differences of the final comparison
    // Set when the final comparison could not be made (the detector was not read again);
    // the report is then FAIL whatever `remaining` holds.
    QString failure;

    // PASS: the final comparison was made and found nothing.
    bool passed() const { return failure.isEmpty() && remaining.isEmpty(); }
    // "PASS" or "FAIL".
    QString verdict() const;

    // Identity and gas from the detector's record, the stamp from the arguments.
    static ProvisionReport FromRecord(const clsInstrument& detector, const QString& masterFile,
                                      const QDateTime& pcTime);

    // "<serial>_<yyyy-mm-dd_hhnnss>_provision", the name of both files without extension.
    QString baseName() const;
    // The JSON object of the report; differences as {key, caption, detector, master}.
    QJsonObject toJson() const;
    // The JSON array of differences as toJson() writes them (also what compare --json lists).
    static QJsonArray DifferencesJson(const QList<MasterCompare::Difference>& differences);
    // The details of the register's provision event: "verdict", "written", "remaining", the
    // report's JSON file as "report" (when there is one) and, when the final comparison could
    // not be made, the "reason".
    QJsonObject eventDetails(const QString& reportFile) const;
    // The caption/value rows of the report's page, in the program's language.
    QList<QPair<QString, QString>> rows() const;
    // The page's table: the differences that remain, or why nothing could be compared.
    PdfPage::Table table() const;
    // True when the page needs a system font (a text beyond Latin-1), and so QtGui.
    bool needsSystemFont() const;

    // Writes the PDF and the JSON file into `folder` (a later report never replaces an earlier
    // one); the paths written go to `written`. False with a reason when either fails (a PDF
    // without its JSON file is removed).
    static bool Write(const ProvisionReport& report, const QString& folder, QStringList* written,
                      QString* error);
    // The path without extension the report would be written at in `folder`, passing over
    // those in `claimed` (chosen for reports still being written).
    static QString UnusedBase(const ProvisionReport& report, const QString& folder,
                              const QSet<QString>& claimed = {});
    // Writes the PDF and the JSON file at `base` + ".pdf" / ".json", as Write.
    static bool WriteAt(const ProvisionReport& report, const QString& base, QStringList* written,
                        QString* error);
};
