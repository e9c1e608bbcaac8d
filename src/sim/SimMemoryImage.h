#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// The detector's 32 KiB memory as the dumps read it:
//   0x0000-0x5FFF  body log (trend and event records, 16 bytes each)
//   0x6000-0x6FFF  power log (power on/off records, 16 bytes each)
//   0x7000-0x7F7F  working area (clock, counters, settings copy; changes while it runs)
//   0x7F80-0x7FFF  identity block (family, model, ROM number; fixed per model)
// Erased memory reads 0xFF. Writing the check data fills both logs with a fixed pattern of
// the model, so that an image read back after clearing and writing it is the same for every
// detector of that model outside the working area.
class SimMemoryImage {
public:
    static constexpr int kSize = 0x8000;
    static constexpr int kBodyStart = 0x0000;
    static constexpr int kPowerStart = 0x6000;
    static constexpr int kWorkStart = 0x7000;
    static constexpr int kIdentityStart = 0x7F80;
    static constexpr int kRecordSize = 16;

    // A memory with the identity block and some logged history of the model.
    explicit SimMemoryImage(const QString& model = QStringLiteral("KM"));

    // The whole image.
    const QByteArray& bytes() const { return m_bytes; }
    // `size` bytes from `offset`; empty when the range lies outside the memory.
    QByteArray read(int offset, int size) const;
    // Erases the body log.
    void clearBody();
    // Erases the power log.
    void clearPower();
    // Writes the model's check pattern into both logs.
    void writeCheckData();
    // Rewrites the working area from the clock, a counter and a settings summary.
    void updateWorkArea(const QDateTime& now, quint32 counter, const QByteArray& summary);

private:
    void writeRecord(int offset, quint8 type, const QDateTime& at, qint16 steps, quint8 flags,
                     quint16 sequence);
    void writeIdentity();

    QString m_model;
    QByteArray m_bytes;
};
