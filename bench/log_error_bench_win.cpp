// What LogError costs the calling thread, against the floor of what any queued
// entry must cost: one heap request and one completion-port post.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "bench_run_win.h"
#include "support/clock_win.h"
#include "support/error_log_win.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kCalls = 20000;

double NanosecondsPerCall(Clock::duration elapsed) {
    return std::chrono::duration<double, std::nano>(elapsed).count() / kCalls;
}

std::wstring TempDirectory() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    return std::wstring(base) + L"pm-bench-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
}

int CountLines(const std::wstring& path) {
    int lines = 0;
    if (FILE* file = _wfopen(path.c_str(), L"rb")) {
        char buffer[65536];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
            lines += int(std::count(buffer, buffer + n, '\n'));
        std::fclose(file);
    }
    return lines;
}

}  // namespace

int main() {
    // Floor: allocate a request of the same shape and post it; a thread frees it.
    struct Request {
        int code, error;
        std::wstring text;
    };
    HANDLE port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 0);
    HANDLE drain = CreateThread(
        nullptr, 0,
        [](void* p) -> DWORD {
            DWORD bytes;
            ULONG_PTR key;
            OVERLAPPED* ov;
            while (GetQueuedCompletionStatus(static_cast<HANDLE>(p), &bytes, &key, &ov, INFINITE) && key)
                delete reinterpret_cast<Request*>(key);
            return 0;
        },
        port, 0, nullptr);
    const auto floorStart = Clock::now();
    for (int i = 0; i < kCalls; ++i) {
        auto* request = new Request{82, 5, L"InformUser: \\\\PC\\PIPE\\PrintMirovant-user"};
        PostQueuedCompletionStatus(port, 0, reinterpret_cast<ULONG_PTR>(request), nullptr);
    }
    const auto floorElapsed = Clock::now() - floorStart;
    PostQueuedCompletionStatus(port, 0, 0, nullptr);
    WaitForSingleObject(drain, INFINITE);

    // LogError on a real log: the worker writes to a temporary folder meanwhile.
    const std::wstring directory = TempDirectory();
    auto log = std::make_unique<pm::TThreadFileLog>(directory, pm::SystemClock::Instance());
    const auto logStart = Clock::now();
    for (int i = 0; i < kCalls; ++i)
        log->Queue(82, 5, L"InformUser: \\\\PC\\PIPE\\PrintMirovant-user");
    const auto logElapsed = Clock::now() - logStart;
    // The worker's pace: the time its first kWritten entries take to reach the file.
    // (What is still queued when the log is destroyed is dropped, as at process exit.)
    constexpr int kWritten = 3000;
    const std::wstring file = directory + L"Logs\\Errors.log";
    int lines = 0;
    while (lines < kWritten && Clock::now() - logStart < std::chrono::seconds(60)) {
        Sleep(20);
        lines = CountLines(file);
    }
    const double writeSeconds = std::chrono::duration<double>(Clock::now() - logStart).count();
    log.reset();
    DeleteFileW((directory + L"Logs\\Errors.log").c_str());
    RemoveDirectoryW((directory + L"Logs").c_str());
    RemoveDirectoryW(directory.c_str());

    const double floorNs = NanosecondsPerCall(floorElapsed), logNs = NanosecondsPerCall(logElapsed);
    if (lines < kWritten) bench::Fail("the worker did not write its entries within 60 s");
    std::printf("LogError on the calling thread (%d calls)\n", kCalls);
    std::printf("  floor: new request + completion-port post  %8.0f ns/call\n", floorNs);
    std::printf("  LogError (TThreadFileLog::Queue)           %8.0f ns/call\n", logNs);
    std::printf("  ratio                                      %8.2f\n", logNs / floorNs);
    std::printf("Entries written by the worker: %d in %.2f s, %.0f per second\n", lines, writeSeconds,
                lines / writeSeconds);
    std::printf(
        "  (the caller does what the floor does: one heap request with the text, one post; the worker composes\n"
        "   the line, checks the Logs folder, opens the file relative to it and appends, per entry: no floor)\n");
    bench::Row(
        "| `LogError` on the calling thread | heap request + completion-port post: %.1f µs | %.1f µs | %.2f | ≤ 2 "
        "µs | %s |",
        floorNs / 1000, logNs / 1000, logNs / floorNs, logNs <= 2000 ? "yes" : "**no**");
    bench::Row("| Log entries written by the worker | | %.0f per second | | | (no target) |", lines / writeSeconds);
    bench::Finish(0);
}
