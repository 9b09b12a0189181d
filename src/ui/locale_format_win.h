#pragma once
// Numbers, money and dates in the user's own locale.

#include <cstdint>
#include <string>

#include "support/clock.h"

namespace pm::ui {

// An amount given in thousandths of the currency unit (1500 is 1.5), with the
// locale's symbol, its position, negative form, separators, grouping and decimals.
// The format is built from the locale's values and passed explicitly, which every
// system formats the same way.
std::wstring FormatCurrency(int64_t thousandths);

// Short date, a blank, long time; the time is left out at midnight (hours, minutes
// and seconds zero). "" when the system cannot format the date.
std::wstring FormatDateTime(const LocalTime& time);

}  // namespace pm::ui
