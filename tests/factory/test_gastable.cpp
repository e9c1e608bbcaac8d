// The hydrocarbon gas table page of the factory settings dialog.
#include "FsTestSupport.h"
#include "factory/GasTableGrid.h"
#include "instrument/clsInstrument.h"

#include <QComboBox>
#include <QSignalSpy>

using namespace fstest;
using G = GasTableGrid;

namespace {

clsInstrument::LinearEntry Entry(const char* name, float fullScale, float digit, qint16 point,
                                 double a, double b, double c) {
    clsInstrument::LinearEntry e;
    e.Name = QString::fromLatin1(name);
    e.FullScale = fullScale;
    e.Digit = digit;
    e.Point = point;
    e.Unit = QStringLiteral("%LEL");
    e.elem_vol = 1200;
    e.Ratio = 3.0f;
    e.Linear1_a = a;
    e.Linear1_b = b;
    e.Linear1_c = c;
    e.Linear1_d = 0.25;
    e.Linear2_a = a;
    e.Linear2_b = b;
    e.Linear2_c = c;
    e.Linear2_d = 0.0;
    return e;
}

clsInstrument GasRecord() {
    clsInstrument r;
    r.setModelTyp(QStringLiteral("KM"));
    r.setLI_Entry(1, Entry("CH4", 100.0f, 1.0f, 0, 0.0, 0.0, 1.0));
    r.setLI_Entry(2, Entry("C3H8", 100.0f, 0.1f, 1, 0.0, 0.125, 1.0));
    r.setLI_Entry(16, Entry("H2", 100.0f, 1.0f, 0, 0.0, 0.0, 1.0));
    r.setLS_Entry(0, Entry("CH4", 100.0f, 1.0f, 0, 0.5, 0.0, 1.0));
    r.setLS_Entry(1, Entry("CH4", 50.0f, 0.5f, 1, 0.5, 0.0, 1.0));
    r.ClearChangeFlags();
    return r;
}

class GasTable : public DialogTest {
protected:
    GasTableGrid* openTable() {
        dialog = open(record);
        return dialog->vfgGasTbl();
    }
    clsInstrument record = GasRecord();
    std::unique_ptr<frmFsDialog> dialog;
};

TEST_F(GasTable, ShowsLibraryAndSelectedEntriesInTwoBlocks) {
    GasTableGrid* grid = openTable();
    ASSERT_EQ(grid->rowCount(), 17);
    ASSERT_EQ(grid->columnCount(), 29);
    EXPECT_EQ(grid->CellText(0, 0), QStringLiteral("No"));
    EXPECT_EQ(grid->CellText(0, 7), QStringLiteral("a X3"));
    EXPECT_EQ(grid->CellText(0, 28), QStringLiteral("(d)"));
    EXPECT_EQ(grid->CellText(0, 15), QStringLiteral("Name"));
    EXPECT_EQ(grid->CellText(15, 0), QStringLiteral("15"));
    EXPECT_EQ(grid->CellText(16, 0), QStringLiteral("201"));
    const struct {
        int row, column;
        const char* text;
    } cells[] = {{1, 1, "CH4"},         {2, 1, "C3H8"}, {1, 15, "H2"},        {16, 1, "CH4"},
                 {2, 2, "100.0"},       {2, 3, "0.1"},  {1, 2, "100"},        {1, 4, "%LEL"},
                 {1, 5, "1200"},        {1, 6, "3"},    {2, 8, "0.12500000"}, {1, 10, "0.25000000"},
                 {16, 21, "0.50000000"}};
    for (const auto& c : cells) {
        SCOPED_TRACE(std::to_string(c.row) + "," + std::to_string(c.column));
        EXPECT_EQ(grid->CellText(c.row, c.column), QString::fromLatin1(c.text));
    }
    EXPECT_EQ(grid->columnWidth(0), 26);
    EXPECT_EQ(grid->columnWidth(1), 66);
    EXPECT_EQ(grid->columnWidth(21), 73);
    EXPECT_EQ(OpenCell(grid, 0, 1), nullptr) << "the header row is not edited";
}

TEST_F(GasTable, LibraryNamesAreUniqueWithinTheirBlock) {
    GasTableGrid* grid = openTable();
    EXPECT_FALSE(EnterText(grid, 2, 1, "CH4"));
    EXPECT_FALSE(EnterText(grid, 3, 1, " CH4 "));
    EXPECT_TRUE(EnterText(grid, 2, 15, "CH4")) << "once on the left, once on the right";
    EXPECT_TRUE(EnterText(grid, 1, 1, "CH4")) << "confirming a name unchanged";
    EXPECT_TRUE(EnterText(grid, 3, 1, "C4H10"));
    EXPECT_EQ(dialog->RecordCopy().LI_Name(3), QStringLiteral("C4H10"));
    EXPECT_EQ(dialog->RecordCopy().LI_Name(17), QStringLiteral("CH4"));

    // Name keys: name characters only, and a key is refused once 11 characters would remain.
    QSignalSpy beeps(grid, &FsGrid::keyRefused);
    QWidget* editor = OpenCell(grid, 4, 1);
    TypeOver(editor, QStringLiteral("A.B,C"));
    EXPECT_EQ(EditorText(editor), QStringLiteral("ABC"));
    TypeOver(editor, QStringLiteral("ABCDEFGHIJKL"));
    EXPECT_EQ(EditorText(editor), QStringLiteral("ABCDEFGHIJK"));
    EXPECT_EQ(beeps.count(), 3);
    QTest::keyClick(editor, Qt::Key_Escape);
}

TEST_F(GasTable, SelectedGasNameIsMirroredIntoBothEntries) {
    GasTableGrid* grid = openTable();
    ASSERT_TRUE(EnterText(grid, 16, 15, "C3H8"));
    EXPECT_EQ(grid->CellText(16, 1), QStringLiteral("C3H8"));
    dialog->cmdOK_Click();
    EXPECT_EQ(record.LS_Name(0), QStringLiteral("C3H8"));
    EXPECT_EQ(record.LS_Name(1), QStringLiteral("C3H8"));
    EXPECT_TRUE(record.Change_LSData(0));
    EXPECT_TRUE(record.Change_LSData(1));
}

TEST_F(GasTable, NumbersAreRewrittenInTheirColumnsFormat) {
    const struct {
        int column;
        const char* digit; // typed into the row's Digit cell first, when given
        const char* text;
        const char* shown; // nullptr: refused
    } cases[] = {{2, "0.1", "100", "100.0"},
                 {2, "1", "100", "  100"},
                 {2, "0.01", "10", "10.00"},
                 {2, "0.01", "100", nullptr},
                 {2, nullptr, "-5", nullptr},
                 {2, nullptr, "abc", nullptr},
                 {3, nullptr, "0.05", " 0.05"},
                 {3, nullptr, "0", nullptr},
                 {3, nullptr, "0.0001", nullptr},
                 {5, nullptr, "12.6", "13"},
                 {5, nullptr, "0", nullptr},
                 {5, nullptr, "65536", nullptr},
                 {6, nullptr, "2.4", "2"},
                 {7, nullptr, "1.5", "1.50000000"},
                 {14, nullptr, "-0.000001", "-0.00000100"},
                 {8, nullptr, "x", nullptr}};
    GasTableGrid* grid = openTable();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.column) + ": " + c.text);
        if (c.digit) {
            ASSERT_TRUE(EnterText(grid, 3, G::FieldDigit, QString::fromLatin1(c.digit)));
        }
        const QString before = grid->CellText(3, c.column);
        EXPECT_EQ(EnterText(grid, 3, c.column, QString::fromLatin1(c.text)), c.shown != nullptr);
        EXPECT_EQ(grid->CellText(3, c.column), c.shown ? QString::fromLatin1(c.shown) : before);
    }
    const clsInstrument::LinearEntry e = dialog->RecordCopy().LI_Entry(3);
    EXPECT_FLOAT_EQ(e.FullScale, 10.0f);
    EXPECT_FLOAT_EQ(e.Digit, 0.05f);
    EXPECT_EQ(e.Point, 2);
    EXPECT_EQ(e.elem_vol, 13);
    EXPECT_FLOAT_EQ(e.Ratio, 2.0f);
    EXPECT_DOUBLE_EQ(e.Linear1_a, 1.5);
    EXPECT_DOUBLE_EQ(e.Linear2_d, -0.000001);
}

TEST_F(GasTable, CommaLocaleReadsAndWritesItsOwnSeparator) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    GasTableGrid* grid = openTable();
    EXPECT_EQ(grid->CellText(2, 2), QStringLiteral("100,0"));
    ASSERT_TRUE(EnterText(grid, 3, G::FieldDigit, "0,1"));
    ASSERT_TRUE(EnterText(grid, 3, G::FieldFullScale, "50"));
    EXPECT_EQ(grid->CellText(3, G::FieldFullScale), QStringLiteral(" 50.0"));
    ASSERT_TRUE(EnterText(grid, 3, G::FieldLinear1b, "0,5"));
    EXPECT_EQ(grid->CellText(3, G::FieldLinear1b), QStringLiteral("0,50000000"));
    EXPECT_DOUBLE_EQ(dialog->RecordCopy().LI_Linear1_b(3), 0.5);
}

TEST_F(GasTable, UnitIsOneOfTheKnownUnits) {
    GasTableGrid* grid = openTable();
    auto* combo = qobject_cast<QComboBox*>(OpenCell(grid, 1, G::FieldUnit));
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->count(), 4);
    EXPECT_EQ(combo->itemText(0), QStringLiteral("VOL%"));
    QTest::keyClick(combo, Qt::Key_Escape);
    const struct {
        const char* unit;
        bool accepted;
    } cases[] = {{"Vol%", false}, {"vol%", true}, {"VOL%", true}, {"%", true},
                 {"ppb", true},   {"PPM", false}, {"%lel", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.unit);
        EXPECT_EQ(EnterText(grid, 1, G::FieldUnit + G::BlockWidth, QString::fromLatin1(c.unit)),
                  c.accepted);
    }
    EXPECT_EQ(dialog->RecordCopy().LI_Unit(16), QStringLiteral("ppb"));
}

TEST_F(GasTable, AllZeroPolynomialOfTheSelectedGasBlocksOk) {
    GasTableGrid* grid = openTable();
    for (int column : {7, 8, 9}) {
        ASSERT_TRUE(EnterText(grid, 16, column, "0"));
    }
    for (int column = 7; column <= 27; ++column) {
        SCOPED_TRACE(column);
        EXPECT_EQ(grid->CellColour(16, column) == FsGrid::InvalidColour(), column <= 9);
    }
    dialog->cmdOK_Click();
    EXPECT_EQ(prompts.boxes, QStringList{"critical|71-Series - Setup Program|Improper data found  "
                                         "( HC Gas Table )"});
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(record.Change_LSData(0)) << "nothing handed back";

    ASSERT_TRUE(EnterText(grid, 16, 8, "0.5"));
    EXPECT_TRUE(grid->TableValid());
    EXPECT_EQ(grid->CellColour(16, 7), FsGrid::ValidColour());

    // The second polynomial of the right block.
    for (int column : {25, 26, 27}) {
        ASSERT_TRUE(EnterText(grid, 16, column, "0"));
    }
    EXPECT_EQ(grid->CellColour(16, 26), FsGrid::InvalidColour());
    EXPECT_FALSE(grid->TableValid());
    ASSERT_TRUE(EnterText(grid, 16, 27, "1"));

    prompts.boxes.clear();
    dialog->cmdOK_Click();
    EXPECT_EQ(prompts.boxes, QStringList());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_TRUE(record.Change_LSData(0));
    EXPECT_TRUE(record.Change_LSData(1));
    EXPECT_DOUBLE_EQ(record.LS_Linear1_b(0), 0.5);
    EXPECT_DOUBLE_EQ(record.LS_Linear2_c(1), 1.0);
}

TEST_F(GasTable, OkHandsBackTheEditedEntriesOnly) {
    GasTableGrid* grid = openTable();
    ASSERT_TRUE(EnterText(grid, 2, G::FieldRatio, "7"));
    ASSERT_TRUE(EnterText(grid, 16, G::FieldVolt, "900"));
    dialog->cmdOK_Click();
    EXPECT_FLOAT_EQ(record.LI_Ratio(2), 7.0f);
    EXPECT_EQ(record.LS_elem_vol(0), 900);
    EXPECT_TRUE(record.Change_LSData(0));
    EXPECT_FALSE(record.Change_LSData(1));
    EXPECT_EQ(record.LI_Entry(1), GasRecord().LI_Entry(1));
    EXPECT_EQ(record.LS_Entry(1), GasRecord().LS_Entry(1));
}

} // namespace
