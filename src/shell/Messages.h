#pragma once

#include <QString>
#include <QStringList>

// The numbered message table (English and Japanese), compiled into the program.

// Selects the table: "EN" or "JP". Without a call, the system's user-interface language decides.
void SetMessageLanguage(const QString& language);

// Localised text of entry `number` with "~1".."~9" replaced by the arguments, "~c" by CR LF and
// "~t" by a tab; any other "~x" pair is deleted. A number missing from the table gives "[number]".
QString LoadMessage(int number, const QStringList& arguments = {});

// True when the current table holds `number`.
bool HasMessage(int number);

// Number of entries in the current table.
int MessageTableSize();

// Every number of the table of `language` ("EN" or "JP").
QList<int> MessageNumbers(const QString& language);

// The application title, entry 5001.
QString AppTitle();

// The language of the running interface as the table itself says (entry 101): "EN" or "JP".
QString UiLanguage();
