// Built with the PM_MARKS option only (support/marks_win.h).
#ifdef PM_MARKS

#include "support/marks_win.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "support/module_win.h"

namespace pm::marks {

namespace {

struct Step {
    const char* name;
    LONGLONG counter;
};
std::mutex mutex;
Step steps[32];
int count = 0;

// A FILETIME as one number of 100 ns units.
ULONGLONG Units(FILETIME time) {
    return (ULONGLONG(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

ULONGLONG FileTimeNow() {
    // Windows 8 and later: the system time to the microsecond, not to the clock tick.
    using Precise = void(WINAPI*)(FILETIME*);
    static const auto precise = GetProc<Precise>(GetModuleHandleW(L"kernel32.dll"), "GetSystemTimePreciseAsFileTime");
    FILETIME now;
    precise ? precise(&now) : GetSystemTimeAsFileTime(&now);
    return Units(now);
}

}  // namespace

void Mark(const char* step) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const std::lock_guard lock(mutex);
    // A dialog's steps are the latest dialog's, so that a warm one can be timed.
    const bool latest = std::strncmp(step, "dialog: ", 8) == 0;
    for (int i = 0; i < count; ++i) {
        if (std::strcmp(steps[i].name, step) != 0) continue;
        if (latest) steps[i].counter = now.QuadPart;
        return;
    }
    if (count < int(std::size(steps))) steps[count++] = {step, now.QuadPart};
}

void Write() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"PM_MARKS_FILE", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    // The process's creation time is a system time: the counter is tied to it here.
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return;
    LARGE_INTEGER frequency, counterNow;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counterNow);
    const double sinceCreated = double(FileTimeNow() - Units(created)) / 10000;
    // Written aside and renamed, so that a reader never sees half of it.
    const std::wstring partial = std::wstring(path) + L".part";
    FILE* file = _wfopen(partial.c_str(), L"wb");
    if (!file) return;
    const std::lock_guard lock(mutex);
    for (int i = 0; i < count; ++i) {
        const double ago = double(counterNow.QuadPart - steps[i].counter) * 1000 / double(frequency.QuadPart);
        std::fprintf(file, "%.1f\t%s\n", sinceCreated - ago, steps[i].name);
    }
    std::fclose(file);
    MoveFileExW(partial.c_str(), path, MOVEFILE_REPLACE_EXISTING);
}

}  // namespace pm::marks

#endif
