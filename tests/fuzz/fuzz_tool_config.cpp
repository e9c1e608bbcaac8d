// Feeds arbitrary bytes as the tool configuration file to its reader, then writes what was read
// and reads it again: the written file must read back completely and to the same lines.
#include "configuration/ToolConfig.h"
#include "configuration/ToolSettings.h"

#include <QCoreApplication>
#include <QDateTime>
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

bool writeBytes(const QString& path, const char* data, size_t size) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return file.write(data, qint64(size)) == qint64(size);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString input = scratchPath("input.ini");
    static const QString output = scratchPath("output.ini");
    if (!writeBytes(input, reinterpret_cast<const char*>(data), size)) return 0;

    ToolSettings settings;
    QString password = QStringLiteral("start");
    const ToolConfigReadResult first = ReadToolConfigurationFile(input, settings, password);
    if (!first.Found) __builtin_trap();
    if (first.StoppedAtLine < 0) __builtin_trap();

    // Whatever was read is written in a form that reads back to the same settings.
    const QDateTime when(QDate(2026, 1, 1), QTime(9, 30));
    const QStringList lines = ToolConfigurationLines(settings, password, when);
    if (!WriteToolConfigurationFile(output, settings, password)) __builtin_trap();
    ToolSettings again;
    QString againPassword;
    const ToolConfigReadResult second = ReadToolConfigurationFile(output, again, againPassword);
    if (!second.Found || second.StoppedAtLine != 0) __builtin_trap();
    again.ExecuteCount = settings.ExecuteCount;
    if (ToolConfigurationLines(again, againPassword, when) != lines) __builtin_trap();
    return 0;
}
