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

// Marks or unmarks a top-level window for dialog-key handling.
void SetDialogKeys(HWND window, bool enabled);

}  // namespace pm::ui
