#pragma once
// Dates and times as a day count: whole days since 30 December 1899, the fraction
// the time of day (the form print jobs carry their time in).

#include <optional>

#include "support/clock.h"

namespace pm {

// The first and last day counts with a calendar date (1 January 0001, 31 December 9999).
inline constexpr double kMinDayCount = -693593.0;
inline constexpr double kMaxDayCount = 2958466.0;  // exclusive

bool IsValidDateTime(const LocalTime& t);

// The day count of a valid date and time; std::nullopt for an invalid one.
std::optional<double> DayCountFromDateTime(const LocalTime& t);

// The date and time of a day count; std::nullopt when the count is not finite or lies
// outside the range of dates. Before 30 December 1899 the fraction still counts
// forward from midnight (-1.25 is 29 December 1899, 06:00).
std::optional<LocalTime> DateTimeFromDayCount(double dayCount);

}  // namespace pm
