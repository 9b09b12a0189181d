#pragma once
// Starting and watching the client's real processes from a test program.

#include <windows.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/unique_win.h"

namespace pm::test {

// How long a client may take to show its first window: generous, as the first GUI
// program in a fresh Wine prefix spends many seconds setting up fonts.
inline constexpr std::chrono::seconds kStartLimit{45};

// The folder of the running test program, with its trailing "\"; the build puts every
// program of the project there.
inline std::wstring BuildFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.rfind(L'\\') + 1);
}

class ChildProcess {
public:
    // `output`, an inheritable handle, becomes the child's standard output and error when given.
    bool Start(const std::wstring& program, const std::wstring& arguments = {}, HANDLE output = nullptr) {
        std::wstring commandLine = L"\"" + program + L"\" " + arguments;
        STARTUPINFOW si = {sizeof si};
        if (output) {
            si.dwFlags = STARTF_USESTDHANDLES;
            si.hStdOutput = si.hStdError = output;
        }
        PROCESS_INFORMATION pi = {};
        if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, output != nullptr, 0, nullptr,
                            nullptr, &si, &pi))
            return false;
        process_.Reset(pi.hProcess);
        CloseHandle(pi.hThread);
        id_ = pi.dwProcessId;
        return true;
    }
    ~ChildProcess() {
        if (process_ && Running()) TerminateProcess(process_.Get(), 99);
    }

    DWORD Id() const { return id_; }
    HANDLE Handle() const { return process_.Get(); }
    bool Running() const { return WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT; }
    bool WaitExit(DWORD milliseconds) const {
        return WaitForSingleObject(process_.Get(), milliseconds) == WAIT_OBJECT_0;
    }
    DWORD ExitCode() const {
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process_.Get(), &code);
        return code;
    }

private:
    UniqueHandle process_;
    DWORD id_ = 0;
};

// The process's top-level windows of the given class (any class when null), in z-order.
inline std::vector<HWND> ProcessWindows(DWORD processId, const wchar_t* className) {
    struct Search {
        DWORD processId;
        const wchar_t* className;
        std::vector<HWND> found;
    } search{processId, className, {}};
    EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            wchar_t name[128] = {};
            GetClassNameW(hwnd, name, 128);
            if (owner == s->processId && (!s->className || wcscmp(name, s->className) == 0)) s->found.push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The first top-level window of the given class that belongs to the process.
inline HWND FindProcessWindow(DWORD processId, const wchar_t* className) {
    const std::vector<HWND> windows = ProcessWindows(processId, className);
    return windows.empty() ? nullptr : windows.front();
}

// Polls `condition` until it holds or the time is up; true when it held.
template <class Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace pm::test
