// The floors of the start-up benchmark: a bare Win32 program that creates one pipe
// instance and waits for a client, as the client's listener does; with --tray it
// first brings up the window system, makes one window and shows its tray icon, as
// the client does at start-up.

#include <windows.h>

#include <shellapi.h>

#include <string>

namespace {

template <typename Fn>
Fn Proc(const wchar_t* dll, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(LoadLibraryW(dll), name)));
}

// Loaded here, so that the plain floor does not load the window system at all.
bool ShowTrayIcon() {
    using CreateWindowFn =
        HWND(WINAPI*)(DWORD, LPCWSTR, LPCWSTR, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE, LPVOID);
    using LoadIconFn = HICON(WINAPI*)(HINSTANCE, LPCWSTR);
    using NotifyIconFn = BOOL(WINAPI*)(DWORD, NOTIFYICONDATAW*);
    const auto create = Proc<CreateWindowFn>(L"user32.dll", "CreateWindowExW");
    const auto loadIcon = Proc<LoadIconFn>(L"user32.dll", "LoadIconW");
    const auto notify = Proc<NotifyIconFn>(L"shell32.dll", "Shell_NotifyIconW");
    if (!create || !loadIcon || !notify) return false;
    NOTIFYICONDATAW icon = {sizeof icon};
    icon.hWnd = create(0, L"STATIC", L"floor", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                       GetModuleHandleW(nullptr), nullptr);
    icon.uFlags = NIF_ICON | NIF_TIP;
    icon.hIcon = loadIcon(nullptr, IDI_APPLICATION);
    lstrcpyW(icon.szTip, L"floor");
    return icon.hWnd && notify(NIM_ADD, &icon);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    if (argc > 2 && std::wstring(argv[2]) == L"--tray" && !ShowTrayIcon()) return 1;
    HANDLE pipe = CreateNamedPipeW(argv[1], PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, 4096,
                                   4096, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return 1;
    ConnectNamedPipe(pipe, nullptr);
    CloseHandle(pipe);
    return 0;
}
