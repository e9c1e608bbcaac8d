// The factory settings dialog: the parameter grid, its checks, OK and Cancel, and the write of
// what OK handed back to the simulated detector.
#include "FsTestSupport.h"
#include "common/SimLink.h"
#include "common/TempStartupFolder.h"
#include "factory/GasTableGrid.h"
#include "factory/ParameterGrid.h"
#include "factory/StationGrid.h"
#include "instrument/clsInstrument.h"
#include "widgets/RefusedEdit.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>

using namespace fstest;
using R = ParameterGrid;

namespace {

clsInstrument SampleRecord(const QString& model = QStringLiteral("KM")) {
    clsInstrument r;
    r.setModelTyp(model);
    r.setDummySerial(QStringLiteral("FN-0001"));
    r.setSpecNo(QStringLiteral("SPEC01"));
    r.setAlarmMode(1);
    r.setAlarmMode2(0);
    r.setJW(1);
    r.setJH(QStringLiteral("2501011200"));
    r.setSE(30);
    r.setLogOverWrite(1);
    r.setCalLimit(180);
    r.setDispCalLimit(1);
    r.setCalCheck(2);
    r.setBumpLimit(30);
    r.setBumpCheck(1);
    r.setSpecType(QStringLiteral("0"));
    r.setLcdBackLight(10);
    r.setBumpTime(30);
    r.setBumpThreshold(20);
    r.setBumpFailCalTime(90);
    r.setBumpFailBehavior(1);
    r.setSensorDate(QStringLiteral("240101"));
    r.setUseUserPassword(1);
    r.setUserPassword2(QStringLiteral("1234"));
    r.setAlarmO2(2);
    r.setAK(1);
    r.setAIdata(60);
    r.setAJdata(5);
    r.ClearChangeFlags();
    return r;
}

// Names of the raised change flags of the settings the dialog edits.
QStringList RaisedFlags(const clsInstrument& r) {
    const std::pair<const char*, bool> flags[] = {
        {"DummySerial", r.Change_DummySerial()},
        {"SpecNo", r.Change_SpecNo()},
        {"AlarmMode", r.Change_AlarmMode()},
        {"AlarmMode2", r.Change_AlarmMode2()},
        {"JW", r.Change_JW()},
        {"JH", r.Change_JH()},
        {"SE", r.Change_SE()},
        {"ABdata", r.Change_ABdata()},
        {"LogOverWrite", r.Change_LogOverWrite()},
        {"CalLimit", r.Change_CalLimit()},
        {"DispCalLimit", r.Change_DispCalLimit()},
        {"CalCheck", r.Change_CalCheck()},
        {"BumpFunction", r.Change_BumpFunction()},
        {"BumpLimit", r.Change_BumpLimit()},
        {"DispBumpLimit", r.Change_DispBumpLimit()},
        {"BumpCheck", r.Change_BumpCheck()},
        {"SpecType", r.Change_SpecType()},
        {"LcdBackLight", r.Change_LcdBackLight()},
        {"BumpTime", r.Change_BumpTime()},
        {"BumpThreshold", r.Change_BumpThreshold()},
        {"BumpFailCalTime", r.Change_BumpFailCalTime()},
        {"BumpFailAfter", r.Change_BumpFailAfter()},
        {"AutoZero", r.Change_AutoZero()},
        {"DemandZero", r.Change_DemandZero()},
        {"SpanAllowance", r.Change_SpanAllowance()},
        {"BumpFailBehavior", r.Change_BumpFailBehavior()},
        {"SensorDate", r.Change_SensorDate()},
        {"PasswordProtect", r.Change_PasswordProtect()},
        {"UseUserPassword", r.Change_UseUserPassword()},
        {"UserPassword2", r.Change_UserPassword2()},
        {"Confirmation", r.Change_Confirmation()},
        {"AlarmO2", r.Change_AlarmO2()},
        {"AK", r.Change_AK()},
        {"AIdata", r.Change_AIdata()},
        {"AJdata", r.Change_AJdata()},
        {"LSData0", r.Change_LSData(0)},
        {"LSData1", r.Change_LSData(1)},
    };
    QStringList raised;
    for (const auto& [name, on] : flags)
        if (on) raised << QString::fromLatin1(name);
    for (int i = 0; i < clsInstrument::StationCount; ++i)
        if (r.Change_StationList(i)) raised << QStringLiteral("Station%1").arg(i);
    return raised;
}

using FsDialog = DialogTest;

TEST_F(FsDialog, ShowsCaptionsValuesAndChoicesOfTheRecord) {
    clsInstrument record = SampleRecord();
    auto dialog = open(record);

    ParameterGrid* grid = dialog->vfgDatas();
    ASSERT_EQ(grid->rowCount(), 36);
    ASSERT_EQ(grid->columnCount(), 3);
    const struct {
        int row;
        const char* caption;
        const char* value;
    } rows[] = {{R::RowDummySerial, "Manufacture number", "FN-0001"},
                {R::RowAlarmMode, "Alarm pattern(1st)", "Latch"},
                {R::RowAlarmMode2, "Alarm pattern(2nd)", "Reset"},
                {R::RowJW, "Auto Awakening", "On"},
                {R::RowJH, "Awakening Date Time", "2501011200"},
                {R::RowABdata, "Buzzer Volume Selection", "Off"},
                {R::RowCalLimit, "Calibration Time Limit(1-365days)", "180"},
                {R::RowCalCheck, "Cal.Limit Check", "None"},
                {R::RowBumpCheck, "Bump Test Limit Check", "Can't use"},
                {R::RowSpecType, "Destination", "Domestic"},
                {R::RowBumpFailBehavior, "Bump Fail Behavior", "Can Not Use"},
                {R::RowUserPassword2, "User Password", "1234"},
                {R::RowAlarmO2, "OXY Alarm type", ""},
                {R::RowAK, "TWA/A-1H", ""},
                {R::RowAIdata, "Auto Stop Time(sec)", ""},
                {R::RowAJdata, "Reset Time (sec)", ""}};
    for (const auto& c : rows) {
        SCOPED_TRACE(c.row);
        EXPECT_EQ(grid->CellText(c.row, R::ColCaption), QString::fromUtf8(c.caption));
        EXPECT_EQ(grid->CellText(c.row, R::ColValue), QString::fromUtf8(c.value));
    }
    EXPECT_EQ(grid->CellText(R::RowCalCheck, R::ColList),
              QStringLiteral("Confirm to use|Can't use|None"));
    EXPECT_EQ(grid->RowList(R::RowJW), (QStringList{"Off", "On"}));
}

TEST_F(FsDialog, JapaneseTableGivesTheCaptionsAndChoices) {
    SetMessageLanguage(QStringLiteral("JP"));
    clsInstrument record = SampleRecord();
    auto dialog = open(record);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("71-Series 詳細設定"));
    EXPECT_EQ(dialog->vfgDatas()->CellText(R::RowAlarmMode, R::ColValue), QStringLiteral("ﾗｯﾁ"));
    EXPECT_EQ(dialog->vfgDatas()->CellText(R::RowSpecType, R::ColCaption),
              QStringLiteral("仕向け"));
}

TEST_F(FsDialog, WithoutFactoryModeNothingIsEditedAndOkHandsBackNothing) {
    AppState::setFactoryMode(false);
    clsInstrument record = SampleRecord();
    auto dialog = open(record);
    ParameterGrid* grid = dialog->vfgDatas();
    EXPECT_TRUE(grid->ReadOnlyState());
    for (int row = 0; row < R::RowTotal; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(OpenCell(grid, row, R::ColValue), nullptr);
        if (row > 0) {
            EXPECT_EQ(grid->CellColour(row, R::ColValue), FsGrid::HeaderColour());
        }
    }
    EXPECT_EQ(OpenCell(dialog->vfgGasTbl(), 1, 1), nullptr);

    QTest::mouseClick(dialog->cmdOK(), Qt::LeftButton);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(RaisedFlags(record), QStringList());
    EXPECT_EQ(record.CalLimit(), 180);
}

TEST_F(FsDialog, IdentifierRowsUpperCaseAndLimitTheirLength) {
    clsInstrument record = SampleRecord();
    auto dialog = open(record);
    ParameterGrid* grid = dialog->vfgDatas();
    QSignalSpy beeps(grid, &FsGrid::keyRefused);

    QWidget* editor = OpenCell(grid, R::RowDummySerial, R::ColValue);
    ASSERT_NE(editor, nullptr);
    TypeOver(editor, QStringLiteral("ab-12345678901234567"));
    EXPECT_EQ(EditorText(editor), QStringLiteral("AB-12345678901234567"));
    EXPECT_EQ(beeps.count(), 0);
    QTest::keyClicks(editor, QStringLiteral("X"));
    EXPECT_EQ(beeps.count(), 1) << "the 21st character";
    EXPECT_EQ(EditorText(editor), QStringLiteral("AB-12345678901234567"));
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(grid->CellText(R::RowDummySerial, R::ColValue),
              QStringLiteral("AB-12345678901234567"));

    // A character the identifier filter refuses, and the 11th character of the build number.
    editor = OpenCell(grid, R::RowSpecNo, R::ColValue);
    TypeOver(editor, QStringLiteral("ab.c"));
    EXPECT_EQ(EditorText(editor), QStringLiteral("ABC"));
    EXPECT_EQ(beeps.count(), 2);
    TypeOver(editor, QStringLiteral("12345678901"));
    EXPECT_EQ(EditorText(editor), QStringLiteral("1234567890"));
    EXPECT_EQ(beeps.count(), 3);
    QTest::keyClick(editor, Qt::Key_Escape);

    // Digit rows refuse letters as they are typed.
    editor = OpenCell(grid, R::RowCalLimit, R::ColValue);
    TypeOver(editor, QStringLiteral("1a2"));
    EXPECT_EQ(EditorText(editor), QStringLiteral("12"));
    QTest::keyClick(editor, Qt::Key_Escape);
}

TEST_F(FsDialog, NumericRowsKeepTheirRanges) {
    clsInstrument record = SampleRecord();
    auto dialog = open(record);
    const struct {
        int row;
        const char* text;
        bool accepted;
    } cases[] = {{R::RowCalLimit, "0", false},
                 {R::RowCalLimit, "366", false},
                 {R::RowCalLimit, "365", true},
                 {R::RowCalLimit, "1", true},
                 {R::RowSE, "121", false},
                 {R::RowSE, "0", true},
                 {R::RowBumpLimit, "31", false},
                 {R::RowBumpLimit, "0", true},
                 {R::RowLcdBackLight, "0", false},
                 {R::RowBumpTime, "4", false},
                 {R::RowBumpTime, "5x", false},
                 {R::RowBumpThreshold, "51", false},
                 {R::RowBumpFailCalTime, "59", false},
                 {R::RowBumpFailCalTime, "060", true},
                 {R::RowDummySerial, "   ", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " in row " + std::to_string(c.row));
        EXPECT_EQ(EnterText(dialog->vfgDatas(), c.row, R::ColValue, QString::fromLatin1(c.text)),
                  c.accepted);
    }
    EXPECT_EQ(dialog->vfgDatas()->CellText(R::RowBumpFailCalTime, R::ColValue),
              QStringLiteral("60"));
}

TEST_F(FsDialog, AnEditLeftOpenAtOkIsKeptWhenValidAndHeldOpenWhenRefused) {
    for (const char* text : {"200", "999"}) {
        SCOPED_TRACE(text);
        clsInstrument record = SampleRecord();
        auto dialog = open(record);
        QPointer<QWidget> editor = OpenCell(dialog->vfgDatas(), R::RowLcdBackLight, R::ColValue);
        ASSERT_NE(editor, nullptr);
        TypeOver(editor, QString::fromLatin1(text));
        QTest::mouseClick(dialog->cmdOK(), Qt::LeftButton);
        const bool valid = QByteArray(text) == "200";
        // A refused value is not dropped by OK: its editor stays open and says why.
        EXPECT_EQ(dialog->result(), valid ? QDialog::Accepted : QDialog::Rejected);
        EXPECT_EQ(RefusedEdit::current(), valid ? nullptr : editor.data());
        if (!valid) {
            EXPECT_TRUE(RefusedEdit::reason().endsWith(QStringLiteral(": allowed from 1 to 255.")))
                << RefusedEdit::reason().toStdString();
            QTest::keyClick(editor, Qt::Key_Escape);
            EXPECT_EQ(RefusedEdit::current(), nullptr);
        }
        EXPECT_EQ(record.LcdBackLight(), valid ? 200 : 10);
        EXPECT_EQ(record.Change_LcdBackLight(), valid);
    }
}

TEST_F(FsDialog, ConfirmedLimitsRaiseTheirFlagsEvenWhenUnchanged) {
    clsInstrument record = SampleRecord();
    record.setCalLimit(365);
    record.setChange_CalLimit(false);
    auto dialog = open(record);
    ASSERT_TRUE(EnterText(dialog->vfgDatas(), R::RowCalLimit, R::ColValue, "365"));
    ASSERT_TRUE(EnterText(dialog->vfgDatas(), R::RowBumpLimit, R::ColValue, "30"));
    EXPECT_TRUE(dialog->RecordCopy().Change_CalLimit());
    EXPECT_TRUE(dialog->RecordCopy().Change_BumpLimit());
    dialog->cmdOK_Click();
    EXPECT_EQ(RaisedFlags(record), (QStringList{"CalLimit", "BumpLimit"}));
    EXPECT_EQ(record.CalLimit(), 365);
    EXPECT_EQ(record.BumpLimit(), 30);
}

TEST_F(FsDialog, DatesAndPasswordAreCheckedWhenTheEditEnds) {
    clsInstrument record = SampleRecord();
    auto dialog = open(record);
    const struct {
        int row;
        const char* text;
        bool accepted;
    } cases[] = {{R::RowJH, "2402301200", false},     {R::RowJH, "2402291230", true},
                 {R::RowJH, "2302291230", false},     {R::RowJH, "2412312400", false},
                 {R::RowJH, "2412312360", false},     {R::RowJH, "241231235", false},
                 {R::RowSensorDate, "240230", false}, {R::RowSensorDate, "000229", true},
                 {R::RowSensorDate, "24013", false},  {R::RowSensorDate, "24O101", false},
                 {R::RowUserPassword2, "123", false}, {R::RowUserPassword2, "0042", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(EnterText(dialog->vfgDatas(), c.row, R::ColValue, QString::fromLatin1(c.text)),
                  c.accepted);
    }
    dialog->cmdOK_Click();
    EXPECT_EQ(record.JH(), QStringLiteral("2402291230"));
    EXPECT_EQ(record.SensorDate(), QStringLiteral("000229"));
    EXPECT_EQ(record.UserPassword2(), QStringLiteral("0042"));
}

TEST_F(FsDialog, ModelRowsApplyOnlyToTheirModel) {
    const struct {
        const char* model;
        const char* o2;
        const char* ak;
    } cases[] = {{"KM", "", ""}, {"QZ", "H-HH", ""}, {"VL", "", "A-1H"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        clsInstrument record = SampleRecord(QString::fromLatin1(c.model));
        auto dialog = open(record);
        ParameterGrid* grid = dialog->vfgDatas();
        EXPECT_EQ(grid->CellText(R::RowAlarmO2, R::ColValue), QString::fromLatin1(c.o2));
        EXPECT_EQ(grid->CellText(R::RowAK, R::ColValue), QString::fromLatin1(c.ak));
        for (int row : {int(R::RowAlarmO2), int(R::RowAK)}) {
            const bool applies = !grid->CellText(row, R::ColValue).isEmpty();
            EXPECT_EQ(grid->CellColour(row, R::ColValue) == FsGrid::HeaderColour(), !applies);
            EXPECT_EQ(OpenCell(grid, row, R::ColValue) != nullptr, applies);
            grid->CommitOpenEditor();
        }
        // Pick another oxygen alarm type where the row applies; elsewhere nothing is read back.
        if (QString::fromLatin1(c.model) == QLatin1String("QZ")) {
            ASSERT_TRUE(ChooseText(grid, R::RowAlarmO2, R::ColValue, "L-LL"));
        }
        dialog->cmdOK_Click();
        EXPECT_EQ(record.AlarmO2(), QString::fromLatin1(c.model) == QLatin1String("QZ") ? 1 : 2);
        EXPECT_EQ(record.AK(), 1);
        EXPECT_EQ(RaisedFlags(record), QString::fromLatin1(c.model) == QLatin1String("QZ")
                                           ? QStringList{"AlarmO2"}
                                           : QStringList());
    }
}

TEST_F(FsDialog, DebugModeAddsTheThirdAlarmPatternAndTheTimeRows) {
    for (bool debug : {false, true}) {
        SCOPED_TRACE(debug);
        AppState::setDebugMode(debug);
        clsInstrument record = SampleRecord();
        auto dialog = open(record);
        ParameterGrid* grid = dialog->vfgDatas();
        for (int row : {int(R::RowAlarmMode), int(R::RowAlarmMode2)}) {
            auto* combo = qobject_cast<QComboBox*>(OpenCell(grid, row, R::ColValue));
            ASSERT_NE(combo, nullptr);
            EXPECT_EQ(combo->count(), debug ? 3 : 2);
            if (debug) {
                EXPECT_EQ(combo->itemText(2), QStringLiteral("Latch + Reset"));
            }
            QTest::keyClick(combo, Qt::Key_Escape);
        }
        EXPECT_EQ(grid->CellText(R::RowAIdata, R::ColValue), debug ? "60" : "");
        EXPECT_EQ(grid->CellText(R::RowAJdata, R::ColValue), debug ? "5" : "");
        if (debug) {
            ASSERT_TRUE(ChooseText(grid, R::RowAlarmMode2, R::ColValue, "Latch + Reset"));
            ASSERT_TRUE(EnterText(grid, R::RowAIdata, R::ColValue, "255"));
            EXPECT_FALSE(EnterText(grid, R::RowAJdata, R::ColValue, "256"));
        }
        dialog->cmdOK_Click();
        EXPECT_EQ(RaisedFlags(record),
                  (debug ? QStringList{"AlarmMode2", "AIdata"} : QStringList()));
        EXPECT_EQ(record.AlarmMode2(), debug ? 2 : 0);
        EXPECT_EQ(record.AIdata(), debug ? 255 : 60);
    }
}

TEST_F(FsDialog, OkHandsBackOnlyWhatWasChangedAndCancelNothing) {
    for (bool ok : {true, false}) {
        SCOPED_TRACE(ok);
        clsInstrument record = SampleRecord();
        record.setWarning(0, 10.0f); // a pending edit of the caller stays as it is
        auto dialog = open(record);
        ParameterGrid* grid = dialog->vfgDatas();
        ASSERT_TRUE(EnterText(grid, R::RowSE, R::ColValue, "45"));
        ASSERT_TRUE(ChooseText(grid, R::RowSpecType, R::ColValue, "Foreign"));
        ASSERT_TRUE(ChooseText(grid, R::RowAlarmMode, R::ColValue, "Latch")); // as it was
        ASSERT_TRUE(ChooseText(grid, R::RowDispCalLimit, R::ColValue, "Off"));
        ASSERT_TRUE(EnterText(grid, R::RowDummySerial, R::ColValue, "fn-0002"));
        QTest::mouseClick(ok ? dialog->cmdOK() : dialog->cmdCancel(), Qt::LeftButton);
        EXPECT_EQ(dialog->result(), ok ? QDialog::Accepted : QDialog::Rejected);
        EXPECT_TRUE(record.Change_Warn(0));
        if (!ok) {
            EXPECT_EQ(RaisedFlags(record), QStringList());
            EXPECT_EQ(record.SE(), 30);
            continue;
        }
        EXPECT_EQ(RaisedFlags(record),
                  (QStringList{"DummySerial", "SE", "DispCalLimit", "SpecType"}));
        EXPECT_EQ(record.SE(), 45);
        EXPECT_EQ(record.SpecType(), QStringLiteral("1"));
        EXPECT_EQ(record.DispCalLimit(), 0);
        EXPECT_EQ(record.DummySerial(), QStringLiteral("FN-0002"));
    }
}

TEST_F(FsDialog, ValuesTheListsCannotShowAreKept) {
    clsInstrument record = SampleRecord();
    record.setAlarmMode(2);                  // "Latch + Reset" outside debug mode
    record.setSpecType(QStringLiteral("2")); // a destination the list does not hold
    record.setDispCalLimit(-1);              // true as a file may hold it
    record.ClearChangeFlags();
    auto dialog = open(record);
    EXPECT_EQ(dialog->vfgDatas()->CellText(R::RowAlarmMode, R::ColValue), QString());
    EXPECT_EQ(dialog->vfgDatas()->CellText(R::RowDispCalLimit, R::ColValue), QStringLiteral("On"));
    dialog->cmdOK_Click();
    EXPECT_EQ(RaisedFlags(record), QStringList());
    EXPECT_EQ(record.AlarmMode(), 2);
    EXPECT_EQ(record.SpecType(), QStringLiteral("2"));
    EXPECT_EQ(record.DispCalLimit(), -1);
}

TEST_F(FsDialog, LeftSpaceCounterFollowsTheEditText) {
    clsInstrument record = SampleRecord();
    auto dialog = open(record);
    QLabel* label = dialog->lblSpaceCount();
    QWidget* editor = OpenCell(dialog->vfgDatas(), R::RowSpecNo, R::ColValue);
    ASSERT_NE(editor, nullptr);
    TypeOver(editor, QString());
    EXPECT_EQ(label->text(), QStringLiteral("(Left space 0)"));
    QTest::keyClicks(editor, QStringLiteral("  AB"));
    EXPECT_EQ(label->text(), QStringLiteral("(Left space 2)"));
    TypeOver(editor, QStringLiteral("   "));
    EXPECT_EQ(label->text(), QStringLiteral("(Left space 3)"));
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_EQ(label->text(), QString());

    editor = OpenCell(dialog->vfgStation(), 4, 1);
    QTest::keyClicks(editor, QStringLiteral(" X"));
    EXPECT_EQ(label->text(), QStringLiteral("(Left space 1)"));
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(label->text(), QString());
}

// ---- The write of what OK handed back ----

class FsDialogLink : public DialogTest, protected SimLink {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        ASSERT_TRUE(m_folder.isValid());
        makeSimLink(QStringLiteral("KM"), &linkRecord);
        ASSERT_TRUE(connectSimLink());
    }
    void TearDown() override {
        closeSimLink();
        DialogTest::TearDown();
    }

    TempStartupFolder m_folder;
    clsInstrument linkRecord;
};

TEST_F(FsDialogLink, TheWriteSendsExactlyTheSettingsOkHandedBack) {
    clsInstrument record;
    ASSERT_TRUE(link->GetInstrument(record));
    ASSERT_EQ(RaisedFlags(record), QStringList());
    const int calLimit = record.CalLimit() == 200 ? 201 : 200;
    const bool foreign = record.SpecType().trimmed() != QLatin1String("1");

    auto dialog = open(record);
    ParameterGrid* grid = dialog->vfgDatas();
    ASSERT_TRUE(EnterText(grid, R::RowCalLimit, R::ColValue, QString::number(calLimit)));
    ASSERT_TRUE(ChooseText(grid, R::RowSpecType, R::ColValue, foreign ? "Foreign" : "Domestic"));
    ASSERT_TRUE(EnterText(dialog->vfgStation(), 0, 1, "NORTH GATE")); // not a setting write
    dialog->cmdOK_Click();
    ASSERT_EQ(dialog->result(), QDialog::Accepted);

    detector->clearReceivedFrames();
    EXPECT_TRUE(link->SetInstrument(record));
    const QString hex = QStringLiteral("%1").arg(calLimit, 4, 16, QLatin1Char('0')).toUpper();
    EXPECT_EQ(received(), (QList<QByteArray>{"SC,W," + hex.toLatin1(),
                                             foreign ? "UJ,W,1" : "UJ,W,0", "DW,W,"}));
    EXPECT_EQ(detector->value("SC"), hex.toLatin1());
    EXPECT_EQ(record.StationList(0), QStringLiteral("NORTH GATE"));
}

} // namespace
