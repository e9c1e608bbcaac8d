#pragma once

#include "register/RegisterEvent.h"

#include <QColor>
#include <QString>
#include <functional>

class QWidget;
class UiPrompts;
class clsInstrument;
class uclHvif;

// The main window as the windows it opens see it (calibration, upload progress, logger-area
// check, memory dump): the link, the working record, the information log and the few displays
// they share. The main window implements it; the other windows include only this header.
class WindowHost {
public:
    // Colours of the lines of the information log.
    static QColor ColourProgress();  // green (0,192,0): progress and success
    static QColor ColourFailure();   // red (255,0,0): failure
    static QColor ColourConnected(); // blue (0,0,255): connection made
    static QColor ColourLinkText();  // dark blue (0,0,192): texts from the link
    static QColor ColourDump();      // brown (128,32,0): memory dump
    static QColor ColourAdValues();  // green-blue (0,128,64): A/D values list
    static QColor ColourCompareOk(); // bright green (0,255,0): master comparison passed

    virtual ~WindowHost() = default;

    // The widget dialogs opened for the host are placed over.
    virtual QWidget* hostWidget() = 0;
    // The instrument link.
    virtual uclHvif& link() = 0;
    // The detector's settings as read, edited and written.
    virtual clsInstrument& working() = 0;
    // The reference of the master comparison, and the path of the file it was loaded from
    // (empty before one was loaded).
    virtual clsInstrument& master() = 0;
    virtual QString MasterFile() const = 0;
    // True when the working record holds a complete read of the detector connected now.
    virtual bool RecordReadFromDetector() const = 0;
    // The message boxes and file dialogs in use.
    virtual UiPrompts& prompts() const = 0;
    // Appends one line in `colour` to the information log and scrolls to it.
    virtual void AddInfo(const QString& text, const QColor& colour) = 0;
    // Refreshes the identity fields, interval, program number, checksum and grid.
    virtual void RefreshInstrumentView() = 0;
    // Enables or disables the command frames.
    virtual void EnableCommandFrames(bool enabled) = 0;
    // True while the host rebuilds its displays (grid edit events are ignored then).
    virtual bool DisplayRefresh() const = 0;
    virtual void setDisplayRefresh(bool on) = 0;
    // Latest concentration reading of gas 0; taking it marks it as taken.
    virtual float LatestReading() const = 0;
    virtual float TakeLatestReading() = 0;
    // Path of the logger image file.
    virtual QString LoggerImagePath() const = 0;
    // Routes the link's dump progress texts to a progress dialog (empty: dropped).
    virtual void setDumpMessageSink(std::function<void(const QString&)> sink) = 0;
    // Downloads the logger data into the logger image file; true when it was read completely.
    virtual bool LoggerDownloadWorkflow() = 0;

    // What became of a write of the working record.
    enum class WriteOutcome {
        NotSent, // refused by a check or declined at a question: nothing went to the detector
        Written, // the detector took every setting
        Failed,  // the write was sent and failed
    };
    // Writes exactly the settings whose change flags are raised on the working record, with the
    // checks, questions, progress dialog, information lines, outcome box and register event of
    // "Update".
    virtual WriteOutcome WriteFlaggedSettings() = 0;
    // Reads the detector into the working record under the progress dialog, as "Instrument
    // Information" does; true on success.
    virtual bool ReadDetectorWorkflow() = 0;

    // Puts the event of an operation on record without holding up the window; when it cannot
    // be stored now, the information log says so once, in the failure colour.
    virtual void RecordEvent(const RegisterEvent& event) = 0;
    // The detector as the register knows it during this connection (as read, then as written
    // since), or nullptr when it has not been read since it connected.
    virtual const clsInstrument* DetectorOnRecord() const = 0;
    // A new event of `kind` about the detector of `record`, stamped with the link clock's time
    // and, for a record read from the detector, the detector's clock at that time. The detector
    // on record, when there is one, gives its identity: edits not yet written do not rename it.
    RegisterEvent MakeEvent(EventKind kind, const clsInstrument& record, bool success);
};
