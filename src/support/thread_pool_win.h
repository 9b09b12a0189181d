#pragma once
// A work queue on an I/O completion port and a fixed pool of worker threads.
//
// The queue carries bare pointer-sized items and neither copies nor frees them:
// an item belongs to the handler once taken, and items still queued when the
// pool is destroyed are neither handled nor freed (their owner must see to that).
// Post may be called from any thread; the port is the only synchronisation.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "support/unique_win.h"

namespace pm {

class TThreadQueue {
public:
    TThreadQueue();
    TThreadQueue(const TThreadQueue&) = delete;
    TThreadQueue& operator=(const TThreadQueue&) = delete;

    // Queues the item; on a closed queue the item is dropped.
    void Post(uintptr_t item);
    // Waits for the next item. False once the queue is closed or the termination packet
    // arrives; it then closes the queue again, which wakes the next waiting worker.
    bool Pop(uintptr_t& item);
    // Queues one termination packet and marks the queue closed.
    void Close();

private:
    UniqueHandle port_;
    std::atomic<bool> closed_{false};
};

// A thread that runs one callable once. The owner waits for it and frees it.
class TSimpleThread {
public:
    using Body = std::function<void(TSimpleThread&)>;

    explicit TSimpleThread(Body body);
    TSimpleThread(const TSimpleThread&) = delete;
    TSimpleThread& operator=(const TSimpleThread&) = delete;
    // Waits for the thread to end.
    ~TSimpleThread();

    void Terminate() { terminated_ = true; }
    bool Terminated() const { return terminated_; }
    void WaitFor() const;

private:
    static DWORD WINAPI ThreadProc(void* self);

    Body body_;
    std::atomic<bool> terminated_{false};
    UniqueHandle thread_;
};

class TThreadPool {
public:
    // Called on a worker for each item. Exceptions are caught and dropped per item.
    using Handler = std::function<void(uintptr_t item, TSimpleThread& worker)>;

    // The workers start with the first item: a pool that is never used costs no thread.
    TThreadPool(int workers, Handler handler);
    TThreadPool(const TThreadPool&) = delete;
    TThreadPool& operator=(const TThreadPool&) = delete;
    // Closes the queue, asks every worker to end and waits for each. No handler runs
    // after this returns; items still queued are not handled.
    ~TThreadPool();

    void Post(uintptr_t item);

private:
    void WorkerLoop(TSimpleThread& worker);

    Handler handler_;
    const int workerCount_;
    std::once_flag started_;
    TThreadQueue queue_;
    std::vector<std::unique_ptr<TSimpleThread>> workers_;
};

}  // namespace pm
