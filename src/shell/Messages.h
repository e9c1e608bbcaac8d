#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The numbered message table (English and Japanese), compiled into the program.
//
// Code that names a message number outside a direct `LoadMessage(<number>` call keeps it in a
// constant named `kMsg<Name>` (for example `constexpr int kMsgNoResponse = 5405;`), so that the
// test suite can check that every number the program uses exists in both tables.

// Selects the table: "EN" or "JP" (any letter case; anything else selects "EN"). Without a call,
// the system's user-interface language decides.
void SetMessageLanguage(const QString& language);

// Localised text of entry `number` with "~1".."~9" replaced by the arguments (an argument that is
// not given counts as empty), "~c" by CR LF and "~t" by a tab; any other "~x" pair and a trailing
// "~" are deleted. Escapes inside an argument are expanded too, except that an argument never
// expands into itself. A number missing from the table gives "[number]".
QString LoadMessage(int number, const QStringList& arguments = {});

// True when the current table holds `number`.
bool HasMessage(int number);

// Number of entries in the current table.
int MessageTableSize();

// Every number of the table of `language` ("EN" or "JP"), ascending.
QList<int> MessageNumbers(const QString& language);

// The application title, entry 5001.
QString AppTitle();

// The language of the running interface as the table itself says (entry 101): "EN" or "JP".
QString UiLanguage();

// `text` for quoting inside a one-line sentence: every control character is shown as \xNN.
QString OneLineText(const QString& text);
