#pragma once
// TMessenger: the listener on the user's own pipe \\.\PIPE\PrintMirovant-<user>.
//
// Several connections are served at once, each by a worker thread that owns one
// pipe instance and keeps it between requests (so no other program can take the
// name in between). A supervisor thread makes sure an instance is always waiting
// for the next peer while others are being served, up to kMaxConnections in
// progress; surplus idle workers end. A worker reads the request code and the
// 1616-byte record (each read waits at most about five seconds), asks the system
// who the peer is, replies, and queues the request with that identity; closing a
// connection waits at most about five seconds for the peer to read the reply. One
// stalled peer therefore holds one worker, never the pipe.
//
// Many stalled peers cannot hold them all either. One client process (on one
// computer) has at most kPeerShare connections in progress, and its next ones are cut
// the moment they arrive; accounts outside "PrintServerAccounts" together hold at most
// kMaxConnections - kReserved, one account at most kAccountShare. While half the pool
// is in use, a connection that has not delivered its whole request within
// kPressureWait of arriving is cut: the print server writes its code and record at once.
//
// Queued requests reach the user-interface thread through a RequestHandOver
// window, one at a time and in the order they were read; a handler that pumps
// messages (a box, a pipe wait) never has the next request run inside it.
//
// Before it creates its first instance, the listener looks for an instance that
// serves the name already. One owned by another account is never joined: the
// user is told once (onPipeTaken), the event is logged, and the name is tried
// again every 10 s. Instances are created only with the access list of
// PipeSecurity(); without it, none is created.
//
// The client stops its listener when its main window goes (at Exit and at the end
// of the session), before the process's statics are destroyed.

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "pipes/peer_identity_win.h"
#include "pipes/request_record.h"
#include "support/unique_win.h"
#include "ui/window_win.h"

namespace pm {

// The requests the listener has read, waiting for the user-interface thread.
// Shared by the listener's threads and the window; outlives either.
struct HandOverQueue {
    struct Request {
        uint32_t code;
        RequestBytes record;
        PeerIdentity peer;
    };
    std::mutex mutex;
    std::condition_variable taken;  // a request left the queue
    std::deque<Request> requests;
    std::wstring takenBy;  // the owner SID of a taken name, for the warning
    std::atomic<HWND> window{nullptr};

    // Any thread. Wakes the window; it runs the handlers in the order of pushing.
    void Push(uint32_t code, const RequestBytes& record, PeerIdentity peer);
    void ReportTaken(const std::wstring& ownerSid);
};

// A message-only window of the user-interface thread that runs the handlers.
class RequestHandOver final : public ui::Window {
public:
    RequestHandOver();
    ~RequestHandOver() override;

    // Each with the identity of the peer that sent the request.
    std::function<void(const std::wstring& text, const PeerIdentity& peer)> onText;    // ShowTextMessage
    std::function<void(const RequestBytes& record, const PeerIdentity& peer)> onAuth;  // ShowAuthRequest
    // Asked on a listener thread before the acknowledgement; false makes the reply
    // the failure code and drops the request. Must be safe on any thread.
    std::function<bool(uint32_t code, const RequestBytes& record, const PeerIdentity& peer)> admit;
    // The pipe name is served by another account (its SID): the user is told.
    std::function<void(const std::wstring& ownerSid)> onPipeTaken;
    // Asked on a listener thread: the peer's account is a trusted print server's, which
    // always finds room. Must be safe on any thread; default none is.
    std::function<bool(const PeerIdentity& peer)> trusted;

    bool Create();
    const std::shared_ptr<HandOverQueue>& Queue() const { return queue_; }

private:
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void RunQueued();

    std::shared_ptr<HandOverQueue> queue_;
    bool running_ = false;  // a handler is running: later requests wait for it
};

// The security attributes every instance of the listener's pipe is created with:
// every account (anonymous included) may open, read and write it; only the user,
// the administrators and the system have full control. Not inheritable.
// Built on first success; nullptr while the descriptor cannot be built.
SECURITY_ATTRIBUTES* PipeSecurity();
// The access list of PipeSecurity as SDDL, for the given user SID.
std::wstring PipeSecuritySddl(const std::wstring& userSid);
// The owner SID of the instance that serves `pipeName` now: "" when nobody serves
// it, nullopt when it is served but cannot be asked (every instance busy).
std::optional<std::wstring> PipeOwnerSid(const std::wstring& pipeName);

class TMessenger {
public:
    static constexpr int kMaxConnections = 64;  // connections in progress at once
    // How long closing a connection waits for the peer to read the reply.
    static constexpr DWORD kReplyReadWait = 5000;
    // How often a name served by another account is tried again.
    static constexpr DWORD kTakenRetry = 10000;
    // Connections in progress of one client process; of the accounts outside
    // "PrintServerAccounts" together, and of one of them.
    static constexpr int kPeerShare = 16;
    static constexpr int kReserved = 8;
    static constexpr int kAccountShare = kMaxConnections / 2;
    // From this many connections in progress, a request must arrive whole within kPressureWait.
    static constexpr int kPressure = kMaxConnections / 2;
    static constexpr DWORD kPressureWait = 250;
    // A name whose every instance stays busy this long is reported as taken.
    DWORD busyReport = 60000;

    // `handOver`'s handlers must be set; its window may come later (what is read
    // meanwhile waits in its queue).
    TMessenger(std::wstring pipeName, const RequestHandOver& handOver);
    ~TMessenger();  // stops and joins the threads
    TMessenger(const TMessenger&) = delete;
    TMessenger& operator=(const TMessenger&) = delete;

    void Start();
    // Stops every thread and waits for them; connections in progress are cut off.
    void Stop();

    // Instances created and not yet closed (tests, figures).
    int LiveInstances() const { return live_.load(); }
    // Connections cut for holding more than a share, or for arriving too slowly under pressure.
    int CutConnections() const { return cut_.load(); }

private:
    struct Worker;
    static DWORD WINAPI SuperviseThread(void* self);
    static DWORD WINAPI WorkThread(void* worker);
    void Supervise();
    bool NameTakenByAnother();
    UniqueFile CreateInstance();
    bool StartWorker(UniqueFile pipe);
    void Work(Worker& worker);
    bool WaitForPeer(HANDLE pipe);
    // Reads and answers one request; false when there is no reply for the peer to read.
    bool Serve(HANDLE pipe, RequestBytes& buffer, ULONGLONG arrived);
    // Reads `count` bytes within the listener's bounds (shorter under pressure).
    bool ReadPart(HANDLE pipe, void* data, DWORD count, ULONGLONG arrived);
    // The peer's account may take another connection; counted until LeaveAccount.
    bool EnterAccount(const std::wstring& account, bool trusted);
    // Counts a connection cut off; many instances then wait for a while (Spares).
    void Cut();
    bool UnderAttack() const;
    int Spares() const;
    void LeaveAccount(const std::wstring& account, bool trusted);
    // Waits, boundedly, while the queue is full; false when it stays full.
    bool WaitForRoom();
    void CloseConnection(HANDLE pipe);
    void ReapFinished();
    bool Terminated() const { return WaitForSingleObject(stop_.Get(), 0) == WAIT_OBJECT_0; }

    const std::wstring pipeName_;
    const std::shared_ptr<HandOverQueue> queue_;
    const std::function<bool(uint32_t, const RequestBytes&, const PeerIdentity&)> admit_;
    const std::function<bool(const PeerIdentity&)> trusted_;
    UniqueHandle stop_;
    UniqueHandle wake_;  // a worker has taken a peer: the supervisor checks the spares
    UniqueHandle supervisor_;
    std::mutex workersMutex_;
    std::vector<std::unique_ptr<Worker>> workers_;
    std::atomic<int> live_{0};     // instances of ours
    std::atomic<int> waiting_{0};  // instances waiting for a peer
    std::atomic<int> cut_{0};
    std::atomic<ULONGLONG> lastCut_{0};
    std::mutex sharesMutex_;                                      // guards the three below
    std::vector<std::pair<std::wstring, int>> peers_, accounts_;  // connections in progress by key
    int untrusted_ = 0;
    bool firstInstance_ = true;
    bool warned_ = false;
    ULONGLONG busySince_ = 0;  // every instance of the name busy since then
};

}  // namespace pm
