// The read, write and maintenance workflows of the main window. Each one follows the same
// frame: an optional question, the progress dialog, a line in the information log before and
// after, lines in the link log, the link call itself, then a refresh of the window.
#include "ui/frmMain.h"

#include "configuration/ToolConfig.h"
#include "configuration/ToolSettings.h"
#include "instrument/AlarmRules.h"
#include "instrument/SettingsFile.h"
#include "instrument/clsInstrument.h"
#include "link/DumpListing.h"
#include "link/uclHvif.h"
#include "records/FactoryRecord.h"
#include "register/RegisterEvent.h"
#include "shell/AppState.h"
#include "shell/Messages.h"
#include "ui/FactoryRecordBox.h"
#include "ui/LoggerCheck.h"
#include "ui/frmCalibration.h"
#include "ui/frmUpload.h"
#include "widgets/RefusedEdit.h"
#include "widgets/UiPrompts.h"

#include <QApplication>
#include <QDateTime>
#include <QHash>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <algorithm>
#include <cmath>

namespace {

// Information log and link log texts of the workflows.
constexpr int kMsgNoResponse = 5405;
constexpr int kMsgReadStart = 5850;
constexpr int kMsgReadStartLog = 5851;
constexpr int kMsgReadNoResponseLog = 5852;
constexpr int kMsgReadComplete = 5853;
constexpr int kMsgReadFinishedLog = 5854;
constexpr int kMsgCanceled = 5855;
constexpr int kMsgCanceledLog = 5856;
constexpr int kMsgReadFailed = 5857;
constexpr int kMsgReadFailLineLog = 5858;
constexpr int kMsgImproperDate = 5859;
constexpr int kMsgReadFailedLog = 5860;
constexpr int kMsgDownloadTitle = 5861;
constexpr int kMsgBadSuffix = 5862;
constexpr int kMsgClockOff = 5863;
constexpr int kMsgCheckAlarmPoints = 5864;
constexpr int kMsgAlarmRangeTitle = 5865;
constexpr int kMsgImproperAutoCal = 5866;
constexpr int kMsgAutoCalTitle = 5654;
constexpr int kMsgUpdateReady = 5867;
constexpr int kMsgUpdateTitle = 5868;
constexpr int kMsgUploadTitle = 5869;
constexpr int kMsgUploadStartLog = 5870;
constexpr int kMsgUploadStart = 5871;
constexpr int kMsgUploadComplete = 5872;
constexpr int kMsgUploadCompleteBox = 5873;
constexpr int kMsgUploadFailed = 5874;
constexpr int kMsgNowUploading = 6001;
constexpr int kMsgNoResponseRemoveLog = 5890;
constexpr int kMsgPowerOffReady = 5891;
constexpr int kMsgPowerOffTitle = 5892;
constexpr int kMsgPowerOffStart = 5893;
constexpr int kMsgPowerOffComplete = 5894;
constexpr int kMsgPowerOffFailed = 5895;
constexpr int kMsgLoggerNoResponseLog = 5896;
constexpr int kMsgLoggerStart = 5897;
constexpr int kMsgLoggerStartLog = 5898;
constexpr int kMsgLoggerFailed = 5899;
constexpr int kMsgOneMoreTime = 5900;
constexpr int kMsgNotWritten = 5901;
constexpr int kMsgReadBeforeWriting = 5910;
constexpr int kMsgIdentityNotWritten = 5912;
constexpr int kMsgSwitchOffQuestion = 5915;
constexpr int kMsgNotWrittenBox = 5916;
constexpr int kMsgUpdateIdCaption = 5714;
constexpr int kMsgDateTimeSetCaption = 5708;
constexpr int kMsgWriteCheckDataCaption = 5713;
constexpr int kMsgLoggerComplete = 5902;
constexpr int kMsgLoggerFinishedLog = 5903;
constexpr int kMsgLoggerFailedLog = 5904;
constexpr int kMsgWarningName = 5650;
constexpr int kMsgAlarmName = 5651;
constexpr int kMsgAutoCalName = 5654;
// "The tool configuration file could not be written.~c~1".
constexpr int kMsgToolConfigFailed = 5748;

// Buttons of the write frame and the maintenance commands (`cmdOption` indexes).
constexpr int kUpdate = 0;
constexpr int kDateTimeSet = 1;
constexpr int kCalibration = 2;
constexpr int kDefault = 3;
constexpr int kClearPowerLog = 4;
constexpr int kClearLoggerData = 5;
constexpr int kWriteCheckData = 6;
constexpr int kUpdateId = 7;
constexpr int kLoggerAreaCheck = 8;
constexpr int kWriteSerialNo = 9;
constexpr int kWriteFactoryNo = 10;
// Not a button: the write of the settings already flagged (taken over from the master).
constexpr int kWriteFlagged = -1;

// A maintenance command: its question and title, and its information lines.
struct MaintenanceTexts {
    int question;
    int title;
    int before;
    int success;
    int failure;
};
constexpr MaintenanceTexts kDefaultTexts{5875, 5876, 5877, 5878, 5879};
constexpr MaintenanceTexts kClearPowerTexts{5880, 5881, 5882, 5883, 5884};
constexpr MaintenanceTexts kClearLoggerTexts{5885, 5886, 5887, 5888, 5889};

// Characters a file name suffix may not hold.
const QString kForbiddenSuffixChars = QStringLiteral("\\/:|<>*?\"");

// Blocks of the logger memory read by the logger download.
constexpr qint16 kLoggerFirstBlock = 0;
constexpr qint16 kLoggerLastBlock = 511;

// The busy mouse pointer for as long as the object lives.
class BusyPointer {
public:
    BusyPointer() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyPointer() { QApplication::restoreOverrideCursor(); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
};

// Dates in the link log lines, as the window shows them.
QString DateText(const QDateTime& when) {
    return when.toString(QStringLiteral("MM/dd/yyyy HH:mm:ss"));
}

// The caption of a setting the detector did not take, as the grid names it.
QString SettingCaption(const QString& name) {
    if (name == QLatin1String("Warning")) return LoadMessage(kMsgWarningName);
    if (name == QLatin1String("Alarm")) return LoadMessage(kMsgAlarmName);
    if (name == QLatin1String("AutoCalib")) return LoadMessage(kMsgAutoCalName);
    return name;
}

// The caption of a setting by the two-letter command that writes it.
QString CommandCaption(const QString& command) {
    static const QHash<QString, int> kCaptions{
        {QStringLiteral("BS"), 8042}, {QStringLiteral("XZ"), 5610}, {QStringLiteral("XS"), 5609},
        {QStringLiteral("IN"), 5608}, {QStringLiteral("HN"), 8003}, {QStringLiteral("GJ"), 5648},
        {QStringLiteral("AP"), 8004}, {QStringLiteral("AU"), 9101}, {QStringLiteral("SD"), 8010},
        {QStringLiteral("SC"), 5655}, {QStringLiteral("SM"), 8011}, {QStringLiteral("XB"), 8044},
        {QStringLiteral("XW"), 8009}, {QStringLiteral("XT"), 8023}, {QStringLiteral("AI"), 9102},
        {QStringLiteral("AJ"), 9103}, {QStringLiteral("AB"), 9104}, {QStringLiteral("BV"), 8083},
        {QStringLiteral("BJ"), 8081}, {QStringLiteral("BK"), 8080}, {QStringLiteral("BL"), 8082},
        {QStringLiteral("BU"), 8029}, {QStringLiteral("AT"), 8022}, {QStringLiteral("AK"), 20013},
        {QStringLiteral("JW"), 8084}, {QStringLiteral("JH"), 8085}, {QStringLiteral("SE"), 8086},
        {QStringLiteral("A1"), 5650}, {QStringLiteral("A2"), 5651}, {QStringLiteral("SA"), 5654},
        {QStringLiteral("AS"), 5652}, {QStringLiteral("AW"), 5653}, {QStringLiteral("XP"), 5223},
        {QStringLiteral("UJ"), 8015}, {QStringLiteral("SJ"), 8019}, {QStringLiteral("SG"), 8020},
        {QStringLiteral("PN"), 8057}, {QStringLiteral("PM"), 8058}, {QStringLiteral("PS"), 8059},
        {QStringLiteral("PG"), 8062}, {QStringLiteral("MP"), 8021},
    };
    const auto found = kCaptions.constFind(command);
    return found == kCaptions.constEnd() ? command : LoadMessage(*found);
}

// Whether a configuration-file command writes identity (serial, manufacture, station or user
// number).
bool IsIdentityCommand(const QString& command) {
    static const QStringList kIdentity{QStringLiteral("IN"), QStringLiteral("XS"),
                                       QStringLiteral("XZ"), QStringLiteral("HN")};
    return kIdentity.contains(command);
}

// Whether only identity settings are in `commands`.
bool IdentityOnly(const QStringList& commands) {
    return std::all_of(commands.cbegin(), commands.cend(), IsIdentityCommand);
}

// Whether the person edited an identity box since the record was read or loaded.
bool IdentityEdited(const clsInstrument& record) {
    return record.Change_SerialNo() || record.Change_StationID() || record.Change_UserID();
}

// The change flags a write button sends, set on the record.
void MarkForWrite(clsInstrument& record, int button) {
    switch (button) {
    case kWriteSerialNo:
        record.ClearChangeFlags();
        record.setChange_SerialNo(true);
        break;
    case kWriteFactoryNo:
        record.ClearChangeFlags();
        record.setChange_DummySerial(true);
        break;
    case kUpdateId:
        record.SetChangeFlags(false, true);
        break;
    case kWriteFlagged:
        break;
    default: {
        // Every setting; the two linearisation sets keep their flags, and when either was
        // flagged both go when one of them belongs to the gas of the detector.
        const bool set0 = record.Change_LSData(0);
        const bool set1 = record.Change_LSData(1);
        record.SetChangeFlags(true, false);
        record.setChange_LSData(0, set0);
        record.setChange_LSData(1, set1);
        if (set0 || set1) {
            bool match = false;
            for (int gas = 0; gas < clsInstrument::GasCount; ++gas) {
                const QString name = record.GasName(gas).trimmed();
                if (name.isEmpty()) continue;
                for (int set = 0; set < clsInstrument::LsCount; ++set)
                    if (name == record.LS_Name(set).trimmed()) match = true;
            }
            if (match) {
                record.setChange_LSData(0, true);
                record.setChange_LSData(1, true);
            }
        }
        break;
    }
    }
}

// Whether a write button sends the setting of a configuration-file key: the identity keys go
// only with their own buttons, every other key only with "Update"; the write of the flagged
// settings sends the commands in `flagged`.
bool WritesKey(int button, const QString& key, const QStringList& flagged) {
    switch (button) {
    case kUpdateId:
        return key == QLatin1String("IN") || key == QLatin1String("XS") ||
               key == QLatin1String("XZ");
    case kWriteSerialNo:
        return key == QLatin1String("IN");
    case kWriteFactoryNo:
        return key == QLatin1String("HN");
    case kWriteFlagged:
        return flagged.contains(key);
    default:
        return !IsIdentityCommand(key);
    }
}

// The settings a write button sends, as changes from `held` (what the detector holds) to
// `record`; with nothing known of the detector every setting sent, its old value unknown.
QList<SettingChange> WrittenChanges(const clsInstrument* held, const clsInstrument& record,
                                    int button, const QStringList& flagged) {
    QList<SettingChange> changes;
    if (held) {
        changes = RegisterEvent::Changes(*held, record);
    } else {
        for (const QString& line : SettingsFile::Lines(record)) {
            // "KEY,W,value,": the key and the value as the configuration file writes it.
            QString value = line.section(u',', 2);
            if (value.endsWith(u',')) value.chop(1);
            changes.append({line.section(u',', 0, 0), QString(), value});
        }
    }
    changes.removeIf(
        [&](const SettingChange& c) { return !WritesKey(button, c.name, flagged); });
    return changes;
}

// What the detector holds after a successful write of `button` when it held `held`; `flagged`
// names the commands of the write of the flagged settings.
clsInstrument HeldAfterWrite(const clsInstrument& held, const clsInstrument& record, int button,
                             const QStringList& flagged) {
    clsInstrument after = held;
    switch (button) {
    case kWriteFlagged: {
        // The record's configuration-file lines of the settings sent, over what was held.
        QStringList lines = SettingsFile::Lines(record);
        lines.removeIf([&](const QString& line) { return !flagged.contains(line.left(2)); });
        SettingsFile::ApplyLines(lines, after);
        break;
    }
    case kUpdateId:
        after.setSerialNo(record.SerialNo());
        after.setStationID(record.StationID());
        after.setUserID(record.UserID());
        break;
    case kWriteSerialNo:
        after.setSerialNo(record.SerialNo());
        break;
    case kWriteFactoryNo:
        after.setDummySerial(record.DummySerial());
        break;
    default:
        // Every setting of the record, the identity as the detector holds it.
        after = record;
        after.setSerialNo(held.SerialNo());
        after.setStationID(held.StationID());
        after.setUserID(held.UserID());
        after.setDummySerial(held.DummySerial());
        break;
    }
    after.ClearChangeFlags();
    return after;
}

// Shows the progress dialog of an upload (label "Now Uploading", title "Upload").
void ShowUploadDialog(frmUpload& dialog) {
    dialog.setWindowTitle(LoadMessage(kMsgUploadTitle));
    dialog.setLabel(LoadMessage(kMsgNowUploading));
    dialog.show();
}

// Reads the detector under the progress dialog with the command frames disabled; true on
// success.
bool ReadWithProgress(frmMain& window) {
    frmUpload dialog(&window.link(), &window);
    dialog.setWindowTitle(LoadMessage(kMsgDownloadTitle));
    window.EnableCommandFrames(false);
    dialog.show();
    const bool ok = window.ReadInstrument();
    if (ok) window.UpdateCommandStates();
    dialog.Finish();
    window.EnableCommandFrames(true);
    return ok;
}

} // namespace

// ---- Dispatch ----

void frmMain::cmdDown_Click(int index) {
    // No command starts while a typed value waits to be corrected.
    if (RefusedEdit::remind()) return;
    switch (index) {
    case 1:
        ReadWithProgress(*this);
        ClockCheck();
        break;
    case 2:
        LoggerDownloadWorkflow();
        ClockCheck();
        break;
    case 4:
        PowerOffWorkflow();
        ClockCheck();
        break;
    case 5:
        ReadAndSave(); // ends with the clock check unless the suffix stopped it
        break;
    default:
        break;
    }
}

void frmMain::cmdOption_Click(int index) {
    if (RefusedEdit::remind()) return;
    switch (index) {
    case kUpdate:
    case kUpdateId:
    case kWriteSerialNo:
    case kWriteFactoryNo:
        WriteFrame(index);
        break;
    case kDateTimeSet:
        SetClockWorkflow();
        break;
    case kWriteCheckData:
        WriteCheckDataWorkflow();
        break;
    case kDefault:
    case kClearPowerLog:
    case kClearLoggerData:
        MaintenanceWorkflow(index);
        break;
    case kCalibration:
        if (RecordWritable())
            frmCalibration::Open(*this);
        else
            AddInfo(LoadMessage(kMsgReadBeforeWriting), ColourFailure());
        break;
    case kLoggerAreaCheck:
        LoggerAreaCheckCommand(*this);
        break;
    default:
        break;
    }
}

// ---- Reading ----

bool frmMain::ReadInstrument() {
    BusyPointer busy;
    uclHvif& hv = link();
    clsInstrument& record = working();
    const QDateTime start = hv.clock()->currentDateTime();
    if (!hv.Connected()) {
        AddInfo(LoadMessage(kMsgNoResponse), ColourFailure());
        hv.AddLog(LoadMessage(kMsgReadNoResponseLog, {DateText(start)}));
        return false;
    }
    AddInfo(LoadMessage(kMsgReadStart), ColourProgress());
    hv.AddLog(LoadMessage(kMsgReadStartLog, {DateText(start)}));

    // The read fills a scratch record; the working record (and so the window) changes only when
    // the read is complete.
    clsInstrument scratch = record;
    const bool read = hv.GetInstrument(scratch);
    hv.setInstrument(&record);
    if (read) {
        record = scratch;
        m_detectorRead = scratch;
        m_origin = RecordOrigin::Detector;
        m_readConnection = m_connections;
        record.setCommFlags(true);
        record.setImportFlag(false);
        for (int gas = 0; gas < clsInstrument::GasCount; ++gas)
            if (!record.GasEnabled(gas) && Tool().GasLocked(gas)) record.setGasEnabled(gas, true);
        txtSuffix()->setText(Tool().FactoryRecordSuffix);
        RefreshInstrumentView();
        hv.GetLatestHistory(record);
        hv.GetLatestBumpHistory(record);
        m_registerBaseline = record;
        m_registerBaseline.ClearChangeFlags();
        RecordEvent(MakeEvent(EventKind::Read, record, true));
        for (const QString& line : AnalogValuesList(record))
            AddInfo(line, ColourAdValues());
        AddInfo(LoadMessage(kMsgReadComplete), ColourProgress());
        const QDateTime end = hv.clock()->currentDateTime();
        hv.AddLog(LoadMessage(kMsgReadFinishedLog,
                              {DateText(end), DumpListing::ElapsedText(start.msecsTo(end))}));
        return true;
    }

    const QDateTime end = hv.clock()->currentDateTime();
    // The register learns of the read that did not complete, with what it read of the detector.
    RegisterEvent failed = MakeEvent(EventKind::Read, scratch, false);
    failed.details[QStringLiteral("reason")] =
        LoadMessage(hv.Cancel() ? kMsgCanceled : kMsgReadFailed).simplified();
    RecordEvent(failed);
    if (hv.Cancel()) {
        AddInfo(LoadMessage(kMsgCanceled), ColourFailure());
        hv.AddLog(LoadMessage(kMsgCanceledLog, {DateText(end)}));
        return false;
    }
    // A failed read is reported as failed, even when the detector answered part of it.
    AddInfo(LoadMessage(kMsgReadFailed), ColourFailure());
    hv.AddLog(LoadMessage(kMsgReadFailLineLog));
    if (scratch.FailLine() == QLatin1String("HC,R"))
        AddInfo(LoadMessage(kMsgImproperDate), ColourFailure());
    hv.AddLog(LoadMessage(kMsgReadFailedLog,
                          {DateText(end), DumpListing::ElapsedText(start.msecsTo(end))}));
    return false;
}

void frmMain::ClockCheck() {
    const double offset = working().SysDateOffset();
    if (std::isfinite(offset) && std::fabs(offset) > 1.0)
        AddInfo(LoadMessage(kMsgClockOff), ColourFailure());
}

void frmMain::ReadAndSave() {
    const QString suffix = txtSuffix()->text();
    for (const QChar c : suffix) {
        if (kForbiddenSuffixChars.contains(c)) {
            prompts().critical(this, AppTitle(), LoadMessage(kMsgBadSuffix));
            txtSuffix()->setFocus();
            return;
        }
    }
    if (ReadWithProgress(*this))
        WriteFactoryRecord(working(), kFactoryRecordRead, this, &prompts());
    ClockCheck();
}

// ---- Writing ----

frmMain::WriteOutcome frmMain::WriteFrame(int button) {
    clsInstrument& record = working();
    // Only a record that is known goes to the detector (the buttons are disabled otherwise).
    if (!RecordWritable()) {
        AddInfo(LoadMessage(kMsgReadBeforeWriting), ColourFailure());
        return WriteOutcome::NotSent;
    }
    if (!RecordAlarmPointsValid(record)) {
        prompts().critical(this, LoadMessage(kMsgAlarmRangeTitle),
                           LoadMessage(kMsgCheckAlarmPoints));
        return WriteOutcome::NotSent;
    }
    if (!RecordAutoCalValid(record)) {
        prompts().critical(this, LoadMessage(kMsgAutoCalTitle), LoadMessage(kMsgImproperAutoCal));
        return WriteOutcome::NotSent;
    }
    if (button == kUpdate || button == kWriteFlagged) {
        // Switching an alarm point off is never silent. What the detector holds is known only
        // from a read of this connection; otherwise every point sent as "*****" is named.
        const clsInstrument unknown;
        const clsInstrument& detector =
            m_readConnection == m_connections ? m_detectorRead : unknown;
        QStringList points;
        for (const SwitchedOffPoint& point : AlarmPointsSwitchedOff(detector, record))
            points << SwitchedOffPointText(record, point);
        if (!points.isEmpty() &&
            !prompts().question(
                this, LoadMessage(kMsgUpdateTitle),
                LoadMessage(kMsgSwitchOffQuestion, {points.join(QStringLiteral(", "))})))
            return WriteOutcome::NotSent;
    }
    if (!prompts().question(this, LoadMessage(kMsgUpdateTitle), LoadMessage(kMsgUpdateReady)))
        return WriteOutcome::NotSent;

    uclHvif& hv = link();
    frmUpload dialog(&hv, this);
    ShowUploadDialog(dialog);
    // "Update" leaves the identity alone; an edited identity is only remembered in the record.
    const bool identityLeft = button == kUpdate && IdentityEdited(record);
    MarkForWrite(record, button);
    // The commands this write sends; the flagged write counts as an identity write when it
    // sends nothing else.
    const QStringList flagged = uclHvif::PendingWrites(record);
    const bool settingsWrite =
        button == kUpdate || (button == kWriteFlagged && !IdentityOnly(flagged));

    hv.AddLog(LoadMessage(kMsgUploadStartLog, {DateText(hv.clock()->currentDateTime())}));
    AddInfo(LoadMessage(kMsgUploadStart), ColourProgress());
    bool ok = false;
    {
        setEnabled(false);
        BusyPointer busy;
        ok = hv.SetInstrument(record);
        setEnabled(true);
    }
    if (ok) {
        WriteFactoryRecord(record, settingsWrite ? kFactoryRecordWrite : kFactoryRecordWriteId,
                           this, &prompts());
        AddInfo(LoadMessage(kMsgUploadComplete), ColourProgress());
    } else {
        // Values the detector never echoed back are named; their flags stay raised.
        for (const QString& name : hv.NotWrittenSettings())
            AddInfo(LoadMessage(kMsgNotWritten, {SettingCaption(name)}), ColourFailure());
        AddInfo(LoadMessage(kMsgUploadFailed), ColourFailure());
    }
    if (identityLeft)
        AddInfo(LoadMessage(kMsgIdentityNotWritten, {LoadMessage(kMsgUpdateIdCaption)}),
                ColourFailure());
    dialog.Finish();
    // What is still flagged did not reach the detector.
    QStringList pending;
    for (const QString& command : uclHvif::PendingWrites(record))
        pending << CommandCaption(command);
    pending.removeDuplicates();

    // The register gets the settings the write sent, from what the detector held (known from a
    // read of this connection) to what it was sent.
    const bool held = m_readConnection == m_connections;
    const QList<SettingChange> changes =
        WrittenChanges(held ? &m_registerBaseline : nullptr, record, button, flagged);
    const clsInstrument after =
        held ? HeldAfterWrite(m_registerBaseline, record, button, flagged) : record;
    // A written identity renames the detector on record.
    if (ok && held) m_registerBaseline = after;
    RegisterEvent event =
        MakeEvent(settingsWrite ? EventKind::Write : EventKind::IdentityWrite, after, ok);
    event.setChanges(changes);
    if (!ok)
        event.details[QStringLiteral("reason")] =
            (LoadMessage(kMsgUploadFailed) + u' ' + pending.join(QStringLiteral(", ")))
                .simplified();
    RecordEvent(event);
    ReportUploadOutcome(ok, pending.join(QStringLiteral("\r\n")));
    return ok ? WriteOutcome::Written : WriteOutcome::Failed;
}

frmMain::WriteOutcome frmMain::WriteFlaggedSettings() {
    return WriteFrame(kWriteFlagged);
}

bool frmMain::ReadDetectorWorkflow() {
    const bool ok = ReadWithProgress(*this);
    ClockCheck();
    return ok;
}

void frmMain::ReportUploadOutcome(bool ok, const QString& notWritten) {
    if (ok) {
        prompts().information(this, LoadMessage(kMsgUploadTitle),
                              LoadMessage(kMsgUploadCompleteBox));
        return;
    }
    QString text = LoadMessage(kMsgUploadFailed);
    if (!notWritten.isEmpty()) text += LoadMessage(kMsgNotWrittenBox, {notWritten});
    prompts().critical(this, LoadMessage(kMsgUploadTitle), text);
}

void frmMain::SetClockWorkflow() {
    if (!prompts().question(this, LoadMessage(kMsgUpdateTitle), LoadMessage(kMsgUpdateReady)))
        return;
    uclHvif& hv = link();
    frmUpload dialog(&hv, this);
    ShowUploadDialog(dialog);
    const QDateTime now = hv.clock()->currentDateTime();
    hv.AddLog(LoadMessage(kMsgUploadStartLog, {DateText(now)}));
    AddInfo(LoadMessage(kMsgUploadStart), ColourProgress());
    bool ok = false;
    {
        setEnabled(false);
        BusyPointer busy;
        ok = hv.SetDateTime(now);
        setEnabled(true);
    }
    if (ok) {
        // The detector now runs on the PC clock.
        working().setSysDateOffset(0.0);
        AddInfo(LoadMessage(kMsgUploadComplete), ColourProgress());
    } else {
        AddInfo(LoadMessage(kMsgUploadFailed), ColourFailure());
    }
    RegisterEvent event = MakeEvent(EventKind::ClockSet, working(), ok);
    if (ok) event.detectorClock = now;
    if (!ok) event.details[QStringLiteral("reason")] = LoadMessage(kMsgUploadFailed).simplified();
    RecordEvent(event);
    dialog.Finish();
    ReportUploadOutcome(ok, LoadMessage(kMsgDateTimeSetCaption));
}

void frmMain::WriteCheckDataWorkflow() {
    if (!prompts().question(this, LoadMessage(kMsgUpdateTitle), LoadMessage(kMsgUpdateReady)))
        return;
    uclHvif& hv = link();
    frmUpload dialog(&hv, this);
    ShowUploadDialog(dialog);
    hv.AddLog(LoadMessage(kMsgUploadStartLog, {DateText(hv.clock()->currentDateTime())}));
    AddInfo(LoadMessage(kMsgUploadStart), ColourProgress());
    bool ok = false;
    {
        setEnabled(false);
        BusyPointer busy;
        ok = hv.SetCheckData();
        setEnabled(true);
    }
    AddInfo(LoadMessage(ok ? kMsgUploadComplete : kMsgUploadFailed),
            ok ? ColourProgress() : ColourFailure());
    dialog.Finish();
    ReportUploadOutcome(ok, LoadMessage(kMsgWriteCheckDataCaption));
}

// ---- Maintenance ----

void frmMain::MaintenanceWorkflow(int button) {
    const MaintenanceTexts* texts = nullptr;
    switch (button) {
    case kDefault:
        texts = &kDefaultTexts;
        break;
    case kClearPowerLog:
        texts = &kClearPowerTexts;
        break;
    case kClearLoggerData:
        texts = &kClearLoggerTexts;
        break;
    default:
        return;
    }
    if (!prompts().question(this, LoadMessage(texts->title), LoadMessage(texts->question))) return;
    uclHvif& hv = link();
    if (!hv.Connected()) {
        AddInfo(LoadMessage(kMsgNoResponse), ColourFailure());
        hv.AddLog(LoadMessage(kMsgNoResponseRemoveLog));
        return;
    }
    AddInfo(LoadMessage(texts->before), ColourProgress());
    bool ok = false;
    {
        // The confirmation polls take seconds; no other command may start meanwhile.
        EnableCommandFrames(false);
        BusyPointer busy;
        if (button == kDefault)
            ok = hv.DefaultInstrument();
        else if (button == kClearPowerLog)
            ok = hv.PowerDataClear();
        else
            ok = hv.BodyDataClear();
        EnableCommandFrames(true);
    }
    AddInfo(LoadMessage(ok ? texts->success : texts->failure),
            ok ? ColourProgress() : ColourFailure());
    RegisterEvent event =
        MakeEvent(button == kDefault ? EventKind::Defaults : EventKind::LogClear, working(), ok);
    if (button == kClearPowerLog) event.details[QStringLiteral("log")] = QStringLiteral("power");
    if (button == kClearLoggerData) event.details[QStringLiteral("log")] = QStringLiteral("logger");
    if (!ok) event.details[QStringLiteral("reason")] = LoadMessage(texts->failure).simplified();
    RecordEvent(event);
}

void frmMain::PowerOffWorkflow() {
    if (!prompts().question(this, LoadMessage(kMsgPowerOffTitle), LoadMessage(kMsgPowerOffReady)))
        return;
    uclHvif& hv = link();
    if (!hv.Connected()) {
        AddInfo(LoadMessage(kMsgNoResponse), ColourFailure());
        return;
    }
    AddInfo(LoadMessage(kMsgPowerOffStart), ColourProgress());
    bool ok = false;
    {
        EnableCommandFrames(false);
        BusyPointer busy;
        ok = hv.BodyPowerOff();
        EnableCommandFrames(true);
    }
    RegisterEvent event = MakeEvent(EventKind::PowerOff, working(), ok);
    if (!ok) {
        event.details[QStringLiteral("reason")] = LoadMessage(kMsgPowerOffFailed).simplified();
        RecordEvent(event);
        AddInfo(LoadMessage(kMsgPowerOffFailed), ColourFailure());
        return;
    }
    RecordEvent(event);

    clsInstrument& record = working();
    record.setCommFlags(false);
    record.setImportFlag(false);
    record.ClearDatas();
    // The tool configuration goes to its file and is read back, as at start-up.
    QString error;
    const bool stored = WriteToolConfiguration(&error);
    ApplyToolDefaults();
    ReadToolConfiguration();
    // The window starts over: lamps, log, command states, font, suffix, first activation.
    setLamp(0, Lamp::On);
    for (int i = 1; i < 4; ++i)
        setLamp(i, Lamp::Off);
    rtbLog()->clear();
    UpdateCommandStates();
    setCalibrationLampsVisible(false);
    applyFont();
    txtSuffix()->setText(Tool().FactoryRecordSuffix);
    // The outcome stays readable in the emptied log.
    AddInfo(LoadMessage(kMsgPowerOffComplete), ColourProgress());
    if (!stored) AddInfo(LoadMessage(kMsgToolConfigFailed, {error}), ColourFailure());
    setFirstActivation(true);
    Form_Activate();
    // The transport is chosen and the link opened again.
    openLink();
}

bool frmMain::LoggerDownloadWorkflow() {
    uclHvif& hv = link();
    AppState::setOperationState(1);
    frmUpload dialog(&hv, this);
    dialog.setWindowTitle(LoadMessage(kMsgDownloadTitle));
    EnableCommandFrames(false);
    dialog.show();
    // Dump progress shows in the dialog; during the second attempt under "One more time !".
    QString retryHead;
    setDumpMessageSink([&dialog, &retryHead](const QString& text) {
        dialog.setLabel(retryHead.isEmpty() ? text : retryHead + u'\n' + text);
    });

    const QDateTime start = hv.clock()->currentDateTime();
    bool ok = false;
    if (!hv.Connected()) {
        AddInfo(LoadMessage(kMsgNoResponse), ColourFailure());
        hv.AddLog(LoadMessage(kMsgLoggerNoResponseLog, {DateText(start)}));
    } else {
        AddInfo(LoadMessage(kMsgLoggerStart), ColourProgress());
        hv.AddLog(LoadMessage(kMsgLoggerStartLog, {DateText(start)}));
        ok = hv.GetRomNo(working());
        if (ok) {
            const QString path = LoggerImagePath();
            ok = hv.GetBinDump(path, kLoggerFirstBlock, kLoggerLastBlock);
            // A block that timed out earns one more attempt, unless the operator cancelled.
            if (!ok && hv.BinaryRetry() && !dialog.Canceled()) {
                retryHead = LoadMessage(kMsgOneMoreTime);
                dialog.setLabel(retryHead);
                ok = hv.GetBinDump(path, kLoggerFirstBlock, kLoggerLastBlock);
            }
        }
        const QDateTime end = hv.clock()->currentDateTime();
        if (ok) {
            AddInfo(LoadMessage(kMsgLoggerComplete), ColourProgress());
            hv.AddLog(LoadMessage(kMsgLoggerFinishedLog,
                                  {DateText(end), DumpListing::ElapsedText(start.msecsTo(end))}));
        } else if (dialog.Canceled()) {
            AddInfo(LoadMessage(kMsgCanceled), ColourFailure());
            hv.AddLog(LoadMessage(kMsgCanceledLog, {DateText(end)}));
        } else {
            AddInfo(LoadMessage(kMsgLoggerFailed), ColourFailure());
            hv.AddLog(LoadMessage(kMsgLoggerFailedLog, {DateText(end)}));
        }
    }

    setDumpMessageSink({});
    dialog.Finish();
    AppState::setOperationState(0);
    EnableCommandFrames(true);
    return ok;
}
