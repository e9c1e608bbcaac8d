// Feeds arbitrary bytes as a configuration file to the reader, as the program splits a file into
// lines, then writes what was read and reads it again: it must read back without an error.
#include "instrument/SettingsFile.h"
#include "instrument/clsInstrument.h"

#include "FuzzCheckedOnce.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Fresh records are copied from one made once: a copy shares its texts instead of making
    // them anew.
    static const clsInstrument fresh;
    const QString text = SettingsFile::TextOfBytes(
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    const QList<QStringView> lines = SettingsFile::LineViews(text);
    clsInstrument record = fresh;
    const auto result = SettingsFile::ApplyLines(lines, record);
    if (!result.ok && (result.errorLine < 1 || result.errorLine > lines.size())) __builtin_trap();
    clsInstrument master = fresh;
    const auto asMaster = SettingsFile::ApplyMasterLines(lines, master);
    if (asMaster.ok != result.ok) __builtin_trap();
    // Whatever was read can be written again and reads back without an error (each distinct
    // written file is tried once); the file made in one piece is the one its lines make.
    const QString written = SettingsFile::Text(record);
    static CheckedOnce checked;
    if (!checked.firstTime(QStringView(written))) return 0;
    const QList<QStringView> writtenLines = SettingsFile::LineViews(written);
    const QStringList lineByLine = SettingsFile::Lines(record);
    if (writtenLines.size() != lineByLine.size()) __builtin_trap();
    for (qsizetype i = 0; i < lineByLine.size(); ++i)
        if (writtenLines[i] != lineByLine[i]) __builtin_trap();
    clsInstrument again = fresh;
    if (!SettingsFile::ApplyLines(writtenLines, again).ok) __builtin_trap();
    return 0;
}
