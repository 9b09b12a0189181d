#include "messages/form_messages_win.h"

#include <commctrl.h>
#include <windows.h>

#include "i18n/language_win.h"
#include "shell/product.h"
#include "ui/application_win.h"
#include "ui/controls_win.h"

namespace pm {

TFormMessages* TFormMessages::Create() {
    if (instance_) return instance_;
    auto* form = new TFormMessages();
    CreateArgs args;
    args.className = kClassName;
    args.style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    args.exStyle = WS_EX_TOPMOST | WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    args.x = args.y = 0;
    args.width = args.height = 100;
    args.owner = ui::Application::Instance().Handle();
    if (!form->CreateWindowFor(args)) {
        delete form;
        return nullptr;
    }
    instance_ = form;
    return form;
}

void TFormMessages::FormCreate() {
    dpi_ = ui::WindowDpi(Handle());
    font_ = ui::MessageFont(dpi_);
    const HFONT f = static_cast<HFONT>(font_.Get());
    icon_ = ui::CreateControl(Handle(), {WC_STATICW, L"", SS_ICON | SS_REALSIZECONTROL, 0, kIdIcon}, f);
    message_ = ui::CreateControl(
        Handle(), {WC_EDITW, L"", ES_MULTILINE | ES_READONLY | ES_CENTER | WS_VSCROLL, 0, kIdMessage}, f);
    ok_ = ui::CreateControl(Handle(), {WC_BUTTONW, L"", BS_DEFPUSHBUTTON | WS_TABSTOP, 0, IDOK}, f);
    const int size = ui::Scale(32, dpi_);
    bigIcon_.Reset(static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), L"MAINICON", IMAGE_ICON, size, size, 0)));
    SendMessageW(icon_, STM_SETICON, reinterpret_cast<WPARAM>(bigIcon_.Get()), 0);
    EnableDialogKeys();

    // The captions of start-up are kept until the program restarts.
    const LangReader lang = OpenLanguageFile();
    SetWindowTextW(Handle(), (ProductCaption() + L" - " + lang.Read(text::kMessages)).c_str());
    SetWindowTextW(ok_, lang.Read(text::kOk).c_str());
    Layout();
    ui::CenterOnScreen(Handle());
}

void TFormMessages::Layout() {
    const auto S = [this](int v) { return ui::Scale(v, dpi_); };
    const HFONT f = static_cast<HFONT>(font_.Get());
    const int width = S(360), margin = S(10), iconSize = S(32);
    const int buttonWidth = std::max(S(80), ui::TextWidth(Handle(), f, ui::WindowText(ok_)) + S(24));
    ui::Place(icon_, margin, margin, iconSize, iconSize);
    ui::Place(message_, margin + iconSize + margin, margin, width - 3 * margin - iconSize, S(90));
    const int buttonTop = margin + S(90) + margin;
    ui::Place(ok_, (width - buttonWidth) / 2, buttonTop, buttonWidth, S(25));
    const DWORD style = DWORD(GetWindowLongPtrW(Handle(), GWL_STYLE));
    const DWORD exStyle = DWORD(GetWindowLongPtrW(Handle(), GWL_EXSTYLE));
    const SIZE size = ui::WindowSizeForClient(width, buttonTop + S(25) + margin, style, exStyle, dpi_);
    SetWindowPos(Handle(), nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TFormMessages::SetMessage(const std::wstring& text) {
    SetWindowTextW(message_, text.c_str());
}

std::wstring TFormMessages::Message() const {
    return ui::WindowText(message_);
}

void TFormMessages::BringToTop() {
    ShowWindow(Handle(), SW_HIDE);
    SetWindowPos(Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ShowWindow(Handle(), SW_SHOW);
    SetForegroundWindow(Handle());
    SetWindowPos(Handle(), HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetFocus(ok_);
}

void TFormMessages::FormDestroy() {
    instance_ = nullptr;
}

LRESULT TFormMessages::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
            if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) ShowWindow(Handle(), SW_HIDE);
            return 0;
        case DM_GETDEFID:
            return MAKELRESULT(IDOK, DC_HASDEFID);
        case WM_CTLCOLORSTATIC:
            SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    return Window::HandleMessage(msg, wp, lp);
}

}  // namespace pm
