// The reply decoder: frame checks, the echo of the request, and the replies with rules of
// their own (clock, calibration, readings, histories, tables, dumps, commands).
#include "shell/OleDate.h"
#include "test_response_fixture.h"

namespace {

QByteArray WithAck(const QByteArray& text) {
    return text + Ctl::ACK;
}

double Ole(int y, int m, int d, int h, int n, int s) {
    return DateTimeToOle(QDateTime(QDate(y, m, d), QTime(h, n, s)));
}

// One linearisation entry as the detector sends it: name, full scale, digit, unit, element
// value (hex), ratio 1.0 and the coefficients 2, 3, 4, 5 and 0.5 x 4 (IEEE singles in hex).
QByteArray LinearEntryText(const QByteArray& name, const QByteArray& fullScale,
                           const QByteArray& digit) {
    return name + "," + fullScale + "," + digit +
           ",%LEL,0010,3F800000,40000000,40400000,40800000,40A00000,3F000000,3F000000,3F000000,"
           "3F000000";
}

} // namespace

TEST_F(ResponseTest, FrameOfFourteenCharactersIsAFormatError) {
    const QByteArray frame = BuildFrame("XS,R,");
    ASSERT_EQ(frame.size(), 14);
    EXPECT_FALSE(ParseResponse(frame, ctx));
    EXPECT_EQ(logLines, QStringList{QStringLiteral("<<< Format error >>>")});
    EXPECT_FALSE(ParseResponse(QByteArray(), ctx));
}

TEST_F(ResponseTest, ChecksumMismatchIsRejectedAndLogged) {
    QByteArray frame = BuildFrame("AP,R,0010");
    frame[frame.size() - 2] = frame.at(frame.size() - 2) == '0' ? '1' : '0';
    ctx.lastFrame = BuildFrame("AP,R,");
    EXPECT_FALSE(ParseResponse(frame, ctx));
    EXPECT_EQ(logLines, QStringList{QStringLiteral("<<< Checksum error >>>")});
    EXPECT_EQ(rec.AlarmMode(), 0);

    // A frame without ETX before its checksum cannot be verified either.
    QByteArray noEtx = BuildFrame("AP,R,0010");
    noEtx[noEtx.size() - 4] = '0';
    EXPECT_FALSE(ParseResponse(noEtx, ctx));

    ctx.verifyChecksum = false;
    EXPECT_TRUE(ParseResponse(frame, ctx));
    EXPECT_EQ(rec.AlarmMode(), 16);
}

TEST_F(ResponseTest, HeadNoRuleNamesIsRejectedSilently) {
    EXPECT_FALSE(Answer("ZZ,R,", "ZZ,R,1"));
    EXPECT_FALSE(Answer("AP,X,", "AP,X,0010"));
    EXPECT_TRUE(logLines.isEmpty());
}

TEST_F(ResponseTest, ReplyToAnotherRequestIsNeverTakenAsTheAnswer) {
    ctx.lastFrame = BuildFrame("AU,R,");
    EXPECT_FALSE(ParseResponse(BuildFrame("AP,R,0010"), ctx)); // late reply to AP
    EXPECT_EQ(rec.AlarmMode(), 0);
    EXPECT_TRUE(ParseResponse(BuildFrame("AU,R,0010"), ctx));
    EXPECT_EQ(rec.AlarmMode2(), 16);
    EXPECT_TRUE(logLines.isEmpty());

    // Continuation requests keep the head of the request.
    ctx.lastFrame = BuildFrame(WithAck("SO,R,"), Ctl::ETB);
    EXPECT_TRUE(ParseResponse(BuildFrame("SO,R,250107093000 12.5 50.0"), ctx));

    // Nothing sent yet: no comparison.
    ctx.lastFrame.clear();
    EXPECT_TRUE(ParseResponse(BuildFrame("AP,R,0020"), ctx));
    EXPECT_EQ(rec.AlarmMode(), 32);
}

TEST_F(ResponseTest, CarriageReturnsSeparateValuesAndOtherControlCharactersGo) {
    EXPECT_TRUE(Read("BU", "3C\r14\r5A\r1"));
    EXPECT_EQ(rec.BumpFailCalTime(), 90);
    EXPECT_TRUE(Read("XZ", QByteArray("AB\x01"
                                      "C\xE9"
                                      "D")));
    EXPECT_EQ(rec.UserID(), QStringLiteral("ABCD"));
}

TEST_F(ResponseTest, RomNumberAndSum) {
    EXPECT_TRUE(Read("VP", "123456789"));
    EXPECT_EQ(rec.RomNumber(), 123456789);
    EXPECT_FALSE(Read("VP", "V12"));
    EXPECT_EQ(rec.RomNumber(), 123456789);
    EXPECT_TRUE(Read("VS", "A1b2"));
    EXPECT_EQ(rec.SUM(), QStringLiteral("A1b2"));
    EXPECT_FALSE(Read("VS", "XYZ"));
    EXPECT_EQ(rec.SUM(), QStringLiteral("A1b2"));
}

TEST_F(ResponseTest, ConnectReplyNamesFamilyAndModel) {
    EXPECT_FALSE(Read("RC", "60-SERIES,KM"));
    EXPECT_EQ(connects, 0);
    EXPECT_FALSE(Read("RC", "71-SERIES")); // no model type
    EXPECT_EQ(connects, 0);
    EXPECT_TRUE(Read("RC", "71-Series,QZ"));
    EXPECT_EQ(rec.ModelTyp(), QStringLiteral("QZ"));
    EXPECT_EQ(connects, 1);
}

TEST_F(ResponseTest, DetectorClockReadStoresDateAndOffset) {
    EXPECT_TRUE(Read("HC", "250107093000"));
    const double expected = Ole(2025, 1, 7, 9, 30, 0);
    EXPECT_DOUBLE_EQ(rec.SysDate(), expected);
    EXPECT_DOUBLE_EQ(rec.SysDateOffset(), expected - kNow);
    EXPECT_TRUE(Read("HC", "240229235959")); // leap year
    EXPECT_DOUBLE_EQ(rec.SysDate(), Ole(2024, 2, 29, 23, 59, 59));
}

TEST_F(ResponseTest, DetectorClockOnTheTwentyNinthOfFebruaryOfACommonYear) {
    rec.setSysDate(1.0);
    EXPECT_FALSE(Read("HC", "230229120000"));
    EXPECT_EQ(rec.FailLine(), QStringLiteral("HC,R"));
    EXPECT_EQ(logLines, QStringList{QStringLiteral("230229120000<<< improper date at HC >>> ")});
    EXPECT_DOUBLE_EQ(rec.SysDate(), 1.0);

    logLines.clear();
    rec.setFailLine(QString());
    EXPECT_FALSE(Read("HC", "2501070930")); // not twelve characters: rejected quietly
    EXPECT_FALSE(Read("HC", "250107246000"));
    EXPECT_EQ(rec.FailLine(), QStringLiteral("HC,R"));
    EXPECT_EQ(logLines.size(), 1);
}

TEST_F(ResponseTest, ClockWriteMustEchoTheRequestFrame) {
    EXPECT_TRUE(Answer("HC,W,250107093000", "HC,W,250107093000"));
    EXPECT_FALSE(Answer("HC,W,250107093000", "HC,W,250107093001"));
    EXPECT_EQ(logLines, QStringList{QStringLiteral("<<< Response error >>>")});
}

TEST_F(ResponseTest, ZeroAndSpanValues) {
    EXPECT_TRUE(Read("SZ", "0064"));
    EXPECT_FLOAT_EQ(rec.SZ(0), 100.0f);
    EXPECT_TRUE(Read("SZ", "FFFF"));
    EXPECT_FLOAT_EQ(rec.SZ(0), 65535.0f);
    EXPECT_FALSE(Read("SZ", "00G4"));

    EXPECT_TRUE(Read("S1", "0064"));
    EXPECT_FLOAT_EQ(rec.S1(0), 100.0f);
    EXPECT_TRUE(Read("S1", "40490FDB"));
    EXPECT_FLOAT_EQ(rec.S1(0), 3.1415927f);
    EXPECT_TRUE(Read("S1", "12.5"));
    EXPECT_FLOAT_EQ(rec.S1(0), 12.5f);
    EXPECT_TRUE(Read("S1", "250"));
    EXPECT_FLOAT_EQ(rec.S1(0), 250.0f);
    EXPECT_FALSE(Read("S1", "abc"));
    EXPECT_FLOAT_EQ(rec.S1(0), 250.0f);
    EXPECT_TRUE(logLines.isEmpty());

    EXPECT_FALSE(Read("S1", "0064,0065"));
    EXPECT_FALSE(Read("SZ", "0064,0065"));
    EXPECT_EQ(logLines, QStringList({QStringLiteral("<<< Format error >>>"),
                                     QStringLiteral("<<< Format error >>>")}));
}

TEST_F(ResponseTest, ZeroAndSpanCalibrationReplies) {
    EXPECT_TRUE(Answer("SZ,W,", WithAck("SZ,W,")));
    EXPECT_FALSE(Answer("SZ,W,", QByteArray("SZ,W,") + Ctl::NAK));
    EXPECT_EQ(logLines, QStringList{QStringLiteral("<<< Response error >>>")});

    EXPECT_TRUE(Answer("S1,W,", "S1,W,0"));
    EXPECT_EQ(ctx.spanStatus, QStringLiteral("0"));
    EXPECT_TRUE(Answer("S1,W,", "S1,W,12"));
    EXPECT_EQ(ctx.spanStatus, QString());
    EXPECT_TRUE(Answer("S1,W,", QByteArray("S1,W,") + Ctl::NAK));
}

TEST_F(ResponseTest, ZeroConfirmPoll) {
    ctx.zeroStatus = QStringLiteral("9");
    EXPECT_TRUE(Answer("SZ,C,", QByteArray("SZ,C,") + Ctl::SUB));
    EXPECT_EQ(ctx.zeroStatus, QString());
    EXPECT_TRUE(Answer("SZ,C,", "SZ,C,0"));
    EXPECT_EQ(ctx.zeroStatus, QStringLiteral("0"));
    EXPECT_TRUE(logLines.isEmpty());
    EXPECT_FALSE(Answer("SZ,C,", "SZ,C,12"));
    EXPECT_FALSE(Answer("SZ,C,", WithAck("SZ,C,")));
    EXPECT_EQ(logLines.size(), 2);
    EXPECT_EQ(logLines.value(1), QStringLiteral("<<< Response error >>>"));
}

TEST_F(ResponseTest, ZeroCalibrationResult) {
    EXPECT_TRUE(Answer("SN,W,0000", "SN,W,0123"));
    EXPECT_EQ(ctx.zeroCalResult, QStringLiteral("0123"));
    EXPECT_FALSE(Answer("SN,W,0000", QByteArray("SN,W,") + Ctl::NAK));
    EXPECT_EQ(ctx.zeroCalResult, QString());
    EXPECT_TRUE(logLines.isEmpty());
}

TEST_F(ResponseTest, ConcentrationReadingRaisesDenstyEvenWithoutANumber) {
    EXPECT_TRUE(Read("DN", "12.5"));
    EXPECT_FLOAT_EQ(rec.LimitValue(0), 12.5f);
    EXPECT_TRUE(Read("DN", "OVER"));
    EXPECT_FLOAT_EQ(rec.LimitValue(0), 12.5f);
    EXPECT_EQ(readings, (QList<float>{12.5f, 12.5f}));
}

TEST_F(ResponseTest, AnalogValues) {
    rec.setAnalogValue(2, 77);
    EXPECT_TRUE(Read("HA", "0001,0002,----,0004,0005,0006,0007,FFFF,40490FDB"));
    EXPECT_EQ(rec.AnalogValue(0), 1);
    EXPECT_EQ(rec.AnalogValue(2), 77); // not a hex number: kept
    EXPECT_EQ(rec.AnalogValue(7), -1);
    EXPECT_EQ(rec.AdrealValue(), 3);
    EXPECT_FALSE(Read("HA", "0009,0002,0003,0004,0005,0006,0007,0008"));
    EXPECT_FALSE(Read("HA", "0009,0002,0003,0004,0005,0006,0007,0008,7FC00000")); // NaN
    EXPECT_EQ(rec.AnalogValue(0), 1);
}

TEST_F(ResponseTest, CalibrationAndBumpHistories) {
    EXPECT_TRUE(Read("SO", "250107093000 12.5 50.0"));
    EXPECT_DOUBLE_EQ(rec.CalibDate(0), Ole(2025, 1, 7, 9, 30, 0));
    EXPECT_FLOAT_EQ(rec.CalibBefore(0), 12.5f);
    EXPECT_FLOAT_EQ(rec.CalibAfter(0), 50.0f);

    EXPECT_TRUE(Read("BO", "241231235900-----  2.0"));
    EXPECT_DOUBLE_EQ(rec.BumpDates(0), Ole(2024, 12, 31, 23, 59, 0));
    EXPECT_FLOAT_EQ(rec.BumpResult(0), -101.0f);
    EXPECT_FLOAT_EQ(rec.BumpConcentration(0), 2.0f);

    EXPECT_FALSE(Read("SO", "250107093000 12.5 50."));  // 21 characters
    EXPECT_FALSE(Read("SO", "2501070930AB 12.5 50.0")); // date not numeric
    EXPECT_FALSE(Read("SO", "250107093000 12.5 ABCD"));
    EXPECT_FALSE(Read("BO", "250107093000,12.5,50.0"));
    EXPECT_FLOAT_EQ(rec.CalibBefore(0), 12.5f);
    EXPECT_TRUE(logLines.isEmpty());
}

TEST_F(ResponseTest, SelectedGasTable) {
    rec.setLS_Name(0, QStringLiteral("OLD"));
    ASSERT_TRUE(rec.Change_LSData(0));
    const QByteArray reply =
        "E0," + LinearEntryText("CH4", "100", "0.5") + ",E1," + LinearEntryText("C3H8", "50", "1");
    EXPECT_TRUE(Read("LS", reply));
    EXPECT_EQ(rec.LS_Name(0), QStringLiteral("CH4"));
    EXPECT_FLOAT_EQ(rec.LS_FullScale(0), 100.0f);
    EXPECT_FLOAT_EQ(rec.LS_Digit(0), 0.5f);
    EXPECT_EQ(rec.LS_Point(0), 1);
    EXPECT_EQ(rec.LS_Unit(0), QStringLiteral("%LEL"));
    EXPECT_EQ(rec.LS_elem_vol(0), 16);
    EXPECT_FLOAT_EQ(rec.LS_Ratio(0), 1.0f);
    EXPECT_DOUBLE_EQ(rec.LS_Linear1_a(0), 2.0);
    EXPECT_DOUBLE_EQ(rec.LS_Linear1_d(0), 5.0);
    EXPECT_DOUBLE_EQ(rec.LS_Linear2_d(0), 0.5);
    EXPECT_EQ(rec.LS_Name(1), QStringLiteral("C3H8"));
    EXPECT_EQ(rec.LS_Point(1), 0);
    EXPECT_FALSE(rec.Change_LSData(0));
    EXPECT_FALSE(rec.Change_LSData(1));

    EXPECT_FALSE(Read("LS", reply + ",EXTRA"));
    EXPECT_EQ(logLines, QStringList{QStringLiteral("<<< Format error >>>")});
    EXPECT_FALSE(Read("LS", "E0," + LinearEntryText("CH4", "X", "0.5") + ",E1," +
                                LinearEntryText("C3H8", "50", "1")));
    EXPECT_FLOAT_EQ(rec.LS_FullScale(0), 100.0f);
}

TEST_F(ResponseTest, LibraryTableEntries) {
    const QByteArray entries =
        LinearEntryText("H2", "1000", "10") + "," + LinearEntryText("CO", "500", "0.25");
    EXPECT_TRUE(Read("LI", "001D," + entries));
    EXPECT_EQ(rec.LI_Name(29), QStringLiteral("H2"));
    EXPECT_EQ(rec.LI_Name(30), QStringLiteral("CO"));
    EXPECT_EQ(rec.LI_Point(30), 2);
    EXPECT_FLOAT_EQ(rec.LI_Digit(30), 0.25f);
    EXPECT_FALSE(Read("LI", "001E," + entries)); // entry 31 does not exist
    EXPECT_FALSE(Read("LI", "FFFF," + entries));
    EXPECT_TRUE(logLines.isEmpty());
    EXPECT_FALSE(Read("LI", "0003," + LinearEntryText("H2", "1000", "10")));
    EXPECT_EQ(logLines, QStringList{QStringLiteral("<<< Format error >>>")});
    EXPECT_EQ(rec.LI_Name(3), QString());
}

TEST_F(ResponseTest, DumpBlocksGoToTheDumpReceiver) {
    EXPECT_FALSE(Read("EF", "0001,3,0080,41424344")); // nobody takes them
    QList<QByteArray> heads;
    QStringList lastTokens;
    bool take = true;
    ctx.dumpBlock = [&](const QByteArray& frame, const QByteArray& head,
                        const QStringList& tokens) {
        EXPECT_EQ(frame.front(), Ctl::STX);
        heads << head;
        lastTokens = tokens;
        return take;
    };
    EXPECT_TRUE(Read("EF", "0001,3,0080,41424344"));
    EXPECT_TRUE(Read("EP", "0001,1,0000,FF"));
    EXPECT_TRUE(Read("ES", "0001,2,0040"));
    EXPECT_EQ(heads, (QList<QByteArray>{"EF,R", "EP,R", "ES,R"}));
    EXPECT_EQ(lastTokens, (QStringList{"0001", "2", "0040"}));
    take = false;
    EXPECT_FALSE(Read("EF", "0001,x"));
}

TEST_F(ResponseTest, UndecodedLogReadsAreAccepted) {
    for (char c = 'A'; c <= 'V'; ++c) {
        const QByteArray code = QByteArray("Y") + c;
        EXPECT_TRUE(Read(code, "0001,FFFF")) << code.constData();
    }
    EXPECT_FALSE(Read("YW", "0001"));
    EXPECT_FALSE(Answer("YA,W,", WithAck("YA,W,")));
}

TEST_F(ResponseTest, CommandsAcknowledgedWithAck) {
    const char* heads[] = {"XC,W", "XY,W", "RO,W", "UX,W", "UD,W",
                           "UP,W", "DW,W", "XH,E", "SZ,W", "LP,W"};
    for (const char* head : heads) {
        SCOPED_TRACE(head);
        const QByteArray text = QByteArray(head) + ",";
        logLines.clear();
        EXPECT_TRUE(Answer(text, WithAck(text)));
        EXPECT_FALSE(Answer(text, text + Ctl::NAK));
        EXPECT_FALSE(Answer(text, text + "1"));
        EXPECT_EQ(logLines, QStringList({QStringLiteral("<<< Response error >>>"),
                                         QStringLiteral("<<< Response error >>>")}));
    }
}

TEST_F(ResponseTest, ConfirmPollsReportTheAcknowledge) {
    for (const char* head : {"XC,C,", "XY,C,", "UX,C,"}) {
        SCOPED_TRACE(head);
        ctx.confirmAck = false;
        EXPECT_TRUE(Answer(head, WithAck(head)));
        EXPECT_TRUE(ctx.confirmAck);
        EXPECT_TRUE(Answer(head, QByteArray(head) + Ctl::NAK));
        EXPECT_FALSE(ctx.confirmAck);
    }
}

TEST_F(ResponseTest, RepliesAcceptedAsTheyCome) {
    for (const char* head : {"BP,R,", "BP,W,", "XS,W,", "GJ,W,", "BU,W,", "WB,W,", "LS,W,"}) {
        SCOPED_TRACE(head);
        EXPECT_TRUE(Answer(head, WithAck(head)));
        EXPECT_TRUE(Answer(head, QByteArray(head) + "anything,at,all"));
    }
}

TEST_F(ResponseCommaTest, DecimalNumbersWithAPoint) {
    EXPECT_TRUE(Read("S1", "12.5"));
    EXPECT_FLOAT_EQ(rec.S1(0), 12.5f);
    EXPECT_TRUE(Read("DN", "0.5"));
    EXPECT_FLOAT_EQ(rec.LimitValue(0), 0.5f);
    EXPECT_TRUE(Read("SO", "250107093000  1.5 50.0"));
    EXPECT_FLOAT_EQ(rec.CalibBefore(0), 1.5f);
    EXPECT_TRUE(Read("LS", "E0," + LinearEntryText("CH4", "100", "0.5") + ",E1," +
                               LinearEntryText("C3H8", "50", "1")));
    EXPECT_FLOAT_EQ(rec.LS_Digit(0), 0.5f);
    EXPECT_EQ(rec.LS_Point(0), 1);
}
