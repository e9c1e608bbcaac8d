// The link log file and its rotation.
#include "common/TempStartupFolder.h"

#include "link/LinkLog.h"
#include "shell/AppState.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <gtest/gtest.h>

namespace {

class LinkLogTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    void TearDown() override {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QByteArray read(const QString& name) const {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    void write(const QString& name, const QByteArray& content) {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    static QString copy(int i) { return QStringLiteral("SerialLog%1.log").arg(i); }

    TempStartupFolder m_dir;
};

TEST_F(LinkLogTest, LinesAreAppendedWithTimeAndCrLf) {
    const QDate day(2025, 1, 7);
    EXPECT_TRUE(WriteLinkLog(QStringLiteral("first"), QDateTime(day, QTime(9, 5, 7))));
    EXPECT_TRUE(
        WriteLinkLog(QStringLiteral("R : [STX]0001XS,R,[ETX]"), QDateTime(day, QTime(21, 0, 0))));
    EXPECT_EQ(read(QStringLiteral("SerialLog.log")),
              QByteArray("09:05:07 first\r\n21:00:00 R : [STX]0001XS,R,[ETX]\r\n"));
}

TEST_F(LinkLogTest, AFolderThatCannotBeWrittenLosesTheLineQuietly) {
    AppState::setStartupFolder(path(QStringLiteral("no/such/folder")));
    EXPECT_FALSE(WriteLinkLog(QStringLiteral("lost")));
}

TEST_F(LinkLogTest, RotationKeepsNineOlderLogsAndDropsTheOldest) {
    write(QStringLiteral("SerialLog.log"), "current");
    for (int i = 1; i <= 9; ++i)
        write(copy(i), QByteArray::number(i));
    EXPECT_TRUE(RotateSerialLogs());
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("SerialLog.log"))));
    EXPECT_EQ(read(copy(1)), QByteArray("current"));
    for (int i = 2; i <= 9; ++i)
        EXPECT_EQ(read(copy(i)), QByteArray::number(i - 1)) << i;
    EXPECT_FALSE(QFile::exists(path(copy(10))));
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files).size(), 9);
}

TEST_F(LinkLogTest, RotationMovesEachLogOneStepAcrossGaps) {
    write(QStringLiteral("SerialLog.log"), "current");
    write(copy(3), "three");
    EXPECT_TRUE(RotateSerialLogs());
    EXPECT_EQ(read(copy(1)), QByteArray("current"));
    EXPECT_EQ(read(copy(4)), QByteArray("three"));
    EXPECT_FALSE(QFile::exists(path(copy(2))));
    EXPECT_FALSE(QFile::exists(path(copy(3))));
}

TEST_F(LinkLogTest, ALogThatWillNotGoAwayIsNotWaitedForEndlessly) {
    // A folder in place of the oldest copy cannot be removed like a file.
    ASSERT_TRUE(QDir(m_dir.path()).mkpath(copy(9) + QStringLiteral("/keep")));
    write(copy(8), "eight");
    write(QStringLiteral("SerialLog.log"), "current");
    EXPECT_FALSE(RotateSerialLogs(0));
    EXPECT_EQ(read(copy(1)), QByteArray("current")) << "the other logs still rotate";
}

TEST_F(LinkLogTest, GeneralDateFollowsTheLocale) {
    const QDateTime when(QDate(2025, 1, 7), QTime(9, 30, 0));
    EXPECT_EQ(GeneralDateText(when), QStringLiteral("1/7/25 9:30:00 AM"));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(GeneralDateText(when), QStringLiteral("07.01.25 09:30:00"));
}

} // namespace
