#pragma once
// Controls created in code, fonts and DPI scaling: the small toolkit the forms use.

#include <windows.h>

#include <string>
#include <string_view>

#include "support/unique_win.h"

namespace pm::ui {

// Layout is written in 96-DPI units and scaled to the window's DPI.
inline int Scale(int value, UINT dpi) {
    return MulDiv(value, int(dpi), 96);
}
UINT WindowDpi(HWND window);

// The system's message font at the given DPI, regular or bold.
UniqueGdi MessageFont(UINT dpi, bool bold = false);

struct ControlArgs {
    const wchar_t* className;  // WC_BUTTON, WC_STATIC, WC_EDIT, ...
    std::wstring_view text;
    DWORD style = 0;  // WS_CHILD | WS_VISIBLE are added
    DWORD exStyle = 0;
    int id = 0;
};
HWND CreateControl(HWND parent, const ControlArgs& args, HFONT font);

// Lets Tab and Shift+Tab leave a multi-line edit, as in any other field, instead
// of typing a tab character into it.
void TabLeavesEdit(HWND edit);

// Sizes of texts in one font, in pixels, through one device context of the window.
class TextMeter {
public:
    TextMeter(HWND window, HFONT font);
    ~TextMeter();
    TextMeter(const TextMeter&) = delete;
    TextMeter& operator=(const TextMeter&) = delete;

    SIZE Size(std::wstring_view text) const;
    int Width(std::wstring_view text) const { return int(Size(text).cx); }
    int Height() const { return int(Size(L"Ag").cy); }
    // The width of the control's text as drawn: a label's or button's mnemonic
    // marker takes no room.
    int WidthOf(HWND control) const;

private:
    HWND window_;
    HDC dc_;
    HGDIOBJ old_;
};

// The size of `text` in `font`, in pixels.
SIZE MeasureText(HWND window, HFONT font, std::wstring_view text);
inline int TextWidth(HWND window, HFONT font, std::wstring_view text) {
    return int(MeasureText(window, font, text).cx);
}
inline int TextHeight(HWND window, HFONT font) {
    return int(MeasureText(window, font, L"Ag").cy);
}

std::wstring WindowText(HWND window);

// Whether the control draws "&x" as an underlined mnemonic (labels and buttons).
bool ShowsMnemonic(HWND control);
void SetWindowTextIfChanged(HWND window, const std::wstring& text);

// Places a control in pixels (already scaled).
inline void Place(HWND control, int x, int y, int width, int height) {
    SetWindowPos(control, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

// A client area of this size, for a window with these styles, at this DPI.
SIZE WindowSizeForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, UINT dpi);

// Centres the window on the work area of the monitor it is on (or the primary).
void CenterOnScreen(HWND window);

}  // namespace pm::ui
