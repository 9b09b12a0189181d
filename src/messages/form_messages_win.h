#pragma once
// TFormMessages: the window that shows the messages received. Created hidden at
// start-up, with its captions, and kept for the whole run; its controls are made
// when the first message comes or the window is first shown. It keeps the messages
// not yet dismissed (at most kMaxUnread; beyond that the oldest is dropped) and
// shows the newest, with a line saying how many wait behind it. OK or Escape
// dismisses the one shown and shows the next; after the last the window hides and
// keeps its text for "View Messages". Closing it only hides it and dismisses
// nothing. The line above the text names its sender as the system reported it;
// nothing in the text can change that line. User-interface thread only.

#include <windows.h>

#include <cstddef>
#include <deque>
#include <functional>
#include <string>

#include "pipes/peer_identity_win.h"
#include "support/unique_win.h"
#include "ui/dialog_win.h"

namespace pm {

class TFormMessages final : public ui::Dialog {
public:
    ~TFormMessages() override { DestroyNow(); }
    static constexpr wchar_t kClassName[] = L"PrintMirovant.Messages";
    enum : int { kIdMessage = 101, kIdIcon, kIdSender, kIdMore };  // btnOk is IDOK (Enter and Escape)
    // A flood from one peer cannot grow the process: the oldest unread message goes.
    static constexpr size_t kMaxUnread = 50;
    // The user is alerted (focus and sound) at most once in this time.
    static constexpr ULONGLONG kAlertIntervalMs = 1000;

    // The process's message window; created by Create() once at start-up.
    static TFormMessages* Instance() { return instance_; }
    static TFormMessages* Create();

    // Adds a message and shows it in front of those not yet dismissed; the user is
    // not alerted and a hidden window stays hidden.
    void SetMessage(const std::wstring& text, const PeerIdentity& sender = {});
    // Adds a message and alerts the user: brings the window to the front and beeps,
    // at most once per kAlertIntervalMs. Within that time a flood only updates the
    // text and the count; a window hidden meanwhile comes back at the end of it.
    void Receive(const std::wstring& text, const PeerIdentity& sender);
    std::wstring Message() const;
    std::wstring SenderLine() const;
    // Hides it, makes it topmost, shows it, brings it to the front, then ordinary stacking.
    void BringToTop();
    // Where the alert's time comes from (GetTickCount64 unless a test sets another).
    void SetTicks(std::function<ULONGLONG()> ticks) { ticks_ = std::move(ticks); }

private:
    struct Received {
        std::wstring text, senderLine;
    };
    static constexpr UINT_PTR kAlertTimerId = 1;

    TFormMessages() = default;
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void FormCreate() override;
    void CreateControls();
    ui::CloseAction FormClose() override { return ui::CloseAction::Hide; }
    void FormDestroy() override;
    void Layout();
    void DpiChanged() override { Layout(); }
    void ShowNewest();
    void Alert();
    void AlertTimer();
    void btnOkClick();

    static inline TFormMessages* instance_ = nullptr;
    HWND sender_ = nullptr, message_ = nullptr, more_ = nullptr, icon_ = nullptr, ok_ = nullptr;
    // Read with the captions at start-up.
    std::wstring okText_, from_, moreText_;
    PeerWords peerWords_;
    // Not yet dismissed, oldest first; the last is the one shown.
    std::deque<Received> unread_;
    std::function<ULONGLONG()> ticks_ = [] { return GetTickCount64(); };
    ULONGLONG lastAlert_ = 0;
    bool alerted_ = false;
};

}  // namespace pm
