// One request/reply exchange through the in-process simulated detector on real time, and the
// reply decoder alone. An exchange far below the 100 ms supervision tick shows that a reply is
// handled when its last byte arrives, not on the next tick.
#include "InProcessLink.h"
#include "link/Frame.h"
#include "link/LinkCodes.h"
#include "link/ResponseParser.h"

#include <benchmark/benchmark.h>
#include <memory>

namespace {

void BM_OneExchange(benchmark::State& state) {
    bench::InProcessLink in; // real time: the Qt event loop
    if (!in.connected()) {
        state.SkipWithError("the simulated detector did not connect");
        return;
    }
    uclHvif& link = in.link();
    SimDetector& sim = in.sim();
    for (auto _ : state) {
        if (!link.Exchange("XS,R,", LinkStatus::ReadWait)) {
            state.SkipWithError("the exchange failed");
            return;
        }
        sim.clearReceivedFrames();
    }
}
BENCHMARK(BM_OneExchange)->Unit(benchmark::kMicrosecond);

void BM_ParseResponse(benchmark::State& state) {
    clsInstrument record;
    record.setModelTyp(QStringLiteral("KM"));
    ReplyContext ctx;
    ctx.instrument = &record;
    ctx.now = [] { return 45000.0; };
    const QList<QByteArray> replies = {
        BuildFrame("XS,R,STATION-01      "),
        BuildFrame("A1,R,   10"),
        BuildFrame("GJ,R,CH4   100    1%LEL"),
        BuildFrame("HC,R,250107093000"),
        BuildFrame("BU,R,3C,14,5A,1"),
        BuildFrame("HA,R,0A8C,0BB8,0672,0000,0000,0000,0000,0000,45002000"),
    };
    qint64 accepted = 0;
    for (auto _ : state) {
        for (const QByteArray& reply : replies) {
            ctx.lastFrame = BuildFrame(reply.mid(5, 4) + ',');
            accepted += ParseResponse(reply, ctx) ? 1 : 0;
        }
    }
    if (accepted != qint64(replies.size()) * qint64(state.iterations()))
        state.SkipWithError("a reply was rejected");
    state.counters["replies"] = benchmark::Counter(
        double(replies.size()) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ParseResponse)->Unit(benchmark::kMicrosecond);

} // namespace
