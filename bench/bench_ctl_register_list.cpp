// The process `km71ctl register list --due-within 30` on the fleet register of bench_register
// (SQLite, 10,000 detectors and 1,000,000 events): start-up, opening the register, every
// detector read, the due ones picked and printed (aim: under 200 ms). The fleet's dates lie
// before today, so every detector is due and printed. cpu_ms is the processor time of one run:
// the time on a machine that does nothing else. bench_register builds the register once, as
// bench_register.sqlite in the benchmarks' build folder; when it is not there yet, this
// benchmark runs bench_register to build it first (that takes minutes).
#include "BenchPrograms.h"

#include <QFileInfo>
#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace {

// The processor time of the children that have ended, in seconds.
double ChildrenCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

const QString kRegister = QStringLiteral(KM71_BENCH_TOOL_DIR "/bench_register.sqlite");

// True when the register is there, after bench_register has built it if need be.
bool RegisterBuilt() {
    if (QFileInfo::exists(kRegister)) return true;
    QProcess fill;
    fill.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    fill.setStandardOutputFile(QProcess::nullDevice());
    fill.start(QStringLiteral(KM71_BENCH_TOOL_DIR "/bench_register"),
               {QStringLiteral("--benchmark_filter=SqliteDueWithin30")});
    fill.waitForFinished(-1);
    return QFileInfo::exists(kRegister);
}

void BM_CtlRegisterListDueWithin30(benchmark::State& state) {
    if (!RegisterBuilt()) {
        state.SkipWithError("bench_register did not build bench_register.sqlite");
        return;
    }
    // A folder of its own: no tool configuration, no queue.
    const QTemporaryDir folder;
    const QStringList args{QStringLiteral("--folder"),     folder.path(),
                           QStringLiteral("--register"),   kRegister,
                           QStringLiteral("register"),     QStringLiteral("list"),
                           QStringLiteral("--due-within"), QStringLiteral("30")};
    qint64 lines = 0;
    const double cpuBefore = ChildrenCpuSeconds();
    for (auto _ : state) {
        QProcess ctl;
        QElapsedTimer timer;
        timer.start();
        ctl.start(bench::ProgramDir() + QStringLiteral("/km71ctl"), args);
        const bool finished = ctl.waitForFinished(120000);
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        if (!finished || ctl.exitStatus() != QProcess::NormalExit || ctl.exitCode() != 0) {
            state.SkipWithError("km71ctl register list failed");
            return;
        }
        lines = ctl.readAllStandardOutput().count('\n');
    }
    // The header, a line per detector due, the closing sentence.
    state.counters["due"] = double(std::max<qint64>(0, lines - 2));
    // The processor time of one run: the wall time on a machine with nothing else to do.
    state.counters["cpu_ms"] =
        (ChildrenCpuSeconds() - cpuBefore) / double(state.iterations()) * 1e3;
}
BENCHMARK(BM_CtlRegisterListDueWithin30)
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);

} // namespace
