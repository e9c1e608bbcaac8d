// Feeds arbitrary text as a register location (the "Register" key or --register): a location
// it accepts names itself in a text that reads back to the same location, and a refusal is one
// line without control characters (it is printed on a terminal).
#include "register/FleetRegister.h"

#include <cstddef>
#include <cstdint>

namespace {

bool Same(const RegisterLocation& a, const RegisterLocation& b) {
    return a.engine == b.engine && a.sqlitePath == b.sqlitePath && a.user == b.user &&
           a.host == b.host && a.database == b.database && a.port == b.port;
}

bool Printable(const QString& sentence) {
    for (const QChar c : sentence)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) return false;
    return !sentence.isEmpty();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString folder = QStringLiteral("/station");
    QString error;
    const auto location = RegisterLocation::Parse(text, folder, &error);
    if (!location) {
        if (!Printable(error)) __builtin_trap();
        return 0;
    }
    // A location is read trimmed; a file path that ends in blanks once cleaned (blanks before
    // a last "/") cannot be named again, and needs not.
    const QString named = location->text();
    if (named != named.trimmed()) return 0;
    const auto again = RegisterLocation::Parse(named, folder, &error);
    if (!again || !Same(*location, *again)) __builtin_trap();
    return 0;
}
