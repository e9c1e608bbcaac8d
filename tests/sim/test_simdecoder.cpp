// The simulated detector against the program's own reply decoder: every reply of the read
// list is accepted and lands in the record, and every setting written back from the record
// is echoed in a way the decoder accepts.
#include "SimHost.h"
#include "instrument/WireFormat.h"
#include "instrument/clsInstrument.h"
#include "link/ResponseParser.h"

#include <gtest/gtest.h>

namespace {

const char* const kReadList[] = {"VP", "XZ", "XS", "IN", "HN", "HC", "AP", "AU", "XP", "RC",
                                 "SD", "SM", "SC", "AI", "AJ", "XW", "XT", "SZ", "S1", "GJ",
                                 "A1", "A2", "AS", "AW", "HA", "VS", "SA", "AT", "PG", "XB",
                                 "AB", "PN", "PM", "BS", "PS", "UJ", "SJ", "SG", "MP", "BJ",
                                 "BK", "BL", "BU", "BV", "AK", "JW", "JH", "SE", "RA"};

// Sends `text` and hands the single reply frame to the decoder.
bool Exchange(SimHost& host, ReplyContext& ctx, const QByteArray& text) {
    const QByteArray request = BuildFrame(text);
    ctx.lastFrame = request;
    host.received.clear();
    host.sim.receive(request);
    return !host.received.isEmpty() && ParseResponse(host.received, ctx);
}

void ReadAll(SimHost& host, ReplyContext& ctx, clsInstrument& rec) {
    for (const char* command : kReadList) {
        const QByteArray c(command);
        if ((c == "AT" && rec.ModelTyp() != "QZ") || (c == "AK" && rec.ModelTyp() != "VL"))
            continue; // the read list skips them on the other models
        EXPECT_TRUE(Exchange(host, ctx, c + ",R,")) << command;
    }
}

// The write texts of the write sequence, built from the record.
QList<QByteArray> WritesOf(const clsInstrument& r) {
    using namespace WireFormat;
    const int p = r.GasPoint(0);
    QList<QString> w{
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
        "AI,W," + HexN(r.AIdata(), 2),
        "AJ,W," + HexN(r.AJdata(), 2),
        "AB,W," + Hex(r.ABdata()),
        "BV,W," + Dec(r.BumpFunction()),
        "BJ,W," + Dec(r.DispBumpLimit()),
        "BK,W," + HexN(r.BumpLimit(), 4),
        "BL,W," + Dec(r.BumpCheck()),
        "BU,W," + HexN(r.BumpTime(), 2) + "," + HexN(r.BumpThreshold(), 2) + "," +
            HexN(r.BumpFailCalTime(), 2) + "," + Dec(r.BumpFailAfter()),
        "JW,W," + Dec(r.JW()),
        "JH,W," + Cut(r.JH(), 10),
        "SE,W," + HexN(r.SE(), 2),
        "A1,W," + Val5(r.Warning(0), p),
        "A2,W," + Val5(r.Alarm(0), p),
        "SA,W," + Val5(r.AutoCalib(0), p),
        "AS,W," + Val5(r.Stel(0), p),
        "AW,W," + Val5(r.Twa(0), p),
        "XP,W," + HexN(r.Intervals(), 4),
        "UJ,W," + r.SpecType(),
        "SJ,W," + Dec(r.AutoZero()),
        "SG,W," + Dec(r.DemandZero()),
        "PN,W," + Dec(r.SpanAllowance()),
        "PM,W," + Dec(r.BumpFailBehavior()),
        "PS,W," + r.SensorDate(),
        "PG,W," + Dec(r.PasswordProtect()) + "," + r.UserPassword2(),
        "MP,W," + Dec(r.UseUserPassword()) + "," + r.UserPassword2(),
    };
    if (r.ModelTyp() == "QZ") w << "AT,W," + Dec(r.AlarmO2());
    if (r.ModelTyp() == "VL") w << "AK,W," + Dec(r.AK());
    QList<QByteArray> out;
    for (const QString& s : w)
        out << s.toLatin1();
    return out;
}

class SimAndDecoder : public ::testing::TestWithParam<const char*> {};

TEST_P(SimAndDecoder, ReadListWritesAndReadBackAgree) {
    const QString model = QString::fromLatin1(GetParam());
    SimHost host(model);
    clsInstrument rec;
    ReplyContext ctx;
    ctx.instrument = &rec;
    int connects = 0;
    ctx.connectReply = [&connects] { ++connects; };

    ReadAll(host, ctx, rec);
    EXPECT_EQ(connects, 1);
    EXPECT_EQ(rec.ModelTyp(), model);
    EXPECT_TRUE(rec.GasEnabled(0));
    EXPECT_EQ(rec.SerialNo(), QString::fromLatin1(host.sim.value("IN")).trimmed());
    EXPECT_EQ(rec.AlarmMode(), 1);
    EXPECT_EQ(rec.BumpTime(), 60);
    EXPECT_EQ(rec.CalLimit(), 30);
    EXPECT_GT(rec.Warning(0), 0.0f);
    EXPECT_GT(rec.RomNumber(), 0);
    EXPECT_GT(rec.AnalogValue(2), 0);

    // Everything written back as it was read is echoed acceptably.
    for (const QByteArray& w : WritesOf(rec))
        EXPECT_TRUE(Exchange(host, ctx, w)) << w.constData();

    // New values go in, are echoed acceptably and come back on the next read.
    rec.setUserID(QStringLiteral("NEW USER"));
    rec.setAlarmMode(2);
    rec.setCalLimit(90);
    rec.setWarning(0, rec.Warning(0) + 2 * rec.GasDesit(0));
    rec.setBumpTime(45);
    rec.setJH(QStringLiteral("2507011200"));
    rec.setUserPassword2(QStringLiteral("2580"));
    for (const QByteArray& w : WritesOf(rec))
        EXPECT_TRUE(Exchange(host, ctx, w)) << w.constData();
    EXPECT_TRUE(Exchange(host, ctx, "DW,W,"));

    clsInstrument again;
    ctx.instrument = &again;
    ReadAll(host, ctx, again);
    EXPECT_EQ(again.UserID(), "NEW USER");
    EXPECT_EQ(again.AlarmMode(), 2);
    EXPECT_EQ(again.CalLimit(), 90);
    EXPECT_FLOAT_EQ(again.Warning(0), rec.Warning(0));
    EXPECT_EQ(again.BumpTime(), 45);
    EXPECT_EQ(again.JH(), "2507011200");
    EXPECT_EQ(again.UserPassword2(), "2580");
}

TEST_P(SimAndDecoder, OperationsAreUnderstood) {
    SimHost host(QString::fromLatin1(GetParam()));
    clsInstrument rec;
    ReplyContext ctx;
    ctx.instrument = &rec;
    float reading = -1000;
    ctx.densty = [&reading](float& v) { reading = v; };
    EXPECT_TRUE(Exchange(host, ctx, "DN,R,"));
    EXPECT_GT(reading, -3.0f);
    EXPECT_TRUE(Exchange(host, ctx, "HC,W,250107093000"));
    EXPECT_TRUE(Exchange(host, ctx, "HC,R,"));
    EXPECT_TRUE(Exchange(host, ctx, "SZ,W,1"));
    EXPECT_TRUE(Exchange(host, ctx, "SZ,C,"));
    EXPECT_EQ(ctx.zeroStatus, "0");
    EXPECT_TRUE(Exchange(host, ctx, "S1,W,"));
    EXPECT_EQ(ctx.spanStatus, "0");
    for (const char* c : {"XC", "XY", "UX"}) {
        EXPECT_TRUE(Exchange(host, ctx, QByteArray(c) + ",W,")) << c;
        ctx.confirmAck = false;
        EXPECT_TRUE(Exchange(host, ctx, QByteArray(c) + ",C,")) << c;
        EXPECT_TRUE(ctx.confirmAck) << c;
    }
    EXPECT_TRUE(Exchange(host, ctx, "XH,E,"));
    EXPECT_TRUE(Exchange(host, ctx, "RO,W,"));
    EXPECT_TRUE(Exchange(host, ctx, "BP,W,1"));
    EXPECT_TRUE(Exchange(host, ctx, "RA,W,05"));
    EXPECT_TRUE(Exchange(host, ctx, "LP,W,2"));
    EXPECT_TRUE(Exchange(host, ctx, "LP,R,"));
    EXPECT_EQ(rec.HcMode(), 2);
    // The history's last block is the latest record and is what the record keeps.
    ctx.lastFrame = BuildFrame("SO,R,");
    host.received.clear();
    host.sim.receive(ctx.lastFrame);
    while (!host.received.isEmpty()) {
        const QByteArray block = host.received;
        ASSERT_TRUE(ParseResponse(block, ctx));
        host.received.clear();
        if (block.back() == Ctl::EOT) break;
        host.sim.receive(BuildFrame("SO,R," + QByteArray(1, Ctl::ACK), Ctl::ETB));
    }
    EXPECT_GT(rec.CalibDate(0), 45000.0); // after 2023
    EXPECT_GT(rec.CalibAfter(0), 0.0f);
}

INSTANTIATE_TEST_SUITE_P(Models, SimAndDecoder, ::testing::Values("KM", "QZ", "VL"));

} // namespace

namespace {

TEST(SimAndDecoder, ListingBlocksReachTheDumpHandler) {
    SimHost host;
    ReplyContext ctx;
    clsInstrument rec;
    ctx.instrument = &rec;
    QStringList numbers;
    ctx.dumpBlock = [&numbers](const QByteArray&, const QByteArray& head, const QStringList& t) {
        numbers << t.value(1);
        return head == "EF,R" && t.size() == 4;
    };
    ctx.lastFrame = BuildFrame("EF,R,");
    host.received.clear();
    host.sim.receive(ctx.lastFrame);
    for (int i = 0; i < 3; ++i) {
        ASSERT_FALSE(host.received.isEmpty());
        EXPECT_TRUE(ParseResponse(host.received, ctx)) << host.received.left(40).constData();
        host.received.clear();
        host.sim.receive(BuildFrame("EF,R," + QByteArray(1, Ctl::ACK), Ctl::ETB));
    }
    EXPECT_EQ(numbers, (QStringList{"1", "2", "3"}));
}

} // namespace
