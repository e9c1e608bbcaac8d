// The simulated detector at frame level: what the host sends, what it gets back.
#include "SimHost.h"

#include <QDateTime>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

const QByteArray kAck(1, Ctl::ACK);
const QByteArray kNak(1, Ctl::NAK);
const QByteArray kSub(1, Ctl::SUB);

struct ReadCase {
    const char* command;
    const char* pattern; // the reply's value text
};

// The read list of the program, in its order, with the shape each reply must have.
const ReadCase kReads[] = {
    {"VP", R"(^\d+$)"},
    {"XZ", R"(^[ -~]+$)"},
    {"XS", R"(^[ -~]+$)"},
    {"IN", R"(^[ -~]+$)"},
    {"HN", R"(^[ -~]+$)"},
    {"HC", R"(^\d{12}$)"},
    {"AP", R"(^[0-9A-F]{4}$)"},
    {"AU", R"(^[0-9A-F]{4}$)"},
    {"XP", R"(^[0-9A-F]{4}$)"},
    {"RC", R"(^71-Series,(KM|QZ|VL),.+$)"},
    {"SD", R"(^[01]$)"},
    {"SM", R"(^-?\d+$)"},
    {"SC", R"(^[0-9A-F]{4}$)"},
    {"AI", R"(^[0-9A-F]{2}$)"},
    {"AJ", R"(^[0-9A-F]{2}$)"},
    {"XW", R"(^-?\d+$)"},
    {"XT", R"(^[0-9A-F]{4}$)"},
    {"SZ", R"(^[0-9A-F]{4}$)"},
    {"S1", R"(^[0-9A-F]{4}$)"},
    {"GJ", R"(^[ -~]{18}$)"},
    {"A1", R"(^(\*{5}|[ \d.]{4}\d)$)"},
    {"A2", R"(^(\*{5}|[ \d.]{4}\d)$)"},
    {"AS", R"(^(\*{5}|[ \d.]{4}\d)$)"},
    {"AW", R"(^(\*{5}|[ \d.]{4}\d)$)"},
    {"HA", R"(^([0-9A-F]{4},){8}[0-9A-F]{8}$)"},
    {"VS", R"(^[0-9A-F]+$)"},
    {"SA", R"(^(\*{5}|[ \d.]{4}\d)$)"},
    {"AT", R"(^-?\d+$)"},
    {"PG", R"(^[0-9A-F]+$)"},
    {"XB", R"(^[0-9A-F]{4}$)"},
    {"AB", R"(^[0-9A-F]{2}$)"},
    {"PN", R"(^[0-9A-F]{4}$)"},
    {"PM", R"(^[0-9A-F]{4}$)"},
    {"BS", R"(^[ -~]{1,10}$)"},
    {"PS", R"(^[0-9A-F]{6}$)"},
    {"UJ", R"(^[012]$)"},
    {"SJ", R"(^[01]$)"},
    {"SG", R"(^[01]$)"},
    {"MP", R"(^[01],[ -~]{1,4}$)"},
    {"BJ", R"(^[01]$)"},
    {"BK", R"(^[0-9A-F]{4}$)"},
    {"BL", R"(^-?\d+$)"},
    {"BU", R"(^[0-9A-F]{2},[0-9A-F]{2},[0-9A-F]{2},-?\d+$)"},
    {"BV", R"(^-?\d+$)"},
    {"AK", R"(^-?\d+$)"},
    {"JW", R"(^-?\d+$)"},
    {"JH", R"(^[ -~]{10}$)"},
    {"SE", R"(^[0-9A-F]{2}$)"},
    {"RA", R"(^[0-9A-F]{2}$)"},
};

class SimReadList : public ::testing::TestWithParam<const char*> {};

TEST_P(SimReadList, EveryReadIsAnsweredInItsFormat) {
    const QString model = QString::fromLatin1(GetParam());
    SimHost host(model);
    EXPECT_EQ(std::size(kReads), 49u);
    for (const ReadCase& c : kReads) {
        SCOPED_TRACE(c.command);
        const QByteArray command(c.command);
        const QList<HostFrame> frames = host.request(command + ",R,");
        ASSERT_EQ(frames.size(), 1);
        EXPECT_TRUE(frames[0].checksumOk);
        EXPECT_EQ(frames[0].terminator, Ctl::EOT);
        const bool present = (command == "AT")   ? model == "QZ"
                             : (command == "AK") ? model == "VL"
                                                 : true;
        if (!present) {
            // A detector without the setting refuses it.
            EXPECT_EQ(frames[0].text, command + ",R," + kNak);
            continue;
        }
        ASSERT_TRUE(frames[0].text.startsWith(command + ",R,"));
        const QString value = QString::fromLatin1(frames[0].text.mid(5));
        EXPECT_TRUE(QRegularExpression(QString::fromLatin1(c.pattern)).match(value).hasMatch())
            << qPrintable(value);
    }
    // The identity reply names the family and the model as its second field.
    const QByteArray rc = host.ask("RC,R,");
    EXPECT_TRUE(rc.toUpper().contains("71-SERIES"));
    EXPECT_EQ(rc.mid(5).split(',').value(1), model.toLatin1());
    // The clock is a real date.
    const QByteArray hc = host.ask("HC,R,").mid(5);
    EXPECT_TRUE(QDateTime::fromString(QString::fromLatin1("20" + hc), "yyyyMMddHHmmss").isValid());
}

INSTANTIATE_TEST_SUITE_P(Models, SimReadList, ::testing::Values("KM", "QZ", "VL"));

struct WriteCase {
    const char* model;
    const char* request; // what the host writes
    const char* echo;    // the value the detector stores and echoes, in the read format
};

// Every setting the program writes, with the format it is written in and the one it reads.
const WriteCase kWrites[] = {
    {"KM", "BS,W,SP-TEST-99", "SP-TEST-99"},
    {"KM", "XZ,W,ABC             ", "ABC             "},
    {"KM", "XS,W,ST-77           ", "ST-77           "},
    {"KM", "IN,W,KM-71 SIM 4242      ", "KM-71 SIM 4242      "},
    {"KM", "HN,W,M-4242              ", "M-4242              "},
    {"KM", "GJ,W,CH4    50    1%LEL", "CH4    50    1%LEL"},
    {"KM", "GJ,W,******************", "******************"},
    {"KM", "AP,W,16", "0010"},
    {"KM", "AP,W,-1", "FFFF"},
    {"KM", "AU,W,2", "0002"},
    {"KM", "SD,W,0", "0"},
    {"KM", "SC,W,005A", "005A"},
    {"KM", "SM,W,2", "2"},
    {"KM", "XB,W,0", "0000"},
    {"KM", "XW,W,0", "0"},
    {"KM", "XT,W,00FF", "00FF"},
    {"KM", "AI,W,2C", "2C"},
    {"KM", "AJ,W,0A", "0A"},
    {"KM", "AB,W,3", "03"},
    {"KM", "BV,W,0", "0"},
    {"KM", "BJ,W,-1", "1"},
    {"KM", "BK,W,0007", "0007"},
    {"KM", "BL,W,1", "1"},
    {"KM", "BU,W,05,32,78,0", "05,32,78,0"},
    {"QZ", "AT,W,2", "2"},
    {"VL", "AK,W,1", "1"},
    {"KM", "JW,W,1", "1"},
    {"KM", "JH,W,2503011230", "2503011230"},
    {"KM", "SE,W,78", "78"},
    {"KM", "A1,W,   20", "   20"},
    {"KM", "A2,W,   60", "   60"},
    {"KM", "SA,W,   55", "   55"},
    {"KM", "AS,W,*****", "*****"},
    {"VL", "AW,W,   30", "   30"},
    {"QZ", "A2,W, 17.5", " 17.5"},
    {"KM", "XP,W,0258", "0258"},
    {"KM", "UJ,W,2", "2"},
    {"KM", "SJ,W,0", "0"},
    {"KM", "SG,W,0", "0"},
    {"KM", "PN,W,1", "0001"},
    {"KM", "PM,W,1", "0001"},
    {"KM", "PS,W,250107", "250107"},
    {"KM", "PG,W,1,1234", "1"},
    {"KM", "MP,W,1,4321", "1,4321"},
    {"KM", "RA,W,05", "05"},
};

class SimWrites : public ::testing::TestWithParam<WriteCase> {};

TEST_P(SimWrites, EchoTheStoredValueAndReadItBack) {
    const WriteCase& c = GetParam();
    SimHost host(QString::fromLatin1(c.model));
    const QByteArray request(c.request);
    const QByteArray command = request.left(2);
    const QList<HostFrame> frames = host.request(request);
    ASSERT_EQ(frames.size(), 1);
    EXPECT_TRUE(frames[0].checksumOk);
    EXPECT_EQ(frames[0].terminator, Ctl::EOT);
    EXPECT_EQ(frames[0].text, command + ",W," + c.echo);
    EXPECT_EQ(host.ask(command + ",R,"), command + ",R," + c.echo);
    EXPECT_EQ(host.sim.value(command), QByteArray(c.echo));
}

INSTANTIATE_TEST_SUITE_P(Settings, SimWrites, ::testing::ValuesIn(kWrites));

TEST(SimDetector, LevelWritesEchoTheFrameSentAndFollowTheGasDecimals) {
    SimHost host("QZ");
    const QByteArray request = BuildFrame("A1,W, 19.0");
    host.sim.receive(request);
    EXPECT_EQ(host.received, request); // the verified group compares whole frames
    host.received.clear();
    // One decimal less in the gas definition: the level is answered with it.
    EXPECT_EQ(host.ask("GJ,W,O2     25    1VOL%"), "GJ,W,O2     25    1VOL%");
    EXPECT_EQ(host.ask("A1,R,"), "A1,R,   19");
}

TEST(SimDetector, PasswordIsSharedByBothCommands) {
    SimHost host;
    EXPECT_EQ(host.ask("PG,W,1,2468"), "PG,W,1");
    EXPECT_EQ(host.ask("MP,R,"), "MP,R,0,2468");
    EXPECT_EQ(host.ask("MP,W,1,1357"), "MP,W,1,1357");
    EXPECT_EQ(host.ask("PG,R,"), "PG,R,1");
}

TEST(SimDetector, RefusesValuesItCannotStoreAndKeepsTheOldOne) {
    const char* bad[] = {
        "AP,W,XYZ",    "UJ,W,5",     "GJ,W,CH4 100",     "A1,W,-5",    "A1,W,abc", "PS,W,25013x",
        "PS,W,251301", "SC,W,12345", "AI,W,12C",         "BU,W,3C,14", "SD,W,",    "MP,W,1,12345",
        "VP,W,1234",   "ZZ,R,",      "XS,W,BAD\x01TEXT", "EP,R,0200"};
    for (const char* request : bad) {
        SCOPED_TRACE(request);
        SimHost host;
        const QByteArray head = QByteArray(request).left(5);
        const QByteArray before = host.sim.value(head.left(2));
        EXPECT_EQ(host.ask(request), head + kNak);
        EXPECT_EQ(host.sim.value(head.left(2)), before);
    }
}

TEST(SimDetector, ClockIsSetByAnExactEchoAndRunsOnTheSimClock) {
    SimHost host;
    const QByteArray request = BuildFrame("HC,W,250107093000");
    host.sim.receive(request);
    EXPECT_EQ(host.received, request);
    host.received.clear();
    host.now += 5000;
    EXPECT_EQ(host.ask("HC,R,"), "HC,R,250107093005");
    // Not a date (29 February 2025): refused, the clock runs on.
    EXPECT_EQ(host.ask("HC,W,250229120000"), "HC,W," + kNak);
    host.now += 60000;
    EXPECT_EQ(host.ask("HC,R,"), "HC,R,250107093105");
    // A new clock does not make the detector's time jump.
    host.sim.setClock([] { return qint64(7); });
    EXPECT_EQ(host.sim.value("HC"), "250107093105");
}

TEST(SimDetector, HistoryComesInBlocksFetchedWithAckAndRepeatedWithNak) {
    SimHost host;
    host.sim.setValue("HC", "250601120000");
    QList<HostFrame> f = host.request("SO,R,");
    ASSERT_EQ(f.size(), 1);
    EXPECT_EQ(f[0].terminator, Ctl::ETB);
    const QByteArray first = f[0].text;
    EXPECT_EQ(first.size(), 5 + 22);

    f = host.request("SO,R," + kNak, Ctl::ETB); // same block again
    ASSERT_EQ(f.size(), 1);
    EXPECT_EQ(f[0].text, first);

    QList<QByteArray> blocks{first};
    for (;;) {
        f = host.request("SO,R," + kAck, Ctl::ETB);
        ASSERT_EQ(f.size(), 1);
        blocks << f[0].text;
        if (f[0].terminator == Ctl::EOT) break;
        ASSERT_EQ(f[0].terminator, Ctl::ETB);
        ASSERT_LT(blocks.size(), 20);
    }
    EXPECT_EQ(blocks.size(), 3);
    EXPECT_EQ(blocks.last(), "SO,R," + host.sim.value("SO")); // the latest comes last
    // Nothing follows the last block; a continuation for another command is ignored.
    EXPECT_TRUE(host.request("SO,R," + kAck, Ctl::ETB).isEmpty());
    EXPECT_TRUE(host.request("BO,R," + kNak, Ctl::ETB).isEmpty());
    // The last block can still be asked for again.
    EXPECT_EQ(host.request("SO,R," + kNak, Ctl::ETB).value(0).text, blocks.last());

    // A span calibration adds the newest record: dated now, after = the span concentration.
    EXPECT_EQ(host.ask("S1,W,"), "S1,W,0");
    EXPECT_EQ(host.sim.value("SO"), "250601120000   48   50");
    EXPECT_EQ(host.request("BO,R,").value(0).terminator, Ctl::ETB);
}

TEST(SimDetector, ListingCarriesTheWholeMemoryInNumberedBlocks) {
    SimHost host("VL");
    QByteArray data;
    QList<HostFrame> f = host.request("EF,R,");
    int expected = 1;
    while (!f.isEmpty()) {
        ASSERT_EQ(f.size(), 1);
        ASSERT_TRUE(f[0].checksumOk);
        const QList<QByteArray> tokens = f[0].text.mid(5).split(',');
        ASSERT_EQ(tokens.size(), 4);
        EXPECT_EQ(tokens[1].toInt(), expected);
        EXPECT_EQ(tokens[0].toInt(nullptr, 16), (expected - 1) * 128);
        EXPECT_EQ(tokens[3].size(), 256);
        data += QByteArray::fromHex(tokens[3]);
        if (f[0].terminator == Ctl::EOT) break;
        ++expected;
        f = host.request("EF,R," + kAck, Ctl::ETB);
    }
    EXPECT_EQ(expected, 256);
    EXPECT_EQ(data, host.sim.memoryImage());
}

TEST(SimDetector, BinaryDumpBlockIsSixtyFourRawBytes) {
    SimHost host;
    host.sim.receive(BuildFrame("EP,R,000A"));
    EXPECT_EQ(host.received, host.sim.memoryImage().mid(640, 64));
    host.received.clear();
    host.sim.receive(BuildFrame("EP,R,01FF"));
    EXPECT_EQ(host.received, host.sim.memoryImage().right(64));
}

// The memory outside the working area (blocks 224..254 of 128 bytes), which a logger check
// compares.
QByteArray ComparedArea(const QByteArray& image) {
    return image.left(224 * 128) + image.right(128);
}

QByteArray CheckImage(const QString& model, quint32 seed, qint64 clock) {
    SimHost host(model);
    host.now = clock;
    host.sim.faults().seed = seed;
    host.ask("XZ,W,SOMEONE ELSE    ");
    host.ask("DN,R,");
    EXPECT_EQ(host.ask("XC,W,"), "XC,W," + kAck);
    EXPECT_EQ(host.ask("XY,W,"), "XY,W," + kAck);
    EXPECT_EQ(host.ask("XH,E,"), "XH,E," + kAck);
    return host.sim.memoryImage();
}

TEST(SimDetector, CheckDataGivesTheSameImageForEveryDetectorOfAModel) {
    for (const char* model : {"KM", "QZ", "VL"}) {
        SCOPED_TRACE(model);
        const QByteArray a = CheckImage(model, 1, 1000);
        const QByteArray b = CheckImage(model, 99, 86'400'000);
        ASSERT_EQ(a.size(), 32768);
        EXPECT_EQ(ComparedArea(a), ComparedArea(b));
        EXPECT_NE(a.mid(224 * 128, 31 * 128), b.mid(224 * 128, 31 * 128)); // working area
        SimHost fresh(model);
        EXPECT_NE(ComparedArea(fresh.sim.memoryImage()), ComparedArea(a));
    }
    EXPECT_NE(ComparedArea(CheckImage("KM", 1, 0)), ComparedArea(CheckImage("VL", 1, 0)));
}

TEST(SimDetector, ClearingErasesItsOwnLogOnly) {
    SimHost host;
    const QByteArray before = host.sim.memoryImage();
    ASSERT_NE(before.left(16), QByteArray(16, char(0xFF)));        // body log holds records
    ASSERT_NE(before.mid(0x6000, 16), QByteArray(16, char(0xFF))); // so does the power log
    host.ask("XC,W,");
    QByteArray after = host.sim.memoryImage();
    EXPECT_EQ(after.left(0x6000), QByteArray(0x6000, char(0xFF)));
    EXPECT_EQ(after.mid(0x6000, 0x1000), before.mid(0x6000, 0x1000));
    host.ask("XY,W,");
    after = host.sim.memoryImage();
    EXPECT_EQ(after.mid(0x6000, 0x1000), QByteArray(0x1000, char(0xFF)));
    EXPECT_EQ(after.right(128), before.right(128)); // identity block
}

TEST(SimDetector, ConfirmPollsAnswerNotYetFirst) {
    struct Op {
        const char* start;
        const char* poll;
        QByteArray done;
    };
    const Op ops[] = {{"XC,W,", "XC,C,", "XC,C," + kAck},
                      {"XY,W,", "XY,C,", "XY,C," + kAck},
                      {"UX,W,", "UX,C,", "UX,C," + kAck},
                      {"SZ,W,1", "SZ,C,", "SZ,C,0"}};
    for (const Op& op : ops) {
        SCOPED_TRACE(op.start);
        SimHost host;
        host.sim.faults().notYet = 2;
        const QByteArray head = QByteArray(op.start).left(5);
        EXPECT_EQ(host.ask(op.start), head + kAck);
        EXPECT_EQ(host.ask(op.poll), QByteArray(op.poll) + kSub);
        EXPECT_EQ(host.ask(op.poll), QByteArray(op.poll) + kSub);
        EXPECT_EQ(host.ask(op.poll), op.done);
        EXPECT_EQ(host.ask(op.poll), op.done); // finished stays finished
        EXPECT_EQ(host.sim.faultsInjected(), 2);
    }
    SimHost quick; // without the fault the first poll is the final one
    quick.ask("XC,W,");
    EXPECT_EQ(quick.ask("XC,C,"), "XC,C," + kAck);
}

TEST(SimDetector, FactoryDefaultsKeepTheIdentity) {
    SimHost host("VL");
    const QByteArray serial = host.sim.value("IN");
    host.ask("A1,W,   40");
    host.ask("IN,W,VL-OWN-SERIAL");
    EXPECT_EQ(host.sim.value("XZ"), "SIM-USER");
    host.ask("UX,W,");
    EXPECT_EQ(host.ask("UX,C,"), "UX,C," + kAck);
    EXPECT_EQ(host.ask("A1,R,"), "A1,R,   25");
    EXPECT_EQ(host.ask("XZ,R,"), "XZ,R,----------------");
    EXPECT_EQ(host.ask("IN,R,"), "IN,R,VL-OWN-SERIAL");
    EXPECT_NE(serial, "VL-OWN-SERIAL");
}

TEST(SimDetector, ModelsDiffer) {
    SimHost km("KM"), qz("QZ"), vl("VL");
    EXPECT_EQ(km.ask("GJ,R,"), "GJ,R,CH4   100    1%LEL");
    EXPECT_EQ(qz.ask("GJ,R,"), "GJ,R,O2   25.0  0.1VOL%");
    EXPECT_EQ(vl.ask("GJ,R,"), "GJ,R,CO    500    1ppm ");
    EXPECT_EQ(km.ask("AT,W,1"), "AT,W," + kNak);
    EXPECT_EQ(vl.ask("AT,W,1"), "AT,W," + kNak);
    EXPECT_EQ(qz.ask("AK,W,1"), "AK,W," + kNak);
    EXPECT_EQ(qz.ask("SN,W,1"), "SN,W,0"); // oxygen zero
    EXPECT_EQ(km.ask("SN,W,1"), "SN,W," + kNak);
    EXPECT_EQ(km.sim.model(), "KM");
    EXPECT_EQ(SimDetector("XX").model(), "KM"); // an unknown model falls back to KM
}

TEST(SimDetector, LiveReadingMovesAroundCleanAirAndFollowsTheSeed) {
    for (const char* model : {"KM", "QZ", "VL"}) {
        SCOPED_TRACE(model);
        SimHost a(model), b(model), c(model);
        c.sim.faults().seed = 12345;
        const double fresh = QByteArray(model) == "QZ" ? 20.9 : 0.0;
        const double step = QByteArray(model) == "QZ" ? 0.1 : 1.0;
        QList<QByteArray> seqA, seqB, seqC;
        for (int i = 0; i < 30; ++i) {
            seqA << a.ask("DN,R,");
            seqB << b.ask("DN,R,");
            seqC << c.ask("DN,R,");
            bool ok = false;
            const double v = seqA.last().mid(5).trimmed().toDouble(&ok);
            ASSERT_TRUE(ok) << seqA.last().constData();
            EXPECT_LE(std::abs(v - fresh), 2 * step + 1e-6);
        }
        EXPECT_EQ(seqA, seqB);
        EXPECT_NE(seqA, seqC);
        EXPECT_GT(QSet<QByteArray>(seqA.begin(), seqA.end()).size(), 1); // it moves
    }
    SimHost pinned("VL");
    pinned.sim.setValue("DN", "  123");
    EXPECT_EQ(pinned.ask("DN,R,"), "DN,R,  123");
}

TEST(SimDetector, WriteCommandsWithoutValueAreAcknowledged) {
    SimHost host;
    for (const char* request : {"RO,W,", "DW,W,", "XH,E,", "BP,W,1", "LP,W,3"}) {
        SCOPED_TRACE(request);
        EXPECT_EQ(host.ask(request), QByteArray(request).left(5) + kAck);
    }
    EXPECT_EQ(host.ask("BP,R,"), "BP,R,1");
    EXPECT_EQ(host.ask("LP,R,"), "LP,R,3");
    EXPECT_EQ(host.ask("BP,W,7"), "BP,W," + kNak);
}

TEST(SimDetector, FramesAreCutFromAnyChunking) {
    SimHost host;
    const QByteArray two = BuildFrame("XS,R,") + BuildFrame("IN,R,");
    for (char byte : QByteArray("\r\nnoise") + two)
        host.sim.receive(QByteArray(1, byte));
    const QList<HostFrame> frames = host.takeFrames();
    ASSERT_EQ(frames.size(), 2);
    EXPECT_TRUE(frames[0].text.startsWith("XS,R,"));
    EXPECT_TRUE(frames[1].text.startsWith("IN,R,"));
    EXPECT_EQ(host.sim.receivedFrames(),
              (QList<QByteArray>{BuildFrame("XS,R,"), BuildFrame("IN,R,")}));
    host.sim.clearReceivedFrames();
    EXPECT_TRUE(host.sim.receivedFrames().isEmpty());
}

TEST(SimDetector, DamagedRequestsAreNotAnswered) {
    SimHost host;
    QByteArray bad = BuildFrame("XS,R,");
    bad[bad.size() - 2] = bad[bad.size() - 2] == '0' ? '1' : '0'; // checksum
    host.sim.receive(bad);
    QByteArray wrongAddress = BuildFrame("XS,R,");
    wrongAddress[4] = '2';
    host.sim.receive(wrongAddress);
    // A frame start without its end is given up when the next one starts.
    host.sim.receive(QByteArray(1, Ctl::STX) + "0001XS,R,");
    host.sim.receive(BuildFrame("IN,R,"));
    const QList<HostFrame> frames = host.takeFrames();
    ASSERT_EQ(frames.size(), 1);
    EXPECT_TRUE(frames[0].text.startsWith("IN,R,"));
    EXPECT_EQ(host.sim.receivedFrames().size(), 3); // the two damaged ones and IN
}

} // namespace
