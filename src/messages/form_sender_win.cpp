#include "messages/form_sender_win.h"

#include <commctrl.h>
#include <windows.h>

#include <algorithm>

#include "i18n/language_win.h"
#include "messages/message_text.h"
#include "pipes/request_record.h"
#include "pipes/send_message_win.h"
#include "support/names_win.h"
#include "support/product.h"
#include "ui/application_win.h"
#include "ui/controls_win.h"
#include "ui/direction_win.h"

namespace pm {
namespace {

bool SameIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), int(a.size()), b.c_str(), int(b.size())) ==
           CSTR_EQUAL;
}

void Box(HWND owner, const std::wstring& text, const std::wstring& caption, UINT icon) {
    ui::ShowMessageBox(owner, text, caption, MB_OK | icon);
}

}  // namespace

TFormSender::TFormSender(SenderArgs args) : args_(std::move(args)) {
    if (!args_.send) args_.send = &SendUserMessage;
    if (!args_.box) args_.box = &Box;
}

TFormSender* TFormSender::Create(SenderArgs args) {
    if (instance_) return instance_;
    return CreateOnce(instance_, new TFormSender(std::move(args)), kClassName, ui::Application::Instance().Handle());
}

void TFormSender::FormCreate() {
    InitDialog();
    const HFONT f = Font();
    const HWND w = Handle();
    computerLabel_ = ui::CreateControl(w, {WC_STATICW, L"", SS_LEFT, 0, kIdComputerLabel}, f);
    computer_ = ui::CreateControl(w, {WC_EDITW, L"", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, kIdComputer}, f);
    usernameLabel_ = ui::CreateControl(w, {WC_STATICW, L"", SS_LEFT, 0, kIdUsernameLabel}, f);
    username_ = ui::CreateControl(w, {WC_EDITW, L"", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, kIdUsername}, f);
    messageLabel_ = ui::CreateControl(w, {WC_STATICW, L"", SS_LEFT, 0, kIdMessageLabel}, f);
    // Enter inside the message starts a new line.
    message_ =
        ui::CreateControl(w,
                          {WC_EDITW, L"", ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP,
                           WS_EX_CLIENTEDGE, kIdMessage},
                          f);
    SendMessageW(message_, EM_SETLIMITTEXT, 0, 0);
    ui::TabLeavesEdit(message_);
    send_ = ui::CreateControl(w, {WC_BUTTONW, L"", BS_PUSHBUTTON | WS_TABSTOP, 0, kIdSend}, f);
    close_ = ui::CreateControl(w, {WC_BUTTONW, L"", BS_DEFPUSHBUTTON | WS_TABSTOP, 0, IDOK}, f);

    const LangReader lang = OpenLanguageFile();
    SetWindowTextW(w, ProductCaption().c_str());
    SetWindowTextW(computerLabel_, (lang.Read(text::kComputer) + L":").c_str());
    SetWindowTextW(usernameLabel_, (lang.Read(text::kUsername) + L":").c_str());
    SetWindowTextW(messageLabel_, (lang.Read(text::kMessage) + L":").c_str());
    SetWindowTextW(send_, lang.Read(text::kSend).c_str());
    SetWindowTextW(close_, lang.Read(text::kClose).c_str());
    const HICON small =
        static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), L"MAINICON", IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                      GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    SendMessageW(w, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    Layout();
    ui::CenterOnScreen(w);
}

void TFormSender::Layout() {
    const HFONT f = Font();
    const ui::TextMeter meter(Handle(), f);
    const int margin = S(10), textHeight = ui::TextHeight(Handle(), f);
    const int editHeight = textHeight + S(8);
    int labelWidth = 0;
    for (HWND label : {computerLabel_, usernameLabel_, messageLabel_})
        labelWidth = std::max(labelWidth, meter.WidthOf(label));
    // However long the labels, the fields keep the room they have beside English ones.
    const int width = std::max(S(380), margin + labelWidth + S(10) + S(260) + margin);
    const int fieldLeft = margin + labelWidth + S(10), fieldWidth = width - margin - fieldLeft;
    int top = margin;
    for (auto [label, field] : {std::pair{computerLabel_, computer_}, std::pair{usernameLabel_, username_}}) {
        ui::Place(label, margin, top + (editHeight - textHeight) / 2, labelWidth + S(2), textHeight);
        ui::Place(field, fieldLeft, top, fieldWidth, editHeight);
        top += editHeight + S(6);
    }
    ui::Place(messageLabel_, margin, top + S(4), labelWidth + S(2), textHeight);
    ui::Place(message_, fieldLeft, top, fieldWidth, S(110));
    top += S(110) + S(10);
    const int buttonWidth = std::max({S(80), meter.WidthOf(send_) + S(24), meter.WidthOf(close_) + S(24)});
    ui::Place(close_, width - margin - buttonWidth, top, buttonWidth, S(25));
    ui::Place(send_, width - margin - 2 * buttonWidth - S(6), top, buttonWidth, S(25));
    SetClientSize(width, top + S(25) + margin);
}

void TFormSender::btnSendClick() {
    if (Busy()) return;
    const BusyScope busy(*this);
    const std::wstring computer = ui::WindowText(computer_), user = ui::WindowText(username_);
    const std::wstring message = ui::WindowText(message_);
    const TextKey* caption = &text::kError;
    const TextKey* box = nullptr;
    UINT icon = MB_ICONERROR;
    if (SameIgnoringCase(computer, LocalComputerName()) && SameIgnoringCase(user, LocalUserName())) {
        box = &text::kSelfMessage;
    } else if (TrimBelow33(message).empty()) {
        box = &text::kEmptyMessage;
    } else if (args_.send(int32_t(request::kTextMessageKind), computer, user, message)) {
        caption = &text::kInformation;
        box = &text::kMessageSent;
        icon = MB_ICONINFORMATION;
    } else {
        box = &text::kMessageNotSent;
    }
    args_.box(Handle(), LangString(*box), LangString(*caption), icon);
}

ui::CloseAction TFormSender::FormClose() {
    // A close during a send (which pumps messages) waits until the send is done.
    return HoldCloseWhileBusy() ? ui::CloseAction::None : ui::CloseAction::Free;
}

void TFormSender::FormDestroy() {
    if (instance_ == this) instance_ = nullptr;
}

LRESULT TFormSender::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
            if (LOWORD(wp) == kIdSend && HIWORD(wp) == BN_CLICKED) btnSendClick();
            if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) Close();
            return 0;
    }
    return Dialog::HandleMessage(msg, wp, lp);
}

}  // namespace pm
