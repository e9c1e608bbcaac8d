#pragma once

#include "instrument/clsInstrument.h"

#include <QString>
#include <array>

class QWidget;

// The calibration window as the adjustment it runs sees it: the calibration record, the gases
// chosen for the span, the span concentrations the detector holds, and where the outcome goes.
// The calibration window implements it; the adjustment's progress dialog includes only this.
class CalibrationSession {
public:
    // One flag per gas (adjustment statuses, span selections).
    using GasFlags = std::array<bool, clsInstrument::GasCount>;

    virtual ~CalibrationSession() = default;

    // The window the adjustment's dialog is placed over.
    virtual QWidget* sessionWidget() = 0;
    // The calibration record: gas definition and span concentrations.
    virtual const clsInstrument& record() const = 0;
    // The gases chosen for the span.
    virtual GasFlags SpanSelection() const = 0;
    // The span concentration the detector holds (as read, or as last written by a span).
    virtual float DetectorAutoCalib(int gas) const = 0;
    virtual void setDetectorAutoCalib(int gas, float value) = 0;
    // Takes the outcome of an adjustment: its result and the status of each gas.
    virtual void SetCalibResult(bool result, const GasFlags& statuses, bool asZero) = 0;
};
