#include "support/day_count.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace pm {
namespace {

TEST(DayCount, KnownDates) {
    EXPECT_EQ(DayCountFromDateTime({1899, 12, 30, 0, 0, 0, 0}), 0.0);
    EXPECT_EQ(DayCountFromDateTime({1900, 1, 1, 0, 0, 0, 0}), 2.0);
    EXPECT_EQ(DayCountFromDateTime({2026, 12, 8, 12, 0, 0, 0}), 46364.5);
    EXPECT_EQ(DayCountFromDateTime({1899, 12, 29, 6, 0, 0, 0}), -1.25);
    EXPECT_EQ(DayCountFromDateTime({2026, 2, 29, 0, 0, 0, 0}), std::nullopt);
}

TEST(DayCount, BackToDateAndTime) {
    const auto t = DateTimeFromDayCount(46364.5 + 1.0 / 86400.0 * 3.045);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->year, 2026);
    EXPECT_EQ(t->month, 12);
    EXPECT_EQ(t->day, 8);
    EXPECT_EQ(t->hour, 12);
    EXPECT_EQ(t->second, 3);
    EXPECT_EQ(t->millisecond, 45);
    const auto before = DateTimeFromDayCount(-1.25);
    ASSERT_TRUE(before);
    EXPECT_EQ(before->day, 29);
    EXPECT_EQ(before->hour, 6);
}

TEST(DayCount, RoundTripsEveryMillisecondBoundary) {
    for (const LocalTime t : {LocalTime{1, 1, 1, 0, 0, 0, 0}, LocalTime{9999, 12, 31, 23, 59, 59, 999},
                              LocalTime{2000, 2, 29, 13, 14, 15, 16}, LocalTime{1850, 7, 4, 1, 2, 3, 4}}) {
        const auto back = DateTimeFromDayCount(*DayCountFromDateTime(t));
        ASSERT_TRUE(back);
        EXPECT_EQ(back->year, t.year);
        EXPECT_EQ(back->day, t.day);
        EXPECT_EQ(back->hour, t.hour);
        EXPECT_EQ(back->millisecond, t.millisecond) << t.year;
    }
}

TEST(DayCount, NotADateIsRefusedNotConverted) {
    // Regression: a hostile record's Submitted must never reach undefined behaviour.
    EXPECT_EQ(DateTimeFromDayCount(std::numeric_limits<double>::quiet_NaN()), std::nullopt);
    EXPECT_EQ(DateTimeFromDayCount(std::numeric_limits<double>::infinity()), std::nullopt);
    EXPECT_EQ(DateTimeFromDayCount(-std::numeric_limits<double>::infinity()), std::nullopt);
    EXPECT_EQ(DateTimeFromDayCount(1e300), std::nullopt);
    EXPECT_EQ(DateTimeFromDayCount(-693594.0), std::nullopt);
    EXPECT_EQ(DateTimeFromDayCount(2958466.0), std::nullopt);
    EXPECT_TRUE(DateTimeFromDayCount(2958465.9999999));
}

}  // namespace
}  // namespace pm
