// Feeds arbitrary bytes as a station list file to its reader under both list separators, in
// memory; the names read are written and read again and must come back unchanged.
#include "factory/StationCsv.h"

#include "FuzzCheckedOnce.h"

#include <QBuffer>
#include <cstddef>
#include <cstdint>

namespace {

bool ReadBytes(const QByteArray& bytes, const QString& separator, QStringList* names) {
    // One buffer made once serves every read.
    static QBuffer buffer;
    buffer.close();
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QString error;
    return StationCsv::Read(buffer, separator, StationCsv::kLineCount, names, &error);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QString& separator : {QStringLiteral(","), QStringLiteral(";")}) {
        QStringList names;
        if (!ReadBytes(input, separator, &names)) __builtin_trap();
        if (names.size() > StationCsv::kLineCount) __builtin_trap();
        for (const QString& name : names)
            if (name.contains(QLatin1Char('\n'))) __builtin_trap();

        // A name read once is stable: writing and reading it again changes nothing (each
        // distinct list is tried once for each separator).
        static CheckedOnce checked;
        if (!checked.firstTime(names + QStringList{separator})) continue;
        QStringList first, second;
        if (!ReadBytes(StationCsv::FileText(names, separator), separator, &first)) __builtin_trap();
        if (!ReadBytes(StationCsv::FileText(first, separator), separator, &second)) __builtin_trap();
        if (first != second || first.size() != names.size()) __builtin_trap();
    }
    return 0;
}
