#pragma once

#include "ctl/CtlOptions.h"
#include "instrument/clsInstrument.h"
#include "records/CalibrationCertificateData.h"
#include "register/EventRecorder.h"
#include "register/FleetRegister.h"
#include "register/RegisterEvent.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <memory>
#include <optional>

struct ProvisionReport;
class LinkClock;
class SimDetector;
class uclHvif;

// Runs one km71ctl command: checks the files it needs, connects to the detector (USB module,
// serial device, infrared endpoint or the simulated detector), runs the command and reports
// the outcome on the output streams. Results go to `out` (text, or one JSON object with
// --json); errors are one sentence on `err`, as is progress when it is enabled. Every command
// that talks to a detector puts its event on record in the register; when the record cannot be
// stored, one sentence on `err` says that it is pending, and nothing else changes.
class CtlRunner : public QObject {
    Q_OBJECT
public:
    // Makes the clock of the link (default: real time).
    using ClockFactory = std::function<std::unique_ptr<LinkClock>()>;
    // Prepares the simulated detector of --sim before the link connects (faults, values).
    using SimSetup = std::function<void(SimDetector&)>;
    // Writes the PDF form of a calibration certificate to a file; false with a reason when it
    // fails. The core cannot render PDF (no QtGui); km71ctl passes the records library's writer.
    using PdfWriter =
        std::function<bool(const CalibrationCertificateData&, const QString& path, QString* error)>;

    CtlRunner(QTextStream& out, QTextStream& err, QObject* parent = nullptr);
    ~CtlRunner() override;

    // Parses the arguments (without the program name) and runs the command; returns the exit
    // status (CtlOptions::Exit).
    int Run(const QStringList& arguments);
    // Runs a parsed command line; returns the exit status.
    int Execute(const CtlOptions& options);

    // Uses clocks of this factory for the link (tests use virtual time).
    void setClockFactory(ClockFactory factory) { m_clockFactory = std::move(factory); }
    // Calls setup on the simulated detector of --sim before connecting.
    void setSimSetup(SimSetup setup) { m_simSetup = std::move(setup); }
    // Writes certificates (--certificate) as PDF with this writer beside the JSON file; without
    // one, only the JSON file is written.
    void setPdfWriter(PdfWriter writer) { m_pdfWriter = std::move(writer); }
    // Shows progress of long operations on the error stream (when it is a terminal).
    void setProgressEnabled(bool on) { m_progressEnabled = on; }
    // Hands each progress line to `sink` instead of the error stream (an empty line when the
    // progress ends); with several detectors one terminal shows all their lines.
    using ProgressSink = std::function<void(const QString& line)>;
    void setProgressSink(ProgressSink sink) { m_progressSink = std::move(sink); }
    // Writes a provisioning report (JSON and PDF) into a folder: the paths written go to
    // `written`; false with a reason. Default: ProvisionReport::Write in the calling thread.
    using ReportWriter = std::function<bool(const ProvisionReport& report, const QString& folder,
                                            QStringList* written, QString* error)>;
    void setReportWriter(ReportWriter writer) { m_reportWriter = std::move(writer); }
    // Puts one event on record in the register at `location` (queueing in `folder`).
    // Default: a recorder of this runner's own, in the calling thread.
    using EventWriter = std::function<EventRecorder::Outcome(
        const RegisterLocation& location, const QString& folder, const RegisterEvent& event)>;
    void setEventWriter(EventWriter writer) { m_eventWriter = std::move(writer); }
    // Names the detector in the link log (one of several sharing it).
    void setLabel(const QString& label) { m_label = label; }
    // Chooses the file `read FILE` saves into once the detector is read (one of several
    // detectors saving beside each other); without one, FILE itself.
    using ReadPathChooser = std::function<QString(const QString& path, const clsInstrument& record)>;
    void setReadPathChooser(ReadPathChooser chooser) { m_readPathChooser = std::move(chooser); }
    // Abandons the running command (an interrupt): the link cancels its exchange.
    void requestStop();

    // The link of the current or last run (null before the first connection).
    uclHvif* link() const { return m_link.get(); }
    // The simulated detector of the current or last --sim run (null otherwise).
    SimDetector* simDetector() const { return m_sim.get(); }

private:
    // An event the running command puts on record when it ends.
    struct EventDraft {
        EventKind kind = EventKind::Read;
        QJsonObject details;
        std::optional<bool> success;              // unset: the command's exit status decides
        std::optional<DetectorIdentity> detector; // unset: the record's at the end
        QString uid;                              // empty: a fresh one
    };

    int prepareFolder();
    int prepare();
    int resolveRegister(bool required);
    int connectLink();
    int runCommand();

    int cmdInfo();
    int cmdRead();
    int cmdWrite();
    int cmdCompare();
    int cmdProvision();
    int cmdSetClock();
    int cmdZero();
    int cmdSpan();
    int cmdWatch();
    int cmdConfirmed(const QString& what, const std::function<bool()>& operation);
    int cmdCheckData();
    int cmdPowerOff();
    int cmdDumpListing();
    int cmdDumpLogger();
    int cmdPorts();
    int cmdRegister();
    int writeCertificate(CalibrationCertificateData::Kind kind, QJsonObject& json, QString& text,
                         const SpanAcceptance* acceptance = nullptr);

    void readIdentity();
    void beginEvent(EventKind kind);
    EventDraft& eventDraft();
    void settleEvent(bool success);
    void recordEvents(int code);

    int loadSettingsFile(const QString& path);
    int checkRecordToWrite(const clsInstrument& detector, const clsInstrument& target,
                           const QString& fileModel, const QString& path);
    // Reads the detector's settings into the record; a failure is reported, or with `failure`
    // only put there.
    int readDetector(const QString& purpose, QString* failure = nullptr);
    int checkOutputFile(const QString& path);
    bool replaceFile(const QString& from, const QString& to, QString* error);
    QString failureReason() const;
    QString lastRequestHead() const;
    QString resolvePath(const QString& path) const;

    int succeed(const QString& text, QJsonObject json = {});
    int fail(int code, const QString& sentence, QJsonObject json = {});
    void warn(const QString& sentence);
    void emitJson(const QJsonObject& json);
    void logLine(const QString& text);

    void progressStart(const QString& label);
    void progressText(const QString& text);
    void progressShow();
    void progressEnd();

    QTextStream& m_out;
    QTextStream& m_err;
    ClockFactory m_clockFactory;
    SimSetup m_simSetup;
    PdfWriter m_pdfWriter;
    bool m_progressEnabled = false;
    ProgressSink m_progressSink;
    QString m_label;
    ReadPathChooser m_readPathChooser;
    ReportWriter m_reportWriter;
    EventWriter m_eventWriter;

    CtlOptions m_options;
    QString m_folder;
    QStringList m_fileLines;
    clsInstrument m_record;
    clsInstrument m_master;
    std::unique_ptr<SimDetector> m_sim;
    std::unique_ptr<uclHvif> m_link;
    QString m_device;
    bool m_connectGaveUp = false;
    int m_socketError = 0;
    bool m_stop = false;
    bool m_lineDown = false;
    bool m_watchLineDown = true;

    std::optional<RegisterLocation> m_registerLocation;
    QString m_registerError; // why the configured register cannot be used
    std::unique_ptr<EventRecorder> m_recorder;
    QList<EventDraft> m_events;
    QString m_lastFailure;
    // What of the record was read from the detector in this run: its settings, its latest
    // calibration record, its latest bump test record.
    bool m_settingsRead = false;
    bool m_calibrationRead = false;
    bool m_bumpRead = false;

    struct Progress;
    std::unique_ptr<Progress> m_progress;
};
