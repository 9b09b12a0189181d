// The floor for the idle figures: a program that has a window and a 60-second timer,
// and does nothing else. scripts/bench compares the idle client against it.

#include <windows.h>

int main() {
    const HWND window = CreateWindowExW(0, L"STATIC", L"Idle floor", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                                        GetModuleHandleW(nullptr), nullptr);
    SetTimer(window, 1, 60000, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    return 0;
}
