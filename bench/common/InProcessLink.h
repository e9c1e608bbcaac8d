#pragma once

// The link connected to an in-process simulated detector, as the in-process benchmarks use it:
// a link log in a temporary folder, three repeats, a 300 ms reply timeout.

#include "instrument/clsInstrument.h"
#include "link/LinkClock.h"
#include "link/uclHvif.h"
#include "shell/AppState.h"
#include "sim/SimDetector.h"
#include "sim/SimTransport.h"

#include <QTemporaryDir>
#include <memory>

namespace bench {

class InProcessLink {
public:
    // `clock` null: real time on the Qt event loop; else the given clock (a virtual one).
    explicit InProcessLink(std::unique_ptr<LinkClock> clock = nullptr)
        : m_sim(QStringLiteral("KM")), m_link(std::move(clock)) {
        m_link.setSerialTransport(std::make_unique<SimTransport>(&m_sim, m_link.clock()));
        m_link.setInstrument(&m_record);
        m_link.setRetry(3);
        m_link.setTimeout(3);
        m_link.DetectIrdaModule();
        LinkClock& time = *m_link.clock();
        const qint64 deadline = time.nowMs() + 10000;
        while (!m_link.Connected() && time.nowMs() < deadline) time.waitForEvents(deadline);
    }
    // Whether the link reached the connected state.
    bool connected() const { return m_link.Connected(); }
    uclHvif& link() { return m_link; }
    SimDetector& sim() { return m_sim; }
    clsInstrument& record() { return m_record; }

private:
    QTemporaryDir m_folder; // the link log of the runs, set before the link is made
    bool m_folderSet = (AppState::setStartupFolder(m_folder.path()), true);
    SimDetector m_sim;
    uclHvif m_link;
    clsInstrument m_record;
};

} // namespace bench
