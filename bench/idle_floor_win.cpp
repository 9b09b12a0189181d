// The floor for the idle figures: a bare program with one hidden window, a tray icon,
// a 60-second timer and a listener thread waiting on its pipe, and nothing else.
// scripts/bench compares the idle client against it.

#include <windows.h>

#include <shellapi.h>

#include <string>

namespace {

DWORD WINAPI Listen(void*) {
    const std::wstring name = L"\\\\.\\PIPE\\PrintMirovantBench-Idle-" + std::to_wstring(GetCurrentProcessId());
    const HANDLE pipe = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1,
                                         4096, 4096, 0, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) ConnectNamedPipe(pipe, nullptr);
    return 0;
}

}  // namespace

int main() {
    const HWND window = CreateWindowExW(0, L"STATIC", L"Idle floor", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                                        GetModuleHandleW(nullptr), nullptr);
    NOTIFYICONDATAW icon = {sizeof icon};
    icon.hWnd = window;
    icon.uFlags = NIF_ICON | NIF_TIP;
    icon.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    lstrcpyW(icon.szTip, L"Idle floor");
    Shell_NotifyIconW(NIM_ADD, &icon);
    if (const HANDLE thread = CreateThread(nullptr, 0, &Listen, nullptr, 0, nullptr)) CloseHandle(thread);
    SetTimer(window, 1, 60000, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    Shell_NotifyIconW(NIM_DELETE, &icon);
    return 0;
}
