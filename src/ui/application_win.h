#pragma once
// The application's hidden top-level window: it owns every form (so the forms have
// no task-bar button of their own and "the last active popup" finds them), receives
// the activation message that a second start broadcasts, and knows the main form.
//
// One per process, on the user-interface thread.

#include <functional>

#include "ui/window_win.h"

namespace pm::ui {

class Application final : public Window {
public:
    // Diagnostics for tests and tools: answers how many activation messages arrived.
    static constexpr UINT kQueryActivationCount = WM_APP + 0x3A0;
    static constexpr wchar_t kClassName[] = L"PrintMirovant.Application";

    static Application& Instance();

    bool Create(const std::wstring& title);
    void SetMainForm(HWND mainForm) { mainForm_ = mainForm; }
    HWND MainForm() const { return mainForm_; }
    // From now on the window reacts to `message` by bringing the main form forward.
    void SetActivationMessage(UINT message) { activationMessage_ = message; }
    // Makes the last active of the application's windows the foreground window, if it
    // is another window than this one and is visible and enabled.
    void BringToFront() const;

    // Runs when the application is minimised.
    std::function<void()> onMinimize;

private:
    Application() = default;
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    CloseAction FormClose() override { return CloseAction::None; }
    void OnActivationMessage();

    HWND mainForm_ = nullptr;
    UINT activationMessage_ = 0;
    LONG activationCount_ = 0;
};

}  // namespace pm::ui
