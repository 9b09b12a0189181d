#include "ui/dialog_win.h"

#include "ui/controls_win.h"

namespace pm::ui {
namespace {

BOOL CALLBACK SetFontOf(HWND child, LPARAM font) {
    SendMessageW(child, WM_SETFONT, WPARAM(font), FALSE);
    return TRUE;
}

}  // namespace

bool Dialog::CreateDialogWindow(const wchar_t* className, HWND owner, DWORD extraExStyle, HICON classIcon) {
    CreateArgs window;
    window.className = className;
    window.icon = classIcon;
    window.style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    window.exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | extraExStyle;
    window.x = window.y = 0;
    window.width = window.height = 100;
    window.owner = owner;
    return CreateWindowFor(window);
}

void Dialog::InitDialog() {
    SetDpi(WindowDpi(Handle()));
    EnableDialogKeys();
}

void Dialog::SetDpi(UINT dpi) {
    dpi_ = dpi;
    font_ = MessageFont(dpi_);
    boldFont_ = MessageFont(dpi_, true);
}

void Dialog::SetClientSize(int width, int height) {
    const SIZE size = WindowSizeForClient(width, height, DWORD(GetWindowLongPtrW(Handle(), GWL_STYLE)),
                                          DWORD(GetWindowLongPtrW(Handle(), GWL_EXSTYLE)), dpi_);
    SetWindowPos(Handle(), nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND Dialog::FocusTarget() const {
    if (focus_ && IsChild(Handle(), focus_) && IsWindowVisible(focus_) && IsWindowEnabled(focus_)) return focus_;
    const HWND first = GetNextDlgTabItem(Handle(), nullptr, FALSE);
    return first != Handle() ? first : nullptr;
}

LRESULT Dialog::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_ACTIVATE:
            if (LOWORD(wp) == WA_INACTIVE) {
                const HWND focused = GetFocus();
                if (focused && IsChild(Handle(), focused)) focus_ = focused;
                return 0;
            }
            if (HIWORD(wp)) break;  // minimised: the default focuses nothing
            if (const HWND target = FocusTarget()) {
                SetFocus(target);
                return 0;
            }
            break;
        case WM_SETFOCUS:
            if (const HWND target = FocusTarget()) SetFocus(target);
            return 0;
        case WM_NEXTDLGCTL: {
            // Sent by the dialog keys for a label's mnemonic: the label, then the next
            // control in the tab order, which is the field the label names.
            const HWND target =
                LOWORD(lp) ? reinterpret_cast<HWND>(wp) : GetNextDlgTabItem(Handle(), GetFocus(), wp != 0);
            if (!target) return 0;
            SetFocus(target);
            if (!LOWORD(lp) && (SendMessageW(target, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL))
                SendMessageW(target, EM_SETSEL, 0, -1);
            return 0;
        }
        case DM_GETDEFID:
            return MAKELRESULT(IDOK, DC_HASDEFID);
        case WM_DPICHANGED: {
            SetDpi(HIWORD(wp));
            EnumChildWindows(Handle(), &SetFontOf, reinterpret_cast<LPARAM>(Font()));
            if (iconControl_) ShowProgramIcon(iconControl_);
            const RECT& suggested = *reinterpret_cast<const RECT*>(lp);
            SetWindowPos(Handle(), nullptr, suggested.left, suggested.top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            DpiChanged();
            InvalidateRect(Handle(), nullptr, TRUE);
            return 0;
        }
        case WM_CTLCOLORSTATIC:
            // Labels and read-only fields on the window's face colour.
            SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_BTNFACE));
            SetTextColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_BTNTEXT));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    return Window::HandleMessage(msg, wp, lp);
}

void Dialog::ShowProgramIcon(HWND control) {
    iconControl_ = control;
    const int size = S(32);
    UniqueIcon icon(static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), L"MAINICON", IMAGE_ICON, size, size, 0)));
    SendMessageW(control, STM_SETICON, reinterpret_cast<WPARAM>(icon.Get()), 0);
    programIcon_ = std::move(icon);  // the old one goes only once the control shows the new
}

}  // namespace pm::ui
