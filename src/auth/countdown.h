#pragma once
// The five-minute countdown of a held job.

#include <string>
#include <string_view>

namespace pm {

inline constexpr int kJobLifetimeSeconds = 300;

// Seconds left for a job submitted at `submitted` (a day count) when it is `now`:
// 300 minus the whole seconds between the two, in either order. A submitted time that
// is not a valid date counts as day 0, long past.
int RemainingSeconds(double submitted, double now);

// The template with its first "%" replaced by m:ss ("0:00" when nothing is left).
std::wstring CountdownText(std::wstring_view templateText, int remainingSeconds);

}  // namespace pm
