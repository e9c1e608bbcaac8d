// Responsiveness of the window program while it transfers: the main window (offscreen) reads a
// whole detector with "Instrument Information" and writes it back with "Update", through the
// in-process simulated detector on real time (the program's event-loop clock, as `--sim`
// uses it). A 1 ms timer records the longest time between two of its callbacks: the longest
// stretch in which the window processed no events, i.e. could not repaint or react to a click.
#include "link/EventLoopClock.h"
#include "link/uclHvif.h"
#include "shell/AppState.h"
#include "sim/SimDetector.h"
#include "ui/frmMain.h"
#include "ui/modMain.h"
#include "widgets/UiPrompts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <memory>
#include <vector>

namespace {

// Answers Yes to every question and counts the boxes: the write ends with an information box
// on success and an error box on failure.
class YesPrompts : public UiPrompts {
public:
    bool question(QWidget*, const QString&, const QString&) override { return true; }
    void information(QWidget*, const QString&, const QString&) override { ++informations; }
    void critical(QWidget*, const QString&, const QString&) override { ++criticals; }
    void message(QWidget*, const QString&, const QString&) override {}
    QString openFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }

    int informations = 0;
    int criticals = 0;
};

// Records the longest gap between the callbacks of a precise 1 ms timer, on real time.
class GapMonitor {
public:
    GapMonitor() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longestNs = std::max(m_longestNs, m_since.nsecsElapsed());
            m_since.restart();
        });
    }
    // Starts measuring afresh.
    void start() {
        m_longestNs = 0;
        m_since.start();
        m_timer.start();
    }
    // Stops measuring; the time since the last callback counts as a gap too.
    void stop() {
        m_longestNs = std::max(m_longestNs, m_since.nsecsElapsed());
        m_timer.stop();
    }
    qint64 longestNs() const { return m_longestNs; }

private:
    QTimer m_timer;
    QElapsedTimer m_since;
    qint64 m_longestNs = 0;
};

void BM_WindowReadWrite(benchmark::State& state) {
    // Every file the window writes (tool configuration, link log, factory record) goes here.
    QTemporaryDir folder;
    AppState::setStartupFolder(folder.path());
    YesPrompts prompts;
    auto window = std::make_unique<frmMain>(
        modMain::MakeSimulatedLink(QStringLiteral("KM"), std::make_unique<EventLoopClock>()));
    window->setPrompts(&prompts);
    window->show();

    uclHvif& link = window->link();
    LinkClock& clock = *link.clock();
    const qint64 deadline = clock.nowMs() + 10000;
    while (!link.Connected() && clock.nowMs() < deadline)
        clock.waitForEvents(deadline);
    if (!link.Connected()) {
        state.SkipWithError("the simulated detector did not connect");
        return;
    }

    const SimDetector* detector = link.findChild<SimDetector*>();
    const qsizetype framesBefore = detector ? detector->receivedFrames().size() : 0;
    GapMonitor gaps;
    qint64 readNs = 0;
    qint64 writeNs = 0;
    std::vector<qint64> longestPerCycle; // of each read and write
    for (auto _ : state) {
        const int informationsBefore = prompts.informations;
        gaps.start();
        QElapsedTimer phase;
        phase.start();
        window->cmdDown_Click(1);
        readNs += phase.nsecsElapsed();
        const bool read = window->working().CommFlags();
        phase.restart();
        if (read) window->cmdOption_Click(0);
        writeNs += phase.nsecsElapsed();
        gaps.stop();
        longestPerCycle.push_back(gaps.longestNs());
        if (!read) {
            state.SkipWithError("the read failed");
            break;
        }
        if (prompts.criticals > 0 || prompts.informations == informationsBefore) {
            state.SkipWithError("the write failed");
            break;
        }
    }
    if (longestPerCycle.empty()) return;
    const double n = double(longestPerCycle.size());
    // The longest gap of all cycles, and the median of each cycle's longest (less sensitive to
    // another process taking the processor for a moment).
    std::sort(longestPerCycle.begin(), longestPerCycle.end());
    state.counters["longest_gap_ms"] = double(longestPerCycle.back()) / 1e6;
    state.counters["median_cycle_gap_ms"] =
        double(longestPerCycle[longestPerCycle.size() / 2]) / 1e6;
    state.counters["read_ms"] = double(readNs) / 1e6 / n;
    state.counters["write_ms"] = double(writeNs) / 1e6 / n;
    state.counters["total_ms"] = double(readNs + writeNs) / 1e6 / n;
    if (detector)
        state.counters["requests"] = double(detector->receivedFrames().size() - framesBefore) / n;
    window->close();
}
BENCHMARK(BM_WindowReadWrite)->Iterations(20)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
