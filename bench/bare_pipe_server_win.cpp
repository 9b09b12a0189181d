// The floors of the start-up benchmark: a bare Win32 program that creates one pipe
// instance and waits for a client, as the client's listener does; with --window it
// first brings up the window system and makes one window, as any program with a user
// interface must before its first window exists.

#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    if (argc > 2 && std::wstring(argv[2]) == L"--window") {
        // Loaded here, so that the plain floor does not load the window system at all.
        using CreateWindowFn =
            HWND(WINAPI*)(DWORD, LPCWSTR, LPCWSTR, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE, LPVOID);
        const HMODULE user32 = LoadLibraryW(L"user32.dll");
        const auto create =
            reinterpret_cast<CreateWindowFn>(reinterpret_cast<void (*)()>(GetProcAddress(user32, "CreateWindowExW")));
        if (!create || !create(0, L"STATIC", L"floor", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr))
            return 1;
    }
    HANDLE pipe = CreateNamedPipeW(argv[1], PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, 4096,
                                   4096, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return 1;
    ConnectNamedPipe(pipe, nullptr);
    CloseHandle(pipe);
    return 0;
}
