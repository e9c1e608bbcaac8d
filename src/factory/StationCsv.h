#pragma once

#include <QIODevice>
#include <QString>
#include <QStringList>

// The station list CSV file: one line per station, "number<separator>name", lines ended by
// CR LF, text in the locale's encoding, no header line. The separator is ListSeparator():
// "," when the locale writes decimals with ".", ";" otherwise.
namespace StationCsv {

// Lines a station list file holds at most.
inline constexpr int kLineCount = 256;

// The text of a station list file: one line "n<separator>name" for each name, n counting
// from 1.
QByteArray FileText(const QStringList& names, const QString& separator);

// The station name of one file line: the fields after the first, empty fields dropped, joined
// with `separator`. Fields are separated by `separator` or a tab.
QString NameOfLine(const QString& line, const QString& separator);

// Writes a station list file in one piece (the old file stays whole when writing fails).
// False with a reason in `error` when the file could not be written.
bool Write(const QString& path, const QStringList& names, const QString& separator, QString* error);

// Reads the names of at most `maxLines` lines of a station list file into `names`. False with
// a reason in `error` when the file could not be opened or read; `names` then holds the lines
// read before the failure.
bool Read(const QString& path, const QString& separator, int maxLines, QStringList* names,
          QString* error);
// The same from an open device (the file, or bytes in memory).
bool Read(QIODevice& device, const QString& separator, int maxLines, QStringList* names,
          QString* error);

} // namespace StationCsv
