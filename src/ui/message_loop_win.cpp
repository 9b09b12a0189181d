#include "ui/message_loop_win.h"

#include <cstdint>

namespace pm::ui {
namespace {

constexpr wchar_t kDialogKeysProperty[] = L"PrintMirovant.DialogKeys";
// The guard's length and its end (a tick count), as property values.
constexpr wchar_t kGuardLengthProperty[] = L"PrintMirovant.GuardLength";
constexpr wchar_t kGuardEndProperty[] = L"PrintMirovant.GuardEnd";

bool IsKeyPress(UINT message) {
    return message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
}

bool IsUserInput(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) || (message >= WM_LBUTTONDOWN && message <= WM_MOUSELAST &&
                                                                 message != WM_MOUSEWHEEL && message != WM_MOUSEHWHEEL);
}

// True when `msg` is input for a guarded window whose guard has not run out.
bool Guarded(HWND root, const MSG& msg) {
    if (!root || !IsUserInput(msg.message)) return false;
    const auto length = DWORD(reinterpret_cast<uintptr_t>(GetPropW(root, kGuardLengthProperty)));
    if (!length) return false;
    const auto end = DWORD(reinterpret_cast<uintptr_t>(GetPropW(root, kGuardEndProperty)));
    const DWORD now = GetTickCount();
    if (int32_t(end - now) <= 0) {
        RemovePropW(root, kGuardLengthProperty);
        RemovePropW(root, kGuardEndProperty);
        return false;
    }
    // Someone is still typing: the window waits until the typing has stopped.
    if (IsKeyPress(msg.message)) SetPropW(root, kGuardEndProperty, reinterpret_cast<HANDLE>(uintptr_t(now + length)));
    return true;
}

}  // namespace

void GuardInput(HWND window, unsigned milliseconds) {
    SetPropW(window, kGuardLengthProperty, reinterpret_cast<HANDLE>(uintptr_t(milliseconds)));
    SetPropW(window, kGuardEndProperty, reinterpret_cast<HANDLE>(uintptr_t(GetTickCount() + milliseconds)));
}

void SetDialogKeys(HWND window, bool enabled) {
    if (enabled) {
        SetPropW(window, kDialogKeysProperty, reinterpret_cast<HANDLE>(1));
    } else {
        RemovePropW(window, kDialogKeysProperty);
    }
}

void DispatchLoopMessage(MSG& msg) {
    const HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (Guarded(root, msg)) return;
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
