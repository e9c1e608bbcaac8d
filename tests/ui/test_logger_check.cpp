// The logger-area check (comparison rules, the shipped reference files, the whole sequence
// against the simulated detector) and the memory dump button.
#include "instrument/clsInstrument.h"
#include "link/Frame.h"
#include "link/SimTransport.h"
#include "link/VirtualClock.h"
#include "link/uclHvif.h"
#include "shell/AppState.h"
#include "shell/Messages.h"
#include "sim/SimDetector.h"
#include "sim/SimMemoryImage.h"
#include "ui/LoggerCheck.h"
#include "ui/UiPrompts.h"
#include "ui/frmMain.h"

#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <gtest/gtest.h>
#include <memory>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

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
        m_savedFolder = AppState::StartupFolder();
        AppState::setStartupFolder(m_folder.path());
        setCheckReferenceFolders({});
        SetMessageLanguage(QStringLiteral("EN"));
    }
    void TearDown() override {
        setCheckReferenceFolders({});
        AppState::setOperationState(0);
        AppState::setStartupFolder(m_savedFolder);
    }
    QString inFolder(const QString& name) const { return QDir(m_folder.path()).filePath(name); }

    QTemporaryDir m_folder;
    QString m_savedFolder;
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

// The reference files built into the program are what the simulated detectors hold after the
// check data was written (the working area aside).
TEST_F(LoggerCheckFiles, ShippedReferencesMatchTheSimulatedDetectors) {
    for (const Reference& r : kReferences) {
        SCOPED_TRACE(r.file);
        const QString builtIn = QStringLiteral(":/core/") + QString::fromLatin1(r.file);
        EXPECT_EQ(FindCheckReference(QString::fromLatin1(r.file)), builtIn);
        ASSERT_EQ(ReadBytes(builtIn).size(), kCheckImageSize);
        ASSERT_TRUE(WriteBytes(inFolder("sim.dat"), CheckImage(QString::fromLatin1(r.model))));
        EXPECT_TRUE(CompareCheckData(builtIn, inFolder("sim.dat")).same());
    }
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

class RecordingPrompts : public UiPrompts {
public:
    bool question(QWidget*, const QString& title, const QString& text) override {
        boxes << QStringLiteral("question: ") + title + QStringLiteral(" / ") + text;
        return answer;
    }
    void information(QWidget*, const QString& title, const QString& text) override {
        boxes << QStringLiteral("information: ") + title + QStringLiteral(" / ") + text;
    }
    void critical(QWidget*, const QString& title, const QString& text) override {
        boxes << QStringLiteral("critical: ") + title + QStringLiteral(" / ") + text;
    }
    void message(QWidget*, const QString& title, const QString& text) override {
        boxes << QStringLiteral("message: ") + title + QStringLiteral(" / ") + text;
    }
    bool answer = true;
    QStringList boxes;
};

struct InfoLine {
    QString text;
    QColor colour;
};

const QColor kGreen(0, 192, 0);
const QColor kRed(255, 0, 0);
const QColor kBrown(128, 32, 0);

class LoggerCheckWindow : public LoggerCheckFiles {
protected:
    void SetUp() override {
        LoggerCheckFiles::SetUp();
        m_savedDebug = AppState::DebugMode();
        m_savedFactory = AppState::FactoryMode();
    }
    void TearDown() override {
        window.reset();
        detector.reset();
        AppState::setDebugMode(m_savedDebug);
        AppState::setFactoryMode(m_savedFactory);
        LoggerCheckFiles::TearDown();
    }

    // The window in factory and debug mode on a simulated detector, connected and read.
    void openAndRead(const QString& model, const QByteArray& gasDefinition = {}) {
        AppState::setDebugMode(true);
        AppState::setFactoryMode(true);
        auto ownedClock = std::make_unique<VirtualClock>();
        ownedClock->setStartDateTime(QDateTime(QDate(2025, 1, 7), QTime(9, 30, 0)));
        VirtualClock* clock = ownedClock.get();
        auto link = std::make_unique<uclHvif>(std::move(ownedClock));
        detector = std::make_unique<SimDetector>(model);
        if (!gasDefinition.isEmpty()) detector->setValue("GJ", gasDefinition);
        link->setSerialTransport(std::make_unique<SimTransport>(detector.get(), clock));
        link->setPortLister([](const QString&) { return QList<SerialPortEntry>{}; });
        window = std::make_unique<frmMain>(std::move(link));
        window->setPrompts(&prompts);
        window->show();
        const qint64 end = clock->nowMs() + 60000;
        while (!window->link().Connected() && clock->nowMs() < end)
            clock->waitForEvents(end);
        ASSERT_TRUE(window->link().Connected());
        detector->setValue(
            "HC", clock->currentDateTime().toString(QStringLiteral("yyMMddHHmmss")).toLatin1());
        QTest::mouseClick(window->cmdDown(1), Qt::LeftButton);
        ASSERT_TRUE(window->working().CommFlags());
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

    // Request heads ("XC,C") the detector received, in order.
    QStringList requests() const {
        QStringList out;
        for (const QByteArray& frame : detector->receivedFrames()) {
            const qsizetype from = frame.indexOf(Ctl::STX) + 5;
            const qsizetype etx = frame.indexOf(Ctl::ETX);
            if (from >= 5 && etx > from) out << QString::fromLatin1(frame.mid(from, etx - from));
        }
        return out;
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

    QList<InfoLine> infoLines() const {
        QList<InfoLine> out;
        const QTextDocument* doc = window->rtbLog()->document();
        for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
            if (block.text().isEmpty()) continue;
            QColor colour;
            if (!block.begin().atEnd())
                colour = block.begin().fragment().charFormat().foreground().color();
            out.append({block.text(), colour});
        }
        return out;
    }
    bool hasInfo(const QString& text, const QColor& colour) const {
        for (const InfoLine& line : infoLines())
            if (line.text == text && line.colour == colour) return true;
        return false;
    }
    bool hasInfoText(const QString& text) const {
        for (const InfoLine& line : infoLines())
            if (line.text.contains(text)) return true;
        return false;
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

    RecordingPrompts prompts;
    std::unique_ptr<SimDetector> detector;
    std::unique_ptr<frmMain> window;

private:
    bool m_savedDebug = false;
    bool m_savedFactory = false;
};

TEST_F(LoggerCheckWindow, EachGasPassesAgainstItsReference) {
    for (const Reference& r : kReferences) {
        SCOPED_TRACE(r.file);
        openAndRead(QString::fromLatin1(r.model), QByteArray(r.gasDefinition));
        prompts.boxes.clear();
        runCheck();

        ASSERT_EQ(prompts.boxes.size(), 1) << prompts.boxes.join(" | ").toStdString();
        EXPECT_TRUE(prompts.boxes[0].startsWith("question: LoggerArea Check / "));
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
        window.reset();
        detector.reset();
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
    ASSERT_EQ(prompts.boxes.size(), 2) << prompts.boxes.join(" | ").toStdString();
    EXPECT_TRUE(prompts.boxes[1].startsWith("critical: "));
    EXPECT_TRUE(prompts.boxes[1].contains("KM71_CheckKM.DAT"));
    EXPECT_TRUE(prompts.boxes[1].contains("missing"));
    EXPECT_FALSE(hasInfoText(QStringLiteral("LoggerArea Check")));
    EXPECT_TRUE(logsErased()) << "the logs are cleared before the comparison";
    EXPECT_TRUE(window->fraCommand(1)->isEnabled());
}

TEST_F(LoggerCheckWindow, NoToTheQuestionTouchesNothing) {
    openAndRead(QStringLiteral("KM"));
    prompts.answer = false;
    runCheck();
    EXPECT_TRUE(requests().isEmpty());
    EXPECT_TRUE(infoLines().isEmpty());
}

TEST_F(LoggerCheckWindow, AFailedClearStopsTheCheckWithItsBox) {
    openAndRead(QStringLiteral("KM"));
    detector->faults().deadLine = true;
    runCheck();
    ASSERT_EQ(prompts.boxes.size(), 2);
    EXPECT_EQ(prompts.boxes[1], QStringLiteral("message: ") + AppTitle() +
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
    QObject::connect(detector.get(), &SimDetector::frameReceived, [&](const QByteArray& frame) {
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
    EXPECT_EQ(prompts.boxes[0],
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
    prompts.answer = false;
    EXPECT_FALSE(FramDumpCommand(*window));
    EXPECT_TRUE(requests().isEmpty());

    window->link().setRunDensty(true);
    prompts.boxes.clear();
    EXPECT_FALSE(FramDumpCommand(*window));
    window->link().setRunDensty(false);
    ASSERT_EQ(prompts.boxes.size(), 1);
    EXPECT_EQ(prompts.boxes[0], QStringLiteral("information: No communication available to FRAM / "
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
