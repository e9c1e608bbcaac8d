// The processor time km71ctl uses while it waits for a detector's confirmation: `clear-log`
// against km71sim answering the first confirm poll "not yet", so the run holds two 5-second
// confirm waits. The child's user and system time come from getrusage after it has ended.
#include "BenchPrograms.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace {

double ChildrenCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_CtlConfirmWaitCpu(benchmark::State& state) {
    // The simulator is a child too, but it is reaped only at the end: between the two
    // readings only km71ctl's time is added.
    bench::PtySim sim({QStringLiteral("--not-yet"), QStringLiteral("1")});
    if (!sim.ready()) {
        state.SkipWithError("km71sim did not start");
        return;
    }
    const QStringList args{QStringLiteral("--port"), sim.link(), QStringLiteral("--folder"),
                           sim.folder(), QStringLiteral("clear-log")};
    constexpr double kWaitSeconds = 2 * 5.0; // two confirm waits
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const double before = ChildrenCpuSeconds();
        qint64 ns = 0;
        if (bench::RunCtl(args, &ns) != 0) {
            state.SkipWithError("km71ctl clear-log failed");
            return;
        }
        cpu += ChildrenCpuSeconds() - before;
        wall += double(ns) / 1e9;
        state.SetIterationTime(double(ns) / 1e9);
    }
    const double n = double(state.iterations());
    state.counters["cpu_ms"] = cpu / n * 1e3;
    state.counters["wall_ms"] = wall / n * 1e3;
    state.counters["cpu_pct_of_wait"] = cpu / n / kWaitSeconds * 100.0;
}
BENCHMARK(BM_CtlConfirmWaitCpu)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

} // namespace
