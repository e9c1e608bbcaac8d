// Feeds arbitrary bytes as a configuration file to the reader and the import sequence.
#include "instrument/SettingsFile.h"
#include "instrument/clsInstrument.h"

#include <QRegularExpression>
#include <QString>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
    clsInstrument record;
    const QStringList before = SettingsFile::Lines(record);
    const auto result = SettingsFile::ApplyLines(lines, record);
    if (!result.ok && (result.errorLine < 1 || result.errorLine > lines.size())) __builtin_trap();
    // Whatever was read can be written again and reads back to the same lines.
    const QStringList written = SettingsFile::Lines(record);
    clsInstrument again;
    const auto second = SettingsFile::ApplyLines(written, again);
    if (!second.ok) __builtin_trap();
    (void)before;
    return 0;
}
