#include "sim/SimDetector.h"

#include "link/Frame.h"

#include <utility>

namespace {

// Longest request the detector waits for before it gives up on a frame start.
constexpr int kMaxFrame = 1024;

// The echoed value with one character changed, so that it carries another value of the same
// kind where it can (a digit stays a digit, a hexadecimal letter stays one).
QByteArray OtherValue(QByteArray text, int from) {
    for (int i = text.size() - 1; i >= from; --i) {
        char& c = text[i];
        if (c >= '0' && c <= '8') {
            ++c;
            return text;
        }
        if (c == '9') {
            c = '0';
            return text;
        }
        if (c == 'F' || c == 'Z') {
            c = 'A';
            return text;
        }
        if (c == 'f' || c == 'z') {
            c = 'a';
            return text;
        }
        if ((c >= 'A' && c < 'Z') || (c >= 'a' && c < 'z')) {
            ++c;
            return text;
        }
        if (c == '*') {
            c = '0';
            return text;
        }
    }
    return text + '1';
}

} // namespace

SimDetector::SimDetector(const QString& model, QObject* parent)
    : QObject(parent), m_instrument(model, nullptr) {
    m_elapsed.start();
    m_clock = [this] { return m_elapsed.elapsed(); };
    m_instrument.setClock([this] { return nowMs(); });
}

QString SimDetector::model() const {
    return m_instrument.model();
}

void SimDetector::setClock(std::function<qint64()> nowMs) {
    // Replies already waiting keep their place in the line but are due on the new clock; the
    // detector's date and time carry on from where they were.
    const qint64 before = this->nowMs();
    const QDateTime detectorTime = m_instrument.dateTime();
    m_clock = std::move(nowMs);
    if (!m_clock) m_clock = [this] { return m_elapsed.elapsed(); };
    const qint64 after = this->nowMs();
    for (Outgoing& out : m_queue)
        out.due += after - before;
    m_instrument.setDateTime(detectorTime);
}

qint64 SimDetector::nowMs() const {
    return m_clock();
}

SimFaults& SimDetector::faults() {
    return m_faults;
}

const QList<QByteArray>& SimDetector::receivedFrames() const {
    return m_frames;
}

void SimDetector::clearReceivedFrames() {
    m_frames.clear();
}

QByteArray SimDetector::value(const QByteArray& command) const {
    return m_instrument.value(command);
}

void SimDetector::setValue(const QByteArray& command, const QByteArray& value) {
    m_instrument.setValue(command, value);
}

void SimDetector::setSpanAfterOffset(double percent) {
    m_instrument.setSpanAfterOffset(percent);
}

int SimDetector::faultsInjected() const {
    return m_faultCount;
}

QByteArray SimDetector::memoryImage() {
    return m_instrument.memory().bytes();
}

void SimDetector::resetLine() {
    m_rx.clear();
    m_queue.clear();
    m_blocks.clear();
    m_blockIndex = -1;
}

void SimDetector::receive(const QByteArray& bytes) {
    m_rx.append(bytes);
    for (;;) {
        const qsizetype start = m_rx.indexOf(Ctl::STX);
        if (start < 0) {
            m_rx.clear(); // noise between frames
            return;
        }
        if (start > 0) m_rx.remove(0, start);
        const qsizetype etx = m_rx.indexOf(Ctl::ETX, 1);
        const qsizetype restart = m_rx.indexOf(Ctl::STX, 1);
        if (restart > 0 && (etx < 0 || restart < etx)) {
            m_rx.remove(0, restart); // a frame start without its end: start again
            continue;
        }
        if (etx < 0) {
            if (m_rx.size() > kMaxFrame)
                m_rx.remove(0, 1);
            else
                return;
            continue;
        }
        if (m_rx.size() < etx + 4) return; // checksum and terminator still to come
        const QByteArray frame = m_rx.left(etx + 4);
        m_rx.remove(0, etx + 4);
        m_frames.append(frame);
        emit frameReceived(frame);
        handleFrame(frame);
    }
}

void SimDetector::handleFrame(const QByteArray& frame) {
    const qsizetype etx = frame.size() - 4;
    const char terminator = frame.back();
    if (etx < 5 || frame.mid(1, 4) != kFrameAddress ||
        frame.mid(etx + 1, 2) != FrameChecksum(frame.left(etx + 1)) ||
        (terminator != Ctl::EOT && terminator != Ctl::ETB))
        return; // a damaged request is not answered
    const QByteArray text = frame.mid(5, etx - 5);
    if (terminator == Ctl::ETB) {
        // Continuation of a multi-block reply: ACK fetches the next block, NAK the same again.
        if (m_blockIndex < 0 || text.size() != m_blockHead.size() + 1 ||
            !text.startsWith(m_blockHead))
            return;
        if (text.back() == Ctl::ACK) {
            if (m_blockIndex + 1 < m_blocks.size()) sendBlock(++m_blockIndex);
        } else if (text.back() == Ctl::NAK) {
            sendBlock(m_blockIndex);
        }
        return;
    }
    SimReply reply = m_instrument.execute(text, m_faults.notYet, m_faults.seed);
    if (reply.notYet) ++m_faultCount;
    injectHeadFaults(text.left(4), reply);
    m_blocks = reply.blocks;
    m_blocksRaw = reply.raw;
    m_blocksEcho = reply.writeEcho;
    m_blockHead = text.left(text.contains("IH") ? 7 : 5);
    m_blockIndex = m_blocks.isEmpty() ? -1 : 0;
    if (m_blockIndex == 0) sendBlock(0);
}

void SimDetector::injectHeadFaults(const QByteArray& head, SimReply& reply) {
    // The request was carried out all the same; only its answer is spoilt.
    if (reply.blocks.isEmpty()) return;
    if (!m_faults.nakCommand.isEmpty() && head == m_faults.nakCommand) {
        m_faults.nakCommand.clear();
        ++m_faultCount;
        reply = SimReply{};
        reply.blocks << head + ',' + Ctl::NAK;
    }
    if (!m_faults.garbleCommand.isEmpty() && head == m_faults.garbleCommand) {
        m_faults.garbleCommand.clear();
        ++m_faultCount;
        const QByteArray frame = BuildFrame(reply.blocks.first(), Ctl::EOT);
        reply = SimReply{};
        reply.raw = true;
        reply.blocks << frame.left(frame.indexOf(Ctl::ETX) + 1) + Ctl::CR;
    }
}

void SimDetector::sendBlock(int index) {
    const int n = ++m_replies;
    bool drop = hits(m_faults.dropNth, m_faults.dropEvery, n);
    bool corrupt = hits(m_faults.corruptNth, m_faults.corruptEvery, n);
    bool wrongEcho = false;
    const bool echo = m_blocksEcho && index == 0 && !m_blocksRaw;
    if (echo) {
        const int e = ++m_echoes;
        wrongEcho = hits(m_faults.wrongEchoNth, m_faults.wrongEchoEvery, e);
    }
    int delay = qMax(0, m_faults.delayMs);
    int chunk = qMax(0, m_faults.splitChunk);
    if (m_faults.randomRate > 0.0) {
        seedRandom();
        if (m_random.unit() < m_faults.randomRate) {
            switch (m_random.uniform(0, echo ? 4 : 3)) {
            case 0:
                drop = true;
                break;
            case 1:
                delay += m_random.uniform(10, qMax(500, m_faults.delayMs));
                break;
            case 2:
                chunk = m_random.uniform(1, 8);
                break;
            case 3:
                corrupt = true;
                break;
            default:
                wrongEcho = true;
                break;
            }
        }
    }
    if (m_faults.deadLine) {
        ++m_faultCount;
        return;
    }
    if (drop) {
        ++m_faultCount;
        return;
    }
    m_faultCount += int(corrupt) + int(wrongEcho) + int(delay > 0) + int(chunk > 0);

    QByteArray bytes;
    const QByteArray& block = m_blocks.at(index);
    if (m_blocksRaw) {
        bytes = block;
        if (corrupt && !bytes.isEmpty()) bytes[0] = char(~bytes.at(0));
    } else {
        const QByteArray text = wrongEcho ? OtherValue(block, 5) : block;
        bytes = BuildFrame(text, index + 1 < m_blocks.size() ? Ctl::ETB : Ctl::EOT);
        if (corrupt) {
            const qsizetype at = bytes.size() - 3;
            const int sum = bytes.mid(at, 2).toInt(nullptr, 16);
            bytes.replace(
                at, 2, QByteArray::number((sum + 1) & 0xFF, 16).toUpper().rightJustified(2, '0'));
        }
    }

    Outgoing out{nowMs() + delay, bytes, chunk};
    if (!m_queue.isEmpty()) out.due = qMax(out.due, m_queue.last().due); // the line keeps order
    if (delay == 0 && m_queue.isEmpty())
        release(out);
    else
        m_queue.append(out);
}

void SimDetector::release(const Outgoing& out) {
    if (out.chunk <= 0 || out.chunk >= out.bytes.size()) {
        emit transmit(out.bytes);
        return;
    }
    for (qsizetype at = 0; at < out.bytes.size(); at += out.chunk)
        emit transmit(out.bytes.mid(at, out.chunk));
}

void SimDetector::poll() {
    const qint64 now = nowMs();
    while (!m_queue.isEmpty() && m_queue.first().due <= now) {
        const Outgoing out = m_queue.takeFirst();
        release(out);
    }
}

qint64 SimDetector::nextDueMs() const {
    return m_queue.isEmpty() ? -1 : m_queue.first().due;
}

bool SimDetector::hits(int nth, int every, int count) const {
    return (nth > 0 && count == nth) || (every > 0 && count % every == 0);
}

void SimDetector::seedRandom() {
    if (m_randomSeeded && m_randomSeed == m_faults.seed) return;
    m_random.reseed(quint64(m_faults.seed) ^ 0xA5A5A5A5ull);
    m_randomSeed = m_faults.seed;
    m_randomSeeded = true;
}
