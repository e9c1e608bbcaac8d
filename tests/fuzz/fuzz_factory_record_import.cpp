// Feeds arbitrary bytes as a factory record file to the register's import: every event it makes
// must survive its own canonical content unchanged (what the hash chain covers), and a refusal
// names the file in one line.
#include "ctl/RegisterImport.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray content =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QList<RegisterEvent> events;
    QString error;
    if (!RegisterImport::FactoryRecordEvents(QStringLiteral("KM71_Setting2026.csv"), content,
                                             &events, &error)) {
        if (error.isEmpty() || error.contains(u'\n') || error.contains(u'\r')) __builtin_trap();
        return 0;
    }
    for (const RegisterEvent& event : events) {
        const QByteArray canonical = event.CanonicalContent();
        const auto back = RegisterEvent::FromCanonicalContent(canonical);
        if (!back || back->CanonicalContent() != canonical) __builtin_trap();
    }
    return 0;
}
