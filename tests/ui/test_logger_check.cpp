// The logger-area check (comparison rules, the shipped reference files, the whole sequence
// against the simulated detector) and the memory dump button.
#include "UiTestSupport.h"

#include "common/TempStartupFolder.h"
#include "instrument/clsInstrument.h"
#include "link/uclHvif.h"
#include "shell/AppState.h"
#include "shell/Messages.h"
#include "sim/SimDetector.h"
#include "sim/SimMemoryImage.h"
#include "ui/LoggerCheck.h"
#include "ui/frmMain.h"

#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <gtest/gtest.h>

namespace {

// The reference file of each gas and the simulated model it was taken from.
struct Reference {
    const char* file;
    const char* model;
    const char* gasDefinition; // the GJ value that gives the detector this gas
};
const Reference kReferences[] = {
    {"KM71_CheckKM.DAT", "KM", "CH4   100    1%LEL"},
    {"KM71_CheckOXY.DAT", "QZ", "O2   25.0  0.1VOL%"},
    {"KM71_CheckCO.DAT", "VL", "CO    500    1ppm "},
    {"KM71_CheckH2S.DAT", "VL", "H2S 100.0  0.5ppm "},
};

// The memory of a simulated detector after both logs were cleared and the check data written,
// its working area blank.
QByteArray CheckImage(const QString& model) {
    SimMemoryImage memory(model);
    memory.clearBody();
    memory.clearPower();
    memory.writeCheckData();
    QByteArray bytes = memory.bytes();
    const int from = kCheckFirstSkippedBlock * kCheckBlockSize;
    const int to = (kCheckLastSkippedBlock + 1) * kCheckBlockSize;
    bytes.replace(from, to - from, QByteArray(to - from, char(0xFF)));
    return bytes;
}

bool WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Each test in its own start-up folder with the default reference folders.
class LoggerCheckFiles : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_folder.isValid());
        setCheckReferenceFolders({});
        SetMessageLanguage(QStringLiteral("EN"));
    }
    void TearDown() override {
        setCheckReferenceFolders({});
        AppState::setOperationState(0);
    }
    QString inFolder(const QString& name) const { return m_folder.filePath(name); }

    TempStartupFolder m_folder;
};

TEST_F(LoggerCheckFiles, ReferenceFileFollowsTheGasName) {
    const std::pair<const char*, const char*> cases[] = {
        {"O2", "KM71_CheckOXY.DAT"},  {"O2  ", "KM71_CheckOXY.DAT"}, {"CO", "KM71_CheckCO.DAT"},
        {"H2S", "KM71_CheckH2S.DAT"}, {"CH4", "KM71_CheckKM.DAT"},   {"OXY", "KM71_CheckKM.DAT"},
        {"", "KM71_CheckKM.DAT"}};
    for (const auto& [gas, file] : cases)
        EXPECT_EQ(CheckReferenceName(QString::fromLatin1(gas)), QString::fromLatin1(file)) << gas;
}

TEST_F(LoggerCheckFiles, OnlyBytesOutsideTheWorkingAreaCount) {
    const QByteArray reference = CheckImage(QStringLiteral("KM"));
    ASSERT_TRUE(WriteBytes(inFolder("ref.dat"), reference));
    struct Case {
        int offset; // -1: no change
        int differences;
    };
    const Case cases[] = {{-1, 0},    {0, 1},     {28671, 1}, {28672, 0},
                          {30000, 0}, {32639, 0}, {32640, 1}, {32767, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offset);
        QByteArray image = reference;
        if (c.offset >= 0) image[c.offset] = char(image[c.offset] ^ 0x5A);
        ASSERT_TRUE(WriteBytes(inFolder("KM71.DAT"), image));
        const CheckComparison result = CompareCheckData(inFolder("ref.dat"), inFolder("KM71.DAT"));
        EXPECT_TRUE(result.compared);
        EXPECT_EQ(result.differences, c.differences);
        EXPECT_EQ(result.same(), c.differences == 0);
    }
}

TEST_F(LoggerCheckFiles, MissingOrShortFilesAreNamedNotCompared) {
    const QByteArray reference = CheckImage(QStringLiteral("KM"));
    ASSERT_TRUE(WriteBytes(inFolder("ref.dat"), reference));
    ASSERT_TRUE(WriteBytes(inFolder("short.dat"), reference.left(100)));

    CheckComparison result = CompareCheckData(inFolder("none.dat"), inFolder("ref.dat"));
    EXPECT_FALSE(result.compared);
    EXPECT_FALSE(result.same());
    EXPECT_EQ(result.problemFile, inFolder("none.dat"));
    EXPECT_EQ(result.problemSize, -1);

    result = CompareCheckData(inFolder("ref.dat"), inFolder("short.dat"));
    EXPECT_FALSE(result.compared);
    EXPECT_EQ(result.problemFile, inFolder("short.dat"));
    EXPECT_EQ(result.problemSize, 100);
}

// The built-in references read against the 16-byte logger record (type, BCD date and time, steps,
// flags, battery, temperature + 40, sequence, model, checksum): a triangle wave over full scale a
// minute apart from 2000-01-01 (C5), power records an hour apart (C6), a blank working area.
TEST_F(LoggerCheckFiles, ShippedReferencesHoldTheCheckPattern) {
    const struct {
        const char* file;
        int fullSteps;
        char model;
    } cases[] = {{"KM71_CheckKM.DAT", 100, 'K'},
                 {"KM71_CheckOXY.DAT", 250, 'Q'},
                 {"KM71_CheckCO.DAT", 500, 'V'},
                 {"KM71_CheckH2S.DAT", 500, 'V'}};
    const auto record = [](const QByteArray& bytes, int offset) {
        return bytes.mid(offset, 16).toHex(' ').toUpper();
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const QString builtIn = QStringLiteral(":/core/") + QString::fromLatin1(c.file);
        EXPECT_EQ(FindCheckReference(QString::fromLatin1(c.file)), builtIn);
        const QByteArray bytes = ReadBytes(builtIn);
        ASSERT_EQ(bytes.size(), kCheckImageSize);
        const QByteArray model = QByteArray(1, c.model).toHex().toUpper();
        // The first record, and the top of the wave 63 minutes later.
        EXPECT_EQ(record(bytes, 0).left(44), "C5 00 01 01 00 00 00 00 00 00 1E 41 00 00 " + model);
        const QByteArray top = QByteArray::number(c.fullSteps, 16).rightJustified(4, '0').toUpper();
        EXPECT_EQ(record(bytes, 63 * 16).left(44), "C5 00 01 01 01 03 00 " + top.left(2) + " " +
                                                       top.mid(2) + " 0F 1E 41 00 3F " + model);
        // The second power record, an hour on.
        EXPECT_EQ(record(bytes, 0x6010).left(44), "C6 00 01 01 01 00 00 00 01 81 1E 41 00 01 " + model);
        for (int offset = 0; offset < 0x7000; offset += 16) {
            int sum = 0;
            for (int k = 0; k < 16; ++k)
                sum += quint8(bytes[offset + k]);
            ASSERT_EQ(sum % 256, 0) << "record at " << offset;
        }
        EXPECT_EQ(bytes.mid(0x7000, 0xF80), QByteArray(0xF80, '\xFF'));
    }
    EXPECT_EQ(record(ReadBytes(":/core/KM71_CheckKM.DAT"), 0), "C5 00 01 01 00 00 00 00 00 00 1E 41 00 00 4B 8F");
    // A file in the start-up folder comes first.
    ASSERT_TRUE(WriteBytes(inFolder("KM71_CheckCO.DAT"), QByteArray(10, 'x')));
    EXPECT_EQ(FindCheckReference(QStringLiteral("KM71_CheckCO.DAT")), inFolder("KM71_CheckCO.DAT"));
    setCheckReferenceFolders({m_folder.path()});
    EXPECT_TRUE(FindCheckReference(QStringLiteral("KM71_CheckKM.DAT")).isEmpty());
}

// Writes the reference files from the simulated detectors into $KM71_CHECK_FILES_DIR (default:
// the source tree's resources/core). Run with --gtest_also_run_disabled_tests.
TEST_F(LoggerCheckFiles, DISABLED_WriteReferenceFiles) {
    QString folder = qEnvironmentVariable("KM71_CHECK_FILES_DIR");
    if (folder.isEmpty()) folder = QStringLiteral(KM71_SOURCE_DIR "/resources/core");
    for (const Reference& r : kReferences)
        ASSERT_TRUE(WriteBytes(QDir(folder).filePath(QString::fromLatin1(r.file)),
                               CheckImage(QString::fromLatin1(r.model))));
}

// ---- The buttons of the main window against the simulated detector ----

class LoggerCheckWindow : public LoggerCheckFiles, protected SimulatedWindow {
protected:
    void TearDown() override {
        closeWindow();
        LoggerCheckFiles::TearDown();
    }

    // The window in factory and debug mode on a simulated detector, connected and read.
    void openAndRead(const QString& model, const QByteArray& gasDefinition = {}) {
        AppState::setDebugMode(true);
        AppState::setFactoryMode(true);
        showWindow(model, kWindowTestStart, [&](uclHvif&, SimDetector& simulated) {
            if (!gasDefinition.isEmpty()) simulated.setValue("GJ", gasDefinition);
        });
        ASSERT_TRUE(waitForConnection());
        setDetectorClockToPc();
        ASSERT_TRUE(readDetector());
        window->rtbLog()->clear();
        detector->clearReceivedFrames();
    }

    // Runs the "LoggerArea Check" button.
    void runCheck() {
        QPushButton* button = window->cmdOption(8);
        ASSERT_TRUE(button->isVisible());
        ASSERT_TRUE(button->isEnabled());
        QTest::mouseClick(button, Qt::LeftButton);
    }

    // Index of the first (or last) request that starts with `head`; -1 when none does.
    qsizetype requestIndex(const QString& head, bool last = false) const {
        const QStringList all = requests();
        qsizetype found = -1;
        for (qsizetype i = 0; i < all.size(); ++i) {
            if (!all[i].startsWith(head)) continue;
            found = i;
            if (!last) break;
        }
        return found;
    }

    QString resultLine(const char* outcome) const {
        return QStringLiteral("LoggerArea Check   ") + window->working().SerialNo() +
               QStringLiteral("... ") + QString::fromLatin1(outcome);
    }
    // The body and power logs of the detector are erased.
    bool logsErased() const {
        const QByteArray memory = detector->memoryImage();
        return memory.left(SimMemoryImage::kWorkStart) ==
               QByteArray(SimMemoryImage::kWorkStart, char(0xFF));
    }
};

TEST_F(LoggerCheckWindow, EachGasPassesAgainstItsReference) {
    for (const Reference& r : kReferences) {
        SCOPED_TRACE(r.file);
        openAndRead(QString::fromLatin1(r.model), QByteArray(r.gasDefinition));
        prompts.boxes.clear();
        runCheck();

        ASSERT_EQ(prompts.boxes.size(), 1) << prompts.shown().join(" | ").toStdString();
        EXPECT_TRUE(prompts.shown()[0].startsWith("question: LoggerArea Check / "));
        EXPECT_TRUE(hasInfo(resultLine("OK"), kGreen)) << infoLines().last().text.toStdString();
        const qsizetype check = requestIndex(QStringLiteral("XH,E,"));
        const qsizetype lastBlock = requestIndex(QStringLiteral("EP,R,01FF"));
        ASSERT_GE(check, 0);
        ASSERT_GT(lastBlock, check);
        EXPECT_EQ(requests().count(QStringLiteral("EP,R,01FF")), 1);
        // Both logs cleared before the check data and again after the download.
        EXPECT_LT(requestIndex(QStringLiteral("XC,W,")), check);
        EXPECT_LT(requestIndex(QStringLiteral("XY,W,")), check);
        EXPECT_GT(requestIndex(QStringLiteral("XC,W,"), true), lastBlock);
        EXPECT_GT(requestIndex(QStringLiteral("XY,W,"), true), lastBlock);
        EXPECT_TRUE(logsErased());
        EXPECT_TRUE(hasInfo(QStringLiteral("71-Series WriteDummyData Complete ."), kGreen));
        EXPECT_EQ(AppState::OperationState(), 0);
        EXPECT_TRUE(window->fraCommand(1)->isEnabled());
        closeWindow();
    }
}

TEST_F(LoggerCheckWindow, OneDifferingByteOutsideTheWorkingAreaFails) {
    openAndRead(QStringLiteral("KM"));
    QByteArray reference = CheckImage(QStringLiteral("KM"));
    reference[5000] = char(reference[5000] ^ 1);
    ASSERT_TRUE(WriteBytes(inFolder("KM71_CheckKM.DAT"), reference));
    runCheck();
    EXPECT_TRUE(hasInfo(resultLine("NG"), kRed));
    EXPECT_FALSE(hasInfoText(QStringLiteral("... OK")));
}

TEST_F(LoggerCheckWindow, AMissingReferenceEndsWithABoxNamingIt) {
    openAndRead(QStringLiteral("KM"));
    setCheckReferenceFolders({m_folder.path()});
    runCheck();
    ASSERT_EQ(prompts.boxes.size(), 2) << prompts.shown().join(" | ").toStdString();
    EXPECT_TRUE(prompts.shown()[1].startsWith("critical: "));
    EXPECT_TRUE(prompts.shown()[1].contains("KM71_CheckKM.DAT"));
    EXPECT_TRUE(prompts.shown()[1].contains("missing"));
    EXPECT_FALSE(hasInfoText(QStringLiteral("LoggerArea Check")));
    EXPECT_TRUE(logsErased()) << "the logs are cleared before the comparison";
    EXPECT_TRUE(window->fraCommand(1)->isEnabled());
}

TEST_F(LoggerCheckWindow, NoToTheQuestionTouchesNothing) {
    openAndRead(QStringLiteral("KM"));
    prompts.answerYes = false;
    runCheck();
    EXPECT_TRUE(requests().isEmpty());
    EXPECT_TRUE(infoLines().isEmpty());
}

TEST_F(LoggerCheckWindow, AFailedClearStopsTheCheckWithItsBox) {
    openAndRead(QStringLiteral("KM"));
    detector->faults().deadLine = true;
    runCheck();
    ASSERT_EQ(prompts.boxes.size(), 2);
    EXPECT_EQ(prompts.shown()[1], QStringLiteral("message: ") + AppTitle() +
                                      QStringLiteral(" / Clear log data failed"));
    EXPECT_LT(requestIndex(QStringLiteral("XH,E,")), 0);
    EXPECT_FALSE(hasInfoText(QStringLiteral("LoggerArea Check")));
    EXPECT_EQ(AppState::OperationState(), 0);
    EXPECT_TRUE(window->fraCommand(1)->isEnabled());
}

TEST_F(LoggerCheckWindow, AFailedDownloadIsNgEvenWithAMatchingOldImage) {
    openAndRead(QStringLiteral("KM"));
    // An image from an earlier check that would pass.
    ASSERT_TRUE(WriteBytes(window->LoggerImagePath(), CheckImage(QStringLiteral("KM"))));
    // The detector falls silent once the check data is written.
    bool written = false;
    QObject::connect(detector, &SimDetector::frameReceived, [&](const QByteArray& frame) {
        if (written) detector->faults().deadLine = true;
        if (frame.contains("XH,E")) written = true;
    });
    runCheck();
    EXPECT_TRUE(hasInfo(QStringLiteral("Data Download Failed."), kRed));
    EXPECT_TRUE(hasInfo(resultLine("NG"), kRed));
    EXPECT_EQ(AppState::OperationState(), 0);
}

TEST_F(LoggerCheckWindow, FramDumpWritesTheListing) {
    openAndRead(QStringLiteral("KM"));
    QPushButton* button = window->cmdFRAMDump();
    ASSERT_TRUE(button->isVisible());
    QTest::mouseClick(button, Qt::LeftButton);

    ASSERT_EQ(prompts.boxes.size(), 1);
    EXPECT_EQ(prompts.shown()[0],
              QStringLiteral("question: FRAM Dump / FRAM Dump List Download\r\nReady?"));
    EXPECT_GE(requestIndex(QStringLiteral("EF,R,")), 0);
    EXPECT_GT(ReadBytes(inFolder(QString::fromLatin1(kFramDumpFile))).size(), 1000);
    EXPECT_TRUE(hasInfo(QStringLiteral("Dump List Download () Start."), kBrown));
    EXPECT_TRUE(hasInfo(QStringLiteral("Dump List Download () Finished."), kBrown));
    const QString log = QString::fromUtf8(ReadBytes(inFolder("SerialLog.log")));
    EXPECT_GE(log.count(QStringLiteral("--- Dump List Download Finished. ---(")), 1);
    EXPECT_EQ(AppState::OperationState(), 0);
    EXPECT_TRUE(window->fraCommand(0)->isEnabled());
}

TEST_F(LoggerCheckWindow, FramDumpRefusedOrDeclined) {
    openAndRead(QStringLiteral("KM"));
    prompts.answerYes = false;
    EXPECT_FALSE(FramDumpCommand(*window));
    EXPECT_TRUE(requests().isEmpty());

    window->link().setRunDensty(true);
    prompts.boxes.clear();
    EXPECT_FALSE(FramDumpCommand(*window));
    window->link().setRunDensty(false);
    ASSERT_EQ(prompts.boxes.size(), 1);
    EXPECT_EQ(prompts.shown()[0],
              QStringLiteral("information: No communication available to FRAM / "
                             "It can not be performed due to operating of "
                             "other issues."));
    EXPECT_FALSE(QFile::exists(inFolder(QString::fromLatin1(kFramDumpFile))));
}

TEST_F(LoggerCheckWindow, AFailedDumpIsReportedAsFailed) {
    openAndRead(QStringLiteral("KM"));
    detector->faults().deadLine = true;
    EXPECT_FALSE(FramDumpCommand(*window));
    EXPECT_TRUE(hasInfo(QStringLiteral("Dump List Download () Failed."), kRed));
    EXPECT_FALSE(hasInfoText(QStringLiteral("Finished.")));
    EXPECT_EQ(AppState::OperationState(), 0);
}

} // namespace
