// The authentication dialog: from a job request written to the client's pipe to the
// dialog visible on screen, p50 and p90, for the real client against a bare program
// that serves the same exchange and shows one window of as many controls (the floor),
// all started by this program and watched from outside, in the same run. Run it in
// Wine's virtual desktop (scripts/bench), where windows behave as on Windows.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "auth/form_auth_win.h"
#include "bench_run_win.h"
#include "pipes/message_codes.h"
#include "pipes/pipe_names.h"
#include "pipes/pipe_transport_win.h"
#include "pipes/request_record.h"
#include "support/job_request_win.h"
#include "support/names_win.h"
#include "support/unique_win.h"

namespace {

using Clock = std::chrono::steady_clock;
using pm::UniqueFile;

constexpr int kWarmUp = 3, kJobs = 40;

std::wstring Folder() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.rfind(L'\\') + 1);
}

// Takes every job answer the dialogs send, as a print server would.
void AnswerSink() {
    for (;;) {
        UniqueFile pipe(CreateNamedPipeW(pm::ServerPipeName(L".").c_str(), PIPE_ACCESS_DUPLEX,
                                         PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, PIPE_UNLIMITED_INSTANCES, 65536,
                                         65536, 0, nullptr));
        if (!pipe) return;
        if (!ConnectNamedPipe(pipe.Get(), nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) continue;
        uint8_t buffer[1024];
        DWORD got = 0;
        while (ReadFile(pipe.Get(), buffer, sizeof buffer, &got, nullptr) || GetLastError() == ERROR_MORE_DATA) {
        }
        DisconnectNamedPipe(pipe.Get());
    }
}

// A held job that needs no credentials, of this computer's print server.
pm::RequestBytes HeldJob(int serial) {
    return pm::EncodeRequest(pm::test::JobRequest(pm::AuthNone, pm::test::DayCountNow(), uint32_t(serial)));
}

HWND VisibleWindow(const wchar_t* className) {
    const HWND window = FindWindowW(className, nullptr);
    return window && IsWindowVisible(window) ? window : nullptr;
}

// Milliseconds from the request's first byte to a visible window of the class; the
// window is then closed (for the dialog: Delete, answered to the sink) and gone.
double JobToWindow(const std::wstring& pipe, const wchar_t* className, int serial) {
    const pm::RequestBytes record = HeldJob(serial);
    UniqueFile handle;
    for (int i = 0; i < 2000 && !handle; ++i) {
        handle.Reset(CreateFileW(pipe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OVERLAPPED, nullptr));
        if (!handle) Sleep(1);
    }
    if (!handle) return -1;
    const auto start = Clock::now();
    if (!pm::WriteCode(handle.Get(), pm::code::kAuthRequest) ||
        !pm::WritePipe(handle.Get(), record.data(), DWORD(record.size())) ||
        !pm::ExpectCode(handle.Get(), pm::code::kAck))
        return -1;
    HWND window = nullptr;
    while (!(window = VisibleWindow(className))) {
        if (Clock::now() - start > std::chrono::seconds(10)) return -1;
        SwitchToThread();
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    handle.Reset();
    if (std::wstring(className) == pm::TFormAuth::kClassName)
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), LPARAM(GetDlgItem(window, IDCANCEL)));
    else
        PostMessageW(window, WM_CLOSE, 0, 0);
    for (int i = 0; i < 5000 && IsWindow(window); ++i)
        Sleep(1);
    return IsWindow(window) ? -1 : ms;
}

struct Figures {
    double p50, p90;
};

Figures Percentiles(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples[samples.size() * 9 / 10]};
}

// Starts a program and waits until its pipe takes a peer.
bool Start(const std::wstring& program, const std::wstring& arguments, const std::wstring& pipe,
           PROCESS_INFORMATION& pi) {
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW si = {sizeof si};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    for (int i = 0; i < 30000; ++i) {
        if (WaitNamedPipeW(pipe.c_str(), 0)) return true;
        Sleep(1);
    }
    return false;
}

void Stop(PROCESS_INFORMATION& pi) {
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
}

}  // namespace

int main() {
    std::thread(AnswerSink).detach();
    std::thread(AnswerSink).detach();

    PROCESS_INFORMATION floorProcess = {}, client = {};
    const std::wstring floorPipe = L"\\\\.\\PIPE\\PrintMirovantBench-Floor-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring clientPipe = pm::ListenerPipeName(pm::LocalUserName());
    if (!Start(Folder() + L"dialog_floor.exe", floorPipe, floorPipe, floorProcess))
        bench::Fail("the floor program did not start");
    if (!Start(Folder() + L"PrintMirovant.exe", L"", clientPipe, client)) bench::Fail("the client did not start");
    Sleep(2000);  // past the client's first announcement and start-up work

    // Floor and client in turn, so that both meet the same state of the machine.
    std::vector<double> floorSamples, dialogSamples;
    double firstFloorMs = 0, firstDialogMs = 0;
    for (int i = 0; i < kWarmUp + kJobs; ++i) {
        const double floorMs =
            bench::Sample(JobToWindow(floorPipe, L"PrintMirovantBench.Floor", i), "the floor's window did not come");
        const double dialogMs =
            bench::Sample(JobToWindow(clientPipe, pm::TFormAuth::kClassName, 1000 + i), "the dialog did not come");
        // The first window of each loads the control library and its theme.
        if (i == 0) {
            firstFloorMs = floorMs;
            firstDialogMs = dialogMs;
        }
        if (i < kWarmUp) continue;
        floorSamples.push_back(floorMs);
        dialogSamples.push_back(dialogMs);
    }
    Stop(floorProcess);
    if (HWND main = FindWindowW(L"PrintMirovant.Main", nullptr)) PostMessageW(main, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(client.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(client.hProcess, 1);
    CloseHandle(client.hProcess);
    CloseHandle(client.hThread);

    const Figures floor = Percentiles(floorSamples), dialog = Percentiles(dialogSamples);
    std::printf("Authentication dialog: job request written to the dialog visible, %d jobs each, in turn\n", kJobs);
    std::printf("  floor: listener thread, 31 controls  p50 %7.1f ms   p90 %7.1f ms\n", floor.p50, floor.p90);
    std::printf(
        "  PrintMirovant.exe                    p50 %7.1f ms   p90 %7.1f ms   ratio p50 %.2f  p90 %.2f "
        "(target at most 1.50)\n",
        dialog.p50, dialog.p90, dialog.p50 / floor.p50, dialog.p90 / floor.p90);
    bench::Row(
        "| Authentication dialog: job request written to the dialog visible, p50 (%d jobs, in turn with the floors) "
        "| bare program whose listener thread acknowledges and posts to its window thread, which shows a window of "
        "the same 31 controls, with the client's manifest: %.1f ms | %.1f ms | %.2f | ≤ 1.5 | %s |",
        kJobs, floor.p50, dialog.p50, dialog.p50 / floor.p50, bench::Met(dialog.p50 / floor.p50, 1.5));
    bench::Row("| the same, p90 | %.1f ms | %.1f ms | %.2f | ≤ 1.5 | %s |", floor.p90, dialog.p90,
               dialog.p90 / floor.p90, bench::Met(dialog.p90 / floor.p90, 1.5));
    std::printf("  first job after the start (loads the control library): floor %.1f ms, client %.1f ms\n",
                firstFloorMs, firstDialogMs);
    bench::Row(
        "| the first job after the start, which loads the control library (one sample) | %.1f ms | %.1f ms | "
        "%.2f | | |",
        firstFloorMs, firstDialogMs, firstDialogMs / firstFloorMs);
    bench::Finish(0);
}
