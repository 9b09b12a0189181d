#include "ui/controls_win.h"

#include <commctrl.h>

#include <iterator>

#include "support/module_win.h"
#include "support/shortcut.h"

namespace pm::ui {

UINT WindowDpi(HWND window) {
    // GetDpiForWindow exists from Windows 10 on; before it the screen's DPI is everyone's.
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpi = GetProc<GetDpiForWindowFn>(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
    if (getDpi && window) {
        if (const UINT dpi = getDpi(window)) return dpi;
    }
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? UINT(dpi) : 96;
}

UniqueGdi MessageFont(UINT dpi, bool bold) {
    NONCLIENTMETRICSW metrics = {sizeof metrics};
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    LOGFONTW font = metrics.lfMessageFont;
    // The metrics are for the primary screen's DPI; rescale to the window's.
    const UINT systemDpi = WindowDpi(nullptr);
    font.lfHeight = MulDiv(font.lfHeight, int(dpi), int(systemDpi));
    if (bold) font.lfWeight = FW_BOLD;
    return UniqueGdi(CreateFontIndirectW(&font));
}

namespace {

// The control library (version 6, through the manifest) is loaded by the first
// control made, not at start-up: an idle client never maps it nor its theme.
void LoadControlLibrary() {
    static const INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    [[maybe_unused]] static const BOOL loaded = InitCommonControlsEx(&controls);
}

}  // namespace

HWND CreateControl(HWND parent, const ControlArgs& args, HFONT font) {
    LoadControlLibrary();
    const std::wstring text(args.text);
    const HWND control =
        CreateWindowExW(args.exStyle, args.className, text.c_str(), WS_CHILD | WS_VISIBLE | args.style, 0, 0, 0, 0,
                        parent, reinterpret_cast<HMENU>(INT_PTR(args.id)), GetModuleHandleW(nullptr), nullptr);
    if (control && font) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

namespace {

LRESULT CALLBACK TabLeavesEditProc(HWND edit, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    if (msg == WM_NCDESTROY) RemoveWindowSubclass(edit, &TabLeavesEditProc, 0);
    LRESULT result = DefSubclassProc(edit, msg, wp, lp);
    if (msg == WM_GETDLGCODE) {
        result &= ~LRESULT(DLGC_WANTTAB);
        const MSG* key = reinterpret_cast<const MSG*>(lp);
        if (key && key->message == WM_KEYDOWN && key->wParam == VK_TAB) result &= ~LRESULT(DLGC_WANTMESSAGE);
    }
    return result;
}

}  // namespace

void TabLeavesEdit(HWND edit) {
    SetWindowSubclass(edit, &TabLeavesEditProc, 0, 0);
}

TextMeter::TextMeter(HWND window, HFONT font) : window_(window), dc_(GetDC(window)), old_(SelectObject(dc_, font)) {}

TextMeter::~TextMeter() {
    SelectObject(dc_, old_);
    ReleaseDC(window_, dc_);
}

SIZE TextMeter::Size(std::wstring_view text) const {
    SIZE size = {};
    GetTextExtentPoint32W(dc_, text.data(), int(text.size()), &size);
    return size;
}

int TextMeter::WidthOf(HWND control) const {
    const std::wstring text = WindowText(control);
    return Width(ShowsMnemonic(control) ? WithoutMnemonic(text) : text);
}

SIZE MeasureText(HWND window, HFONT font, std::wstring_view text) {
    return TextMeter(window, font).Size(text);
}

std::wstring WindowText(HWND window) {
    std::wstring text(size_t(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(size_t(GetWindowTextW(window, text.data(), int(text.size()))));
    return text;
}

bool ShowsMnemonic(HWND control) {
    wchar_t name[16] = {};
    GetClassNameW(control, name, int(std::size(name)));
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    if (CompareStringOrdinal(name, -1, WC_STATICW, -1, TRUE) == CSTR_EQUAL)
        return !(style & SS_NOPREFIX) && (style & SS_TYPEMASK) <= SS_RIGHT;
    return CompareStringOrdinal(name, -1, WC_BUTTONW, -1, TRUE) == CSTR_EQUAL;
}

void SetWindowTextIfChanged(HWND window, const std::wstring& text) {
    if (WindowText(window) != text) SetWindowTextW(window, text.c_str());
}

SIZE WindowSizeForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, UINT dpi) {
    RECT rc = {0, 0, clientWidth, clientHeight};
    using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi =
        GetProc<AdjustForDpiFn>(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi");
    if (!adjustForDpi || !adjustForDpi(&rc, style, FALSE, exStyle, dpi)) AdjustWindowRectEx(&rc, style, FALSE, exStyle);
    return {rc.right - rc.left, rc.bottom - rc.top};
}

void CenterOnScreen(HWND window) {
    RECT rc;
    GetWindowRect(window, &rc);
    MONITORINFO info = {sizeof info};
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &info);
    const RECT& area = info.rcWork;
    const int width = rc.right - rc.left, height = rc.bottom - rc.top;
    SetWindowPos(window, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace pm::ui
