// `km71ctl provision` of eight detectors at once against one detector alone: nine km71sim
// processes on pseudo-terminals, one provisioned by itself and eight by one km71ctl run with
// eight --port options. Each iteration alternates the master's warning point, so every run
// writes one setting, commits, reads again and compares. The aim: eight take under 1.5 times
// as long as one. The benchmark time is the eight's; the counters give both and the ratio.
// The argument is the detectors' reply time in milliseconds: 0 answers at once, so that the
// run measures the programs' own work (on two cores eight detectors then compete for them);
// 3 gives each reply a short wait, as any real link has, so that the run shows how far the
// detectors' waits overlap.
#include "BenchPrograms.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>
#include <vector>

namespace {

constexpr int kParallel = 8;

// Writes a copy of the configuration file `from` with the warning point line set to `value`.
bool WriteMaster(const QString& from, const QString& to, const QByteArray& value) {
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly)) return false;
    QList<QByteArray> lines = in.readAll().split('\n');
    for (QByteArray& line : lines)
        if (line.startsWith("A1,W,")) line = "A1,W," + value + '\r';
    QFile out(to);
    return out.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           out.write(lines.join('\n')) >= 0;
}

void BM_CtlProvisionEightVersusOne(benchmark::State& state) {
    const int replyMs = int(state.range(0));
    const QStringList faults =
        replyMs > 0 ? QStringList{QStringLiteral("--delay"), QString::number(replyMs)}
                    : QStringList();
    std::vector<std::unique_ptr<bench::PtySim>> sims;
    for (int i = 0; i <= kParallel; ++i) {
        sims.push_back(std::make_unique<bench::PtySim>(faults));
        if (!sims.back()->ready()) {
            state.SkipWithError("km71sim did not start");
            return;
        }
    }
    QTemporaryDir folder;
    const QString read = folder.filePath(QStringLiteral("detector.seq"));
    const QStringList common{QStringLiteral("--folder"), folder.path()};
    if (bench::RunCtl(QStringList{QStringLiteral("--port"), sims[0]->link()} + common +
                      QStringList{QStringLiteral("read"), read}) != 0) {
        state.SkipWithError("km71ctl read failed");
        return;
    }
    QStringList eightPorts;
    for (int i = 1; i <= kParallel; ++i)
        eightPorts << QStringLiteral("--port") << sims[i]->link();

    double oneNs = 0, eightNs = 0;
    int round = 0;
    for (auto _ : state) {
        const QString master = folder.filePath(QStringLiteral("master%1.seq").arg(round));
        if (!WriteMaster(read, master, round % 2 == 0 ? "   30" : "   40")) {
            state.SkipWithError("cannot write the master file");
            return;
        }
        ++round;
        const QStringList provision{QStringLiteral("provision"), master};
        qint64 ns = 0;
        if (bench::RunCtl(QStringList{QStringLiteral("--port"), sims[0]->link()} + common +
                              provision,
                          &ns) != 0) {
            state.SkipWithError("km71ctl provision of one detector failed");
            return;
        }
        oneNs += double(ns);
        if (bench::RunCtl(eightPorts + common + provision, &ns) != 0) {
            state.SkipWithError("km71ctl provision of eight detectors failed");
            return;
        }
        eightNs += double(ns);
        state.SetIterationTime(double(ns) / 1e9);
    }
    const double n = double(state.iterations());
    state.counters["one_ms"] = oneNs / n / 1e6;
    state.counters["eight_ms"] = eightNs / n / 1e6;
    state.counters["ratio"] = oneNs > 0 ? eightNs / oneNs : 0.0;
}
BENCHMARK(BM_CtlProvisionEightVersusOne)
    ->ArgName("reply_ms")
    ->Arg(0)
    ->Arg(3)
    ->UseManualTime()
    ->Iterations(6)
    ->Unit(benchmark::kMillisecond);

} // namespace
