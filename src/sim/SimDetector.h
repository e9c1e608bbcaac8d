#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

// Faults the simulated detector can inject into its replies. All are off by default.
struct SimFaults {
    int dropNth = 0;      // drop the Nth reply (1-based), 0 = off
    int dropEvery = 0;    // drop every Nth reply
    int delayMs = 0;      // release each reply this many ms (sim clock) later
    int splitChunk = 0;   // send replies in chunks of this many bytes (0 = whole)
    int corruptNth = 0;   // wrong checksum in the Nth reply
    int corruptEvery = 0; // wrong checksum in every Nth reply
    int wrongEchoNth = 0; // the Nth write's echo carries another value
    int wrongEchoEvery = 0;
    bool deadLine = false;   // answer nothing at all
    int notYet = 0;          // "not yet" answers to each confirm/status poll before the final one
    double randomRate = 0.0; // with a seed: random drop/delay/split/corrupt/wrong echo per reply
    quint32 seed = 1;
};

class SimDetectorPrivate;

// A simulated 71-Series detector: takes request frames, answers them from a settings memory.
class SimDetector : public QObject {
    Q_OBJECT
public:
    explicit SimDetector(const QString& model = QStringLiteral("KM"), QObject* parent = nullptr);
    ~SimDetector() override;

    // Model type of the detector ("KM", "QZ" or "VL").
    QString model() const;
    // Takes bytes from the host, in any chunking; complete frames are answered.
    void receive(const QByteArray& bytes);
    // Sets the clock used for delayed replies; default: a monotonic real clock.
    void setClock(std::function<qint64()> nowMs);
    // Releases delayed replies that are due.
    void poll();
    // Clock time at which the next delayed reply is due; -1 when nothing is waiting.
    qint64 nextDueMs() const;
    // The fault switches (changed in place).
    SimFaults& faults();
    // Every frame received, in order.
    const QList<QByteArray>& receivedFrames() const;
    // Forgets the received frames.
    void clearReceivedFrames();
    // Settings memory by command ("A1", "GJ", ...); empty when the detector does not have it.
    QByteArray value(const QByteArray& command) const;
    // Stores a value into the settings memory by command.
    void setValue(const QByteArray& command, const QByteArray& value);
    // Number of faults injected so far.
    int faultsInjected() const;

signals:
    // Bytes to the host.
    void transmit(const QByteArray& bytes);

private:
    std::unique_ptr<SimDetectorPrivate> m_d;
};
