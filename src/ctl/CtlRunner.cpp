#include "ctl/CtlRunner.h"

#include "configuration/SpanAcceptance.h"
#include "configuration/ToolConfig.h"
#include "configuration/ToolSettings.h"
#include "ctl/CtlRegister.h"
#include "ctl/CtlReport.h"
#include "ctl/RegisterImport.h"
#include "instrument/AlarmRules.h"
#include "instrument/GasChannel.h"
#include "instrument/MasterCompare.h"
#include "instrument/SettingsFile.h"
#include "instrument/WireFormat.h"
#include "link/Frame.h"
#include "link/LinkClock.h"
#include "link/LinkCodes.h"
#include "link/LinkLog.h"
#include "link/PortHelp.h"
#include "link/uclHvif.h"
#include "records/CalibrationCertificateData.h"
#include "records/ProvisionReport.h"
#include "register/EventRecorder.h"
#include "shell/AppState.h"
#include "shell/modGasCommon.h"
#include "sim/SimDetector.h"
#include "sim/SimTransport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMutex>
#include <QTimer>
#include <cmath>
#include <filesystem>

namespace {

// Time one connect probe takes when it stays unanswered (ten ticks and the next one).
constexpr qint64 kProbeMs = (LinkEngine::kProbeTicks + 1) * LinkClock::kTickMs;
// How often the progress line is redrawn.
constexpr int kProgressIntervalMs = 250;
// The shortest silence after which watch gives the detector up.
constexpr qint64 kWatchStallMs = 5000;
// Days the detector clock may differ from the computer's before a warning.
constexpr double kClockWarningDays = 1.0;

QString Quoted(const QString& path) {
    return u'"' + QDir::toNativeSeparators(path) + u'"';
}

QString TimeText(const QDateTime& t) {
    return t.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

} // namespace

// The progress line on the error stream: a label, the seconds elapsed and the latest detail,
// redrawn in place.
struct CtlRunner::Progress {
    QTimer timer;
    QElapsedTimer elapsed;
    QString label;
    QString detail;
    qsizetype shown = 0;
};

CtlRunner::CtlRunner(QTextStream& out, QTextStream& err, QObject* parent)
    : QObject(parent), m_out(out), m_err(err) {}

CtlRunner::~CtlRunner() {
    SetLinkLogProblemHandler({});
    // The link goes before the simulated detector its transport talks to.
    m_link.reset();
    m_sim.reset();
}

int CtlRunner::Run(const QStringList& arguments) {
    CtlOptions options;
    QString error;
    if (!CtlOptions::Parse(arguments, &options, &error)) {
        m_err << "km71ctl: " << error << '\n';
        m_err.flush();
        return CtlOptions::ExitUsage;
    }
    return Execute(options);
}

int CtlRunner::Execute(const CtlOptions& options) {
    m_options = options;
    m_stop = false;
    m_lineDown = false;
    m_watchLineDown = true;
    m_fileLines.clear();
    m_record = clsInstrument();
    m_master = clsInstrument();
    m_link.reset();
    m_sim.reset();
    m_events.clear();
    m_lastFailure.clear();
    m_recorder.reset();
    m_settingsRead = m_calibrationRead = m_bumpRead = false;
    // A link log that cannot be written is said once; the command goes on without it.
    SetLinkLogProblemHandler([this](const QString& sentence) { warn(sentence); });

    if (m_options.help) {
        m_out << CtlOptions::UsageText();
        m_out.flush();
        return CtlOptions::ExitOk;
    }
    if (m_options.version) {
        m_out << "km71ctl " << KM71_VERSION << '\n';
        m_out.flush();
        return CtlOptions::ExitOk;
    }

    // Listing the ports needs no folder and no detector.
    if (m_options.command == QLatin1String("ports")) return cmdPorts();
    // The register commands need the folder and the register, no detector.
    if (m_options.command == QLatin1String("register")) {
        int code = prepareFolder();
        if (code == CtlOptions::ExitOk) code = resolveRegister(true);
        if (code == CtlOptions::ExitOk) code = cmdRegister();
        m_out.flush();
        m_err.flush();
        return code;
    }

    int code = prepare();
    if (code == CtlOptions::ExitOk) code = connectLink();
    if (code == CtlOptions::ExitOk) code = runCommand();
    progressEnd();
    recordEvents(code);
    logLine(QStringLiteral("--- km71ctl %1: exit status %2 ---").arg(m_options.command).arg(code));
    m_out.flush();
    m_err.flush();
    return code;
}

void CtlRunner::requestStop() {
    m_stop = true;
    if (!m_link) return;
    m_link->setCancel(true);
    // A request still waiting for its reply ends at once.
    const int status = m_link->Status();
    if (status == LinkStatus::DumpListing || status == LinkStatus::ReadWait ||
        status == LinkStatus::WriteWait || status == LinkStatus::BinaryDump)
        m_link->setStatus(LinkStatus::Cancelled);
}

// ---- Before connecting: folder, modes, files ----

int CtlRunner::prepareFolder() {
    const QString folder =
        m_options.folder.isEmpty() ? QDir::currentPath() : QDir(m_options.folder).absolutePath();
    if (!QFileInfo(folder).isDir())
        return fail(CtlOptions::ExitUsage,
                    QStringLiteral("The folder %1 does not exist.").arg(Quoted(folder)));
    m_folder = folder;
    // Several runs in parallel threads share these; each writes only what differs, so runs
    // that agree (all of one command line, set beforehand) only read them.
    if (AppState::StartupFolder() != QDir::cleanPath(folder)) AppState::setStartupFolder(folder);
    if (AppState::DebugMode() != m_options.debugMode) AppState::setDebugMode(m_options.debugMode);
    if (AppState::FactoryMode() != m_options.factoryMode)
        AppState::setFactoryMode(m_options.factoryMode);
    return CtlOptions::ExitOk;
}

int CtlRunner::resolveRegister(bool required) {
    m_registerLocation.reset();
    m_registerError.clear();
    ToolSettings settings;
    QString password;
    ReadToolConfigurationFile(QDir(m_folder).filePath(QString::fromLatin1(kToolConfigName)),
                              settings, password);
    if (EventStamp::current().technician != settings.Technician)
        EventStamp::current().technician = settings.Technician;
    // A location on the command line is relative to the current directory, as every file
    // named there; the configured one to the folder.
    const bool fromOption = !m_options.registerText.isEmpty();
    const QString text = fromOption ? m_options.registerText : settings.Register;
    if (text.isEmpty()) {
        m_registerLocation = RegisterLocation::Default(m_folder);
        return CtlOptions::ExitOk;
    }
    QString error;
    m_registerLocation =
        RegisterLocation::Parse(text, fromOption ? QDir::currentPath() : m_folder, &error);
    if (m_registerLocation) return CtlOptions::ExitOk;
    const QString sentence = fromOption
                                 ? QStringLiteral("Option --register: %1").arg(error)
                                 : QStringLiteral("The register \"%1\" of %2 cannot be used: %3")
                                       .arg(text, QString::fromLatin1(kToolConfigName), error);
    if (fromOption || required) return fail(CtlOptions::ExitUsage, sentence);
    m_registerError = sentence;
    return CtlOptions::ExitOk;
}

int CtlRunner::prepare() {
    if (const int code = prepareFolder(); code != CtlOptions::ExitOk) return code;
    if (const int code = resolveRegister(false); code != CtlOptions::ExitOk) return code;

    QStringList words{QStringLiteral("km71ctl"), m_options.command};
    words << m_options.arguments;
    logLine(QStringLiteral("--- %1 ---").arg(words.join(u' ')));

    const QString& command = m_options.command;
    if (command == QLatin1String("write") || command == QLatin1String("compare") ||
        command == QLatin1String("provision"))
        return loadSettingsFile(resolvePath(m_options.arguments.first()));
    if (command == QLatin1String("read") || command == QLatin1String("dump-listing") ||
        command == QLatin1String("dump-logger"))
        return checkOutputFile(resolvePath(m_options.arguments.first()));
    return CtlOptions::ExitOk;
}

int CtlRunner::loadSettingsFile(const QString& path) {
    QString error;
    QStringList lines;
    if (!SettingsFile::LoadLines(path, lines, &error))
        return fail(CtlOptions::ExitUsage,
                    error.isEmpty() ? QStringLiteral("Cannot read the file %1.").arg(Quoted(path))
                                    : error);
    // The whole file is converted before anything is sent: into the master record exactly as
    // an import does (every setting a line of the file sets flagged, so all are compared).
    clsInstrument master;
    const SettingsFile::ReadResult result = SettingsFile::ApplyMasterLines(lines, master);
    if (!result.ok)
        return fail(CtlOptions::ExitUsage, QStringLiteral("The configuration file %1 cannot be "
                                                          "used: %2")
                                               .arg(Quoted(path), result.error));
    if (!result.warnings.isEmpty() && !m_options.force) {
        QStringList quoted;
        for (const QString& w : result.warnings)
            quoted << u'"' + w + u'"';
        QJsonObject json;
        json[QStringLiteral("warnings")] = QJsonArray::fromStringList(result.warnings);
        return fail(CtlOptions::ExitUsage,
                    QStringLiteral("The configuration file %1 was read with warnings (%2); use "
                                   "--force to accept them.")
                        .arg(Quoted(path), quoted.join(QStringLiteral(", "))),
                    json);
    }
    for (const QString& w : result.warnings)
        warn(QStringLiteral("The configuration file %1: \"%2\" (accepted with --force).")
                 .arg(Quoted(path), w));
    master.setImportFlag(true);
    m_master = master;
    m_fileLines = lines;
    return CtlOptions::ExitOk;
}

int CtlRunner::checkOutputFile(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir())
        return fail(CtlOptions::ExitUsage,
                    QStringLiteral("%1 is a folder, not a file.").arg(Quoted(path)));
    if (!QFileInfo(info.absolutePath()).isDir())
        return fail(CtlOptions::ExitUsage,
                    QStringLiteral("The folder of %1 does not exist.").arg(Quoted(path)));
    return CtlOptions::ExitOk;
}

QString CtlRunner::resolvePath(const QString& path) const {
    // Files named on the command line are relative to the current directory, as usual for a
    // command-line tool; --folder only moves the files the tool writes on its own.
    return QDir::current().absoluteFilePath(path);
}

// ---- Connecting ----

int CtlRunner::connectLink() {
    const ToolLinkSettings tool = ReadToolLinkSettings(m_folder);
    m_link = std::make_unique<uclHvif>(m_clockFactory ? m_clockFactory() : nullptr);
    uclHvif& link = *m_link;
    LinkClock& clock = *link.clock();
    link.setLogTag(m_label);
    link.setInstrument(&m_record);
    link.engine().setTimeoutTicks(static_cast<qint16>(std::lround(
        (m_options.timeoutSeconds ? *m_options.timeoutSeconds : tool.LinkTimeout) * 10.0)));
    const int retry = m_options.retry ? *m_options.retry : tool.LinkRetry;

    m_connectGaveUp = false;
    m_socketError = 0;
    connect(&link, &uclHvif::AlarmMessage, this, [this](QString&) { m_connectGaveUp = true; });
    connect(&link, &uclHvif::IrDAError, this, [this](short& code) { m_socketError = code; });
    connect(&link, &uclHvif::LineDown, this, [this] {
        if (!m_watchLineDown || !m_link) return;
        m_lineDown = true;
        // The request in flight has no answer to wait for any more.
        const int status = m_link->Status();
        if (status != LinkStatus::Idle && status != LinkStatus::Completed)
            m_link->setStatus(LinkStatus::Failed);
    });
    connect(&link, &uclHvif::DumpMessage, this, [this](QString& text) { progressText(text); });

    switch (m_options.connection) {
    case CtlOptions::Connection::Sim: {
        m_sim = std::make_unique<SimDetector>(m_options.simModel);
        if (m_simSetup) m_simSetup(*m_sim);
        link.setSerialTransport(std::make_unique<SimTransport>(m_sim.get(), &clock));
        link.DetectIrdaModule();
        m_device = QStringLiteral("the simulated %1 detector").arg(m_options.simModel);
        break;
    }
    case CtlOptions::Connection::Port:
        link.setPortOverride(m_options.port);
        link.DetectIrdaModule();
        m_device = Quoted(m_options.port);
        if (!link.PortOpen())
            return fail(CtlOptions::ExitNoDetector,
                        ExplainOpenFailure(m_options.port, link.lastOpenError()));
        break;
    case CtlOptions::Connection::Ir:
        if (!link.setIrdaEndpoint(m_options.irEndpoint))
            return fail(CtlOptions::ExitUsage, QStringLiteral("%1 is not an infrared endpoint "
                                                              "HOST:PORT.")
                                                   .arg(m_options.irEndpoint));
        link.setSerialComm(false);
        link.setPortOpen(true);
        m_device = m_options.irEndpoint;
        break;
    case CtlOptions::Connection::Default: {
        if (!tool.IrdaEndpoint.isEmpty() && !link.setIrdaEndpoint(tool.IrdaEndpoint))
            warn(QStringLiteral("The infrared endpoint \"%1\" of %2 is not valid and is "
                                "ignored.")
                     .arg(tool.IrdaEndpoint, QString::fromLatin1(kToolConfigName)));
        link.setPortChooser([this](const QStringList& names) {
            warn(QStringLiteral("Several USB infrared modules are connected (%1); %2 is used "
                                "(choose one with --port).")
                     .arg(names.join(QStringLiteral(", ")), names.first()));
            return 0;
        });
        const bool found = link.DetectIrdaModule();
        if (found) {
            m_device = QStringLiteral("the USB infrared module (%1)")
                           .arg(link.serialTransport()->deviceName());
            if (!link.PortOpen())
                return fail(
                    CtlOptions::ExitNoDetector,
                    ExplainOpenFailure(link.serialTransport()->deviceName(), link.lastOpenError()));
        } else if (link.InfraredActive()) {
            m_device = link.infraredTransport()->deviceName();
        } else {
            return fail(CtlOptions::ExitNoDetector,
                        QStringLiteral("No USB infrared module is connected and %1 names no "
                                       "infrared endpoint; use --port, --ir or --sim.")
                            .arg(QString::fromLatin1(kToolConfigName)));
        }
        break;
    }
    }

    // The connect probes fill the connect timeout; requests use the configured repeats.
    const qint64 waitMs = std::llround(m_options.connectTimeoutSeconds * 1000.0);
    link.setRetry(static_cast<qint16>(std::clamp<qint64>(waitMs / kProbeMs + 1, 1, 32767)));
    progressStart(QStringLiteral("Connecting to %1").arg(m_device));
    const qint64 deadline = clock.nowMs() + waitMs;
    bool probed = false;
    while (!link.Connected() && !m_connectGaveUp && !m_stop && clock.nowMs() < deadline) {
        // The first probe goes out as soon as the line is up, not at the next 100 ms tick;
        // the supervision sends the later ones.
        if (!probed && link.LinkState() == LinkStates::Connecting &&
            link.Status() != LinkStatus::ReadWait) {
            probed = true;
            link.engine().Tick();
            continue;
        }
        clock.waitForEvents(deadline);
    }
    progressEnd();
    link.setRetry(static_cast<qint16>(retry));
    if (m_stop) return fail(CtlOptions::ExitFailed, QStringLiteral("Cancelled."));
    if (link.Connected()) return CtlOptions::ExitOk;

    QString why;
    if (m_socketError != 0)
        why = QStringLiteral(" (socket error %1)").arg(m_socketError);
    else if (m_connectGaveUp || link.LinkState() == LinkStates::Connecting)
        why = QStringLiteral(" (its connect probes went unanswered)");
    else
        why = QStringLiteral(" (the line never came up)");
    return fail(CtlOptions::ExitNoDetector,
                QStringLiteral("No detector answered on %1 within %2 s%3.")
                    .arg(m_device, QString::number(m_options.connectTimeoutSeconds), why));
}

// ---- Commands ----

int CtlRunner::runCommand() {
    const QString& c = m_options.command;
    if (c == QLatin1String("info")) return cmdInfo();
    if (c == QLatin1String("read")) return cmdRead();
    if (c == QLatin1String("write")) return cmdWrite();
    if (c == QLatin1String("compare")) return cmdCompare();
    if (c == QLatin1String("provision")) return cmdProvision();
    if (c == QLatin1String("set-clock")) return cmdSetClock();
    if (c == QLatin1String("zero")) return cmdZero();
    if (c == QLatin1String("span")) return cmdSpan();
    if (c == QLatin1String("watch")) return cmdWatch();
    if (c == QLatin1String("default")) {
        beginEvent(EventKind::Defaults);
        return cmdConfirmed(QStringLiteral("Restoring the defaults"),
                            [this] { return m_link->DefaultInstrument(); });
    }
    if (c == QLatin1String("clear-log")) {
        beginEvent(EventKind::LogClear);
        eventDraft().details[QStringLiteral("log")] = QStringLiteral("logger");
        return cmdConfirmed(QStringLiteral("Clearing the logger data"),
                            [this] { return m_link->BodyDataClear(); });
    }
    if (c == QLatin1String("clear-power-log")) {
        beginEvent(EventKind::LogClear);
        eventDraft().details[QStringLiteral("log")] = QStringLiteral("power");
        return cmdConfirmed(QStringLiteral("Clearing the power log"),
                            [this] { return m_link->PowerDataClear(); });
    }
    if (c == QLatin1String("check-data")) return cmdCheckData();
    if (c == QLatin1String("power-off")) return cmdPowerOff();
    if (c == QLatin1String("dump-listing")) return cmdDumpListing();
    if (c == QLatin1String("dump-logger")) return cmdDumpLogger();
    return fail(CtlOptions::ExitUsage, QStringLiteral("Unknown command \"%1\".").arg(c));
}

int CtlRunner::readDetector(const QString& purpose, QString* failure) {
    progressStart(purpose);
    const QDateTime start = m_link->clock()->currentDateTime();
    logLine(QStringLiteral("---Instrument Download Start Sequence---. Date = %1")
                .arg(GeneralDateText(start)));
    const bool ok = !m_stop && m_link->GetInstrument(m_record);
    progressEnd();
    const QDateTime end = m_link->clock()->currentDateTime();
    if (!ok) {
        logLine(QStringLiteral("---Instrument Download Failed---. Date = %1")
                    .arg(GeneralDateText(end)));
        const QString sentence =
            QStringLiteral("Reading the detector failed: %1.").arg(failureReason());
        if (!failure) return fail(CtlOptions::ExitFailed, sentence);
        *failure = sentence;
        return CtlOptions::ExitFailed;
    }
    logLine(
        QStringLiteral("---Instrument Download Finished---. Date = %1").arg(GeneralDateText(end)));
    m_settingsRead = true;
    m_record.setCommFlags(true);
    m_record.setImportFlag(false);
    if (std::fabs(m_record.SysDateOffset()) > kClockWarningDays)
        warn(QStringLiteral("The detector's clock is %1 days off the computer's; set it with "
                            "set-clock.")
                 .arg(QString::number(std::fabs(m_record.SysDateOffset()), 'f', 1)));
    return CtlOptions::ExitOk;
}

int CtlRunner::cmdInfo() {
    beginEvent(EventKind::Read);
    if (const int code = readDetector(QStringLiteral("Reading the detector")); code != 0)
        return code;
    settleEvent(true);
    // The latest calibration and bump test complete the picture; without them it still holds.
    if (!m_stop) m_calibrationRead = m_link->GetLatestHistory(m_record);
    if (!m_stop) m_bumpRead = m_link->GetLatestBumpHistory(m_record);
    if (m_options.json) {
        QJsonObject json = CtlReport::InfoJson(m_record);
        return succeed(QString(), json);
    }
    return succeed(CtlReport::InfoLines(m_record).join(u'\n'));
}

int CtlRunner::cmdRead() {
    QString path = resolvePath(m_options.arguments.first());
    beginEvent(EventKind::Read);
    if (const int code = readDetector(QStringLiteral("Reading the detector")); code != 0)
        return code;
    // The detector was read, whether or not its file can be written.
    settleEvent(true);
    if (m_readPathChooser) path = m_readPathChooser(path, m_record);
    QString error;
    if (!SettingsFile::Write(m_record, path, &error))
        return fail(CtlOptions::ExitUsage,
                    error.isEmpty() ? QStringLiteral("Cannot write %1.").arg(Quoted(path)) : error);
    QJsonObject json;
    json[QStringLiteral("file")] = QDir::toNativeSeparators(path);
    json[QStringLiteral("model")] = m_record.ModelTyp();
    json[QStringLiteral("serialNo")] = m_record.SerialNo();
    return succeed(QStringLiteral("Saved the configuration of the %1 detector %2 in %3.")
                       .arg(m_record.ModelTyp(), m_record.SerialNo(), Quoted(path)),
                   json);
}

int CtlRunner::cmdWrite() {
    const QString path = resolvePath(m_options.arguments.first());
    // The detector is read first, so that a setting the file does not hold is written back
    // with the detector's own value, as after "Instrument Information" and an import.
    beginEvent(m_options.identity ? EventKind::IdentityWrite : EventKind::Write);
    if (const int code = readDetector(QStringLiteral("Reading the detector")); code != 0)
        return code;
    const clsInstrument detector = m_record;
    // Until the write succeeds, the event names the detector as it was read.
    eventDraft().detector = DetectorIdentity::FromRecord(detector);
    SettingsFile::ApplyLines(m_fileLines, m_record);
    if (const int code = checkRecordToWrite(detector, m_record, m_record.ModelTyp(), path);
        code != CtlOptions::ExitOk)
        return code;
    m_record.SetChangeFlags(true, false);
    m_record.setImportFlag(true);
    if (m_options.identity) {
        m_record.setChange_UserID(true);
        m_record.setChange_StationID(true);
        m_record.setChange_SerialNo(true);
    }

    // The event lists exactly what is sent and differs from what the detector held.
    const QStringList sent = uclHvif::PendingWrites(m_record);
    QList<SettingChange> changes;
    for (const SettingChange& change : RegisterEvent::Changes(detector, m_record))
        if (sent.contains(change.name)) changes << change;
    RegisterEvent changed;
    changed.setChanges(changes);
    eventDraft().details = changed.details;

    progressStart(QStringLiteral("Writing %1").arg(Quoted(path)));
    const bool ok = !m_stop && m_link->SetInstrument(m_record);
    progressEnd();
    if (!ok) {
        const QStringList notWritten = m_link->NotWrittenSettings();
        if (!notWritten.isEmpty() && !m_stop && !m_lineDown) {
            QJsonObject json;
            json[QStringLiteral("notWritten")] = QJsonArray::fromStringList(notWritten);
            return fail(CtlOptions::ExitFailed,
                        QStringLiteral("Writing the detector failed: it did not take %1.")
                            .arg(notWritten.join(QStringLiteral(", "))),
                        json);
        }
        return fail(CtlOptions::ExitFailed,
                    QStringLiteral("Writing the detector failed: %1.").arg(failureReason()));
    }
    // The detector now holds what was sent; what was not sent stays as it was read.
    const DetectorIdentity written = DetectorIdentity::FromRecord(m_record);
    DetectorIdentity& now = *eventDraft().detector;
    const auto take = [&sent](const char* command, QString& mine, const QString& theirs) {
        if (sent.contains(QLatin1String(command))) mine = theirs;
    };
    take("IN", now.serial, written.serial);
    take("HN", now.manufactureNo, written.manufactureNo);
    take("XS", now.stationId, written.stationId);
    take("XZ", now.userId, written.userId);
    take("GJ", now.gas, written.gas);
    if (sent.contains(QLatin1String("SC"))) now.calLimit = written.calLimit;
    if (sent.contains(QLatin1String("BK"))) now.bumpLimit = written.bumpLimit;
    QJsonObject json;
    json[QStringLiteral("file")] = QDir::toNativeSeparators(path);
    json[QStringLiteral("identity")] = m_options.identity;
    json[QStringLiteral("model")] = m_record.ModelTyp();
    json[QStringLiteral("serialNo")] = m_record.SerialNo();
    return succeed(QStringLiteral("Wrote %1 into the %2 detector %3%4.")
                       .arg(Quoted(path), m_record.ModelTyp(), m_record.SerialNo(),
                            m_options.identity ? QStringLiteral(" with its identity") : QString()),
                   json);
}

int CtlRunner::checkRecordToWrite(const clsInstrument& detector, const clsInstrument& target,
                                  const QString& fileModel, const QString& path) {
    if (fileModel != detector.ModelTyp() && !m_options.force)
        return fail(CtlOptions::ExitUsage,
                    QStringLiteral("The configuration file %1 is for a %2 detector, but a %3 "
                                   "detector is connected; use --force to write it anyway.")
                        .arg(Quoted(path), fileModel, detector.ModelTyp()));
    // The checks of the window's write: the alarm points in order and in range, the
    // calibration concentration at or beyond the warning point.
    if (!m_options.force && !RecordAlarmPointsValid(target))
        return fail(CtlOptions::ExitUsage,
                    QStringLiteral("The warning and alarm points of %1 are out of order or out "
                                   "of range for a %2 detector; use --force to write them "
                                   "anyway.")
                        .arg(Quoted(path), target.ModelTyp()));
    // STEL and TWA from a file are checked as the grid checks typed ones.
    if (const auto broken = FirstExposureLimitOutOfRange(target); broken && !m_options.force) {
        const auto [gas, item] = *broken;
        const float value = item == AlarmItem::Stel ? target.Stel(gas) : target.Twa(gas);
        return fail(
            CtlOptions::ExitUsage,
            QStringLiteral("The %1 of %2 in %3 (%4) is out of range for a %5 "
                           "detector; use --force to write it anyway.")
                .arg(item == AlarmItem::Stel ? QStringLiteral("STEL") : QStringLiteral("TWA"),
                     target.GasName(gas).trimmed(), Quoted(path),
                     FormatDigits(value, target.GasPoint(gas)), target.ModelTyp()));
    }
    if (!m_options.force && !RecordAutoCalValid(target))
        return fail(CtlOptions::ExitUsage,
                    QStringLiteral("The auto-calibration concentration of %1 does not reach the "
                                   "warning point; use --force to write it anyway.")
                        .arg(Quoted(path)));
    // Switching an alarm off is never silent: refused without --force, announced with it.
    if (const QList<SwitchedOffPoint> off = AlarmPointsSwitchedOff(detector, target);
        !off.isEmpty()) {
        QStringList names;
        for (const SwitchedOffPoint& point : off)
            names << SwitchedOffPointText(target, point);
        const QString what =
            QStringLiteral("the %1 %2 of the detector")
                .arg(names.join(QStringLiteral(" and ")),
                     off.size() > 1 ? QStringLiteral("points") : QStringLiteral("point"));
        if (!m_options.force) {
            QJsonObject json;
            json[QStringLiteral("switchedOff")] = QJsonArray::fromStringList(names);
            return fail(CtlOptions::ExitUsage,
                        QStringLiteral("Writing %1 would switch off %2 (\"*****\" in the file); "
                                       "use --force to write it anyway.")
                            .arg(Quoted(path), what),
                        json);
        }
        warn(QStringLiteral("Writing %1 switches off %2 (accepted with --force).")
                 .arg(Quoted(path), what));
    }
    return CtlOptions::ExitOk;
}

int CtlRunner::cmdCompare() {
    beginEvent(EventKind::MasterCompare);
    if (const int code = readDetector(QStringLiteral("Reading the detector")); code != 0)
        return code;
    const MasterCompare::Result result = MasterCompare::Compare(m_master, m_record);
    QJsonObject json;
    QJsonArray differences;
    QStringList lines;
    for (const MasterCompare::Difference& d : result.differences) {
        QJsonObject item;
        item[QStringLiteral("message")] = d.message;
        item[QStringLiteral("text")] = d.text;
        item[QStringLiteral("key")] = d.key;
        item[QStringLiteral("caption")] = d.caption;
        item[QStringLiteral("detector")] = d.detector;
        item[QStringLiteral("master")] = d.master;
        differences.append(item);
        lines << d.text;
    }
    json[QStringLiteral("differences")] = differences;
    json[QStringLiteral("file")] =
        QDir::toNativeSeparators(resolvePath(m_options.arguments.first()));
    // The comparison itself succeeded, whatever its verdict.
    eventDraft().details[QStringLiteral("verdict")] =
        result.allOk() ? QStringLiteral("PASS") : QStringLiteral("FAIL");
    eventDraft().details[QStringLiteral("differences")] = QJsonArray::fromStringList(lines);
    settleEvent(true);
    if (result.allOk()) return succeed(MasterCompare::OkText().trimmed(), json);
    json[QStringLiteral("command")] = m_options.command;
    json[QStringLiteral("ok")] = false;
    json[QStringLiteral("exit")] = CtlOptions::ExitFailed;
    if (m_options.json)
        emitJson(json);
    else
        m_out << lines.join(u'\n') << '\n';
    m_err << "km71ctl: "
          << QStringLiteral("The detector differs from the master in %1 setting%2.")
                 .arg(lines.size())
                 .arg(lines.size() == 1 ? QString() : QStringLiteral("s"))
          << '\n';
    return CtlOptions::ExitFailed;
}

int CtlRunner::cmdProvision() {
    const QString path = resolvePath(m_options.arguments.first());
    const QString shownPath = QDir::toNativeSeparators(path);
    beginEvent(EventKind::Provision);
    eventDraft().details[QStringLiteral("file")] = shownPath;
    if (const int code = readDetector(QStringLiteral("Reading the detector")); code != 0)
        return code;
    const clsInstrument detector = m_record;
    eventDraft().detector = DetectorIdentity::FromRecord(detector);
    // Without --identity the detector keeps its own identity: those settings are neither
    // written nor counted as differences.
    const auto counted = [this](const QList<MasterCompare::Difference>& all) {
        QList<MasterCompare::Difference> kept;
        for (const MasterCompare::Difference& d : all)
            if (m_options.identity || !MasterCompare::IsIdentityKey(d.key)) kept << d;
        return kept;
    };
    ProvisionReport report =
        ProvisionReport::FromRecord(detector, shownPath, m_link->clock()->currentDateTime());
    report.found = counted(MasterCompare::Compare(m_master, detector).differences);

    QStringList keys;
    for (const MasterCompare::Difference& d : std::as_const(report.found))
        keys << d.key;
    if (!keys.isEmpty()) {
        // Only the differing settings are raised for the write; everything else stays as read.
        clsInstrument target = detector;
        const QStringList unknown = MasterCompare::AdoptFromMaster(m_master, target, keys);
        const QString fileModel =
            m_master.ModelTyp().isEmpty() ? detector.ModelTyp() : m_master.ModelTyp();
        if (const int code = checkRecordToWrite(detector, target, fileModel, path);
            code != CtlOptions::ExitOk)
            return code;
        for (const QString& key : std::as_const(keys))
            if (!unknown.contains(key)) report.written << key;
        if (!report.written.isEmpty()) {
            m_record = target;
            progressStart(QStringLiteral("Writing the settings that differ from %1")
                              .arg(Quoted(path)));
            const bool ok = !m_stop && m_link->SetInstrument(m_record);
            progressEnd();
            if (!ok) {
                // A write the detector did not confirm proves nothing, whatever a read shows.
                const QStringList notWritten = m_link->NotWrittenSettings();
                report.failure =
                    !notWritten.isEmpty() && !m_stop && !m_lineDown
                        ? QStringLiteral("Writing the detector failed: it did not take %1.")
                              .arg(notWritten.join(QStringLiteral(", ")))
                        : QStringLiteral("Writing the detector failed: %1.").arg(failureReason());
                report.written.clear();
            }
        }
    }
    if (report.failure.isEmpty() && report.written.isEmpty()) {
        // Nothing was written: the detector holds what was just read from it.
        report.remaining = report.found;
    } else if (report.failure.isEmpty()) {
        // What the detector holds now decides, not what was sent.
        m_record = clsInstrument();
        QString failure;
        if (readDetector(QStringLiteral("Reading the detector again"), &failure) ==
            CtlOptions::ExitOk)
            report.remaining = counted(MasterCompare::Compare(m_master, m_record).differences);
        else
            report.failure = failure;
    }
    if (report.failure.isEmpty()) eventDraft().detector = DetectorIdentity::FromRecord(m_record);

    QJsonObject json;
    json[QStringLiteral("file")] = shownPath;
    json[QStringLiteral("verdict")] = report.verdict();
    json[QStringLiteral("model")] = detector.ModelTyp();
    json[QStringLiteral("serialNo")] = report.failure.isEmpty() ? m_record.SerialNo()
                                                                : detector.SerialNo();
    json[QStringLiteral("found")] = ProvisionReport::DifferencesJson(report.found);
    json[QStringLiteral("written")] = QJsonArray::fromStringList(report.written);
    json[QStringLiteral("remaining")] = ProvisionReport::DifferencesJson(report.remaining);
    if (!report.failure.isEmpty()) json[QStringLiteral("failure")] = report.failure;
    const QJsonObject details = report.eventDetails(QString());
    for (auto it = details.constBegin(); it != details.constEnd(); ++it)
        eventDraft().details[it.key()] = it.value();
    // As for a master compare, the event succeeded when the provisioning was carried out
    // (written as confirmed and read again); its verdict is in the details.
    settleEvent(report.failure.isEmpty());

    QStringList files;
    QString error;
    const bool wrote = m_reportWriter ? m_reportWriter(report, m_folder, &files, &error)
                                      : ProvisionReport::Write(report, m_folder, &files, &error);
    if (!wrote)
        return fail(CtlOptions::ExitFailed,
                    QStringLiteral("Provisioning ended %1, but its report could not be written: "
                                   "%2.")
                        .arg(report.verdict(), error),
                    json);
    QString reportJson;
    for (const QString& file : std::as_const(files)) {
        const QString shown = QDir::toNativeSeparators(file);
        if (file.endsWith(QLatin1String(".json"))) {
            reportJson = shown;
            json[QStringLiteral("report")] = shown;
        } else {
            json[QStringLiteral("reportPdf")] = shown;
        }
        logLine(QStringLiteral("--- km71ctl: provisioning report %1 ---").arg(shown));
    }
    eventDraft().details[QStringLiteral("report")] = reportJson;

    QStringList captions;
    for (const QString& key : std::as_const(report.written))
        for (const MasterCompare::Difference& d : std::as_const(report.found))
            if (d.key == key) captions << d.caption;
    const QString detectorName =
        QStringLiteral("the %1 detector %2").arg(detector.ModelTyp(), json["serialNo"].toString());
    const QString reportText = QStringLiteral(" Report: %1").arg(Quoted(reportJson));
    if (report.passed()) {
        const QString text =
            captions.isEmpty()
                ? QStringLiteral("PASS: %1 already matches %2.").arg(detectorName, Quoted(path))
                : QStringLiteral("PASS: wrote %1 into %2, which now matches %3.")
                      .arg(captions.join(QStringLiteral(", ")), detectorName, Quoted(path));
        return succeed(text + reportText, json);
    }
    QString sentence;
    QString text;
    if (!report.failure.isEmpty()) {
        sentence = report.failure;
        text = QStringLiteral("FAIL: %1: %2").arg(detectorName, report.failure);
    } else {
        QStringList still;
        for (const MasterCompare::Difference& d : std::as_const(report.remaining))
            still << QStringLiteral("%1 (detector %2, master %3)")
                         .arg(d.caption, d.detector, d.master);
        sentence = QStringLiteral("The detector still differs from the master in %1 setting%2.")
                       .arg(report.remaining.size())
                       .arg(report.remaining.size() == 1 ? QString() : QStringLiteral("s"));
        text = QStringLiteral("FAIL: %1 still differs from %2 in %3.")
                   .arg(detectorName, Quoted(path), still.join(QStringLiteral("; ")));
    }
    m_lastFailure = sentence;
    if (m_options.json) {
        json[QStringLiteral("command")] = m_options.command;
        json[QStringLiteral("ok")] = false;
        json[QStringLiteral("exit")] = CtlOptions::ExitFailed;
        emitJson(json);
    } else {
        m_out << text << reportText << '\n';
        m_out.flush();
    }
    m_err << "km71ctl: " << sentence << '\n';
    m_err.flush();
    return CtlOptions::ExitFailed;
}

int CtlRunner::cmdSetClock() {
    beginEvent(EventKind::ClockSet);
    readIdentity();
    const QDateTime when =
        m_options.clockTime ? *m_options.clockTime : m_link->clock()->currentDateTime();
    eventDraft().details[QStringLiteral("clock")] = TimeText(when);
    if (m_stop || !m_link->SetDateTime(when))
        return fail(
            CtlOptions::ExitFailed,
            QStringLiteral("Setting the detector's clock failed: %1.").arg(failureReason()));
    QJsonObject json;
    json[QStringLiteral("clock")] = TimeText(when);
    return succeed(QStringLiteral("Set the detector's clock to %1.").arg(TimeText(when)), json);
}

int CtlRunner::cmdZero() {
    beginEvent(EventKind::Zero);
    readIdentity();
    progressStart(QStringLiteral("Zero calibration"));
    // The calibration window's zero request.
    const bool ok = !m_stop && m_link->ZeroCal(QStringLiteral("1"));
    progressEnd();
    if (!ok)
        return fail(CtlOptions::ExitFailed,
                    QStringLiteral("The zero calibration failed: %1.").arg(failureReason()));
    const QString status = m_link->replyContext().zeroStatus;
    QJsonObject json;
    json[QStringLiteral("status")] = status;
    eventDraft().details[QStringLiteral("status")] = status;
    if (!m_link->ZeroStatus(0))
        return fail(CtlOptions::ExitFailed,
                    QStringLiteral("The zero calibration failed: the detector reported status "
                                   "\"%1\".")
                        .arg(status),
                    json);
    QString text = QStringLiteral("Zero calibration complete.");
    settleEvent(true);
    if (m_options.certificate) {
        const int code = writeCertificate(CalibrationCertificateData::Kind::Zero, json, text);
        if (code != CtlOptions::ExitOk) return code;
    }
    return succeed(text, json);
}

int CtlRunner::cmdSpan() {
    uclHvif& link = *m_link;
    clsInstrument cal;
    // The acceptance band's tolerance is checked before anything is calibrated.
    ToolSettings settings;
    QString password;
    ReadToolConfigurationFile(QDir(m_folder).filePath(QString::fromLatin1(kToolConfigName)),
                              settings, password);
    const std::optional<double> tolerance = SpanTolerancePercent(settings.SpanTolerance);
    if (!tolerance)
        return fail(CtlOptions::ExitUsage, SpanToleranceRefusal(settings.SpanTolerance));
    beginEvent(EventKind::Span);
    readIdentity();
    progressStart(QStringLiteral("Span calibration"));
    if (m_stop || !link.GetGasInfo(cal) || !link.GetAutoCalDensty(cal))
        return fail(CtlOptions::ExitFailed,
                    QStringLiteral("Reading the gas and the span concentration failed: %1.")
                        .arg(failureReason()));
    if (!cal.GasEnabled(0))
        return fail(CtlOptions::ExitFailed, QStringLiteral("The detector has no gas defined."));
    const int places = cal.GasPoint(0);
    const float held = cal.AutoCalib(0);
    float target = held;
    if (m_options.concentration) {
        const float value = *m_options.concentration;
        target = cal.GasDesit(0) > 0 ? RoundToStep(value, cal.GasDesit(0)) : value;
        // A new concentration is checked as the calibration window checks an edited one: not
        // above the full scale, and at or beyond the warning point (at or below it for
        // oxygen, depending on the alarm type).
        if (WireFormat::Val5(target, places) != WireFormat::Val5(held, places)) {
            link.setInstrument(&cal);
            bool read = !m_stop && link.Exchange("A1,R,", LinkStatus::ReadWait);
            if (read && m_record.ModelTyp() == QLatin1String("QZ"))
                read = !m_stop && link.Exchange("AT,R,", LinkStatus::ReadWait);
            link.setInstrument(&m_record);
            if (!read)
                return fail(
                    CtlOptions::ExitFailed,
                    QStringLiteral("Reading the warning point failed: %1.").arg(failureReason()));
            if (value > cal.GasFullScale(0))
                return fail(CtlOptions::ExitUsage,
                            QStringLiteral("The span concentration %1 is above the full scale "
                                           "%2 of the detector.")
                                .arg(FormatDigits(value, places),
                                     FormatDigits(cal.GasFullScale(0), places)));
            if (!IsAtWarning(cal, 0, value))
                return fail(CtlOptions::ExitUsage,
                            QStringLiteral("The span concentration %1 does not reach the "
                                           "warning point of the detector.")
                                .arg(FormatDigits(value, places)));
        }
    } else if (held < 0) {
        return fail(CtlOptions::ExitUsage, QStringLiteral("The detector holds no span "
                                                          "concentration; give one after span."));
    }

    // A concentration other than the detector's is written first, checked like every write
    // of it.
    if (WireFormat::Val5(target, places) != WireFormat::Val5(held, places)) {
        cal.ClearChangeFlags();
        cal.setAutoCalib(0, target);
        if (m_stop || !link.SetInstrument(cal)) {
            link.setInstrument(&m_record);
            return fail(CtlOptions::ExitFailed,
                        QStringLiteral("Writing the span concentration %1 failed: %2.")
                            .arg(FormatDigits(target, places),
                                 link.NotWrittenSettings().isEmpty()
                                     ? failureReason()
                                     : QStringLiteral("the detector did not take it")));
        }
    }

    // The calibration window's span request text: the gas selected and its concentration.
    const QString request = QStringLiteral("1,") + FormatFixed5(target, places);
    eventDraft().details[QStringLiteral("concentration")] = ReadingValue(target);
    logLine(QStringLiteral("---Calibration Upload Started---. Date = %1 (%2)")
                .arg(GeneralDateText(link.clock()->currentDateTime()), request));
    const bool ok = !m_stop && link.SpanCal(request);
    if (!ok) {
        link.setInstrument(&m_record);
        return fail(CtlOptions::ExitFailed,
                    QStringLiteral("The span calibration failed: %1.").arg(failureReason()));
    }
    const QString status = link.replyContext().spanStatus;
    QJsonObject json;
    json[QStringLiteral("status")] = status;
    json[QStringLiteral("concentration")] = CtlReport::JsonNumber(target);
    eventDraft().details[QStringLiteral("status")] = status;
    if (!link.SpanStatus(0)) {
        link.setInstrument(&m_record);
        return fail(CtlOptions::ExitFailed,
                    QStringLiteral("The span calibration failed: the detector reported status "
                                   "\"%1\".")
                        .arg(status),
                    json);
    }
    QString after;
    const bool historyRead = link.GetLatestHistory(cal);
    if (historyRead) {
        json[QStringLiteral("before")] = CtlReport::JsonNumber(cal.CalibBefore(0));
        json[QStringLiteral("after")] = CtlReport::JsonNumber(cal.CalibAfter(0));
        // The detector's calibration record: the readings, and its date for the due date.
        eventDraft().details[QStringLiteral("before")] = ReadingValue(cal.CalibBefore(0));
        eventDraft().details[QStringLiteral("after")] = ReadingValue(cal.CalibAfter(0));
        m_record.setCalibDate(0, cal.CalibDate(0));
        m_record.setCalibBefore(0, cal.CalibBefore(0));
        m_record.setCalibAfter(0, cal.CalibAfter(0));
        m_calibrationRead = true;
        after = QStringLiteral(" (before %1, after %2)")
                    .arg(FormatReading(cal.CalibBefore(0), places),
                         FormatReading(cal.CalibAfter(0), places));
    }
    link.setInstrument(&m_record);
    // The detector reported the span as done; its reading after adjustment must also lie within
    // the acceptance band.
    const SpanAcceptance acceptance = SpanAcceptance::Judge(
        true, target, historyRead ? cal.CalibAfter(0) : clsInstrument::NoValue, places, *tolerance);
    const QJsonObject verdict = acceptance.toJson();
    json[QStringLiteral("acceptance")] = verdict;
    for (auto it = verdict.begin(); it != verdict.end(); ++it)
        eventDraft().details[it.key()] = it.value();
    const QString unit = cal.GasUnit(0).trimmed();
    QString text = QStringLiteral("Span calibration with %1 %2 complete%3.")
                       .arg(FormatDigits(target, places), unit, after);
    settleEvent(acceptance.passed);
    if (m_options.certificate) {
        const int code =
            writeCertificate(CalibrationCertificateData::Kind::Span, json, text, &acceptance);
        if (code != CtlOptions::ExitOk) return code;
    }
    if (acceptance.passed) return succeed(text, json);
    // What was done (and the certificate written) is said before the verdict.
    if (!m_options.json) m_out << text << '\n';
    const QString band = QStringLiteral("%1 to %2 %3 (%4 %5)")
                             .arg(acceptance.text(acceptance.low()),
                                  acceptance.text(acceptance.high()), unit, acceptance.text(target),
                                  QStringLiteral("\u00B1") + acceptance.text(acceptance.band));
    return fail(CtlOptions::ExitFailed,
                acceptance.readingKnown()
                    ? QStringLiteral("The span calibration is not accepted: the reading after "
                                     "adjustment %1 lies outside the band %2.")
                          .arg(acceptance.text(acceptance.reading), band)
                    : QStringLiteral("The span calibration is not accepted: its reading after "
                                     "adjustment could not be read to check it against the band "
                                     "%1.")
                          .arg(band),
                json);
}

int CtlRunner::cmdWatch() {
    uclHvif& link = *m_link;
    LinkClock& clock = *link.clock();
    clsInstrument gas;
    if (m_stop || !link.GetGasInfo(gas))
        return fail(CtlOptions::ExitFailed,
                    QStringLiteral("Reading the gas definition failed: %1.").arg(failureReason()));
    link.setInstrument(&m_record);
    const int places = gas.GasPoint(0);
    const QString unit = gas.GasUnit(0).trimmed();
    const int wanted = m_options.count.value_or(0);
    int readings = 0;
    qint64 lastReading = clock.nowMs();

    const QMetaObject::Connection connection =
        connect(&link, &uclHvif::Densty, this, [&](float& value) {
            if (wanted > 0 && readings >= wanted) return;
            ++readings;
            lastReading = clock.nowMs();
            const QString time = TimeText(clock.currentDateTime());
            if (m_options.json) {
                QJsonObject json;
                json[QStringLiteral("time")] = time;
                const QString code = ReadingCodeText(value);
                json[QStringLiteral("value")] = code.isEmpty() && std::isfinite(value)
                                                    ? QJsonValue(CtlReport::JsonNumber(value))
                                                    : QJsonValue(QJsonValue::Null);
                if (!code.isEmpty()) json[QStringLiteral("status")] = code;
                json[QStringLiteral("unit")] = unit;
                emitJson(json);
            } else {
                m_out << time << "  " << FormatReading(value, places) << ' ' << unit << '\n';
                m_out.flush();
            }
        });

    const qint64 stallMs =
        std::max(kWatchStallMs, qint64(4) * link.engine().TimeoutTicks() * LinkClock::kTickMs);
    link.setRunDensty(true);
    bool stalled = false;
    while (!m_stop && !m_lineDown && (wanted == 0 || readings < wanted)) {
        if (clock.nowMs() - lastReading > stallMs) {
            stalled = true;
            break;
        }
        clock.waitForEvents(lastReading + stallMs + 1);
    }
    link.setRunDensty(false);
    disconnect(connection);

    if (stalled || m_lineDown)
        return fail(CtlOptions::ExitFailed,
                    m_lineDown ? QStringLiteral("The connection to the detector was lost.")
                               : QStringLiteral("The detector stopped sending readings."));
    if (m_stop && wanted > 0 && readings < wanted)
        return fail(CtlOptions::ExitFailed, QStringLiteral("Cancelled."));
    return CtlOptions::ExitOk;
}

int CtlRunner::writeCertificate(CalibrationCertificateData::Kind kind, QJsonObject& json,
                                QString& text, const SpanAcceptance* acceptance) {
    // The certificate names the detector: its identity and its latest calibration record.
    beginEvent(EventKind::Certificate);
    m_link->setInstrument(&m_record);
    if (m_stop || !m_link->GetInstrument(m_record) || !m_link->GetLatestHistory(m_record))
        return fail(CtlOptions::ExitFailed,
                    QStringLiteral("The calibration is complete, but reading the detector for its "
                                   "certificate failed: %1.")
                        .arg(failureReason()),
                    json);
    m_settingsRead = m_calibrationRead = true;
    const QDateTime now = m_link->clock()->currentDateTime();
    const double offset = m_record.SysDateOffset();
    const QDateTime detectorTime =
        std::isfinite(offset) && std::fabs(offset) < 3.0e6
            ? now.addMSecs(static_cast<qint64>(std::llround(offset * 86400000.0)))
            : now;
    CalibrationCertificateData data = CalibrationCertificateData::FromRecords(
        m_record, m_record, 0, kind, true, now, detectorTime);
    if (acceptance) data.acceptance = *acceptance;
    const QString base = data.unusedPathBase(m_folder);
    const QString path = base + QStringLiteral(".json");
    const QString pdf = m_pdfWriter ? base + QStringLiteral(".pdf") : QString();
    QString error;
    // As in the window program, the PDF goes first and the pair stays whole: no JSON file
    // without its PDF, no PDF without its JSON file.
    if (!pdf.isEmpty() && !m_pdfWriter(data, pdf, &error)) {
        QFile::remove(pdf);
        return fail(CtlOptions::ExitFailed,
                    QStringLiteral("The calibration is complete, but its certificate %1 could "
                                   "not be written.")
                        .arg(Quoted(pdf)),
                    json);
    }
    if (!data.writeJson(path, &error)) {
        if (!pdf.isEmpty()) QFile::remove(pdf);
        return fail(CtlOptions::ExitFailed,
                    QStringLiteral("The calibration is complete, but its certificate %1 could "
                                   "not be written: %2.")
                        .arg(Quoted(path), error),
                    json);
    }
    json[QStringLiteral("certificate")] = path;
    // An import of this file later finds the same event on record.
    QFile written(path);
    if (written.open(QIODevice::ReadOnly))
        eventDraft().uid = RegisterImport::CertificateUid(QFileInfo(path).fileName(), written.readAll());
    eventDraft().details[QStringLiteral("file")] = QDir::toNativeSeparators(path);
    eventDraft().details[QStringLiteral("calibration")] = kind == CalibrationCertificateData::Kind::Zero
                                                         ? QStringLiteral("zero")
                                                         : QStringLiteral("span");
    eventDraft().details[QStringLiteral("result")] = QStringLiteral("pass");
    if (acceptance) eventDraft().details[QStringLiteral("verdict")] = acceptance->verdictText();
    settleEvent(true);
    text += QStringLiteral("\nCertificate: %1 (JSON)").arg(QDir::toNativeSeparators(path));
    logLine(QStringLiteral("--- km71ctl: certificate %1 ---").arg(QDir::toNativeSeparators(path)));
    if (!pdf.isEmpty()) {
        json[QStringLiteral("certificatePdf")] = pdf;
        text += QStringLiteral("\nCertificate: %1 (PDF)").arg(QDir::toNativeSeparators(pdf));
        logLine(
            QStringLiteral("--- km71ctl: certificate %1 ---").arg(QDir::toNativeSeparators(pdf)));
    }
    return CtlOptions::ExitOk;
}

int CtlRunner::cmdConfirmed(const QString& what, const std::function<bool()>& operation) {
    readIdentity();
    progressStart(what);
    const bool ok = !m_stop && operation();
    progressEnd();
    if (!ok)
        return fail(CtlOptions::ExitFailed,
                    QStringLiteral("%1 failed: %2.").arg(what, failureReason()));
    return succeed(QStringLiteral("%1: done.").arg(what));
}

int CtlRunner::cmdCheckData() {
    beginEvent(EventKind::LoggerCheck);
    readIdentity();
    eventDraft().details[QStringLiteral("verdict")] = QStringLiteral("NG");
    if (m_stop || !m_link->SetCheckData())
        return fail(CtlOptions::ExitFailed,
                    QStringLiteral("Writing the check data failed: %1.").arg(failureReason()));
    eventDraft().details[QStringLiteral("verdict")] = QStringLiteral("OK");
    return succeed(QStringLiteral("The detector wrote its check data."));
}

int CtlRunner::cmdPowerOff() {
    beginEvent(EventKind::PowerOff);
    readIdentity();
    // Closing the line is part of switching off, not a lost connection.
    m_watchLineDown = false;
    progressStart(QStringLiteral("Switching the detector off"));
    if (!m_stop) m_link->BodyPowerOff();
    progressEnd();
    m_watchLineDown = true;
    if (m_stop) return fail(CtlOptions::ExitFailed, QStringLiteral("Cancelled."));
    // The link always reports success; whether the detector answered at all is what counts.
    if (!m_link->RxSinceSend())
        return fail(CtlOptions::ExitFailed,
                    QStringLiteral("The detector did not answer the power-off command; it may "
                                   "still be on."));
    return succeed(QStringLiteral("The detector was switched off."));
}

int CtlRunner::cmdDumpListing() {
    const QString path = resolvePath(m_options.arguments.first());
    const QString part = path + QStringLiteral(".part");
    QFile::remove(part);
    progressStart(QStringLiteral("Reading the memory listing"));
    const bool ok = !m_stop && m_link->GetRomDump2(part);
    progressEnd();
    if (!ok) {
        QFile::remove(part);
        return fail(CtlOptions::ExitFailed,
                    QStringLiteral("Reading the memory listing failed: %1.").arg(failureReason()));
    }
    QString error;
    if (!replaceFile(part, path, &error)) return fail(CtlOptions::ExitUsage, error);
    QJsonObject json;
    json[QStringLiteral("file")] = QDir::toNativeSeparators(path);
    return succeed(QStringLiteral("Saved the memory listing in %1.").arg(Quoted(path)), json);
}

int CtlRunner::cmdDumpLogger() {
    const QString path = resolvePath(m_options.arguments.first());
    const QString part = path + QStringLiteral(".part");
    QFile::remove(part);
    progressStart(QStringLiteral("Reading the logger memory"));
    clsInstrument identity;
    bool ok = !m_stop && m_link->GetRomNo(identity);
    m_link->setInstrument(&m_record);
    if (ok) {
        const qint16 last = uclHvif::kImageSize / uclHvif::kImageBlock - 1;
        ok = !m_stop && m_link->GetBinDump(part, 0, last);
        // A block that timed out gets the whole dump one more time, as in the window.
        if (!ok && !m_stop && !m_lineDown && m_link->BinaryRetry()) {
            warn(QStringLiteral("A block of the logger memory timed out; reading it once more."));
            ok = m_link->GetBinDump(part, 0, last);
        }
    }
    progressEnd();
    if (!ok) {
        QFile::remove(part);
        return fail(CtlOptions::ExitFailed,
                    QStringLiteral("Reading the logger memory failed: %1.").arg(failureReason()));
    }
    QString error;
    if (!replaceFile(part, path, &error)) return fail(CtlOptions::ExitUsage, error);
    QJsonObject json;
    json[QStringLiteral("file")] = QDir::toNativeSeparators(path);
    json[QStringLiteral("bytes")] = qint64(QFileInfo(path).size());
    return succeed(QStringLiteral("Saved the logger memory in %1.").arg(Quoted(path)), json);
}

// ---- The register ----

int CtlRunner::cmdRegister() {
    CtlRegister reg(*m_registerLocation, m_folder, m_options.json);
    const QString& sub = m_options.subcommand;
    const QStringList& args = m_options.arguments;
    CtlRegister::Result r;
    if (sub == QLatin1String("list")) {
        r = reg.list(QDate::currentDate(), m_options.dueWithin, m_options.overdue);
    } else if (sub == QLatin1String("show")) {
        r = reg.show(args.first().trimmed());
    } else if (sub == QLatin1String("export")) {
        r = reg.exportCsv(resolvePath(args.first()));
    } else if (sub == QLatin1String("verify")) {
        r = reg.verify();
    } else if (sub == QLatin1String("sync")) {
        r = reg.sync();
    } else {
        QStringList paths;
        for (const QString& a : args)
            paths << resolvePath(a);
        r = reg.import(paths);
    }
    r.json[QStringLiteral("subcommand")] = sub;
    if (r.code != CtlOptions::ExitOk) return fail(r.code, r.error, r.json);
    return succeed(r.text, r.json);
}

void CtlRunner::readIdentity() {
    // The event names the detector, so its identity is read before the operation; the
    // operation goes on whatever this read gives.
    if (!m_stop) m_link->GetRomNo(m_record);
    m_link->setInstrument(&m_record);
}

void CtlRunner::beginEvent(EventKind kind) {
    EventDraft draft;
    draft.kind = kind;
    m_events.append(draft);
}

CtlRunner::EventDraft& CtlRunner::eventDraft() {
    return m_events.last();
}

void CtlRunner::settleEvent(bool success) {
    eventDraft().success = success;
}

void CtlRunner::recordEvents(int code) {
    // Runs for several detectors without a common event writer record one after the other,
    // so that writers of one register file wait for each other instead of failing.
    static QMutex recording;
    const QMutexLocker lock(&recording);
    QString notStored;
    for (const EventDraft& draft : std::as_const(m_events)) {
        const bool success = draft.success.value_or(code == CtlOptions::ExitOk);
        RegisterEvent e = RegisterEvent::Make(draft.kind, m_record, success);
        if (!draft.uid.isEmpty()) e.uid = draft.uid;
        if (draft.detector) e.detector = *draft.detector;
        // What the record holds without having been read from the detector is not known.
        if (!m_settingsRead) e.detector.calLimit = e.detector.bumpLimit = -1;
        if (!m_calibrationRead) e.detector.lastCalibration = QDateTime();
        if (!m_bumpRead) e.detector.lastBump = QDateTime();
        e.details = draft.details;
        if (!success && !m_lastFailure.isEmpty())
            e.details[QStringLiteral("reason")] = m_lastFailure;
        if (!m_registerLocation) {
            if (notStored.isEmpty())
                notStored = QStringLiteral("record not stored: %1").arg(m_registerError);
            continue;
        }
        if (!m_recorder && !m_eventWriter)
            m_recorder = std::make_unique<EventRecorder>(*m_registerLocation, m_folder);
        const EventRecorder::Outcome outcome =
            m_eventWriter ? m_eventWriter(*m_registerLocation, m_folder, e) : m_recorder->record(e);
        if (!outcome.stored && notStored.isEmpty())
            notStored = (outcome.pending ? QStringLiteral("record pending: ")
                                         : QStringLiteral("record not stored: ")) +
                        outcome.sentence;
    }
    m_events.clear();
    // The command's output and exit status stay as they are; one line says what became of
    // the record.
    if (!notStored.isEmpty()) {
        m_err << "km71ctl: " << notStored << '\n';
        m_err.flush();
    }
}

// ---- Helpers ----

bool CtlRunner::replaceFile(const QString& from, const QString& to, QString* error) {
    std::error_code ec;
    std::filesystem::rename(std::filesystem::path(from.toStdU16String()),
                            std::filesystem::path(to.toStdU16String()), ec);
    if (!ec) return true;
    QFile::remove(from);
    *error = QStringLiteral("Cannot write %1: %2.")
                 .arg(Quoted(to), QString::fromLocal8Bit(ec.message().c_str()));
    return false;
}

QString CtlRunner::lastRequestHead() const {
    if (!m_link) return {};
    const QByteArray frame = m_link->engine().LastFrame();
    const qsizetype etx = frame.indexOf(Ctl::ETX);
    if (frame.size() < 9 || etx < 9) return {};
    return QString::fromLatin1(frame.mid(5, 4));
}

QString CtlRunner::failureReason() const {
    if (m_stop) return QStringLiteral("cancelled");
    if (m_lineDown) return QStringLiteral("the connection to the detector was lost");
    if (m_record.FailLine() == QLatin1String("HC,R"))
        return QStringLiteral("the detector's clock holds an invalid date; set it with set-clock");
    const QString head = lastRequestHead();
    if (head.isEmpty()) return QStringLiteral("the detector did not answer");
    return QStringLiteral("no valid answer to %1").arg(head);
}

int CtlRunner::cmdPorts() {
    const QList<PortListEntry> ports = ListSerialPorts();
    QJsonObject json;
    json[QStringLiteral("ports")] = PortListJson(ports);
    QString text = PortListText(ports);
    text.chop(1); // succeed() ends the line
    return succeed(text, json);
}

int CtlRunner::succeed(const QString& text, QJsonObject json) {
    if (m_options.json) {
        json[QStringLiteral("command")] = m_options.command;
        json[QStringLiteral("ok")] = true;
        json[QStringLiteral("exit")] = CtlOptions::ExitOk;
        emitJson(json);
    } else if (!text.isEmpty()) {
        m_out << text << '\n';
    }
    m_out.flush();
    return CtlOptions::ExitOk;
}

int CtlRunner::fail(int code, const QString& sentence, QJsonObject json) {
    progressEnd();
    m_lastFailure = sentence;
    m_err << "km71ctl: " << sentence << '\n';
    m_err.flush();
    logLine(QStringLiteral("--- km71ctl: %1 ---").arg(sentence));
    if (m_options.json) {
        json[QStringLiteral("command")] = m_options.command;
        json[QStringLiteral("ok")] = false;
        json[QStringLiteral("exit")] = code;
        json[QStringLiteral("error")] = sentence;
        emitJson(json);
    }
    return code;
}

void CtlRunner::warn(const QString& sentence) {
    progressEnd();
    m_err << "km71ctl: warning: " << sentence << '\n';
    m_err.flush();
}

void CtlRunner::emitJson(const QJsonObject& json) {
    m_out << QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Compact)) << '\n';
    m_out.flush();
}

void CtlRunner::logLine(const QString& text) {
    // The register commands talk to no detector and leave the link log alone.
    if (m_folder.isEmpty() || m_options.command == QLatin1String("register")) return;
    if (m_link)
        m_link->AddLog(text);
    else
        WriteLinkLog(m_label.isEmpty() ? text : u'[' + m_label + QStringLiteral("] ") + text);
}

// ---- Progress ----

void CtlRunner::progressStart(const QString& label) {
    if (!m_progressEnabled && !m_progressSink) return;
    progressEnd();
    m_progress = std::make_unique<Progress>();
    m_progress->label = label;
    m_progress->elapsed.start();
    m_progress->timer.setInterval(kProgressIntervalMs);
    connect(&m_progress->timer, &QTimer::timeout, this, [this] { progressShow(); });
    m_progress->timer.start();
    progressShow();
}

void CtlRunner::progressText(const QString& text) {
    if (!m_progress) return;
    m_progress->detail = text.trimmed();
    progressShow();
}

void CtlRunner::progressShow() {
    if (!m_progress) return;
    QString detail = m_progress->detail;
    if (detail.isEmpty() && m_link && m_link->Connected()) detail = lastRequestHead();
    QString line = QStringLiteral("%1 ... %2 s")
                       .arg(m_progress->label)
                       .arg(m_progress->elapsed.elapsed() / 1000);
    if (!detail.isEmpty()) line += QStringLiteral("  ") + detail;
    if (m_progressSink) {
        m_progressSink(line);
        return;
    }
    const qsizetype width = line.size();
    if (line.size() < m_progress->shown) line += QString(m_progress->shown - line.size(), u' ');
    m_progress->shown = width;
    m_err << '\r' << line;
    m_err.flush();
}

void CtlRunner::progressEnd() {
    if (!m_progress) return;
    const qsizetype shown = m_progress->shown;
    m_progress.reset();
    if (m_progressSink) {
        m_progressSink(QString());
        return;
    }
    m_err << '\r' << QString(shown, u' ') << '\r';
    m_err.flush();
}
