#include "shell/incoming_win.h"

#include <windows.h>

#include "auth/form_auth_win.h"
#include "messages/form_messages_win.h"

namespace pm {
namespace {

std::function<void()>& TextMessageHook() {
    static std::function<void()> hook;
    return hook;
}

}  // namespace

void SetTextMessageHook(std::function<void()> hook) {
    TextMessageHook() = std::move(hook);
}

void ShowTextMessage(const std::wstring& text) {
    if (TFormMessages* window = TFormMessages::Instance()) {
        window->SetMessage(text);
        window->BringToTop();
    }
    if (TextMessageHook()) TextMessageHook()();
    MessageBeep(MB_ICONEXCLAMATION);
}

void ShowAuthRequest(const RequestBytes& record) {
    if (TFormAuth* dialog = TFormAuth::Create(record)) dialog->ShowOnTop();
    MessageBeep(MB_ICONEXCLAMATION);
}

}  // namespace pm
