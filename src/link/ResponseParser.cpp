#include "link/ResponseParser.h"

#include "instrument/clsInstrument.h"
#include "link/Frame.h"
#include "shell/OleDate.h"
#include "shell/clsToken.h"
#include "shell/modGasCommon.h"
#include "shell/modHexSingle.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <cmath>
#include <limits>
#include <optional>

namespace {

// What the decoder makes of one reply; every verdict but Accept rejects the frame.
enum class Verdict { Accept, Reject, FormatError, ResponseError, ChecksumError };

// One received reply cut into its parts.
struct Reply {
    QByteArray frame;   // STX .. terminator, as received
    char status = 0;    // first character after "XX,V,": ACK, NAK or SUB in command replies
    QString head;       // command and verb, "AP,R"
    QStringList tokens; // values after the head, split at "," and CR, empty fields dropped

    int count() const { return int(tokens.size()); }
    QString tok(int i) const { return i >= 0 && i < tokens.size() ? tokens.at(i) : QString(); }
};

void Log(const ReplyContext& ctx, const QString& line) {
    if (ctx.log) ctx.log(line);
}

double Now(const ReplyContext& ctx) {
    return ctx.now ? ctx.now() : OleNow();
}

// ---- Value conversions ----

bool IsHexText(const QString& text) {
    if (text.isEmpty()) return false;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        const bool hex = (u >= '0' && u <= '9') || (u >= 'A' && u <= 'F') || (u >= 'a' && u <= 'f');
        if (!hex) return false;
    }
    return true;
}

// A hexadecimal token as an unsigned 32-bit value.
std::optional<quint32> HexValue(const QString& token) {
    const QString t = token.trimmed();
    if (!IsHexText(t)) return std::nullopt;
    bool ok = false;
    const qulonglong v = t.toULongLong(&ok, 16);
    if (!ok || v > 0xFFFFFFFFull) return std::nullopt;
    return quint32(v);
}

// hex16: up to four hex digits as a signed 16-bit value (FFFF is -1).
std::optional<qint16> Hex16(const QString& token) {
    const std::optional<quint32> v = HexValue(token);
    if (!v || *v > 0xFFFFu) return std::nullopt;
    return qint16(quint16(*v));
}

// number: a decimal number in the current locale, "." always accepted.
std::optional<float> Number(const QString& token) {
    bool ok = false;
    const float v = ParseLocaleNumber(token, &ok);
    if (!ok) return std::nullopt;
    return v;
}

// A whole number of the given range; fractions are rounded half to even.
std::optional<qint64> Whole(const QString& token, qint64 lowest, qint64 highest) {
    bool ok = false;
    qint64 v = token.trimmed().toLongLong(&ok);
    if (!ok) {
        const std::optional<float> f = Number(token);
        if (!f) return std::nullopt;
        const double r = std::nearbyint(double(*f));
        if (!(r >= double(lowest) && r <= double(highest))) return std::nullopt;
        v = qint64(r);
    }
    if (v < lowest || v > highest) return std::nullopt;
    return v;
}

// dec16: a decimal 16-bit integer.
std::optional<qint16> Dec16(const QString& token) {
    const std::optional<qint64> v = Whole(token, -32768, 32767);
    if (!v) return std::nullopt;
    return qint16(*v);
}

// first1: 1 when the token starts with "1", else 0; the token must be a (hex) number.
std::optional<qint16> First1(const QString& token, bool hex) {
    const QString t = token.trimmed();
    if (hex ? !IsHexText(t) : !IsNumberText(t)) return std::nullopt;
    return qint16(t.startsWith(QLatin1Char('1')) ? 1 : 0);
}

// The text a Boolean setting is echoed as.
QString Flag01(qint16 value) {
    return value != 0 ? QStringLiteral("1") : QStringLiteral("0");
}

// levelok: the no-value mark or a number.
bool LevelOk(const QString& token) {
    const QString t = token.trimmed();
    return t == QLatin1String("*****") || IsNumberText(t);
}

// A status word the detector may report in place of a level (OVER, WARNING, ...).
bool IsLevelWord(const QString& token) {
    static const QStringList words = {QStringLiteral("OVE"), QStringLiteral("WAR"),
                                      QStringLiteral("ALR"), QStringLiteral("STE"),
                                      QStringLiteral("TWA"), QStringLiteral("NOR")};
    return words.contains(token.trimmed().left(3).toUpper());
}

// The OLE date of a wall-clock date plus a number of seconds (which may exceed a day).
double OleValue(const QDate& date, qint64 seconds) {
    return DateTimeToOle(QDateTime(date, QTime(0, 0), Qt::UTC)) + double(seconds) / 86400.0;
}

int TwoDigits(const QString& text, int pos) {
    return text.mid(pos, 2).toInt();
}

// ---- Settings: read replies store the value, write replies echo it ----

enum class ReadAs {
    Text,        // trimmed text
    Untrimmed,   // text as sent
    Destination, // "0", "1" or "2"
    HexText,     // a hex number, kept as text
    Hex16,       // hex16
    Dec16,       // dec16
    HexFirst1,   // first1 of a hex number
    NumFirst1,   // first1 of a decimal number
};

enum class EchoAs {
    None,          // accepted without check
    Text,          // trimmed text equals the record's
    Exact,         // text equals the record's, blanks included
    Hex,           // hex16 equals the record's
    Dec,           // dec16 equals the record's
    Bool,          // "1" for a non-zero record value, else "0"
    BoolFirstChar, // as Bool, on the first character only
    SentHex,       // hex16 equals the value of the request that was sent
};

struct TextSetting {
    const char* code;
    ReadAs read;
    EchoAs echo;
    QString (*get)(const clsInstrument&);
    void (*store)(clsInstrument&, const QString&); // stores a read value, lowers its flag
};

struct NumberSetting {
    const char* code;
    ReadAs read;
    EchoAs echo;
    qint16 (*get)(const clsInstrument&);
    void (*store)(clsInstrument&, qint16);
};

struct LevelSetting {
    const char* code;
    void (*store)(clsInstrument&, float);
};

#define KM71_TEXT_SETTING(code, read, echo, Prop, Flag)                                            \
    TextSetting {                                                                                  \
        code, ReadAs::read, EchoAs::echo, [](const clsInstrument& r) { return r.Prop(); },         \
            [](clsInstrument& r, const QString& v) {                                               \
                r.set##Prop(v);                                                                    \
                r.setChange_##Flag(false);                                                         \
            }                                                                                      \
    }

#define KM71_NUMBER_SETTING(code, read, echo, Prop, Flag)                                          \
    NumberSetting {                                                                                \
        code, ReadAs::read, EchoAs::echo, [](const clsInstrument& r) { return r.Prop(); },         \
            [](clsInstrument& r, qint16 v) {                                                       \
                r.set##Prop(v);                                                                    \
                r.setChange_##Flag(false);                                                         \
            }                                                                                      \
    }

#define KM71_LEVEL_SETTING(code, Prop, Flag)                                                       \
    LevelSetting {                                                                                 \
        code, [](clsInstrument& r, float v) {                                                      \
            r.set##Prop(0, v);                                                                     \
            r.setChange_##Flag(0, false);                                                          \
        }                                                                                          \
    }

const TextSetting kTextSettings[] = {
    KM71_TEXT_SETTING("IN", Text, Text, SerialNo, SerialNo),
    KM71_TEXT_SETTING("HN", Text, Text, DummySerial, DummySerial),
    KM71_TEXT_SETTING("XS", Text, None, StationID, StationID),
    KM71_TEXT_SETTING("XZ", Text, Text, UserID, UserID),
    KM71_TEXT_SETTING("BS", Text, Text, SpecNo, SpecNo),
    KM71_TEXT_SETTING("JH", Untrimmed, Exact, JH, JH),
    KM71_TEXT_SETTING("UJ", Destination, Exact, SpecType, SpecType),
    KM71_TEXT_SETTING("PS", HexText, Exact, SensorDate, SensorDate),
};

const NumberSetting kNumberSettings[] = {
    KM71_NUMBER_SETTING("AP", Hex16, Hex, AlarmMode, AlarmMode),
    KM71_NUMBER_SETTING("AU", Hex16, Hex, AlarmMode2, AlarmMode2),
    KM71_NUMBER_SETTING("AI", Hex16, Hex, AIdata, AIdata),
    KM71_NUMBER_SETTING("AJ", Hex16, Hex, AJdata, AJdata),
    KM71_NUMBER_SETTING("AB", Hex16, Hex, ABdata, ABdata),
    KM71_NUMBER_SETTING("SC", Hex16, Hex, CalLimit, CalLimit),
    KM71_NUMBER_SETTING("XP", Hex16, Hex, Intervals, Interval),
    KM71_NUMBER_SETTING("BK", Hex16, Hex, BumpLimit, BumpLimit),
    KM71_NUMBER_SETTING("SE", Hex16, Hex, SE, SE),
    // The alarm test writes a code of its own; its echo is checked against what was sent.
    KM71_NUMBER_SETTING("RA", Hex16, SentHex, RA, RA),
    KM71_NUMBER_SETTING("XB", Hex16, Hex, Confirmation, Confirmation),
    KM71_NUMBER_SETTING("PN", Hex16, Hex, SpanAllowance, SpanAllowance),
    KM71_NUMBER_SETTING("PM", Hex16, Hex, BumpFailBehavior, BumpFailBehavior),
    KM71_NUMBER_SETTING("XT", Hex16, Hex, LcdBackLight, LcdBackLight),
    KM71_NUMBER_SETTING("PG", HexFirst1, BoolFirstChar, PasswordProtect, PasswordProtect),
    KM71_NUMBER_SETTING("SD", Dec16, Bool, DispCalLimit, DispCalLimit),
    KM71_NUMBER_SETTING("SM", Dec16, Dec, CalCheck, CalCheck),
    KM71_NUMBER_SETTING("BL", Dec16, Dec, BumpCheck, BumpCheck),
    KM71_NUMBER_SETTING("BV", Dec16, Dec, BumpFunction, BumpFunction),
    KM71_NUMBER_SETTING("AK", Dec16, Dec, AK, AK),
    KM71_NUMBER_SETTING("JW", Dec16, Dec, JW, JW),
    KM71_NUMBER_SETTING("XW", Dec16, Dec, LogOverWrite, LogOverWrite),
    KM71_NUMBER_SETTING("UQ", Dec16, Dec, autoBackLight, autoBackLight),
    KM71_NUMBER_SETTING("AT", Dec16, Dec, AlarmO2, AlarmO2),
    KM71_NUMBER_SETTING("BJ", NumFirst1, Bool, DispBumpLimit, DispBumpLimit),
    KM71_NUMBER_SETTING("SJ", NumFirst1, Bool, AutoZero, AutoZero),
    KM71_NUMBER_SETTING("SG", NumFirst1, Bool, DemandZero, DemandZero),
};

const LevelSetting kLevelSettings[] = {
    KM71_LEVEL_SETTING("A1", Warning, Warn),      KM71_LEVEL_SETTING("A2", Alarm, Alarm),
    KM71_LEVEL_SETTING("AS", Stel, Stel),         KM71_LEVEL_SETTING("AW", Twa, Twa),
    KM71_LEVEL_SETTING("SA", AutoCalib, AutoCal),
};

#undef KM71_TEXT_SETTING
#undef KM71_NUMBER_SETTING
#undef KM71_LEVEL_SETTING

Verdict ReadText(const TextSetting& row, const Reply& r, clsInstrument& rec) {
    const QString t = r.tok(0);
    QString value;
    switch (row.read) {
    case ReadAs::Text:
        value = t.trimmed();
        break;
    case ReadAs::Untrimmed:
        value = t;
        break;
    case ReadAs::Destination:
        if (t != QLatin1String("0") && t != QLatin1String("1") && t != QLatin1String("2"))
            return Verdict::Reject;
        value = t;
        break;
    case ReadAs::HexText:
        if (!IsHexText(t)) return Verdict::Reject;
        value = t;
        break;
    default:
        return Verdict::Reject;
    }
    row.store(rec, value);
    return Verdict::Accept;
}

Verdict EchoText(const TextSetting& row, const Reply& r, const clsInstrument& rec) {
    switch (row.echo) {
    case EchoAs::None:
        return Verdict::Accept;
    case EchoAs::Text:
        return r.tok(0).trimmed() == row.get(rec).trimmed() ? Verdict::Accept : Verdict::Reject;
    case EchoAs::Exact:
        return r.tok(0) == row.get(rec) ? Verdict::Accept : Verdict::Reject;
    default:
        return Verdict::Reject;
    }
}

std::optional<qint16> ConvertNumber(ReadAs kind, const QString& token) {
    switch (kind) {
    case ReadAs::Hex16:
        return Hex16(token);
    case ReadAs::Dec16:
        return Dec16(token);
    case ReadAs::HexFirst1:
        return First1(token, true);
    case ReadAs::NumFirst1:
        return First1(token, false);
    default:
        return std::nullopt;
    }
}

Verdict ReadNumber(const NumberSetting& row, const Reply& r, clsInstrument& rec) {
    const std::optional<qint16> v = ConvertNumber(row.read, r.tok(0));
    if (!v) return Verdict::Reject;
    row.store(rec, *v);
    return Verdict::Accept;
}

// The value text of the request that was sent ("RA,W,05" gives "05"), when lastFrame holds
// a request with this head.
std::optional<QString> SentValue(const QByteArray& lastFrame, const QString& head) {
    if (lastFrame.mid(5, 5) != head.toLatin1() + ',') return std::nullopt;
    const qsizetype etx = lastFrame.indexOf(Ctl::ETX, 10);
    if (etx < 0) return std::nullopt;
    return QString::fromLatin1(lastFrame.mid(10, etx - 10));
}

Verdict EchoNumber(const NumberSetting& row, const Reply& r, const clsInstrument& rec,
                   const ReplyContext& ctx) {
    const qint16 stored = row.get(rec);
    const QString t = r.tok(0);
    switch (row.echo) {
    case EchoAs::Hex: {
        const std::optional<qint16> v = Hex16(t);
        return v && *v == stored ? Verdict::Accept : Verdict::Reject;
    }
    case EchoAs::Dec: {
        const std::optional<qint16> v = Dec16(t);
        return v && *v == stored ? Verdict::Accept : Verdict::Reject;
    }
    case EchoAs::Bool:
        return t.trimmed() == Flag01(stored) ? Verdict::Accept : Verdict::Reject;
    case EchoAs::BoolFirstChar:
        return t.trimmed().left(1) == Flag01(stored) ? Verdict::Accept : Verdict::Reject;
    case EchoAs::SentHex: {
        qint16 expected = stored;
        if (const std::optional<QString> sent = SentValue(ctx.lastFrame, r.head)) {
            if (const std::optional<qint16> s = Hex16(*sent)) expected = *s;
        }
        const std::optional<qint16> v = Hex16(t);
        return v && *v == expected ? Verdict::Accept : Verdict::Reject;
    }
    default:
        return Verdict::Reject;
    }
}

Verdict ReadLevel(const LevelSetting& row, const Reply& r, clsInstrument& rec) {
    if (r.count() != 1) return Verdict::Reject;
    const QString t = r.tok(0);
    // A level is a number or "*****"; the detector may also report a status word (OVER ...).
    if (!LevelOk(t) && !IsLevelWord(t)) return Verdict::Reject;
    row.store(rec, AlarmValueFromText(t.trimmed()));
    return Verdict::Accept;
}

Verdict EchoLevel(const Reply& r) {
    return r.count() == 1 && LevelOk(r.tok(0)) ? Verdict::Accept : Verdict::Reject;
}

template <typename Row> const Row* FindRow(const Row* begin, const Row* end, const QString& code) {
    for (const Row* row = begin; row != end; ++row)
        if (code == QLatin1String(row->code)) return row;
    return nullptr;
}

// The settings tables: "XX,R" stores, "XX,W" checks the echo.
std::optional<Verdict> DecodeSetting(const Reply& r, ReplyContext& ctx) {
    if (r.head.size() != 4 || r.head.at(2) != QLatin1Char(',')) return std::nullopt;
    const QString code = r.head.left(2);
    const QChar verb = r.head.at(3);
    const bool read = verb == QLatin1Char('R');
    if (!read && verb != QLatin1Char('W')) return std::nullopt;

    const TextSetting* text = FindRow(std::begin(kTextSettings), std::end(kTextSettings), code);
    const NumberSetting* number =
        FindRow(std::begin(kNumberSettings), std::end(kNumberSettings), code);
    const LevelSetting* level = FindRow(std::begin(kLevelSettings), std::end(kLevelSettings), code);
    if (!text && !number && !level) return std::nullopt;
    if (!ctx.instrument) return Verdict::Reject;
    clsInstrument& rec = *ctx.instrument;

    if (text) return read ? ReadText(*text, r, rec) : EchoText(*text, r, rec);
    if (number) return read ? ReadNumber(*number, r, rec) : EchoNumber(*number, r, rec, ctx);
    return read ? ReadLevel(*level, r, rec) : EchoLevel(r);
}

// ---- Replies with rules of their own ----

Verdict Ack(const Reply& r, ReplyContext&) {
    return r.status == Ctl::ACK ? Verdict::Accept : Verdict::ResponseError;
}

Verdict Accepted(const Reply&, ReplyContext&) {
    return Verdict::Accept;
}

Verdict Confirm(const Reply& r, ReplyContext& ctx) {
    ctx.confirmAck = r.status == Ctl::ACK;
    return Verdict::Accept;
}

Verdict RomNumber(const Reply& r, ReplyContext& ctx) {
    const std::optional<qint64> v =
        Whole(r.tok(0), std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max());
    if (!v) return Verdict::Reject;
    ctx.instrument->setRomNumber(qint32(*v));
    return Verdict::Accept;
}

Verdict RomSum(const Reply& r, ReplyContext& ctx) {
    if (!IsHexText(r.tok(0))) return Verdict::Reject;
    ctx.instrument->setSUM(r.tok(0));
    return Verdict::Accept;
}

Verdict ConnectReply(const Reply& r, ReplyContext& ctx) {
    if (!r.frame.toUpper().contains("71-SERIES")) return Verdict::Reject;
    const QString model = r.tok(1).trimmed();
    if (model.isEmpty()) return Verdict::Reject; // the reply must name the model type
    ctx.instrument->setModelTyp(model);
    if (ctx.connectReply) ctx.connectReply();
    return Verdict::Accept;
}

// YYMMDDhhnnss as a valid calendar date and time of this century.
std::optional<double> ClockValue(const QString& t) {
    if (!IsAllDigits(t)) return std::nullopt;
    const QDate date(2000 + TwoDigits(t, 0), TwoDigits(t, 2), TwoDigits(t, 4));
    const QTime time(TwoDigits(t, 6), TwoDigits(t, 8), TwoDigits(t, 10));
    if (!date.isValid() || !time.isValid()) return std::nullopt;
    return OleValue(date, time.msecsSinceStartOfDay() / 1000);
}

Verdict ClockRead(const Reply& r, ReplyContext& ctx) {
    const QString t = r.tok(0);
    if (t.size() != 12) return Verdict::Reject;
    clsInstrument& rec = *ctx.instrument;
    const std::optional<double> clock = ClockValue(t);
    if (!clock) {
        rec.setFailLine(r.head);
        Log(ctx, t + QStringLiteral("<<< improper date at HC >>> "));
        return Verdict::Reject;
    }
    rec.setSysDate(*clock);
    rec.setSysDateOffset(*clock - Now(ctx));
    return Verdict::Accept;
}

Verdict ClockWrite(const Reply& r, ReplyContext& ctx) {
    return r.frame == ctx.lastFrame ? Verdict::Accept : Verdict::ResponseError;
}

Verdict ZeroValue(const Reply& r, ReplyContext& ctx) {
    if (r.count() != 1) return Verdict::FormatError;
    const std::optional<quint32> v = HexValue(r.tok(0));
    if (!v) return Verdict::Reject;
    ctx.instrument->setSZ(0, float(*v));
    return Verdict::Accept;
}

Verdict SpanValue(const Reply& r, ReplyContext& ctx) {
    if (r.count() != 1) return Verdict::FormatError;
    const QString t = r.tok(0).trimmed();
    std::optional<float> v;
    // Four hex digits are a count, eight an IEEE single; anything else is a decimal number.
    if (t.size() == 4 && IsHexText(t)) {
        if (const std::optional<quint32> h = HexValue(t)) v = float(*h);
    } else if (t.size() == 8 && IsHexText(t)) {
        bool ok = false;
        const float f = HexToSingle(t, &ok);
        if (ok) v = f;
    } else {
        v = Number(t);
    }
    if (!v) return Verdict::Reject;
    ctx.instrument->setS1(0, *v);
    return Verdict::Accept;
}

Verdict SpanWrite(const Reply& r, ReplyContext& ctx) {
    const QString t = r.tok(0).trimmed();
    ctx.spanStatus = t.size() == 1 ? t : QString();
    return Verdict::Accept;
}

Verdict ZeroConfirm(const Reply& r, ReplyContext& ctx) {
    const QString t = r.tok(0).trimmed();
    if (t.size() == 1) {
        ctx.zeroStatus = t;
        return Verdict::Accept;
    }
    if (r.status == Ctl::SUB) {
        ctx.zeroStatus.clear();
        return Verdict::Accept;
    }
    return Verdict::ResponseError;
}

Verdict ZeroCalWrite(const Reply& r, ReplyContext& ctx) {
    if (r.status == Ctl::NAK) {
        ctx.zeroCalResult.clear();
        return Verdict::Reject;
    }
    ctx.zeroCalResult = r.tok(0);
    return Verdict::Accept;
}

Verdict Reading(const Reply& r, ReplyContext& ctx) {
    clsInstrument& rec = *ctx.instrument;
    if (const std::optional<float> v = Number(r.tok(0))) rec.setLimitValue(0, *v);
    float reading = rec.LimitValue(0);
    if (ctx.densty) ctx.densty(reading);
    return Verdict::Accept;
}

Verdict AnalogValues(const Reply& r, ReplyContext& ctx) {
    std::optional<qint16> channels[8];
    for (int i = 0; i < 8; ++i) {
        const QString t = r.tok(i).trimmed();
        if (!IsHexText(t)) continue; // channels the detector leaves out keep their value
        channels[i] = Hex16(t);
        if (!channels[i]) return Verdict::Reject;
    }
    bool ok = false;
    const double ad = std::nearbyint(double(HexToSingle(r.tok(8), &ok)));
    if (!ok || !(ad >= double(std::numeric_limits<qint32>::min()) &&
                 ad <= double(std::numeric_limits<qint32>::max())))
        return Verdict::Reject;
    clsInstrument& rec = *ctx.instrument;
    for (int i = 0; i < 8; ++i)
        if (channels[i]) rec.setAnalogValue(i, *channels[i]);
    rec.setAdrealValue(qint32(ad));
    return Verdict::Accept;
}

// A five-character history value: "-" anywhere means none (-101), else a number.
std::optional<float> HistoryValue(const QString& field) {
    if (field.contains(QLatin1Char('-'))) return clsInstrument::NoValue;
    return Number(field);
}

struct History {
    double date = 0.0;
    float first = 0.0f;
    float second = 0.0f;
};

// YYMMDDhhnnss + two five-character values; the date parts roll over like a calendar.
std::optional<History> HistoryRecord(const Reply& r) {
    if (r.count() != 1) return std::nullopt;
    const QString t = r.tok(0);
    if (t.size() != 22 || !IsAllDigits(t.left(12))) return std::nullopt;
    const QDate date = QDate(2000 + TwoDigits(t, 0), 1, 1)
                           .addMonths(TwoDigits(t, 2) - 1)
                           .addDays(TwoDigits(t, 4) - 1);
    const qint64 seconds = TwoDigits(t, 6) * 3600 + TwoDigits(t, 8) * 60 + TwoDigits(t, 10);
    const std::optional<float> first = HistoryValue(t.mid(12, 5));
    const std::optional<float> second = HistoryValue(t.mid(17, 5));
    if (!first || !second) return std::nullopt;
    return History{OleValue(date, seconds), *first, *second};
}

Verdict CalibrationHistory(const Reply& r, ReplyContext& ctx) {
    const std::optional<History> h = HistoryRecord(r);
    if (!h) return Verdict::Reject;
    ctx.instrument->setCalibDate(0, h->date);
    ctx.instrument->setCalibBefore(0, h->first);
    ctx.instrument->setCalibAfter(0, h->second);
    return Verdict::Accept;
}

Verdict BumpHistory(const Reply& r, ReplyContext& ctx) {
    const std::optional<History> h = HistoryRecord(r);
    if (!h) return Verdict::Reject;
    ctx.instrument->setBumpDates(0, h->date);
    ctx.instrument->setBumpResult(0, h->first);
    ctx.instrument->setBumpConcentration(0, h->second);
    return Verdict::Accept;
}

// One linearisation entry of 14 tokens from `first` on: name, full scale, digit (also
// giving the decimal places), unit, element value, ratio, two sets of four coefficients.
std::optional<clsInstrument::LinearEntry> ReadLinearEntry(const Reply& r, int first) {
    clsInstrument::LinearEntry e;
    e.Name = r.tok(first).trimmed();
    const std::optional<float> fullScale = Number(r.tok(first + 1));
    const std::optional<float> digit = Number(r.tok(first + 2));
    const std::optional<qint16> elem = Hex16(r.tok(first + 4));
    if (!fullScale || !digit || !elem) return std::nullopt;
    e.FullScale = *fullScale;
    e.Digit = *digit;
    e.Point = DecimalPlaces(r.tok(first + 2).trimmed());
    e.Unit = r.tok(first + 3).trimmed();
    e.elem_vol = *elem;
    double* singles[] = {&e.Linear1_a, &e.Linear1_b, &e.Linear1_c, &e.Linear1_d,
                         &e.Linear2_a, &e.Linear2_b, &e.Linear2_c, &e.Linear2_d};
    bool ok = false;
    e.Ratio = HexToSingle(r.tok(first + 5), &ok);
    if (!ok) return std::nullopt;
    for (int k = 0; k < 8; ++k) {
        *singles[k] = HexToSingle(r.tok(first + 6 + k), &ok);
        if (!ok) return std::nullopt;
    }
    return e;
}

Verdict SelectedGasTable(const Reply& r, ReplyContext& ctx) {
    if (r.count() != 30) return Verdict::FormatError;
    std::optional<clsInstrument::LinearEntry> entries[2];
    for (int e = 0; e < 2; ++e) {
        entries[e] = ReadLinearEntry(r, 15 * e + 1);
        if (!entries[e]) return Verdict::Reject;
    }
    for (int e = 0; e < 2; ++e) {
        ctx.instrument->setLS_Entry(e, *entries[e]);
        ctx.instrument->setChange_LSData(e, false);
    }
    return Verdict::Accept;
}

Verdict LibraryTable(const Reply& r, ReplyContext& ctx) {
    if (r.count() != 29) return Verdict::FormatError;
    const std::optional<qint16> n = Hex16(r.tok(0));
    if (!n || *n < 0 || *n + 1 >= clsInstrument::LiCount) return Verdict::Reject;
    std::optional<clsInstrument::LinearEntry> entries[2];
    for (int e = 0; e < 2; ++e) {
        entries[e] = ReadLinearEntry(r, 14 * e + 1);
        if (!entries[e]) return Verdict::Reject;
    }
    for (int e = 0; e < 2; ++e)
        ctx.instrument->setLI_Entry(*n + e, *entries[e]);
    return Verdict::Accept;
}

Verdict DumpBlock(const Reply& r, ReplyContext& ctx) {
    if (!ctx.dumpBlock) return Verdict::Reject;
    return ctx.dumpBlock(r.frame, r.head.toLatin1(), r.tokens) ? Verdict::Accept : Verdict::Reject;
}

Verdict HcSelection(const Reply& r, ReplyContext& ctx) {
    const std::optional<qint16> v = Dec16(r.tok(0));
    if (!v) return Verdict::Reject;
    ctx.instrument->setHcMode(*v);
    ctx.instrument->setChange_HCMode(false);
    return Verdict::Accept;
}

Verdict GasDefinition(const Reply& r, ReplyContext& ctx) {
    if (r.count() != 1) return Verdict::FormatError;
    if (r.tok(0).size() != 18) return Verdict::Reject;
    clsInstrument& rec = *ctx.instrument;
    if (!rec.ApplyGasDefinition(r.tok(0))) return Verdict::Reject;
    rec.setChange_GasEnable(0, false);
    rec.setChange_GasPoint(0, false);
    return Verdict::Accept;
}

Verdict BumpSettings(const Reply& r, ReplyContext& ctx) {
    if (r.count() != 4) return Verdict::Reject;
    const std::optional<qint16> time = Hex16(r.tok(0));
    const std::optional<qint16> threshold = Hex16(r.tok(1));
    const std::optional<qint16> calTime = Hex16(r.tok(2));
    const std::optional<qint16> after = Dec16(r.tok(3));
    if (!time || !threshold || !calTime || !after) return Verdict::Reject;
    clsInstrument& rec = *ctx.instrument;
    rec.setBumpTime(*time);
    rec.setChange_BumpTime(false);
    rec.setBumpThreshold(*threshold);
    rec.setChange_BumpThreshold(false);
    rec.setBumpFailCalTime(*calTime);
    rec.setChange_BumpFailCalTime(false);
    rec.setBumpFailAfter(*after);
    rec.setChange_BumpFailAfter(false);
    return Verdict::Accept;
}

Verdict LeakCheckSettings(const Reply& r, ReplyContext& ctx) {
    if (r.count() != 3) return Verdict::FormatError;
    const std::optional<qint16> mode = Dec16(r.tok(0));
    const std::optional<qint16> time = Dec16(r.tok(1));
    const std::optional<qint16> buzzer = Dec16(r.tok(2));
    if (!mode || !time || !buzzer) return Verdict::Reject;
    clsInstrument& rec = *ctx.instrument;
    // Values outside their range are not taken.
    if (*mode >= 0 && *mode <= 3) {
        rec.setLcBhMode(*mode);
        rec.setChange_LcBhMode(false);
    }
    if (*time >= 0 && *time <= 2) {
        rec.setBhTime(*time);
        rec.setChange_BhTime(false);
    }
    if (*buzzer >= 0 && *buzzer <= 1) {
        rec.setLcBuzzer(*buzzer);
        rec.setChange_LcBuzzer(false);
    }
    return Verdict::Accept;
}

// Four one-digit slots: "1" is 1, any other digit 0; a character that is not a digit rejects
// the reply, the slots before and after it are still stored.
Verdict FourSlots(const Reply& r, clsInstrument& rec, void (clsInstrument::*set)(int, qint16),
                  void (clsInstrument::*lower)(int, bool)) {
    const QString t = r.tok(0);
    if (t.size() != 4) return Verdict::FormatError;
    bool allDigits = true;
    for (int k = 0; k < 4; ++k) {
        const QChar c = t.at(k);
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            allDigits = false;
            continue;
        }
        (rec.*set)(k, c == QLatin1Char('1') ? 1 : 0);
        (rec.*lower)(k, false);
    }
    return allDigits ? Verdict::Accept : Verdict::Reject;
}

Verdict OverScaleRead(const Reply& r, ReplyContext& ctx) {
    return FourSlots(r, *ctx.instrument, &clsInstrument::setOverScale,
                     &clsInstrument::setChange_OverScale);
}

Verdict ZeroSlotsRead(const Reply& r, ReplyContext& ctx) {
    return FourSlots(r, *ctx.instrument, &clsInstrument::setZero, &clsInstrument::setChange_Zero);
}

Verdict ZeroSlotsWrite(const Reply& r, ReplyContext&) {
    return r.tok(0).size() == 4 ? Verdict::Accept : Verdict::ResponseError;
}

Verdict UserPasswordRead(const Reply& r, ReplyContext& ctx) {
    const std::optional<qint16> use = First1(r.tok(0), false);
    if (!use) return Verdict::Reject;
    clsInstrument& rec = *ctx.instrument;
    rec.setUseUserPassword(*use);
    rec.setChange_UseUserPassword(false);
    rec.setUserPassword2(r.tok(1).trimmed());
    rec.setChange_UserPassword2(false);
    return Verdict::Accept;
}

Verdict UserPasswordWrite(const Reply& r, ReplyContext& ctx) {
    const clsInstrument& rec = *ctx.instrument;
    if (r.tok(0).trimmed() != Flag01(rec.UseUserPassword())) return Verdict::Reject;
    return r.tok(1).trimmed() == rec.UserPassword2().trimmed() ? Verdict::Accept : Verdict::Reject;
}

struct HeadRule {
    const char* head;
    bool needsRecord;
    Verdict (*handle)(const Reply&, ReplyContext&);
};

const HeadRule kHeadRules[] = {
    {"VP,R", true, RomNumber},
    {"VS,R", true, RomSum},
    {"RC,R", true, ConnectReply},
    {"HC,R", true, ClockRead},
    {"HC,W", false, ClockWrite},
    {"SZ,R", true, ZeroValue},
    {"S1,R", true, SpanValue},
    {"SZ,W", false, Ack},
    {"S1,W", false, SpanWrite},
    {"SZ,C", false, ZeroConfirm},
    {"SN,W", false, ZeroCalWrite},
    {"DN,R", true, Reading},
    {"HA,R", true, AnalogValues},
    {"SO,R", true, CalibrationHistory},
    {"BO,R", true, BumpHistory},
    {"LS,R", true, SelectedGasTable},
    {"LI,R", true, LibraryTable},
    {"EP,R", false, DumpBlock},
    {"EF,R", false, DumpBlock},
    {"ES,R", false, DumpBlock},
    {"XC,W", false, Ack},
    {"XY,W", false, Ack},
    {"RO,W", false, Ack},
    {"UX,W", false, Ack},
    {"UD,W", false, Ack},
    {"UP,W", false, Ack},
    {"DW,W", false, Ack},
    {"XH,E", false, Ack},
    {"LP,W", false, Ack},
    {"LP,R", true, HcSelection},
    {"XC,C", false, Confirm},
    {"XY,C", false, Confirm},
    {"UX,C", false, Confirm},
    {"BP,R", false, Accepted},
    {"BP,W", false, Accepted},
    {"XS,W", false, Accepted},
    {"GJ,W", false, Accepted},
    {"BU,W", false, Accepted},
    {"WB,W", false, Accepted},
    {"LS,W", false, Accepted},
    {"GJ,R", true, GasDefinition},
    {"BU,R", true, BumpSettings},
    {"WB,R", true, LeakCheckSettings},
    {"AO,R", true, OverScaleRead},
    {"UZ,R", true, ZeroSlotsRead},
    {"UZ,W", false, ZeroSlotsWrite},
    {"MP,R", true, UserPasswordRead},
    {"MP,W", true, UserPasswordWrite},
};

// YA,R .. YV,R carry nothing the program decodes.
bool IsUndecodedRead(const QString& head) {
    return head.size() == 4 && head.at(0) == QLatin1Char('Y') && head.at(1) >= QLatin1Char('A') &&
           head.at(1) <= QLatin1Char('V') && head.endsWith(QLatin1String(",R"));
}

Verdict Dispatch(const Reply& r, ReplyContext& ctx) {
    for (const HeadRule& rule : kHeadRules) {
        if (r.head != QLatin1String(rule.head)) continue;
        if (rule.needsRecord && !ctx.instrument) return Verdict::Reject;
        return rule.handle(r, ctx);
    }
    if (IsUndecodedRead(r.head)) return Verdict::Accept;
    if (const std::optional<Verdict> v = DecodeSetting(r, ctx)) return *v;
    return Verdict::Reject; // a head no rule names
}

// "XX,R": the reply to a read.
bool IsReadHead(const QString& head) {
    return head.size() == 4 && head.at(2) == QLatin1Char(',') && head.at(3) == QLatin1Char('R');
}

// The checksum after ETX equals the negated byte sum of STX .. ETX.
bool ChecksumMatches(const QByteArray& frame) {
    const qsizetype etx = frame.size() - 4;
    if (etx < 0 || frame.at(etx) != Ctl::ETX) return false;
    qsizetype start = frame.indexOf(Ctl::STX);
    if (start < 0 || start > etx) start = 0;
    return FrameChecksum(frame.mid(start, etx - start + 1))
               .compare(frame.mid(etx + 1, 2), Qt::CaseInsensitive) == 0;
}

// The reply answers the request in lastFrame: same command and verb. A late reply to an
// earlier request must not be taken as this request's answer.
bool AnswersRequest(const QString& head, const QByteArray& lastFrame) {
    if (lastFrame.size() < 9) return true; // nothing sent that could be compared
    return head == QString::fromLatin1(lastFrame.mid(5, 4));
}

Verdict Decode(const QByteArray& frame, ReplyContext& ctx) {
    if (frame.size() < 15) return Verdict::FormatError;
    if (ctx.verifyChecksum && !ChecksumMatches(frame)) return Verdict::ChecksumError;

    Reply r;
    r.frame = frame;
    r.status = frame.at(10);

    // CR separates values like ","; control characters (STX, ETX, the terminator and the
    // status character) and bytes above 127 go; then the address and the checksum.
    QByteArray text;
    text.reserve(frame.size());
    for (char ch : frame) {
        const auto c = static_cast<unsigned char>(ch);
        if (ch == Ctl::CR)
            text.append(',');
        else if (c >= 32 && c <= 127)
            text.append(ch);
    }
    text = text.mid(4);
    text.chop(2);

    r.head = QString::fromLatin1(text.left(4));
    clsToken tokenizer;
    tokenizer.AddDelimiters(QStringLiteral("\r"));
    tokenizer.AddDelimiters(QStringLiteral(","));
    tokenizer.setSource(QString::fromLatin1(text.mid(5)));
    r.tokens = tokenizer.TokenList();

    if (!ctx.lastFrame.isEmpty() && !AnswersRequest(r.head, ctx.lastFrame)) return Verdict::Reject;
    // A NAK in a read reply is the detector refusing the read: it carries no value, not even
    // an empty one.
    if (IsReadHead(r.head) && r.status == Ctl::NAK) return Verdict::ResponseError;
    return Dispatch(r, ctx);
}

} // namespace

bool ParseResponse(const QByteArray& frame, ReplyContext& ctx) {
    switch (Decode(frame, ctx)) {
    case Verdict::Accept:
        return true;
    case Verdict::Reject:
        return false;
    case Verdict::FormatError:
        Log(ctx, QStringLiteral("<<< Format error >>>"));
        return false;
    case Verdict::ResponseError:
        Log(ctx, QStringLiteral("<<< Response error >>>"));
        return false;
    case Verdict::ChecksumError:
        Log(ctx, QStringLiteral("<<< Checksum error >>>"));
        return false;
    }
    return false;
}
