#pragma once

#include "records/CalibrationCertificateData.h"

#include <QString>
#include <QStringList>

// The calibration certificate of a completed zero or span calibration: an A4 PDF in the
// program's language and a JSON file with the same content, both named
// "<serial>_<yyyy-mm-dd_hhnnss>_calibration" beside the factory record.
class CalibrationCertificate {
public:
    // Whether the calibration window writes certificates (the window program turns this on;
    // off by default, so that embedding the window sends no extra request).
    static bool Enabled();
    static void setEnabled(bool on);
    // The rows of the certificate (caption and value), in the program's language.
    static QList<QPair<QString, QString>> Rows(const CalibrationCertificateData& data);
    // Writes the PDF to `path`, whole or not at all; false with the file and the reason when it
    // fails.
    static bool WritePdf(const CalibrationCertificateData& data, const QString& path,
                         QString* error);
    // Writes the PDF and the JSON file into `folder`; the paths written go to `written`.
    // False with the file and the reason when either fails (a PDF without its JSON file is
    // removed).
    static bool Write(const CalibrationCertificateData& data, const QString& folder,
                      QStringList* written, QString* error);
};
