#pragma once

#include "ui/CalibrationSession.h"
#include "ui/frmUpload.h"

#include <QString>

class clsInstrument;
class WindowHost;

// The progress dialog of one calibration adjustment. It shows "Adjusting Zero" (operation
// state 3) or "Adjusting Span Settings." (state 4) with the animation and no Cancel button,
// performs the adjustment half a second after it opens (live readings off meanwhile), hands the
// outcome to the calibration window and closes itself.
//
// The half-second timer runs on the link's clock, so that under a virtual clock the adjustment
// runs without real waiting.
class frmUploadCalib : public frmUpload {
    Q_OBJECT
public:
    // Interval of the timer `tmrInter` that starts the adjustment, in ms.
    static constexpr int kInterMs = 500;

    // A dialog for the adjustment of the current operation state, on the calibration window.
    frmUploadCalib(WindowHost& main, CalibrationSession& calibration);

    // Shows the dialog modally, performs the adjustment when the timer fires and closes;
    // true when the link operation succeeded.
    bool Run();
    // True while the timer waits to start the adjustment.
    bool tmrInterActive() const { return m_tmrActive; }
    // The span request text of the last span adjustment (empty before one).
    QString SpanRequest() const { return m_spanRequest; }
    // The status text the detector gave the adjustment (one character per gas; empty when it
    // gave none).
    QString StatusText() const { return m_statusText; }
    // True when the detector's calibration record was read after the adjustment.
    bool HistoryRead() const { return m_historyRead; }

    // The span request text: for each gas "1" when selected, else "0", then for each gas ","
    // and its span concentration in five characters (selected) or ",*****" (not selected).
    static QString SpanRequestText(const clsInstrument& record,
                                   const CalibrationSession::GasFlags& selected);

private:
    void tmrInter_Timer();
    void AdjustZero();
    void AdjustSpan();
    bool WriteSpanConcentrations();
    QString DateText() const;

    WindowHost& m_main;
    CalibrationSession& m_calibration;
    qint16 m_state = 0;
    bool m_tmrActive = false;
    bool m_tmrFired = false;
    bool m_result = false;
    bool m_historyRead = false;
    QString m_spanRequest;
    QString m_statusText;
};
