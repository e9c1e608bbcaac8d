#include "shell/modGasCommon.h"

#include <QLocale>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {

struct CodeText {
    float value;
    const char* text;
};

// Status codes of a reading and their texts; the detector's raw 16-bit markers come first.
constexpr CodeText kReadingCodes[] = {
    {56797.0f, "*****"},     {-121.0f, "*****"},      {65287.0f, "?????"},
    {-118.0f, "?????"},      {65535.0f, "-----"},     {-101.0f, "-----"},
    {-102.0f, "NORMAL"},     {-103.0f, "WARNING"},    {-104.0f, "ALARM"},
    {-105.0f, "STEL"},       {-106.0f, "TWA"},        {-107.0f, "OVER"},
    {-130.0f, "Fail(Air)"},  {-131.0f, "Fail(Span)"}, {-132.0f, "Fail(Sen.)"},
    {-133.0f, "Fail(Com.)"}, {-134.0f, "Fail(Ram)"},  {-135.0f, "Fail(Rom)"},
    {-136.0f, "Fail(Ext.)"}, {-150.0f, "Fail(ALK.)"}, {-151.0f, "Fail(NIMH)"},
    {-152.0f, "Fail(FLOW)"}, {-153.0f, "Fail(RAM)"},  {-154.0f, "Fail(ROM)"},
    {-155.0f, "Fail(FRAM)"}, {-156.0f, "Fail(FLA.)"}, {-157.0f, "Fail(CLO.)"},
    {-170.0f, "CAL ON"},     {-171.0f, "CAL OFF"},    {-172.0f, "CLEAR"},
    {-173.0f, "LEL"},        {-174.0f, "ppm"},        {-175.0f, "vol"},
    {-176.0f, "ELE ON"},     {-177.0f, "ELE OFF"},    {-178.0f, "CAT ON"},
    {-179.0f, "CAT OFF"},    {-180.0f, "AIR"},
};

// Shortest decimal text that reads back as `value`, in fixed notation with "." ("-0" possible).
std::string shortestFixed(float value) {
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    return std::string(buf, res.ptr);
}

// A fixed decimal text ("-12.345") rounded to `places` decimals, halves away from zero, with
// at least one integer digit and no sign on a zero result.
std::string roundDecimal(const std::string& text, int places) {
    const bool negative = !text.empty() && text.front() == '-';
    const std::string body = negative ? text.substr(1) : text;
    const auto dot = body.find('.');
    const std::string intPart = dot == std::string::npos ? body : body.substr(0, dot);
    const std::string fracPart = dot == std::string::npos ? std::string() : body.substr(dot + 1);
    const auto keep = static_cast<size_t>(places);

    std::string digits = intPart + fracPart.substr(0, std::min(keep, fracPart.size()));
    if (fracPart.size() < keep) digits.append(keep - fracPart.size(), '0');
    if (fracPart.size() > keep && fracPart[keep] >= '5') {
        int i = static_cast<int>(digits.size()) - 1;
        for (; i >= 0; --i) {
            if (digits[static_cast<size_t>(i)] == '9') {
                digits[static_cast<size_t>(i)] = '0';
            } else {
                ++digits[static_cast<size_t>(i)];
                break;
            }
        }
        if (i < 0) digits.insert(digits.begin(), '1');
    }

    std::string whole = digits.substr(0, digits.size() - keep);
    const std::string frac = digits.substr(digits.size() - keep);
    const auto firstNonZero = whole.find_first_not_of('0');
    whole = firstNonZero == std::string::npos ? std::string("0") : whole.substr(firstNonZero);
    const bool isZero = digits.find_first_not_of('0') == std::string::npos;

    std::string result = (negative && !isZero) ? "-" : "";
    result += whole;
    if (keep > 0) result += "." + frac;
    return result;
}

// Appends a "."-separated number text with the decimal point and minus sign of a locale.
void appendLocalized(QString& out, const std::string& text, const QString& point,
                     const QString& minus) {
    for (char c : text) {
        if (c == '.')
            out += point;
        else if (c == '-')
            out += minus;
        else
            out += QLatin1Char(c);
    }
}

// Appends FormatDigits(value, places) in the notation of `locale` (its decimal point and minus
// sign given).
void appendDigits(QString& out, float value, int places, const QLocale& locale,
                  const QString& point, const QString& minus) {
    if (!std::isfinite(value)) {
        out += locale.toString(static_cast<double>(value));
        return;
    }
    const std::string text = shortestFixed(value);
    if (places >= 0 && places <= 9)
        appendLocalized(out, roundDecimal(text, places), point, minus);
    else if (value == 0.0f)
        out += QLatin1Char('0'); // no sign on a negative zero
    else
        appendLocalized(out, text, point, minus); // its own decimals: nothing to round
}

// The value of a plain decimal of up to 32 characters: an optional "-", digits, and optionally
// "." and more digits ("-12.50"); nothing for any other text.
std::optional<double> plainDecimal(QStringView text) {
    std::array<char, 32> ascii;
    const qsizetype size = text.size();
    if (size > qsizetype(ascii.size())) return std::nullopt;
    const char16_t* chars = text.utf16();
    const auto digitsEnd = [&](qsizetype from) {
        while (from < size && chars[from] >= u'0' && chars[from] <= u'9')
            ++from;
        return from;
    };
    const qsizetype first = size > 0 && chars[0] == u'-' ? 1 : 0;
    qsizetype end = digitsEnd(first);
    if (end == first) return std::nullopt;
    if (end < size) {
        if (chars[end] != u'.') return std::nullopt;
        const qsizetype fraction = end + 1;
        end = digitsEnd(fraction);
        if (end == fraction || end < size) return std::nullopt;
    }
    for (qsizetype i = 0; i < size; ++i)
        ascii[size_t(i)] = char(chars[i]);
    double value = 0.0;
    std::from_chars(ascii.data(), ascii.data() + size, value);
    return value;
}

// The number of a text read by `locale` (its decimal point given), "." read as the decimal
// point, blanks around ignored; nothing when it is not a finite single-precision number.
std::optional<double> localeNumber(QStringView text, const QLocale& locale, const QString& point) {
    QStringView t = text.trimmed();
    QString replaced;
    if (point != QLatin1String(".") && t.contains(u'.')) {
        replaced = t.toString().replace(QLatin1Char('.'), point);
        t = replaced;
    }
    bool good = false;
    const double value = locale.toDouble(t, &good);
    if (!good || !std::isfinite(value) ||
        std::fabs(value) > static_cast<double>(std::numeric_limits<float>::max()))
        return std::nullopt;
    return value;
}

// Places 0..3 stay, every other count means none.
int readingPlaces(int places) {
    return (places >= 0 && places <= 3) ? places : 0;
}

float codeFromPrefix(const QString& text) {
    const QString prefix = text.trimmed().left(3).toUpper();
    if (prefix == QLatin1String("OVE")) return kReadingOver;
    if (prefix == QLatin1String("WAR")) return kReadingWarning;
    if (prefix == QLatin1String("ALR")) return kReadingAlarm;
    if (prefix == QLatin1String("STE")) return kReadingStel;
    if (prefix == QLatin1String("TWA")) return kReadingTwa;
    if (prefix == QLatin1String("NOR")) return kReadingNormal;
    return kNoValueMark;
}

bool isAsciiLetterOrDigit(int key) {
    return (key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z') || (key >= 'a' && key <= 'z');
}

bool isListTextChar(int key) {
    return isAsciiLetterOrDigit(key) || key == ' ' || key == '-' || key == '_' || key == '/' ||
           key == '>' || key == '<';
}

constexpr int kBackspace = 8;

} // namespace

QString ReadingCodeText(float value) {
    for (const CodeText& code : kReadingCodes)
        if (value == code.value) return QString::fromLatin1(code.text);
    return {};
}

QString FormatReading(float value, int places, bool convert, float convFactor) {
    const QString code = ReadingCodeText(value);
    if (!code.isEmpty()) return code;
    const float shown = convert ? value * convFactor : value;
    return FormatDigits(shown, readingPlaces(places));
}

float ParseReading(const QString& text) {
    bool ok = false;
    const float value = ParseLocaleNumber(text, &ok);
    return ok ? value : codeFromPrefix(text);
}

float AlarmValueFromText(const QString& text) {
    return ParseReading(text);
}

QString DigitsFormat(int places) {
    if (places < 0 || places > 9) return {};
    if (places == 0) return QStringLiteral("#0");
    return QStringLiteral("#0.") + QString(places, QLatin1Char('0'));
}

QString FormatDigits(float value, int places) {
    const QLocale locale;
    QString text;
    appendDigits(text, value, places, locale, locale.decimalPoint(), locale.negativeSign());
    return text;
}

QString FormatFixed5(float value, int places) {
    if (!(value >= 0.0f) || std::isinf(value)) return QStringLiteral("*****");
    const QString text =
        QString::fromStdString(roundDecimal(shortestFixed(value), readingPlaces(places)));
    return (QStringLiteral("    ") + text).right(5);
}

float RoundToPlaces(float value, int places) {
    if (!(value >= 0.0f) || std::isinf(value)) return value;
    const std::string text = roundDecimal(shortestFixed(value), readingPlaces(places));
    float rounded = value;
    std::from_chars(text.data(), text.data() + text.size(), rounded);
    return rounded;
}

QString FormatGasCaption(const QString& name, const QString& unit, float fullScale, int points) {
    if (name.trimmed().isEmpty()) return QStringLiteral("----(---)");
    if (fullScale == -1.0f) return name + QLatin1Char('(') + unit + QLatin1Char(')');
    return name + QLatin1Char('(') + FormatDigits(fullScale, points) + unit + QLatin1Char(')');
}

qint16 DecimalPlaces(const QString& text) {
    const QString t = text.trimmed();
    qsizetype pos = t.indexOf(QLatin1Char('.'));
    const QString point = QLocale().decimalPoint();
    if (point != QLatin1String(".")) {
        const qsizetype local = t.indexOf(point);
        if (local >= 0 && (pos < 0 || local < pos)) pos = local;
    }
    if (pos < 0) return 0;
    const qsizetype after = t.size() - pos - 1;
    return static_cast<qint16>(qMin<qsizetype>(after, std::numeric_limits<qint16>::max()));
}

float ParseLocaleNumber(const QString& text, bool* ok) {
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::RejectGroupSeparator);
    const std::optional<double> value = localeNumber(text, locale, locale.decimalPoint());
    if (ok) *ok = value.has_value();
    return value ? static_cast<float>(*value) : 0.0f;
}

bool DecimalIsComma() {
    return !QLocale().toString(1.5).contains(QLatin1Char('.'));
}

QString ListSeparator() {
    return QLocale().decimalPoint() == QLatin1String(".") ? QStringLiteral(",")
                                                          : QStringLiteral(";");
}

bool IsNumberText(const QString& text) {
    bool ok = false;
    ParseLocaleNumber(text, &ok);
    return ok;
}

int FilterIdKey(int key) {
    if (key == kBackspace) return key;
    if (key >= 'a' && key <= 'z') return key - 'a' + 'A';
    if (isAsciiLetterOrDigit(key) || key == ' ' || key == '*' || key == '-') return key;
    return 0;
}

int FilterTextKey(int key) {
    if (key == kBackspace || isListTextChar(key)) return key;
    return 0;
}

bool IsValidListText(const QString& text) {
    for (QChar c : text)
        if (!isListTextChar(c.unicode())) return false;
    return true;
}

bool IsAllDigits(const QString& text) {
    for (QChar c : text)
        if (c.unicode() < u'0' || c.unicode() > u'9') return false;
    return true;
}

QString DashIfBlank(const QString& text, int kind) {
    const QString t = text.trimmed();
    if (!t.isEmpty()) return t;
    if (kind == 0 || kind == 1) return QString(16, QLatin1Char('-'));
    if (kind == 2 || kind == 3) return QString(20, QLatin1Char('-'));
    return {};
}

int IntervalIndex(qint16 seconds) {
    switch (seconds) {
    case 10:
        return 0;
    case 20:
        return 1;
    case 30:
        return 2;
    case 60:
        return 3;
    case 180:
        return 4;
    case 600:
        return 6;
    default:
        return 5;
    }
}

float RoundToStep(float value, float step) {
    if (!(value >= 0.0f) || step == 0.0f || !std::isfinite(value) || !std::isfinite(step))
        return 0.0f;
    // Work on the decimal values the operator sees, so that 0.35 over 0.1 is an exact half.
    auto asDouble = [](float f) {
        char buf[64];
        const auto res = std::to_chars(buf, buf + sizeof buf, f);
        double d = 0.0;
        std::from_chars(buf, res.ptr, d);
        return d;
    };
    const double s = asDouble(step);
    double ratio = asDouble(value) / s;
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, ratio, std::chars_format::general, 12);
    std::from_chars(buf, res.ptr, ratio);
    return static_cast<float>(std::nearbyint(ratio) * s);
}

NumberNotation::NumberNotation()
    : m_reading(m_locale), m_point(m_locale.decimalPoint()), m_minus(m_locale.negativeSign()) {
    m_reading.setNumberOptions(m_reading.numberOptions() | QLocale::RejectGroupSeparator);
    m_plain = m_point == QLatin1String(".") && m_minus == QLatin1String("-") &&
              m_locale.zeroDigit() == QLatin1String("0") &&
              !(m_reading.numberOptions() & QLocale::RejectTrailingZeroesAfterDot);
}

std::optional<double> NumberNotation::Number(QStringView text) const {
    QStringView t = text.trimmed();
    // A plain decimal in a locale that writes it as it stands reads as it does in C.
    if (m_plain) {
        if (const std::optional<double> value = plainDecimal(t)) return value;
    }
    return localeNumber(t, m_reading, m_point);
}

float NumberNotation::Parse(QStringView text, bool* ok) const {
    const std::optional<double> value = Number(text);
    if (ok) *ok = value.has_value();
    return value ? static_cast<float>(*value) : 0.0f;
}

void NumberNotation::AppendDigits(QString& out, float value, int places) const {
    appendDigits(out, value, places, m_locale, m_point, m_minus);
}
