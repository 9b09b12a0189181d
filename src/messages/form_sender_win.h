#pragma once
// TFormSender: the "Send Message..." dialog. The user names a computer and a user
// and types a text; Send checks it and hands it to SendUserMessage, then reports
// the outcome in a message box. The fields keep their contents after sending.
//
// At most one exists (Instance()); it frees itself when closed and clears the
// reference, so the next one opens empty. User-interface thread only.

#include <functional>
#include <string>

#include "support/unique_win.h"
#include "ui/dialog_win.h"

namespace pm {

struct SenderArgs {
    // Default SendUserMessage.
    std::function<bool(int32_t, const std::wstring&, const std::wstring&, const std::wstring&)> send;
    // A message box owned by the dialog; default MessageBoxW.
    std::function<void(HWND, const std::wstring& text, const std::wstring& caption, UINT icon)> box;
};

class TFormSender final : public ui::Dialog {
public:
    ~TFormSender() override { DestroyNow(); }
    static constexpr wchar_t kClassName[] = L"PrintMirovant.Sender";
    // btnClose is IDOK and IDCANCEL's target: Enter in a one-line field and Escape close.
    enum : int {
        kIdComputer = 101,
        kIdUsername,
        kIdMessage,
        kIdSend,
        kIdComputerLabel,
        kIdUsernameLabel,
        kIdMessageLabel
    };

    static TFormSender* Instance() { return instance_; }
    // Creates the dialog (hidden) unless one exists; returns the one that exists.
    static TFormSender* Create(SenderArgs args = {});

    void btnSendClick();

private:
    explicit TFormSender(SenderArgs args);
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void FormCreate() override;
    ui::CloseAction FormClose() override;
    void FormDestroy() override;
    void Layout();
    void DpiChanged() override { Layout(); }

    static inline TFormSender* instance_ = nullptr;
    SenderArgs args_;
    HWND computerLabel_ = nullptr, computer_ = nullptr, usernameLabel_ = nullptr, username_ = nullptr;
    HWND messageLabel_ = nullptr, message_ = nullptr, send_ = nullptr, close_ = nullptr;
};

}  // namespace pm
