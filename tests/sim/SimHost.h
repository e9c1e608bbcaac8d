#pragma once

#include "link/Frame.h"
#include "sim/SimDetector.h"

#include <QByteArray>
#include <QList>
#include <QObject>

// One reply frame as the host cuts it from the detector's bytes.
struct HostFrame {
    QByteArray text; // between the address and ETX
    char terminator = 0;
    bool checksumOk = false;
};

// A host on a virtual clock in front of a simulated detector: sends request frames and cuts
// the replies out of what the detector transmits.
class SimHost {
public:
    explicit SimHost(const QString& model = QStringLiteral("KM")) : sim(model) {
        sim.setClock([this] { return now; });
        QObject::connect(&sim, &SimDetector::transmit, [this](const QByteArray& b) {
            received.append(b);
            ++emissions;
        });
    }

    // Sends one request frame and returns the frames answered at once.
    QList<HostFrame> request(const QByteArray& text, char terminator = Ctl::EOT) {
        sim.receive(BuildFrame(text, terminator));
        return takeFrames();
    }

    // The text of the single frame answered to `text` (empty when none or not exactly one).
    QByteArray ask(const QByteArray& text) {
        const QList<HostFrame> frames = request(text);
        return frames.size() == 1 ? frames.first().text : QByteArray();
    }

    // Cuts every complete frame out of the received bytes.
    QList<HostFrame> takeFrames() {
        QList<HostFrame> frames;
        for (;;) {
            const qsizetype stx = received.indexOf(Ctl::STX);
            const qsizetype etx = received.indexOf(Ctl::ETX, stx + 1);
            if (stx < 0 || etx < 0 || received.size() < etx + 4) break;
            HostFrame f;
            f.text = received.mid(stx + 5, etx - stx - 5);
            f.terminator = received.at(etx + 3);
            f.checksumOk =
                received.mid(etx + 1, 2) == FrameChecksum(received.mid(stx, etx - stx + 1));
            frames.append(f);
            received.remove(0, etx + 4);
        }
        return frames;
    }

    SimDetector sim;
    qint64 now = 1000;
    QByteArray received;
    int emissions = 0;
};
