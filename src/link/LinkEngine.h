#pragma once

#include "link/LinkEngineHost.h"

#include <QByteArray>
#include <QtGlobal>

// The link's frame exchange and supervision as a state machine without I/O. It is fed received
// bytes (through its host), communication events and 100 ms ticks, and answers with frames to
// write, status changes, log lines and events. One instance serves one link.
class LinkEngine {
public:
    // Ticks a connect probe may stay unanswered before the next one is sent.
    static constexpr int kProbeTicks = 10;
    // Infrared poll reload once the detector has answered a connect probe.
    static constexpr qint16 kConnectedPollReload = 5;
    // Ticks from an unanswered connect sequence to the next round of probes (5 s), while the
    // line is still there.
    static constexpr int kReconnectRoundTicks = 50;

    explicit LinkEngine(LinkEngineHost& host);

    // Exchange status (values in LinkCodes.h).
    qint32 Status() const { return m_status; }
    void setStatus(qint32 status) { m_status = status; }
    // 0 off-line, 2 connecting, 3 connected.
    qint32 LinkState() const { return m_linkState; }
    void setLinkState(qint32 state) { m_linkState = state; }
    // True while LinkState is 3.
    bool Connected() const;

    // Repeats allowed for one request, and number of connect probes.
    qint16 Retry() const { return m_retry; }
    void setRetry(qint16 retry) { m_retry = retry; }
    // Reply timeout in 100 ms ticks.
    qint16 TimeoutTicks() const { return m_timeoutTicks; }
    void setTimeoutTicks(qint16 ticks) { m_timeoutTicks = ticks; }
    // Host request to abandon the running exchange at the next data arrival.
    bool Cancel() const { return m_cancel; }
    void setCancel(bool cancel) { m_cancel = cancel; }
    // Set when a binary dump block timed out.
    bool BinaryRetry() const { return m_binaryRetry; }
    void setBinaryRetry(bool on) { m_binaryRetry = on; }
    // Cleared when a frame is sent, set when data arrives.
    bool RxSinceSend() const { return m_rxSinceSend; }

    qint16 RetryCount() const { return m_retryCount; }
    void setRetryCount(qint16 count) { m_retryCount = count; }
    qint16 TimeoutCountdown() const { return m_timeoutCountdown; }
    qint16 CommErrorCount() const { return m_commErrorCount; }
    qint32 TickCount() const { return m_tickCount; }
    void setTickCount(qint32 ticks) { m_tickCount = ticks; }
    qint16 IrPollCountdown() const { return m_irPollCountdown; }
    qint16 IrPollReload() const { return m_irPollReload; }
    void setIrPollReload(qint16 reload) { m_irPollReload = reload; }

    // Text received but not yet cut into frames.
    const QByteArray& RxBuffer() const { return m_rx; }
    // The last frame sent, complete with its framing.
    const QByteArray& LastFrame() const { return m_lastFrame; }

    // Binary dump block in progress: file position of the block, its size, bytes received.
    qint32 DumpOffset() const { return m_dumpOffset; }
    void setDumpOffset(qint32 offset) { m_dumpOffset = offset; }
    qint32 DumpSize() const { return m_dumpSize; }
    void setDumpSize(qint32 size) { m_dumpSize = size; }
    qint32 DumpReceived() const { return m_dumpReceived; }
    void setDumpReceived(qint32 received) { m_dumpReceived = received; }

    // Sends one complete frame on the active transport; resets the retry count when asked.
    void DataSend(const QByteArray& frame, bool resetRetries);
    // Handles a communication event of the serial component (only while its port is open).
    void SerialEvent(int code);
    // Handles a communication event of the infrared component.
    void InfraredEvent(int code);
    // One 100 ms supervision tick.
    void Tick();
    // The decoder accepted a connect reply naming the detector family.
    void ConnectReplyAccepted();

    // The continuation request after `lastFrame` (ACK: next block, NAK: the same block again).
    static QByteArray ContinuationRequest(const QByteArray& lastFrame, char ackOrNak);
    // True for the requests the link never sends twice (factory default, log clear, zero, span).
    static bool IsOneShot(const QByteArray& frame);
    // True when `buffer` holds a line end (CR) that is not inside a frame still being received.
    static bool HasLooseLineEnd(const QByteArray& buffer);
    // Position of the first such line end in `buffer`; -1 when there is none.
    static qsizetype LooseLineEnd(const QByteArray& buffer);

private:
    void receiveSerialData();
    void receiveInfraredData();
    void storeSerialDump(const QByteArray& bytes);
    void runFrameLoop();
    void endWithoutReply();
    void lineCameUp();
    void startRoundWhenDue();
    void repeatAfterTimeout();
    void logWithDate(int message);

    LinkEngineHost& m_host;
    qint32 m_status = 0;
    qint32 m_linkState = 0;
    qint16 m_retry = 0;
    qint16 m_timeoutTicks = 0;
    bool m_cancel = false;
    bool m_binaryRetry = false;
    bool m_rxSinceSend = false;
    qint16 m_retryCount = 0;
    qint16 m_timeoutCountdown = 0;
    qint16 m_commErrorCount = 0;
    qint32 m_tickCount = 0;
    qint16 m_irPollCountdown = 0;
    qint16 m_irPollReload = 0;
    QByteArray m_rx;
    QByteArray m_lastFrame;
    qint32 m_dumpOffset = 0;
    qint32 m_dumpSize = 64;
    qint32 m_dumpReceived = 0;
    // After a connect sequence went unanswered: rounds of probes follow while the line is
    // there; the rounds the link starts on its own raise no events until one connects.
    bool m_roundsPending = false;
    int m_roundTicks = 0;
    bool m_quietSequence = false;
};
