#include "support/thread_pool_win.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <atomic>
#include <mutex>
#include <set>
#include <stdexcept>
#include <vector>

#include "support/unique_win.h"

namespace pm {
namespace {

TEST(ThreadPool, OneWorkerHandlesEveryItemOnceInOrder) {
    std::vector<uintptr_t> seen;
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    {
        TThreadPool pool(1, [&](uintptr_t item, TSimpleThread&) {
            seen.push_back(item);
            if (item == 1000) SetEvent(done);
        });
        for (uintptr_t i = 1; i <= 1000; ++i)
            pool.Post(i);
        ASSERT_EQ(WaitForSingleObject(done, 10000), WAIT_OBJECT_0);
    }
    CloseHandle(done);
    ASSERT_EQ(seen.size(), 1000u);
    for (size_t i = 0; i < seen.size(); ++i)
        ASSERT_EQ(seen[i], i + 1);
}

// The process's threads, from the system's list.
int ThreadCount() {
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {sizeof entry};
    int count = 0;
    for (BOOL more = Thread32First(snapshot.Get(), &entry); more; more = Thread32Next(snapshot.Get(), &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    return count;
}

TEST(ThreadPool, WorkersStartWithTheFirstItemAndDestroyingThemEndsEveryOne) {
    // Each worker takes one termination packet and queues the next: all four wake.
    const int before = ThreadCount();
    auto pool = std::make_unique<TThreadPool>(4, [](uintptr_t, TSimpleThread&) {});
    EXPECT_EQ(ThreadCount(), before);
    pool->Post(1);
    EXPECT_EQ(ThreadCount(), before + 4);
    pool.reset();  // returns only when every worker has ended
    EXPECT_EQ(ThreadCount(), before);
}

TEST(ThreadPool, NoHandlerRunsAfterTheDestructorReturns) {
    std::atomic<bool> destroyed{false}, lateCall{false};
    std::atomic<int> handled{0};
    {
        TThreadPool pool(3, [&](uintptr_t, TSimpleThread&) {
            if (destroyed) lateCall = true;
            Sleep(1);
            ++handled;
        });
        for (uintptr_t i = 1; i <= 200; ++i)
            pool.Post(i);
    }
    destroyed = true;
    const int atEnd = handled;
    Sleep(100);
    EXPECT_FALSE(lateCall);
    EXPECT_EQ(handled, atEnd);
}

TEST(ThreadPool, ItemPostedAfterCloseIsNeverHandled) {
    TThreadQueue queue;
    queue.Post(1);
    queue.Close();
    queue.Post(2);
    uintptr_t item = 99;
    EXPECT_FALSE(queue.Pop(item));  // closed: returns at once
    EXPECT_EQ(item, 0u);
    EXPECT_FALSE(queue.Pop(item));
}

TEST(ThreadPool, QueueHandsOutItemsFirstInFirstOut) {
    TThreadQueue queue;
    for (uintptr_t i = 1; i <= 3; ++i)
        queue.Post(i);
    uintptr_t item = 0;
    for (uintptr_t i = 1; i <= 3; ++i) {
        ASSERT_TRUE(queue.Pop(item));
        EXPECT_EQ(item, i);
    }
}

TEST(ThreadPool, AThrowingHandlerDoesNotStopTheWorker) {
    std::vector<uintptr_t> seen;
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    {
        TThreadPool pool(1, [&](uintptr_t item, TSimpleThread&) {
            if (item == 2) throw std::runtime_error("bad item");
            seen.push_back(item);
            if (item == 3) SetEvent(done);
        });
        pool.Post(1);
        pool.Post(2);
        pool.Post(3);
        ASSERT_EQ(WaitForSingleObject(done, 10000), WAIT_OBJECT_0);
    }
    CloseHandle(done);
    EXPECT_EQ(seen, (std::vector<uintptr_t>{1, 3}));
}

TEST(ThreadPool, ManyWorkersShareTheItems) {
    std::mutex lock;
    std::multiset<uintptr_t> seen;
    {
        TThreadPool pool(4, [&](uintptr_t item, TSimpleThread&) {
            std::lock_guard<std::mutex> guard(lock);
            seen.insert(item);
        });
        for (uintptr_t i = 1; i <= 500; ++i)
            pool.Post(i);
        for (int wait = 0; wait < 500; ++wait) {
            {
                std::lock_guard<std::mutex> guard(lock);
                if (seen.size() == 500) break;
            }
            Sleep(10);
        }
    }
    EXPECT_EQ(seen.size(), 500u);
    for (uintptr_t i = 1; i <= 500; ++i)
        EXPECT_EQ(seen.count(i), 1u);
}

}  // namespace
}  // namespace pm
