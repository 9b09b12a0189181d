#pragma once
// Which way the client's windows read: left to right, or mirrored for a language
// written right to left, as Windows mirrors a right-to-left program.
//
// The direction is the process's default layout (SetProcessDefaultLayout), set once
// when the language is chosen; windows made before keep theirs. The system mirrors
// the windows it makes without an owner by itself; the client's own top-level windows
// (Window::CreateWindowFor), its message boxes and its menus ask here, since the
// default layout does not reach owned windows, boxes or menus.

#include <windows.h>

#include <string>

namespace pm::ui {

void SetRightToLeft(bool rightToLeft);
bool RightToLeft();

// WS_EX_LAYOUTRTL for a new top-level window when mirrored, else 0.
DWORD TopLevelLayout();
// TPM_LAYOUTRTL for a popup menu when mirrored, else 0.
UINT MenuLayout();

// MessageBoxW, reading right to left and right-aligned when mirrored.
int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type);

}  // namespace pm::ui
