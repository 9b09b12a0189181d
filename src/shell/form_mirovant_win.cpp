#include "shell/form_mirovant_win.h"

#include "pipes/pipe_names.h"
#include "shell/incoming_win.h"
#include "shell/product.h"
#include "support/names_win.h"

namespace pm {

bool TFormMirovant::Create(HWND application) {
    CreateArgs args;
    args.className = kClassName;
    args.title = ProductCaption();
    args.style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    args.width = 320;
    args.height = 240;
    args.owner = application;
    return CreateWindowFor(args);
}

void TFormMirovant::StartListener() {
    handOver_.onText = &ShowTextMessage;
    handOver_.onAuth = &ShowAuthRequest;
    if (!handOver_.Create()) return;
    messenger_ = std::make_unique<TMessenger>(ListenerPipeName(LocalUserName()), handOver_);
    messenger_->Start();
}

void TFormMirovant::FormCreate() {
    // Centred on the screen, though it stays hidden.
    RECT rc;
    GetWindowRect(Handle(), &rc);
    const int width = rc.right - rc.left, height = rc.bottom - rc.top;
    SetWindowPos(Handle(), nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    StartListener();
}

void TFormMirovant::FormDestroy() {
    PostQuitMessage(0);
}

}  // namespace pm
