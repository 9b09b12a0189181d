#pragma once
// TMessenger: the listener on the user's own pipe \\.\PIPE\PrintMirovant-<user>.
//
// One background thread serves one connection at a time: it reads the request code
// and the 1616-byte record, acknowledges, and hands the request to the
// user-interface thread with SendMessage to a RequestHandOver window, blocking until
// the handler returns (this hand-over is the only synchronisation between the two
// threads). It keeps its pipe instance between requests, so no other program can
// take the name in between; a peer waits at most about five seconds to be served
// and is given at most about five seconds to read the reply.
//
// The client never stops its listener (it ends with the process); Stop() exists
// for tests.

#include <windows.h>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "auth/request_record.h"
#include "support/unique_win.h"
#include "ui/window_win.h"

namespace pm {

// A message-only window of the user-interface thread that runs the handlers.
class RequestHandOver final : public ui::Window {
public:
    std::function<void(const std::wstring& text)> onText;    // ShowTextMessage
    std::function<void(const RequestBytes& record)> onAuth;  // ShowAuthRequest

    bool Create();
    // From the listener thread: runs the handler on the window's thread and waits.
    // Takes the window handle, not the object: a window destroyed at exit makes the
    // call return at once instead of touching a freed object.
    static void HandOver(HWND window, uint32_t code, const RequestBytes& record);

private:
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;
};

// The security attributes every instance of the listener's pipe is created with:
// every account (anonymous included) may open, read and write it; only the user,
// the administrators and the system have full control. Not inheritable.
// Built once; nullptr when the descriptor cannot be built.
SECURITY_ATTRIBUTES* PipeSecurity();
// The access list of PipeSecurity as SDDL, for the given user SID.
std::wstring PipeSecuritySddl(const std::wstring& userSid);

class TMessenger {
public:
    // `handOver` must have its window already.
    TMessenger(std::wstring pipeName, const RequestHandOver& handOver);
    ~TMessenger();  // stops and joins the thread
    TMessenger(const TMessenger&) = delete;
    TMessenger& operator=(const TMessenger&) = delete;

    void Start();
    // Stops the thread and waits for it. Requests that the thread is handing over to
    // the calling thread meanwhile are served, so stopping from the user-interface
    // thread cannot deadlock.
    void Stop();

    // How long closing a connection waits for the peer to read the reply.
    static constexpr DWORD kReplyReadWait = 5000;

private:
    void Execute();
    bool CreateInstance();
    bool WaitForPeer();
    // Reads and answers one request; false when there is no reply for the peer to read.
    bool Serve();
    void CloseConnection();
    bool Terminated() const { return WaitForSingleObject(stop_.Get(), 0) == WAIT_OBJECT_0; }

    const std::wstring pipeName_;
    const HWND handOver_;  // the RequestHandOver's window
    UniqueHandle stop_;
    UniqueHandle finished_;
    UniqueFile pipe_;
    bool firstInstance_ = true;
    RequestBytes buffer_{};
    std::thread thread_;
};

}  // namespace pm
