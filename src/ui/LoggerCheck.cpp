#include "ui/LoggerCheck.h"

#include "instrument/clsInstrument.h"
#include "link/DumpListing.h"
#include "link/LinkLog.h"
#include "link/uclHvif.h"
#include "register/RegisterEvent.h"
#include "shell/AppState.h"
#include "shell/Messages.h"
#include "ui/WindowHost.h"
#include "ui/frmUpload.h"
#include "widgets/UiPrompts.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <memory>

namespace {

// Texts of the logger-area check.
constexpr int kMsgClearLogFailed = 2110;
constexpr int kMsgClearPowerFailed = 2111;
constexpr int kMsgWriteCheckFailed = 2112;
constexpr int kMsgCheckDataWritten = 2113;
constexpr int kMsgCheckResult = 2114;
constexpr int kMsgCheckReady = 2115;
constexpr int kMsgCheckTitle = 2116;
constexpr int kMsgFileMissing = 2117;
constexpr int kMsgFileShort = 2118;
constexpr int kMsgLogCleared = 5888;   // "71-Series Data Removal Complete.~c"
constexpr int kMsgPowerCleared = 5883; // "71-Series ClearPowerArea Complete .~c"
constexpr int kMsgUploadTitle = 5869;  // "Upload"
// "Data Download Failed.~c", the reason a check without its download is on record with.
constexpr int kMsgDownloadFailed = 5899;
// Texts of the memory dump.
constexpr int kMsgOtherIssues = 2120;
constexpr int kMsgNoFram = 2121;
constexpr int kMsgDumpReady = 2122;
constexpr int kMsgDumpTitle = 2123;
constexpr int kMsgDumpDialogTitle = 2124;
constexpr int kMsgDumpDialogLabel = 2125;
constexpr int kMsgDumpStart = 2126;
constexpr int kMsgDumpFinished = 2127;
constexpr int kMsgDumpFailed = 2128;
constexpr int kMsgDumpFailedLog = 2129;
constexpr int kMsgDumpStartedLog = 5569;
constexpr int kMsgDumpFinishedLog = 5570;
constexpr int kMsgCanceled = 5855; // "Cominucation Canceled."

// Operation states of the two diagnostics.
constexpr qint16 kStateWriting = 6;
constexpr qint16 kStateDownloading = 1;

QStringList g_referenceFolders;

// The busy pointer and disabled command frames of the main window, for as long as it lives.
class BusyFrames {
public:
    explicit BusyFrames(WindowHost& window) : m_window(window) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_window.EnableCommandFrames(false);
    }
    ~BusyFrames() {
        m_window.EnableCommandFrames(true);
        QApplication::restoreOverrideCursor();
    }
    BusyFrames(const BusyFrames&) = delete;
    BusyFrames& operator=(const BusyFrames&) = delete;

private:
    WindowHost& m_window;
};

// A progress dialog that is closed at the latest when the object goes.
class ProgressDialog {
public:
    ProgressDialog(WindowHost& window, const QString& title)
        : m_dialog(std::make_unique<frmUpload>(&window.link(), window.hostWidget())) {
        m_dialog->setWindowTitle(title);
    }
    ~ProgressDialog() { close(); }
    ProgressDialog(const ProgressDialog&) = delete;
    ProgressDialog& operator=(const ProgressDialog&) = delete;

    frmUpload* operator->() const { return m_dialog.get(); }
    void close() {
        if (m_dialog) m_dialog->Finish();
        m_dialog.reset();
    }

private:
    std::unique_ptr<frmUpload> m_dialog;
};

// Reads a whole image file; an empty result with `size` set (-1 missing) when it is not
// complete.
QByteArray ReadImage(const QString& path, qint64& size) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        size = -1;
        return {};
    }
    const QByteArray bytes = file.read(kCheckImageSize);
    size = bytes.size();
    return bytes.size() == kCheckImageSize ? bytes : QByteArray();
}

// One of the two clears with its information line; a failure shows its box. True on success.
bool ClearStep(WindowHost& window, bool power) {
    uclHvif& hv = window.link();
    const bool ok = power ? hv.PowerDataClear() : hv.BodyDataClear();
    if (ok) {
        window.AddInfo(LoadMessage(power ? kMsgPowerCleared : kMsgLogCleared),
                       WindowHost::ColourProgress());
        return true;
    }
    window.prompts().critical(window.hostWidget(), AppTitle(),
                              LoadMessage(power ? kMsgClearPowerFailed : kMsgClearLogFailed));
    return false;
}

// Puts the outcome of a logger-area check on record: its verdict when it got that far, else why
// it stopped.
void RecordCheck(WindowHost& window, bool success, const QString& verdict, const QString& reason) {
    RegisterEvent event = window.MakeEvent(EventKind::LoggerCheck, window.working(), success);
    if (!verdict.isEmpty()) event.details[QStringLiteral("verdict")] = verdict;
    if (!reason.isEmpty()) event.details[QStringLiteral("reason")] = reason.simplified();
    window.RecordEvent(event);
}

} // namespace

QString CheckReferenceName(const QString& gasName) {
    const QString name = gasName.trimmed();
    if (name == QLatin1String("O2")) return QStringLiteral("KM71_CheckOXY.DAT");
    if (name == QLatin1String("CO")) return QStringLiteral("KM71_CheckCO.DAT");
    if (name == QLatin1String("H2S")) return QStringLiteral("KM71_CheckH2S.DAT");
    return QStringLiteral("KM71_CheckKM.DAT");
}

QStringList CheckReferenceFolders() {
    if (!g_referenceFolders.isEmpty()) return g_referenceFolders;
    QStringList folders{AppState::StartupFolder()};
    if (QCoreApplication::instance()) {
        const QString programFolder = QCoreApplication::applicationDirPath();
        if (QDir(programFolder) != QDir(folders.first())) folders << programFolder;
    }
    folders << QStringLiteral(":/core");
    return folders;
}

void setCheckReferenceFolders(const QStringList& folders) {
    g_referenceFolders = folders;
}

QString FindCheckReference(const QString& fileName) {
    for (const QString& folder : CheckReferenceFolders()) {
        const QString path = QDir(folder).filePath(fileName);
        if (QFileInfo(path).isFile()) return path;
    }
    return {};
}

CheckComparison CompareCheckData(const QString& referencePath, const QString& imagePath) {
    CheckComparison result;
    qint64 referenceSize = -1;
    qint64 imageSize = -1;
    const QByteArray reference = ReadImage(referencePath, referenceSize);
    if (reference.isEmpty()) {
        result.problemFile = referencePath;
        result.problemSize = referenceSize;
        return result;
    }
    const QByteArray image = ReadImage(imagePath, imageSize);
    if (image.isEmpty()) {
        result.problemFile = imagePath;
        result.problemSize = imageSize;
        return result;
    }
    const int blocks = int(kCheckImageSize / kCheckBlockSize);
    for (int block = 0; block < blocks; ++block) {
        if (block >= kCheckFirstSkippedBlock && block <= kCheckLastSkippedBlock) continue;
        const int from = block * kCheckBlockSize;
        for (int i = from; i < from + kCheckBlockSize; ++i)
            if (reference.at(i) != image.at(i)) ++result.differences;
    }
    result.compared = true;
    return result;
}

void LoggerAreaCheckCommand(WindowHost& window) {
    if (!window.prompts().question(window.hostWidget(), LoadMessage(kMsgCheckTitle),
                                   LoadMessage(kMsgCheckReady)))
        return;
    CheckLoggerArea(window);
}

bool CheckLoggerArea(WindowHost& window) {
    uclHvif& hv = window.link();
    UiPrompts& boxes = window.prompts();
    BusyFrames busy(window);

    // Clear both logs and have the detector write its check pattern.
    {
        AppState::setOperationState(kStateWriting);
        ProgressDialog dialog(window, LoadMessage(kMsgUploadTitle));
        dialog->show();
        const auto stop = [&](int message) {
            // The dialog goes before the box, and the operation state with it.
            dialog.close();
            AppState::setOperationState(0);
            RecordCheck(window, false, QString(), LoadMessage(message));
            boxes.message(window.hostWidget(), AppTitle(), LoadMessage(message));
            return false;
        };
        if (!hv.BodyDataClear()) return stop(kMsgClearLogFailed);
        window.AddInfo(LoadMessage(kMsgLogCleared), WindowHost::ColourProgress());
        if (!hv.PowerDataClear()) return stop(kMsgClearPowerFailed);
        window.AddInfo(LoadMessage(kMsgPowerCleared), WindowHost::ColourProgress());
        if (!hv.SetCheckData()) return stop(kMsgWriteCheckFailed);
        window.AddInfo(LoadMessage(kMsgCheckDataWritten), WindowHost::ColourProgress());
    }

    // Read the logger memory back; the download shows its own dialog and ends in state 0.
    const bool downloaded = window.LoggerDownloadWorkflow();
    // The download enables the command frames when it ends; the check is not over yet.
    window.EnableCommandFrames(false);

    // The detector does not keep the check pattern.
    if (ClearStep(window, false)) ClearStep(window, true);

    bool same = false;
    if (downloaded) {
        const QString referenceName = CheckReferenceName(window.working().GasName(0));
        QString referencePath = FindCheckReference(referenceName);
        if (referencePath.isEmpty()) referencePath = AppState::PathInStartupFolder(referenceName);
        const CheckComparison comparison =
            CompareCheckData(referencePath, window.LoggerImagePath());
        if (!comparison.compared) {
            const QString file = QDir::toNativeSeparators(comparison.problemFile);
            const QString problem =
                comparison.problemSize < 0
                    ? LoadMessage(kMsgFileMissing, {file})
                    : LoadMessage(kMsgFileShort, {file, QString::number(comparison.problemSize)});
            RecordCheck(window, false, QString(), problem);
            boxes.critical(window.hostWidget(), AppTitle(), problem);
            return false;
        }
        same = comparison.same();
    }
    // A download that failed leaves nothing to compare: the check did not pass.
    const QString outcome = QStringLiteral("  ") + window.working().SerialNo() +
                            (same ? QStringLiteral("... OK") : QStringLiteral("... NG"));
    window.AddInfo(LoadMessage(kMsgCheckResult, {outcome}),
                   same ? WindowHost::ColourProgress() : WindowHost::ColourFailure());
    RecordCheck(window, downloaded, same ? QStringLiteral("OK") : QStringLiteral("NG"),
                downloaded ? QString() : LoadMessage(kMsgDownloadFailed));
    return same;
}

bool FramDumpCommand(WindowHost& window) {
    uclHvif& hv = window.link();
    UiPrompts& boxes = window.prompts();
    if (hv.RunDensty()) {
        boxes.information(window.hostWidget(), LoadMessage(kMsgNoFram), LoadMessage(kMsgOtherIssues));
        return false;
    }
    if (!boxes.question(window.hostWidget(), LoadMessage(kMsgDumpTitle), LoadMessage(kMsgDumpReady)))
        return false;

    bool ok = false;
    {
        BusyFrames busy(window);
        AppState::setOperationState(kStateDownloading);
        ProgressDialog dialog(window, LoadMessage(kMsgDumpDialogTitle));
        dialog->setLabel(LoadMessage(kMsgDumpDialogLabel));
        dialog->show();
        window.setDumpMessageSink([&dialog](const QString& text) { dialog->setLabel(text); });

        const QDateTime start = hv.clock()->currentDateTime();
        window.AddInfo(LoadMessage(kMsgDumpStart), WindowHost::ColourDump());
        hv.AddLog(LoadMessage(kMsgDumpStartedLog, {GeneralDateText(start)}));

        ok = hv.GetRomDump2(AppState::PathInStartupFolder(QString::fromLatin1(kFramDumpFile)));

        const QDateTime end = hv.clock()->currentDateTime();
        const QStringList times{GeneralDateText(end), DumpListing::ElapsedText(start.msecsTo(end))};
        hv.AddLog(LoadMessage(ok ? kMsgDumpFinishedLog : kMsgDumpFailedLog, times));
        window.setDumpMessageSink({});
        const bool canceled = dialog->Canceled();
        dialog.close();
        AppState::setOperationState(0);
        // A listing that was not read completely is reported as failed.
        if (ok)
            window.AddInfo(LoadMessage(kMsgDumpFinished), WindowHost::ColourDump());
        else if (canceled)
            window.AddInfo(LoadMessage(kMsgCanceled), WindowHost::ColourFailure());
        else
            window.AddInfo(LoadMessage(kMsgDumpFailed), WindowHost::ColourFailure());
    }
    return ok;
}
