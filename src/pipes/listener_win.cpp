#include "pipes/listener_win.h"

#include <sddl.h>

#include <algorithm>
#include <chrono>

#include "pipes/message_codes.h"
#include "pipes/pipe_transport_win.h"
#include "support/error_log_win.h"
#include "support/marks_win.h"
#include "support/names_win.h"

namespace pm {
namespace {

// Neither carries anything: a message of these numbers from elsewhere on the desktop
// can at most make the window look at its own queue.
constexpr UINT kMsgHandOver = WM_APP + 0x20;
constexpr UINT kMsgPipeTaken = WM_APP + 0x21;

constexpr DWORD kFirstPause = 250, kLastPause = 5000;
// Idle instances: one more is made while fewer than kSpares wait, and a worker whose
// connection ends while more than kMaxIdle wait ends too. The gap keeps a steady
// stream of peers from starting a thread per request.
constexpr int kSpares = 2, kMaxIdle = 4;
// While peers are being cut (within kAttackSpell of the last cut), many instances
// wait at once: a peer cut as it arrives comes back at once, and the print server's
// few tries must still find an instance that is free at that moment.
constexpr int kAttackSpares = 24, kAttackMaxIdle = 28;
constexpr ULONGLONG kAttackSpell = 10000;
// Requests read but not yet run on the user-interface thread. A peer whose request
// finds the queue full waits for room, as it waited for the hand-over when requests
// were served one at a time; if the room does not come before the peer itself would
// give up, it gets the failure reply rather than the queue growing without bound.
constexpr size_t kMaxQueued = 256;
constexpr auto kRoomWait = std::chrono::milliseconds(4000);  // within the peer's own wait for the reply

// How long a request waits, after its reply, for its sender's name to be looked up;
// past that it is shown with the account's SID.
constexpr unsigned kNameWait = 2000;

constexpr int32_t kLogPipeTaken = 201;       // the name is served already
constexpr int32_t kLogNoPipeSecurity = 202;  // the access list cannot be built
constexpr DWORD kWorkerStack = 64 * 1024;

// The client process at the other end, with its computer when the system reports one.
std::wstring ClientKey(HANDLE pipe) {
    ULONG process = 0;
    GetNamedPipeClientProcessId(pipe, &process);
    return std::to_wstring(process) + L"@" + ClientComputerOf(pipe);
}

// Adds `delta` to the count of `key`; the new count. Entries at zero are dropped.
int Count(std::vector<std::pair<std::wstring, int>>& counts, const std::wstring& key, int delta) {
    auto found = std::find_if(counts.begin(), counts.end(), [&](const auto& entry) { return entry.first == key; });
    if (found == counts.end()) found = counts.insert(counts.end(), {key, 0});
    const int count = found->second += delta;
    if (count <= 0) counts.erase(found);
    return count;
}

uint32_t CodeFrom(const uint8_t bytes[4]) {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

}  // namespace

// ---- hand-over ----

void HandOverQueue::Push(uint32_t code, const RequestBytes& record, PeerIdentity peer) {
    {
        const std::lock_guard lock(mutex);
        requests.push_back({code, record, std::move(peer)});
    }
    // Served wherever the user-interface thread takes messages, modal loops included.
    if (const HWND w = window.load()) SendNotifyMessageW(w, kMsgHandOver, 0, 0);
}

void HandOverQueue::ReportTaken(const std::wstring& ownerSid) {
    {
        const std::lock_guard lock(mutex);
        takenBy = ownerSid;
    }
    if (const HWND w = window.load()) PostMessageW(w, kMsgPipeTaken, 0, 0);
}

RequestHandOver::RequestHandOver() : queue_(std::make_shared<HandOverQueue>()) {}

RequestHandOver::~RequestHandOver() {
    queue_->window = nullptr;
}

bool RequestHandOver::Create() {
    CreateArgs args;
    args.className = L"PrintMirovant.HandOver";
    args.style = 0;
    args.x = args.y = args.width = args.height = 0;
    args.owner = HWND_MESSAGE;
    if (!CreateWindowFor(args)) return false;
    queue_->window = Handle();
    // Requests read (and a taken name found) before the window existed waited for it.
    PostMessageW(Handle(), kMsgHandOver, 0, 0);
    PostMessageW(Handle(), kMsgPipeTaken, 0, 0);
    return true;
}

void RequestHandOver::RunQueued() {
    // A handler that pumps messages (a box, a pipe wait) gets here again: the loop
    // below takes the next request once that handler has returned.
    if (running_) return;
    running_ = true;
    for (;;) {
        HandOverQueue::Request request;
        {
            const std::lock_guard lock(queue_->mutex);
            if (queue_->requests.empty()) break;
            request = queue_->requests.front();
            queue_->requests.pop_front();
        }
        queue_->taken.notify_all();
        try {
            if (request.code == code::kTextMessage && onText) onText(DecodeTextMessage(request.record), request.peer);
            if (request.code == code::kAuthRequest && onAuth) onAuth(request.record, request.peer);
        } catch (...) {
            // A failing handler must not take the user-interface thread down.
        }
    }
    running_ = false;
}

LRESULT RequestHandOver::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case kMsgHandOver:
            RunQueued();
            return 0;
        case kMsgPipeTaken: {
            std::wstring owner;
            {
                const std::lock_guard lock(queue_->mutex);
                owner.swap(queue_->takenBy);
            }
            // Only a report of the listener's own carries an owner.
            if (!owner.empty() && onPipeTaken) onPipeTaken(owner);
            return 0;
        }
    }
    return Window::HandleMessage(msg, wp, lp);
}

// ---- security ----

std::wstring PipeSecuritySddl(const std::wstring& userSid) {
    // 0x12019b: read and write, without FILE_CREATE_PIPE_INSTANCE.
    return L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;" + userSid + L")(A;;0x12019b;;;WD)(A;;0x12019b;;;AN)";
}

SECURITY_ATTRIBUTES* PipeSecurity() {
    static std::mutex mutex;
    static SECURITY_ATTRIBUTES* attributes = nullptr;
    const std::lock_guard lock(mutex);
    if (attributes) return attributes;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const std::wstring sid = ProcessUserSid();
    if (sid.empty() || !ConvertStringSecurityDescriptorToSecurityDescriptorW(PipeSecuritySddl(sid).c_str(),
                                                                             SDDL_REVISION_1, &descriptor, nullptr))
        return nullptr;
    // Kept for the life of the process, as every instance of the pipe uses it.
    attributes = new SECURITY_ATTRIBUTES{sizeof(SECURITY_ATTRIBUTES), descriptor, FALSE};
    return attributes;
}

std::optional<std::wstring> PipeOwnerSid(const std::wstring& pipeName) {
    // Opening connects to a waiting instance, which only reads a request that never
    // comes and closes; READ_CONTROL is all that is asked for.
    const UniqueFile pipe(CreateFileW(pipeName.c_str(), READ_CONTROL, 0, nullptr, OPEN_EXISTING,
                                      SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
    if (!pipe) {
        switch (GetLastError()) {
            case ERROR_FILE_NOT_FOUND:
            case ERROR_PATH_NOT_FOUND:
                return std::wstring();
            case ERROR_ACCESS_DENIED:
                // Our own instances let the user read their owner: this one is not ours.
                return std::wstring(L"(unknown)");
            default:
                return std::nullopt;  // every instance busy, or no answer yet
        }
    }
    const std::optional<std::wstring> owner = ObjectOwnerSid(pipe.Get());
    if (!owner) return std::nullopt;
    return owner->empty() ? L"(unknown)" : *owner;
}

// ---- the listener ----

struct TMessenger::Worker {
    TMessenger* owner = nullptr;
    UniqueFile pipe;  // closed when the worker is reaped, never under a running I/O
    UniqueHandle thread;
    std::atomic<bool> finished{false};
};

DWORD WINAPI TMessenger::SuperviseThread(void* self) {
    static_cast<TMessenger*>(self)->Supervise();
    return 0;
}

DWORD WINAPI TMessenger::WorkThread(void* worker) {
    auto* w = static_cast<Worker*>(worker);
    w->owner->Work(*w);
    return 0;
}

TMessenger::TMessenger(std::wstring pipeName, const RequestHandOver& handOver)
    : pipeName_(std::move(pipeName)),
      queue_(handOver.Queue()),
      admit_(handOver.admit),
      trusted_(handOver.trusted),
      stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

TMessenger::~TMessenger() {
    Stop();
}

void TMessenger::Start() {
    if (supervisor_) return;
    supervisor_.Reset(
        CreateThread(nullptr, kWorkerStack, &SuperviseThread, this, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
}

void TMessenger::Stop() {
    SetEvent(stop_.Get());
    if (supervisor_) WaitForSingleObject(supervisor_.Get(), INFINITE);
    supervisor_.Reset();
    const std::lock_guard lock(workersMutex_);
    // A worker inside a read gives up at once rather than after its five seconds.
    for (const auto& worker : workers_)
        CancelIoEx(worker->pipe.Get(), nullptr);
    for (const auto& worker : workers_)
        WaitForSingleObject(worker->thread.Get(), INFINITE);
    workers_.clear();
}

bool TMessenger::NameTakenByAnother() {
    const std::optional<std::wstring> owner = PipeOwnerSid(pipeName_);
    if (owner && owner->empty()) {
        warned_ = false;  // free: a later squatter is reported again
        busySince_ = 0;
        return false;
    }
    if (!owner) {
        // Busy and unknown: looked at again after the retry pause. A name kept busy
        // for a minute is as good as taken: the user is told, as for a squatter.
        const ULONGLONG now = GetTickCount64();
        if (!busySince_) busySince_ = now;
        if (!warned_ && now - busySince_ >= busyReport) {
            warned_ = true;
            LogError(kLogPipeTaken, ERROR_PIPE_BUSY, L"Listener: pipe name kept busy by another program: " + pipeName_);
            queue_->ReportTaken(L"(unknown)");
        }
        return true;
    }
    busySince_ = 0;
    // Another logon of this user keeps today's behaviour: the name is shared.
    if (*owner == ProcessUserSid() || *owner == ProcessDefaultOwnerSid()) return false;
    if (!warned_) {
        warned_ = true;
        LogError(kLogPipeTaken, 0, L"Listener: pipe name served by another account " + *owner + L": " + pipeName_);
        queue_->ReportTaken(*owner);
    }
    return true;
}

UniqueFile TMessenger::CreateInstance() {
    SECURITY_ATTRIBUTES* security = PipeSecurity();
    if (!security) {
        // Never an instance with the default access list.
        LogError(kLogNoPipeSecurity, int32_t(GetLastError()), L"Listener: no access list for " + pipeName_);
        return {};
    }
    const DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED;
    auto create = [&](DWORD extra) {
        return UniqueFile(CreateNamedPipeW(pipeName_.c_str(), openMode | extra,
                                           PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 100, 1024000, 1024000,
                                           1000, security));
    };
    UniqueFile pipe;
    if (firstInstance_) {
        pipe = create(FILE_FLAG_FIRST_PIPE_INSTANCE);
        if (!pipe && GetLastError() == ERROR_ACCESS_DENIED) {
            // Someone created the name since it was found free: joined only when that is
            // another logon of this user, never beside another account's instances.
            if (NameTakenByAnother()) return {};
            LogError(kLogPipeTaken, ERROR_ACCESS_DENIED, L"Listener: pipe already exists: " + pipeName_);
            firstInstance_ = false;
        }
    }
    if (!pipe) pipe = create(0);
    if (pipe) firstInstance_ = false;
    return pipe;
}

bool TMessenger::StartWorker(UniqueFile pipe) {
    auto worker = std::make_unique<Worker>();
    worker->owner = this;
    worker->pipe = std::move(pipe);
    ++live_;
    ++waiting_;
    worker->thread.Reset(
        CreateThread(nullptr, kWorkerStack, &WorkThread, worker.get(), STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    if (!worker->thread) {
        --live_;
        --waiting_;
        return false;
    }
    const std::lock_guard lock(workersMutex_);
    workers_.push_back(std::move(worker));
    return true;
}

void TMessenger::ReapFinished() {
    const std::lock_guard lock(workersMutex_);
    std::erase_if(workers_, [](const std::unique_ptr<Worker>& worker) {
        if (!worker->finished) return false;
        WaitForSingleObject(worker->thread.Get(), INFINITE);
        return true;
    });
}

void TMessenger::Supervise() {
    DWORD pause = kFirstPause;
    const HANDLE waits[] = {wake_.Get(), stop_.Get()};
    while (!Terminated()) {
        ReapFinished();
        if (live_ == 0) {
            firstInstance_ = true;
            if (NameTakenByAnother()) {
                if (WaitForSingleObject(stop_.Get(), warned_ ? kTakenRetry : pause) == WAIT_OBJECT_0) break;
                pause = std::min(pause * 2, kLastPause);
                continue;
            }
        }
        if (waiting_ < Spares() && live_ < kMaxConnections) {
            UniqueFile pipe = CreateInstance();
            if (!pipe || !StartWorker(std::move(pipe))) {
                // Never a busy loop: the pause grows while creation keeps failing.
                if (WaitForSingleObject(stop_.Get(), pause) == WAIT_OBJECT_0) break;
                pause = std::min(pause * 2, kLastPause);
            } else {
                marks::Mark("the listener's pipe accepting");
                pause = kFirstPause;
            }
            continue;
        }
        WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    }
}

void TMessenger::Work(Worker& worker) {
    const HANDLE pipe = worker.pipe.Get();
    RequestBytes buffer;
    for (;;) {
        const bool connected = WaitForPeer(pipe);
        const int stillWaiting = --waiting_;
        if (!connected) break;  // stopping, or the instance is unusable
        // The supervisor keeps instances waiting for the next peers.
        if (stillWaiting < Spares()) SetEvent(wake_.Get());
        const ULONGLONG arrived = GetTickCount64();
        const std::wstring client = ClientKey(pipe);
        bool withinShare;
        {
            const std::lock_guard lock(sharesMutex_);
            withinShare = Count(peers_, client, 1) <= kPeerShare;
        }
        if (!withinShare) {
            Cut();  // one process holds its share already: cut before anything is read
            DisconnectNamedPipe(pipe);
        } else if (Serve(pipe, buffer, arrived)) {
            CloseConnection(pipe);
        } else {
            DisconnectNamedPipe(pipe);  // nothing to read: the peer finds the connection closed at once
        }
        {
            const std::lock_guard lock(sharesMutex_);
            Count(peers_, client, -1);
        }
        if (Terminated() || waiting_ >= (UnderAttack() ? kAttackMaxIdle : kMaxIdle)) break;
        ++waiting_;
    }
    DisconnectNamedPipe(pipe);
    --live_;
    worker.finished = true;
    SetEvent(wake_.Get());
}

bool TMessenger::WaitForPeer(HANDLE pipe) {
    const UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED ov = {};
    ov.hEvent = event.Get();
    if (ConnectNamedPipe(pipe, &ov)) return true;
    switch (GetLastError()) {
        case ERROR_PIPE_CONNECTED:
        case ERROR_NO_DATA:  // a peer that came and went may have left its request to read
            return true;
        case ERROR_IO_PENDING:
            break;
        default:
            return false;
    }
    const HANDLE waits[] = {ov.hEvent, stop_.Get()};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        CancelIoEx(pipe, &ov);
        DWORD ignored;
        GetOverlappedResult(pipe, &ov, &ignored, TRUE);
        return false;
    }
    DWORD ignored;
    return GetOverlappedResult(pipe, &ov, &ignored, FALSE) != FALSE;
}

bool TMessenger::Serve(HANDLE pipe, RequestBytes& buffer, ULONGLONG arrived) {
    // A short record must not carry the bytes (a PIN, a printer) of the request before it.
    buffer.fill(0);
    uint8_t codeBytes[4] = {};
    if (!ReadPart(pipe, codeBytes, 4, arrived)) {
        WriteCode(pipe, code::kReadFailure);
        return true;
    }
    const uint32_t code = CodeFrom(codeBytes);
    if (code != code::kTextMessage && code != code::kAuthRequest) return false;  // unknown: no reply
    if (code == code::kAuthRequest) marks::Mark("dialog: the request's code read");
    // Asked while the peer is surely connected: once it has the reply, it may be gone.
    PeerIdentity peer = IdentifyPeer(pipe);
    if (code == code::kAuthRequest) marks::Mark("dialog: the peer identified");
    const std::wstring account = PeerAccountKey(peer);
    const bool trusted = trusted_ && trusted_(peer);
    if (!EnterAccount(account, trusted)) {
        Cut();
        WriteCode(pipe, code::kReadFailure);
        return true;
    }
    const bool whole = ReadPart(pipe, buffer.data(), DWORD(buffer.size()), arrived);
    const bool admitted = whole && (!admit_ || admit_(code, buffer, peer)) && WaitForRoom();
    LeaveAccount(account, trusted);
    if (!admitted) {
        WriteCode(pipe, code::kReadFailure);
        return true;
    }
    WriteCode(pipe, code::kAck);
    if (code == code::kAuthRequest) marks::Mark("dialog: the record read and acknowledged");
    // The name only now: a print server waits for its reply, not for a domain controller.
    NamePeer(peer, kNameWait);
    if (code == code::kAuthRequest) marks::Mark("dialog: the peer's name looked up");
    queue_->Push(code, buffer, std::move(peer));
    return true;
}

void TMessenger::Cut() {
    ++cut_;
    lastCut_ = GetTickCount64();
    if (waiting_ < kAttackSpares) SetEvent(wake_.Get());
}

bool TMessenger::UnderAttack() const {
    const ULONGLONG last = lastCut_;
    return last && GetTickCount64() - last < kAttackSpell;
}

int TMessenger::Spares() const {
    return UnderAttack() ? kAttackSpares : kSpares;
}

bool TMessenger::EnterAccount(const std::wstring& account, bool trusted) {
    if (trusted) return true;
    const std::lock_guard lock(sharesMutex_);
    if (untrusted_ >= kMaxConnections - kReserved) return false;
    if (Count(accounts_, account, 1) > kAccountShare) {
        Count(accounts_, account, -1);
        return false;
    }
    ++untrusted_;
    return true;
}

void TMessenger::LeaveAccount(const std::wstring& account, bool trusted) {
    if (trusted) return;
    const std::lock_guard lock(sharesMutex_);
    Count(accounts_, account, -1);
    --untrusted_;
}

bool TMessenger::ReadPart(HANDLE pipe, void* data, DWORD count, ULONGLONG arrived) {
    const UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED ov = {};
    ov.hEvent = event.Get();
    DWORD got = 0;
    if (ReadFile(pipe, data, count, &got, &ov)) return true;
    if (GetLastError() != ERROR_IO_PENDING) return false;
    const HANDLE waits[] = {ov.hEvent, stop_.Get()};
    constexpr DWORD kSlice = 50;
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        const DWORD waited = WaitForMultipleObjects(2, waits, FALSE, kSlice);
        if (waited == WAIT_OBJECT_0) return GetOverlappedResult(pipe, &ov, &got, FALSE) != FALSE;
        const ULONGLONG now = GetTickCount64();
        // Under pressure, a peer slower than the print server loses its place.
        const bool pressed = live_ - waiting_ >= kPressure && now - arrived >= kPressureWait;
        if (waited != WAIT_TIMEOUT || now - start >= kPipeWaits * kPipeWaitInterval || pressed) {
            if (pressed) Cut();
            break;
        }
    }
    CancelIoEx(pipe, &ov);
    // Completes now either way: cancelled, or finished just before the cancel.
    return GetOverlappedResult(pipe, &ov, &got, TRUE) != FALSE;
}

bool TMessenger::WaitForRoom() {
    // Against a deadline: another worker may take the room each time it comes, and
    // every wake-up then finds the queue full again.
    const auto deadline = std::chrono::steady_clock::now() + kRoomWait;
    std::unique_lock lock(queue_->mutex);
    while (queue_->requests.size() >= kMaxQueued) {
        const auto now = std::chrono::steady_clock::now();
        if (Terminated() || now >= deadline) return false;
        queue_->taken.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(kPipeWaitInterval)));
    }
    return true;
}

void TMessenger::CloseConnection(HANDLE pipe) {
    // Wait, boundedly, until the peer has read the reply and gone: a read on our end
    // ends when the peer closes its end. A peer that never reads is cut off after
    // the wait, when the disconnect discards what it left unread.
    const UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED ov = {};
    ov.hEvent = event.Get();
    uint8_t scratch[64];
    DWORD got = 0;
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= kReplyReadWait) break;
        ResetEvent(ov.hEvent);
        if (ReadFile(pipe, scratch, sizeof scratch, &got, &ov)) continue;  // more bytes: drop them
        const DWORD error = GetLastError();
        if (error == ERROR_MORE_DATA) continue;
        if (error != ERROR_IO_PENDING) break;  // the peer has gone
        const HANDLE waits[] = {ov.hEvent, stop_.Get()};
        if (WaitForMultipleObjects(2, waits, FALSE, kReplyReadWait - elapsed) == WAIT_OBJECT_0) {
            if (!GetOverlappedResult(pipe, &ov, &got, FALSE) && GetLastError() != ERROR_MORE_DATA) break;
            continue;
        }
        CancelIoEx(pipe, &ov);
        GetOverlappedResult(pipe, &ov, &got, TRUE);
        break;
    }
    DisconnectNamedPipe(pipe);
}

}  // namespace pm
