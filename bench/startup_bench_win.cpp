// Start-up: from process start to the per-user pipe accepting a client, for the
// client against a bare program that makes a window, shows its tray icon and serves
// its pipe (the floor), and against one that only serves its pipe, in the same run.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_run_win.h"

namespace {

using Clock = std::chrono::steady_clock;

std::wstring Folder() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.rfind(L'\\') + 1);
}

std::wstring UserName() {
    wchar_t name[256] = {};
    DWORD size = 256;
    GetUserNameW(name, &size);
    CharLowerBuffW(name, DWORD(wcslen(name)));
    return name;
}

// Milliseconds from CreateProcess to the first successful open of `pipe`.
double TimeToPipe(const std::wstring& program, const std::wstring& arguments, const std::wstring& pipe,
                  PROCESS_INFORMATION& pi) {
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW si = {sizeof si};
    const auto start = Clock::now();
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1;
    for (;;) {
        HANDLE h = CreateFileW(pipe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        }
        if (std::chrono::duration<double>(Clock::now() - start).count() > 30) return -1;
        Sleep(1);
    }
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main() {
    constexpr int kRounds = 7;
    std::vector<double> bare, tray, client;
    for (int i = 0; i < kRounds; ++i) {
        const std::wstring pipe =
            L"\\\\.\\PIPE\\PrintMirovantBare-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(i);
        PROCESS_INFORMATION pi = {};
        bare.push_back(bench::Sample(TimeToPipe(Folder() + L"bare_pipe_server.exe", pipe, pipe, pi),
                                     "the bare program's pipe never answered"));
        WaitForSingleObject(pi.hProcess, 5000);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        tray.push_back(bench::Sample(TimeToPipe(Folder() + L"bare_pipe_server.exe", pipe + L" --tray", pipe, pi),
                                     "the tray floor's pipe never answered"));
        WaitForSingleObject(pi.hProcess, 5000);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);

        client.push_back(bench::Sample(
            TimeToPipe(Folder() + L"PrintMirovant.exe", L"", L"\\\\.\\PIPE\\PrintMirovant-" + UserName(), pi),
            "the client's pipe never answered"));
        if (HWND main = FindWindowW(L"PrintMirovant.Main", nullptr)) PostMessageW(main, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    const double bareMs = Median(bare), floorMs = Median(tray), clientMs = Median(client);
    std::printf("Start-up: process start to the pipe accepting (median of %d)\n", kRounds);
    std::printf("  floor: window, tray icon, pipe      %8.1f ms\n", floorMs);
    std::printf("  bare program with only its pipe     %8.1f ms\n", bareMs);
    std::printf("  PrintMirovant.exe                   %8.1f ms  ratio %.2f (%.2f against the pipe alone)\n", clientMs,
                clientMs / floorMs, clientMs / bareMs);
    bench::Row(
        "| Start-up: process start to the per-user pipe accepting (median of %d) | bare program that makes a window, "
        "shows its tray icon and serves its pipe: %.1f ms | %.1f ms | %.2f | ≤ 1.5 | %s |",
        kRounds, floorMs, clientMs, clientMs / floorMs, bench::Met(clientMs / floorMs, 1.5));
    bench::Row("| the same against a bare program with only its pipe (no window system) | %.1f ms | | %.2f | | |",
               bareMs, clientMs / bareMs);
    bench::Finish(0);
}
