#include "messages/form_messages_win.h"

#include <commctrl.h>
#include <windows.h>

#include "i18n/language_win.h"
#include "support/product.h"
#include "ui/application_win.h"
#include "ui/controls_win.h"

namespace pm {

TFormMessages* TFormMessages::Create() {
    if (instance_) return instance_;
    return CreateOnce(instance_, new TFormMessages(), kClassName, ui::Application::Instance().Handle(), WS_EX_TOPMOST);
}

void TFormMessages::FormCreate() {
    InitDialog();
    const HFONT f = Font();
    icon_ = ui::CreateControl(Handle(), {WC_STATICW, L"", SS_ICON | SS_REALSIZECONTROL, 0, kIdIcon}, f);
    // Before the text in the z-order: a screen reader names the text by it.
    sender_ = ui::CreateControl(Handle(), {WC_STATICW, L"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0, kIdSender}, f);
    message_ = ui::CreateControl(
        Handle(), {WC_EDITW, L"", ES_MULTILINE | ES_READONLY | ES_CENTER | WS_VSCROLL, 0, kIdMessage}, f);
    ok_ = ui::CreateControl(Handle(), {WC_BUTTONW, L"", BS_DEFPUSHBUTTON | WS_TABSTOP, 0, IDOK}, f);
    const int size = S(32);
    bigIcon_.Reset(static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), L"MAINICON", IMAGE_ICON, size, size, 0)));
    SendMessageW(icon_, STM_SETICON, reinterpret_cast<WPARAM>(bigIcon_.Get()), 0);

    // The captions of start-up are kept until the program restarts.
    const LangReader lang = OpenLanguageFile();
    SetWindowTextW(Handle(), (ProductCaption() + L" - " + lang.Read(text::kMessages)).c_str());
    SetWindowTextW(ok_, lang.Read(text::kOk).c_str());
    from_ = lang.Read(text::kFrom);
    peerWords_ = PeerWords::Read(lang);
    Layout();
    ui::CenterOnScreen(Handle());
}

void TFormMessages::Layout() {
    const HFONT f = Font();
    const ui::TextMeter meter(Handle(), f);
    const int width = S(360), margin = S(10), iconSize = S(32);
    const int buttonWidth = std::max(S(80), meter.WidthOf(ok_) + S(24));
    const int textLeft = margin + iconSize + margin, textWidth = width - 3 * margin - iconSize;
    const int lineHeight = meter.Height();
    ui::Place(icon_, margin, margin, iconSize, iconSize);
    ui::Place(sender_, textLeft, margin, textWidth, lineHeight);
    const int messageTop = margin + lineHeight + S(6);
    ui::Place(message_, textLeft, messageTop, textWidth, S(90));
    const int buttonTop = messageTop + S(90) + margin;
    ui::Place(ok_, (width - buttonWidth) / 2, buttonTop, buttonWidth, S(25));
    SetClientSize(width, buttonTop + S(25) + margin);
}

void TFormMessages::SetMessage(const std::wstring& text, const PeerIdentity& sender) {
    const bool known = sender.anonymous || !sender.account.empty();
    const std::wstring line = known ? from_ + L": " + PeerText(sender, peerWords_) : peerWords_.unknown;
    SetWindowTextW(sender_, line.c_str());
    SetWindowTextW(message_, text.c_str());
}

std::wstring TFormMessages::SenderLine() const {
    return ui::WindowText(sender_);
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
    }
    return Dialog::HandleMessage(msg, wp, lp);
}

}  // namespace pm
