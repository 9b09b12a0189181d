#include "shell/form_mirovant_win.h"

#include "shell/product.h"

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

void TFormMirovant::FormCreate() {
    // Centred on the screen, though it stays hidden.
    RECT rc;
    GetWindowRect(Handle(), &rc);
    const int width = rc.right - rc.left, height = rc.bottom - rc.top;
    SetWindowPos(Handle(), nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TFormMirovant::FormDestroy() {
    PostQuitMessage(0);
}

}  // namespace pm
