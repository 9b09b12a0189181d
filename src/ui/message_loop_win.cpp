#include "ui/message_loop_win.h"

namespace pm::ui {
namespace {

constexpr wchar_t kDialogKeysProperty[] = L"PrintMirovant.DialogKeys";

}  // namespace

void SetDialogKeys(HWND window, bool enabled) {
    if (enabled) {
        SetPropW(window, kDialogKeysProperty, reinterpret_cast<HANDLE>(1));
    } else {
        RemovePropW(window, kDialogKeysProperty);
    }
}

void DispatchLoopMessage(MSG& msg) {
    const HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root && GetPropW(root, kDialogKeysProperty) && IsDialogMessageW(root, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

void PumpPendingMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(int(msg.wParam));
            return;
        }
        DispatchLoopMessage(msg);
    }
}

void PumpFor(DWORD milliseconds) {
    const ULONGLONG end = GetTickCount64() + milliseconds;
    for (;;) {
        PumpPendingMessages();
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(end - now), QS_ALLINPUT);
    }
}

void RunModal(HWND dialog, HWND owner, const std::function<bool()>& ended) {
    const bool disable = owner && IsWindowEnabled(owner);
    if (disable) EnableWindow(owner, FALSE);
    ShowWindow(dialog, SW_SHOW);
    SetForegroundWindow(dialog);
    MSG msg;
    while (!ended() && IsWindow(dialog)) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            if (got == 0) PostQuitMessage(int(msg.wParam));
            break;
        }
        DispatchLoopMessage(msg);
    }
    // Enabled before the dialog goes, so the owner (not another program) gets activated.
    if (disable) {
        EnableWindow(owner, TRUE);
        SetActiveWindow(owner);
    }
}

int RunMessageLoop(const std::function<void()>& onIdle) {
    MSG msg;
    for (;;) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return int(msg.wParam);
            DispatchLoopMessage(msg);
        }
        if (onIdle) onIdle();
        // Returns when a message arrives that the peeks above have not seen.
        WaitMessage();
    }
}

}  // namespace pm::ui
