#include "shell/OleDate.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

QDateTime local(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

} // namespace

TEST(OleDate, KnownDaysBothWays) {
    struct Case {
        double value;
        QDateTime dateTime;
    };
    const Case cases[] = {
        {0.0, local(1899, 12, 30)},
        {1.0, local(1899, 12, 31)},
        {2.0, local(1900, 1, 1)},
        {-1.0, local(1899, 12, 29)},
        {-101.0, local(1899, 9, 20)},
        {36526.0, local(2000, 1, 1)},
        {45658.0, local(2025, 1, 1)},
        // The fraction is the time of day, also before the epoch.
        {0.5, local(1899, 12, 30, 12)},
        {0.25, local(1899, 12, 30, 6)},
        {45658.75, local(2025, 1, 1, 18)},
        {-1.25, local(1899, 12, 29, 6)},
        {-101.5, local(1899, 9, 20, 12)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OleToDateTime(c.value), c.dateTime) << c.value;
        EXPECT_DOUBLE_EQ(DateTimeToOle(c.dateTime), c.value) << c.value;
    }
}

TEST(OleDate, TimeOfDayToTheSecondSurvivesTheRoundTrip) {
    for (const QDateTime& dt : {local(2024, 2, 29, 23, 59, 59), local(1999, 12, 31, 0, 0, 1),
                                local(2037, 7, 4, 13, 14, 15), local(1899, 1, 1, 7, 30, 45)}) {
        EXPECT_EQ(OleToDateTime(DateTimeToOle(dt)), dt) << dt.toString().toStdString();
    }
}

TEST(OleDate, NegativeValuesNearZeroCountTimeFromTheEpochDay) {
    // -0.5 and 0.5 both name noon of the epoch day.
    EXPECT_EQ(OleToDateTime(-0.5), local(1899, 12, 30, 12));
    // A fraction that rounds up to midnight lands on the next day.
    EXPECT_EQ(OleToDateTime(1.0 - 1e-10), local(1899, 12, 31));
    EXPECT_EQ(OleToDateTime(-1.0 - (1.0 - 1e-10)), local(1899, 12, 30));
}

TEST(OleDate, ValuesOutsideTheDateRangeGiveAnInvalidDateTime) {
    EXPECT_FALSE(OleToDateTime(std::nan("")).isValid());
    EXPECT_FALSE(OleToDateTime(INFINITY).isValid());
    EXPECT_FALSE(OleToDateTime(1e12).isValid());
    EXPECT_FALSE(OleToDateTime(-1e12).isValid());
    EXPECT_TRUE(OleToDateTime(2958465.0).isValid()); // 31 Dec 9999
    EXPECT_EQ(DateTimeToOle(QDateTime()), 0.0);
}

TEST(OleDate, NowIsTodaysDate) {
    const QDate before = QDate::currentDate();
    const double now = OleNow();
    const QDate after = QDate::currentDate();
    const QDate got = OleToDateTime(now).date();
    EXPECT_TRUE(got == before || got == after);
    EXPECT_GE(now - std::floor(now), 0.0);
}
