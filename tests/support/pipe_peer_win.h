#pragma once
// The other end of a pipe, in the test process: one message-mode instance whose
// peer behaviour a test writes as a callable, run on its own thread.

#include <windows.h>

#include <functional>
#include <string>
#include <thread>

#include "support/unique_win.h"

namespace pm::test {

// A pipe name no other test uses.
inline std::wstring UniquePipeName(const wchar_t* purpose) {
    static int serial = 0;
    return L"\\\\.\\PIPE\\PrintMirovantTest-" + std::wstring(purpose) + L"-" + std::to_wstring(GetCurrentProcessId()) +
           L"-" + std::to_wstring(++serial);
}

class PipePeer {
public:
    using Behaviour = std::function<void(HANDLE pipe)>;

    // Creates the instance at once (so a client can open it), then waits for a
    // client on a thread and runs `behaviour` with the connected pipe.
    PipePeer(const std::wstring& name, Behaviour behaviour) : name_(name) {
        pipe_.Reset(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1,
                                     65536, 65536, 0, nullptr));
        done_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        thread_ = std::thread([this, behaviour] {
            // A client that came and went before this call (ERROR_NO_DATA) may still
            // have left its messages to read.
            if (ConnectNamedPipe(pipe_.Get(), nullptr) || GetLastError() == ERROR_PIPE_CONNECTED ||
                GetLastError() == ERROR_NO_DATA) {
                behaviour(pipe_.Get());
            }
            SetEvent(done_.Get());
        });
    }
    ~PipePeer() { Join(0); }
    bool Created() const { return bool(pipe_); }

    // Waits for the behaviour to end; false when it had to be released: a peer still
    // waiting for a client, or for a client's bytes, is released by a client of our
    // own that connects and leaves at once.
    bool Join(DWORD milliseconds) {
        if (!thread_.joinable()) return true;
        const bool ended = WaitForSingleObject(done_.Get(), milliseconds) == WAIT_OBJECT_0;
        if (!ended) {
            CloseHandle(
                CreateFileW(name_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        }
        thread_.join();
        return ended;
    }

    static bool WriteAll(HANDLE pipe, const void* data, DWORD size) {
        DWORD written = 0;
        return WriteFile(pipe, data, size, &written, nullptr) && written == size;
    }
    static DWORD ReadSome(HANDLE pipe, void* data, DWORD size) {
        DWORD got = 0;
        ReadFile(pipe, data, size, &got, nullptr);
        return got;
    }
    static bool WriteCodeTo(HANDLE pipe, uint32_t code) { return WriteAll(pipe, &code, 4); }

private:
    std::wstring name_;
    UniqueFile pipe_;
    UniqueHandle done_;
    std::thread thread_;
};

}  // namespace pm::test
