#include "account/form_requests_win.h"

#include <commctrl.h>
#include <windows.h>

#include <algorithm>

#include "account/form_connect_win.h"
#include "account/query_account_win.h"
#include "i18n/language_win.h"
#include "support/names_win.h"
#include "support/product.h"
#include "support/registry_win.h"
#include "support/shortcut.h"
#include "ui/application_win.h"
#include "ui/controls_win.h"
#include "ui/locale_format_win.h"

namespace pm {

TFormRequests::TFormRequests(RequestsArgs args) : args_(std::move(args)) {
    if (!args_.query) args_.query = &QueryAccount;
    if (!args_.chooseServer) args_.chooseServer = [](HWND owner) { return TFormConnect::Run(owner); };
}

TFormRequests* TFormRequests::Create(RequestsArgs args) {
    if (instance_) {
        // Closed while a poll waits, it is hidden and goes when the poll ends: asked for
        // again, it stays and comes back.
        if (instance_->CloseHeld()) {
            instance_->KeepAfterHeldClose();
            ShowWindow(instance_->Handle(), SW_SHOW);
        }
        return instance_;
    }
    return CreateOnce(instance_, new TFormRequests(std::move(args)), kClassName, ui::Application::Instance().Handle());
}

void TFormRequests::FormCreate() {
    InitDialog();
    const HFONT f = Font();
    const HWND w = Handle();
    icon_ = ui::CreateControl(w, {WC_STATICW, L"", SS_ICON | SS_REALSIZECONTROL, 0, kIdIcon}, f);
    HWND* fields[5] = {&server_, &user_, &balance_, &restriction_, &updating_};
    for (int row = 0; row < 5; ++row) {
        labels_[row] = ui::CreateControl(w, {WC_STATICW, L"", SS_LEFT | SS_NOPREFIX, 0, kIdLabel + row}, f);
        *fields[row] = ui::CreateControl(w, {WC_EDITW, L"", ES_READONLY | ES_AUTOHSCROLL, 0, kIdServer + row}, f);
    }
    serverButton_ =
        ui::CreateControl(w, {WC_BUTTONW, L"...", BS_PUSHBUTTON | BS_FLAT | WS_TABSTOP, 0, kIdServerButton}, f);
    ok_ = ui::CreateControl(w, {WC_BUTTONW, L"", BS_DEFPUSHBUTTON | WS_TABSTOP, 0, IDOK}, f);
    ShowProgramIcon(icon_);

    // Captions first: the window's size (and so its default place) depends on them.
    const LangReader lang = OpenLanguageFile();
    SetWindowTextW(w, lang.Read(text::kAccountCaption).c_str());
    const TextKey* captions[5] = {&text::kAccountPrintServer, &text::kUsername, &text::kAccountBalance,
                                  &text::kAccountRestriction, &text::kAccountUpdating};
    // The fields only display, so their labels carry no mnemonic (the user-name
    // text is shared with the sender window, where it has one).
    for (int row = 0; row < 5; ++row)
        SetWindowTextW(labels_[row], (WithoutShortcut(lang.Read(*captions[row])) + L":").c_str());
    SetWindowTextW(ok_, lang.Read(text::kOk).c_str());
    SetFocusControl(ok_);  // Enter closes, as on the button; "..." is one Tab away
    Layout();

    if (const UniqueKey key = reg::OpenKey(HKEY_CURRENT_USER, kInterfaceKey, reg::Access::ReadWrite)) {
        RECT rc, area;
        GetWindowRect(w, &rc);
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        const auto left = reg::ReadDword(key.Get(), L"AccInfoLeft");
        const auto top = reg::ReadDword(key.Get(), L"AccInfoTop");
        int x = left.Ok() ? int(int32_t(left.value)) : int(area.right - (rc.right - rc.left));
        int y = top.Ok() ? int(int32_t(top.value)) : int(area.bottom - (rc.bottom - rc.top));
        // Where it was saved, exactly (the snap is for the user's own moves), as long as
        // a monitor shows it; one that is gone leaves it in the corner of this one.
        const RECT saved = {x, y, x + (rc.right - rc.left), y + (rc.bottom - rc.top)};
        if (!MonitorFromRect(&saved, MONITOR_DEFAULTTONULL)) {
            x = int(area.right - (rc.right - rc.left));
            y = int(area.bottom - (rc.bottom - rc.top));
        }
        restoring_ = true;
        SetWindowPos(w, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        restoring_ = false;
        const auto server = reg::ReadString(key.Get(), L"AccInfoServer");
        if (server.Ok()) SetWindowTextW(server_, server.value.c_str());
    }
    SetWindowTextW(user_, LocalUserName().c_str());
    SetTimer(w, kTimerId, kPollInterval, nullptr);
    const std::wstring server = ui::WindowText(server_);
    if (!server.empty()) {
        CurrentPrintServer() = server;
        TimerTimer();
    }
}

void TFormRequests::Layout() {
    const HFONT f = Font();
    const ui::TextMeter meter(Handle(), f);
    const int margin = S(10), iconSize = S(32), textHeight = ui::TextHeight(Handle(), f);
    const int pitch = textHeight + S(8);
    int labelWidth = 0;
    for (HWND label : labels_)
        labelWidth = std::max(labelWidth, meter.WidthOf(label));
    const int labelLeft = margin + iconSize + S(12), fieldLeft = labelLeft + labelWidth + S(10);
    // However long the labels, the fields keep the room they have beside English ones.
    const int width = std::max(S(380), fieldLeft + S(200) + margin);
    const int buttonSize = textHeight + S(6);
    HWND fields[5] = {server_, user_, balance_, restriction_, updating_};
    ui::Place(icon_, margin, margin, iconSize, iconSize);
    for (int row = 0; row < 5; ++row) {
        const int top = margin + row * pitch;
        ui::Place(labels_[row], labelLeft, top, labelWidth + S(2), textHeight);
        const int right = row == 0 ? width - margin - buttonSize - S(4) : width - margin;
        ui::Place(fields[row], fieldLeft, top, right - fieldLeft, textHeight);
    }
    ui::Place(serverButton_, width - margin - buttonSize, margin - S(3), buttonSize, buttonSize);
    const int buttonWidth = std::max(S(80), meter.WidthOf(ok_) + S(24));
    const int buttonTop = margin + 5 * pitch + S(6);
    ui::Place(ok_, width - margin - buttonWidth, buttonTop, buttonWidth, S(25));
    SetClientSize(width, buttonTop + S(25) + margin);
}

void TFormRequests::TimerTimer() {
    if (polling_) {
        pollAgain_ = true;  // after the running one, not inside it
        return;
    }
    polling_ = true;
    const BusyScope busy(*this);
    do {
        pollAgain_ = false;
        const std::wstring server = ui::WindowText(server_);
        if (server.empty()) break;
        const std::optional<AccountSummary> summary = args_.query(server, ui::WindowText(user_));
        if (CloseHeld()) break;  // the window is going: the result is dropped
        if (summary) Show(*summary);
    } while (pollAgain_);
    polling_ = false;
}

AccountTexts AccountSummaryTexts(const AccountSummary& s, const LangReader& lang) {
    AccountTexts texts;
    texts.balance =
        s.money ? ui::FormatCurrency(s.balance) : std::to_wstring(s.balance) + L" " + lang.Read(text::kInfoPages);
    texts.restriction = !s.restriction ? lang.Read(text::kInfoUnlimited)
                        : s.money      ? ui::FormatCurrency(int64_t(*s.restriction))
                                       : std::to_wstring(*s.restriction);
    if (s.updated) texts.updated = ui::FormatDateTime(*s.updated);
    return texts;
}

void TFormRequests::Show(const AccountSummary& s) {
    const AccountTexts texts = AccountSummaryTexts(s, OpenLanguageFile());
    SetWindowTextW(balance_, texts.balance.c_str());
    SetWindowTextW(restriction_, texts.restriction.c_str());
    SetWindowTextW(updating_, texts.updated.c_str());
}

void TFormRequests::btnServerClick() {
    if (choosing_ || CloseHeld()) return;
    std::optional<std::wstring> chosen;
    {
        const BusyScope busy(*this);
        choosing_ = true;
        chosen = args_.chooseServer(Handle());
        choosing_ = false;
    }
    if (!chosen || CloseHeld()) return;
    const std::wstring server = ToUpper(*chosen);
    SetWindowTextW(server_, server.c_str());
    CurrentPrintServer() = server;
    TimerTimer();  // at once; the 30-second rhythm goes on as it was
}

ui::CloseAction TFormRequests::FormClose() {
    if (!HoldCloseWhileBusy()) return ui::CloseAction::Free;
    ShowWindow(Handle(), SW_HIDE);  // gone for the user at once
    return ui::CloseAction::None;
}

void TFormRequests::FormDestroy() {
    KillTimer(Handle(), kTimerId);
    if (const UniqueKey key = reg::OpenKey(HKEY_CURRENT_USER, kInterfaceKey, reg::Access::ReadWrite)) {
        RECT rc;
        GetWindowRect(Handle(), &rc);
        reg::WriteDword(key.Get(), L"AccInfoLeft", uint32_t(rc.left));
        reg::WriteDword(key.Get(), L"AccInfoTop", uint32_t(rc.top));
        reg::WriteString(key.Get(), L"AccInfoServer", ui::WindowText(server_));  // even when empty
    }
    if (instance_ == this) instance_ = nullptr;
}

void TFormRequests::SnapToWorkArea(WINDOWPOS& pos) const {
    MONITORINFO info = {sizeof info};
    if (!GetMonitorInfoW(MonitorFromWindow(Handle(), MONITOR_DEFAULTTONEAREST), &info)) return;
    const RECT& area = info.rcWork;
    const int snap = S(10);
    if (std::abs(pos.x - area.left) < snap) pos.x = area.left;
    if (std::abs(pos.y - area.top) < snap) pos.y = area.top;
    if (std::abs(pos.x + pos.cx - area.right) < snap) pos.x = area.right - pos.cx;
    if (std::abs(pos.y + pos.cy - area.bottom) < snap) pos.y = area.bottom - pos.cy;
}

LRESULT TFormRequests::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
            if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) Close();
            if (LOWORD(wp) == kIdServerButton && HIWORD(wp) == BN_CLICKED) btnServerClick();
            return 0;
        case WM_TIMER:
            if (wp == kTimerId) TimerTimer();
            return 0;
        case WM_SHOWWINDOW:
            // Hidden by any other means than our own close: that is a close too.
            if (!wp && lp != 0 && !CloseHeld()) PostMessageW(Handle(), WM_CLOSE, 0, 0);
            break;
        case WM_WINDOWPOSCHANGING: {
            auto* pos = reinterpret_cast<WINDOWPOS*>(lp);
            if (!(pos->flags & SWP_NOMOVE) && !restoring_) {
                WINDOWPOS snapped = *pos;
                if (snapped.flags & SWP_NOSIZE) {  // cx and cy are not set then
                    RECT rc;
                    GetWindowRect(Handle(), &rc);
                    snapped.cx = rc.right - rc.left;
                    snapped.cy = rc.bottom - rc.top;
                }
                SnapToWorkArea(snapped);
                pos->x = snapped.x;
                pos->y = snapped.y;
            }
            break;
        }
    }
    return Dialog::HandleMessage(msg, wp, lp);
}

}  // namespace pm
