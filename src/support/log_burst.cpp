#include "support/log_burst.h"

#include <algorithm>
#include <utility>

namespace pm {

std::optional<uint64_t> LogBurst::ShouldLog(int32_t code, uint64_t nowMs) {
    const std::lock_guard lock(mutex_);
    const auto burst = std::find_if(bursts_.begin(), bursts_.end(), [&](const Burst& b) { return b.code == code; });
    if (burst == bursts_.end()) {
        bursts_.push_back({code, nowMs, 0});
        return 0;
    }
    // Threads read the tick before they take the lock, so an earlier time may come
    // second: it neither ends the burst nor moves its last refusal back.
    const bool quiet = nowMs >= burst->lastMs && nowMs - burst->lastMs >= quietGapMs_;
    burst->lastMs = std::max(burst->lastMs, nowMs);
    if (!quiet) {
        ++burst->leftOut;
        return std::nullopt;
    }
    return std::exchange(burst->leftOut, 0);
}

std::wstring LeftOutText(uint64_t leftOut) {
    return leftOut ? L" (" + std::to_wstring(leftOut) + L" more since the last entry)" : std::wstring();
}

}  // namespace pm
