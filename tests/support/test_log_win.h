#pragma once
// The error log of a test process: set up once, in a folder of its own, and read
// back by the tests that expect an entry.

#include <windows.h>

#include <string>

#include "support/error_log_win.h"
#include "support/temp_folder_win.h"

namespace pm::test {

// The folder the process's log writes to (Logs\Errors.log below it).
inline const std::wstring& TestLogFolder() {
    static const std::wstring folder = [] {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        std::wstring path = std::wstring(base) + L"pmtest-log-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        CreateDirectoryW(path.c_str(), nullptr);
        // Wine numbers processes afresh each time its server starts: a folder of this
        // name may hold the log of an earlier run's process.
        DeleteFileW((path + L"Logs\\Errors.log").c_str());
        InitErrorLog(path);
        return path;
    }();
    return folder;
}

inline std::string TestLogText() {
    return ReadWholeFile(TestLogFolder() + L"Logs\\Errors.log");
}

}  // namespace pm::test
