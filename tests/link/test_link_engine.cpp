// The link engine tick by tick: frame loop, continuation, retries, supervision, events.
#include "LinkTestSupport.h"

#include "link/LinkEngine.h"

#include <gtest/gtest.h>

using namespace linktest;

namespace {

class LinkEngineTest : public ::testing::Test {
public:
    RecordingHost host;
    LinkEngine engine{host};

    void SetUp() override {
        engine.setRetry(3);
        engine.setTimeoutTicks(30);
        engine.setLinkState(LinkStates::Connected);
        engine.setStatus(LinkStatus::Idle);
    }
    // An operation sends a request and waits with `status`.
    void send(const QByteArray& text, int status) {
        engine.setStatus(status);
        engine.DataSend(Request(text), true);
        host.written.clear();
        host.events.clear();
    }
    void serial(const QByteArray& bytes) {
        host.serialInput += bytes;
        engine.SerialEvent(CommEvent::DataReceived);
    }
    void infrared(const QByteArray& bytes) {
        host.infraredInput += bytes;
        engine.InfraredEvent(CommEvent::DataReceived);
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i)
            engine.Tick();
    }
};

// ---- Frame loop ----

TEST_F(LinkEngineTest, ReplySplitOverSeveralEventsIsParsedOnceComplete) {
    send("XS,R,", LinkStatus::ReadWait);
    const QByteArray reply = Reply("XS,R,STATION-01");
    serial(reply.left(4));
    serial(reply.mid(4, 9));
    EXPECT_TRUE(host.parsed.isEmpty());
    EXPECT_EQ(engine.Status(), LinkStatus::ReadWait);
    serial(reply.mid(13));
    ASSERT_EQ(host.parsed.size(), 1);
    EXPECT_EQ(host.parsed[0], reply);
    EXPECT_EQ(engine.Status(), LinkStatus::Completed);
    EXPECT_TRUE(engine.RxBuffer().isEmpty());
}

TEST_F(LinkEngineTest, TwoFramesInOneEventAreBothParsedInOrder) {
    send("XS,R,", LinkStatus::ReadWait);
    const QByteArray first = Reply("XS,R,AAA");
    const QByteArray second = Reply("XS,R,BBB");
    serial(first + second);
    ASSERT_EQ(host.parsed.size(), 2);
    EXPECT_EQ(host.parsed[0], first);
    EXPECT_EQ(host.parsed[1], second);
    EXPECT_EQ(engine.Status(), LinkStatus::Completed);
    EXPECT_TRUE(engine.RxBuffer().isEmpty());
}

TEST_F(LinkEngineTest, CrInsideAFrameStillArrivingIsNotAGarbledLine) {
    send("HA,R,", LinkStatus::ReadWait);
    const QByteArray reply = Reply("HA,R,0001\r0002\r0003");
    const qsizetype cut = reply.indexOf('\r') + 1;
    serial(reply.left(cut));
    EXPECT_TRUE(host.written.isEmpty()) << "the request must not be repeated";
    serial(reply.mid(cut));
    ASSERT_EQ(host.parsed.size(), 1);
    EXPECT_EQ(host.parsed[0], reply);
    EXPECT_EQ(engine.Status(), LinkStatus::Completed);
}

TEST_F(LinkEngineTest, MultiBlockReplyIsAcknowledgedWithTheExactContinuationFrame) {
    send("SO,R,", LinkStatus::ReadWait);
    serial(Block("SO,R,250107093000"));
    ASSERT_EQ(host.written.size(), 1);
    QByteArray expected;
    expected.append(Ctl::STX).append("0001SO,R,").append(Ctl::ACK).append(Ctl::ETX);
    expected.append(FrameChecksum(expected)).append(Ctl::ETB);
    EXPECT_EQ(host.written[0], expected);
    EXPECT_EQ(engine.Status(), LinkStatus::ReadWait) << "unchanged while blocks follow";
    EXPECT_EQ(engine.RetryCount(), 0);
    serial(Reply("SO,R,00050  0050"));
    EXPECT_EQ(engine.Status(), LinkStatus::Completed);
    EXPECT_EQ(host.parsed.size(), 2);
}

TEST_F(LinkEngineTest, ContinuationOfAnIhRequestKeepsSevenCharacters) {
    EXPECT_EQ(LinkEngine::ContinuationRequest(Request("EF,IH,R,"), Ctl::ACK),
              BuildFrame(QByteArray("EF,IH,R") + Ctl::ACK, Ctl::ETB));
    EXPECT_EQ(LinkEngine::ContinuationRequest(Request("EF,R,"), Ctl::NAK),
              BuildFrame(QByteArray("EF,R,") + Ctl::NAK, Ctl::ETB));
}

TEST_F(LinkEngineTest, BadBlockOfADumpListingIsAskedForAgainWithNak) {
    send("EF,R,", LinkStatus::DumpListing);
    serial(Corrupt(Block("EF,R,1,0,0011223344")));
    ASSERT_EQ(host.written.size(), 1);
    EXPECT_EQ(host.written[0], BuildFrame(QByteArray("EF,R,") + Ctl::NAK, Ctl::ETB));
    EXPECT_EQ(engine.Status(), LinkStatus::DumpListing);
    EXPECT_EQ(engine.RetryCount(), 1);
}

TEST_F(LinkEngineTest, BadReplyToAReadRepeatsTheWholeRequest) {
    send("XS,R,", LinkStatus::ReadWait);
    serial(Corrupt(Reply("XS,R,ABC")));
    ASSERT_EQ(host.written.size(), 1);
    EXPECT_EQ(host.written[0], Request("XS,R,"));
    EXPECT_EQ(engine.RetryCount(), 1);
    EXPECT_EQ(engine.Status(), LinkStatus::ReadWait);
}

TEST_F(LinkEngineTest, BadRepliesFailTheExchangeWhenRetriesRunOut) {
    send("XS,R,", LinkStatus::ReadWait);
    for (int i = 0; i < 3; ++i)
        serial(Corrupt(Reply("XS,R,ABC")));
    EXPECT_EQ(host.written.size(), 3);
    EXPECT_EQ(engine.Status(), LinkStatus::ReadWait);
    serial(Corrupt(Reply("XS,R,ABC")));
    EXPECT_EQ(host.written.size(), 3) << "no fourth repeat";
    EXPECT_EQ(engine.Status(), LinkStatus::Failed);
}

TEST_F(LinkEngineTest, RetryZeroFailsOnTheFirstBadReply) {
    engine.setRetry(0);
    send("XS,R,", LinkStatus::ReadWait);
    serial(Corrupt(Reply("XS,R,ABC")));
    EXPECT_TRUE(host.written.isEmpty());
    EXPECT_EQ(engine.Status(), LinkStatus::Failed);
}

TEST_F(LinkEngineTest, RetryZeroFailsOnTheFirstMissingReply) {
    engine.setRetry(0);
    engine.setTimeoutTicks(0);
    send("XS,R,", LinkStatus::ReadWait);
    engine.Tick();
    EXPECT_EQ(engine.Status(), LinkStatus::Failed);
    EXPECT_TRUE(host.written.isEmpty());
}

TEST_F(LinkEngineTest, OneShotRequestsAreNeverRepeatedAfterABadReply) {
    for (const QByteArray text : {"UX,W,", "XC,W,", "SZ,W,0", "S1,W,"}) {
        SCOPED_TRACE(text.constData());
        host.written.clear();
        send(text, LinkStatus::WriteWait);
        serial(Corrupt(Reply(text.left(5) + Ctl::ACK)));
        EXPECT_TRUE(host.written.isEmpty());
        EXPECT_EQ(engine.RetryCount(), 1);
        EXPECT_EQ(engine.Status(), LinkStatus::WriteWait);
    }
}

TEST_F(LinkEngineTest, GarbledLineEndedByCrRepeatsTheRequestThenFails) {
    send("XS,R,", LinkStatus::ReadWait);
    serial("noise\r");
    ASSERT_EQ(host.written.size(), 1);
    EXPECT_EQ(host.written[0], Request("XS,R,"));
    EXPECT_TRUE(host.hostEvents().isEmpty()) << "the first repeat raises no ConnectRetry";
    serial("noise\r");
    serial("noise\r");
    EXPECT_EQ(host.written.size(), 3);
    EXPECT_EQ(host.hostEvents(),
              QStringList({QStringLiteral("ConnectRetry:2"), QStringLiteral("ConnectRetry:3")}));
    serial("noise\r");
    EXPECT_EQ(host.written.size(), 3);
    EXPECT_EQ(engine.Status(), LinkStatus::Failed);
}

TEST_F(LinkEngineTest, AGarbledLineNeverMakesTheLinkSendAOneShotRequestTwice) {
    const struct {
        const char* text;
        bool repeated;
    } rows[] = {
        {"UX,W,", false}, {"XC,W,", false},          {"SZ,W,0", false},
        {"S1,W,", false}, {"XS,W,STATION-01", true}, // an ordinary write is repeated
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        const QByteArray text(row.text);
        host = RecordingHost();
        engine.setStatus(LinkStatus::WriteWait);
        engine.DataSend(Request(text), true);
        // The answer's frame end is lost: the line ends with CR after ETX.
        const QByteArray answer = Reply(text.left(5) + Ctl::ACK);
        serial(answer.left(answer.indexOf(Ctl::ETX) + 1) + Ctl::CR);
        EXPECT_EQ(host.written.count(Request(text)), row.repeated ? 2 : 1);
        EXPECT_EQ(engine.RetryCount(), 1);
        EXPECT_TRUE(engine.RxBuffer().isEmpty()) << "the garbled line counts once";
        EXPECT_EQ(engine.Status(), LinkStatus::WriteWait);
        // A good answer that follows is still taken.
        serial(answer);
        EXPECT_EQ(engine.Status(), LinkStatus::Completed);
    }
}

TEST_F(LinkEngineTest, CancelEndsTheExchangeAtTheNextDataAndATimeoutMakesItIdle) {
    send("XS,R,", LinkStatus::ReadWait);
    engine.setCancel(true);
    serial(Reply("XS,R,ABC"));
    EXPECT_EQ(engine.Status(), LinkStatus::Cancelled);
    EXPECT_TRUE(host.parsed.isEmpty());
    EXPECT_TRUE(engine.RxBuffer().isEmpty());
    // 30 ticks of countdown, then three repeats that send nothing, then 8 -> 2.
    ticks(30 + 3);
    EXPECT_EQ(engine.Status(), LinkStatus::Cancelled);
    EXPECT_TRUE(host.written.isEmpty());
    engine.Tick();
    EXPECT_EQ(engine.Status(), LinkStatus::Idle);
}

// ---- Status table ----

struct StatusRow {
    const char* name;
    int from;
    std::function<void(LinkEngineTest&)> event;
    int to;
};

class StatusTable : public LinkEngineTest {
public:
    void run(const StatusRow& row) {
        engine.setLinkState(LinkStates::Connected);
        engine.setRetry(1);
        engine.setTimeoutTicks(0);
        engine.DataSend(Request("XS,R,"), true);
        engine.setStatus(row.from);
        row.event(*this);
        EXPECT_EQ(engine.Status(), row.to) << row.name << " from " << row.from;
    }
    void dataEvent(const QByteArray& bytes) { serial(bytes); }
    void rejectedTwice() {
        serial(Corrupt(Reply("XS,R,A")));
        serial(Corrupt(Reply("XS,R,A")));
    }
    void timedOutTwice() { ticks(2); }
    void lineDrop() {
        host.modem = ModemLine::Cts;
        engine.SerialEvent(CommEvent::CtsChanged);
        host.modem = 0;
        engine.SerialEvent(CommEvent::CtsChanged);
    }
};

TEST_F(StatusTable, EveryRow) {
    auto accepted = [](LinkEngineTest& t) {
        static_cast<StatusTable&>(t).dataEvent(Reply("XS,R,ABC"));
    };
    auto block = [](LinkEngineTest& t) {
        static_cast<StatusTable&>(t).dataEvent(Block("XS,R,ABC"));
    };
    auto rejected = [](LinkEngineTest& t) { static_cast<StatusTable&>(t).rejectedTwice(); };
    auto timedOut = [](LinkEngineTest& t) { static_cast<StatusTable&>(t).timedOutTwice(); };
    auto cancelled = [](LinkEngineTest& t) {
        t.engine.setCancel(true);
        static_cast<StatusTable&>(t).dataEvent(Reply("XS,R,ABC"));
    };
    auto code = [](int c) { return [c](LinkEngineTest& t) { t.engine.SerialEvent(c); }; };
    auto irCode = [](int c) { return [c](LinkEngineTest& t) { t.engine.InfraredEvent(c); }; };
    auto lineDrop = [](LinkEngineTest& t) { static_cast<StatusTable&>(t).lineDrop(); };

    const StatusRow rows[] = {
        {"accepted EOT", 3, accepted, 6},
        {"accepted EOT", 4, accepted, 6},
        {"accepted EOT", 5, accepted, 6},
        {"accepted ETB", 3, block, 3},
        {"accepted ETB", 4, block, 4},
        {"accepted ETB", 5, block, 5},
        {"rejected, retries exhausted", 3, rejected, 7},
        {"rejected, retries exhausted", 4, rejected, 7},
        {"rejected, retries exhausted", 5, rejected, 7},
        {"timeout exhausted", 0, timedOut, 7},
        {"timeout exhausted", 3, timedOut, 7},
        {"timeout exhausted", 4, timedOut, 7},
        {"timeout exhausted", 5, timedOut, 7},
        {"timeout exhausted", 7, timedOut, 7},
        {"timeout exhausted", 2, timedOut, 2},
        {"timeout exhausted", 6, timedOut, 6},
        {"timeout exhausted", 8, timedOut, 2},
        {"data while Cancel", 4, cancelled, 8},
        {"data while Cancel", 6, cancelled, 8},
        {"framing error", 6, code(CommEvent::FramingError), 7},
        {"overrun", 4, code(CommEvent::PortOverrun), 7},
        {"receive overflow", 2, code(CommEvent::ReceiveOverflow), 7},
        {"parity error", 5, code(CommEvent::ParityError), 7},
        {"infrared socket error", 6, irCode(CommEvent::SocketError), 7},
        {"other infrared error", 4, irCode(1099), 7},
        {"break", 4, code(CommEvent::Break), 4},
        // A quiet link is left "completed"; an exchange that was waiting has failed.
        {"line drop, idle", 2, lineDrop, 6},
        {"line drop, waiting", 4, lineDrop, 7},
        {"send buffer full, idle", 6, code(CommEvent::SendBufferFull), 6},
        {"send buffer full, waiting", 5, code(CommEvent::SendBufferFull), 7},
        {"device control error, idle", 2, code(CommEvent::DeviceControlError), 6},
        {"device control error, waiting", 3, code(CommEvent::DeviceControlError), 7},
    };
    for (const StatusRow& row : rows) {
        host = RecordingHost();
        engine.setCancel(false);
        run(row);
    }
}

TEST_F(LinkEngineTest, SendBufferFullIsIgnoredWhileConnecting) {
    engine.setLinkState(LinkStates::Connecting);
    engine.setStatus(LinkStatus::ReadWait);
    engine.SerialEvent(CommEvent::SendBufferFull);
    EXPECT_EQ(engine.Status(), LinkStatus::ReadWait);
    EXPECT_EQ(engine.CommErrorCount(), 0);
    EXPECT_TRUE(host.logLines.isEmpty());
}

TEST_F(LinkEngineTest, PortErrorsAreCountedAndLoggedWithTheDate) {
    const struct {
        int code;
        const char* line;
    } rows[] = {
        {CommEvent::Break, "Break Signal Found. Date = 1/7/25 9:30:00 AM"},
        {CommEvent::FramingError, "Flame Error. Date = 1/7/25 9:30:00 AM"},
        {CommEvent::PortOverrun, "Port Over Run. Date = 1/7/25 9:30:00 AM"},
        {CommEvent::ReceiveOverflow, "Receive Buffer Over Flow. Date = 1/7/25 9:30:00 AM"},
        {CommEvent::ParityError, "Parity Error. Date = 1/7/25 9:30:00 AM"},
        {CommEvent::SendBufferFull, "Send Buffer Over Flow. Date = 1/7/25 9:30:00 AM"},
        {CommEvent::DeviceControlError, "Device Control Memory Error. Date = 1/7/25 9:30:00 AM"},
    };
    int count = 0;
    for (const auto& row : rows) {
        engine.SerialEvent(row.code);
        EXPECT_EQ(engine.CommErrorCount(), ++count);
        EXPECT_EQ(host.logLines.last(), QString::fromLatin1(row.line));
    }
    engine.SerialEvent(9999);
    EXPECT_EQ(engine.CommErrorCount(), count) << "unknown codes are ignored";
    host.serialInput = Reply("XS,R,A");
    engine.SerialEvent(CommEvent::DataReceived);
    EXPECT_EQ(engine.CommErrorCount(), 0) << "data clears the error count";
}

TEST_F(LinkEngineTest, InfraredErrorsAreLoggedAndRaised) {
    host.socketError = 10060;
    engine.InfraredEvent(CommEvent::SocketError);
    EXPECT_EQ(host.logLines.last(), QStringLiteral("Soket Error[1/7/25 9:30:00 AM](10060)"));
    EXPECT_EQ(host.hostEvents(), QStringList{QStringLiteral("IrDAError:10060")});
    engine.InfraredEvent(1030);
    EXPECT_EQ(host.logLines.last(), QStringLiteral("IrDA Error[1/7/25 9:30:00 AM][1030] (10060)"));
    EXPECT_EQ(engine.CommErrorCount(), 2);
}

// ---- Link state ----

TEST_F(LinkEngineTest, LineUpStartsConnectingAndLineDropGoesOffline) {
    engine.setLinkState(LinkStates::Offline);
    engine.setRetryCount(2);
    host.modem = ModemLine::Dsr;
    engine.SerialEvent(CommEvent::DsrChanged);
    EXPECT_EQ(engine.LinkState(), LinkStates::Connecting);
    EXPECT_EQ(engine.RetryCount(), 0);
    host.modem = ModemLine::Cts;
    engine.SerialEvent(CommEvent::DsrChanged);
    EXPECT_EQ(engine.LinkState(), LinkStates::Connecting) << "one line is enough";
    host.modem = 0;
    engine.SerialEvent(CommEvent::CtsChanged);
    EXPECT_EQ(engine.LinkState(), LinkStates::Offline);
    EXPECT_EQ(host.hostEvents(), QStringList{QStringLiteral("LineDown")});
}

TEST_F(LinkEngineTest, InfraredLinkUpStartsConnectingOnlyWhenOffline) {
    engine.setLinkState(LinkStates::Offline);
    host.serialInput.clear();
    engine.setTickCount(7);
    engine.InfraredEvent(CommEvent::LinkEstablished);
    EXPECT_EQ(engine.LinkState(), LinkStates::Connecting);
    EXPECT_EQ(engine.TickCount(), 0);
    EXPECT_EQ(host.logLines.last(),
              QStringLiteral("71-Series ...Conneted. Date = 1/7/25 9:30:00 AM"));
    engine.setLinkState(LinkStates::Connected);
    const int lines = host.logLines.size();
    engine.InfraredEvent(CommEvent::LinkEstablished);
    EXPECT_EQ(engine.LinkState(), LinkStates::Connected);
    EXPECT_EQ(host.logLines.size(), lines);
}

TEST_F(LinkEngineTest, ConnectSequenceProbesAndConnectsOnTheReply) {
    engine.setLinkState(LinkStates::Connecting);
    engine.setStatus(LinkStatus::Reset);
    engine.setRetryCount(0);
    host.parser = [this](const QByteArray& frame) {
        if (frame.contains("RC,R,")) engine.ConnectReplyAccepted();
        return true;
    };
    engine.Tick();
    ASSERT_EQ(host.written.size(), 1);
    EXPECT_EQ(host.written[0], Request("RC,R,"));
    EXPECT_EQ(engine.Status(), LinkStatus::ReadWait);
    EXPECT_EQ(host.logLines.first(), QStringLiteral("---StartUp Connect Sequence Started---"));
    serial(Reply("RC,R,71-SERIES,KM"));
    EXPECT_EQ(engine.LinkState(), LinkStates::Connected);
    EXPECT_TRUE(engine.Connected());
    EXPECT_EQ(engine.Status(), LinkStatus::Completed);
    EXPECT_EQ(engine.IrPollReload(), 5);
    EXPECT_EQ(host.hostEvents(), QStringList{QStringLiteral("OnConnect")});
    EXPECT_EQ(host.logLines.last(), QStringLiteral("---StartUp Connect Sequence Finished---\r\n"));
    // A later connect reply raises nothing more.
    engine.ConnectReplyAccepted();
    EXPECT_EQ(host.hostEvents().size(), 1);
}

TEST_F(LinkEngineTest, ProbesComeEveryTwelveTicksWithConnectRetryOneAfterFiveAndTwoAfterTen) {
    engine.setLinkState(LinkStates::Connecting);
    engine.setStatus(LinkStatus::Reset);
    engine.setRetry(20);
    QList<int> probeTicks;
    QStringList eventsAtProbe;
    for (int t = 1; probeTicks.size() < 10; ++t) {
        const qsizetype before = host.written.size();
        engine.Tick();
        if (host.written.size() == before) continue;
        probeTicks << t;
        eventsAtProbe << host.hostEvents().join(u' ');
    }
    for (int i = 1; i < 10; ++i)
        EXPECT_EQ(probeTicks[i] - probeTicks[i - 1], 12);
    EXPECT_EQ(eventsAtProbe[3], QString());
    EXPECT_EQ(eventsAtProbe[4], QStringLiteral("ConnectRetry:1"));
    EXPECT_EQ(eventsAtProbe[8], QStringLiteral("ConnectRetry:1"));
    EXPECT_EQ(eventsAtProbe[9], QStringLiteral("ConnectRetry:1 ConnectRetry:2"));
}

TEST_F(LinkEngineTest, UnansweredConnectSequenceGivesUpWithNoResponse) {
    engine.setLinkState(LinkStates::Connecting);
    engine.setStatus(LinkStatus::Reset);
    engine.setRetry(3);
    ticks(3 * 12);
    EXPECT_EQ(host.written.size(), 3);
    EXPECT_EQ(engine.LinkState(), LinkStates::Connecting);
    engine.Tick();
    EXPECT_EQ(engine.LinkState(), LinkStates::Offline);
    EXPECT_EQ(engine.Status(), LinkStatus::Reset);
    EXPECT_EQ(engine.CommErrorCount(), 0);
    EXPECT_EQ(host.hostEvents(),
              QStringList{
                  QStringLiteral("Alarm:71-Series No Response. Check Port,Cable And Power.\r\n")});
    ticks(50);
    EXPECT_EQ(host.written.size(), 3) << "no probes once off-line";
}

TEST_F(LinkEngineTest, ConnectSequenceWithRetryZeroGivesUpOnTheFirstTick) {
    engine.setLinkState(LinkStates::Connecting);
    engine.setStatus(LinkStatus::Reset);
    engine.setRetry(0);
    engine.Tick();
    EXPECT_TRUE(host.written.isEmpty());
    EXPECT_EQ(engine.LinkState(), LinkStates::Offline);
    EXPECT_EQ(host.hostEvents().size(), 1);
}

// ---- Reply timeout ----

TEST_F(LinkEngineTest, MissingReplyIsRepeatedAfterTheTimeoutThenFails) {
    engine.setRetry(2);
    engine.setTimeoutTicks(30);
    send("XS,R,", LinkStatus::ReadWait);
    ticks(30);
    EXPECT_TRUE(host.written.isEmpty());
    engine.Tick();
    ASSERT_EQ(host.written.size(), 1);
    EXPECT_EQ(host.written[0], Request("XS,R,"));
    ticks(31);
    EXPECT_EQ(host.written.size(), 2);
    EXPECT_EQ(engine.Status(), LinkStatus::ReadWait);
    ticks(30);
    EXPECT_EQ(engine.Status(), LinkStatus::ReadWait);
    engine.Tick();
    EXPECT_EQ(engine.Status(), LinkStatus::Failed);
    EXPECT_FALSE(engine.RxSinceSend());
    EXPECT_EQ(host.written.size(), 2);
}

TEST_F(LinkEngineTest, OneShotRequestsFailAfterRetryTicksWithoutBeingRepeated) {
    engine.setRetry(3);
    engine.setTimeoutTicks(10);
    for (const QByteArray text : {"UX,W,", "XC,W,", "SZ,W,0", "S1,W,"}) {
        SCOPED_TRACE(text.constData());
        send(text, LinkStatus::WriteWait);
        ticks(10 + 3);
        EXPECT_EQ(engine.Status(), LinkStatus::WriteWait);
        engine.Tick();
        EXPECT_EQ(engine.Status(), LinkStatus::Failed);
        EXPECT_TRUE(host.written.isEmpty());
    }
}

TEST_F(LinkEngineTest, DumpListingTimeoutRepeatsTheRequestOrItsLastContinuation) {
    engine.setTimeoutTicks(0);
    send("EF,R,", LinkStatus::DumpListing);
    engine.Tick();
    ASSERT_EQ(host.written.size(), 1);
    EXPECT_EQ(host.written[0], Request("EF,R,"));
    serial(Block("EF,R,1,0,00112233"));
    host.written.clear();
    engine.Tick();
    ASSERT_EQ(host.written.size(), 1);
    EXPECT_EQ(host.written[0], BuildFrame(QByteArray("EF,R,") + Ctl::NAK, Ctl::ETB));
}

TEST_F(LinkEngineTest, BinaryBlockTimeoutAsksForARetry) {
    engine.setTimeoutTicks(0);
    send("EP,R,000A", LinkStatus::BinaryDump);
    engine.Tick();
    EXPECT_TRUE(host.written.isEmpty());
    EXPECT_EQ(host.logLines.last(), QStringLiteral("= timeout ="));
    EXPECT_TRUE(engine.BinaryRetry());
    EXPECT_TRUE(engine.Cancel());
}

TEST_F(LinkEngineTest, TimeoutsAreSupervisedOnlyWhileConnected) {
    engine.setTimeoutTicks(0);
    engine.setLinkState(LinkStates::Offline);
    send("XS,R,", LinkStatus::WriteWait);
    ticks(20);
    EXPECT_EQ(engine.Status(), LinkStatus::WriteWait);
    EXPECT_TRUE(host.written.isEmpty());
}

// ---- Infrared poll ----

TEST_F(LinkEngineTest, InfraredIsPolledEveryTickUntilConnectedThenEverySixth) {
    engine.setLinkState(LinkStates::Offline);
    ticks(10);
    EXPECT_EQ(host.polls, 10);
    engine.ConnectReplyAccepted();
    host.polls = 0;
    ticks(60);
    EXPECT_EQ(host.polls, 10);
}

// ---- Binary dump blocks ----

TEST_F(LinkEngineTest, SerialDumpBytesGoToTheirBlockAndNothingBeyondIt) {
    engine.setDumpOffset(10 * 64);
    engine.setDumpSize(64);
    engine.setDumpReceived(0);
    send("EP,R,000A", LinkStatus::BinaryDump);
    serial(QByteArray(40, 'a'));
    EXPECT_EQ(engine.Status(), LinkStatus::BinaryDump);
    serial(QByteArray(30, 'b')); // 6 bytes too many
    ASSERT_EQ(host.dumpWrites.size(), 2);
    EXPECT_EQ(host.dumpWrites[0].first, 640);
    EXPECT_EQ(host.dumpWrites[0].second, QByteArray(40, 'a'));
    EXPECT_EQ(host.dumpWrites[1].first, 680);
    EXPECT_EQ(host.dumpWrites[1].second, QByteArray(24, 'b'));
    EXPECT_EQ(engine.DumpReceived(), 64);
    EXPECT_EQ(engine.Status(), LinkStatus::Completed);
    EXPECT_TRUE(host.parsed.isEmpty());
    EXPECT_TRUE(engine.RxBuffer().isEmpty());
}

TEST_F(LinkEngineTest, InfraredDumpInputIsStoredAtTheBlockPosition) {
    engine.setDumpOffset(128);
    engine.setDumpSize(64);
    engine.setDumpReceived(0);
    send("EP,R,0002", LinkStatus::BinaryDump);
    infrared(QByteArray(70, 'x'));
    ASSERT_EQ(host.dumpWrites.size(), 1);
    EXPECT_EQ(host.dumpWrites[0].first, 128);
    EXPECT_EQ(host.dumpWrites[0].second.size(), 64);
    EXPECT_EQ(engine.Status(), LinkStatus::Completed);
    EXPECT_EQ(host.events.last(), QStringLiteral("StsIdle"));
}

TEST_F(LinkEngineTest, InfraredDataRunsTheSameFrameLoop) {
    send("XS,R,", LinkStatus::ReadWait);
    infrared(Reply("XS,R,ABC"));
    EXPECT_EQ(engine.Status(), LinkStatus::Completed);
    EXPECT_TRUE(engine.RxSinceSend());
    EXPECT_EQ(host.events, QStringList({QStringLiteral("StsTransmit"), QStringLiteral("StsIdle")}));
}

// ---- Sending and logging ----

TEST_F(LinkEngineTest, DataSendLogsTheRenderedFrameAndResetsState) {
    engine.setRetryCount(2);
    serial("partial");
    ASSERT_FALSE(engine.RxBuffer().isEmpty());
    EXPECT_TRUE(engine.RxSinceSend());
    engine.DataSend(Request("XS,R,"), false);
    EXPECT_TRUE(engine.RxBuffer().isEmpty());
    EXPECT_FALSE(engine.RxSinceSend());
    EXPECT_EQ(engine.LastFrame(), Request("XS,R,"));
    EXPECT_EQ(engine.TimeoutCountdown(), 30);
    EXPECT_EQ(engine.RetryCount(), 2);
    EXPECT_EQ(host.logLines.last(), QStringLiteral("W : [STX]0001XS,R,[ETX]") +
                                        QString::fromLatin1(FrameChecksum("\x02"
                                                                          "0001XS,R,\x03")) +
                                        QStringLiteral("[EOT]"));
    engine.DataSend(Request("XS,R,"), true);
    EXPECT_EQ(engine.RetryCount(), 0);
}

TEST_F(LinkEngineTest, ReceivedFramesAreLogged) {
    send("XS,R,", LinkStatus::ReadWait);
    serial(Reply("XS,R,AB"));
    EXPECT_TRUE(host.logLines.last().startsWith(QStringLiteral("R : [STX]0001XS,R,AB[ETX]")));
    EXPECT_TRUE(host.logLines.last().endsWith(QStringLiteral("[EOT]")));
}

} // namespace
