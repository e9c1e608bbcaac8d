// Calibration, maintenance and single-purpose commands of the link.
#include "instrument/WireFormat.h"
#include "instrument/clsInstrument.h"
#include "link/LinkCodes.h"
#include "link/LinkLog.h"
#include "link/uclHvif.h"
#include "shell/Messages.h"

namespace {

constexpr int kMsgDefaultFinished = 5375;
constexpr int kMsgDefaultFailed = 5376;
constexpr int kMsgPowerOffStarted = 5506;
constexpr int kMsgPowerOffFinished = 5507;
constexpr int kMsgCalibrationFailed = 5516;
constexpr int kMsgRemoveStarted = 5556;
constexpr int kMsgRemoveFinished = 5557;
constexpr int kMsgRemoveFailed = 5558;
constexpr int kMsgReadingTimeout = 5560;

// Interval of the concentration polling.
constexpr qint64 kDenstyIntervalMs = 1000;
// Ticks between two zero-calibration status polls, and before the link comes back after a
// power-off.
constexpr int kZeroPollTicks = 10;
constexpr int kPowerOffTicks = 50;
// Seconds between two confirm polls of the log clear and default operations.
constexpr int kConfirmWaitSeconds = 5;

// True when status is exactly one character and its character index + 1 is "0" (so only
// index 0 can give true).
bool StatusCharIsZero(const QString& status, int index) {
    return status.size() == 1 && index >= 0 && index < 5 && index < status.size() &&
           status.at(index) == QLatin1Char('0');
}

} // namespace

void uclHvif::BeginOperation() {
    // A Cancel left over from an earlier operation (a cancelled or timed-out dump sets it)
    // must not end this one at its first answer. An operation started inside another one's
    // wait sends nothing and must not take the Cancel meant for that one.
    if (!IsWaiting()) setCancel(false);
}

bool uclHvif::ZeroCal(const QString& p) {
    BeginOperation();
    m_opResult = true;
    const auto logFailure = [this] {
        AddLog(LoadMessage(kMsgCalibrationFailed, {GeneralDateText(m_clock->currentDateTime())}));
    };
    if (!Exchange("SZ,W," + p.toLatin1(), LinkStatus::WriteWait)) {
        logFailure();
        m_opResult = false;
        return false;
    }
    // The detector answers the status poll with SUB while it is still working.
    m_opResult = RunPollLoop([this] {
        WaitTicks(kZeroPollTicks);
        if (!Exchange("SZ,C,", LinkStatus::WriteWait)) return PollStep::Failed;
        return m_ctx.zeroStatus.size() == 1 ? PollStep::Done : PollStep::Again;
    });
    if (!m_opResult) logFailure();
    return m_opResult;
}

bool uclHvif::ZeroStatus(int index) const {
    return StatusCharIsZero(m_ctx.zeroStatus, index);
}

bool uclHvif::SpanCal(const QString& request) {
    Q_UNUSED(request);
    BeginOperation();
    m_opResult = true;
    if (Exchange("S1,W,", LinkStatus::WriteWait)) return true;
    AddLog(LoadMessage(kMsgCalibrationFailed, {GeneralDateText(m_clock->currentDateTime())}));
    m_opResult = false;
    return false;
}

bool uclHvif::SpanStatus(int index) const {
    return StatusCharIsZero(m_ctx.spanStatus, index);
}

bool uclHvif::zCal(const QString& value) {
    BeginOperation();
    m_ctx.zeroCalResult.clear();
    if (Exchange("SN,W," + value.toLatin1(), LinkStatus::WriteWait) &&
        !m_ctx.zeroCalResult.isEmpty())
        return true;
    AddLog(LoadMessage(kMsgCalibrationFailed, {GeneralDateText(m_clock->currentDateTime())}));
    return false;
}

// ---- Concentration polling ----

void uclHvif::setRunDensty(bool on) {
    if (on == m_denstyRunning) return;
    if (on) {
        BeginOperation();
        m_denstyRunning = true;
        const quint64 generation = ++m_denstyGeneration;
        m_engine.setTickCount(0);
        const qint64 due = m_clock->nowMs() + kDenstyIntervalMs;
        m_clock->schedule(due, this, [this, generation, due] { DenstyTick(generation, due); });
        return;
    }
    // An outstanding reading is answered (or given up) before the polling stops.
    if (m_engine.Status() == LinkStatus::ReadWait) WaitWhileStatus(LinkStatus::ReadWait);
    m_denstyRunning = false;
    ++m_denstyGeneration;
}

void uclHvif::DenstyTick(quint64 generation, qint64 dueMs) {
    if (!m_denstyRunning || generation != m_denstyGeneration) return;
    const qint64 next = dueMs + kDenstyIntervalMs;
    m_clock->schedule(next, this, [this, generation, next] { DenstyTick(generation, next); });
    // Another operation is waiting for its own reply: this reading is left out.
    if (IsWaiting()) return;
    const int status = m_engine.Status();
    if (status == LinkStatus::Idle || status == LinkStatus::Completed) {
        m_engine.setStatus(LinkStatus::ReadWait);
        m_engine.setRetryCount(0);
        DataSend(BuildFrame("DN,R,", Ctl::EOT), true);
    } else if (status == LinkStatus::ReadWait) {
        AddLog(LoadMessage(kMsgReadingTimeout, {GeneralDateText(m_clock->currentDateTime())}));
        m_engine.setStatus(LinkStatus::Idle);
    }
}

// ---- Single reads ----

bool uclHvif::ReadInto(clsInstrument& record, const QByteArray& command) {
    BeginOperation();
    clsInstrument* previous = m_instrument;
    m_opResult = true;
    m_instrument = &record;
    record.setFailLine(QString());
    const bool completed = Exchange(command, LinkStatus::ReadWait);
    m_instrument = previous;
    const bool ok = completed && m_opResult;
    if (!ok) m_engine.setStatus(LinkStatus::Idle);
    return ok;
}

bool uclHvif::GetAutoCalDensty(clsInstrument& record) {
    if (ReadInto(record, "SA,R,")) return true;
    // The value is unknown now, but that is no edit: a later write must not send "*****".
    const bool flagged = record.Change_AutoCal(0);
    record.setAutoCalib(0, clsInstrument::NoValue);
    record.setChange_AutoCal(0, flagged);
    return false;
}

bool uclHvif::GetGasInfo(clsInstrument& record) {
    if (ReadInto(record, "GJ,R,")) return true;
    // The gas is unknown now, but that is no edit: a later write must not erase the
    // detector's gas definition.
    const bool enableFlag = record.Change_GasEnable(0);
    const bool pointFlag = record.Change_GasPoint(0);
    record.ApplyGasDefinition(QString::fromLatin1(clsInstrument::NoGasDefinition));
    record.setChange_GasEnable(0, enableFlag);
    record.setChange_GasPoint(0, pointFlag);
    return false;
}

bool uclHvif::GetRomNo(clsInstrument& record) {
    BeginOperation();
    m_opResult = true;
    setInstrument(&record);
    record.setFailLine(QString());
    for (int index : {0, 1, 2, 3, 4, 20}) {
        const QString command = ReadCommand(index);
        if (command.isEmpty()) continue;
        if (!Exchange(command.toLatin1(), LinkStatus::ReadWait)) return false;
    }
    return true;
}

bool uclHvif::GetLatestHistory(clsInstrument& record) {
    BeginOperation();
    setInstrument(&record);
    m_opResult = true;
    if (Exchange("SO,R,", LinkStatus::ReadWait) && m_opResult) return true;
    m_engine.setStatus(LinkStatus::Idle);
    return false;
}

bool uclHvif::GetLatestBumpHistory(clsInstrument& record) {
    BeginOperation();
    setInstrument(&record);
    m_opResult = true;
    if (Exchange("BO,R,", LinkStatus::ReadWait) && m_opResult) return true;
    m_engine.setStatus(LinkStatus::Idle);
    return false;
}

// ---- Commands ----

bool uclHvif::SetPump(bool on) {
    BeginOperation();
    return Exchange(on ? "BP,W,1" : "BP,W,0", LinkStatus::WriteWait);
}

bool uclHvif::AlarmTest(qint16 code) {
    BeginOperation();
    return Exchange("RA,W," + WireFormat::HexN(code, 2).toLatin1(), LinkStatus::WriteWait);
}

bool uclHvif::SetDateTime(const QDateTime& when) {
    BeginOperation();
    if (!when.isValid()) return false;
    m_engine.setTickCount(0);
    const QByteArray stamp = when.toString(QStringLiteral("yyMMddHHmmss")).toLatin1();
    return Exchange("HC,W," + stamp, LinkStatus::WriteWait);
}

bool uclHvif::SetCheckData() {
    BeginOperation();
    m_engine.setTickCount(0);
    return Exchange("XH,E,", LinkStatus::WriteWait);
}

bool uclHvif::Lp(clsInstrument& record) {
    BeginOperation();
    m_opResult = true;
    return Exchange("LP,W," + WireFormat::Dec(record.HcMode()).toLatin1(), LinkStatus::WriteWait);
}

bool uclHvif::LpR(clsInstrument& record) {
    BeginOperation();
    m_opResult = true;
    setInstrument(&record);
    return Exchange("LP,R,", LinkStatus::ReadWait);
}

bool uclHvif::Dw() {
    BeginOperation();
    m_opResult = true;
    return Exchange("DW,W,", LinkStatus::WriteWait);
}

// ---- Operations confirmed by polling ----

bool uclHvif::ConfirmedClear(const QByteArray& code) {
    BeginOperation();
    m_opResult = true;
    AddLog(LoadMessage(kMsgRemoveStarted));
    if (!Exchange(code + ",W,", LinkStatus::WriteWait)) m_opResult = false;
    if (m_opResult) {
        m_opResult = RunPollLoop([this, &code] {
            m_ctx.confirmAck = false;
            if (!WaitSeconds(kConfirmWaitSeconds)) return PollStep::Failed;
            if (!Exchange(code + ",C,", LinkStatus::WriteWait)) return PollStep::Failed;
            return m_ctx.confirmAck ? PollStep::Done : PollStep::Again;
        });
    }
    AddLog(LoadMessage(m_opResult ? kMsgRemoveFinished : kMsgRemoveFailed));
    return m_opResult;
}

bool uclHvif::BodyDataClear() {
    return ConfirmedClear("XC");
}

bool uclHvif::PowerDataClear() {
    return ConfirmedClear("XY");
}

bool uclHvif::DefaultInstrument() {
    BeginOperation();
    m_opResult = true;
    if (!Exchange("UX,W,", LinkStatus::WriteWait)) m_opResult = false;
    if (m_opResult) {
        m_opResult = RunPollLoop([this] {
            m_ctx.confirmAck = false;
            if (!WaitSeconds(kConfirmWaitSeconds)) return PollStep::Failed;
            if (!Exchange("UX,C,", LinkStatus::ReadWait)) return PollStep::Failed;
            return m_ctx.confirmAck ? PollStep::Done : PollStep::Again;
        });
    }
    AddLog(LoadMessage(m_opResult ? kMsgDefaultFinished : kMsgDefaultFailed));
    return m_opResult;
}

bool uclHvif::BodyPowerOff() {
    BeginOperation();
    m_opResult = true;
    AddLog(LoadMessage(kMsgPowerOffStarted));
    // The detector may switch off before it answers; the outcome does not matter.
    Exchange("RO,W,", LinkStatus::WriteWait);
    if (m_serial->isOpen()) m_serial->close();
    m_infrared->close();
    WaitTicks(kPowerOffTicks);
    m_engine.setLinkState(LinkStates::Offline);
    m_engine.setStatus(LinkStatus::Reset);
    if (!m_serialComm) m_infrared->open();
    AddLog(LoadMessage(kMsgPowerOffFinished));
    return true;
}
