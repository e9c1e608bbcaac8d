#include "link/LinkEngine.h"

#include "link/Frame.h"
#include "link/LinkCodes.h"
#include "shell/Messages.h"

#include <algorithm>

namespace {

// Message numbers of the link log.
constexpr int kMsgNoResponse = 5405;
constexpr int kMsgConnectStarted = 5512;
constexpr int kMsgConnectFinished = 5514;
constexpr int kMsgBreak = 5542;
constexpr int kMsgFraming = 5543;
constexpr int kMsgOverrun = 5544;
constexpr int kMsgReceiveOverflow = 5545;
constexpr int kMsgParity = 5546;
constexpr int kMsgSendOverflow = 5547;
constexpr int kMsgDeviceControl = 5548;
constexpr int kMsgReceived = 5549;
constexpr int kMsgIrConnected = 5550;
constexpr int kMsgSent = 5552;

// Offset of the command text inside a frame (after STX and the address field).
constexpr int kTextOffset = 5;

bool IsWaitingForReply(qint32 status) {
    return status == LinkStatus::DumpListing || status == LinkStatus::ReadWait ||
           status == LinkStatus::WriteWait || status == LinkStatus::BinaryDump;
}

} // namespace

LinkEngine::LinkEngine(LinkEngineHost& host) : m_host(host) {}

bool LinkEngine::Connected() const {
    return m_linkState == LinkStates::Connected;
}

void LinkEngine::DataSend(const QByteArray& frame, bool resetRetries) {
    m_rx.clear();
    m_host.writeFrame(frame);
    m_host.stsTransmit();
    m_rxSinceSend = false;
    m_lastFrame = frame;
    m_timeoutCountdown = m_timeoutTicks;
    if (resetRetries) m_retryCount = 0;
    m_host.log(LoadMessage(kMsgSent, {RenderControlChars(frame)}));
}

void LinkEngine::SerialEvent(int code) {
    switch (code) {
    case CommEvent::DataReceived:
        receiveSerialData();
        break;
    case CommEvent::CtsChanged:
    case CommEvent::DsrChanged:
        if (m_host.serialModemStatus() & (ModemLine::Cts | ModemLine::Dsr)) {
            m_linkState = LinkStates::Connecting;
            m_retryCount = 0;
            lineCameUp();
        } else {
            m_linkState = LinkStates::Offline;
            endWithoutReply();
            m_retryCount = 0;
            m_roundsPending = false;
            m_host.lineDown();
        }
        break;
    case CommEvent::Break:
        ++m_commErrorCount;
        logWithDate(kMsgBreak);
        break;
    case CommEvent::FramingError:
    case CommEvent::PortOverrun:
    case CommEvent::ReceiveOverflow:
    case CommEvent::ParityError: {
        ++m_commErrorCount;
        const int message = code == CommEvent::FramingError  ? kMsgFraming
                            : code == CommEvent::PortOverrun ? kMsgOverrun
                            : code == CommEvent::ParityError ? kMsgParity
                                                             : kMsgReceiveOverflow;
        logWithDate(message);
        m_status = LinkStatus::Failed;
        break;
    }
    case CommEvent::SendBufferFull:
        if (m_linkState == LinkStates::Connecting) break;
        ++m_commErrorCount;
        logWithDate(kMsgSendOverflow);
        endWithoutReply();
        break;
    case CommEvent::DeviceControlError:
        ++m_commErrorCount;
        logWithDate(kMsgDeviceControl);
        endWithoutReply();
        break;
    default:
        break;
    }
}

void LinkEngine::InfraredEvent(int code) {
    switch (code) {
    case CommEvent::DataReceived:
        receiveInfraredData();
        break;
    case CommEvent::LinkEstablished:
        if (m_linkState != LinkStates::Offline) break;
        logWithDate(kMsgIrConnected);
        m_retryCount = 0;
        m_rx.clear();
        m_tickCount = 0;
        m_linkState = LinkStates::Connecting;
        lineCameUp();
        break;
    case CommEvent::SocketError: {
        m_status = LinkStatus::Failed;
        ++m_commErrorCount;
        const int error = m_host.infraredSocketError();
        m_host.log(QStringLiteral("Soket Error[%1](%2)").arg(m_host.dateText()).arg(error));
        m_host.irdaError(static_cast<qint16>(error));
        break;
    }
    default: {
        m_status = LinkStatus::Failed;
        ++m_commErrorCount;
        const int error = m_host.infraredSocketError();
        m_host.log(
            QStringLiteral("IrDA Error[%1][%2] (%3)").arg(m_host.dateText()).arg(code).arg(error));
        break;
    }
    }
}

void LinkEngine::receiveSerialData() {
    m_host.stsTransmit();
    m_rxSinceSend = true;
    m_commErrorCount = 0;
    const QByteArray bytes = m_host.readSerialInput();
    if (m_status != LinkStatus::BinaryDump) m_rx.append(bytes);
    if (m_cancel) {
        m_status = LinkStatus::Cancelled;
        m_rx.clear();
        return;
    }
    if (m_status == LinkStatus::BinaryDump) {
        storeSerialDump(bytes);
        return;
    }
    runFrameLoop();
}

void LinkEngine::storeSerialDump(const QByteArray& bytes) {
    // A block is DumpSize bytes; anything the detector sends beyond it belongs to no block.
    const int room = std::max(0, m_dumpSize - m_dumpReceived);
    const QByteArray taken = bytes.left(room);
    if (!taken.isEmpty()) m_host.storeDumpBytes(m_dumpOffset + m_dumpReceived, taken);
    m_dumpReceived += static_cast<qint32>(taken.size());
    if (m_dumpReceived >= m_dumpSize) m_status = LinkStatus::Completed;
}

void LinkEngine::receiveInfraredData() {
    m_host.stsTransmit();
    m_rxSinceSend = true;
    if (m_status == LinkStatus::BinaryDump) {
        const int room = std::max(0, m_dumpSize - m_dumpReceived);
        m_dumpReceived += m_host.storeInfraredInputToDump(m_dumpOffset + m_dumpReceived, room);
        if (m_dumpReceived >= m_dumpSize) m_status = LinkStatus::Completed;
    } else {
        m_commErrorCount = 0;
        m_rx.append(m_host.readInfraredInput());
    }
    if (m_cancel) {
        m_status = LinkStatus::Cancelled;
        m_rx.clear();
    } else {
        runFrameLoop();
    }
    m_host.stsIdle();
}

void LinkEngine::runFrameLoop() {
    for (;;) {
        const qsizetype etb = m_rx.indexOf(Ctl::ETB);
        const qsizetype eot = m_rx.indexOf(Ctl::EOT);
        qsizetype end = -1;
        if (etb >= 0 && eot >= 0)
            end = std::min(etb, eot);
        else
            end = std::max(etb, eot);

        if (end < 0) {
            // A line ended by CR without a frame end is a garbled answer.
            const qsizetype lineEnd = LooseLineEnd(m_rx);
            if (lineEnd < 0) return;
            if (m_retryCount >= m_retry) {
                m_status = LinkStatus::Failed;
                return;
            }
            ++m_retryCount;
            if (!IsOneShot(m_lastFrame)) {
                if (m_retryCount > 1) m_host.connectRetry(m_retryCount);
                DataSend(m_lastFrame, false);
                return;
            }
            // A one-shot request may have been carried out although its answer was garbled:
            // it is not sent again. The garbled line is dropped so that it counts once; a
            // good answer may still follow, else the reply timeout ends the exchange.
            m_rx.remove(0, lineEnd + 1);
            continue;
        }

        const QByteArray frame = m_rx.left(end + 1);
        m_rx.remove(0, end + 1);
        m_host.log(LoadMessage(kMsgReceived, {RenderControlChars(frame)}));
        const bool accepted = m_host.parseFrame(frame);
        const bool moreBlocks = frame.endsWith(Ctl::ETB);

        if (accepted) {
            if (moreBlocks)
                DataSend(ContinuationRequest(m_lastFrame, Ctl::ACK), true);
            else
                m_status = LinkStatus::Completed;
        } else if (m_retryCount >= m_retry) {
            m_status = LinkStatus::Failed;
        } else {
            ++m_retryCount;
            if (m_status == LinkStatus::ReadWait || m_status == LinkStatus::WriteWait) {
                if (!IsOneShot(m_lastFrame)) DataSend(m_lastFrame, false);
            } else {
                DataSend(ContinuationRequest(m_lastFrame, Ctl::NAK), false);
            }
        }
    }
}

void LinkEngine::endWithoutReply() {
    // An exchange that was still waiting did not complete: it failed. Otherwise the link is
    // left "completed", which is what the hosts expect of a quiet link.
    m_status = IsWaitingForReply(m_status) ? LinkStatus::Failed : LinkStatus::Completed;
}

void LinkEngine::lineCameUp() {
    // A new connection on the line: its connect sequence reports as the first one did.
    m_roundsPending = false;
    m_quietSequence = false;
}

void LinkEngine::startRoundWhenDue() {
    if (!m_roundsPending || m_linkState != LinkStates::Offline) return;
    if (++m_roundTicks < kReconnectRoundTicks) return;
    m_roundTicks = 0;
    // A closed port or a dropped endpoint raises its own line-up event when it comes back.
    if (!m_host.lineStillThere()) return;
    m_linkState = LinkStates::Connecting;
    m_retryCount = 0;
    m_quietSequence = true;
}

void LinkEngine::Tick() {
    ++m_tickCount;

    startRoundWhenDue();

    if (m_linkState == LinkStates::Connecting && m_status != LinkStatus::ReadWait) {
        m_host.log(LoadMessage(kMsgConnectStarted));
        if (m_retryCount < m_retry) {
            ++m_retryCount;
            if (m_retryCount % 5 == 0 && m_retryCount > 1 && !m_quietSequence)
                m_host.connectRetry(static_cast<qint16>(m_retryCount / 5));
            m_status = LinkStatus::ReadWait;
            DataSend(BuildFrame("RC,R,", Ctl::EOT), false);
        } else {
            m_status = LinkStatus::Reset;
            m_linkState = LinkStates::Offline;
            m_commErrorCount = 0;
            // The line may still be there with the detector switched off or out of reach:
            // the link probes again in rounds, and only the first give-up is reported.
            if (!m_quietSequence) m_host.alarmMessage(LoadMessage(kMsgNoResponse));
            m_roundsPending = true;
            m_roundTicks = 0;
        }
        m_tickCount = 0;
    }

    if (m_linkState == LinkStates::Connecting && m_status == LinkStatus::ReadWait &&
        m_tickCount > kProbeTicks) {
        m_status = LinkStatus::Reset;
        m_commErrorCount = 0;
        m_tickCount = 0;
    }

    if (m_linkState == LinkStates::Connected) {
        if (m_timeoutCountdown > 0) {
            --m_timeoutCountdown;
        } else if (m_retryCount < m_retry) {
            ++m_retryCount;
            repeatAfterTimeout();
        } else if (m_status == LinkStatus::Cancelled) {
            m_status = LinkStatus::Idle;
        } else if (m_status != LinkStatus::Idle && m_status != LinkStatus::Completed) {
            m_status = LinkStatus::Failed;
            m_rxSinceSend = false;
        }
    }

    if (m_irPollCountdown <= 0) {
        m_host.pollInfrared();
        m_irPollCountdown = m_irPollReload;
    } else {
        --m_irPollCountdown;
    }
}

void LinkEngine::repeatAfterTimeout() {
    switch (m_status) {
    case LinkStatus::DumpListing:
        if (m_lastFrame.endsWith(Ctl::EOT))
            DataSend(m_lastFrame, false);
        else
            DataSend(ContinuationRequest(m_lastFrame, Ctl::NAK), false);
        break;
    case LinkStatus::ReadWait:
    case LinkStatus::WriteWait:
        if (!IsOneShot(m_lastFrame)) DataSend(m_lastFrame, false);
        break;
    case LinkStatus::BinaryDump:
        m_host.log(QStringLiteral("= timeout ="));
        m_binaryRetry = true;
        m_cancel = true;
        break;
    default:
        break;
    }
}

void LinkEngine::ConnectReplyAccepted() {
    m_irPollReload = kConnectedPollReload;
    m_roundsPending = false;
    m_quietSequence = false;
    if (m_linkState == LinkStates::Connected) return;
    m_linkState = LinkStates::Connected;
    m_host.onConnect();
    m_host.log(LoadMessage(kMsgConnectFinished));
}

QByteArray LinkEngine::ContinuationRequest(const QByteArray& lastFrame, char ackOrNak) {
    const QByteArray text = lastFrame.mid(kTextOffset);
    const int headLength = lastFrame.contains("IH") ? 7 : 5;
    return BuildFrame(text.left(headLength) + ackOrNak, Ctl::ETB);
}

bool LinkEngine::IsOneShot(const QByteArray& frame) {
    return frame.contains("UX,W") || frame.contains("XC,W") || frame.contains("SZ,W") ||
           frame.contains("S1,W");
}

bool LinkEngine::HasLooseLineEnd(const QByteArray& buffer) {
    return LooseLineEnd(buffer) >= 0;
}

qsizetype LinkEngine::LooseLineEnd(const QByteArray& buffer) {
    // A CR between STX and ETX belongs to the text of a frame still arriving (the detector
    // separates values with CR); any other CR ends a line.
    bool insideText = false;
    for (qsizetype i = 0; i < buffer.size(); ++i) {
        const char c = buffer.at(i);
        if (c == Ctl::STX)
            insideText = true;
        else if (c == Ctl::ETX)
            insideText = false;
        else if (c == Ctl::CR && !insideText)
            return i;
    }
    return -1;
}

void LinkEngine::logWithDate(int message) {
    m_host.log(LoadMessage(message, {m_host.dateText()}));
}
