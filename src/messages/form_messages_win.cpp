#include "messages/form_messages_win.h"

#include <commctrl.h>
#include <windows.h>

#include <algorithm>

#include "i18n/language_win.h"
#include "support/product.h"
#include "ui/application_win.h"
#include "ui/controls_win.h"

namespace pm {
namespace {

// The count line's template with its first "%" replaced by the count.
std::wstring MoreText(std::wstring templateText, size_t count) {
    const size_t at = templateText.find(L'%');
    if (at != std::wstring::npos) templateText.replace(at, 1, std::to_wstring(count));
    return templateText;
}

}  // namespace

TFormMessages* TFormMessages::Create() {
    if (instance_) return instance_;
    return CreateOnce(instance_, new TFormMessages(), kClassName, ui::Application::Instance().Handle(), WS_EX_TOPMOST);
}

void TFormMessages::FormCreate() {
    InitDialog();
    // The captions of start-up are kept until the program restarts.
    const LangReader lang = OpenLanguageFile();
    SetWindowTextW(Handle(), (ProductCaption() + L" - " + lang.Read(text::kMessages)).c_str());
    okText_ = lang.Read(text::kOk);
    from_ = lang.Read(text::kFrom);
    moreText_ = lang.Read(text::kMoreMessages);
    peerWords_ = PeerWords::Read(lang);
}

// The controls come with the first message or the first showing: until then the
// client has no control on screen, and the control library stays unloaded.
void TFormMessages::CreateControls() {
    if (ok_) return;
    const HFONT f = Font();
    icon_ = ui::CreateControl(Handle(), {WC_STATICW, L"", SS_ICON | SS_REALSIZECONTROL, 0, kIdIcon}, f);
    // Before the text in the z-order: a screen reader names the text by it.
    sender_ = ui::CreateControl(Handle(), {WC_STATICW, L"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0, kIdSender}, f);
    message_ = ui::CreateControl(
        Handle(), {WC_EDITW, L"", ES_MULTILINE | ES_READONLY | ES_CENTER | WS_VSCROLL, 0, kIdMessage}, f);
    more_ = ui::CreateControl(Handle(), {WC_STATICW, L"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0, kIdMore}, f);
    ok_ = ui::CreateControl(Handle(), {WC_BUTTONW, okText_.c_str(), BS_DEFPUSHBUTTON | WS_TABSTOP, 0, IDOK}, f);
    ShowProgramIcon(icon_);
    Layout();
    ui::CenterOnScreen(Handle());
}

void TFormMessages::Layout() {
    if (!ok_) return;
    const HFONT f = Font();
    const ui::TextMeter meter(Handle(), f);
    const int margin = S(10), iconSize = S(32), textLeft = margin + iconSize + margin;
    // Wide enough for the count line at its longest in the language read.
    const int textWidth = std::max(S(360) - 3 * margin - iconSize, meter.Width(MoreText(moreText_, kMaxUnread - 1)));
    const int width = textLeft + textWidth + margin;
    const int buttonWidth = std::max(S(80), meter.WidthOf(ok_) + S(24));
    const int lineHeight = meter.Height();
    ui::Place(icon_, margin, margin, iconSize, iconSize);
    ui::Place(sender_, textLeft, margin, textWidth, lineHeight);
    const int messageTop = margin + lineHeight + S(6);
    ui::Place(message_, textLeft, messageTop, textWidth, S(90));
    // Its row is kept while it is empty: OK does not move under the mouse in a flood.
    const int moreTop = messageTop + S(90) + S(4);
    ui::Place(more_, textLeft, moreTop, textWidth, lineHeight);
    const int buttonTop = moreTop + lineHeight + margin;
    ui::Place(ok_, (width - buttonWidth) / 2, buttonTop, buttonWidth, S(25));
    SetClientSize(width, buttonTop + S(25) + margin);
}

void TFormMessages::SetMessage(const std::wstring& text, const PeerIdentity& sender) {
    CreateControls();
    const bool known = sender.anonymous || !sender.account.empty();
    unread_.push_back({text, known ? from_ + L": " + PeerText(sender, peerWords_) : peerWords_.unknown});
    if (unread_.size() > kMaxUnread) unread_.pop_front();
    ShowNewest();
}

void TFormMessages::Receive(const std::wstring& text, const PeerIdentity& sender) {
    SetMessage(text, sender);
    const ULONGLONG now = ticks_();
    if (!alerted_ || now - lastAlert_ >= kAlertIntervalMs) {
        Alert();
    } else {
        // A window the user closed or emptied within the time would hide this message
        // until the next one: it comes back once the time is up.
        SetTimer(Handle(), kAlertTimerId, UINT(kAlertIntervalMs - (now - lastAlert_)), nullptr);
    }
}

void TFormMessages::Alert() {
    KillTimer(Handle(), kAlertTimerId);
    alerted_ = true;
    lastAlert_ = ticks_();
    BringToTop();
    MessageBeep(MB_ICONEXCLAMATION);
}

void TFormMessages::AlertTimer() {
    KillTimer(Handle(), kAlertTimerId);
    if (!unread_.empty() && !IsWindowVisible(Handle())) Alert();
}

// The last message stays in the window when nothing is left unread.
void TFormMessages::ShowNewest() {
    if (!unread_.empty()) {
        SetWindowTextW(sender_, unread_.back().senderLine.c_str());
        SetWindowTextW(message_, unread_.back().text.c_str());
    }
    const size_t behind = unread_.empty() ? 0 : unread_.size() - 1;
    SetWindowTextW(more_, behind ? MoreText(moreText_, behind).c_str() : L"");
}

void TFormMessages::btnOkClick() {
    if (!unread_.empty()) unread_.pop_back();
    ShowNewest();
    if (unread_.empty()) ShowWindow(Handle(), SW_HIDE);
}

std::wstring TFormMessages::SenderLine() const {
    return sender_ ? ui::WindowText(sender_) : std::wstring();
}

std::wstring TFormMessages::Message() const {
    return message_ ? ui::WindowText(message_) : std::wstring();
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
            if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) btnOkClick();
            return 0;
        case WM_TIMER:
            if (wp == kAlertTimerId) AlertTimer();
            return 0;
        case WM_SHOWWINDOW:
            if (wp) CreateControls();
            break;
    }
    return Dialog::HandleMessage(msg, wp, lp);
}

}  // namespace pm
