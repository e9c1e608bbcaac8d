#pragma once

#include "instrument/clsInstrument.h"
#include "link/Frame.h"
#include "link/VirtualClock.h"
#include "link/uclHvif.h"
#include "sim/SimDetector.h"
#include "sim/SimTransport.h"

#include <QByteArray>
#include <QList>
#include <memory>

// A link on virtual time to an in-process simulated detector, with the program's retry
// settings. Test fixtures derive from it; a test may also hold one.
class SimLink {
public:
    // Builds the link to a new simulated detector of `model` on a line of `kind`; `record` is
    // the link's record. Not yet connected.
    void makeSimLink(const QString& model, clsInstrument* record, int timeoutSeconds = 3,
                     LinkTransport::Kind kind = LinkTransport::Kind::Serial) {
        closeSimLink();
        clock = new VirtualClock;
        link = std::make_unique<uclHvif>(std::unique_ptr<LinkClock>(clock));
        detector = std::make_unique<SimDetector>(model);
        auto transport = std::make_unique<SimTransport>(detector.get(), clock, kind);
        if (kind == LinkTransport::Kind::Serial)
            link->setSerialTransport(std::move(transport));
        else
            link->setInfraredTransport(std::move(transport));
        link->setRetry(3);
        link->setTimeout(timeoutSeconds);
        link->setInstrument(record);
        link->setPortLister([](const QString&) { return QList<SerialPortEntry>{}; });
    }

    // Looks for the infrared module as the program does at start, then lets virtual time run
    // until the link is connected; true when it is.
    bool connectSimLink() {
        link->DetectIrdaModule();
        return WaitForConnection(*link);
    }

    // The command texts of the frames the detector received, in order ("XS,R," ...).
    QList<QByteArray> received() const {
        QList<QByteArray> out;
        for (const QByteArray& frame : detector->receivedFrames())
            out << frame.mid(5, frame.indexOf(Ctl::ETX) - 5);
        return out;
    }

    // Removes the link, then the detector it talked to.
    void closeSimLink() {
        link.reset();
        detector.reset();
        clock = nullptr;
    }

    // Lets the link's virtual time run, for at most `limitMs`, until the link is connected;
    // true when it is.
    static bool WaitForConnection(uclHvif& link, qint64 limitMs = 60000) {
        LinkClock* time = link.clock();
        const qint64 end = time->nowMs() + limitMs;
        while (!link.Connected() && time->nowMs() < end)
            time->waitForEvents(end);
        return link.Connected();
    }

    VirtualClock* clock = nullptr; // owned by the link
    std::unique_ptr<SimDetector> detector;
    std::unique_ptr<uclHvif> link; // declared last: it goes before the detector
};
