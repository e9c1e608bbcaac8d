#include "ui/WindowHost.h"

#include "instrument/clsInstrument.h"
#include "link/uclHvif.h"
#include "records/FactoryRecord.h"

QColor WindowHost::ColourProgress() {
    return QColor(0, 192, 0);
}
QColor WindowHost::ColourFailure() {
    return QColor(255, 0, 0);
}
QColor WindowHost::ColourConnected() {
    return QColor(0, 0, 255);
}
QColor WindowHost::ColourLinkText() {
    return QColor(0, 0, 192);
}
QColor WindowHost::ColourDump() {
    return QColor(128, 32, 0);
}
QColor WindowHost::ColourAdValues() {
    return QColor(0, 128, 64);
}
QColor WindowHost::ColourCompareOk() {
    return QColor(0, 255, 0);
}

RegisterEvent WindowHost::MakeEvent(EventKind kind, const clsInstrument& record, bool success) {
    RegisterEvent event = RegisterEvent::Make(kind, record, success);
    // The program's clock (the link's) is the one its logs and records use.
    const QDateTime now = link().clock()->currentDateTime();
    event.pcTimeUtc = now.toUTC();
    event.utcOffsetSeconds = now.offsetFromUtc();
    event.detectorClock = record.SysDate() != 0.0 ? DetectorClock(record, now) : QDateTime();
    if (const clsInstrument* held = DetectorOnRecord()) {
        const DetectorIdentity known = DetectorIdentity::FromRecord(*held);
        event.detector.serial = known.serial;
        event.detector.manufactureNo = known.manufactureNo;
        event.detector.stationId = known.stationId;
        event.detector.userId = known.userId;
    }
    return event;
}
