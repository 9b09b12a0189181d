#include "ui/direction_win.h"

namespace pm::ui {

void SetRightToLeft(bool rightToLeft) {
    SetProcessDefaultLayout(rightToLeft ? LAYOUT_RTL : 0);
}

bool RightToLeft() {
    DWORD layout = 0;
    return GetProcessDefaultLayout(&layout) && (layout & LAYOUT_RTL);
}

DWORD TopLevelLayout() {
    return RightToLeft() ? WS_EX_LAYOUTRTL : 0;
}

UINT MenuLayout() {
    return RightToLeft() ? TPM_LAYOUTRTL : 0;
}

int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
    if (RightToLeft()) type |= MB_RTLREADING | MB_RIGHT;
    return MessageBoxW(owner, text.c_str(), caption.c_str(), type);
}

}  // namespace pm::ui
