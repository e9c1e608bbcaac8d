// Replies that read and write the detector's settings: every row of the settings table.
#include "test_response_fixture.h"

#include <functional>

namespace {

struct TextRow {
    const char* code;
    QByteArray reply;  // read reply value
    QString stored;    // what the record then holds
    QByteArray echoOk; // a write echo that matches `stored`
    QByteArray echoBad;
    std::function<QString(const clsInstrument&)> get;
    std::function<void(clsInstrument&, const QString&)> set;
    std::function<bool(const clsInstrument&)> flag;
};

#define TEXT_ROW(code, reply, stored, ok, bad, Prop, Flag)                                         \
    TextRow {                                                                                      \
        code, reply, stored, ok, bad, [](const clsInstrument& r) { return r.Prop(); },             \
            [](clsInstrument& r, const QString& v) { r.set##Prop(v); },                            \
            [](const clsInstrument& r) { return r.Change_##Flag(); }                               \
    }

const TextRow kTextRows[] = {
    TEXT_ROW("IN", "  SN-0001  ", "SN-0001", "SN-0001             ", "SN-0002", SerialNo, SerialNo),
    TEXT_ROW("HN", "MF 77", "MF 77", "MF 77 ", "MF 78", DummySerial, DummySerial),
    TEXT_ROW("XZ", "USER ONE  ", "USER ONE", "USER ONE        ", "USER TWO", UserID, UserID),
    TEXT_ROW("BS", "BS-0001", "BS-0001", "BS-0001   ", "BS-0002", SpecNo, SpecNo),
    // These three compare the echo exactly, blanks included.
    TEXT_ROW("JH", "0107 0930 ", "0107 0930 ", "0107 0930 ", "0107 0930", JH, JH),
    TEXT_ROW("UJ", "2", "2", "2", "1", SpecType, SpecType),
    TEXT_ROW("PS", "250107", "250107", "250107", "250107 ", SensorDate, SensorDate),
};

enum class Conv { Hex, Dec, First1, HexFirst1, DecBoolEcho };

struct NumberRow {
    const char* code;
    Conv conv;
    std::function<qint16(const clsInstrument&)> get;
    std::function<void(clsInstrument&, qint16)> set;
    std::function<bool(const clsInstrument&)> flag;
};

#define NUMBER_ROW(code, conv, Prop, Flag)                                                         \
    NumberRow {                                                                                    \
        code, Conv::conv, [](const clsInstrument& r) { return r.Prop(); },                         \
            [](clsInstrument& r, qint16 v) { r.set##Prop(v); },                                    \
            [](const clsInstrument& r) { return r.Change_##Flag(); }                               \
    }

const NumberRow kNumberRows[] = {
    NUMBER_ROW("AP", Hex, AlarmMode, AlarmMode),
    NUMBER_ROW("AU", Hex, AlarmMode2, AlarmMode2),
    NUMBER_ROW("AI", Hex, AIdata, AIdata),
    NUMBER_ROW("AJ", Hex, AJdata, AJdata),
    NUMBER_ROW("AB", Hex, ABdata, ABdata),
    NUMBER_ROW("SC", Hex, CalLimit, CalLimit),
    NUMBER_ROW("XP", Hex, Intervals, Interval),
    NUMBER_ROW("BK", Hex, BumpLimit, BumpLimit),
    NUMBER_ROW("SE", Hex, SE, SE),
    NUMBER_ROW("RA", Hex, RA, RA),
    NUMBER_ROW("XB", Hex, Confirmation, Confirmation),
    NUMBER_ROW("PN", Hex, SpanAllowance, SpanAllowance),
    NUMBER_ROW("PM", Hex, BumpFailBehavior, BumpFailBehavior),
    NUMBER_ROW("XT", Hex, LcdBackLight, LcdBackLight),
    NUMBER_ROW("PG", HexFirst1, PasswordProtect, PasswordProtect),
    NUMBER_ROW("SD", DecBoolEcho, DispCalLimit, DispCalLimit),
    NUMBER_ROW("SM", Dec, CalCheck, CalCheck),
    NUMBER_ROW("BL", Dec, BumpCheck, BumpCheck),
    NUMBER_ROW("BV", Dec, BumpFunction, BumpFunction),
    NUMBER_ROW("AK", Dec, AK, AK),
    NUMBER_ROW("JW", Dec, JW, JW),
    NUMBER_ROW("XW", Dec, LogOverWrite, LogOverWrite),
    NUMBER_ROW("UQ", Dec, autoBackLight, autoBackLight),
    NUMBER_ROW("AT", Dec, AlarmO2, AlarmO2),
    NUMBER_ROW("BJ", First1, DispBumpLimit, DispBumpLimit),
    NUMBER_ROW("SJ", First1, AutoZero, AutoZero),
    NUMBER_ROW("SG", First1, DemandZero, DemandZero),
};

struct LevelRow {
    const char* code;
    std::function<float(const clsInstrument&)> get;
    std::function<void(clsInstrument&, float)> set;
    std::function<bool(const clsInstrument&)> flag;
};

#define LEVEL_ROW(code, Prop, Flag)                                                                \
    LevelRow {                                                                                     \
        code, [](const clsInstrument& r) { return r.Prop(0); },                                    \
            [](clsInstrument& r, float v) { r.set##Prop(0, v); },                                  \
            [](const clsInstrument& r) { return r.Change_##Flag(0); }                              \
    }

const LevelRow kLevelRows[] = {
    LEVEL_ROW("A1", Warning, Warn),      LEVEL_ROW("A2", Alarm, Alarm),
    LEVEL_ROW("AS", Stel, Stel),         LEVEL_ROW("AW", Twa, Twa),
    LEVEL_ROW("SA", AutoCalib, AutoCal),
};

} // namespace

TEST_F(ResponseTest, TextSettingsReadStoreAndLowerTheFlag) {
    for (const TextRow& row : kTextRows) {
        SCOPED_TRACE(row.code);
        row.set(rec, QStringLiteral("0")); // raises the flag
        ASSERT_TRUE(row.flag(rec));
        EXPECT_TRUE(Read(row.code, row.reply));
        EXPECT_EQ(row.get(rec), row.stored);
        EXPECT_FALSE(row.flag(rec));
    }
}

TEST_F(ResponseTest, TextSettingsWriteEchoMustMatchTheRecord) {
    for (const TextRow& row : kTextRows) {
        SCOPED_TRACE(row.code);
        row.set(rec, row.stored);
        EXPECT_TRUE(Write(row.code, row.echoOk, row.echoOk));
        EXPECT_FALSE(Write(row.code, row.echoBad, row.echoBad));
    }
    EXPECT_TRUE(logLines.isEmpty()); // a mismatch is rejected without a log line
}

TEST_F(ResponseTest, TextSettingsRefuseMalformedValues) {
    rec.setSpecType(QStringLiteral("1"));
    EXPECT_FALSE(Read("UJ", "3"));
    EXPECT_FALSE(Read("UJ", " 2"));
    EXPECT_EQ(rec.SpecType(), QStringLiteral("1"));
    EXPECT_FALSE(Read("PS", "25O107")); // letter O
    EXPECT_EQ(rec.SensorDate(), QStringLiteral("000101"));
}

TEST_F(ResponseTest, StationIdWriteIsAcceptedWhateverItCarries) {
    rec.setStationID(QStringLiteral("NORTH"));
    EXPECT_TRUE(Answer("XS,W,NORTH", QByteArray("XS,W,") + Ctl::ACK));
    EXPECT_TRUE(Write("XS", "NORTH", "SOUTH"));
    EXPECT_TRUE(Read("XS", "  EAST 2  "));
    EXPECT_EQ(rec.StationID(), QStringLiteral("EAST 2"));
    EXPECT_FALSE(rec.Change_StationID());
}

TEST_F(ResponseTest, NumberSettingsReadConvertStoreAndLowerTheFlag) {
    for (const NumberRow& row : kNumberRows) {
        SCOPED_TRACE(row.code);
        row.set(rec, 8);
        ASSERT_TRUE(row.flag(rec));
        switch (row.conv) {
        case Conv::Hex:
            EXPECT_TRUE(Read(row.code, "0010"));
            EXPECT_EQ(row.get(rec), 16);
            EXPECT_FALSE(row.flag(rec));
            EXPECT_TRUE(Read(row.code, "FFFF"));
            EXPECT_EQ(row.get(rec), -1);
            EXPECT_TRUE(Read(row.code, "2c"));
            EXPECT_EQ(row.get(rec), 44);
            EXPECT_FALSE(Read(row.code, "XYZ"));
            EXPECT_FALSE(Read(row.code, "10000")); // beyond 16 bits
            EXPECT_EQ(row.get(rec), 44);
            break;
        case Conv::Dec:
        case Conv::DecBoolEcho:
            EXPECT_TRUE(Read(row.code, "12"));
            EXPECT_EQ(row.get(rec), 12);
            EXPECT_FALSE(row.flag(rec));
            EXPECT_TRUE(Read(row.code, "-3"));
            EXPECT_EQ(row.get(rec), -3);
            EXPECT_FALSE(Read(row.code, "1A"));
            EXPECT_FALSE(Read(row.code, "40000"));
            EXPECT_EQ(row.get(rec), -3);
            break;
        case Conv::First1:
        case Conv::HexFirst1:
            EXPECT_TRUE(Read(row.code, "1"));
            EXPECT_EQ(row.get(rec), 1);
            EXPECT_FALSE(row.flag(rec));
            EXPECT_TRUE(Read(row.code, "0"));
            EXPECT_EQ(row.get(rec), 0);
            EXPECT_TRUE(Read(row.code, "10"));
            EXPECT_EQ(row.get(rec), 1);
            // A hex digit that is no decimal digit: a number only for the hex rule.
            EXPECT_EQ(Read(row.code, "A"), row.conv == Conv::HexFirst1);
            EXPECT_EQ(row.get(rec), row.conv == Conv::HexFirst1 ? 0 : 1);
            EXPECT_FALSE(Read(row.code, "Z"));
            break;
        }
    }
}

TEST_F(ResponseTest, NumberSettingsWriteEchoMustMatchTheRecord) {
    for (const NumberRow& row : kNumberRows) {
        SCOPED_TRACE(row.code);
        row.set(rec, 16);
        switch (row.conv) {
        case Conv::Hex:
            EXPECT_TRUE(Write(row.code, "0010", "0010"));
            EXPECT_FALSE(Write(row.code, "0010", "0011"));
            EXPECT_FALSE(Write(row.code, "0010", "XYZ"));
            break;
        case Conv::Dec:
            EXPECT_TRUE(Write(row.code, "16", "16"));
            EXPECT_FALSE(Write(row.code, "16", "17"));
            EXPECT_FALSE(Write(row.code, "16", "1X"));
            break;
        case Conv::DecBoolEcho:
        case Conv::First1:
            EXPECT_TRUE(Write(row.code, "1", "1"));
            EXPECT_FALSE(Write(row.code, "1", "0"));
            row.set(rec, 0);
            EXPECT_TRUE(Write(row.code, "0", "0"));
            EXPECT_FALSE(Write(row.code, "0", "1"));
            break;
        case Conv::HexFirst1: // the first character of the echo counts
            EXPECT_TRUE(Write(row.code, "1,7193", "1,7193"));
            EXPECT_FALSE(Write(row.code, "1,7193", "0,7193"));
            break;
        }
    }
}

TEST_F(ResponseTest, AlarmTestEchoIsCheckedAgainstTheCodeSent) {
    rec.setRA(0);
    EXPECT_TRUE(Write("RA", "05", "05"));
    EXPECT_FALSE(Write("RA", "05", "06"));
    // Without the request at hand the record's value counts.
    ctx.lastFrame.clear();
    EXPECT_FALSE(ParseResponse(BuildFrame("RA,W,05"), ctx));
    EXPECT_TRUE(ParseResponse(BuildFrame("RA,W,00"), ctx));
}

TEST_F(ResponseTest, LevelSettingsReadNumbersMarksAndStatusWords) {
    for (const LevelRow& row : kLevelRows) {
        SCOPED_TRACE(row.code);
        row.set(rec, 5.0f);
        ASSERT_TRUE(row.flag(rec));
        EXPECT_TRUE(Read(row.code, " 12.5"));
        EXPECT_FLOAT_EQ(row.get(rec), 12.5f);
        EXPECT_FALSE(row.flag(rec));
        EXPECT_TRUE(Read(row.code, "*****"));
        EXPECT_FLOAT_EQ(row.get(rec), -101.0f);
        EXPECT_TRUE(Read(row.code, "OVER"));
        EXPECT_FLOAT_EQ(row.get(rec), -107.0f);
        EXPECT_TRUE(Read(row.code, "war"));
        EXPECT_FLOAT_EQ(row.get(rec), -103.0f);
        EXPECT_FALSE(Read(row.code, "10,20")); // two tokens
        EXPECT_FALSE(Read(row.code, "ABC"));
        EXPECT_FLOAT_EQ(row.get(rec), -103.0f);
    }
}

TEST_F(ResponseTest, LevelSettingsWriteEchoIsOneLevelToken) {
    for (const LevelRow& row : kLevelRows) {
        SCOPED_TRACE(row.code);
        EXPECT_TRUE(Write(row.code, " 50.0", " 50.0"));
        EXPECT_TRUE(Write(row.code, "*****", "*****"));
        EXPECT_FALSE(Write(row.code, " 50.0", "50,0"));
        EXPECT_FALSE(Write(row.code, " 50.0", "OVER"));
        EXPECT_FALSE(Write(row.code, " 50.0", ""));
    }
}

TEST_F(ResponseTest, UserPasswordReadAndEcho) {
    rec.setUseUserPassword(0);
    rec.setUserPassword2(QStringLiteral("0000"));
    EXPECT_TRUE(Read("MP", "1,1234"));
    EXPECT_EQ(rec.UseUserPassword(), 1);
    EXPECT_EQ(rec.UserPassword2(), QStringLiteral("1234"));
    EXPECT_FALSE(rec.Change_UseUserPassword());
    EXPECT_FALSE(rec.Change_UserPassword2());
    EXPECT_FALSE(Read("MP", "X,9999"));
    EXPECT_EQ(rec.UserPassword2(), QStringLiteral("1234"));

    EXPECT_TRUE(Write("MP", "1,1234", "1,1234"));
    EXPECT_FALSE(Write("MP", "1,1234", "0,1234"));
    EXPECT_FALSE(Write("MP", "1,1234", "1,9999"));
}

TEST_F(ResponseTest, GasDefinitionRead) {
    rec.setGasEnabled(0, false);
    ASSERT_TRUE(rec.Change_GasEnable(0));
    EXPECT_TRUE(Read("GJ", "CH4   100    1%LEL"));
    EXPECT_EQ(rec.GasName(0), QStringLiteral("CH4"));
    EXPECT_FLOAT_EQ(rec.GasFullScale(0), 100.0f);
    EXPECT_FLOAT_EQ(rec.GasDesit(0), 1.0f);
    EXPECT_EQ(rec.GasUnit(0), QStringLiteral("%LEL"));
    EXPECT_TRUE(rec.GasEnabled(0));
    EXPECT_FALSE(rec.Change_GasEnable(0));

    EXPECT_FALSE(Read("GJ", "CH4   100    1%LE"));  // 17 characters
    EXPECT_FALSE(Read("GJ", "CH4 ABCDE    1%LEL")); // full scale not a number
    EXPECT_EQ(rec.GasName(0), QStringLiteral("CH4"));
    EXPECT_TRUE(logLines.isEmpty());
    EXPECT_FALSE(Read("GJ", "CH4 ,  100    1%LEL")); // two tokens
    EXPECT_EQ(logLines, QStringList{QStringLiteral("<<< Format error >>>")});

    EXPECT_TRUE(Read("GJ", "******************"));
    EXPECT_FALSE(rec.GasEnabled(0));
    EXPECT_FLOAT_EQ(rec.GasFullScale(0), -101.0f);
}

TEST_F(ResponseTest, BumpSettingsReadAllFourOrNothing) {
    rec.setBumpTime(1);
    EXPECT_TRUE(Read("BU", "3C,14,5A,1"));
    EXPECT_EQ(rec.BumpTime(), 60);
    EXPECT_EQ(rec.BumpThreshold(), 20);
    EXPECT_EQ(rec.BumpFailCalTime(), 90);
    EXPECT_EQ(rec.BumpFailAfter(), 1);
    EXPECT_FALSE(rec.Change_BumpTime() || rec.Change_BumpThreshold() ||
                 rec.Change_BumpFailCalTime() || rec.Change_BumpFailAfter());
    EXPECT_FALSE(Read("BU", "3C,14,5A"));
    EXPECT_FALSE(Read("BU", "0A,14,5A,X"));
    EXPECT_EQ(rec.BumpTime(), 60);
}

TEST_F(ResponseTest, LeakCheckSettingsStoreOnlyValuesInRange) {
    EXPECT_TRUE(Read("WB", "3,2,1"));
    EXPECT_EQ(rec.LcBhMode(), 3);
    EXPECT_EQ(rec.BhTime(), 2);
    EXPECT_EQ(rec.LcBuzzer(), 1);
    EXPECT_TRUE(Read("WB", "4,3,2")); // accepted, nothing taken
    EXPECT_EQ(rec.LcBhMode(), 3);
    EXPECT_EQ(rec.BhTime(), 2);
    EXPECT_EQ(rec.LcBuzzer(), 1);
    EXPECT_TRUE(Read("WB", "1,5,0"));
    EXPECT_EQ(rec.LcBhMode(), 1);
    EXPECT_EQ(rec.BhTime(), 2);
    EXPECT_EQ(rec.LcBuzzer(), 0);
    EXPECT_FALSE(Read("WB", "1,X,0"));
    EXPECT_TRUE(logLines.isEmpty());
    EXPECT_FALSE(Read("WB", "1,1"));
    EXPECT_EQ(logLines, QStringList{QStringLiteral("<<< Format error >>>")});
}

TEST_F(ResponseTest, OverScaleAndZeroSlots) {
    EXPECT_TRUE(Read("AO", "1010"));
    EXPECT_EQ(rec.OverScale(0), 1);
    EXPECT_EQ(rec.OverScale(1), 0);
    EXPECT_EQ(rec.OverScale(2), 1);
    EXPECT_FALSE(rec.Change_OverScale(0));
    // A bad character rejects the reply; the digits around it are still taken.
    EXPECT_FALSE(Read("AO", "0X01"));
    EXPECT_EQ(rec.OverScale(0), 0);
    EXPECT_EQ(rec.OverScale(3), 1);
    EXPECT_FALSE(Read("AO", "101"));
    EXPECT_EQ(logLines.value(0), QStringLiteral("<<< Format error >>>"));
    EXPECT_FALSE(Write("AO", "1010", "1010")); // no write form

    EXPECT_TRUE(Read("UZ", "0211"));
    EXPECT_EQ(rec.Zero(0), 0);
    EXPECT_EQ(rec.Zero(1), 0);
    EXPECT_EQ(rec.Zero(2), 1);
    EXPECT_TRUE(Write("UZ", "0211", "0211"));
    logLines.clear();
    EXPECT_FALSE(Write("UZ", "0211", "021"));
    EXPECT_EQ(logLines, QStringList{QStringLiteral("<<< Response error >>>")});
}

TEST_F(ResponseTest, HydrocarbonSelection) {
    rec.setHcMode(1);
    EXPECT_TRUE(Read("LP", "3"));
    EXPECT_EQ(rec.HcMode(), 3);
    EXPECT_FALSE(rec.Change_HCMode());
    EXPECT_FALSE(Read("LP", "X"));
    EXPECT_EQ(rec.HcMode(), 3);
    EXPECT_TRUE(Answer("LP,W,3", QByteArray("LP,W,") + Ctl::ACK));
    EXPECT_FALSE(Answer("LP,W,3", QByteArray("LP,W,") + Ctl::NAK));
    EXPECT_EQ(logLines, QStringList{QStringLiteral("<<< Response error >>>")});
}

TEST_F(ResponseTest, SettingsNeedARecord) {
    ctx.instrument = nullptr;
    EXPECT_FALSE(Read("AP", "0010"));
    EXPECT_FALSE(Read("IN", "X"));
    EXPECT_FALSE(Read("A1", "10"));
    EXPECT_FALSE(Read("GJ", "CH4   100    1%LEL"));
    EXPECT_TRUE(Answer("DW,W,", QByteArray("DW,W,") + Ctl::ACK));
}

TEST_F(ResponseCommaTest, NumbersWithAPointAreReadInACommaLocale) {
    EXPECT_TRUE(Read("A1", "12.5"));
    EXPECT_FLOAT_EQ(rec.Warning(0), 12.5f);
    EXPECT_TRUE(Write("A2", " 50.0", " 50.0"));
    EXPECT_TRUE(Read("GJ", "O2   25.0  0.1VOL%"));
    EXPECT_FLOAT_EQ(rec.GasFullScale(0), 25.0f);
    EXPECT_FLOAT_EQ(rec.GasDesit(0), 0.1f);
    EXPECT_EQ(rec.GasPoint(0), 1);
    EXPECT_TRUE(Read("SM", "2"));
    EXPECT_EQ(rec.CalCheck(), 2);
    EXPECT_TRUE(Read("SJ", "1"));
    EXPECT_EQ(rec.AutoZero(), 1);
}

TEST_F(ResponseTest, ANakInAReadReplyIsARefusalThatStoresNothing) {
    // Every read whose rule takes a text; each is first read with a value of its own.
    const struct {
        const char* code;
        QByteArray value;
        std::function<QString(const clsInstrument&)> get;
    } rows[] = {
        {"IN", "SN-0001", [](const clsInstrument& r) { return r.SerialNo(); }},
        {"HN", "MF 77", [](const clsInstrument& r) { return r.DummySerial(); }},
        {"XS", "STATION-01", [](const clsInstrument& r) { return r.StationID(); }},
        {"XZ", "USER ONE", [](const clsInstrument& r) { return r.UserID(); }},
        {"BS", "BS-0001", [](const clsInstrument& r) { return r.SpecNo(); }},
        {"JH", "0107 0930 ", [](const clsInstrument& r) { return r.JH(); }},
        {"UJ", "2", [](const clsInstrument& r) { return r.SpecType(); }},
        {"PS", "250107", [](const clsInstrument& r) { return r.SensorDate(); }},
        {"MP", "1,7193", [](const clsInstrument& r) { return r.UserPassword2(); }},
        {"VS", "3A7C", [](const clsInstrument& r) { return r.SUM(); }},
        {"RC", "71-Series,KM,KM-71", [](const clsInstrument& r) { return r.ModelTyp(); }},
        {"GJ", "CH4   100    1%LEL", [](const clsInstrument& r) { return r.GasDefinitionText(); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.code);
        ASSERT_TRUE(Read(row.code, row.value));
        const QString before = row.get(rec);
        logLines.clear();
        EXPECT_FALSE(Read(row.code, QByteArray(1, Ctl::NAK)));
        EXPECT_EQ(row.get(rec), before);
        EXPECT_EQ(logLines, QStringList{QStringLiteral("<<< Response error >>>")});
    }
    // Write and command replies keep their own rules.
    EXPECT_TRUE(Write("XS", "STATION-02", QByteArray(1, Ctl::NAK)));
}
