#pragma once
// The user-interface thread's message loop.

#include <windows.h>

#include <functional>

namespace pm::ui {

// Runs until WM_QUIT and returns its exit code. `onIdle` runs each time the queue
// has become empty (once per emptying, not once per wait).
// Windows marked with SetDialogKeys get Tab, Enter, Escape and arrows as in a dialog.
int RunMessageLoop(const std::function<void()>& onIdle = {});

// Dispatches one message as the loop does (dialog keys first). For modal loops.
void DispatchLoopMessage(MSG& msg);

// Handles every message already waiting for the calling thread, then returns. A quit
// request met here is posted again, so the outer loop still ends.
void PumpPendingMessages();

// Waits `milliseconds` while handling the calling thread's messages as they come.
void PumpFor(DWORD milliseconds);

// Runs a modal loop for `dialog`: its owner is disabled meanwhile and enabled again
// (and activated) before this returns. Returns when `ended()` holds or the dialog is
// gone. A quit request met here is posted again for the outer loop.
void RunModal(HWND dialog, HWND owner, const std::function<bool()>& ended);

// For `milliseconds` from now, the loop drops key presses and mouse clicks meant for
// `window` (a top-level window) or its controls; each key pressed meanwhile starts the
// time again. A window that comes to the front by itself uses it so that typing meant
// for another window cannot press its buttons. Input sent by a program (BM_CLICK, a
// posted command) is not affected.
void GuardInput(HWND window, unsigned milliseconds);

// Marks or unmarks a top-level window for dialog-key handling.
void SetDialogKeys(HWND window, bool enabled);

}  // namespace pm::ui
