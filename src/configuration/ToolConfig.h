#pragma once

#include "configuration/ToolSettings.h"

#include <QDateTime>
#include <QIODevice>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// The tool configuration file "KM71Config.ini": the program's own settings, the default gas
// of a new configuration, the gas catalogue and the stored password line.
//
// The file is tab-separated text with ";" comments and apostrophe-quoted strings, CR LF line
// ends, fractional numbers in the locale's notation ("." is accepted whatever the locale).
// The reader is tolerant: unknown keys are skipped and a value that is not a number falls
// back to a fixed value; a "Gas Inst" gas number or a "ChgGas" group or entry outside its
// table ends the reading at that line, keeping what was applied before.

// File name of the tool configuration.
inline constexpr const char* kToolConfigName = "KM71Config.ini";

// Outcome of reading the file.
struct ToolConfigReadResult {
    // The file existed and was read (entirely or up to StoppedAtLine).
    bool Found = false;
    // 1-based number of the line that ended the reading early; 0 when read to the end.
    int StoppedAtLine = 0;
};

// Link parameters of the tool configuration, for programs that need nothing else from it.
struct ToolLinkSettings {
    qint16 LinkRetry = 3;
    qint16 LinkTimeout = 3;
    // "HOST:PORT" of the infrared link; empty when none is configured.
    QString IrdaEndpoint;
};

// Full path of the tool configuration file in the start-up folder.
QString ToolConfigurationPath();

// Applies every recognised line of the file at `path` to `settings` and `password`; changes
// nothing when the file does not exist.
ToolConfigReadResult ReadToolConfigurationFile(const QString& path, ToolSettings& settings,
                                               QString& password);
// The same from an open device (the file, or bytes in memory); Found is always true.
ToolConfigReadResult ReadToolConfiguration(QIODevice& device, ToolSettings& settings,
                                           QString& password);

// Reads the file in the start-up folder into Tool() and the process-wide access password.
ToolConfigReadResult ReadToolConfiguration();

// The lines of the file for `settings` and `password`, stamped with `when`, without line ends.
QStringList ToolConfigurationLines(const ToolSettings& settings, const QString& password,
                                   const QDateTime& when);

// The bytes of the file: the lines, each ended by CR LF, in the system's encoding.
QByteArray ToolConfigurationBytes(const ToolSettings& settings, const QString& password,
                                  const QDateTime& when);
// The same for lines already made by ToolConfigurationLines().
QByteArray ToolConfigurationBytes(const QStringList& lines);

// Replaces the file at `path` by a complete new one (the old file stays untouched when
// writing fails). Returns false and sets `error` on failure.
bool WriteToolConfigurationFile(const QString& path, const ToolSettings& settings,
                                const QString& password, QString* error = nullptr);

// Writes Tool() and the process-wide access password to the file in the start-up folder.
bool WriteToolConfiguration(QString* error = nullptr);

// The key-less obfuscation of the stored password: two characters per character.
QString EncodePassword(const QString& text);

// The inverse of EncodePassword(); an odd trailing character is ignored. A pair that gives no
// valid character code sets `ok` to false and yields an empty text.
QString DecodePassword(const QString& text, bool* ok = nullptr);

// Retry count, timeout and infrared endpoint from the tool configuration in `folder`; 3 and 3
// (and no endpoint) where the file is missing or holds no usable value. Process state is not
// touched.
ToolLinkSettings ReadToolLinkSettings(const QString& folder);
