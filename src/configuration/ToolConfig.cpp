#include "configuration/ToolConfig.h"

#include "shell/AppState.h"
#include "shell/Messages.h"
#include "shell/WriteError.h"
#include "shell/clsToken.h"
#include "shell/modGasCommon.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <optional>
#include <span>

namespace {

// ---- Reading helpers ----

// The number a text holds ("." always accepted), in double precision so that 32-bit counts
// stay exact; nothing for a text ParseLocaleNumber() refuses.
std::optional<double> numberOf(const NumberNotation& notation, QStringView text) {
    return notation.Number(text);
}

// The whole number a text holds, halves rounded away from zero; nothing when the text is not
// a number or the result does not fit into T.
template <typename T> std::optional<T> wholeOf(const NumberNotation& notation, QStringView text) {
    const std::optional<double> value = numberOf(notation, text);
    if (!value) return std::nullopt;
    const double rounded = std::round(*value);
    if (rounded < static_cast<double>(std::numeric_limits<T>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<T>::max()))
        return std::nullopt;
    return static_cast<T>(rounded);
}

// The whole number of a text, or `fallback` when it is none (or does not fit).
template <typename T> T wholeOr(const NumberNotation& notation, QStringView text, T fallback) {
    return wholeOf<T>(notation, text).value_or(fallback);
}

// The single-precision number of a text, or `fallback` when it is none.
float numberOr(const NumberNotation& notation, QStringView text, float fallback) {
    bool ok = false;
    const float value = notation.Parse(text, &ok);
    return ok ? value : fallback;
}

// Whether a text in upper case (as QString::toUpper() makes it) is `word`.
bool upperIs(QStringView text, QLatin1StringView word) {
    return UpperKey(text).view() == word;
}

bool isTrue(QStringView text) {
    return upperIs(text, QLatin1StringView("TRUE"));
}

// -1 in the file marks an absent STEL or TWA, as does the record's own -101.
float absentMarked(float value) {
    return value == -1.0f ? clsInstrument::NoValue : value;
}

// Tokens a line is read by: the key and the values after it.
constexpr int kLineTokens = 16;

// Tokens of one line with the values read by position; a missing token is an empty text.
class LineValues {
public:
    LineValues(std::span<const QStringView> tokens, int count)
        : m_tokens(tokens.first(size_t(qMin<qsizetype>(count, qsizetype(tokens.size()))))),
          m_key((*this)[0]) {}

    // The key in upper case.
    QStringView key() const { return m_key.view(); }
    QStringView operator[](int i) const {
        return size_t(i) < m_tokens.size() ? m_tokens[size_t(i)] : QStringView();
    }
    // Value `i` as a text of its own; a missing or empty one is a null text.
    QString text(int i) const {
        const QStringView t = (*this)[i];
        return t.isEmpty() ? QString() : t.toString();
    }

private:
    std::span<const QStringView> m_tokens;
    UpperKey m_key;
};

enum class LineEffect { Applied, StopReading };

LineEffect applyLine(const LineValues& v, const NumberNotation& n, ToolSettings& s,
                     QString& password) {
    const QStringView key = v.key();
    if (key == QLatin1String("FACTORY RECORD SUFFIX")) {
        s.FactoryRecordSuffix = v.text(1);
    } else if (key == QLatin1String("EXECUTE COUNT")) {
        s.ExecuteCount = wholeOr<qint32>(n, v[1], 0);
    } else if (key == QLatin1String("SERIAL LOG FILE")) {
        s.SerialLogEnabled = upperIs(v[1], QLatin1StringView("ON"));
    } else if (key == QLatin1String("IRDA ENDPOINT")) {
        s.IrdaEndpoint = v.text(1).trimmed();
    } else if (key == QLatin1String("DELAY")) {
        s.LinkDelay = wholeOr<qint16>(n, v[1], 100);
    } else if (key == QLatin1String("TIMEOUT")) {
        s.LinkTimeout = wholeOr<qint16>(n, v[1], 3);
    } else if (key == QLatin1String("RETRY")) {
        s.LinkRetry = wholeOr<qint16>(n, v[1], 3);
    } else if (key == QLatin1String("AUTO LOAD MODE")) {
        s.AutoLoadEnabled = isTrue(v[1]);
        s.AutoRemoveEnabled = isTrue(v[2]);
    } else if (key == QLatin1String("FONT")) {
        s.SharedFont.Name = v.text(1);
        // A size of zero or less is no font size; the built-in 9 points apply.
        const float size = numberOr(n, v[2], 9.0f);
        s.SharedFont.Size = size > 0.0f ? size : 9.0f;
        s.SharedFont.Bold = isTrue(v[3]);
        s.SharedFont.Italic = isTrue(v[4]);
        s.SharedFont.Underline = isTrue(v[5]);
    } else if (key == QLatin1String("LIMITDAYS")) {
        s.LimitDays = wholeOr<qint16>(n, v[1], 0);
    } else if (key == QLatin1String("CALIB. RANGE")) {
        const std::optional<double> range = numberOf(n, v[1]);
        s.CalibRange = range ? static_cast<float>(std::round(*range)) : 0.0f;
    } else if (key == QLatin1String("DEFAULTVALUE1")) {
        clsInstrument& d = s.DefaultValues;
        d.setCalLimit(wholeOr<qint16>(n, v[1], 90));
        d.setLcdBackLight(wholeOr<qint16>(n, v[2], 30));
        d.setAlarmMode(wholeOr<qint16>(n, v[3], 1));
        d.setIntervals(wholeOr<qint16>(n, v[4], 5));
        d.setDispCalLimit(wholeOr<qint16>(n, v[5], 0));
        d.setCalCheck(wholeOr<qint16>(n, v[6], 0));
    } else if (key == QLatin1String("DEFAULTVALUE2")) {
        clsInstrument& d = s.DefaultValues;
        d.setLogOverWrite(wholeOr<qint16>(n, v[1], 1));
        d.setFlowValue(wholeOr<qint16>(n, v[2], 128));
        d.setAlarmO2(wholeOr<qint16>(n, v[3], 1));
        d.setAutoZero(wholeOr<qint16>(n, v[4], 0));
        d.setDemandZero(wholeOr<qint16>(n, v[5], 1));
        d.setUseUserPassword(wholeOr<qint16>(n, v[6], 0));
    } else if (key == QLatin1String("GAS INST")) {
        if (!n.Number(v[1])) return LineEffect::Applied; // not a gas line: skipped
        const std::optional<qint32> number = wholeOf<qint32>(n, v[1]);
        if (!number || !ToolSettings::IsGas(*number - 1)) return LineEffect::StopReading;
        const int gas = *number - 1;
        clsInstrument& d = s.DefaultValues;
        d.setGasName(gas, v.text(2));
        d.setGasEnabled(gas, isTrue(v[3]));
        s.setGasLocked(gas, isTrue(v[4]));
        d.setGasPoint(gas, wholeOr<qint16>(n, v[5], 0));
        d.setGasUnit(gas, v.text(6));
        d.setWarning(gas, numberOr(n, v[7], 0.0f));
        d.setAlarm(gas, numberOr(n, v[8], 0.0f));
        d.setStel(gas, absentMarked(numberOr(n, v[9], 0.0f)));
        d.setTwa(gas, absentMarked(numberOr(n, v[10], 0.0f)));
        d.setGasDesit(gas, numberOr(n, v[11], 0.0f));
        d.setGasFullScale(gas, numberOr(n, v[12], 0.0f));
        d.setAutoCalib(gas, numberOr(n, v[13], 0.0f));
        s.setFactoryAutoCal(gas, numberOr(n, v[14], 0.0f));
        s.setGasGraphColor(gas, wholeOr<qint32>(n, v[15], 0));
    } else if (key == QLatin1String("CONV PARAM")) {
        s.ConvFactor = numberOr(n, v[1], 0.2f);
        s.ConvEnabled = false;
        s.ConvUnits = {QStringLiteral("%LEL"), QStringLiteral("VOL%")};
    } else if (key == QLatin1String("CHGGAS")) {
        if (!n.Number(v[1]) || !n.Number(v[2])) return LineEffect::Applied;
        const std::optional<qint32> group = wholeOf<qint32>(n, v[1]);
        const std::optional<qint32> number = wholeOf<qint32>(n, v[2]);
        GasCatalogEntry* e = (group && number) ? s.Catalog.at(*group - 1, *number - 1) : nullptr;
        if (!e) return LineEffect::StopReading;
        e->Name = v.text(3);
        e->Enabled = isTrue(v[4]);
        e->Locked = isTrue(v[5]);
        e->Points = wholeOr<qint16>(n, v[6], 0);
        e->Unit = v.text(7);
        e->Warning = numberOr(n, v[8], 0.0f);
        e->Alarm = numberOr(n, v[9], 0.0f);
        e->STEL = numberOr(n, v[10], 0.0f);
        e->TWA = numberOr(n, v[11], 0.0f);
        e->Digit = numberOr(n, v[12], 0.0f);
        e->FullScale = numberOr(n, v[13], 0.0f);
        e->AutoCal = numberOr(n, v[14], 0.0f);
    } else if (key == QLatin1String("SIZE VALUES")) {
        const qint16 state = wholeOr<qint16>(n, v[1], 0);
        s.MainWindowSize.State = (state == 0 || state == 2) ? state : qint16(0);
        s.MainWindowSize.Width = wholeOr<qint32>(n, v[2], 7680);
        s.MainWindowSize.Height = wholeOr<qint32>(n, v[3], 5760);
    } else if (key == QLatin1String("PRT WIDTH")) {
        s.PrintWidths = {numberOr(n, v[1], 1.0f), numberOr(n, v[2], 1.0f)};
    } else if (key == QLatin1String("KM-71")) {
        bool outer = false;
        bool inner = false;
        const QString decoded = DecodePassword(DecodePassword(v.text(1), &outer), &inner);
        // A stored text that does not decode is no password; the current one stays.
        if (outer && inner) password = decoded;
    } else if (key == QLatin1String("CALUNITONWAIT")) {
        s.CalUnitOnWait = wholeOr<qint16>(n, v[1], 120);
    } else if (key == QLatin1String("CALSPANONWAIT")) {
        s.CalSpanOnWait = wholeOr<qint16>(n, v[1], 120);
    } else if (key == QLatin1String("CALSPANOFFWAIT")) {
        s.CalSpanOffWait = wholeOr<qint16>(n, v[1], 30);
    } else if (key == QLatin1String("COMPLETELY VIEW")) {
        s.CompletelyView = isTrue(v[1]);
    } else if (key == QLatin1String("REGISTER")) {
        s.Register = v.text(1).trimmed();
    } else if (key == QLatin1String("TECHNICIAN")) {
        s.Technician = v.text(1).trimmed();
    } else if (key == QLatin1String("SPANTOLERANCE")) {
        s.SpanTolerance = v.text(1).trimmed();
    } else if (key == QLatin1String("TREND SEARCH")) {
        s.TrendSearch = {wholeOr<qint16>(n, v[1], 0), wholeOr<qint16>(n, v[2], 0)};
    }
    return LineEffect::Applied;
}

// The whole text of a device as a text stream in the system's encoding reads it: a byte order
// mark at the start names another encoding, and a device in text mode loses every carriage
// return.
QString streamText(QIODevice& device) {
    const bool textMode = device.isTextModeEnabled();
    if (textMode) device.setTextModeEnabled(false);
    const QByteArray bytes = device.readAll();
    if (textMode) device.setTextModeEnabled(true);
    QStringDecoder decoder(
        QStringConverter::encodingForData(bytes).value_or(QStringConverter::System));
    QString text = decoder.decode(bytes);
    if (textMode) text.remove(u'\r');
    return text;
}

// ---- Writing helpers ----

// A value of a line, written into the line in place: a text, a text between apostrophes, or a
// number.
class Value {
public:
    Value(const QString& text) : m_kind(Kind::Text), m_text(text) {}
    Value(float number) : m_kind(Kind::Fraction), m_fraction(number) {}
    Value(int number) : m_kind(Kind::Whole), m_whole(number) {}
    static Value Quoted(const QString& text) {
        Value v(text);
        v.m_kind = Kind::Quoted;
        return v;
    }

    // Appends the value's text to `line`, a number in `notation`.
    void appendTo(QString& line, const NumberNotation& notation) const {
        switch (m_kind) {
        case Kind::Text:
            line += m_text;
            break;
        case Kind::Quoted:
            line += QLatin1Char('\'');
            line += m_text;
            line += QLatin1Char('\'');
            break;
        case Kind::Fraction:
            // The locale's notation, shortest form that reads back equal.
            notation.AppendDigits(line, m_fraction, -1);
            break;
        case Kind::Whole: {
            char digits[16];
            const auto end = std::to_chars(digits, digits + sizeof digits, m_whole).ptr;
            line += QLatin1StringView(digits, end - digits);
            break;
        }
        }
    }

private:
    enum class Kind { Text, Quoted, Fraction, Whole };
    Kind m_kind;
    QStringView m_text;
    float m_fraction = 0.0f;
    int m_whole = 0;
};

// A number written in place: a fraction in the locale's notation, shortest form that reads
// back equal, or a whole number.
Value num(float value) {
    return Value(value);
}

Value num(int value) {
    return Value(value);
}

QString trueFalse(bool on) {
    return on ? QStringLiteral("True") : QStringLiteral("False");
}

QString upperTrueFalse(bool on) {
    return on ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
}

Value quoted(const QString& text) {
    return Value::Quoted(text);
}

// A free text value: quoted when a tab or ";" in it would otherwise split or cut it.
QString textValue(const QString& text) {
    const bool needsQuotes = text.contains(QLatin1Char('\t')) || text.contains(QLatin1Char(';'));
    return needsQuotes && !text.contains(QLatin1Char('\''))
               ? QLatin1Char('\'') + text + QLatin1Char('\'')
               : text;
}

// The key and its values, separated by tabs, made in `scratch` (kept for the next line).
void lineText(const NumberNotation& notation, QString& scratch, const QString& key,
              std::initializer_list<Value> values) {
    scratch.resize(0);
    scratch += key;
    for (const Value& value : values) {
        scratch += QLatin1Char('\t');
        value.appendTo(scratch, notation);
    }
}

// A date and time in the locale's general format: short date, time with seconds.
QString generalDate(const QDateTime& when) {
    const QLocale locale;
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QLatin1Char('t')); // the general format carries no time zone
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(when.time(), timeFormat.trimmed());
}

QString copyrightLine() {
    return UiLanguage() == QLatin1String("EN")
               ? QStringLiteral("; Copyright (C) 71-Series setup program authors")
               : QStringLiteral("; (C) 71-Series setup program authors. All rights reserved.");
}

} // namespace

QString ToolConfigurationPath() {
    return AppState::PathInStartupFolder(QString::fromLatin1(kToolConfigName));
}

ToolConfigReadResult ReadToolConfigurationFile(const QString& path, ToolSettings& settings,
                                               QString& password) {
    QFile file(path);
    if (!file.exists() || !file.open(QIODevice::ReadOnly)) return {};
    return ReadToolConfiguration(file, settings, password);
}

ToolConfigReadResult ReadToolConfiguration(QIODevice& file, ToolSettings& settings,
                                           QString& password) {
    ToolConfigReadResult result;
    result.Found = true;

    clsToken token;
    token.AddComments(QStringLiteral(";"));
    token.AddDelimiters(QStringLiteral("\t"));
    token.AddStrings(QStringLiteral("'"));

    const NumberNotation notation;
    const QString text = streamText(file);
    int lineNumber = 0;
    std::array<QStringView, kLineTokens> tokens;
    // The lines as a text stream reads them: each ends at a line feed, which a carriage return
    // before it joins, as does one at the very end; nothing after a last line feed is a line.
    for (qsizetype start = 0; start < text.size();) {
        const qsizetype feed = text.indexOf(u'\n', start);
        const qsizetype end = feed < 0 ? text.size() : feed;
        QStringView line = QStringView(text).sliced(start, end - start);
        if (line.endsWith(u'\r')) line.chop(1);
        start = end + 1;

        ++lineNumber;
        const int count = token.Split(line, tokens);
        if (count < 2) continue;
        if (applyLine(LineValues(tokens, count), notation, settings, password) ==
            LineEffect::StopReading) {
            result.StoppedAtLine = lineNumber;
            break;
        }
    }
    return result;
}

ToolConfigReadResult ReadToolConfiguration() {
    QString password = AppState::AccessPassword();
    const ToolConfigReadResult result =
        ReadToolConfigurationFile(ToolConfigurationPath(), Tool(), password);
    AppState::setAccessPassword(password);
    return result;
}

namespace {

// Where the writer puts the lines of the file: a list of lines, or the text of the file (each
// line followed by CR LF) made in one piece.
class LineList {
public:
    LineList() { m_lines.reserve(160); }
    LineList& operator<<(const QString& line) {
        m_lines.append(line);
        return *this;
    }
    LineList& operator<<(QStringView line) {
        m_lines.append(line.toString());
        return *this;
    }
    QStringList take() { return std::move(m_lines); }

private:
    QStringList m_lines;
};

class FileText {
public:
    FileText() { m_text.reserve(16 * 1024); }
    FileText& operator<<(QStringView line) {
        m_text += line;
        m_text += QLatin1StringView("\r\n");
        return *this;
    }
    const QString& text() const { return m_text; }

private:
    QString m_text;
};

// The text of a file in the system's encoding.
QByteArray EncodedText(const QString& text) {
    QStringEncoder encoder(QStringConverter::System);
    QByteArray bytes(encoder.requiredSpace(text.size()), Qt::Uninitialized);
    bytes.truncate(encoder.appendToBuffer(bytes.data(), text) - bytes.constData());
    return bytes;
}

// Writes the lines of the tool configuration file into `out`.
template <typename Out>
void WriteLines(const ToolSettings& s, const QString& password, const QDateTime& when, Out& out) {
    const auto orDefault = [](qint16 value, qint16 fallback) {
        return num(value == 0 ? fallback : value);
    };
    const qint64 count = s.ExecuteCount;
    const clsInstrument& d = s.DefaultValues;
    const NumberNotation notation;
    QString scratch;
    scratch.reserve(256);
    // A line is made in `scratch` and handed on as a view of it: `out << line(a) << line(b)`
    // hands on the first before it makes the second (the left side of << comes first).
    const auto line = [&](const QString& key, std::initializer_list<Value> values) {
        lineText(notation, scratch, key, values);
        return QStringView(scratch);
    };

    out << QStringLiteral(";") << QStringLiteral(";            KM-71 Data logger program")
        << QStringLiteral(";      Last update = ") + generalDate(when)
        << QStringLiteral(";         Delimiter is tab,comma(,) character")
        << QStringLiteral(";           This file is changed set menu") << QStringLiteral(";")
        << copyrightLine() << QStringLiteral(";") << QString();

    out << line(
               QStringLiteral("Execute Count"),
               {num(static_cast<int>(qMin<qint64>(count + 1, std::numeric_limits<qint32>::max())))})
        << line(QStringLiteral("Serial Log File"),
                {s.SerialLogEnabled ? QStringLiteral("ON") : QStringLiteral("OFF")})
        << line(QStringLiteral("Factory Record Suffix"), {textValue(s.FactoryRecordSuffix)})
        << line(QStringLiteral("IrCOMM Num"), {num(s.IrCommPort)})
        << line(QStringLiteral("COMM Settings"), {textValue(s.CommSettings)})
        << line(QStringLiteral("IrDA Endpoint"), {textValue(s.IrdaEndpoint)})
        << line(QStringLiteral("Timeout"), {orDefault(s.LinkTimeout, 3)})
        << line(QStringLiteral("Delay"), {orDefault(s.LinkDelay, 300)})
        << line(QStringLiteral("Retry"), {orDefault(s.LinkRetry, 3)});
    // The register keys are new: a file that never set them stays as it was.
    if (!s.Register.isEmpty()) out << line(QStringLiteral("Register"), {textValue(s.Register)});
    if (!s.Technician.isEmpty())
        out << line(QStringLiteral("Technician"), {textValue(s.Technician)});
    if (!s.SpanTolerance.isEmpty())
        out << line(QStringLiteral("SpanTolerance"), {textValue(s.SpanTolerance)});

    out << QString() << QStringLiteral(";")
        << QStringLiteral("; Formats = Autoload enable, Auto remove data enable")
        << QStringLiteral(";")
        << line(QStringLiteral("Auto Load Mode"),
                {trueFalse(s.AutoLoadEnabled), trueFalse(s.AutoRemoveEnabled)});

    out << QString() << QStringLiteral(";")
        << QStringLiteral("; Formats = Name , Size , Bold , Italic , Underline (Font setting)")
        << QStringLiteral(";")
        << line(QStringLiteral("Font"),
                {quoted(s.SharedFont.Name), num(s.SharedFont.Size), trueFalse(s.SharedFont.Bold),
                 trueFalse(s.SharedFont.Italic), trueFalse(s.SharedFont.Underline)});

    out << QString() << QStringLiteral(";")
        << QStringLiteral(
               "; Formats = Scale , Back , Cursor (RGB) (Color datas), Gas1, Gas2, Gas3, Gas4")
        << QStringLiteral(";") << QStringLiteral("Graph Color\t0\t0\t0\t0\t1\t0\t0");

    out << QString() << QStringLiteral(";")
        << QStringLiteral("; Formats = Gas1...Gas4 (Calibration Range ... Serial Value Format)")
        << QStringLiteral(";") << line(QStringLiteral("Calib. Range"), {num(s.CalibRange)});

    out << QString() << QString() << QStringLiteral(";")
        << QStringLiteral("; Gas Instrument Information.") << QStringLiteral(";")
        << QStringLiteral(
               "; CalibLimit, BackLightTime, AlarmPattern, IntervalCycle, Cal Disp,  Cal Proc")
        << line(QStringLiteral("DefaultValue1"),
                {num(d.CalLimit()), num(d.LcdBackLight()), num(d.AlarmMode()), num(d.Intervals()),
                 num(d.DispCalLimit()), num(d.CalCheck())})
        << QStringLiteral(
               "; Overwrite, FlowDA, Oxy alarm type, Auto Zero, Demand Zero, Enabled UserPassword")
        << line(QStringLiteral("DefaultValue2"),
                {num(d.LogOverWrite()), num(d.FlowValue()), num(d.AlarmO2()), num(d.AutoZero()),
                 num(d.DemandZero()), num(d.UseUserPassword())});

    out << QStringLiteral(";") << QStringLiteral("; Gas Instrument Information.")
        << QStringLiteral("; Format = No , Name , Enabled , Locked , Points , Unit , Warning , "
                          "Alarm , STEL , TWA , Digit , FullSacle , AutoCal ,  Fact AutoCal. , "
                          "GraphColor")
        << QStringLiteral(";")
        << line(QStringLiteral("Gas Inst"),
                {num(1), quoted(d.GasName(0)), upperTrueFalse(d.GasEnabled(0)),
                 trueFalse(s.GasLocked(0)), num(d.GasPoint(0)), quoted(d.GasUnit(0)),
                 num(d.Warning(0)), num(d.Alarm(0)), num(d.Stel(0)), num(d.Twa(0)),
                 num(d.GasDesit(0)), num(d.GasFullScale(0)), num(d.AutoCalib(0)),
                 num(s.FactoryAutoCal(0)), num(s.GasGraphColor(0))})
        << QString();

    out << line(QStringLiteral("Conv Param"), {num(s.ConvFactor), trueFalse(s.ConvEnabled)});

    out << QString() << QStringLiteral(";") << QStringLiteral(";Changed Gas Lists")
        << QStringLiteral("; Format = GasNo , No , Name , Enabled , Locked , Points , Unit , "
                          "Warning , Alarm , STEL , TWA , Digit , FullSacle , AutoCal")
        << QStringLiteral(";");
    for (int g = 0; g < GasCatalog::FileGroupCount; ++g) {
        out << QStringLiteral("; GasNo ") + QString::number(g + 1);
        for (int n = 0; n < GasCatalog::FileEntryCount; ++n) {
            const GasCatalogEntry& e = *s.Catalog.at(g, n);
            out << line(QStringLiteral("ChgGas"),
                        {num(g + 1), num(n + 1), quoted(e.Name), upperTrueFalse(e.Enabled),
                         trueFalse(e.Locked), num(e.Points), quoted(e.Unit), num(e.Warning),
                         num(e.Alarm), num(e.STEL), num(e.TWA), num(e.Digit), num(e.FullScale),
                         num(e.AutoCal)});
        }
    }

    out << QStringLiteral(";")
        << QStringLiteral(
               "; Calibration Timer 1 : Cal.Unit On After Zero Calib, Bitween wait time.")
        << line(QStringLiteral("CalUnitOnWait"), {num(s.CalUnitOnWait)})
        << QStringLiteral(
               "; Calibration Timer 2 : Span Gas valve On To Span Calib, Bitween wait time.")
        << line(QStringLiteral("CalSpanOnWait"), {num(s.CalSpanOnWait)})
        << QStringLiteral(
               "; Calibration Timer 3 : Span valve Off After Cal.Unit Off, Bitween wait time.")
        << line(QStringLiteral("CalSpanOffWait"), {num(s.CalSpanOffWait)});

    out << QString() << QStringLiteral("; ")
        << QStringLiteral("; Format = SerialNo,StationID,UserID")
        << QStringLiteral("Data Select\tFalse\tFalse\tFalse");

    out << QString() << QStringLiteral(";")
        << QStringLiteral("; Formats = Form status , Form Width , Form Height (Twips value)")
        << QStringLiteral(";")
        << line(QStringLiteral("Size Values"),
                {num(s.MainWindowSize.State), num(s.MainWindowSize.Width),
                 num(s.MainWindowSize.Height)});

    out << QString() << QStringLiteral(";")
        << QStringLiteral("; Formats = Printing Data Line Width, Printing Scale Line Width")
        << QStringLiteral(";")
        << line(QStringLiteral("Prt Width"), {num(s.PrintWidths[0]), num(s.PrintWidths[1])});

    out << QString() << QStringLiteral(";") << QStringLiteral("; Format = True or False")
        << QStringLiteral(";")
        << line(QStringLiteral("Completely View"), {trueFalse(s.CompletelyView)});

    out << QString() << QStringLiteral(";")
        << QStringLiteral("; ; Format = Before Event , After Event") << QStringLiteral(";")
        << line(QStringLiteral("Trend Search"), {num(s.TrendSearch[0]), num(s.TrendSearch[1])});

    out << QString() << QStringLiteral(";")
        << line(QStringLiteral("KM-71"), {EncodePassword(EncodePassword(password))});
}

} // namespace

QStringList ToolConfigurationLines(const ToolSettings& s, const QString& password,
                                   const QDateTime& when) {
    LineList out;
    WriteLines(s, password, when, out);
    return out.take();
}

QByteArray ToolConfigurationBytes(const ToolSettings& settings, const QString& password,
                                  const QDateTime& when) {
    FileText out;
    WriteLines(settings, password, when, out);
    return EncodedText(out.text());
}

QByteArray ToolConfigurationBytes(const QStringList& lines) {
    // The lines joined by CR LF, and one more CR LF after the last (or alone).
    qsizetype size = 2;
    for (const QString& line : lines)
        size += line.size() + 2;
    QString text;
    text.reserve(size);
    for (const QString& line : lines) {
        text += line;
        text += QLatin1StringView("\r\n");
    }
    if (lines.isEmpty()) text += QLatin1StringView("\r\n");
    return EncodedText(text);
}

bool WriteToolConfigurationFile(const QString& path, const ToolSettings& settings,
                                const QString& password, QString* error) {
    const QByteArray bytes =
        ToolConfigurationBytes(settings, password, QDateTime::currentDateTime());

    // A complete new file replaces the old one in one step; a failure leaves the old file.
    QSaveFile file(path);
    errno = 0;
    const auto fail = [&](const QString& what) {
        const QString reason = WriteErrorText(file, errno);
        if (error)
            *error = what + QStringLiteral(" \"") + QDir::toNativeSeparators(path) +
                     QStringLiteral("\": ") + reason;
        file.cancelWriting();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly)) return fail(QStringLiteral("Cannot create"));
    // The last of the bytes go out in flush(), whose failure commit() does not see.
    if (file.write(bytes) != bytes.size() || !file.flush())
        return fail(QStringLiteral("Cannot write"));
    if (!file.commit()) return fail(QStringLiteral("Cannot replace"));
    if (error) error->clear();
    return true;
}

bool WriteToolConfiguration(QString* error) {
    return WriteToolConfigurationFile(ToolConfigurationPath(), Tool(), AppState::AccessPassword(),
                                      error);
}

QString EncodePassword(const QString& text) {
    QString out;
    out.reserve(text.size() * 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qint64 v = qint64(text.at(i).unicode()) + i;
        out.append(QChar(static_cast<char16_t>(v % 16 + 70)));
        out.append(QChar(static_cast<char16_t>(v / 16 + 70)));
    }
    return out;
}

QString DecodePassword(const QString& text, bool* ok) {
    if (ok) *ok = true;
    QString out;
    out.reserve(text.size() / 2);
    for (qsizetype i = 0; i + 1 < text.size(); i += 2) {
        const qint64 a = text.at(i).unicode();
        const qint64 b = text.at(i + 1).unicode();
        const qint64 code = ((b - 70) * 16 + ((a - 70) % 16)) - i / 2;
        if (code < 0 || code > 0xFFFF) {
            if (ok) *ok = false;
            return {};
        }
        out.append(QChar(static_cast<char16_t>(code)));
    }
    return out;
}

ToolLinkSettings ReadToolLinkSettings(const QString& folder) {
    ToolSettings settings;
    QString password;
    ReadToolConfigurationFile(QDir(folder).filePath(QString::fromLatin1(kToolConfigName)), settings,
                              password);
    ToolLinkSettings link;
    // Zero or less is no usable value; the link's defaults apply.
    if (settings.LinkRetry > 0) link.LinkRetry = settings.LinkRetry;
    if (settings.LinkTimeout > 0) link.LinkTimeout = settings.LinkTimeout;
    link.IrdaEndpoint = settings.IrdaEndpoint;
    return link;
}
