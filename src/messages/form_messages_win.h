#pragma once
// TFormMessages: the window that shows the last message received. Created hidden
// at start-up and kept for the whole run; closing it only hides it, and its text
// stays until the next message replaces it. The line above the text names its
// sender as the system reported it; nothing in the text can change that line.
// User-interface thread only.

#include <string>

#include "pipes/peer_identity_win.h"
#include "support/unique_win.h"
#include "ui/dialog_win.h"

namespace pm {

class TFormMessages final : public ui::Dialog {
public:
    ~TFormMessages() override { DestroyNow(); }
    static constexpr wchar_t kClassName[] = L"PrintMirovant.Messages";
    enum : int { kIdMessage = 101, kIdIcon, kIdSender };  // btnOk is IDOK (Enter and Escape)

    // The process's message window; created by Create() once at start-up.
    static TFormMessages* Instance() { return instance_; }
    static TFormMessages* Create();

    // Replaces the text and its sender (no history is kept).
    void SetMessage(const std::wstring& text, const PeerIdentity& sender = {});
    std::wstring Message() const;
    std::wstring SenderLine() const;
    // Hides it, makes it topmost, shows it, brings it to the front, then ordinary stacking.
    void BringToTop();

private:
    TFormMessages() = default;
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void FormCreate() override;
    ui::CloseAction FormClose() override { return ui::CloseAction::Hide; }
    void FormDestroy() override;
    void Layout();
    void DpiChanged() override { Layout(); }

    static inline TFormMessages* instance_ = nullptr;
    HWND sender_ = nullptr, message_ = nullptr, icon_ = nullptr, ok_ = nullptr;
    // Read with the captions at start-up.
    std::wstring from_;
    PeerWords peerWords_;
    UniqueIcon bigIcon_;
};

}  // namespace pm
