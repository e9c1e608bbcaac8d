// Every file the program reads, fed with bad input: empty, cut short, binary garbage, very long
// lines, 10,000 fields, wrong separators, CR-only line ends and non-ASCII text. Each gives a
// clear error or its documented fallback, the records in memory stay as they were, the input
// file is left untouched and no half-written file appears.
#include "configuration/ToolConfig.h"
#include "configuration/ToolSettings.h"
#include "factory/StationCsv.h"
#include "instrument/SettingsFile.h"
#include "instrument/clsInstrument.h"
#include "sim/SimDetector.h"
#include "ui/LoggerCheck.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <random>

namespace {

struct BadInput {
    const char* name;
    QByteArray bytes;
};

QByteArray Garbage(int size, unsigned seed) {
    std::mt19937 random(seed);
    QByteArray bytes(size, '\0');
    for (char& c : bytes)
        c = char(random() & 0xFF);
    return bytes;
}

QByteArray Joined(const QStringList& lines, const char* end) {
    return lines.join(QLatin1String(end)).toUtf8() + end;
}

// The bad variants of one valid file whose lines are `lines` and whose field separator is
// `separator` ("," or a tab); `wrongSeparator` replaces it in the wrong-separator variant.
QList<BadInput> BadVariants(const QStringList& lines, char separator, char wrongSeparator) {
    const QByteArray valid = Joined(lines, "\r\n");
    QByteArray wrong = valid;
    wrong.replace(separator, wrongSeparator);
    QByteArray manyFields = lines.value(0).toUtf8();
    for (int i = 0; i < 10000; ++i)
        manyFields += separator + QByteArray::number(i % 10);
    QByteArray nonAscii = valid;
    nonAscii.insert(0, QStringLiteral("\u00dcberwachung \u99c5 \u00e9t\u00e9%1\u0394\r\n")
                           .arg(QLatin1Char(separator))
                           .toUtf8());
    nonAscii += QByteArray("\xff\xfe\xc3\x28\xa0\xa1\r\n");
    return {
        {"empty", QByteArray()},
        {"truncated", valid.left(valid.size() / 2 + 3)},
        {"binary garbage", Garbage(8192, 7)},
        {"garbage with NULs and line ends", Garbage(4096, 11).replace('\x01', '\n')},
        {"very long line", QByteArray(2 * 1024 * 1024, 'A')},
        {"very long line after valid lines", valid + QByteArray(300000, '9') + "\r\n" + valid},
        {"10000 fields", manyFields + "\r\n"},
        {"wrong separators", wrong},
        {"CR-only line ends", Joined(lines, "\r")},
        {"non-ASCII text", nonAscii},
    };
}

class BadInputSweep : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_folder.isValid()); }

    QString put(const char* name, const QByteArray& bytes) {
        const QString path = m_folder.filePath(QLatin1String(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        return path;
    }
    // The input is left as it was and no other file (a half-written copy) appeared.
    void expectFolderUntouched(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), bytes);
        EXPECT_EQ(QDir(m_folder.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    QTemporaryDir m_folder;
};

// A record as read from a detector: every setting holds a value, no change flag raised.
clsInstrument DetectorRecord(const QString& model) {
    clsInstrument record;
    const QStringList lines = SettingsFile::Lines(clsInstrument());
    SettingsFile::ApplyLines(lines, record);
    record.setStationID(QStringLiteral("STATION 1"));
    record.setModelTyp(model);
    record.ClearChangeFlags();
    return record;
}

TEST_F(BadInputSweep, ConfigurationFileImportEitherNamesTheLineOrChangesNothing) {
    clsInstrument source = DetectorRecord(QStringLiteral("KM"));
    source.setWarning(0, 12.0f);
    source.setAlarm(0, 25.0f);
    const QStringList valid = SettingsFile::Lines(source);
    for (const BadInput& input : BadVariants(valid, ',', ';')) {
        SCOPED_TRACE(input.name);
        const QString path = put("bad.seq", input.bytes);
        clsInstrument working = DetectorRecord(QStringLiteral("KM"));
        clsInstrument master = DetectorRecord(QStringLiteral("KM"));
        const QStringList workingBefore = SettingsFile::Lines(working);
        const QStringList masterBefore = SettingsFile::Lines(master);
        const SettingsFile::ReadResult result = SettingsFile::Import(path, working, master);
        if (!result.ok) {
            EXPECT_TRUE(result.error.contains(QLatin1String("bad.seq")))
                << result.error.toStdString();
            EXPECT_EQ(SettingsFile::Lines(working), workingBefore);
            EXPECT_EQ(SettingsFile::Lines(master), masterBefore);
            EXPECT_FALSE(working.ImportFlag());
        } else if (QByteArray(input.name) == "CR-only line ends") {
            // CR-only line ends are line ends: the file reads completely.
            EXPECT_EQ(working.Warning(0), 12.0f);
            EXPECT_EQ(working.Alarm(0), 25.0f);
        }
        expectFolderUntouched(path, input.bytes);
    }
}

TEST_F(BadInputSweep, ToolConfigurationSkipsWhatItDoesNotKnow) {
    ToolSettings written;
    written.LinkRetry = 5;
    written.LinkTimeout = 7;
    const QStringList valid = ToolConfigurationLines(written, QStringLiteral("pw"),
                                                     QDateTime(QDate(2026, 1, 1), QTime()));
    for (const BadInput& input : BadVariants(valid, '\t', ',')) {
        SCOPED_TRACE(input.name);
        const QString path = put(kToolConfigName, input.bytes);
        ToolSettings settings;
        QString password = QStringLiteral("before");
        const ToolConfigReadResult result = ReadToolConfigurationFile(path, settings, password);
        EXPECT_TRUE(result.Found);
        // The link settings hold either what the file says or their fallback, never anything else.
        EXPECT_TRUE(settings.LinkRetry == 3 || settings.LinkRetry == 5) << settings.LinkRetry;
        EXPECT_TRUE(settings.LinkTimeout == 3 || settings.LinkTimeout == 7) << settings.LinkTimeout;
        EXPECT_TRUE(password == QLatin1String("before") || password == QLatin1String("pw"));
        if (QByteArray(input.name) == "wrong separators" || QByteArray(input.name) == "empty" ||
            QByteArray(input.name) == "very long line") {
            // Nothing recognisable: nothing changes.
            EXPECT_EQ(
                ToolConfigurationLines(settings, password, QDateTime(QDate(2026, 1, 1), QTime())),
                ToolConfigurationLines(ToolSettings(), QStringLiteral("before"),
                                       QDateTime(QDate(2026, 1, 1), QTime())));
        }
        expectFolderUntouched(path, input.bytes);
    }
}

TEST_F(BadInputSweep, StationListReadsAtMostItsLinesWithoutLineEnds) {
    const QStringList names{QStringLiteral("NORTH GATE"), QStringLiteral("TANK 7")};
    const QStringList valid = QString::fromLatin1(StationCsv::FileText(names, QStringLiteral(",")))
                                  .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    for (const BadInput& input : BadVariants(valid, ',', ';')) {
        SCOPED_TRACE(input.name);
        const QString path = put("stations.csv", input.bytes);
        QStringList read{QStringLiteral("kept")};
        QString error;
        EXPECT_TRUE(
            StationCsv::Read(path, QStringLiteral(","), StationCsv::kLineCount, &read, &error));
        EXPECT_LE(read.size(), StationCsv::kLineCount);
        for (const QString& name : read) {
            EXPECT_FALSE(name.contains(QLatin1Char('\n')) || name.contains(QLatin1Char('\r')));
            EXPECT_LE(name.size(), 64 * 1024);
        }
        if (QByteArray(input.name) == "empty") {
            EXPECT_TRUE(read.isEmpty());
        }
        expectFolderUntouched(path, input.bytes);
    }
    QStringList read;
    QString error;
    EXPECT_FALSE(StationCsv::Read(m_folder.filePath(QStringLiteral("missing.csv")),
                                  QStringLiteral(","), StationCsv::kLineCount, &read, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(BadInputSweep, LoggerImageAndCheckFileOfTheWrongSizeAreNamedNotCompared) {
    SimDetector detector(QStringLiteral("KM"));
    const QByteArray image = detector.memoryImage();
    ASSERT_EQ(image.size(), kCheckImageSize);
    const QString good = put("good.DAT", image);
    for (const BadInput& input : BadVariants({QStringLiteral("x,y")}, ',', ';')) {
        SCOPED_TRACE(input.name);
        const QString bad = put("bad.DAT", input.bytes);
        for (const bool badIsReference : {true, false}) {
            const CheckComparison result =
                badIsReference ? CompareCheckData(bad, good) : CompareCheckData(good, bad);
            if (input.bytes.size() < kCheckImageSize) {
                EXPECT_FALSE(result.compared);
                EXPECT_FALSE(result.same());
                EXPECT_EQ(result.problemFile, bad);
                EXPECT_EQ(result.problemSize, input.bytes.size());
            } else {
                // A long enough file is compared over its first 32 KiB; garbage never matches.
                EXPECT_TRUE(result.compared);
                EXPECT_FALSE(result.same());
            }
        }
    }
}

} // namespace
