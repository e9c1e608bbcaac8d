#pragma once

#include "sim/SimInstrument.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

// Faults the simulated detector can inject into its replies. All are off by default.
struct SimFaults {
    int dropNth = 0;         // drop the Nth reply (1-based), 0 = off
    int dropEvery = 0;       // drop every Nth reply
    int delayMs = 0;         // release each reply this many ms (sim clock) later
    int splitChunk = 0;      // send replies in chunks of this many bytes (0 = whole)
    int corruptNth = 0;      // wrong checksum in the Nth reply
    int corruptEvery = 0;    // wrong checksum in every Nth reply
    int wrongEchoNth = 0;    // the Nth write echo carries another value
    int wrongEchoEvery = 0;  // every Nth write echo carries another value
    bool deadLine = false;   // answer nothing at all
    int notYet = 0;          // "not yet" answers to each confirm/status poll before the final one
    double randomRate = 0.0; // with a seed: random drop/delay/split/corrupt/wrong echo per reply
    quint32 seed = 1;
    // The first reply to a request with this head ("UX,W") loses its frame end: the line
    // ends with CR after ETX. Cleared once injected.
    QByteArray garbleCommand;
    // The first reply to a request with this head ("IN,R") is the head and NAK alone, a
    // refusal. Cleared once injected.
    QByteArray nakCommand;
};

// A simulated 71-Series detector on a byte stream: cuts request frames out of the bytes it
// receives, answers them from its settings memory (SimInstrument) and sends the replies,
// framed, through `transmit`, with the faults of `faults()` injected.
//
// Replies are counted one per block sent (a multi-block reply counts each block; a block sent
// again after a NAK counts again); the Nth-reply faults use that count. The wrong-echo faults
// count only replies that echo a written value. A corrupted binary dump block (which has no
// checksum) has its first byte inverted.
class SimDetector : public QObject {
    Q_OBJECT
public:
    explicit SimDetector(const QString& model = QStringLiteral("KM"), QObject* parent = nullptr);

    // Model type of the detector ("KM", "QZ" or "VL").
    QString model() const;
    // Takes bytes from the host, in any chunking; complete frames are answered.
    void receive(const QByteArray& bytes);
    // Sets the clock used for delayed replies and the detector's date; default: a monotonic
    // real clock.
    void setClock(std::function<qint64()> nowMs);
    // The current time of the clock, in ms.
    qint64 nowMs() const;
    // Releases delayed replies that are due.
    void poll();
    // Clock time at which the next delayed reply is due; -1 when nothing is waiting.
    qint64 nextDueMs() const;
    // The fault switches (changed in place).
    SimFaults& faults();
    // Every frame received, in order (also those it ignored for a bad checksum).
    const QList<QByteArray>& receivedFrames() const;
    // Forgets the received frames.
    void clearReceivedFrames();
    // Settings memory by command ("A1", "GJ", ...), in the reply format; empty when the model
    // does not have the command. "HC" is the clock (YYMMDDhhnnss), "DN" the last reading,
    // "SO" and "BO" the latest calibration and bump records.
    QByteArray value(const QByteArray& command) const;
    // Stores a value into the settings memory by command, in the reply format ("HC" sets the
    // clock, "DN" fixes the live reading, empty lets it move again).
    void setValue(const QByteArray& command, const QByteArray& value);
    // Makes the reading after adjustment of every later span lie `percent` off the span
    // concentration (0, the default: exactly on it).
    void setSpanAfterOffset(double percent);
    // Number of faults injected so far.
    int faultsInjected() const;
    // The 32 KiB memory image that the dumps read.
    QByteArray memoryImage();
    // Forgets partial input, waiting replies and an unfinished multi-block reply (a new
    // connection on the line).
    void resetLine();

signals:
    // Bytes to the host.
    void transmit(const QByteArray& bytes);
    // A frame was received (the same frames as `receivedFrames`).
    void frameReceived(const QByteArray& frame);

private:
    struct Outgoing {
        qint64 due = 0;
        QByteArray bytes;
        int chunk = 0;
    };

    void handleFrame(const QByteArray& frame);
    void injectHeadFaults(const QByteArray& head, SimReply& reply);
    void sendBlock(int index);
    void release(const Outgoing& out);
    bool hits(int nth, int every, int count) const;
    void seedRandom();

    SimInstrument m_instrument;
    SimFaults m_faults;
    QElapsedTimer m_elapsed;
    std::function<qint64()> m_clock;
    QByteArray m_rx;
    QList<QByteArray> m_frames;
    // The reply whose blocks the host fetches one at a time.
    QList<QByteArray> m_blocks;
    QByteArray m_blockHead;
    int m_blockIndex = -1;
    bool m_blocksRaw = false;
    bool m_blocksEcho = false;
    QList<Outgoing> m_queue;
    int m_replies = 0;
    int m_echoes = 0;
    int m_faultCount = 0;
    SimRandom m_random;
    quint32 m_randomSeed = 0;
    bool m_randomSeeded = false;
};
