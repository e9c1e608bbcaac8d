#include "shell/OleDate.h"

#include <cmath>

namespace {

constexpr double MsPerDay = 86400000.0;
// Day values of 1 January 100 and 31 December 9999, the range of the date type.
constexpr double FirstDay = -657434.0;
constexpr double LastDay = 2958465.0;

QDate epoch() {
    return QDate(1899, 12, 30);
}

} // namespace

double DateTimeToOle(const QDateTime& dateTime) {
    if (!dateTime.isValid()) return 0.0;
    const double days = double(epoch().daysTo(dateTime.date()));
    const double fraction = dateTime.time().msecsSinceStartOfDay() / MsPerDay;
    // Before the epoch the time of day still counts away from zero.
    return days < 0 ? days - fraction : days + fraction;
}

QDateTime OleToDateTime(double value) {
    if (!std::isfinite(value) || value < FirstDay - 1.0 || value > LastDay + 1.0) return {};
    const double whole = std::trunc(value);
    qint64 ms = qint64(std::llround(std::fabs(value - whole) * MsPerDay));
    QDate date = epoch().addDays(qint64(whole));
    if (ms >= qint64(MsPerDay)) { // rounding reached midnight of the following day
        ms -= qint64(MsPerDay);
        date = date.addDays(1);
    }
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(int(ms)));
}

double OleNow() {
    return DateTimeToOle(QDateTime::currentDateTime());
}
