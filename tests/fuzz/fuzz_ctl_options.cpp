// Feeds arbitrary command lines (arguments separated by NUL bytes) to km71ctl's parser: it either
// accepts them with a known command, help or version, or refuses them with one sentence.
#include "ctl/CtlOptions.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QStringList arguments;
    for (const QByteArray& part :
         QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)).split('\0'))
        arguments << QString::fromUtf8(part);
    CtlOptions options;
    QString error;
    if (CtlOptions::Parse(arguments, &options, &error)) {
        if (!options.help && !options.version && !CtlOptions::IsCommand(options.command))
            __builtin_trap();
    } else if (error.isEmpty() || error.contains(QLatin1Char('\n'))) {
        __builtin_trap();
    }
    return 0;
}
