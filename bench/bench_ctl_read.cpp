// `km71ctl read` against km71sim over a pseudo-terminal, compared in the same run with a minimal
// client that opens the pseudo-terminal, sends the same 49 read requests and waits for the EOT
// of each reply. The client runs twice: as its own small process (minimal_read_client, no Qt),
// which pays a process start as km71ctl does, and inside this process, which pays none. The
// benchmark time is km71ctl's; the counters give all three, the ratios, and the start-up of a
// km71ctl process that does nothing (--version) for scale.
#include "BenchPrograms.h"
#include "link/Frame.h"
#include "link/uclHvif.h"

#include <QFile>
#include <QList>
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The read requests of the configuration read, framed as the link frames them.
QList<QByteArray> ReadRequests() {
    uclHvif link;
    QList<QByteArray> frames;
    for (int i = 0; i < uclHvif::kReadCommandCount - 1; ++i)
        if (!link.ReadCommand(i).isEmpty()) frames << BuildFrame(link.ReadCommand(i).toLatin1());
    return frames;
}

// Opens the pseudo-terminal, sends each request and waits for its reply's EOT. The elapsed
// nanoseconds, or -1 when a reply did not come within a second.
qint64 MinimalClient(const QString& device, const QList<QByteArray>& requests) {
    QElapsedTimer timer;
    timer.start();
    const int fd = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (fd < 0) return -1;
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    char buffer[512];
    for (const QByteArray& request : requests) {
        if (::write(fd, request.constData(), size_t(request.size())) != request.size()) {
            ::close(fd);
            return -1;
        }
        bool ended = false;
        while (!ended) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 1000) <= 0) {
                ::close(fd);
                return -1;
            }
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) {
                ::close(fd);
                return -1;
            }
            ended = QByteArray::fromRawData(buffer, n).contains(Ctl::EOT);
        }
    }
    ::close(fd);
    return timer.nsecsElapsed();
}

void BM_CtlReadVersusMinimalClient(benchmark::State& state) {
    bench::PtySim sim;
    if (!sim.ready()) {
        state.SkipWithError("km71sim did not start");
        return;
    }
    const QList<QByteArray> requests = ReadRequests();
    const QString requestFile = sim.folder() + QStringLiteral("/requests");
    {
        QFile file(requestFile);
        if (!file.open(QIODevice::WriteOnly) || file.write(requests.join('\n') + '\n') < 0) {
            state.SkipWithError("cannot write the request file");
            return;
        }
    }
    const QString clientProgram = QStringLiteral(KM71_BENCH_TOOL_DIR "/minimal_read_client");
    const QString out = sim.folder() + QStringLiteral("/out.seq");
    const QStringList readArgs{QStringLiteral("--port"),   sim.link(),
                               QStringLiteral("--folder"), sim.folder(),
                               QStringLiteral("read"),     out};
    double ctlNs = 0, clientNs = 0, processNs = 0, startupNs = 0;
    for (auto _ : state) {
        qint64 ns = 0;
        if (bench::RunCtl(readArgs, &ns) != 0) {
            state.SkipWithError("km71ctl read failed");
            return;
        }
        ctlNs += double(ns);
        state.SetIterationTime(double(ns) / 1e9);
        const qint64 client = MinimalClient(sim.link(), requests);
        if (client < 0) {
            state.SkipWithError("the minimal client got no reply");
            return;
        }
        clientNs += double(client);
        if (bench::RunProgram(clientProgram, {sim.link(), requestFile}, &ns) != 0) {
            state.SkipWithError("minimal_read_client failed");
            return;
        }
        processNs += double(ns);
        bench::RunCtl({QStringLiteral("--version")}, &ns);
        startupNs += double(ns);
    }
    const double n = double(state.iterations());
    state.counters["requests"] = double(requests.size());
    state.counters["ctl_ms"] = ctlNs / n / 1e6;
    state.counters["client_ms"] = clientNs / n / 1e6;
    state.counters["ratio"] = clientNs > 0 ? ctlNs / clientNs : 0.0;
    state.counters["client_process_ms"] = processNs / n / 1e6;
    state.counters["ratio_to_process"] = processNs > 0 ? ctlNs / processNs : 0.0;
    state.counters["startup_ms"] = startupNs / n / 1e6;
    // The same comparison without the start-up of a process, which the client does not pay.
    state.counters["ratio_after_startup"] = clientNs > 0 ? (ctlNs - startupNs) / clientNs : 0.0;
}
BENCHMARK(BM_CtlReadVersusMinimalClient)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

} // namespace
