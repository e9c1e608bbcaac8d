#pragma once

#include "register/RegisterEvent.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Events for the register from files written before: the factory record "KM71_Setting*.csv"
// (one event per line: a read, a write or an identity write) and calibration certificates
// (one certificate event per JSON file). Each event's uid is derived from the file's name and
// the line (or the certificate's content), so importing a file again stores nothing twice.
// What a file does not tell (the computer and technician of a factory record line) is left
// unknown; the event's "source" detail names the file.
namespace RegisterImport {

// The events of the file at `path`: a certificate when its content is a JSON object, else a
// factory record. False with one sentence naming the file (and its line) when the file cannot
// be read or is neither.
bool ReadFile(const QString& path, QList<RegisterEvent>* events, QString* error);

// The events of the lines of a factory record file named `fileName` (its header line first,
// fields separated by either list separator); false with one sentence naming the line.
bool FactoryRecordEvents(const QString& fileName, const QByteArray& content,
                         QList<RegisterEvent>* events, QString* error);

// The event of a certificate file at `path` with this content; false with one sentence when
// the content is not a calibration certificate.
bool CertificateEvent(const QString& path, const QByteArray& content, RegisterEvent* event,
                      QString* error);

// The uid of the certificate event for the file named `fileName` with this content: the same
// for the event km71ctl records when it writes the file and for an import of it.
QString CertificateUid(const QString& fileName, const QByteArray& content);

} // namespace RegisterImport
