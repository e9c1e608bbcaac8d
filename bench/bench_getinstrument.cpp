// A full read of the detector's configuration (GetInstrument, 47 requests for a KM) through the
// in-process simulated detector, on real time (the Qt event loop) and on virtual time.
#include "instrument/clsInstrument.h"
#include "link/LinkClock.h"
#include "link/SimTransport.h"
#include "link/VirtualClock.h"
#include "link/uclHvif.h"
#include "shell/AppState.h"
#include "sim/SimDetector.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

void BM_GetInstrument(benchmark::State& state) {
    QTemporaryDir folder; // the link log of the runs
    AppState::setStartupFolder(folder.path());
    const bool virtualTime = state.range(0) != 0;
    SimDetector sim(QStringLiteral("KM"));
    uclHvif link(virtualTime ? std::make_unique<VirtualClock>() : nullptr);
    link.setSerialTransport(std::make_unique<SimTransport>(&sim, link.clock()));
    clsInstrument record;
    link.setInstrument(&record);
    link.setRetry(3);
    link.setTimeout(3);
    link.DetectIrdaModule();
    LinkClock& clock = *link.clock();
    const qint64 deadline = clock.nowMs() + 10000;
    while (!link.Connected() && clock.nowMs() < deadline)
        clock.waitForEvents(deadline);
    if (!link.Connected()) {
        state.SkipWithError("the simulated detector did not connect");
        return;
    }
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

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
