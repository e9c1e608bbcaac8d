// Feeds arbitrary bytes as a station list file to its reader under both list separators; the
// names read are written and read again and must come back unchanged.
#include "factory/StationCsv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cstddef>
#include <cstdint>

namespace {

QString scratchPath(const char* name) {
    return QDir::temp().filePath(QStringLiteral("km71_fuzz_%1_%2")
                                     .arg(QCoreApplication::applicationPid())
                                     .arg(QLatin1String(name)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString input = scratchPath("stations_in.csv");
    static const QString output = scratchPath("stations_out.csv");
    {
        QFile file(input);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        if (file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size)) return 0;
    }
    for (const QString& separator : {QStringLiteral(","), QStringLiteral(";")}) {
        QStringList names;
        QString error;
        if (!StationCsv::Read(input, separator, StationCsv::kLineCount, &names, &error))
            __builtin_trap();
        if (names.size() > StationCsv::kLineCount) __builtin_trap();
        for (const QString& name : names)
            if (name.contains(QLatin1Char('\n'))) __builtin_trap();

        // A name read once is stable: writing and reading it again changes nothing.
        if (!StationCsv::Write(output, names, separator, &error)) __builtin_trap();
        QStringList first;
        if (!StationCsv::Read(output, separator, StationCsv::kLineCount, &first, &error))
            __builtin_trap();
        if (!StationCsv::Write(output, first, separator, &error)) __builtin_trap();
        QStringList second;
        if (!StationCsv::Read(output, separator, StationCsv::kLineCount, &second, &error))
            __builtin_trap();
        if (first != second || first.size() != names.size()) __builtin_trap();
    }
    return 0;
}
