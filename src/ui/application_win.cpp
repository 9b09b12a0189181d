#include "ui/application_win.h"

namespace pm::ui {

Application& Application::Instance() {
    static Application application;
    return application;
}

bool Application::Create(const std::wstring& title) {
    if (Handle()) return true;
    // A real (not message-only) top-level window: broadcasts reach only those. It is
    // never shown, so the client has no task-bar button.
    CreateArgs args;
    args.className = kClassName;
    args.title = title;
    args.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    args.x = args.y = 0;
    args.width = args.height = 0;
    return CreateWindowFor(args);
}

void Application::BringToFront() const {
    const HWND last = GetLastActivePopup(Handle());
    if (last && last != Handle() && IsWindowVisible(last) && IsWindowEnabled(last)) SetForegroundWindow(last);
}

void Application::OnActivationMessage() {
    ++activationCount_;
    if (!mainForm_) return;
    if (IsIconic(Handle())) ShowWindow(mainForm_, SW_RESTORE);
    SetForegroundWindow(mainForm_);
}

LRESULT Application::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (activationMessage_ != 0 && msg == activationMessage_) {
        OnActivationMessage();
        return 0;
    }
    if (msg == kQueryActivationCount) return activationCount_;
    if (msg == WM_SIZE && wp == SIZE_MINIMIZED && onMinimize) onMinimize();
    return Window::HandleMessage(msg, wp, lp);
}

}  // namespace pm::ui
