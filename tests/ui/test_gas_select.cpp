// The gas selection dialog, the copy of a catalogue entry into the record and the gas choice
// from the Enable box of the main window's settings grid.
#include "UiTestSupport.h"

#include "common/TempStartupFolder.h"
#include "configuration/ToolSettings.h"
#include "instrument/clsInstrument.h"
#include "shell/AppState.h"
#include "shell/Messages.h"
#include "ui/GasAlarmGrid.h"
#include "ui/frmGasSel.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// How a test answers the next gas selection dialog.
struct Answer {
    Answer(int entryToClick, int buttonToClick) : entry(entryToClick), button(buttonToClick) {}
    int entry = -1; // option button clicked first; -1 none
    int button = 0; // 0 "OK", 1 "Cancel", 2 the close box
    bool seen = false;
    QStringList captions; // captions of the options shown
};

// Answers the next gas selection dialog once it is shown modally.
void ArmAnswer(Answer& answer) {
    AnswerModal<frmGasSel>([&answer](frmGasSel* dialog) {
        answer.seen = true;
        for (int i = 0; i < frmGasSel::kOptionCount; ++i)
            if (dialog->optGasList(i)->isVisible())
                answer.captions << dialog->optGasList(i)->text();
        if (answer.entry >= 0) QTest::mouseClick(dialog->optGasList(answer.entry), Qt::LeftButton);
        if (answer.button == 2)
            dialog->close();
        else
            QTest::mouseClick(dialog->cmdGasSel(answer.button), Qt::LeftButton);
    });
}

// Each test with the built-in gas catalogue, English texts and untouched factory values.
class GasSelectTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_savedCatalog = Tool().Catalog;
        m_savedAutoCal = Tool().FactoryAutoCal(0);
        SetMessageLanguage(QStringLiteral("EN"));
        Tool().Catalog.FillDefaults();
        Tool().setFactoryAutoCal(0, -101.0f);
    }
    void TearDown() override {
        Tool().Catalog = m_savedCatalog;
        Tool().setFactoryAutoCal(0, m_savedAutoCal);
    }

    // A record of a model with a gas that is not the first entry's.
    static clsInstrument Detector(const char* model) {
        clsInstrument r;
        r.setModelTyp(QString::fromLatin1(model));
        r.setGasEnabled(0, true);
        r.setGasName(0, QStringLiteral("XX"));
        r.setGasUnit(0, QStringLiteral("ppm"));
        r.setGasFullScale(0, 999.0f);
        r.setWarning(0, 7.0f);
        r.setAlarmO2(2);
        r.ClearChangeFlags();
        return r;
    }

    // The captions of the option buttons shown.
    static QStringList Shown(const frmGasSel& dialog) {
        QStringList out;
        for (int i = 0; i < frmGasSel::kOptionCount; ++i)
            if (!dialog.optGasList(i)->isHidden()) out << dialog.optGasList(i)->text();
        return out;
    }

    GasCatalog m_savedCatalog;
    float m_savedAutoCal = 0.0f;
};

TEST_F(GasSelectTest, EachModelColumnOffersItsDefaultGases) {
    struct Case {
        qint16 column;
        QStringList captions;
        int rows;
        int columns;
    };
    const Case cases[] = {
        {0, {"CH4(100%LEL)", "HC(100%LEL)", "H2(100%LEL)", "CH4(5.00VOL%)"}, 4, 1},
        {1, {"O2(40.0VOL%)"}, 1, 1},
        {2, {"H2S(100.0ppm)", "H2S(30.0ppm)"}, 2, 1},
        {3, {"CO(500ppm)"}, 1, 1},
        {4, {}, 0, 0}};
    frmGasSel dialog;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.column);
        dialog.setGasno(c.column);
        EXPECT_EQ(Shown(dialog), c.captions);
        EXPECT_EQ(dialog.Rows(), c.rows);
        EXPECT_EQ(dialog.Columns(), c.columns);
    }
}

TEST_F(GasSelectTest, OnlyEntriesZeroToSevenAreOfferedInTwoColumnsFromFive) {
    GasCatalogEntry extra = *Tool().Catalog.at(0, 0);
    for (int entry : {4, 5, 9}) {
        extra.Name = QStringLiteral("G%1").arg(entry);
        *Tool().Catalog.at(0, entry) = extra;
    }
    frmGasSel dialog;
    dialog.setGasno(0);
    EXPECT_EQ(dialog.ShownCount(), 6);
    EXPECT_TRUE(dialog.optGasList(9)->isHidden()) << "entry 9 is never offered";
    EXPECT_FALSE(dialog.optGasList(5)->isHidden());
    EXPECT_EQ(dialog.Columns(), 2);
    EXPECT_EQ(dialog.Rows(), 3);
}

TEST_F(GasSelectTest, ApplyTakesTheEntryFromTheColumnOfTheRecordsModel) {
    clsInstrument km = Detector("KM");
    ASSERT_TRUE(ApplyGasListEntry(km, 0, 3));
    EXPECT_EQ(km.GasUnit(0), "VOL%");
    EXPECT_FLOAT_EQ(km.GasFullScale(0), 5.0f);
    clsInstrument vl = Detector("VL");
    vl.setGasName(0, QStringLiteral("H2S"));
    ASSERT_TRUE(ApplyGasListEntry(vl, 0, 1));
    EXPECT_FLOAT_EQ(vl.GasFullScale(0), 30.0f);
    // An unknown model still gets its gas enabled, and nothing else.
    clsInstrument unknown = Detector("ZZ");
    unknown.setGasEnabled(0, false);
    EXPECT_FALSE(ApplyGasListEntry(unknown, 0, 0));
    EXPECT_TRUE(unknown.GasEnabled(0));
    EXPECT_EQ(unknown.GasName(0), "XX");
}

TEST_F(GasSelectTest, ChoosingOxygenOnAQzSetsTheOxygenAlarmType) {
    clsInstrument record = Detector("QZ");
    Answer answer{0, 0};
    ArmAnswer(answer);
    EXPECT_TRUE(SelectGas(nullptr, record, 0));
    ASSERT_TRUE(answer.seen);
    EXPECT_EQ(answer.captions, QStringList{"O2(40.0VOL%)"});
    EXPECT_EQ(record.GasName(0), "O2");
    EXPECT_EQ(record.AlarmO2(), 1);
    EXPECT_EQ(record.OverScale(0), 1);
    EXPECT_FLOAT_EQ(Tool().FactoryAutoCal(0), 0.0f);
}

TEST_F(GasSelectTest, CancelAndTheCloseBoxChangeNothing) {
    for (int button : {1, 2}) {
        SCOPED_TRACE(button);
        clsInstrument record = Detector("KM");
        Answer answer{2, button};
        ArmAnswer(answer);
        EXPECT_FALSE(SelectGas(nullptr, record, 0));
        ASSERT_TRUE(answer.seen);
        EXPECT_EQ(record.GasName(0), "XX");
        EXPECT_FALSE(record.Change_GasEnable(0));
        EXPECT_FALSE(record.Change_Warn(0));
        EXPECT_EQ(record.OverScale(0), 0);
        EXPECT_FLOAT_EQ(Tool().FactoryAutoCal(0), -101.0f);
    }
}

TEST_F(GasSelectTest, OkWithoutAChoiceOnlyEnablesTheGas) {
    clsInstrument record = Detector("QZ");
    record.setGasEnabled(0, false);
    record.ClearChangeFlags();
    Answer answer{-1, 0};
    ArmAnswer(answer);
    EXPECT_TRUE(SelectGas(nullptr, record, 0));
    EXPECT_TRUE(record.GasEnabled(0));
    EXPECT_TRUE(record.Change_GasEnable(0));
    EXPECT_EQ(record.GasName(0), "XX");
    EXPECT_FLOAT_EQ(record.Warning(0), 7.0f);
    EXPECT_FALSE(record.Change_Warn(0));
    EXPECT_EQ(record.AlarmO2(), 2);
    EXPECT_EQ(record.OverScale(0), 0);
    EXPECT_FLOAT_EQ(Tool().FactoryAutoCal(0), -101.0f);
}

// ---- From the settings grid of the main window ----

// The main window on the simulated detector, read once.
class GridGasChoiceTest : public GasSelectTest, protected SimulatedWindow {
protected:
    void SetUp() override {
        GasSelectTest::SetUp();
        ASSERT_TRUE(m_folder.isValid());
        AppState::setFactoryMode(true);
    }
    void TearDown() override {
        closeWindow();
        GasSelectTest::TearDown();
    }

    void openAndRead(const QString& model) {
        showWindow(model);
        ASSERT_TRUE(waitForConnection());
        setDetectorClockToPc();
        ASSERT_TRUE(readDetector());
    }

    // Clicks the Enable box of gas 0 off and lets the grid handle the click.
    void toggleEnable() {
        GasAlarmGrid* grid = window->grid();
        QTableWidgetItem* box = grid->item(GasAlarmGrid::GasRow(0), GasAlarmGrid::ColEnable);
        ASSERT_NE(box, nullptr);
        box->setCheckState(Qt::Unchecked);
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }

    QString gasCell() const {
        return window->grid()->item(GasAlarmGrid::GasRow(0), GasAlarmGrid::ColGas)->text();
    }

    TempStartupFolder m_folder;
};

TEST_F(GridGasChoiceTest, ChoosingAGasInTheDialogShowsItInTheGrid) {
    openAndRead(QStringLiteral("KM"));
    Answer answer{3, 0};
    ArmAnswer(answer);
    toggleEnable();
    ASSERT_TRUE(answer.seen);
    EXPECT_EQ(answer.captions.size(), 4);
    const clsInstrument& record = window->working();
    EXPECT_EQ(record.GasName(0), "CH4");
    EXPECT_EQ(record.GasUnit(0), "VOL%");
    EXPECT_EQ(gasCell(), "CH4(5.00VOL%)");
    EXPECT_EQ(window->grid()->item(GasAlarmGrid::GasRow(0), GasAlarmGrid::ColEnable)->checkState(),
              Qt::Checked);
    EXPECT_EQ(record.OverScale(0), 1);
    EXPECT_FLOAT_EQ(Tool().FactoryAutoCal(0), 2.5f);
}

TEST_F(GridGasChoiceTest, CancelKeepsTheGasAndTheBoxChecked) {
    openAndRead(QStringLiteral("QZ"));
    const QString before = gasCell();
    Answer answer{0, 1};
    ArmAnswer(answer);
    toggleEnable();
    ASSERT_TRUE(answer.seen);
    EXPECT_EQ(answer.captions, QStringList{"O2(40.0VOL%)"});
    EXPECT_EQ(gasCell(), before);
    EXPECT_TRUE(window->working().GasEnabled(0));
    EXPECT_EQ(window->grid()->item(GasAlarmGrid::GasRow(0), GasAlarmGrid::ColEnable)->checkState(),
              Qt::Checked);
}

} // namespace
