// Memory dumps: the binary flash image and the hexadecimal listing, in virtual time.
#include "LinkTestSupport.h"

#include "common/LinkLogFile.h"
#include "common/SimLink.h"
#include "common/TempStartupFolder.h"

#include "instrument/clsInstrument.h"
#include "link/DumpListing.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace linktest;

namespace {

const QByteArray kAck = BuildFrame(QByteArray("EF,R,") + Ctl::ACK, Ctl::ETB);
const QByteArray kNak = BuildFrame(QByteArray("EF,R,") + Ctl::NAK, Ctl::ETB);

class DumpTest : public ::testing::Test, protected SimLink {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_folder.isValid());
        clock = new VirtualClock;
        link = std::make_unique<uclHvif>(std::unique_ptr<LinkClock>(clock));
        link->setRetry(3);
        link->setTimeout(3);
        link->setInstrument(&record);
        link->setSerialComm(true);
        QObject::connect(link.get(), &uclHvif::DumpMessage,
                         [this](QString& text) { messages << text; });
    }
    void TearDown() override { closeSimLink(); }

    void waitConnected() { ASSERT_TRUE(WaitForConnection(*link)); }
    // Connects to a simulated KM detector.
    void connectSim() {
        detector = std::make_unique<SimDetector>(QStringLiteral("KM"));
        link->setSerialTransport(std::make_unique<SimTransport>(detector.get(), clock));
        link->setPortOpen(true);
        waitConnected();
        detector->clearReceivedFrames();
    }
    // Connects to a scripted detector that answers requests with `answer` (after the
    // connect probe).
    void connectScripted(std::function<QByteArray(const QByteArray&)> answer) {
        auto transport = std::make_unique<FakeTransport>(LinkTransport::Kind::Serial);
        fake = transport.get();
        link->setSerialTransport(std::move(transport));
        fake->responder = [answer](const QByteArray& frame) {
            return frame == Request("RC,R,") ? Reply("RC,R,71-Series,KM,KM-71") : answer(frame);
        };
        link->setPortOpen(true);
        fake->setLines(ModemLine::Cts | ModemLine::Dsr);
        waitConnected();
        fake->written.clear();
    }
    QString path(const char* name) const { return m_folder.filePath(QString::fromLatin1(name)); }
    static QByteArray readFile(const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void writeFile(const QString& file, const QByteArray& bytes) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    TempStartupFolder m_folder;
    FakeTransport* fake = nullptr;
    clsInstrument record;
    QStringList messages;
};

// ---- Listing lines ----

TEST(DumpListingFormat, LinesAndHeaderAreSeventyFourCharacters) {
    EXPECT_EQ(uclHvif::FormatDumpLine(0x1A0, QStringLiteral("41420000000000000000000000000000")),
              QStringLiteral(
                  "0001A0 41 42 00 00 00 00 00 00  00 00 00 00 00 00 00 00   AB.............."));
    EXPECT_EQ(DumpListing::SectionHeader(),
              QStringLiteral(
                  "Adrs   +0 +1 +2 +3 +4 +5 +6 +7  +8 +9 +A +B +C +D +E +F   List Of ASCII   "));
    EXPECT_EQ(DumpListing::SectionHeader().size(), 74);
    EXPECT_EQ(DumpListing::SectionRule(), QString(74, u'-'));
    EXPECT_EQ(uclHvif::FormatDumpLine(0x7FF0, QStringLiteral("1F207E7F")),
              QStringLiteral(
                  "007FF0 1F 20 7E 7F FF FF FF FF  FF FF FF FF FF FF FF FF   . ~............."))
        << "short data is completed with F";
}

// ---- Binary image ----

TEST_F(DumpTest, CompleteDumpRewritesTheImageWithTheDetectorMemory) {
    connectSim();
    const QString image = path("KM71.DAT");
    writeFile(image, QByteArray(100, 'x'));
    ASSERT_TRUE(link->GetBinDump(image, 0, 511));
    const QByteArray bytes = readFile(image);
    const QByteArray memory = detector->memoryImage();
    ASSERT_EQ(bytes.size(), uclHvif::kImageSize);
    // The detector's working area (clock, counters) changes while it is read.
    const int work = 0x7000, workEnd = 0x7F80;
    EXPECT_TRUE(bytes.left(work) == memory.left(work));
    EXPECT_TRUE(bytes.mid(workEnd) == memory.mid(workEnd));
    const QList<QByteArray> frames = detector->receivedFrames();
    ASSERT_EQ(frames.size(), 512);
    EXPECT_EQ(frames.at(10), Request("EP,R,000A"));
    EXPECT_EQ(frames.last(), Request("EP,R,01FF"));
    EXPECT_EQ(messages.first(), QStringLiteral("Initialize Local Image"));
    EXPECT_EQ(messages.last(), QStringLiteral("Get FLASH Image 01FF"));
    EXPECT_EQ(link->Status(), 6);
}

TEST_F(DumpTest, PartialDumpPatchesOnlyItsBlocks) {
    connectSim();
    const QString image = path("KM71.DAT");
    const QByteArray before(uclHvif::kImageSize, '\x5A');
    writeFile(image, before);
    ASSERT_TRUE(link->GetBinDump(image, 16, 16));
    const QByteArray after = readFile(image);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after.left(1024), before.left(1024));
    EXPECT_EQ(after.mid(1024, 64), detector->memoryImage().mid(1024, 64));
    EXPECT_EQ(after.mid(1088), before.mid(1088));

    // Without a file, a partial dump starts from a blank image.
    const QString fresh = path("fresh.DAT");
    ASSERT_TRUE(link->GetBinDump(fresh, 2, 2));
    const QByteArray made = readFile(fresh);
    ASSERT_EQ(made.size(), uclHvif::kImageSize);
    EXPECT_EQ(made.left(128), QByteArray(128, '\xFF'));
    EXPECT_EQ(made.mid(128, 64), detector->memoryImage().mid(128, 64));
    EXPECT_EQ(made.mid(192), QByteArray(uclHvif::kImageSize - 192, '\xFF'));
}

TEST_F(DumpTest, InfraredDumpStoresBlocksThroughTheTransport) {
    detector = std::make_unique<SimDetector>(QStringLiteral("QZ"));
    link->setInfraredTransport(
        std::make_unique<SimTransport>(detector.get(), clock, LinkTransport::Kind::Infrared));
    link->setPortLister([](const QString&) { return QList<SerialPortEntry>{}; });
    link->DetectIrdaModule();
    waitConnected();
    ASSERT_TRUE(link->InfraredActive());
    const int threshold = link->infraredTransport()->receiveThreshold();
    const QString image = path("KM71.DAT");
    ASSERT_TRUE(link->GetBinDump(image, 5, 6));
    const QByteArray bytes = readFile(image);
    ASSERT_EQ(bytes.size(), uclHvif::kImageSize);
    EXPECT_TRUE(bytes.mid(320, 128) == detector->memoryImage().mid(320, 128));
    EXPECT_TRUE(bytes.left(320) == QByteArray(320, '\xFF'));
    EXPECT_EQ(link->infraredTransport()->receiveThreshold(), threshold)
        << "frames after the dump raise their events again";
    record.ClearDatas();
    EXPECT_TRUE(link->GetGasInfo(record));
}

TEST_F(DumpTest, BytesBeyondABlockNeverReachTheNextBlock) {
    // Each block comes with six stray bytes after its 64.
    connectScripted([](const QByteArray& frame) {
        if (!frame.contains("EP,R,")) return QByteArray();
        const int block = frame.mid(10, 4).toInt(nullptr, 16);
        return QByteArray(64, char(block)) + QByteArray(6, '\xEE');
    });
    const QString image = path("KM71.DAT");
    ASSERT_TRUE(link->GetBinDump(image, 0, 3));
    const QByteArray bytes = readFile(image);
    for (int b = 0; b < 4; ++b)
        EXPECT_EQ(bytes.mid(b * 64, 64), QByteArray(64, char(b))) << b;
    EXPECT_EQ(bytes.mid(256, 64), QByteArray(64, '\xFF'));
}

TEST_F(DumpTest, AMissingBlockEndsTheDumpAndAsksForARepeat) {
    connectSim();
    const QString image = path("KM71.DAT");
    // An older whole image: a complete dump starts it afresh, so where nothing arrived it holds
    // 0xFF, never the old bytes.
    writeFile(image, QByteArray(uclHvif::kImageSize, 'x'));
    QObject::connect(detector.get(), &SimDetector::frameReceived, [this](const QByteArray& f) {
        if (f == Request("EP,R,0003")) detector->faults().deadLine = true;
    });
    EXPECT_FALSE(link->GetBinDump(image, 0, 511));
    EXPECT_TRUE(link->BinaryRetry());
    EXPECT_EQ(link->Status(), 2);
    EXPECT_EQ(detector->receivedFrames().last(), Request("EP,R,0003"));
    EXPECT_TRUE(LinkLogText().contains(QStringLiteral("= timeout =")));
    const QByteArray bytes = readFile(image);
    ASSERT_EQ(bytes.size(), uclHvif::kImageSize);
    EXPECT_EQ(bytes.left(192), detector->memoryImage().left(192)) << "blocks already received stay";
    EXPECT_EQ(bytes.mid(192), QByteArray(uclHvif::kImageSize - 192, '\xFF'));
}

TEST_F(DumpTest, BlockNumbersOutsideTheImageAreRefused) {
    connectSim();
    for (auto [first, last] : {std::pair<qint16, qint16>{-1, 0}, {0, 512}, {5, 4}}) {
        EXPECT_FALSE(link->GetBinDump(path("KM71.DAT"), first, last)) << first << "-" << last;
    }
    EXPECT_TRUE(detector->receivedFrames().isEmpty());
    EXPECT_FALSE(QFile::exists(path("KM71.DAT")));
}

// ---- Listing ----

// The listing blocks of the scripted detector: 20 lines in all, then a block without data.
const QList<QByteArray> kListingBlocks = {
    "EF,R,0000,1,128,000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F"
    "202122232425262728292A2B2C2D2E2F303132333435363738393A3B3C3D3E3F"
    "404142434445464748494A4B4C4D4E4F505152535455565758595A5B5C5D5E5F"
    "606162636465666768696A6B6C6D6E6F707172737475767778797A7B7C7D7E7F",
    "EF,R,0080,2,128,808182838485868788898A8B8C8D8E8F909192939495969798999A9B9C9D9E9F"
    "A0A1A2A3A4A5A6A7A8A9AAABACADAEAFB0B1B2B3B4B5B6B7B8B9BABBBCBDBEBF"
    "C0C1C2C3C4C5C6C7C8C9CACBCCCDCECFD0D1D2D3D4D5D6D7D8D9DADBDCDDDEDF"
    "E0E1E2E3E4E5E6E7E8E9EAEBECEDEEEFF0F1F2F3F4F5F6F7F8F9FAFBFCFDFEFF",
    "EF,R,0100,3,32,3031323334353637383941424344454641420000000000000000000000000000",
    "EF,R,0180,4,19,4B4D2D37312064756D70206C696E652E414243",
    "EF,R,0200,5,0",
};

// Answers "EF,R," and its continuations with `blocks`; `onNak` answers a NAK.
std::function<QByteArray(const QByteArray&)> Listing(const QList<QByteArray>& blocks,
                                                     QByteArray onNak = {}) {
    auto next = std::make_shared<int>(0);
    return [blocks, next, onNak](const QByteArray& frame) -> QByteArray {
        if (frame == Request("EF,R,"))
            *next = 0;
        else if (frame == kNak && !onNak.isEmpty())
            return onNak;
        else if (frame == kAck)
            ++*next;
        else
            return {};
        if (*next >= blocks.size()) return {};
        const QByteArray& text = blocks.at(*next);
        return *next + 1 < blocks.size() ? Block(text) : Reply(text);
    };
}

TEST_F(DumpTest, ListingFileHoldsSectionsOfSixteenLines) {
    connectScripted(Listing(kListingBlocks));
    const QString file = path("DumpEF.dat");
    writeFile(file, "an older listing");
    const QDateTime start = clock->currentDateTime();
    ASSERT_TRUE(link->GetRomDump2(file));

    const QString header = DumpListing::SectionHeader();
    const QString rule(74, u'-');
    QStringList lines = {
        QStringLiteral(";\tKM-71 Data Logger Program"),
        QStringLiteral(";\tFlush ROM Dump (EF) List ") + GeneralDateText(start),
        QStringLiteral(";\tNorvane Co.,Ltd."),
        QString(),
        header,
        rule,
        R"(000000 00 01 02 03 04 05 06 07  08 09 0A 0B 0C 0D 0E 0F   ................)",
        R"(000010 10 11 12 13 14 15 16 17  18 19 1A 1B 1C 1D 1E 1F   ................)",
        R"(000020 20 21 22 23 24 25 26 27  28 29 2A 2B 2C 2D 2E 2F    !"#$%&'()*+,-./)",
        R"(000030 30 31 32 33 34 35 36 37  38 39 3A 3B 3C 3D 3E 3F   0123456789:;<=>?)",
        R"(000040 40 41 42 43 44 45 46 47  48 49 4A 4B 4C 4D 4E 4F   @ABCDEFGHIJKLMNO)",
        R"(000050 50 51 52 53 54 55 56 57  58 59 5A 5B 5C 5D 5E 5F   PQRSTUVWXYZ[\]^_)",
        R"(000060 60 61 62 63 64 65 66 67  68 69 6A 6B 6C 6D 6E 6F   `abcdefghijklmno)",
        R"(000070 70 71 72 73 74 75 76 77  78 79 7A 7B 7C 7D 7E 7F   pqrstuvwxyz{|}~.)",
        R"(000080 80 81 82 83 84 85 86 87  88 89 8A 8B 8C 8D 8E 8F   ................)",
        R"(000090 90 91 92 93 94 95 96 97  98 99 9A 9B 9C 9D 9E 9F   ................)",
        R"(0000A0 A0 A1 A2 A3 A4 A5 A6 A7  A8 A9 AA AB AC AD AE AF   ................)",
        R"(0000B0 B0 B1 B2 B3 B4 B5 B6 B7  B8 B9 BA BB BC BD BE BF   ................)",
        R"(0000C0 C0 C1 C2 C3 C4 C5 C6 C7  C8 C9 CA CB CC CD CE CF   ................)",
        R"(0000D0 D0 D1 D2 D3 D4 D5 D6 D7  D8 D9 DA DB DC DD DE DF   ................)",
        R"(0000E0 E0 E1 E2 E3 E4 E5 E6 E7  E8 E9 EA EB EC ED EE EF   ................)",
        R"(0000F0 F0 F1 F2 F3 F4 F5 F6 F7  F8 F9 FA FB FC FD FE FF   ................)",
        QString(),
        header,
        rule,
        R"(000100 30 31 32 33 34 35 36 37  38 39 41 42 43 44 45 46   0123456789ABCDEF)",
        R"(000110 41 42 00 00 00 00 00 00  00 00 00 00 00 00 00 00   AB..............)",
        R"(000180 4B 4D 2D 37 31 20 64 75  6D 70 20 6C 69 6E 65 2E   KM-71 dump line.)",
        R"(000190 41 42 43 FF FF FF FF FF  FF FF FF FF FF FF FF FF   ABC.............)",
    };
    for (int address = 0x1A0; address <= 0x250; address += 16)
        lines << QStringLiteral(
                     "%1 FF FF FF FF FF FF FF FF  FF FF FF FF FF FF FF FF   ................")
                     .arg(address, 6, 16, QLatin1Char('0'))
                     .toUpper();
    lines << QString() << QString() << QStringLiteral(";\tTotal Download Time = 00:00:00");
    EXPECT_EQ(readFile(file),
              (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toLatin1());
    EXPECT_EQ(messages, (QStringList{QStringLiteral("Get Dump 000000-0000FF"),
                                     QStringLiteral("Get Dump 000100-00025F")}));
    EXPECT_EQ(fake->written.count(kAck), kListingBlocks.size() - 1);
    EXPECT_TRUE(LinkLogText().contains(QStringLiteral("--- Dump List Download Started. ---(")));
}

TEST_F(DumpTest, AMalformedBlockIsAskedForAgain) {
    const QByteArray good = "EF,R,0000,1,16,41424344454647484950515253545556";
    connectScripted(Listing({"EF,R,0000,1,16,4142434445464748495051525354555G"}, Reply(good)));
    const QString file = path("DumpEF.dat");
    ASSERT_TRUE(link->GetRomDump2(file));
    EXPECT_TRUE(fake->written.contains(kNak));
    const QByteArray listing = readFile(file);
    EXPECT_TRUE(listing.contains("000000 41 42 43 44 45 46 47 48  49 50 51 52 53 54 55 56"));
    EXPECT_FALSE(listing.contains(" 5G")) << "the damaged data never reaches the listing";
}

TEST_F(DumpTest, AFailedListingStillClosesTheFileWithWhatArrived) {
    // One block with more to follow, then silence.
    connectScripted([](const QByteArray& frame) {
        return frame == Request("EF,R,") ? Block(kListingBlocks.at(2)) : QByteArray();
    });
    const QString file = path("DumpEF.dat");
    EXPECT_FALSE(link->GetRomDump2(file));
    EXPECT_EQ(link->Status(), 2);
    const QString listing = QString::fromLatin1(readFile(file));
    EXPECT_TRUE(listing.contains(QStringLiteral("\r\n000100 30 31 32 33 ")));
    EXPECT_TRUE(listing.contains(QStringLiteral("\r\n000110 41 42 00 00 ")));
    EXPECT_TRUE(listing.contains(QStringLiteral("\r\n0001F0 FF FF FF FF ")));
    EXPECT_TRUE(listing.contains(QStringLiteral("\r\n\r\n\r\n;\tTotal Download Time = ")));
    EXPECT_TRUE(listing.endsWith(QStringLiteral("\r\n")));
    EXPECT_FALSE(LinkLogText().contains(QStringLiteral("Dump List Download Finished")));
}

TEST_F(DumpTest, AListingThatCannotBeWrittenSendsNothing) {
    connectScripted(Listing(kListingBlocks));
    EXPECT_FALSE(link->GetRomDump2(m_folder.filePath(QStringLiteral("missing/DumpEF.dat"))));
    EXPECT_TRUE(fake->written.isEmpty());
}

TEST_F(DumpTest, TheWholeMemoryListsAsOneHundredTwentyEightSections) {
    connectSim();
    const QString file = path("DumpEF.dat");
    ASSERT_TRUE(link->GetRomDump2(file));
    const QString listing = QString::fromLatin1(readFile(file));
    EXPECT_EQ(listing.count(DumpListing::SectionHeader()), 128);
    // The detector sends the memory in 256 blocks of 128 bytes; each but the last is continued
    // with an acknowledgement.
    EXPECT_EQ(detector->receivedFrames().count(kAck), 255);
    const QByteArray memory = detector->memoryImage();
    EXPECT_TRUE(listing.contains(uclHvif::FormatDumpLine(
        0x7FF0, QString::fromLatin1(memory.mid(0x7FF0).toHex().toUpper()))));
    EXPECT_EQ(messages.last(), QStringLiteral("Get Dump 007F00-007FFF"));
}

} // namespace
