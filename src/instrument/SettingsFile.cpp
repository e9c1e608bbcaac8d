#include "instrument/SettingsFile.h"

#include "instrument/WireFormat.h"
#include "instrument/clsInstrument.h"
#include "shell/clsToken.h"
#include "shell/WriteError.h"
#include "shell/modGasCommon.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <cerrno>

#include <array>
#include <initializer_list>
#include <optional>

using namespace WireFormat;

namespace SettingsFile {

namespace {

// A line: the keyword, "W", the values, each after a ",", and a closing ",".
qsizetype LineSize(std::initializer_list<QStringView> values) {
    qsizetype size = 6;
    for (const QStringView value : values)
        size += 1 + value.size();
    return size;
}

void Append(QString& text, const char* keyword, std::initializer_list<QStringView> values) {
    text += QLatin1StringView(keyword);
    text += QLatin1StringView(",W");
    for (const QStringView value : values) {
        text += u',';
        text += value;
    }
    text += u',';
}

// Where the writer puts the lines of the file: a list of lines, or the text of the file (each
// line followed by CR LF) made in one piece.
class LineList {
public:
    LineList() { m_lines.reserve(46); }
    void add(const char* keyword, std::initializer_list<QStringView> values) {
        QString text;
        text.reserve(LineSize(values));
        Append(text, keyword, values);
        m_lines.append(std::move(text));
    }
    QStringList take() { return std::move(m_lines); }

private:
    QStringList m_lines;
};

class FileText {
public:
    FileText() { m_text.reserve(2048); }
    void add(const char* keyword, std::initializer_list<QStringView> values) {
        Append(m_text, keyword, values);
        m_text += QLatin1StringView("\r\n");
    }
    QString take() { return std::move(m_text); }

private:
    QString m_text;
};

// Writes the lines of the file for `r` into `out`.
template <typename Out> void WriteLines(const clsInstrument& r, Out& out) {
    const int p = r.GasPoint(0);
    out.add("BS", {Pad(r.SpecNo(), 10)});
    out.add("XZ", {Pad(r.UserID(), 16)});
    out.add("XS", {Pad(r.StationID(), 16)});
    out.add("IN", {Pad(r.SerialNo(), 20)});
    out.add("HN", {Pad(r.DummySerial(), 20)});
    out.add("GJ", {r.GasDefinitionText()});
    out.add("AP", {Dec(r.AlarmMode())});
    out.add("AU", {Dec(r.AlarmMode2())});
    out.add("SD", {Flag01(r.DispCalLimit())});
    out.add("SC", {HexN(r.CalLimit(), 4)});
    out.add("SM", {Dec(r.CalCheck())});
    out.add("XB", {Dec(r.Confirmation())});
    out.add("XW", {Dec(r.LogOverWrite())});
    out.add("XT", {HexN(r.LcdBackLight(), 4)});
    out.add("AI", {HexN(r.AIdata(), 4)});
    out.add("AJ", {HexN(r.AJdata(), 4)});
    out.add("AB", {Hex(r.ABdata())});
    out.add("BV", {Flag01(r.BumpFunction())});
    out.add("BJ", {Flag01(r.DispBumpLimit())});
    out.add("BK", {HexN(r.BumpLimit(), 4)});
    out.add("BL", {Dec(r.BumpCheck())});
    out.add("BU", {HexN(r.BumpTime(), 2), HexN(r.BumpThreshold(), 2),
                   HexN(r.BumpFailCalTime(), 2), Dec(r.BumpFailAfter())});
    if (r.ModelTyp() == QLatin1String("QZ")) out.add("AT", {Dec(r.AlarmO2())});
    if (r.ModelTyp() == QLatin1String("VL")) out.add("AK", {Dec(r.AK())});
    out.add("JW", {Dec(r.JW())});
    out.add("JH", {r.JH()});
    out.add("SE", {HexN(r.SE(), 2)});
    out.add("A1", {Val5(r.Warning(0), p)});
    out.add("A2", {Val5(r.Alarm(0), p)});
    out.add("AS", {Val5(r.Stel(0), p)});
    out.add("AW", {Val5(r.Twa(0), p)});
    out.add("SA", {Val5(r.AutoCalib(0), p)});
    out.add("XP", {HexN(r.Intervals(), 4)});
    out.add("UJ", {r.SpecType()});
    out.add("SJ", {Dec(r.AutoZero())});
    out.add("SG", {Dec(r.DemandZero())});
    out.add("PN", {Dec(r.SpanAllowance())});
    out.add("PM", {Dec(r.BumpFailBehavior())});
    out.add("PS", {r.SensorDate()});
    out.add("PG", {Dec(r.PasswordProtect()), r.UserPassword2()});
    out.add("MP", {Dec(r.UseUserPassword()), r.UserPassword2()});
}

} // namespace

QStringList Lines(const clsInstrument& r) {
    LineList out;
    WriteLines(r, out);
    return out.take();
}

QString Text(const clsInstrument& r) {
    FileText out;
    WriteLines(r, out);
    return out.take();
}

bool Write(const clsInstrument& record, const QString& path, QString* error) {
    QStringEncoder encoder(QStringEncoder::System);
    const QByteArray bytes = encoder.encode(Text(record));
    QSaveFile file(path);
    // The last of the bytes go out in flush(), whose failure commit() does not see.
    errno = 0;
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() ||
        !file.commit()) {
        const QString reason = WriteErrorText(file, errno);
        if (error)
            *error = QStringLiteral("Cannot write the configuration file %1: %2.")
                         .arg(QDir::toNativeSeparators(path), reason);
        return false;
    }
    return true;
}

QString TextOfBytes(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::System);
    return decoder.decode(bytes);
}

QList<QStringView> LineViews(QStringView text) {
    // A line ends at CR LF, LF or CR.
    QList<QStringView> lines;
    qsizetype start = 0;
    qsizetype cr = text.indexOf(u'\r');
    qsizetype lf = text.indexOf(u'\n');
    while (cr >= 0 || lf >= 0) {
        const qsizetype end = (cr < 0 || (lf >= 0 && lf < cr)) ? lf : cr;
        lines << text.sliced(start, end - start);
        start = end == cr && lf == cr + 1 ? end + 2 : end + 1;
        if (cr >= 0 && cr < start) cr = text.indexOf(u'\r', start);
        if (lf >= 0 && lf < start) lf = text.indexOf(u'\n', start);
    }
    lines << text.sliced(start);
    // A final line end does not start another line.
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

QStringList LinesOfText(const QByteArray& bytes) {
    const QString text = TextOfBytes(bytes);
    QStringList lines;
    for (const QStringView line : LineViews(text))
        lines << line.toString();
    return lines;
}

bool LoadLines(const QString& path, QStringList& lines, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot open the configuration file %1: %2.")
                         .arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    lines = LinesOfText(file.readAll());
    return true;
}

namespace {

// Field conversions of the reader; each yields nothing when the field is not convertible.
std::optional<qint16> decimal16(QStringView field) {
    bool ok = false;
    const int v = field.trimmed().toInt(&ok, 10);
    if (!ok || v < -32768 || v > 32767) return std::nullopt;
    return qint16(v);
}

std::optional<qint16> hexadecimal16(QStringView field) {
    const QStringView t = field.trimmed();
    if (t.isEmpty() || t.size() > 4) return std::nullopt;
    bool ok = false;
    const uint v = t.toUInt(&ok, 16);
    if (!ok) return std::nullopt;
    return qint16(quint16(v));
}

float level(const QString& field) { return AlarmValueFromText(field.trimmed()); }

// Raises the change flags of the settings a line with `keyword` sets, whatever their setters
// did; an unknown keyword raises nothing.
void flagSettingsOf(QStringView keyword, clsInstrument& r) {
    using Raise = void (*)(clsInstrument&);
    // clang-format off
    static const QHash<QString, Raise> raise{
        {"BS", [](clsInstrument& c) { c.setChange_SpecNo(true); }},
        {"XZ", [](clsInstrument& c) { c.setChange_UserID(true); }},
        {"XS", [](clsInstrument& c) { c.setChange_StationID(true); }},
        {"IN", [](clsInstrument& c) { c.setChange_SerialNo(true); }},
        {"HN", [](clsInstrument& c) { c.setChange_DummySerial(true); }},
        {"GJ", [](clsInstrument& c) {
             c.setChange_GasEnable(0, true);
             c.setChange_GasPoint(0, true);
         }},
        {"AP", [](clsInstrument& c) { c.setChange_AlarmMode(true); }},
        {"AU", [](clsInstrument& c) { c.setChange_AlarmMode2(true); }},
        {"SD", [](clsInstrument& c) { c.setChange_DispCalLimit(true); }},
        {"SC", [](clsInstrument& c) { c.setChange_CalLimit(true); }},
        {"SM", [](clsInstrument& c) { c.setChange_CalCheck(true); }},
        {"XB", [](clsInstrument& c) { c.setChange_Confirmation(true); }},
        {"XW", [](clsInstrument& c) { c.setChange_LogOverWrite(true); }},
        {"XT", [](clsInstrument& c) { c.setChange_LcdBackLight(true); }},
        {"AI", [](clsInstrument& c) { c.setChange_AIdata(true); }},
        {"AJ", [](clsInstrument& c) { c.setChange_AJdata(true); }},
        {"AB", [](clsInstrument& c) { c.setChange_ABdata(true); }},
        {"BV", [](clsInstrument& c) { c.setChange_BumpFunction(true); }},
        {"BJ", [](clsInstrument& c) { c.setChange_DispBumpLimit(true); }},
        {"BK", [](clsInstrument& c) { c.setChange_BumpLimit(true); }},
        {"BL", [](clsInstrument& c) { c.setChange_BumpCheck(true); }},
        {"BU", [](clsInstrument& c) {
             c.setChange_BumpTime(true);
             c.setChange_BumpThreshold(true);
             c.setChange_BumpFailCalTime(true);
             c.setChange_BumpFailAfter(true);
         }},
        {"AT", [](clsInstrument& c) { c.setChange_AlarmO2(true); }},
        {"AK", [](clsInstrument& c) { c.setChange_AK(true); }},
        {"JW", [](clsInstrument& c) { c.setChange_JW(true); }},
        {"JH", [](clsInstrument& c) { c.setChange_JH(true); }},
        {"SE", [](clsInstrument& c) { c.setChange_SE(true); }},
        {"A1", [](clsInstrument& c) { c.setChange_Warn(0, true); }},
        {"A2", [](clsInstrument& c) { c.setChange_Alarm(0, true); }},
        {"AS", [](clsInstrument& c) { c.setChange_Stel(0, true); }},
        {"AW", [](clsInstrument& c) { c.setChange_Twa(0, true); }},
        {"SA", [](clsInstrument& c) { c.setChange_AutoCal(0, true); }},
        {"XP", [](clsInstrument& c) { c.setChange_Interval(true); }},
        {"UJ", [](clsInstrument& c) { c.setChange_SpecType(true); }},
        {"SJ", [](clsInstrument& c) { c.setChange_AutoZero(true); }},
        {"SG", [](clsInstrument& c) { c.setChange_DemandZero(true); }},
        {"PN", [](clsInstrument& c) { c.setChange_SpanAllowance(true); }},
        {"PM", [](clsInstrument& c) { c.setChange_BumpFailBehavior(true); }},
        {"PS", [](clsInstrument& c) { c.setChange_SensorDate(true); }},
        {"PG", [](clsInstrument& c) { c.setChange_PasswordProtect(true); }},
        {"MP", [](clsInstrument& c) {
             c.setChange_UseUserPassword(true);
             c.setChange_UserPassword2(true);
         }},
    };
    // clang-format on
    // Looked up without copying the keyword.
    const QString key = QString::fromRawData(keyword.data(), keyword.size());
    if (const auto it = raise.constFind(key); it != raise.cend()) (*it)(r);
}

// The concentration levels a file can set, by keyword.
struct LevelField {
    const char* keyword;
    float (clsInstrument::*get)(int) const;
    void (clsInstrument::*set)(int, float);
};
constexpr LevelField kLevelFields[] = {
    {"A1", &clsInstrument::Warning, &clsInstrument::setWarning},
    {"A2", &clsInstrument::Alarm, &clsInstrument::setAlarm},
    {"AS", &clsInstrument::Stel, &clsInstrument::setStel},
    {"AW", &clsInstrument::Twa, &clsInstrument::setTwa},
    {"SA", &clsInstrument::AutoCalib, &clsInstrument::setAutoCalib},
};

} // namespace

namespace {

// The views of a list's lines.
QList<QStringView> ViewsOf(const QStringList& lines) {
    QList<QStringView> views;
    views.reserve(lines.size());
    for (const QString& line : lines)
        views.append(line);
    return views;
}

} // namespace

ReadResult ApplyLines(const QStringList& lines, clsInstrument& r, Flagging flagging) {
    return ApplyLines(ViewsOf(lines), r, flagging);
}

ReadResult ApplyLines(const QList<QStringView>& lines, clsInstrument& r, Flagging flagging) {
    ReadResult result;
    // The levels the file set, one bit each in the order of kLevelFields: rounded once the
    // gas's decimal places are known, that is after the last line (the GJ line may follow them).
    unsigned levelsSet = 0;
    auto roundLevels = [&] {
        const int places = r.GasPoint(0);
        unsigned bit = 1;
        for (const LevelField& f : kLevelFields) {
            if (levelsSet & bit) (r.*f.set)(0, RoundToPlaces((r.*f.get)(0), places));
            bit <<= 1;
        }
    };
    // Fields end at a comma, a comment at ";"; the tokenizer is made once and only read.
    static const clsToken token = [] {
        clsToken t;
        t.ClearDelimiters();
        t.ClearStrings();
        t.ClearComments();
        t.AddComments(QStringLiteral(";"));
        t.AddDelimiters(QStringLiteral(","));
        return t;
    }();

    // The fields a line is read by (the key, "W" and up to four values).
    std::array<QStringView, 6> tokens;
    for (int n = 0; n < lines.size(); ++n) {
        const QStringView line = lines.at(n);
        const int count = token.Split(line, tokens);
        // Only the tokens of this line count: a field the line does not have is empty.
        auto fieldView = [&](int i) {
            return i < count && size_t(i) < tokens.size() ? tokens[size_t(i)] : QStringView();
        };
        auto field = [&](int i) { return fieldView(i).toString(); };
        QStringView keyToken;
        if (count > 0)
            keyToken = tokens[0];
        else if (line.contains(u';')) // a comment line: its text stands as keyword
            keyToken = QStringView(line).sliced(line.indexOf(u';') + 1);
        else
            continue; // an empty line
        const UpperKey upperKey(keyToken);
        const QStringView keyword = upperKey.view();
        // Every keyword is two characters: compared as one number of both.
        const char32_t code =
            keyword.size() == 2 ? char32_t(keyword.front().unicode()) << 16 | keyword.back().unicode()
                                : 0;
        const auto is = [code](const char(&key)[3]) {
            return code == (char32_t(uchar(key[0])) << 16 | uchar(key[1]));
        };

        bool converted = true;
        auto dec = [&](int i, const auto& set) {
            const auto v = decimal16(fieldView(i));
            if (v) set(*v); else converted = false;
        };
        auto hex = [&](int i, const auto& set) {
            const auto v = hexadecimal16(fieldView(i));
            if (v) set(*v); else converted = false;
        };

        if (is("BS")) r.setSpecNo(field(2).trimmed());
        else if (is("XZ")) r.setUserID(field(2));
        else if (is("XS")) r.setStationID(field(2));
        else if (is("IN")) r.setSerialNo(field(2));
        else if (is("HN")) r.setDummySerial(field(2));
        else if (is("GJ")) {
            if (!r.ApplyGasDefinition(field(2))) converted = false;
            else {
                const QString gas = r.GasName(0);
                r.setModelTyp(gas == "O2" ? "QZ" : (gas == "H2S" || gas == "CO") ? "VL" : "KM");
            }
        }
        else if (is("AP")) dec(2, [&](qint16 v) { r.setAlarmMode(v); });
        else if (is("AU")) dec(2, [&](qint16 v) { r.setAlarmMode2(v); });
        else if (is("SD")) dec(2, [&](qint16 v) { r.setDispCalLimit(v); });
        else if (is("SC")) hex(2, [&](qint16 v) { r.setCalLimit(v); });
        else if (is("SM")) dec(2, [&](qint16 v) { r.setCalCheck(v); });
        else if (is("XB")) dec(2, [&](qint16 v) { r.setConfirmation(v); });
        else if (is("XW")) dec(2, [&](qint16 v) { r.setLogOverWrite(v); });
        else if (is("XT")) hex(2, [&](qint16 v) { r.setLcdBackLight(v); });
        else if (is("AI")) hex(2, [&](qint16 v) { r.setAIdata(v); });
        else if (is("AJ")) hex(2, [&](qint16 v) { r.setAJdata(v); });
        else if (is("AB")) hex(2, [&](qint16 v) { r.setABdata(v); });
        else if (is("BV")) dec(2, [&](qint16 v) { r.setBumpFunction(v); });
        else if (is("BJ")) dec(2, [&](qint16 v) { r.setDispBumpLimit(v); });
        else if (is("BK")) hex(2, [&](qint16 v) { r.setBumpLimit(v); });
        else if (is("BL")) dec(2, [&](qint16 v) { r.setBumpCheck(v); });
        else if (is("BU")) {
            // Three-character fields are the obsolete decimal form ("BU,W,060,020,090,1,").
            const bool obsolete = fieldView(4).size() == 3;
            if (obsolete) result.warnings << QStringLiteral("obsolute BU format");
            const auto a = obsolete ? decimal16(fieldView(2)) : hexadecimal16(fieldView(2));
            const auto b = obsolete ? decimal16(fieldView(3)) : hexadecimal16(fieldView(3));
            const auto c = obsolete ? decimal16(fieldView(4)) : hexadecimal16(fieldView(4));
            const auto d = decimal16(fieldView(5));
            if (a) r.setBumpTime(*a);
            if (a && b) r.setBumpThreshold(*b);
            if (a && b && c) r.setBumpFailCalTime(*c);
            if (a && b && c && d) r.setBumpFailAfter(*d);
            converted = a && b && c && d;
        }
        else if (is("AT")) dec(2, [&](qint16 v) { r.setAlarmO2(v); });
        else if (is("AK")) dec(2, [&](qint16 v) { r.setAK(v); });
        else if (is("JW")) dec(2, [&](qint16 v) { r.setJW(v); });
        else if (is("JH")) r.setJH(field(2));
        else if (is("SE")) hex(2, [&](qint16 v) { r.setSE(v); });
        else if (is("A1")) r.setWarning(0, level(field(2)));
        else if (is("A2")) r.setAlarm(0, level(field(2)));
        else if (is("AS")) r.setStel(0, level(field(2)));
        else if (is("AW")) r.setTwa(0, level(field(2)));
        else if (is("SA")) r.setAutoCalib(0, level(field(2)));
        else if (is("XP")) hex(2, [&](qint16 v) { r.setIntervals(v); });
        else if (is("UJ")) r.setSpecType(field(2));
        else if (is("SJ")) dec(2, [&](qint16 v) { r.setAutoZero(v); });
        else if (is("SG")) dec(2, [&](qint16 v) { r.setDemandZero(v); });
        else if (is("PN")) dec(2, [&](qint16 v) { r.setSpanAllowance(v); });
        else if (is("PM")) dec(2, [&](qint16 v) { r.setBumpFailBehavior(v); });
        else if (is("PS")) r.setSensorDate(field(2));
        else if (is("PG")) dec(2, [&](qint16 v) { r.setPasswordProtect(v); });
        else if (is("MP")) {
            if (count >= 4) {
                dec(2, [&](qint16 v) { r.setUseUserPassword(v); });
                if (converted) r.setUserPassword2(field(3));
            }
        }
        else {
            QString warning;
            warning.reserve(8 + keyword.size());
            warning += QLatin1StringView("unknown ");
            warning += keyword;
            result.warnings << warning;
        }

        if (!converted) {
            result.ok = false;
            result.errorLine = n + 1;
            result.error = QStringLiteral("Line %1 (\"%2\") holds a value that cannot be converted.")
                               .arg(n + 1)
                               .arg(line.left(80));
            roundLevels();
            return result;
        }
        unsigned bit = 1;
        for (const LevelField& f : kLevelFields) {
            if (keyword == QLatin1String(f.keyword)) levelsSet |= bit;
            bit <<= 1;
        }
        // An MP line without its password sets nothing.
        const bool ignored = keyword == QLatin1String("MP") && count < 4;
        if (flagging == Flagging::EveryLine && !ignored) flagSettingsOf(keyword, r);
    }
    roundLevels();
    return result;
}

ReadResult ApplyMasterLines(const QStringList& lines, clsInstrument& master) {
    return ApplyMasterLines(ViewsOf(lines), master);
}

ReadResult ApplyMasterLines(const QList<QStringView>& lines, clsInstrument& master) {
    master.setImportFlag(false);
    master.ClearChangeFlags();
    const ReadResult result = ApplyLines(lines, master, Flagging::EveryLine);
    master.setImportFlag(result.ok);
    return result;
}

ReadResult Read(const QString& path, clsInstrument& record) {
    ReadResult result;
    QStringList lines;
    if (!LoadLines(path, lines, &result.error)) {
        result.ok = false;
        return result;
    }
    clsInstrument scratch = record;
    result = ApplyLines(lines, scratch);
    if (!result.ok) {
        result.error = QStringLiteral("Configuration file %1: %2")
                           .arg(QDir::toNativeSeparators(path), result.error);
        return result;
    }
    record = scratch;
    return result;
}

ReadResult Import(const QString& path, clsInstrument& working, clsInstrument& master) {
    ReadResult result;
    QStringList lines;
    if (!LoadLines(path, lines, &result.error)) {
        result.ok = false;
        return result;
    }
    clsInstrument newWorking = working;
    result = ApplyLines(lines, newWorking);
    if (!result.ok) {
        result.error = QStringLiteral("Configuration file %1: %2")
                           .arg(QDir::toNativeSeparators(path), result.error);
        return result;
    }
    newWorking.SetChangeFlags(true, false);
    newWorking.setImportFlag(true);

    // The master holds only what the file sets: its flags say which settings to compare.
    clsInstrument newMaster = master;
    ApplyMasterLines(lines, newMaster);

    working = newWorking;
    master = newMaster;
    return result;
}

} // namespace SettingsFile
