// The settings grid and the identity boxes of the main window, driven through real widgets.
#include "UiTestSupport.h"

#include "instrument/clsInstrument.h"
#include "link/Frame.h"
#include "link/ResponseParser.h"
#include "ui/GasAlarmGrid.h"
#include "ui/IdentityEdit.h"

#include <QApplication>
#include <QFocusEvent>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// Lets queued commits and deferred deletions run.
void settle() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class GridTest : public ::testing::Test {
protected:
    void SetUp() override {
        grid.setPrompts(&prompts);
        grid.setLockCheck([this](int) { return locked; });
        grid.resize(900, 200);
        grid.show();
    }

    // Fills the record as the detector's replies to a read would.
    void readFromDetector(const QByteArray& model, const QByteArray& gas,
                          const QList<QPair<QByteArray, QByteArray>>& settings) {
        ReplyContext ctx;
        ctx.instrument = &record;
        auto answer = [&](const QByteArray& code, const QByteArray& values) {
            ctx.lastFrame = BuildFrame(code + ",R,");
            return ParseResponse(BuildFrame(code + ",R," + values), ctx);
        };
        ASSERT_TRUE(answer("RC", "71-Series," + model));
        ASSERT_TRUE(answer("GJ", gas));
        for (const auto& [code, value] : settings)
            ASSERT_TRUE(answer(code, value)) << code.constData();
        record.ClearChangeFlags();
        show();
    }
    // Shows the record in the grid.
    void show() {
        grid.setRecord(&record);
        grid.Rebuild(false);
    }

    int row() const { return GasAlarmGrid::GasRow(0); }
    QString cell(int column) const { return grid.item(row(), column)->text(); }
    bool red(int column) const {
        return grid.item(row(), column)->foreground().color() == GasAlarmGrid::ErrorColour();
    }
    QPoint centre(int r, int column) const {
        return grid.visualItemRect(grid.item(r, column)).center();
    }

    // Opens the editor of a value cell with F2, as the operator would.
    QLineEdit* openEditor(int column) {
        grid.setCurrentCell(row(), column);
        QTest::keyClick(&grid, Qt::Key_F2);
        return grid.viewport()->findChild<QLineEdit*>();
    }
    static bool isOpen(const QPointer<QLineEdit>& editor) { return editor && editor->isVisible(); }
    // Types `text` over the cell's value and ends the edit with Enter; returns whether the
    // editor closed (the edit was accepted). A refused editor is left open.
    bool type(int column, const QString& text) {
        QPointer<QLineEdit> editor = openEditor(column);
        EXPECT_TRUE(editor) << "no editor opened on column " << column;
        if (!editor) return false;
        editor->selectAll();
        if (text.isEmpty())
            QTest::keyClick(editor, Qt::Key_Delete);
        else
            QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        settle();
        return !isOpen(editor);
    }
    // Type() for a text that must be refused; the editor is then closed with Escape.
    bool refused(int column, const QString& text) {
        if (type(column, text)) return false;
        QPointer<QLineEdit> editor = grid.viewport()->findChild<QLineEdit*>();
        if (editor) QTest::keyClick(editor, Qt::Key_Escape);
        settle();
        return !isOpen(editor);
    }
    // Toggles the Enable box with the space key.
    void toggleEnable() {
        grid.setCurrentCell(row(), GasAlarmGrid::ColEnable);
        QTest::keyClick(&grid, Qt::Key_Space);
        settle();
    }
    // Clicks the Enable box's check indicator.
    void clickEnableBox() {
        QStyleOptionViewItem option;
        option.initFrom(&grid);
        option.rect = grid.visualItemRect(grid.item(row(), GasAlarmGrid::ColEnable));
        option.features |= QStyleOptionViewItem::HasCheckIndicator;
        const QRect box =
            grid.style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, &grid);
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, box.center());
        settle();
    }

    clsInstrument record;
    GasAlarmGrid grid;
    RecordingPrompts prompts;
    bool locked = false;
};

// The grid under a "," decimal separator.
class GridCommaTest : public GridTest {
protected:
    void SetUp() override {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        GridTest::SetUp();
    }
    void TearDown() override {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
};

const QByteArray kKmGas = "CH4   100    1%LEL";
const QByteArray kH2sGas = "H2S 100.0  0.5ppm ";
const QByteArray kO2Gas = "O2   25.0  0.1VOL%";

} // namespace

TEST_F(GridTest, BuildsHeaderRowsAndTheGasRow) {
    EXPECT_EQ(grid.objectName(), "vfgOption");
    EXPECT_EQ(grid.rowCount(), 2) << "without data only the header rows show";

    readFromDetector("KM", kKmGas, {{"A1", "10"}, {"A2", "50"}, {"AS", "*****"}});
    record.setTwa(0, clsInstrument::NoValue);
    record.setAutoCalib(0, 50.0f);
    show();

    ASSERT_EQ(grid.rowCount(), 3);
    ASSERT_EQ(grid.columnCount(), 7);
    EXPECT_EQ(grid.item(0, 3)->text(), "Warning and Alarm point");
    EXPECT_EQ(grid.columnSpan(0, 3), 4) << "the equal header cells merge";
    EXPECT_TRUE(grid.item(0, 0)->text().isEmpty());
    const QStringList titles = {"Gas", "Enable", "Warning", "Alarm", "STEL", "TWA", "Auto Cal."};
    for (int column = 0; column < 7; ++column)
        EXPECT_EQ(grid.item(1, column)->text(), titles[column]);

    EXPECT_EQ(cell(GasAlarmGrid::ColGas), "CH4(100%LEL)");
    EXPECT_EQ(grid.item(row(), GasAlarmGrid::ColEnable)->checkState(), Qt::Checked);
    EXPECT_TRUE(cell(GasAlarmGrid::ColEnable).isEmpty());
    EXPECT_EQ(cell(GasAlarmGrid::ColWarning), "10");
    EXPECT_EQ(cell(GasAlarmGrid::ColAlarm), "50");
    EXPECT_EQ(cell(GasAlarmGrid::ColStel), "-----") << "a value not used shows dashes";
    EXPECT_EQ(cell(GasAlarmGrid::ColTwa), "-----");
    EXPECT_EQ(cell(GasAlarmGrid::ColAutoCal), "50");
    for (int column = GasAlarmGrid::ColWarning; column <= GasAlarmGrid::ColAutoCal; ++column)
        EXPECT_FALSE(red(column)) << column;

    // A one-hour average detector names the column A-1H; the blank view keeps the headers.
    record.setAK(1);
    grid.Rebuild(true);
    EXPECT_EQ(grid.rowCount(), 2);
    EXPECT_EQ(grid.item(1, GasAlarmGrid::ColTwa)->text(), "A-1H");
}

TEST_F(GridTest, CombustibleAlarmPoints) {
    readFromDetector("KM", kKmGas, {{"A1", "20"}, {"A2", "50"}});
    QSignalSpy edits(&grid, &GasAlarmGrid::edited);

    // The Warning cell opens on a double click like the others on F2.
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, centre(row(), 2));
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, centre(row(), 2));
    QPointer<QLineEdit> editor = grid.viewport()->findChild<QLineEdit*>();
    ASSERT_TRUE(editor);
    editor->selectAll();
    QTest::keyClicks(editor, "10");
    QTest::keyClick(editor, Qt::Key_Return);
    settle();
    EXPECT_FALSE(isOpen(editor));
    EXPECT_FLOAT_EQ(record.Warning(0), 10.0f);
    EXPECT_TRUE(record.Change_Warn(0));
    EXPECT_EQ(cell(GasAlarmGrid::ColWarning), "10");

    EXPECT_TRUE(type(GasAlarmGrid::ColAlarm, "60")) << "0.6 x full scale is allowed";
    EXPECT_FLOAT_EQ(record.Alarm(0), 60.0f);
    EXPECT_EQ(edits.count(), 2);

    // 61 is beyond 0.6 x 100: the editor stays open and nothing is stored.
    EXPECT_FALSE(type(GasAlarmGrid::ColAlarm, "61"));
    EXPECT_FLOAT_EQ(record.Alarm(0), 60.0f);
    QPointer<QLineEdit> open = grid.viewport()->findChild<QLineEdit*>();
    ASSERT_TRUE(isOpen(open));
    EXPECT_EQ(open->text(), "61");
    QTest::keyClick(open, Qt::Key_Escape);
    settle();
    EXPECT_EQ(cell(GasAlarmGrid::ColAlarm), "60");
    EXPECT_EQ(edits.count(), 2);

    // Text that is no number is refused everywhere.
    EXPECT_TRUE(refused(GasAlarmGrid::ColWarning, "abc"));
    EXPECT_FLOAT_EQ(record.Warning(0), 10.0f);
    // STEL and TWA have no range on this model: every number is refused.
    EXPECT_TRUE(refused(GasAlarmGrid::ColStel, "5"));
    EXPECT_TRUE(refused(GasAlarmGrid::ColTwa, "5"));
    EXPECT_FALSE(record.Change_Stel(0));
    EXPECT_TRUE(grid.AlarmPointsValid());
}

TEST_F(GridTest, OutOfRangeValuesFromTheDetectorShowRed) {
    readFromDetector("KM", kKmGas, {{"A1", "10"}, {"A2", "61"}});
    EXPECT_TRUE(red(GasAlarmGrid::ColAlarm));
    EXPECT_FALSE(red(GasAlarmGrid::ColWarning)) << "the order of 10 and 61 is right";
    EXPECT_FLOAT_EQ(record.Alarm(0), 61.0f) << "a value from the detector is kept";
    EXPECT_FALSE(grid.AlarmPointsValid());

    // Correcting the cell turns it black again.
    EXPECT_TRUE(type(GasAlarmGrid::ColAlarm, "55"));
    EXPECT_FALSE(red(GasAlarmGrid::ColAlarm));
    EXPECT_TRUE(grid.AlarmPointsValid());

    // A warning above the alarm breaks the order: both cells red.
    record.setWarning(0, 58.0f);
    show();
    EXPECT_TRUE(red(GasAlarmGrid::ColWarning));
    EXPECT_TRUE(red(GasAlarmGrid::ColAlarm));
}

TEST_F(GridTest, OxygenDeficiencyAlarmOrder) {
    readFromDetector("QZ", kO2Gas, {{"AT", "1"}, {"A1", "19.5"}, {"A2", "18.0"}});
    EXPECT_EQ(cell(GasAlarmGrid::ColWarning), "19.5");
    EXPECT_FALSE(red(GasAlarmGrid::ColWarning));
    EXPECT_FALSE(red(GasAlarmGrid::ColAlarm));
    EXPECT_TRUE(grid.AlarmPointsValid());

    readFromDetector("QZ", kO2Gas, {{"AT", "1"}, {"A1", "18.0"}, {"A2", "19.5"}});
    EXPECT_TRUE(red(GasAlarmGrid::ColWarning));
    EXPECT_TRUE(red(GasAlarmGrid::ColAlarm));
    EXPECT_FALSE(grid.AlarmPointsValid());

    // Typing a warning above 20.9 is refused for this alarm type.
    EXPECT_TRUE(refused(GasAlarmGrid::ColWarning, "21.0"));
    EXPECT_TRUE(type(GasAlarmGrid::ColWarning, "20.9"));
    EXPECT_FALSE(red(GasAlarmGrid::ColWarning));
}

TEST_F(GridTest, ToxicExposureLimitsSnapToTheResolution) {
    readFromDetector("VL", kH2sGas, {{"A1", "5.0"}, {"A2", "10.0"}, {"AS", "31.0"}});
    // STEL and TWA ranges apply to gas numbers above 1 only: 31 from the detector stays black.
    EXPECT_FALSE(red(GasAlarmGrid::ColStel));
    EXPECT_EQ(cell(GasAlarmGrid::ColStel), "31.0");

    EXPECT_TRUE(type(GasAlarmGrid::ColStel, "12.3"));
    EXPECT_FLOAT_EQ(record.Stel(0), 12.5f);
    EXPECT_EQ(cell(GasAlarmGrid::ColStel), "12.5");
    EXPECT_TRUE(type(GasAlarmGrid::ColStel, "12.25"));
    EXPECT_FLOAT_EQ(record.Stel(0), 12.0f) << "12.25 / 0.5 = 24.5 goes to the even 24";
    EXPECT_EQ(cell(GasAlarmGrid::ColStel), "12.0");
    // Typed values are checked against 0..30 on every column.
    EXPECT_TRUE(refused(GasAlarmGrid::ColStel, "31"));
    EXPECT_FLOAT_EQ(record.Stel(0), 12.0f);
    EXPECT_TRUE(type(GasAlarmGrid::ColTwa, "30"));
    EXPECT_FLOAT_EQ(record.Twa(0), 30.0f);
}

TEST_F(GridTest, EmptyCellMarksTheValueAsNotUsed) {
    readFromDetector("VL", kH2sGas, {{"A1", "5.0"}, {"A2", "10.0"}, {"AS", "15.0"}});
    record.setAutoCalib(0, 25.0f);
    show();
    for (int column : {GasAlarmGrid::ColStel, GasAlarmGrid::ColAutoCal}) {
        SCOPED_TRACE(column);
        EXPECT_TRUE(type(column, QString()));
        EXPECT_EQ(cell(column), "-----");
    }
    EXPECT_FLOAT_EQ(record.Stel(0), -101.0f);
    EXPECT_TRUE(record.Change_Stel(0));
    EXPECT_FLOAT_EQ(record.AutoCalib(0), -101.0f);
    // A cell already showing dashes is left as it is when Enter is pressed on it.
    EXPECT_TRUE(type(GasAlarmGrid::ColStel, "-----"));
    EXPECT_FLOAT_EQ(record.Stel(0), -101.0f);
}

TEST_F(GridTest, AutoCalibrationConcentration) {
    readFromDetector("KM", kKmGas, {{"A1", "10"}, {"A2", "50"}});
    record.setAutoCalib(0, 50.0f);
    show();
    EXPECT_TRUE(refused(GasAlarmGrid::ColAutoCal, "9")) << "below the warning point";
    EXPECT_TRUE(refused(GasAlarmGrid::ColAutoCal, "101")) << "above full scale";
    EXPECT_TRUE(refused(GasAlarmGrid::ColAutoCal, "-5"));
    EXPECT_FLOAT_EQ(record.AutoCalib(0), 50.0f);
    EXPECT_TRUE(type(GasAlarmGrid::ColAutoCal, "45.4"));
    EXPECT_FLOAT_EQ(record.AutoCalib(0), 45.0f);
    EXPECT_EQ(cell(GasAlarmGrid::ColAutoCal), "45");
    EXPECT_TRUE(grid.AutoCalValid());
    // The snapped value must keep the rule too: 10.4 passes a warning of 10.2, its step 10 not.
    record.setWarning(0, 10.2f);
    EXPECT_TRUE(refused(GasAlarmGrid::ColAutoCal, "10.4"));
    EXPECT_FLOAT_EQ(record.AutoCalib(0), 45.0f);
    record.setWarning(0, 10.0f);

    // A warning point raised above the stored span concentration turns the cell red.
    EXPECT_TRUE(type(GasAlarmGrid::ColWarning, "48"));
    EXPECT_TRUE(red(GasAlarmGrid::ColAutoCal));
    EXPECT_FALSE(grid.AutoCalValid());
}

TEST_F(GridTest, EditEndedByLeavingTheCellKeepsOnlyAcceptedValues) {
    readFromDetector("KM", kKmGas, {{"A1", "10"}, {"A2", "50"}});
    QPointer<QLineEdit> editor = openEditor(GasAlarmGrid::ColAlarm);
    ASSERT_TRUE(editor);
    editor->selectAll();
    QTest::keyClicks(editor, "61");
    grid.setCurrentCell(row(), GasAlarmGrid::ColWarning);
    settle();
    EXPECT_FALSE(isOpen(editor));
    EXPECT_EQ(cell(GasAlarmGrid::ColAlarm), "50") << "a refused text is dropped";
    EXPECT_FLOAT_EQ(record.Alarm(0), 50.0f);

    editor = openEditor(GasAlarmGrid::ColAlarm);
    ASSERT_TRUE(editor);
    editor->selectAll();
    QTest::keyClicks(editor, "40");
    grid.setCurrentCell(row(), GasAlarmGrid::ColWarning);
    settle();
    EXPECT_EQ(cell(GasAlarmGrid::ColAlarm), "40");
    EXPECT_FLOAT_EQ(record.Alarm(0), 40.0f);

    // A rebuild of the view drops an edit that is still open.
    editor = openEditor(GasAlarmGrid::ColAlarm);
    ASSERT_TRUE(editor);
    QTest::keyClicks(editor, "3");
    grid.Rebuild(false);
    settle();
    EXPECT_FALSE(isOpen(editor));
    EXPECT_EQ(cell(GasAlarmGrid::ColAlarm), "40");
    EXPECT_FLOAT_EQ(record.Alarm(0), 40.0f);
}

TEST_F(GridTest, DisabledGasAndRefreshAreReadOnly) {
    readFromDetector("KM", kKmGas, {{"A1", "10"}, {"A2", "50"}});
    grid.setRefreshing(true);
    EXPECT_EQ(openEditor(GasAlarmGrid::ColWarning), nullptr);
    grid.setRefreshing(false);

    record.setGasEnabled(0, false);
    record.ClearChangeFlags();
    show();
    EXPECT_EQ(grid.item(row(), GasAlarmGrid::ColEnable)->checkState(), Qt::Unchecked);
    EXPECT_EQ(openEditor(GasAlarmGrid::ColWarning), nullptr);
    QSignalSpy toggled(&grid, &GasAlarmGrid::enableToggled);
    toggleEnable();
    EXPECT_EQ(grid.item(row(), GasAlarmGrid::ColEnable)->checkState(), Qt::Unchecked)
        << "the box of a disabled gas is read-only too";
    EXPECT_EQ(toggled.count(), 0);
    EXPECT_FALSE(record.GasEnabled(0));
    // Header rows and the gas label never edit.
    EXPECT_FALSE(grid.BeforeEdit(1, GasAlarmGrid::ColWarning));
}

TEST_F(GridTest, LockedGasCannotBeSwitchedOff) {
    readFromDetector("KM", kKmGas, {{"A1", "10"}, {"A2", "50"}});
    locked = true;
    QSignalSpy toggled(&grid, &GasAlarmGrid::enableToggled);
    clickEnableBox();
    ASSERT_EQ(prompts.boxes.size(), 1);
    EXPECT_EQ(prompts.boxes[0].kind, "information");
    EXPECT_EQ(prompts.boxes[0].title, "Sensor On/Off");
    EXPECT_EQ(prompts.boxes[0].text, "This sensor is not removed.");
    EXPECT_EQ(grid.item(row(), GasAlarmGrid::ColEnable)->checkState(), Qt::Checked);
    EXPECT_TRUE(record.GasEnabled(0));
    EXPECT_FALSE(record.Change_GasEnable(0));
    EXPECT_EQ(toggled.count(), 0);
    EXPECT_FALSE(grid.refreshing());
    EXPECT_TRUE(type(GasAlarmGrid::ColWarning, "12")) << "the grid still takes edits";
}

TEST_F(GridTest, UnlockedGasAsksTheCallerAndRebuilds) {
    readFromDetector("KM", kKmGas, {{"A1", "10"}, {"A2", "50"}});
    QSignalSpy toggled(&grid, &GasAlarmGrid::enableToggled);
    clickEnableBox();
    ASSERT_EQ(toggled.count(), 1);
    EXPECT_EQ(toggled[0][0].toInt(), 0);
    EXPECT_TRUE(prompts.boxes.isEmpty());
    // Nothing was chosen: the gas stays enabled and unchanged.
    EXPECT_EQ(grid.item(row(), GasAlarmGrid::ColEnable)->checkState(), Qt::Checked);
    EXPECT_TRUE(record.GasEnabled(0));
    EXPECT_FALSE(record.Change_GasEnable(0));
    EXPECT_EQ(cell(GasAlarmGrid::ColGas), "CH4(100%LEL)");
}

TEST_F(GridTest, ModifiedClickAsksForTheAlarmTest) {
    readFromDetector("KM", kKmGas, {{"A1", "10"}, {"A2", "50"}});
    QSignalSpy tests(&grid, &GasAlarmGrid::alarmTestRequested);
    const struct {
        int column;
        Qt::KeyboardModifier modifier;
        int mask;
    } clicks[] = {
        {GasAlarmGrid::ColGas, Qt::ShiftModifier, 128},
        {GasAlarmGrid::ColWarning, Qt::ControlModifier, 1},
        {GasAlarmGrid::ColAlarm, Qt::AltModifier, 2},
        {GasAlarmGrid::ColStel, Qt::ShiftModifier, 8},
        {GasAlarmGrid::ColTwa, Qt::ShiftModifier, 16},
        {GasAlarmGrid::ColAutoCal, Qt::ShiftModifier, 0},
        {GasAlarmGrid::ColEnable, Qt::ControlModifier, 0},
    };
    for (const auto& click : clicks)
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, click.modifier,
                          centre(row(), click.column));
    ASSERT_EQ(tests.count(), 7);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(tests[i][0].toInt(), clicks[i].mask) << "click " << i;

    // A header cell counts by its column too; a plain click is no test.
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::ShiftModifier, centre(1, 3));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, centre(row(), 3));
    ASSERT_EQ(tests.count(), 8);
    EXPECT_EQ(tests[7][0].toInt(), 2);
}

TEST_F(GridCommaTest, CommaAndPointAreBothDecimalSeparators) {
    readFromDetector("VL", kH2sGas, {{"A1", "5.0"}, {"A2", "10.0"}});
    EXPECT_EQ(cell(GasAlarmGrid::ColWarning), "5,0");
    EXPECT_TRUE(type(GasAlarmGrid::ColStel, "12,5"));
    EXPECT_FLOAT_EQ(record.Stel(0), 12.5f);
    EXPECT_EQ(cell(GasAlarmGrid::ColStel), "12,5");
    EXPECT_TRUE(type(GasAlarmGrid::ColTwa, "7.5"));
    EXPECT_FLOAT_EQ(record.Twa(0), 7.5f);
    EXPECT_EQ(cell(GasAlarmGrid::ColTwa), "7,5");
}

// ---- Identity boxes ----

namespace {

class IdentityTest : public ::testing::Test {
protected:
    void SetUp() override {
        record.setSerialNo(QStringLiteral("SN-0001"));
        record.setStationID(QStringLiteral("ST1"));
        record.ClearChangeFlags();
        for (IdentityEdit* box : {&serial, &station}) {
            box->setRecord(&record);
            box->setBeep([this] { ++beeps; });
            box->ShowRecord();
            box->show();
        }
    }
    static void loseFocus(QWidget* box) {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(box, &out);
    }

    clsInstrument record;
    IdentityEdit serial{IdentityEdit::SerialNumber};
    IdentityEdit station{IdentityEdit::StationId};
    int beeps = 0;
};

} // namespace

TEST_F(IdentityTest, TypedLettersBecomeUpperCaseAndOtherKeysAreDropped) {
    serial.clear();
    QTest::keyClicks(&serial, "ab-1");
    EXPECT_EQ(serial.text(), "AB-1");
    EXPECT_EQ(beeps, 0);
    QTest::keyClicks(&serial, "_");
    EXPECT_EQ(serial.text(), "AB-1");
    EXPECT_EQ(beeps, 1);
    QTest::keyClicks(&serial, " *x");
    EXPECT_EQ(serial.text(), "AB-1 *X");
    QTest::keyClick(&serial, Qt::Key_Backspace);
    EXPECT_EQ(serial.text(), "AB-1 *");
    // Typing over a selection counts the text as it would become.
    serial.setSelection(0, 2);
    QTest::keyClicks(&serial, "q");
    EXPECT_EQ(serial.text(), "Q-1 *");
    EXPECT_EQ(beeps, 1);
}

TEST_F(IdentityTest, LengthLimits) {
    serial.clear();
    QTest::keyClicks(&serial, "12345678901234567890");
    EXPECT_EQ(serial.text().size(), 20);
    QTest::keyClicks(&serial, "1");
    EXPECT_EQ(serial.text(), "12345678901234567890") << "the 21st character is dropped";
    EXPECT_EQ(beeps, 1);
    // A full box still takes a key that replaces selected text.
    serial.setSelection(19, 1);
    QTest::keyClicks(&serial, "a");
    EXPECT_EQ(serial.text(), "1234567890123456789A");

    station.clear();
    QTest::keyClicks(&station, "ABCDEFGHIJKLMNOPQ");
    EXPECT_EQ(station.text(), "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(beeps, 2);
}

TEST_F(IdentityTest, StoredWhenTheFocusLeaves) {
    serial.clear();
    QTest::keyClicks(&serial, "km71-77");
    loseFocus(&serial);
    EXPECT_EQ(record.SerialNo(), "KM71-77");
    EXPECT_TRUE(record.Change_SerialNo());

    // A box left unchanged raises no change flag.
    loseFocus(&station);
    EXPECT_FALSE(record.Change_StationID());

    // An emptied box stores the record's placeholder and shows it.
    station.clear();
    loseFocus(&station);
    EXPECT_EQ(record.StationID(), QString(16, '-'));
    EXPECT_EQ(station.text(), QString(16, '-'));
}

TEST_F(IdentityTest, InvalidTextGivesWayToTheRecordValue) {
    // Text that did not come through the key filter (pasted from a menu, for instance).
    serial.setText(QStringLiteral("ab_c"));
    loseFocus(&serial);
    EXPECT_EQ(serial.text(), "SN-0001");
    EXPECT_EQ(record.SerialNo(), "SN-0001");
    EXPECT_FALSE(record.Change_SerialNo());

    station.setText(QStringLiteral("ABCDEFGHIJKLMNOPQRS"));
    loseFocus(&station);
    EXPECT_EQ(station.text(), "ST1");
}
