#pragma once
// Thins out the log entries of refusals that come in bursts, so that a peer refused
// by the hundred thousand cannot fill the log: the first refusal of a code is
// written; later ones of the same code are only counted until the code has been
// quiet for a gap (no refusal of it at all), and the next one after that is written
// again, with the number left out in between.
//
// Any thread (the listener's threads call it). Times are a steady count of
// milliseconds that the caller reads (GetTickCount64), never the time of day.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace pm {

class LogBurst {
public:
    static constexpr uint64_t kQuietGapMs = 60'000;

    explicit LogBurst(uint64_t quietGapMs = kQuietGapMs) : quietGapMs_(quietGapMs) {}

    // Counts one refusal of `code` at `nowMs`. Empty when no entry is to be written;
    // otherwise the number of refusals of the code left out since its last entry.
    std::optional<uint64_t> ShouldLog(int32_t code, uint64_t nowMs);

private:
    struct Burst {
        int32_t code;
        uint64_t lastMs;   // the latest refusal, written or not
        uint64_t leftOut;  // since the last entry written
    };

    const uint64_t quietGapMs_;
    std::mutex mutex_;
    std::vector<Burst> bursts_;  // one per code ever refused
};

// The end of an entry that follows left-out ones: " (N more since the last entry)",
// or "" when none were left out.
std::wstring LeftOutText(uint64_t leftOut);

}  // namespace pm
