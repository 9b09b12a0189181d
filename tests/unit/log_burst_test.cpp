#include "support/log_burst.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace pm {
namespace {

TEST(LogBurst, OneEntryPerBurstThenTheNumberLeftOut) {
    LogBurst burst(1000);
    EXPECT_EQ(burst.ShouldLog(182, 5000), 0u);
    EXPECT_EQ(burst.ShouldLog(182, 5500), std::nullopt);
    EXPECT_EQ(burst.ShouldLog(182, 6400), std::nullopt);
    EXPECT_EQ(burst.ShouldLog(182, 7399), std::nullopt) << "the gap counts from the latest refusal";
    EXPECT_EQ(burst.ShouldLog(182, 8399), 3u) << "quiet for the whole gap";
    EXPECT_EQ(burst.ShouldLog(182, 8400), std::nullopt);
    EXPECT_EQ(LeftOutText(3), L" (3 more since the last entry)");
    EXPECT_EQ(LeftOutText(0), L"");
}

TEST(LogBurst, EachCodeHasItsOwnBurst) {
    LogBurst burst(1000);
    EXPECT_EQ(burst.ShouldLog(182, 0), 0u);
    EXPECT_EQ(burst.ShouldLog(183, 10), 0u);
    EXPECT_EQ(burst.ShouldLog(182, 20), std::nullopt);
    EXPECT_EQ(burst.ShouldLog(183, 1010), 0u) << "182's refusals do not keep 183's burst going";
}

TEST(LogBurst, AnEarlierTimeThatArrivesLateStaysInTheBurst) {
    // Threads read the tick before they call: the times may come out of order.
    LogBurst burst(1000);
    EXPECT_EQ(burst.ShouldLog(7, 5000), 0u);
    EXPECT_EQ(burst.ShouldLog(7, 4000), std::nullopt);
    EXPECT_EQ(burst.ShouldLog(7, 5999), std::nullopt);
    EXPECT_EQ(burst.ShouldLog(7, 6999), 2u);
}

TEST(LogBurst, ThreadsAtOnceLoseNoCount) {
    // Each thread refuses its own code and a code they share, all starting together.
    constexpr int kThreads = 8, kEach = 20000;
    LogBurst burst(1000);
    std::atomic<bool> go{false};
    std::atomic<int> written{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            while (!go)
                std::this_thread::yield();
            for (int i = 0; i < kEach; ++i) {
                if (burst.ShouldLog(7, 100)) ++written;
                if (burst.ShouldLog(100 + t, 100)) ++written;
            }
        });
    }
    go = true;
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(written, 1 + kThreads);
    EXPECT_EQ(burst.ShouldLog(7, 1100), uint64_t(kThreads * kEach - 1));
    EXPECT_EQ(burst.ShouldLog(105, 1100), uint64_t(kEach - 1));
}

}  // namespace
}  // namespace pm
