// A full read of the detector's configuration (GetInstrument, 47 requests for a KM) through the
// in-process simulated detector, on real time (the Qt event loop) and on virtual time.
#include "InProcessLink.h"
#include "link/VirtualClock.h"

#include <benchmark/benchmark.h>
#include <memory>

namespace {

void BM_GetInstrument(benchmark::State& state) {
    const bool virtualTime = state.range(0) != 0;
    bench::InProcessLink in(virtualTime ? std::make_unique<VirtualClock>() : nullptr);
    if (!in.connected()) {
        state.SkipWithError("the simulated detector did not connect");
        return;
    }
    uclHvif& link = in.link();
    clsInstrument& record = in.record();
    for (auto _ : state) {
        if (!link.GetInstrument(record)) {
            state.SkipWithError("the read failed");
            return;
        }
    }
    state.counters["requests"] =
        benchmark::Counter(47.0 * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GetInstrument)->ArgName("virtual_time")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace
