#pragma once

#include "sim/SimMemoryImage.h"
#include "sim/SimRandom.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <functional>

// What the detector answers to one request: one block, several blocks (sent one at a time,
// each after the host's continuation), raw bytes, or nothing.
struct SimReply {
    QList<QByteArray> blocks; // command texts, framed when sent; raw bytes when `raw` is set
    bool raw = false;         // a binary dump block: sent as it is, without a frame
    bool writeEcho = false;   // the block echoes a written value after its head ("XX,W,")
    bool notYet = false;      // a "not yet" answer to a confirm or status poll
};

// The detector itself: settings memory, clock, live reading, histories, memory image and the
// command set. Takes request texts (without framing) and gives reply texts.
//
// Commands the detector does not know, verbs it does not take, values it cannot store and
// commands its model does not have (AT and SN on models other than QZ, AK on models other
// than VL) are answered with the request's head and NAK ("AT,R," NAK), which is how a
// detector refuses a request.
class SimInstrument {
public:
    // A detector of `model` ("KM", "QZ" or "VL"); `nowMs` is the clock its date runs on.
    SimInstrument(const QString& model, std::function<qint64()> nowMs);

    // The model type.
    QString model() const { return m_model; }
    // Changes the clock; the detector's date and time carry on from where they were.
    void setClock(std::function<qint64()> nowMs);
    // Answers one request text ("XS,R,", "A1,W,   10", ...). `notYet` is the number of "not
    // yet" answers each confirm poll gets before its final answer; `seed` drives the live
    // reading.
    SimReply execute(const QByteArray& text, int notYet, quint32 seed);
    // A value in the reply format, by command; empty when the model does not have it.
    QByteArray value(const QByteArray& command) const;
    // Stores a value in the reply format, by command.
    void setValue(const QByteArray& command, const QByteArray& value);
    // The detector's date and time.
    QDateTime dateTime() const;
    // Sets the detector's date and time.
    void setDateTime(const QDateTime& t);
    // The memory image with its working area brought up to date.
    const SimMemoryImage& memory();
    // How far the reading after adjustment of a span lies from the span concentration, in
    // percent of it (0: exactly on it; negative: below it).
    void setSpanAfterOffset(double percent) { m_spanAfterOffset = percent; }

private:
    SimReply read(const QByteArray& command, const QByteArray& param, quint32 seed);
    SimReply write(const QByteArray& command, const QByteArray& param, int notYet);
    SimReply confirm(const QByteArray& command);
    SimReply refuse(const QByteArray& head) const;
    SimReply acknowledge(const QByteArray& head) const;
    bool storeSetting(const QByteArray& command, const QByteArray& param);
    QByteArray readText(const QByteArray& command) const;
    QByteArray formatLevel(double v) const;
    QByteArray nextReading(quint32 seed);
    QByteArray formatReading(double v) const;
    int gasPoint() const;
    double gasResolution() const;
    bool setDateTimeText(const QByteArray& digits);
    QByteArray dateTimeText(const QDateTime& t) const;
    void finishZero();
    bool span();
    void restoreDefaults();
    void refreshWorkArea();

    QString m_model;
    std::function<qint64()> m_clock;
    QDateTime m_baseTime;
    qint64 m_baseMs = 0;
    QHash<QByteArray, QByteArray> m_settings;
    QList<QByteArray> m_calibrations;
    QList<QByteArray> m_bumps;
    QHash<QByteArray, int> m_pendingConfirm; // running operation -> "not yet" answers left
    SimMemoryImage m_memory;
    SimRandom m_readingRandom;
    quint32 m_readingSeed = 0;
    bool m_readingSeeded = false;
    int m_walk = 0;
    double m_spanAfterOffset = 0.0;
    QByteArray m_lastReading;
    QByteArray m_pinnedReading;
    quint32 m_requests = 0;
};
