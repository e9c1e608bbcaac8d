// The station list page of the factory settings dialog and its CSV file.
#include "FsTestSupport.h"
#include "factory/StationCsv.h"
#include "factory/StationGrid.h"
#include "instrument/clsInstrument.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace fstest;

namespace {

const QString kExportComplete = QStringLiteral("message|71-Series - Setup Program|Export Complete");
const QString kListError =
    QStringLiteral("critical|71-Series - Setup Program|Improper data found  ( Station List )");

class Stations : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        ASSERT_TRUE(folder.isValid());
        for (int i = 0; i < clsInstrument::StationCount; ++i)
            record.setStationList(i, QStringLiteral("STATION %1").arg(i + 1));
        record.ClearChangeFlags();
    }
    StationGrid* openList() {
        dialog = open(record);
        return dialog->vfgStation();
    }
    QString path(const QString& name) const { return folder.filePath(name); }
    void writeFile(const QString& name, const QByteArray& bytes) const {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray readFile(const QString& name) const {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // Imports a file through the import button.
    void import(const QString& name) {
        prompts.openAnswer = path(name);
        QTest::mouseClick(dialog->cmdStationImport(), Qt::LeftButton);
    }

    QTemporaryDir folder;
    clsInstrument record;
    std::unique_ptr<frmFsDialog> dialog;
};

TEST_F(Stations, ListShowsNumberAndNameOfEveryEntry) {
    StationGrid* grid = openList();
    ASSERT_EQ(grid->rowCount(), 256);
    EXPECT_EQ(grid->CellText(0, 0), QStringLiteral("1"));
    EXPECT_EQ(grid->CellText(255, 0), QStringLiteral("256"));
    EXPECT_EQ(grid->CellText(255, 1), QStringLiteral("STATION 256"));
    EXPECT_TRUE(grid->ListValid());
    EXPECT_EQ(OpenCell(grid, 3, 0), nullptr) << "numbers are not edited";
    EXPECT_EQ(dialog->lblStation()->text(), QStringLiteral("Station List"));
}

TEST_F(Stations, TypedNamesAreFilteredAndStoredWithTheirFlag) {
    StationGrid* grid = openList();
    QSignalSpy beeps(grid, &FsGrid::keyRefused);
    QWidget* editor = OpenCell(grid, 5, 1);
    TypeOver(editor, QStringLiteral("Gate.7,<B>_x/y-ZZZQ"));
    EXPECT_EQ(beeps.count(), 3) << "'.', ',' and the 17th character";
    EXPECT_EQ(EditorText(editor), QStringLiteral("Gate7<B>_x/y-ZZZ"));
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(grid->CellColour(5, 1), FsGrid::ValidColour());
    dialog->cmdOK_Click();
    EXPECT_EQ(record.StationList(5), QStringLiteral("Gate7<B>_x/y-ZZZ"));
    EXPECT_TRUE(record.Change_StationList(5));
    EXPECT_FALSE(record.Change_StationList(4));
    EXPECT_EQ(record.StationList(4), QStringLiteral("STATION 5"));
}

TEST_F(Stations, LinesAreSplitIntoNumberAndJoinedName) {
    const struct {
        const char* line;
        const char* separator;
        const char* name;
    } cases[] = {{"1,NORTH", ",", "NORTH"},
                 {"2;SOUTH", ";", "SOUTH"},
                 {"3,A,B", ",", "A,B"},
                 {"4,A,,B", ",", "A,B"},
                 {"5\tTAB NAME", ",", "TAB NAME"},
                 {"6", ",", ""},
                 {"", ",", ""},
                 {"7,1,5", ";", ""},
                 {"7;1,5", ";", "1,5"},
                 // A separator of other than one character separates nothing but joins.
                 {"8\tA\tB", ", ", "A, B"},
                 {"9, A, B", ", ", ""},
                 {"10\tA\tB", "", "AB"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(
            StationCsv::NameOfLine(QString::fromLatin1(c.line), QString::fromLatin1(c.separator)),
            QString::fromLatin1(c.name));
    }
    // A line holds at most 256 fields; those after are dropped.
    QStringList fields;
    for (int i = 0; i < 300; ++i)
        fields << QString::number(i);
    EXPECT_EQ(StationCsv::NameOfLine(fields.join(','), ","), fields.mid(1, 255).join(','));
}

TEST_F(Stations, ExportAndImportRoundTripInBothLocales) {
    const struct {
        bool comma;
        const char* firstLine;
    } cases[] = {{false, "1,STATION 1\r\n"}, {true, "1;STATION 1\r\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.comma);
        QLocale::setDefault(c.comma ? QLocale(QLocale::German, QLocale::Germany)
                                    : QLocale(QLocale::English, QLocale::UnitedStates));
        prompts.boxes.clear();
        StationGrid* grid = openList();
        ASSERT_TRUE(EnterText(grid, 9, 1, "A B/C"));
        prompts.saveAnswer = path("Station.csv");
        QTest::mouseClick(dialog->cmdStationExport(), Qt::LeftButton);
        EXPECT_EQ(prompts.boxes, QStringList{kExportComplete});
        EXPECT_EQ(prompts.lastFilter, QStringLiteral("All files (*.*);;Comma separated (*.csv)"));
        EXPECT_EQ(prompts.lastSelectedFilter, QStringLiteral("Comma separated (*.csv)"));
        const QByteArray text = readFile("Station.csv");
        EXPECT_TRUE(text.startsWith(c.firstLine));
        EXPECT_EQ(text.count("\r\n"), 256);
        EXPECT_TRUE(text.contains(c.comma ? "\r\n10;A B/C\r\n" : "\r\n10,A B/C\r\n"));

        // A fresh dialog on the same record takes the names back from the file.
        dialog.reset();
        grid = openList();
        import("Station.csv");
        EXPECT_EQ(grid->CellText(9, 1), QStringLiteral("A B/C"));
        EXPECT_EQ(grid->CellText(255, 1), QStringLiteral("STATION 256"));
        EXPECT_TRUE(grid->ListValid());
        EXPECT_TRUE(dialog->RecordCopy().Change_StationList(0));
        EXPECT_TRUE(dialog->RecordCopy().Change_StationList(255));
        dialog->cmdOK_Click();
        EXPECT_EQ(record.StationList(9), QStringLiteral("A B/C"));
        record.ClearChangeFlags();
    }
}

TEST_F(Stations, ImportFillsRowsInFileOrderAndStopsAt256) {
    QByteArray text;
    for (int i = 1; i <= 300; ++i)
        text += QByteArray::number(1000 - i) + ",IMPORTED " + QByteArray::number(i) + "\n";
    writeFile("many.csv", text);
    StationGrid* grid = openList();
    import("many.csv");
    EXPECT_EQ(grid->CellText(0, 1), QStringLiteral("IMPORTED 1"));
    EXPECT_EQ(grid->CellText(255, 1), QStringLiteral("IMPORTED 256"));
    EXPECT_EQ(prompts.boxes, QStringList());

    writeFile("three.csv", "1,ONE\r\n2,TWO\r\n3,THREE\r\n");
    dialog.reset();
    grid = openList();
    import("three.csv");
    EXPECT_EQ(grid->CellText(2, 1), QStringLiteral("THREE"));
    EXPECT_EQ(grid->CellText(3, 1), QStringLiteral("STATION 4"));
    // Entry i is flagged for grid row i.
    EXPECT_TRUE(dialog->RecordCopy().Change_StationList(2));
    EXPECT_FALSE(dialog->RecordCopy().Change_StationList(3));
    dialog->cmdOK_Click();
    EXPECT_EQ(record.StationList(0), QStringLiteral("ONE"));
    EXPECT_TRUE(record.Change_StationList(2));
    EXPECT_FALSE(record.Change_StationList(3));
}

TEST_F(Stations, LinesEndAtCrLfLfOrALoneCr) {
    const struct {
        const char* text;
        QStringList names;
    } cases[] = {
        {"1,ONE\r\n2,TWO\r\n", {"ONE", "TWO"}},
        {"1,ONE\n2,TWO", {"ONE", "TWO"}},
        {"1,ONE\r2,TWO\r3,THREE\r", {"ONE", "TWO", "THREE"}},
        {"1,ONE\r\r\n3,THREE\n\n5,FIVE", {"ONE", "", "THREE", "", "FIVE"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        writeFile("ends.csv", c.text);
        QStringList names;
        QString error;
        ASSERT_TRUE(StationCsv::Read(path("ends.csv"), ",", 256, &names, &error));
        EXPECT_EQ(names, c.names);
        // Whatever was read writes and reads back unchanged.
        ASSERT_TRUE(StationCsv::Write(path("again.csv"), names, ",", &error));
        QStringList again;
        ASSERT_TRUE(StationCsv::Read(path("again.csv"), ",", 256, &again, &error));
        EXPECT_EQ(again, names);
    }
}

TEST_F(Stations, ImportedNamesAreJudgedOnTheirFirst16Characters) {
    writeFile("names.csv", "1,ABCDEFGHIJKLMNOP.\r\n"
                           "2,ABC.DEF\r\n"
                           "3,A,B\r\n"
                           "4,OK NAME\r\n");
    StationGrid* grid = openList();
    import("names.csv");
    EXPECT_EQ(grid->CellText(0, 1), QStringLiteral("ABCDEFGHIJKLMNOP."));
    EXPECT_EQ(grid->CellColour(0, 1), FsGrid::ValidColour());
    EXPECT_EQ(grid->CellColour(1, 1), FsGrid::InvalidColour());
    EXPECT_EQ(grid->CellText(2, 1), QStringLiteral("A,B"));
    EXPECT_EQ(grid->CellColour(2, 1), FsGrid::InvalidColour());
    EXPECT_EQ(grid->CellColour(3, 1), FsGrid::ValidColour());

    // Red names block the export and OK.
    prompts.saveAnswer = path("out.csv");
    QTest::mouseClick(dialog->cmdStationExport(), Qt::LeftButton);
    EXPECT_EQ(prompts.boxes, QStringList{kListError});
    EXPECT_FALSE(QFile::exists(path("out.csv")));
    QTest::mouseClick(dialog->cmdOK(), Qt::LeftButton);
    EXPECT_EQ(prompts.boxes, (QStringList{kListError, kListError}));
    EXPECT_TRUE(dialog->isVisible());

    // Correcting them lets OK through; the long name is kept to its 16 characters.
    ASSERT_TRUE(EnterText(grid, 1, 1, "ABC DEF"));
    ASSERT_TRUE(EnterText(grid, 2, 1, "A B"));
    dialog->cmdOK_Click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(record.StationList(0), QStringLiteral("ABCDEFGHIJKLMNOP"));
    EXPECT_EQ(record.StationList(1), QStringLiteral("ABC DEF"));
}

TEST_F(Stations, FileFailuresAreReportedAndCancelledDialogsDoNothing) {
    StationGrid* grid = openList();
    prompts.saveAnswer = path("missing-folder/Station.csv");
    QTest::mouseClick(dialog->cmdStationExport(), Qt::LeftButton);
    ASSERT_EQ(prompts.boxes.size(), 1);
    EXPECT_TRUE(prompts.boxes.at(0).startsWith(
        QStringLiteral("critical|71-Series - Setup Program|The station list file could not be "
                       "written.")));

    prompts.boxes.clear();
    import("no-such-file.csv");
    ASSERT_EQ(prompts.boxes.size(), 1);
    EXPECT_TRUE(prompts.boxes.at(0).contains(QStringLiteral("could not be read")));
    EXPECT_EQ(grid->CellText(0, 1), QStringLiteral("STATION 1"));

    prompts.boxes.clear();
    prompts.saveAnswer.clear();
    prompts.openAnswer.clear();
    QTest::mouseClick(dialog->cmdStationExport(), Qt::LeftButton);
    QTest::mouseClick(dialog->cmdStationImport(), Qt::LeftButton);
    EXPECT_EQ(prompts.boxes, QStringList());
    EXPECT_FALSE(dialog->RecordCopy().Change_StationList(0));
}

TEST_F(Stations, ExportReplacesAnEarlierFileWhole) {
    writeFile("Station.csv", QByteArray(20000, 'x'));
    openList();
    prompts.saveAnswer = path("Station.csv");
    QTest::mouseClick(dialog->cmdStationExport(), Qt::LeftButton);
    const QByteArray text = readFile("Station.csv");
    EXPECT_TRUE(text.startsWith("1,STATION 1\r\n2,STATION 2\r\n"));
    EXPECT_TRUE(text.endsWith("256,STATION 256\r\n"));
    EXPECT_FALSE(text.contains('x'));
}

} // namespace
