#pragma once

#include <QDateTime>

// Date-times as the detector and the files hold them: a double counting days since
// 30 December 1899 00:00, the fraction being the time of day. Before that day the whole
// part is negative and the fraction still adds the time of day (-1.25 = 29 Dec 1899 06:00).
// Both sides are local wall-clock time; no time zone conversion takes place.

// The date value of a wall-clock date-time (0.0 for an invalid one).
double DateTimeToOle(const QDateTime& dateTime);

// The local date-time of a date value, to the millisecond; invalid for a value that is not
// finite or lies outside the years 100 to 9999.
QDateTime OleToDateTime(double value);

// The date value of the current local time.
double OleNow();
