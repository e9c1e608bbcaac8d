#include "sim/SimInstrument.h"

#include "link/Frame.h"
#include "sim/SimModels.h"

#include <QDate>
#include <QTime>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <utility>

namespace {

// How a setting is written and how its value is kept (always in the reply format).
enum class Kind {
    Text,       // fixed-width text, stored as sent (cut to the width)
    HexDecIn,   // written in decimal, kept and answered in hexadecimal
    HexHexIn,   // written and answered in hexadecimal
    Dec,        // decimal
    Bool,       // written as a number, kept as "1" (non-zero) or "0"
    Level,      // alarm or calibration level: "*****" or a number in the gas's format
    Gas,        // the 18-character gas definition
    Bump,       // four bump test fields: three hexadecimal, one decimal
    PassFlag,   // power-off password protection and the user password
    PassPair,   // user password switch and the user password
    SpecType,   // destination "0", "1" or "2"
    SensorDate, // six digits YYMMDD
    Backlight,  // three decimal fields with their ranges
    Bits4,      // four characters "0" or "1"
    ReadOnly,
};

struct SettingDef {
    const char* command;
    Kind kind;
    int width; // text width or hexadecimal digits of the reply
};

const SettingDef kSettings[] = {
    {"IN", Kind::Text, 20},    {"HN", Kind::Text, 20},      {"XS", Kind::Text, 16},
    {"XZ", Kind::Text, 16},    {"BS", Kind::Text, 10},      {"JH", Kind::Text, 10},
    {"UJ", Kind::SpecType, 1}, {"PS", Kind::SensorDate, 6}, {"AP", Kind::HexDecIn, 4},
    {"AU", Kind::HexDecIn, 4}, {"XB", Kind::HexDecIn, 4},   {"PN", Kind::HexDecIn, 4},
    {"PM", Kind::HexDecIn, 4}, {"AI", Kind::HexHexIn, 2},   {"AJ", Kind::HexHexIn, 2},
    {"AB", Kind::HexHexIn, 2}, {"SE", Kind::HexHexIn, 2},   {"RA", Kind::HexHexIn, 2},
    {"SC", Kind::HexHexIn, 4}, {"XP", Kind::HexHexIn, 4},   {"BK", Kind::HexHexIn, 4},
    {"XT", Kind::HexHexIn, 4}, {"SD", Kind::Bool, 1},       {"BJ", Kind::Bool, 1},
    {"SJ", Kind::Bool, 1},     {"SG", Kind::Bool, 1},       {"SM", Kind::Dec, 0},
    {"BL", Kind::Dec, 0},      {"BV", Kind::Dec, 0},        {"AK", Kind::Dec, 0},
    {"JW", Kind::Dec, 0},      {"XW", Kind::Dec, 0},        {"UQ", Kind::Dec, 0},
    {"AT", Kind::Dec, 0},      {"A1", Kind::Level, 5},      {"A2", Kind::Level, 5},
    {"AS", Kind::Level, 5},    {"AW", Kind::Level, 5},      {"SA", Kind::Level, 5},
    {"PG", Kind::PassFlag, 1}, {"MP", Kind::PassPair, 0},   {"GJ", Kind::Gas, 18},
    {"BU", Kind::Bump, 0},     {"WB", Kind::Backlight, 0},  {"UZ", Kind::Bits4, 4},
    {"AO", Kind::ReadOnly, 0}, {"VP", Kind::ReadOnly, 0},   {"VS", Kind::ReadOnly, 0},
    {"RC", Kind::ReadOnly, 0}, {"HA", Kind::ReadOnly, 0},   {"SZ", Kind::ReadOnly, 0},
    {"S1", Kind::ReadOnly, 0}, {"BP", Kind::ReadOnly, 0},   {"LP", Kind::ReadOnly, 0},
};

const SettingDef* FindSetting(const QByteArray& command) {
    for (const SettingDef& s : kSettings)
        if (command == s.command) return &s;
    return nullptr;
}

constexpr int kListingBlock = 128; // bytes per block of the memory listing
constexpr int kDumpBlock = 64;     // bytes per block of the binary dump
constexpr int kMaxHistory = 16;

bool ParseInt(const QByteArray& text, int base, int low, int high, int* out) {
    const QByteArray t = text.trimmed();
    if (t.isEmpty()) return false;
    bool ok = false;
    const qlonglong v = t.toLongLong(&ok, base);
    if (!ok || v < low || v > high) return false;
    *out = int(v);
    return true;
}

bool IsHexText(const QByteArray& text) {
    if (text.isEmpty()) return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

QByteArray HexText(int v, int digits) {
    const unsigned mask = digits >= 4 ? 0xFFFFu : 0xFFu;
    return QByteArray::number(unsigned(v) & mask, 16).toUpper().rightJustified(digits, '0');
}

QByteArray Two(int v) {
    return QByteArray::number(v).rightJustified(2, '0');
}

bool IsPrintable(const QByteArray& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126) return false;
    return true;
}

bool IsAllStars(const QByteArray& text) {
    if (text.isEmpty()) return false;
    for (char c : text)
        if (c != '*') return false;
    return true;
}

// A gas definition the detector takes: eighteen "*", or a name, a full scale and a resolution
// that are numbers, and a unit.
bool IsGasDefinition(const QByteArray& text) {
    if (text.size() != 18 || !IsPrintable(text)) return false;
    if (IsAllStars(text)) return true;
    if (text.left(4).trimmed().isEmpty()) return false;
    bool okScale = false, okDigit = false;
    const double scale = text.mid(4, 5).trimmed().toDouble(&okScale);
    const double digit = text.mid(9, 5).trimmed().toDouble(&okDigit);
    return okScale && okDigit && scale > 0 && digit > 0 && std::isfinite(scale) &&
           std::isfinite(digit);
}

} // namespace

SimInstrument::SimInstrument(const QString& model, std::function<qint64()> nowMs)
    : m_model(SimModels::IsKnownModel(model) ? model : QStringLiteral("KM")),
      m_clock(std::move(nowMs)), m_settings(SimModels::InitialSettings(m_model)),
      m_calibrations(SimModels::CalibrationHistory(m_model)),
      m_bumps(SimModels::BumpHistory(m_model)), m_memory(m_model) {
    const QDateTime now = QDateTime::currentDateTime();
    m_baseTime =
        QDateTime(now.date(), QTime(now.time().hour(), now.time().minute(), now.time().second()));
    m_baseMs = m_clock ? m_clock() : 0;
}

void SimInstrument::setClock(std::function<qint64()> nowMs) {
    const QDateTime current = dateTime();
    m_clock = std::move(nowMs);
    m_baseTime = current;
    m_baseMs = m_clock ? m_clock() : 0;
}

void SimInstrument::setDateTime(const QDateTime& t) {
    m_baseTime = t;
    m_baseMs = m_clock ? m_clock() : 0;
}

QDateTime SimInstrument::dateTime() const {
    const qint64 now = m_clock ? m_clock() : m_baseMs;
    return m_baseTime.addMSecs(now - m_baseMs);
}

const SimMemoryImage& SimInstrument::memory() {
    refreshWorkArea();
    return m_memory;
}

SimReply SimInstrument::execute(const QByteArray& text, int notYet, quint32 seed) {
    ++m_requests;
    // Every request is "CC,V," followed by its parameters; anything else is not understood.
    if (text.size() < 5 || text.at(2) != ',' || text.at(4) != ',') return {};
    const QByteArray command = text.left(2);
    const char verb = text.at(3);
    const QByteArray head = text.left(5);
    const QByteArray param = text.mid(5);
    if (!SimModels::HasCommand(m_model, command)) return refuse(head);
    switch (verb) {
    case 'R':
        return read(command, param, seed);
    case 'W':
        return write(command, param, notYet);
    case 'C':
        return confirm(command);
    case 'E':
        if (command == "XH") {
            m_memory.writeCheckData();
            return acknowledge(head);
        }
        return refuse(head);
    default:
        return refuse(head);
    }
}

SimReply SimInstrument::read(const QByteArray& command, const QByteArray& param, quint32 seed) {
    const QByteArray head = command + ",R,";
    SimReply reply;
    if (command == "DN") {
        reply.blocks << head + nextReading(seed);
    } else if (command == "SO" || command == "BO") {
        // The whole history, one record a block, the latest last.
        const QList<QByteArray>& records = command == "SO" ? m_calibrations : m_bumps;
        if (records.isEmpty()) return refuse(head);
        for (const QByteArray& r : records)
            reply.blocks << head + r;
    } else if (command == "EF") {
        // The memory as hexadecimal text: start address, block number, byte count, data.
        refreshWorkArea();
        const int blocks = SimMemoryImage::kSize / kListingBlock;
        for (int n = 1; n <= blocks; ++n) {
            const int address = (n - 1) * kListingBlock;
            reply.blocks << head + HexText(address, 4) + ',' + QByteArray::number(n) + ',' +
                                QByteArray::number(kListingBlock) + ',' +
                                m_memory.read(address, kListingBlock).toHex().toUpper();
        }
    } else if (command == "EP") {
        // One 64-byte block of the memory as raw bytes.
        const QByteArray number = param.trimmed();
        int block = -1;
        if (!IsHexText(number) || number.size() > 4 ||
            !ParseInt(number, 16, 0, SimMemoryImage::kSize / kDumpBlock - 1, &block))
            return refuse(head);
        refreshWorkArea();
        reply.raw = true;
        reply.blocks << m_memory.read(block * kDumpBlock, kDumpBlock);
    } else {
        const QByteArray text = readText(command);
        if (text.isNull()) return refuse(head);
        reply.blocks << head + text;
    }
    return reply;
}

SimReply SimInstrument::write(const QByteArray& command, const QByteArray& param, int notYet) {
    const QByteArray head = command + ",W,";
    SimReply reply;
    if (command == "HC") {
        // The clock answers with the request itself.
        if (!setDateTimeText(param)) return refuse(head);
        reply.blocks << head + param;
        reply.writeEcho = true;
        return reply;
    }
    if (command == "SZ" || command == "XC" || command == "XY" || command == "UX") {
        if (command == "XC") m_memory.clearBody();
        if (command == "XY") m_memory.clearPower();
        if (command == "UX") restoreDefaults();
        m_pendingConfirm.insert(command, qMax(0, notYet));
        return acknowledge(head);
    }
    if (command == "S1") {
        reply.blocks << head + (span() ? "0" : "1");
        return reply;
    }
    if (command == "SN") {
        m_walk = 0;
        reply.blocks << head + "0";
        return reply;
    }
    if (command == "BP") {
        const QByteArray v = param.trimmed();
        if (v != "0" && v != "1") return refuse(head);
        m_settings["BP"] = v;
        return acknowledge(head);
    }
    if (command == "LP") {
        int v = 0;
        if (!ParseInt(param, 10, 0, 32767, &v)) return refuse(head);
        m_settings["LP"] = QByteArray::number(v);
        return acknowledge(head);
    }
    if (command == "RO" || command == "DW" || command == "UD" || command == "UP")
        return acknowledge(head);
    if (!storeSetting(command, param)) return refuse(head);
    reply.blocks << head + readText(command);
    reply.writeEcho = true;
    return reply;
}

SimReply SimInstrument::confirm(const QByteArray& command) {
    const QByteArray head = command + ",C,";
    if (command != "SZ" && command != "XC" && command != "XY" && command != "UX")
        return refuse(head);
    auto it = m_pendingConfirm.find(command);
    if (it != m_pendingConfirm.end() && it.value() > 0) {
        --it.value();
        SimReply reply;
        reply.blocks << head + Ctl::SUB;
        reply.notYet = true;
        return reply;
    }
    const bool running = it != m_pendingConfirm.end();
    if (running) m_pendingConfirm.erase(it);
    if (command == "SZ") {
        if (running) finishZero();
        SimReply reply;
        reply.blocks << head + "0";
        return reply;
    }
    return acknowledge(head);
}

SimReply SimInstrument::refuse(const QByteArray& head) const {
    SimReply reply;
    reply.blocks << head + Ctl::NAK;
    return reply;
}

SimReply SimInstrument::acknowledge(const QByteArray& head) const {
    SimReply reply;
    reply.blocks << head + Ctl::ACK;
    return reply;
}

bool SimInstrument::storeSetting(const QByteArray& command, const QByteArray& param) {
    const SettingDef* def = FindSetting(command);
    if (!def) return false;
    int v = 0;
    switch (def->kind) {
    case Kind::Text:
        if (!IsPrintable(param)) return false;
        m_settings[command] = param.left(def->width);
        return true;
    case Kind::HexDecIn:
        if (!ParseInt(param, 10, -32768, 65535, &v)) return false;
        m_settings[command] = HexText(v, def->width);
        return true;
    case Kind::HexHexIn: {
        const QByteArray t = param.trimmed();
        if (!IsHexText(t) || t.size() > def->width) return false;
        if (!ParseInt(t, 16, 0, def->width >= 4 ? 0xFFFF : 0xFF, &v)) return false;
        m_settings[command] = HexText(v, def->width);
        return true;
    }
    case Kind::Dec:
        if (!ParseInt(param, 10, -32768, 32767, &v)) return false;
        m_settings[command] = QByteArray::number(v);
        return true;
    case Kind::Bool:
        if (!ParseInt(param, 10, -32768, 65535, &v)) return false;
        m_settings[command] = v ? "1" : "0";
        return true;
    case Kind::Level: {
        const QByteArray t = param.trimmed();
        if (IsAllStars(t)) {
            m_settings[command] = "*****";
            return true;
        }
        bool ok = false;
        const double d = t.toDouble(&ok);
        if (!ok || !std::isfinite(d) || d < 0 || d > 99999) return false;
        m_settings[command] = formatLevel(d);
        return true;
    }
    case Kind::Gas:
        if (!IsGasDefinition(param)) return false;
        m_settings[command] = param;
        return true;
    case Kind::Bump: {
        const QList<QByteArray> f = param.split(',');
        int a = 0, b = 0, c = 0, d = 0;
        if (f.size() != 4 || !IsHexText(f[0].trimmed()) || !IsHexText(f[1].trimmed()) ||
            !IsHexText(f[2].trimmed()) || !ParseInt(f[0], 16, 0, 0xFF, &a) ||
            !ParseInt(f[1], 16, 0, 0xFF, &b) || !ParseInt(f[2], 16, 0, 0xFF, &c) ||
            !ParseInt(f[3], 10, -32768, 32767, &d))
            return false;
        m_settings[command] =
            HexText(a, 2) + ',' + HexText(b, 2) + ',' + HexText(c, 2) + ',' + QByteArray::number(d);
        return true;
    }
    case Kind::PassFlag:
    case Kind::PassPair: {
        const int comma = param.indexOf(',');
        const QByteArray flag = comma < 0 ? param : param.left(comma);
        const QByteArray password = comma < 0 ? QByteArray() : param.mid(comma + 1);
        if (!ParseInt(flag, 10, -32768, 65535, &v)) return false;
        if (comma >= 0 && (!IsPrintable(password) || password.contains(',') ||
                           password.trimmed().isEmpty() || password.size() > 4))
            return false;
        // Both commands carry the user password; a missing one keeps the stored one.
        QByteArray stored = m_settings.value("MP");
        const QByteArray keptPassword = stored.mid(stored.indexOf(',') + 1);
        const QByteArray newPassword = comma < 0 ? keptPassword : password;
        if (def->kind == Kind::PassFlag) {
            m_settings["PG"] = v ? "1" : "0";
            m_settings["MP"] = stored.left(stored.indexOf(',')) + ',' + newPassword;
        } else {
            m_settings["MP"] = QByteArray(v ? "1" : "0") + ',' + newPassword;
        }
        return true;
    }
    case Kind::SpecType: {
        const QByteArray t = param.trimmed();
        if (t != "0" && t != "1" && t != "2") return false;
        m_settings[command] = t;
        return true;
    }
    case Kind::SensorDate: {
        if (param.size() != 6) return false;
        for (char c : param)
            if (c < '0' || c > '9') return false;
        const QDate d(2000 + param.left(2).toInt(), param.mid(2, 2).toInt(),
                      param.mid(4, 2).toInt());
        if (!d.isValid() && param != "000101" && param != "000000") return false;
        m_settings[command] = param;
        return true;
    }
    case Kind::Backlight: {
        const QList<QByteArray> f = param.split(',');
        int mode = 0, time = 0, buzzer = 0;
        if (f.size() != 3 || !ParseInt(f[0], 10, 0, 3, &mode) || !ParseInt(f[1], 10, 0, 2, &time) ||
            !ParseInt(f[2], 10, 0, 1, &buzzer))
            return false;
        m_settings[command] = QByteArray::number(mode) + ',' + QByteArray::number(time) + ',' +
                              QByteArray::number(buzzer);
        return true;
    }
    case Kind::Bits4: {
        if (param.size() != 4) return false;
        for (char c : param)
            if (c != '0' && c != '1') return false;
        m_settings[command] = param;
        return true;
    }
    case Kind::ReadOnly:
        return false;
    }
    return false;
}

QByteArray SimInstrument::readText(const QByteArray& command) const {
    if (command == "HC") return dateTimeText(dateTime());
    if (command == "PG") return m_settings.value("PG", "0");
    const SettingDef* def = FindSetting(command);
    if (!def || !m_settings.contains(command)) return QByteArray();
    QByteArray stored = m_settings.value(command);
    if (stored.isNull()) stored = QByteArray(""); // known but empty
    if (def->kind == Kind::Level) {
        // Levels follow the decimals of the gas as it is defined now.
        bool ok = false;
        const double d = stored.trimmed().toDouble(&ok);
        return ok ? formatLevel(d) : QByteArray("*****");
    }
    return stored;
}

QByteArray SimInstrument::value(const QByteArray& command) const {
    if (!SimModels::HasCommand(m_model, command)) return {};
    if (command == "DN") return m_pinnedReading.isEmpty() ? m_lastReading : m_pinnedReading;
    if (command == "SO") return m_calibrations.isEmpty() ? QByteArray() : m_calibrations.last();
    if (command == "BO") return m_bumps.isEmpty() ? QByteArray() : m_bumps.last();
    return readText(command);
}

void SimInstrument::setValue(const QByteArray& command, const QByteArray& value) {
    if (command == "HC") {
        setDateTimeText(value);
    } else if (command == "DN") {
        m_pinnedReading = value;
    } else if (command == "SO" || command == "BO") {
        QList<QByteArray>& records = command == "SO" ? m_calibrations : m_bumps;
        if (records.isEmpty())
            records << value;
        else
            records.last() = value;
    } else {
        m_settings[command] = value;
    }
}

QByteArray SimInstrument::formatLevel(double v) const {
    if (v < 0) return "*****";
    const int p = gasPoint();
    QByteArray t = QByteArray::number(v, 'f', (p >= 1 && p <= 3) ? p : 0);
    return t.rightJustified(5, ' ').right(5);
}

QByteArray SimInstrument::formatReading(double v) const {
    const int p = gasPoint();
    QByteArray t = QByteArray::number(v, 'f', (p >= 1 && p <= 3) ? p : 0);
    if (t.startsWith('-') && t.toDouble() == 0.0) t = t.mid(1); // no "-0"
    return t.rightJustified(5, ' ');
}

int SimInstrument::gasPoint() const {
    const QByteArray gas = m_settings.value("GJ");
    if (gas.size() != 18 || IsAllStars(gas)) return 0;
    const QByteArray digit = gas.mid(9, 5).trimmed();
    const int dot = digit.indexOf('.');
    return dot < 0 ? 0 : int(digit.size() - dot - 1);
}

double SimInstrument::gasResolution() const {
    const QByteArray gas = m_settings.value("GJ");
    bool ok = false;
    const double d = gas.size() == 18 ? gas.mid(9, 5).trimmed().toDouble(&ok) : 0.0;
    return ok && d > 0 ? d : SimModels::Gas(m_model).resolution;
}

QByteArray SimInstrument::nextReading(quint32 seed) {
    if (!m_pinnedReading.isEmpty()) return m_pinnedReading;
    if (!m_readingSeeded || m_readingSeed != seed) {
        m_readingRandom.reseed(seed);
        m_readingSeed = seed;
        m_readingSeeded = true;
    }
    // A slow walk of at most two display steps around the clean-air value.
    m_walk = qBound(-2, m_walk + m_readingRandom.uniform(-1, 1), 2);
    const double value = SimModels::Gas(m_model).fresh + m_walk * gasResolution();
    m_lastReading = formatReading(value);
    return m_lastReading;
}

bool SimInstrument::setDateTimeText(const QByteArray& digits) {
    if (digits.size() != 12) return false;
    for (char c : digits)
        if (c < '0' || c > '9') return false;
    const QDate date(2000 + digits.left(2).toInt(), digits.mid(2, 2).toInt(),
                     digits.mid(4, 2).toInt());
    const QTime time(digits.mid(6, 2).toInt(), digits.mid(8, 2).toInt(), digits.mid(10, 2).toInt());
    if (!date.isValid() || !time.isValid()) return false;
    setDateTime(QDateTime(date, time));
    return true;
}

QByteArray SimInstrument::dateTimeText(const QDateTime& t) const {
    return Two(t.date().year() % 100) + Two(t.date().month()) + Two(t.date().day()) +
           Two(t.time().hour()) + Two(t.time().minute()) + Two(t.time().second());
}

void SimInstrument::finishZero() {
    // The zero point takes up the offset the reading had drifted by.
    bool ok = false;
    const int zero = m_settings.value("SZ").toInt(&ok, 16);
    if (ok) m_settings["SZ"] = HexText(zero + m_walk, 4);
    m_walk = 0;
}

bool SimInstrument::span() {
    const QByteArray gas = m_settings.value("GJ");
    bool ok = false;
    const double target = m_settings.value("SA").trimmed().toDouble(&ok);
    if (gas.size() != 18 || IsAllStars(gas) || !ok || target <= 0) return false;
    // Before the adjustment the sensor read a little low; after it, on the gas unless told
    // otherwise.
    const QByteArray record = dateTimeText(dateTime()) + formatLevel(target * 0.96) +
                              formatLevel(target * (1.0 + m_spanAfterOffset / 100.0));
    m_calibrations << record;
    while (m_calibrations.size() > kMaxHistory)
        m_calibrations.removeFirst();
    const int spanValue = m_settings.value("S1").toInt(&ok, 16);
    if (ok) m_settings["S1"] = HexText(spanValue + 4, 4);
    return true;
}

void SimInstrument::restoreDefaults() {
    QHash<QByteArray, QByteArray> defaults = SimModels::FactorySettings(m_model);
    for (const QByteArray& kept : SimModels::KeptOnDefaults())
        if (m_settings.contains(kept)) defaults[kept] = m_settings.value(kept);
    m_settings = defaults;
    m_walk = 0;
}

void SimInstrument::refreshWorkArea() {
    QList<QByteArray> keys = m_settings.keys();
    std::sort(keys.begin(), keys.end());
    QByteArray summary;
    for (const QByteArray& k : keys)
        summary += k + '=' + m_settings.value(k) + ';';
    m_memory.updateWorkArea(dateTime(), m_requests, summary);
}
