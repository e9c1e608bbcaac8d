// Fault injection of the simulated detector.
#include "SimHost.h"

#include <gtest/gtest.h>

namespace {

// Sends `count` reads and returns how many were answered at once.
int AnsweredOf(SimHost& host, int count) {
    int answered = 0;
    for (int i = 0; i < count; ++i)
        answered += int(host.request("XS,R,").size());
    return answered;
}

TEST(SimFaults, DropNthAndEvery) {
    SimHost nth;
    nth.sim.faults().dropNth = 2;
    EXPECT_FALSE(nth.request("XS,R,").isEmpty());
    EXPECT_TRUE(nth.request("XS,R,").isEmpty());
    EXPECT_FALSE(nth.request("XS,R,").isEmpty());
    EXPECT_EQ(nth.sim.faultsInjected(), 1);

    SimHost every;
    every.sim.faults().dropEvery = 3;
    EXPECT_EQ(AnsweredOf(every, 9), 6);
    EXPECT_EQ(every.sim.faultsInjected(), 3);
    EXPECT_EQ(every.sim.receivedFrames().size(), 9); // requests are still taken
}

TEST(SimFaults, DelayReleasesRepliesInOrderOnTheSimClock) {
    SimHost host;
    host.sim.faults().delayMs = 100;
    EXPECT_EQ(host.sim.nextDueMs(), -1);
    host.sim.receive(BuildFrame("XS,R,"));
    host.sim.receive(BuildFrame("IN,R,"));
    EXPECT_TRUE(host.received.isEmpty());
    EXPECT_EQ(host.sim.nextDueMs(), host.now + 100);
    host.now += 99;
    host.sim.poll();
    EXPECT_TRUE(host.received.isEmpty());
    host.now += 1;
    host.sim.poll();
    const QList<HostFrame> frames = host.takeFrames();
    ASSERT_EQ(frames.size(), 2);
    EXPECT_TRUE(frames[0].text.startsWith("XS,R,"));
    EXPECT_TRUE(frames[1].text.startsWith("IN,R,"));
    EXPECT_EQ(host.sim.nextDueMs(), -1);
    EXPECT_EQ(host.sim.faultsInjected(), 2);
}

TEST(SimFaults, SplitSendsChunks) {
    SimHost host;
    host.sim.faults().splitChunk = 4;
    const QList<HostFrame> frames = host.request("GJ,R,");
    ASSERT_EQ(frames.size(), 1);
    EXPECT_TRUE(frames[0].checksumOk);
    EXPECT_EQ(frames[0].text, "GJ,R,CH4   100    1%LEL");
    const qsizetype size = BuildFrame("GJ,R,CH4   100    1%LEL").size();
    EXPECT_EQ(host.emissions, (size + 3) / 4); // pieces of at most 4 bytes
}

TEST(SimFaults, CorruptGivesAWrongChecksum) {
    SimHost host;
    host.sim.faults().corruptNth = 1;
    QList<HostFrame> f = host.request("XS,R,");
    ASSERT_EQ(f.size(), 1);
    EXPECT_FALSE(f[0].checksumOk);
    EXPECT_TRUE(f[0].text.startsWith("XS,R,"));
    f = host.request("XS,R,");
    ASSERT_EQ(f.size(), 1);
    EXPECT_TRUE(f[0].checksumOk);

    SimHost every;
    every.sim.faults().corruptEvery = 2;
    int bad = 0;
    for (int i = 0; i < 6; ++i)
        bad += int(!every.request("XS,R,").value(0).checksumOk);
    EXPECT_EQ(bad, 3);
    // A binary dump block has no checksum: its first byte is damaged instead.
    SimHost dump;
    dump.sim.faults().corruptNth = 1;
    dump.sim.receive(BuildFrame("EP,R,0000"));
    ASSERT_EQ(dump.received.size(), 64);
    EXPECT_EQ(char(~dump.received.at(0)), dump.sim.memoryImage().at(0));
}

TEST(SimFaults, WrongEchoChangesOnlyTheEchoOfWrites) {
    SimHost host;
    host.sim.faults().wrongEchoNth = 1;
    EXPECT_EQ(host.ask("AP,R,"), "AP,R,0001"); // reads do not count
    const QList<HostFrame> f = host.request("AP,W,16");
    ASSERT_EQ(f.size(), 1);
    EXPECT_TRUE(f[0].checksumOk);
    EXPECT_EQ(f[0].text, "AP,W,0011");
    EXPECT_EQ(host.ask("AP,R,"), "AP,R,0010"); // the detector did store the value
    EXPECT_EQ(host.ask("AP,W,16"), "AP,W,0010");

    SimHost levels;
    levels.sim.faults().wrongEchoEvery = 1;
    for (const char* request :
         {"A1,W,   10", "A1,W,*****", "SD,W,1", "XZ,W,ABC", "HC,W,250101000009"}) {
        SCOPED_TRACE(request);
        const QByteArray echo = levels.ask(request);
        EXPECT_EQ(echo.left(5), QByteArray(request).left(5));
        EXPECT_NE(echo, QByteArray(request));
    }
}

TEST(SimFaults, DeadLineAnswersNothing) {
    SimHost host;
    host.sim.faults().deadLine = true;
    EXPECT_EQ(AnsweredOf(host, 3), 0);
    EXPECT_TRUE(host.received.isEmpty());
    EXPECT_EQ(host.sim.receivedFrames().size(), 3);
    EXPECT_EQ(host.sim.faultsInjected(), 3);
    host.sim.faults().deadLine = false;
    EXPECT_EQ(AnsweredOf(host, 1), 1);
}

TEST(SimFaults, DroppedBlockOfAMultiBlockReplyIsSentAgainOnNak) {
    SimHost host;
    host.sim.faults().dropNth = 2;
    ASSERT_EQ(host.request("SO,R,").size(), 1);
    EXPECT_TRUE(host.request("SO,R," + QByteArray(1, Ctl::ACK), Ctl::ETB).isEmpty());
    const QList<HostFrame> f = host.request("SO,R," + QByteArray(1, Ctl::NAK), Ctl::ETB);
    ASSERT_EQ(f.size(), 1);
    EXPECT_EQ(f[0].terminator, Ctl::ETB); // block 2 of 3
}

QByteArray RandomRun(quint32 seed, int* faults) {
    SimHost host;
    host.sim.faults().randomRate = 0.5;
    host.sim.faults().seed = seed;
    for (int i = 0; i < 40; ++i) {
        host.sim.receive(BuildFrame(i % 2 ? "XS,R," : "AP,W,3"));
        host.now += 10'000;
        host.sim.poll();
    }
    *faults = host.sim.faultsInjected();
    return host.received;
}

TEST(SimFaults, RandomFaultsFollowTheSeed) {
    int faultsA = 0, faultsB = 0, faultsC = 0;
    const QByteArray a = RandomRun(7, &faultsA);
    const QByteArray b = RandomRun(7, &faultsB);
    const QByteArray c = RandomRun(8, &faultsC);
    EXPECT_EQ(a, b);
    EXPECT_EQ(faultsA, faultsB);
    EXPECT_NE(a, c);
    EXPECT_GT(faultsA, 5);
    EXPECT_LT(faultsA, 35);

    SimHost all; // at rate 1 every reply carries a fault
    all.sim.faults().randomRate = 1.0;
    for (int i = 0; i < 10; ++i) {
        all.sim.receive(BuildFrame("XS,R,"));
        all.now += 10'000;
        all.sim.poll();
    }
    EXPECT_EQ(all.sim.faultsInjected(), 10);
}

} // namespace
