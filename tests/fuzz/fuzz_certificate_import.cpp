// Feeds arbitrary bytes as a calibration certificate file to the register's import: an event it
// makes must survive its own canonical content unchanged, its uid follows from name and content
// alone, and a refusal names the file in one line.
#include "ctl/RegisterImport.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray content =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString name = QStringLiteral("A1_2026-01-01_093000_calibration.json");
    const QString path = QStringLiteral("/certificates/") + name;
    RegisterEvent event;
    QString error;
    if (!RegisterImport::CertificateEvent(path, content, &event, &error)) {
        if (error.isEmpty() || error.contains(u'\n') || error.contains(u'\r')) __builtin_trap();
        return 0;
    }
    if (event.uid != RegisterImport::CertificateUid(name, content)) __builtin_trap();
    const QByteArray canonical = event.CanonicalContent();
    const auto back = RegisterEvent::FromCanonicalContent(canonical);
    if (!back || back->CanonicalContent() != canonical) __builtin_trap();
    return 0;
}
