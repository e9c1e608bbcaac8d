#include "ctl/CtlParallel.h"

#include "configuration/ToolConfig.h"
#include "configuration/ToolSettings.h"
#include "instrument/clsInstrument.h"
#include "records/ProvisionReport.h"
#include "register/RegisterEvent.h"
#include "shell/AppState.h"
#include "sim/SimDetector.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QRegularExpression>
#include <QSet>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <memory>

namespace {

// How often the progress block is redrawn and a stop request is passed on.
constexpr int kProgressIntervalMs = 250;
constexpr int kStopPollMs = 100;
// Widest progress line: a wrapped line would break the redrawing of the block.
constexpr int kProgressWidth = 79;

// The serial number as a part of a file name: what a file name cannot hold becomes "_".
QString FileNamePart(const QString& serial) {
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]"));
    QString part = serial.trimmed();
    part.replace(unsafe, QStringLiteral("_"));
    return part;
}

// FILE with `part` inserted before its extension: "km.seq" and "A1" give "km_A1.seq".
QString WithPart(const QString& path, const QString& part) {
    const QFileInfo info(path);
    const QString suffix = info.suffix();
    const QString name = info.fileName();
    const QString stem = suffix.isEmpty() ? name : name.left(name.size() - suffix.size() - 1);
    QString inserted = stem + u'_' + part;
    if (!suffix.isEmpty()) inserted += u'.' + suffix;
    return info.dir().filePath(inserted);
}

// What tells one register recorder from another: the register and the folder it queues in.
QString RecorderKey(const RegisterLocation& location, const QString& folder) {
    return location.text() + u'\n' + folder;
}

} // namespace

// One detector's run: its options, its output kept apart, its progress line.
struct CtlParallel::Slot {
    int index = 0;
    QString label;
    CtlOptions options;
    int code = CtlOptions::ExitFailed;
    QString out;
    QString err;
    QMutex mutex; // guards progress and done, which the run's thread writes
    QString progress;
    bool done = false;
};

// One event a run hands over, and what became of it.
struct CtlParallel::EventRequest {
    RegisterLocation location;
    QString folder;
    RegisterEvent event;
    EventRecorder::Outcome outcome;
    bool done = false;
};

CtlParallel::CtlParallel(QTextStream& out, QTextStream& err, QObject* parent)
    : QObject(parent), m_out(out), m_err(err) {}

CtlParallel::~CtlParallel() = default;

bool CtlParallel::Wanted(const CtlOptions& options) {
    return !options.help && !options.version && options.detectorCount() > 1;
}

void CtlParallel::presetProcessState(const CtlOptions& options) {
    // What every run sets process-wide is set here once, before the threads start; the runs
    // then find it as they would set it and leave it alone.
    m_expectedRegister.reset();
    const QString folder =
        options.folder.isEmpty() ? QDir::currentPath() : QDir(options.folder).absolutePath();
    if (!QFileInfo(folder).isDir()) return; // each run reports it
    AppState::setStartupFolder(folder);
    AppState::setDebugMode(options.debugMode);
    AppState::setFactoryMode(options.factoryMode);
    ToolSettings settings;
    QString password;
    ReadToolConfigurationFile(QDir(folder).filePath(QString::fromLatin1(kToolConfigName)),
                              settings, password);
    EventStamp::current().technician = settings.Technician;
    // The register the runs will name, found as they find it (a location they cannot use
    // is theirs to report).
    m_folder = folder;
    const bool fromOption = !options.registerText.isEmpty();
    const QString text = fromOption ? options.registerText : settings.Register;
    m_expectedRegister =
        text.isEmpty() ? std::optional(RegisterLocation::Default(folder))
                       : RegisterLocation::Parse(text, fromOption ? QDir::currentPath() : folder,
                                                 nullptr);
}

EventRecorder& CtlParallel::recorder(const RegisterLocation& location, const QString& folder) {
    const QString key = RecorderKey(location, folder);
    if (!m_recorder || key != m_recorderKey) {
        m_recorder = std::make_unique<EventRecorder>(location, folder);
        m_recorderKey = key;
    }
    return *m_recorder;
}

void CtlParallel::recordWaitingEvents() {
    QList<EventRequest*> waiting;
    {
        const QMutexLocker lock(&m_eventMutex);
        waiting.swap(m_waitingEvents);
    }
    while (!waiting.isEmpty()) {
        // Those for the first one's register, in the order they came.
        const EventRequest* first = waiting.constFirst();
        const QString key = RecorderKey(first->location, first->folder);
        QList<EventRequest*> group;
        QList<RegisterEvent> events;
        for (auto it = waiting.begin(); it != waiting.end();) {
            if (RecorderKey((*it)->location, (*it)->folder) == key) {
                group << *it;
                events << (*it)->event;
                it = waiting.erase(it);
            } else {
                ++it;
            }
        }
        const QList<EventRecorder::Outcome> outcomes =
            recorder(group.constFirst()->location, group.constFirst()->folder).record(events);
        const QMutexLocker lock(&m_eventMutex);
        for (qsizetype i = 0; i < group.size(); ++i) {
            group[i]->outcome = outcomes.value(i);
            group[i]->done = true;
        }
        m_eventRecorded.wakeAll();
    }
}

int CtlParallel::Execute(const CtlOptions& options) {
    m_stop = false;
    presetProcessState(options);

    const int count = options.detectorCount();
    std::vector<std::unique_ptr<Slot>> owned;
    QList<Slot*> runs;
    for (int i = 0; i < count; ++i) {
        owned.push_back(std::make_unique<Slot>());
        Slot* slot = owned.back().get();
        slot->index = i;
        slot->label = options.detectorLabel(i);
        slot->options = options.forDetector(i);
        runs << slot;
    }

    // read FILE: one file per detector, never the same file for two.
    QMutex claimMutex;
    QSet<QString> claimed;

    std::vector<std::unique_ptr<QThread>> threads;
    int running = 0;
    QEventLoop loop;
    for (Slot* slot : std::as_const(runs)) {
        const bool progress = m_progressEnabled;
        threads.emplace_back(QThread::create([this, slot, progress, &claimMutex, &claimed] {
            QTextStream out(&slot->out);
            QTextStream err(&slot->err);
            CtlRunner runner(out, err);
            runner.setLabel(slot->label);
            if (m_pdfWriter) runner.setPdfWriter(m_pdfWriter);
            if (progress)
                runner.setProgressSink([slot](const QString& line) {
                    const QMutexLocker lock(&slot->mutex);
                    slot->progress = line;
                });
            // Simulated detectors after the first get serial numbers of their own.
            const int number = slot->index + 1;
            runner.setSimSetup([number](SimDetector& sim) {
                if (number == 1) return;
                QByteArray serial = sim.value("IN");
                const QByteArray tail = QByteArray::number(number).rightJustified(4, '0');
                serial = serial.left(std::max<qsizetype>(serial.size() - 4, 0)) + tail;
                sim.setValue("IN", serial);
            });
            runner.setReadPathChooser([slot, &claimMutex, &claimed](const QString& path,
                                                                     const clsInstrument& record) {
                const QMutexLocker lock(&claimMutex);
                QString part = FileNamePart(record.SerialNo());
                if (part.isEmpty()) part = QString::number(slot->index + 1);
                QString chosen = WithPart(path, part);
                // A serial number another detector of this run saved under already: the
                // detector's position in the command line is added.
                if (claimed.contains(chosen))
                    chosen = WithPart(path, part + u'_' + QString::number(slot->index + 1));
                claimed.insert(chosen);
                return chosen;
            });
            // A report in the standard PDF fonts is written in the run's own thread, beside
            // those of the other runs. One that needs a system font is rendered in this
            // object's thread: its fonts, loaded for the first such report, serve every later
            // one, where each thread of its own would load them again. The file name is
            // claimed first, so that two detectors with one serial number never choose the
            // same one.
            runner.setReportWriter([this](const ProvisionReport& report, const QString& folder,
                                          QStringList* written, QString* error) {
                QString base;
                {
                    const QMutexLocker lock(&m_reportMutex);
                    base = ProvisionReport::UnusedBase(report, folder, m_claimedReports);
                    m_claimedReports.insert(base);
                }
                if (!report.needsSystemFont())
                    return ProvisionReport::WriteAt(report, base, written, error);
                bool ok = false;
                QMetaObject::invokeMethod(
                    this, [&] { ok = ProvisionReport::WriteAt(report, base, written, error); },
                    Qt::BlockingQueuedConnection);
                return ok;
            });
            // The events go through one recorder and one register connection in this
            // object's thread; those that come while others are being recorded are recorded
            // together, in one transaction.
            runner.setEventWriter([this](const RegisterLocation& location, const QString& folder,
                                         const RegisterEvent& event) {
                EventRequest request{location, folder, event, {}, false};
                QMutexLocker lock(&m_eventMutex);
                if (m_waitingEvents.isEmpty())
                    QMetaObject::invokeMethod(this, &CtlParallel::recordWaitingEvents,
                                              Qt::QueuedConnection);
                m_waitingEvents << &request;
                while (!request.done)
                    m_eventRecorded.wait(&m_eventMutex);
                return request.outcome;
            });
            QTimer stopPoll;
            QObject::connect(&stopPoll, &QTimer::timeout, &runner, [this, &runner] {
                if (m_stop) runner.requestStop();
            });
            stopPoll.start(kStopPollMs);
            slot->code = runner.Execute(slot->options);
            out.flush();
            err.flush();
            const QMutexLocker lock(&slot->mutex);
            slot->progress.clear();
            slot->done = true;
        }));
        QThread* thread = threads.back().get();
        thread->setObjectName(QStringLiteral("km71ctl-%1").arg(slot->index + 1));
        connect(thread, &QThread::finished, &loop, [&running, &loop] {
            if (--running == 0) loop.quit();
        });
        ++running;
    }
    for (const auto& thread : threads)
        thread->start();
    // While the runs talk to their detectors this thread connects to the register their
    // events will go to ("info" records none). A register file that is not there yet is
    // left to be made by the first event: a run that records nothing makes none.
    if (m_expectedRegister && options.command != QLatin1String("info") &&
        (m_expectedRegister->engine != RegisterLocation::Engine::Sqlite ||
         QFileInfo::exists(m_expectedRegister->sqlitePath)))
        QTimer::singleShot(0, this, [this] { recorder(*m_expectedRegister, m_folder).open(); });

    QTimer progressTimer;
    if (m_progressEnabled) {
        connect(&progressTimer, &QTimer::timeout, this, [this, &runs] { showProgress(runs); });
        progressTimer.start(kProgressIntervalMs);
        showProgress(runs);
    }
    if (running > 0) loop.exec();
    progressTimer.stop();
    for (const auto& thread : threads)
        thread->wait();
    endProgress();
    m_recorder.reset();
    m_claimedReports.clear();
    return report(options, runs);
}

void CtlParallel::showProgress(QList<Slot*>& runs) {
    QString block;
    if (m_progressShown > 0) block += QStringLiteral("\x1b[%1A").arg(m_progressShown);
    for (Slot* slot : std::as_const(runs)) {
        QString state;
        {
            const QMutexLocker lock(&slot->mutex);
            state = slot->done ? QStringLiteral("finished") : slot->progress;
        }
        if (state.isEmpty()) state = QStringLiteral("...");
        QString line = slot->label + QStringLiteral(": ") + state;
        if (line.size() > kProgressWidth) line.truncate(kProgressWidth);
        block += QStringLiteral("\r\x1b[K") + line + u'\n';
    }
    m_progressShown = int(runs.size());
    m_err << block;
    m_err.flush();
}

void CtlParallel::endProgress() {
    if (m_progressShown == 0) return;
    m_err << QStringLiteral("\x1b[%1A\r\x1b[J").arg(m_progressShown);
    m_err.flush();
    m_progressShown = 0;
}

int CtlParallel::report(const CtlOptions& options, const QList<Slot*>& runs) {
    int code = CtlOptions::ExitOk;
    for (const Slot* slot : runs)
        code = std::max(code, slot->code);

    const auto lines = [](const QString& text) {
        QStringList list = text.split(u'\n');
        while (!list.isEmpty() && list.last().isEmpty())
            list.removeLast();
        return list;
    };
    // What went wrong, per detector in order, on the error stream.
    for (const Slot* slot : runs) {
        for (const QString& line : lines(slot->err)) {
            if (line.startsWith(QLatin1String("km71ctl: ")))
                m_err << "km71ctl: " << slot->label << ": " << line.mid(9) << '\n';
            else
                m_err << slot->label << ": " << line << '\n';
        }
    }
    m_err.flush();

    if (options.json) {
        QJsonArray detectors;
        for (const Slot* slot : runs) {
            QJsonObject object;
            for (const QString& line : lines(slot->out)) {
                const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8());
                if (doc.isObject()) {
                    object = doc.object();
                    break;
                }
            }
            if (object.isEmpty()) {
                object[QStringLiteral("command")] = options.command;
                object[QStringLiteral("ok")] = slot->code == CtlOptions::ExitOk;
                object[QStringLiteral("exit")] = slot->code;
            }
            object[QStringLiteral("detector")] = slot->label;
            detectors.append(object);
        }
        QJsonObject json;
        json[QStringLiteral("command")] = options.command;
        json[QStringLiteral("ok")] = code == CtlOptions::ExitOk;
        json[QStringLiteral("exit")] = code;
        json[QStringLiteral("detectors")] = detectors;
        m_out << QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Compact)) << '\n';
        m_out.flush();
        return code;
    }

    for (const Slot* slot : runs) {
        const QStringList out = lines(slot->out);
        for (const QString& line : out)
            m_out << slot->label << ": " << line << '\n';
        // Every detector has its line, also one that gave no result.
        if (out.isEmpty())
            m_out << slot->label << ": "
                  << QStringLiteral("failed with exit status %1.").arg(slot->code) << '\n';
    }
    m_out.flush();
    return code;
}
