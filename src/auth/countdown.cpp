#include "auth/countdown.h"

#include <cmath>

#include "support/day_count.h"

namespace pm {

int RemainingSeconds(double submitted, double now) {
    if (!DateTimeFromDayCount(submitted)) submitted = 0;
    if (!DateTimeFromDayCount(now)) return 0;
    // Through whole milliseconds first, so 10 s does not come out as 9.99999 s.
    const long long ms = std::llround(std::fabs(now - submitted) * 86'400'000.0);
    const long long elapsed = ms / 1000;
    return elapsed >= kJobLifetimeSeconds ? 0 : int(kJobLifetimeSeconds - elapsed);
}

std::wstring CountdownText(std::wstring_view templateText, int remainingSeconds) {
    if (remainingSeconds < 0) remainingSeconds = 0;
    const int seconds = remainingSeconds % 60;
    const std::wstring time =
        std::to_wstring(remainingSeconds / 60) + (seconds < 10 ? L":0" : L":") + std::to_wstring(seconds);
    std::wstring text(templateText);
    const size_t at = text.find(L'%');
    if (at != std::wstring::npos) text.replace(at, 1, time);
    return text;
}

}  // namespace pm
