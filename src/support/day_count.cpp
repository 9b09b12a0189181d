#include "support/day_count.h"

#include <cmath>
#include <cstdint>

namespace pm {
namespace {

constexpr int64_t kMsPerDay = 86'400'000;

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Days since 0000-03-01 of a proleptic Gregorian date, and back (H. Hinnant's algorithms).
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = int(yoe + era * 400 + (m <= 2));
}

}  // namespace

bool IsValidDateTime(const LocalTime& t) {
    return t.year >= 1 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
           t.day <= DaysInMonth(t.year, t.month) && t.hour >= 0 && t.hour < 24 && t.minute >= 0 && t.minute < 60 &&
           t.second >= 0 && t.second < 60 && t.millisecond >= 0 && t.millisecond < 1000;
}

std::optional<double> DayCountFromDateTime(const LocalTime& t) {
    if (!IsValidDateTime(t)) return std::nullopt;
    const double days = double(DaysFromCivil(t.year, t.month, t.day) - DaysFromCivil(1899, 12, 30));
    const double time =
        double(((int64_t(t.hour) * 60 + t.minute) * 60 + t.second) * 1000 + t.millisecond) / double(kMsPerDay);
    return days < 0 ? days - time : days + time;
}

std::optional<LocalTime> DateTimeFromDayCount(double dayCount) {
    if (!std::isfinite(dayCount) || dayCount < kMinDayCount || dayCount >= kMaxDayCount) return std::nullopt;
    const double whole = std::trunc(dayCount);
    int64_t ms = int64_t(std::llround(std::fabs(dayCount - whole) * double(kMsPerDay)));
    if (ms >= kMsPerDay) ms = kMsPerDay - 1;  // a fraction that rounds up to the next midnight
    LocalTime t;
    CivilFromDays(int64_t(whole) + DaysFromCivil(1899, 12, 30), t.year, t.month, t.day);
    t.hour = int(ms / 3'600'000);
    t.minute = int(ms / 60'000 % 60);
    t.second = int(ms / 1000 % 60);
    t.millisecond = int(ms % 1000);
    return t;
}

}  // namespace pm
