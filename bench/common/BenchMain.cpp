// The main() of every benchmark program: a Qt application (the link's timers and the processes
// the benchmarks run need its event loop), then Google Benchmark. The benchmarks of the windows
// (KM71_BENCH_WINDOWS) get a widget application, offscreen unless a platform is chosen.
#include <benchmark/benchmark.h>

#ifdef KM71_BENCH_WINDOWS
#include <QApplication>
using BenchApplication = QApplication;
#else
#include <QCoreApplication>
using BenchApplication = QCoreApplication;
#endif

int main(int argc, char** argv) {
#ifdef KM71_BENCH_WINDOWS
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    BenchApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
