#include "ui/frmUploadCalib.h"

#include "instrument/WireFormat.h"
#include "instrument/clsInstrument.h"
#include "link/LinkClock.h"
#include "link/uclHvif.h"
#include "shell/AppState.h"
#include "shell/Messages.h"
#include "shell/modGasCommon.h"
#include "ui/WindowHost.h"

namespace {

constexpr int kMsgCalibrationFail = 5956;
constexpr int kMsgCalibrationStartedLog = 5957;
constexpr int kMsgCalibrationFailedLog = 5516;

// Operation state of a span adjustment.
constexpr qint16 kSpanState = 4;

} // namespace

frmUploadCalib::frmUploadCalib(WindowHost& main, CalibrationSession& calibration)
    : frmUpload(&main.link(), calibration.sessionWidget()), m_main(main), m_calibration(calibration),
      m_state(AppState::OperationState()) {
    setObjectName(QStringLiteral("frmUploadCalib"));
    setWindowModality(Qt::ApplicationModal);
}

bool frmUploadCalib::Run() {
    LinkClock& clock = *m_main.link().clock();
    m_result = false;
    m_tmrFired = false;
    m_tmrActive = true;
    show();
    const qint64 due = clock.nowMs() + kInterMs;
    clock.schedule(due, this, [this] { m_tmrFired = true; });
    while (!m_tmrFired)
        clock.waitForEvents(due);
    m_tmrActive = false;
    tmrInter_Timer();
    Finish();
    return m_result;
}

void frmUploadCalib::tmrInter_Timer() {
    if (m_state == kSpanState)
        AdjustSpan();
    else
        AdjustZero();
}

QString frmUploadCalib::DateText() const {
    return m_main.link().clock()->currentDateTime().toString(QStringLiteral("MM/dd/yyyy HH:mm:ss"));
}

QString frmUploadCalib::SpanRequestText(const clsInstrument& record,
                                        const CalibrationSession::GasFlags& selected) {
    QString text;
    for (int gas = 0; gas < clsInstrument::GasCount; ++gas)
        text += selected[gas] ? u'1' : u'0';
    for (int gas = 0; gas < clsInstrument::GasCount; ++gas) {
        text += u',';
        text += selected[gas] ? FormatFixed5(record.AutoCalib(gas), record.GasPoint(gas))
                              : QStringLiteral("*****");
    }
    return text;
}

void frmUploadCalib::AdjustZero() {
    uclHvif& link = m_main.link();
    link.setRunDensty(false);
    CalibrationSession::GasFlags statuses{};
    // The link writes the failure into the link log itself.
    m_result = link.ZeroCal(QStringLiteral("1"));
    m_statusText = m_result ? link.replyContext().zeroStatus : QString();
    m_historyRead = false;
    if (m_result) {
        for (int gas = 0; gas < clsInstrument::GasCount; ++gas)
            statuses[gas] = link.ZeroStatus(gas);
    } else {
        m_main.AddInfo(LoadMessage(kMsgCalibrationFail), WindowHost::ColourFailure());
    }
    m_calibration.SetCalibResult(m_result, statuses, true);
    m_main.TakeLatestReading();
    link.setRunDensty(true);
}

void frmUploadCalib::AdjustSpan() {
    uclHvif& link = m_main.link();
    link.setRunDensty(false);
    m_spanRequest = SpanRequestText(m_calibration.record(), m_calibration.SpanSelection());
    link.AddLog(LoadMessage(kMsgCalibrationStartedLog, {DateText()}) + QStringLiteral(" (") +
                m_spanRequest + u')');
    CalibrationSession::GasFlags statuses{};
    // The link writes a failed span request into the link log itself.
    m_result = WriteSpanConcentrations() && link.SpanCal(m_spanRequest);
    m_statusText = m_result ? link.replyContext().spanStatus : QString();
    if (m_result) {
        for (int gas = 0; gas < clsInstrument::GasCount; ++gas)
            statuses[gas] = link.SpanStatus(gas);
    } else {
        m_main.AddInfo(LoadMessage(kMsgCalibrationFail), WindowHost::ColourFailure());
    }
    // The detector's calibration history changed.
    m_historyRead = link.GetLatestHistory(m_main.working());
    m_calibration.SetCalibResult(m_result, statuses, false);
    m_main.TakeLatestReading();
    link.setRunDensty(true);
}

bool frmUploadCalib::WriteSpanConcentrations() {
    uclHvif& link = m_main.link();
    const clsInstrument& record = m_calibration.record();
    const CalibrationSession::GasFlags selected = m_calibration.SpanSelection();
    for (int gas = 0; gas < clsInstrument::GasCount; ++gas) {
        if (!selected[gas]) continue;
        const int places = record.GasPoint(gas);
        const float value = record.AutoCalib(gas);
        if (WireFormat::Val5(value, places) ==
            WireFormat::Val5(m_calibration.DetectorAutoCalib(gas), places))
            continue;
        // The span uses what the operator sees: a concentration other than the detector's is
        // written first, checked against the detector's echo like every write of it.
        clsInstrument request = record;
        request.ClearChangeFlags();
        request.setAutoCalib(gas, value);
        clsInstrument* previous = link.Instrument();
        const bool written = link.SetInstrument(request);
        if (previous)
            link.setInstrument(previous);
        else
            link.clearInstrument();
        if (!written) {
            link.AddLog(LoadMessage(kMsgCalibrationFailedLog, {DateText()}));
            return false;
        }
        m_calibration.setDetectorAutoCalib(gas, value);
        // The detector holds the new concentration now; the main record follows, so that a
        // later "Update" does not put the old one back.
        clsInstrument& main = m_main.working();
        main.setAutoCalib(gas, value);
        main.setChange_AutoCal(gas, false);
        m_main.RefreshInstrumentView();
    }
    return true;
}
