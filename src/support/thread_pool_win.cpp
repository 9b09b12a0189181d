#include "support/thread_pool_win.h"

namespace pm {
namespace {

// The termination packet: no item, and an overlapped pointer with all bits set.
OVERLAPPED* const kTerminationPacket = reinterpret_cast<OVERLAPPED*>(~uintptr_t(0));

}  // namespace

TThreadQueue::TThreadQueue() : port_(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 0)) {}

void TThreadQueue::Post(uintptr_t item) {
    if (!closed_) PostQueuedCompletionStatus(port_.Get(), 0, item, nullptr);
}

bool TThreadQueue::Pop(uintptr_t& item) {
    if (!closed_) {
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* overlapped = nullptr;
        const BOOL ok = GetQueuedCompletionStatus(port_.Get(), &bytes, &key, &overlapped, INFINITE);
        if (ok && !closed_ && overlapped != kTerminationPacket) {
            item = key;
            return true;
        }
        // A failed wait without a packet means the port itself is unusable: no cascade.
        if (!ok && !overlapped) {
            item = 0;
            closed_ = true;
            return false;
        }
    }
    item = 0;
    Close();
    return false;
}

void TThreadQueue::Close() {
    PostQueuedCompletionStatus(port_.Get(), 0, 0, kTerminationPacket);
    closed_ = true;
}

TSimpleThread::TSimpleThread(Body body) : body_(std::move(body)) {
    thread_.Reset(CreateThread(nullptr, 0, &TSimpleThread::ThreadProc, this, 0, nullptr));
}

TSimpleThread::~TSimpleThread() {
    WaitFor();
}

void TSimpleThread::WaitFor() const {
    if (thread_) WaitForSingleObject(thread_.Get(), INFINITE);
}

DWORD WINAPI TSimpleThread::ThreadProc(void* self) {
    auto* thread = static_cast<TSimpleThread*>(self);
    try {
        if (thread->body_) thread->body_(*thread);
    } catch (...) {
        // Nothing may leave a thread body.
    }
    return 0;
}

TThreadPool::TThreadPool(int workers, Handler handler) : handler_(std::move(handler)), workerCount_(workers) {}

void TThreadPool::Post(uintptr_t item) {
    std::call_once(started_, [this] {
        for (int i = 0; i < workerCount_; ++i)
            workers_.push_back(std::make_unique<TSimpleThread>([this](TSimpleThread& worker) { WorkerLoop(worker); }));
    });
    queue_.Post(item);
}

TThreadPool::~TThreadPool() {
    queue_.Close();
    for (auto& worker : workers_)
        worker->Terminate();
    while (!workers_.empty()) {
        workers_.front()->WaitFor();
        workers_.erase(workers_.begin());
    }
}

void TThreadPool::WorkerLoop(TSimpleThread& worker) {
    uintptr_t item = 0;
    while (queue_.Pop(item)) {
        if (worker.Terminated()) return;
        try {
            handler_(item, worker);
        } catch (...) {
            // A failing item must not stop the worker: drop it and go on.
        }
    }
}

}  // namespace pm
