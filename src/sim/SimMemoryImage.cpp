#include "sim/SimMemoryImage.h"

#include "sim/SimModels.h"
#include "sim/SimRandom.h"

namespace {

quint8 Bcd(int v) {
    return quint8(((v / 10) % 10) << 4 | (v % 10));
}

// Record types of the logs.
constexpr quint8 kTrend = 0x01;
constexpr quint8 kEvent = 0x02;
constexpr quint8 kPowerOn = 0x10;
constexpr quint8 kPowerOff = 0x11;
constexpr quint8 kCheckBody = 0xC5;
constexpr quint8 kCheckPower = 0xC6;

const QDateTime kCheckBase(QDate(2000, 1, 1), QTime(0, 0, 0));

} // namespace

SimMemoryImage::SimMemoryImage(const QString& model) : m_model(model), m_bytes(kSize, char(0xFF)) {
    writeIdentity();
    // A few days of trend records and power cycles, the same for every detector of the model.
    const SimModels::GasProfile gas = SimModels::Gas(model);
    SimRandom random(quint64(gas.code));
    const QDateTime start(QDate(2025, 3, 10), QTime(8, 0, 0));
    const int freshSteps = int(gas.fresh / gas.resolution + 0.5);
    int walk = 0;
    for (int i = 0; i < 240; ++i) {
        walk = qBound(-2, walk + random.uniform(-1, 1), 2);
        const bool event = (i % 60) == 59;
        writeRecord(kBodyStart + i * kRecordSize, event ? kEvent : kTrend, start.addSecs(i * 60),
                    qint16(freshSteps + walk), event ? 0x01 : 0x00, quint16(i));
    }
    for (int i = 0; i < 8; ++i)
        writeRecord(kPowerStart + i * kRecordSize, (i % 2) ? kPowerOff : kPowerOn,
                    start.addSecs(i * 4 * 3600 - 600), 0, 0, quint16(i));
}

QByteArray SimMemoryImage::read(int offset, int size) const {
    if (offset < 0 || size < 0 || offset + size > kSize) return {};
    return m_bytes.mid(offset, size);
}

void SimMemoryImage::clearBody() {
    m_bytes.replace(kBodyStart, kPowerStart - kBodyStart,
                    QByteArray(kPowerStart - kBodyStart, char(0xFF)));
}

void SimMemoryImage::clearPower() {
    m_bytes.replace(kPowerStart, kWorkStart - kPowerStart,
                    QByteArray(kWorkStart - kPowerStart, char(0xFF)));
}

void SimMemoryImage::writeCheckData() {
    const SimModels::GasProfile gas = SimModels::Gas(m_model);
    const int fullSteps = int(gas.fullScale / gas.resolution + 0.5);
    // Body log: a triangle wave over the whole range, one record a minute.
    const int bodyRecords = (kPowerStart - kBodyStart) / kRecordSize;
    for (int i = 0; i < bodyRecords; ++i) {
        const int phase = i % 128;
        const int steps = (phase < 64 ? phase : 127 - phase) * fullSteps / 63;
        writeRecord(kBodyStart + i * kRecordSize, kCheckBody, kCheckBase.addSecs(i * 60),
                    qint16(steps), quint8(i & 0x0F), quint16(i));
    }
    // Power log: alternating on and off, one an hour.
    const int powerRecords = (kWorkStart - kPowerStart) / kRecordSize;
    for (int i = 0; i < powerRecords; ++i)
        writeRecord(kPowerStart + i * kRecordSize, kCheckPower, kCheckBase.addSecs(i * 3600),
                    qint16(i % 2), quint8(0x80 | (i & 0x0F)), quint16(i));
}

void SimMemoryImage::updateWorkArea(const QDateTime& now, quint32 counter,
                                    const QByteArray& summary) {
    QByteArray area(kIdentityStart - kWorkStart, char(0xFF));
    int p = 0;
    area[p++] = 'S';
    area[p++] = 'Y';
    area[p++] = 'S';
    area[p++] = char(Bcd(now.date().year() % 100));
    area[p++] = char(Bcd(now.date().month()));
    area[p++] = char(Bcd(now.date().day()));
    area[p++] = char(Bcd(now.time().hour()));
    area[p++] = char(Bcd(now.time().minute()));
    area[p++] = char(Bcd(now.time().second()));
    for (int shift = 24; shift >= 0; shift -= 8)
        area[p++] = char((counter >> shift) & 0xFF);
    const QByteArray text = summary.left(area.size() - p);
    area.replace(p, text.size(), text);
    m_bytes.replace(kWorkStart, area.size(), area);
}

void SimMemoryImage::writeRecord(int offset, quint8 type, const QDateTime& at, qint16 steps,
                                 quint8 flags, quint16 sequence) {
    const SimModels::GasProfile gas = SimModels::Gas(m_model);
    quint8 r[kRecordSize];
    r[0] = type;
    r[1] = Bcd(at.date().year() % 100);
    r[2] = Bcd(at.date().month());
    r[3] = Bcd(at.date().day());
    r[4] = Bcd(at.time().hour());
    r[5] = Bcd(at.time().minute());
    r[6] = Bcd(at.time().second());
    r[7] = quint8(quint16(steps) >> 8);
    r[8] = quint8(quint16(steps) & 0xFF);
    r[9] = flags;
    r[10] = 30;      // battery, tenths of a volt
    r[11] = 25 + 40; // temperature + 40 degrees
    r[12] = quint8(sequence >> 8);
    r[13] = quint8(sequence & 0xFF);
    r[14] = quint8(gas.code);
    unsigned sum = 0;
    for (int i = 0; i < kRecordSize - 1; ++i)
        sum += r[i];
    r[15] = quint8((256u - (sum & 0xFFu)) & 0xFFu);
    m_bytes.replace(offset, kRecordSize, reinterpret_cast<const char*>(r), kRecordSize);
}

void SimMemoryImage::writeIdentity() {
    const QByteArray model = m_model.toLatin1();
    const QHash<QByteArray, QByteArray> settings = SimModels::FactorySettings(m_model);
    QByteArray id =
        "71-SERIES " + model + "-71 ROM " + settings.value("VP") + " SUM " + settings.value("VS");
    id = id.leftJustified(kSize - kIdentityStart, char(0xFF), true);
    m_bytes.replace(kIdentityStart, id.size(), id);
}
