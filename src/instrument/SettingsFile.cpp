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
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QStringDecoder>
#include <QStringEncoder>
#include <cerrno>

#include <functional>
#include <optional>

using namespace WireFormat;

namespace SettingsFile {

QStringList Lines(const clsInstrument& r) {
    const int p = r.GasPoint(0);
    QStringList lines{
        "BS,W," + Pad(r.SpecNo(), 10),
        "XZ,W," + Pad(r.UserID(), 16),
        "XS,W," + Pad(r.StationID(), 16),
        "IN,W," + Pad(r.SerialNo(), 20),
        "HN,W," + Pad(r.DummySerial(), 20),
        "GJ,W," + r.GasDefinitionText(),
        "AP,W," + Dec(r.AlarmMode()),
        "AU,W," + Dec(r.AlarmMode2()),
        "SD,W," + Flag01(r.DispCalLimit()),
        "SC,W," + HexN(r.CalLimit(), 4),
        "SM,W," + Dec(r.CalCheck()),
        "XB,W," + Dec(r.Confirmation()),
        "XW,W," + Dec(r.LogOverWrite()),
        "XT,W," + HexN(r.LcdBackLight(), 4),
        "AI,W," + HexN(r.AIdata(), 4),
        "AJ,W," + HexN(r.AJdata(), 4),
        "AB,W," + Hex(r.ABdata()),
        "BV,W," + Flag01(r.BumpFunction()),
        "BJ,W," + Flag01(r.DispBumpLimit()),
        "BK,W," + HexN(r.BumpLimit(), 4),
        "BL,W," + Dec(r.BumpCheck()),
        "BU,W," + HexN(r.BumpTime(), 2) + "," + HexN(r.BumpThreshold(), 2) + "," +
            HexN(r.BumpFailCalTime(), 2) + "," + Dec(r.BumpFailAfter()),
    };
    if (r.ModelTyp() == QLatin1String("QZ")) lines << "AT,W," + Dec(r.AlarmO2());
    if (r.ModelTyp() == QLatin1String("VL")) lines << "AK,W," + Dec(r.AK());
    lines << "JW,W," + Dec(r.JW()) << "JH,W," + r.JH() << "SE,W," + HexN(r.SE(), 2)
          << "A1,W," + Val5(r.Warning(0), p) << "A2,W," + Val5(r.Alarm(0), p)
          << "AS,W," + Val5(r.Stel(0), p) << "AW,W," + Val5(r.Twa(0), p)
          << "SA,W," + Val5(r.AutoCalib(0), p) << "XP,W," + HexN(r.Intervals(), 4)
          << "UJ,W," + r.SpecType() << "SJ,W," + Dec(r.AutoZero())
          << "SG,W," + Dec(r.DemandZero()) << "PN,W," + Dec(r.SpanAllowance())
          << "PM,W," + Dec(r.BumpFailBehavior()) << "PS,W," + r.SensorDate()
          << "PG,W," + Dec(r.PasswordProtect()) + "," + r.UserPassword2()
          << "MP,W," + Dec(r.UseUserPassword()) + "," + r.UserPassword2();
    for (QString& line : lines) line += u',';
    return lines;
}

bool Write(const clsInstrument& record, const QString& path, QString* error) {
    QByteArray bytes;
    QStringEncoder encoder(QStringEncoder::System);
    for (const QString& line : Lines(record)) {
        bytes += encoder.encode(line);
        bytes += "\r\n";
    }
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

QStringList LinesOfText(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::System);
    const QString text = decoder.decode(bytes);
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\n|\r"));
    QStringList lines = text.split(lineEnd);
    // A final line end does not start another line.
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
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
std::optional<qint16> decimal16(const QString& field) {
    bool ok = false;
    const int v = field.trimmed().toInt(&ok, 10);
    if (!ok || v < -32768 || v > 32767) return std::nullopt;
    return qint16(v);
}

std::optional<qint16> hexadecimal16(const QString& field) {
    const QString t = field.trimmed();
    if (t.isEmpty() || t.size() > 4) return std::nullopt;
    bool ok = false;
    const uint v = t.toUInt(&ok, 16);
    if (!ok) return std::nullopt;
    return qint16(quint16(v));
}

float level(const QString& field) { return AlarmValueFromText(field.trimmed()); }

// Raises the change flags of the settings a line with `keyword` sets, whatever their setters
// did; an unknown keyword raises nothing.
void flagSettingsOf(const QString& keyword, clsInstrument& r) {
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
    if (const auto it = raise.constFind(keyword); it != raise.cend()) (*it)(r);
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

ReadResult ApplyLines(const QStringList& lines, clsInstrument& r, Flagging flagging) {
    ReadResult result;
    // Keywords of the levels the file set: rounded once the gas's decimal places are known,
    // that is after the last line (the GJ line may follow them).
    QSet<QString> levelsSet;
    auto roundLevels = [&] {
        const int places = r.GasPoint(0);
        for (const LevelField& f : kLevelFields)
            if (levelsSet.contains(QLatin1String(f.keyword)))
                (r.*f.set)(0, RoundToPlaces((r.*f.get)(0), places));
    };
    clsToken token;
    token.ClearDelimiters();
    token.ClearStrings();
    token.ClearComments();
    token.AddComments(QStringLiteral(";"));
    token.AddDelimiters(QStringLiteral(","));

    for (int n = 0; n < lines.size(); ++n) {
        const QString& line = lines.at(n);
        token.setSource(line);
        const int count = token.TokenCount();
        // Only the tokens of this line count: a field the line does not have is empty.
        auto field = [&](int i) { return i < count ? token.Tokens(i) : QString(); };
        QString keyword;
        if (count > 0)
            keyword = token.Tokens(0).toUpper();
        else if (line.contains(u';'))
            keyword = token.Tokens(0).toUpper(); // a comment line: its text stands as keyword
        else
            continue;                              // an empty line

        bool converted = true;
        auto dec = [&](int i, const std::function<void(qint16)>& set) {
            const auto v = decimal16(field(i));
            if (v) set(*v); else converted = false;
        };
        auto hex = [&](int i, const std::function<void(qint16)>& set) {
            const auto v = hexadecimal16(field(i));
            if (v) set(*v); else converted = false;
        };

        if (keyword == "BS") r.setSpecNo(field(2).trimmed());
        else if (keyword == "XZ") r.setUserID(field(2));
        else if (keyword == "XS") r.setStationID(field(2));
        else if (keyword == "IN") r.setSerialNo(field(2));
        else if (keyword == "HN") r.setDummySerial(field(2));
        else if (keyword == "GJ") {
            if (!r.ApplyGasDefinition(field(2))) converted = false;
            else {
                const QString gas = r.GasName(0);
                r.setModelTyp(gas == "O2" ? "QZ" : (gas == "H2S" || gas == "CO") ? "VL" : "KM");
            }
        }
        else if (keyword == "AP") dec(2, [&](qint16 v) { r.setAlarmMode(v); });
        else if (keyword == "AU") dec(2, [&](qint16 v) { r.setAlarmMode2(v); });
        else if (keyword == "SD") dec(2, [&](qint16 v) { r.setDispCalLimit(v); });
        else if (keyword == "SC") hex(2, [&](qint16 v) { r.setCalLimit(v); });
        else if (keyword == "SM") dec(2, [&](qint16 v) { r.setCalCheck(v); });
        else if (keyword == "XB") dec(2, [&](qint16 v) { r.setConfirmation(v); });
        else if (keyword == "XW") dec(2, [&](qint16 v) { r.setLogOverWrite(v); });
        else if (keyword == "XT") hex(2, [&](qint16 v) { r.setLcdBackLight(v); });
        else if (keyword == "AI") hex(2, [&](qint16 v) { r.setAIdata(v); });
        else if (keyword == "AJ") hex(2, [&](qint16 v) { r.setAJdata(v); });
        else if (keyword == "AB") hex(2, [&](qint16 v) { r.setABdata(v); });
        else if (keyword == "BV") dec(2, [&](qint16 v) { r.setBumpFunction(v); });
        else if (keyword == "BJ") dec(2, [&](qint16 v) { r.setDispBumpLimit(v); });
        else if (keyword == "BK") hex(2, [&](qint16 v) { r.setBumpLimit(v); });
        else if (keyword == "BL") dec(2, [&](qint16 v) { r.setBumpCheck(v); });
        else if (keyword == "BU") {
            // Three-character fields are the obsolete decimal form ("BU,W,060,020,090,1,").
            const bool obsolete = field(4).size() == 3;
            if (obsolete) result.warnings << QStringLiteral("obsolute BU format");
            const auto a = obsolete ? decimal16(field(2)) : hexadecimal16(field(2));
            const auto b = obsolete ? decimal16(field(3)) : hexadecimal16(field(3));
            const auto c = obsolete ? decimal16(field(4)) : hexadecimal16(field(4));
            const auto d = decimal16(field(5));
            if (a) r.setBumpTime(*a);
            if (a && b) r.setBumpThreshold(*b);
            if (a && b && c) r.setBumpFailCalTime(*c);
            if (a && b && c && d) r.setBumpFailAfter(*d);
            converted = a && b && c && d;
        }
        else if (keyword == "AT") dec(2, [&](qint16 v) { r.setAlarmO2(v); });
        else if (keyword == "AK") dec(2, [&](qint16 v) { r.setAK(v); });
        else if (keyword == "JW") dec(2, [&](qint16 v) { r.setJW(v); });
        else if (keyword == "JH") r.setJH(field(2));
        else if (keyword == "SE") hex(2, [&](qint16 v) { r.setSE(v); });
        else if (keyword == "A1") r.setWarning(0, level(field(2)));
        else if (keyword == "A2") r.setAlarm(0, level(field(2)));
        else if (keyword == "AS") r.setStel(0, level(field(2)));
        else if (keyword == "AW") r.setTwa(0, level(field(2)));
        else if (keyword == "SA") r.setAutoCalib(0, level(field(2)));
        else if (keyword == "XP") hex(2, [&](qint16 v) { r.setIntervals(v); });
        else if (keyword == "UJ") r.setSpecType(field(2));
        else if (keyword == "SJ") dec(2, [&](qint16 v) { r.setAutoZero(v); });
        else if (keyword == "SG") dec(2, [&](qint16 v) { r.setDemandZero(v); });
        else if (keyword == "PN") dec(2, [&](qint16 v) { r.setSpanAllowance(v); });
        else if (keyword == "PM") dec(2, [&](qint16 v) { r.setBumpFailBehavior(v); });
        else if (keyword == "PS") r.setSensorDate(field(2));
        else if (keyword == "PG") dec(2, [&](qint16 v) { r.setPasswordProtect(v); });
        else if (keyword == "MP") {
            if (count >= 4) {
                dec(2, [&](qint16 v) { r.setUseUserPassword(v); });
                if (converted) r.setUserPassword2(field(3));
            }
        }
        else result.warnings << QStringLiteral("unknown ") + keyword;

        if (!converted) {
            result.ok = false;
            result.errorLine = n + 1;
            result.error = QStringLiteral("Line %1 (\"%2\") holds a value that cannot be converted.")
                               .arg(n + 1)
                               .arg(line.left(80));
            roundLevels();
            return result;
        }
        for (const LevelField& f : kLevelFields)
            if (keyword == QLatin1String(f.keyword)) levelsSet.insert(keyword);
        // An MP line without its password sets nothing.
        const bool ignored = keyword == QLatin1String("MP") && count < 4;
        if (flagging == Flagging::EveryLine && !ignored) flagSettingsOf(keyword, r);
    }
    roundLevels();
    return result;
}

ReadResult ApplyMasterLines(const QStringList& lines, clsInstrument& master) {
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
