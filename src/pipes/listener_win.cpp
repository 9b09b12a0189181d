#include "pipes/listener_win.h"

#include <sddl.h>

#include <algorithm>

#include "pipes/message_codes.h"
#include "pipes/pipe_transport_win.h"
#include "support/error_log_win.h"

namespace pm {
namespace {

constexpr UINT kMsgHandOver = WM_APP + 0x20;
constexpr DWORD kFirstPause = 250, kLastPause = 5000;

// Log code of a pipe name another process already serves.
constexpr int32_t kLogPipeTaken = 201;

std::wstring CurrentUserSid() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
    const UniqueHandle token(raw);
    DWORD size = 0;
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) return {};
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) return {};
    std::wstring sid = text;
    LocalFree(text);
    return sid;
}

}  // namespace

// ---- hand-over ----

bool RequestHandOver::Create() {
    CreateArgs args;
    args.className = L"PrintMirovant.HandOver";
    args.style = 0;
    args.x = args.y = args.width = args.height = 0;
    args.owner = HWND_MESSAGE;
    return CreateWindowFor(args);
}

void RequestHandOver::HandOver(HWND window, uint32_t code, const RequestBytes& record) {
    SendMessageW(window, kMsgHandOver, WPARAM(code), reinterpret_cast<LPARAM>(&record));
}

LRESULT RequestHandOver::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg != kMsgHandOver) return Window::HandleMessage(msg, wp, lp);
    const auto& record = *reinterpret_cast<const RequestBytes*>(lp);
    try {
        if (uint32_t(wp) == code::kTextMessage && onText) onText(DecodeTextMessage(record));
        if (uint32_t(wp) == code::kAuthRequest && onAuth) onAuth(record);
    } catch (...) {
        // A failing handler must not take the user-interface thread down.
    }
    return 0;
}

// ---- security ----

std::wstring PipeSecuritySddl(const std::wstring& userSid) {
    // 0x12019b: read and write, without FILE_CREATE_PIPE_INSTANCE.
    return L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;" + userSid + L")(A;;0x12019b;;;WD)(A;;0x12019b;;;AN)";
}

SECURITY_ATTRIBUTES* PipeSecurity() {
    static SECURITY_ATTRIBUTES* attributes = [] {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        const std::wstring sid = CurrentUserSid();
        if (sid.empty() || !ConvertStringSecurityDescriptorToSecurityDescriptorW(PipeSecuritySddl(sid).c_str(),
                                                                                 SDDL_REVISION_1, &descriptor, nullptr))
            return static_cast<SECURITY_ATTRIBUTES*>(nullptr);
        // Kept for the life of the process, as every instance of the pipe uses it.
        return new SECURITY_ATTRIBUTES{sizeof(SECURITY_ATTRIBUTES), descriptor, FALSE};
    }();
    return attributes;
}

// ---- the listener ----

TMessenger::TMessenger(std::wstring pipeName, const RequestHandOver& handOver)
    : pipeName_(std::move(pipeName)),
      handOver_(handOver.Handle()),
      stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      finished_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

TMessenger::~TMessenger() {
    Stop();
}

void TMessenger::Start() {
    if (!thread_.joinable()) thread_ = std::thread([this] { Execute(); });
}

void TMessenger::Stop() {
    SetEvent(stop_.Get());
    if (!thread_.joinable()) return;
    // The thread may be in the middle of a hand-over to this very thread: serve the
    // messages sent to it while waiting, and nothing else.
    const HANDLE finished = finished_.Get();
    while (MsgWaitForMultipleObjects(1, &finished, FALSE, INFINITE, QS_SENDMESSAGE) != WAIT_OBJECT_0) {
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    thread_.join();
}

bool TMessenger::CreateInstance() {
    SECURITY_ATTRIBUTES* security = PipeSecurity();
    const DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED;
    auto create = [&](DWORD extra) {
        pipe_.Reset(CreateNamedPipeW(pipeName_.c_str(), openMode | extra,
                                     PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 100, 1024000, 1024000, 1000,
                                     security));
    };
    if (firstInstance_) {
        create(FILE_FLAG_FIRST_PIPE_INSTANCE);
        if (!pipe_ && GetLastError() == ERROR_ACCESS_DENIED) {
            // Someone serves the name already: another session of this user, or a squatter.
            LogError(kLogPipeTaken, int32_t(GetLastError()), L"Listener: pipe already exists: " + pipeName_);
            firstInstance_ = false;
        }
    }
    if (!pipe_) create(0);
    if (pipe_) firstInstance_ = false;
    return bool(pipe_);
}

bool TMessenger::WaitForPeer() {
    const UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED ov = {};
    ov.hEvent = event.Get();
    if (ConnectNamedPipe(pipe_.Get(), &ov)) return true;
    switch (GetLastError()) {
        case ERROR_PIPE_CONNECTED:
        case ERROR_NO_DATA:  // a peer that came and went may have left its request to read
            return true;
        case ERROR_IO_PENDING:
            break;
        default:
            pipe_.Reset();  // the instance is unusable: create a new one
            return false;
    }
    const HANDLE waits[] = {ov.hEvent, stop_.Get()};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        CancelIoEx(pipe_.Get(), &ov);
        DWORD ignored;
        GetOverlappedResult(pipe_.Get(), &ov, &ignored, TRUE);
        return false;
    }
    DWORD ignored;
    return GetOverlappedResult(pipe_.Get(), &ov, &ignored, FALSE) != FALSE;
}

bool TMessenger::Serve() {
    // A short record must not carry the bytes (a PIN, a printer) of the request before it.
    buffer_.fill(0);
    uint8_t codeBytes[4] = {};
    if (!ReadPipe(pipe_.Get(), codeBytes, 4, kPipeWaitInterval)) {
        WriteCode(pipe_.Get(), code::kReadFailure);
        return true;
    }
    const uint32_t code = uint32_t(codeBytes[0]) | uint32_t(codeBytes[1]) << 8 | uint32_t(codeBytes[2]) << 16 |
                          uint32_t(codeBytes[3]) << 24;
    if (code != code::kTextMessage && code != code::kAuthRequest) return false;  // unknown: no reply
    if (!ReadPipe(pipe_.Get(), buffer_.data(), DWORD(buffer_.size()), kPipeWaitInterval)) {
        WriteCode(pipe_.Get(), code::kReadFailure);
        return true;
    }
    WriteCode(pipe_.Get(), code::kAck);
    RequestHandOver::HandOver(handOver_, code, buffer_);
    return true;
}

void TMessenger::CloseConnection() {
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
        if (ReadFile(pipe_.Get(), scratch, sizeof scratch, &got, &ov)) continue;  // more bytes: drop them
        const DWORD error = GetLastError();
        if (error == ERROR_MORE_DATA) continue;
        if (error != ERROR_IO_PENDING) break;  // the peer has gone
        const HANDLE waits[] = {ov.hEvent, stop_.Get()};
        if (WaitForMultipleObjects(2, waits, FALSE, kReplyReadWait - elapsed) == WAIT_OBJECT_0) {
            if (!GetOverlappedResult(pipe_.Get(), &ov, &got, FALSE) && GetLastError() != ERROR_MORE_DATA) break;
            continue;
        }
        CancelIoEx(pipe_.Get(), &ov);
        GetOverlappedResult(pipe_.Get(), &ov, &got, TRUE);
        break;
    }
    DisconnectNamedPipe(pipe_.Get());
}

void TMessenger::Execute() {
    DWORD pause = kFirstPause;
    while (!Terminated()) {
        if (!pipe_ && !CreateInstance()) {
            // Never a busy loop: the pause grows while creation keeps failing.
            if (WaitForSingleObject(stop_.Get(), pause) == WAIT_OBJECT_0) break;
            pause = std::min(pause * 2, kLastPause);
            continue;
        }
        pause = kFirstPause;
        if (!WaitForPeer()) continue;
        if (Serve()) {
            CloseConnection();
        } else {
            DisconnectNamedPipe(pipe_.Get());  // nothing to read: the peer finds the connection closed at once
        }
    }
    pipe_.Reset();
    SetEvent(finished_.Get());
}

}  // namespace pm
