// Feeds arbitrary bytes as the tool configuration file to its reader, then writes what was read
// and reads it again, all in memory: the written file must read back completely and to the
// same lines. Each distinct written file is sent round once.
#include "configuration/ToolConfig.h"
#include "configuration/ToolSettings.h"

#include "FuzzCheckedOnce.h"

#include <QBuffer>
#include <QDateTime>
#include <cstddef>
#include <cstdint>

namespace {

ToolConfigReadResult ReadBytes(const QByteArray& bytes, ToolSettings& settings, QString& password) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return ReadToolConfiguration(buffer, settings, password);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Fresh settings are copied from one made once: a copy shares its texts instead of making
    // the hundreds a new record holds.
    static const ToolSettings fresh;
    ToolSettings settings = fresh;
    QString password = QStringLiteral("start");
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const ToolConfigReadResult first = ReadBytes(input, settings, password);
    if (!first.Found || first.StoppedAtLine < 0) __builtin_trap();

    // Whatever was read is written in a form that reads back to the same settings.
    const QDateTime when(QDate(2026, 1, 1), QTime(9, 30));
    const QByteArray file = ToolConfigurationBytes(settings, password, when);
    static CheckedOnce checked;
    if (!checked.firstTime(file)) return 0;
    // The file made in one piece is the one its lines make.
    const QStringList lines = ToolConfigurationLines(settings, password, when);
    if (ToolConfigurationBytes(lines) != file) __builtin_trap();
    ToolSettings again = fresh;
    QString againPassword;
    const ToolConfigReadResult second = ReadBytes(file, again, againPassword);
    if (!second.Found || second.StoppedAtLine != 0) __builtin_trap();
    again.ExecuteCount = settings.ExecuteCount;
    if (ToolConfigurationLines(again, againPassword, when) != lines) __builtin_trap();
    return 0;
}
