#pragma once

// Readable test output for Qt texts: GoogleTest prints a QString as its quoted text.

#include <QString>
#include <ostream>

// Prints a Qt text in quotes.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
