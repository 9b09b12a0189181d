#pragma once
// TFormRequests: the "Account Info..." window. Shows the print server asked, the
// user, and the user's balance, restriction and date of updating, polled from the
// server at creation, on every server choice and every 30 seconds. Remembers its
// position and server in the registry. At most one exists; it frees itself when
// closed. User-interface thread only.
//
// A poll keeps messages flowing while it waits, so ticks, clicks and closes can
// arrive meanwhile. A tick during a poll is not nested: one more poll follows when
// the running one ends (so a new server choice is asked at once). A close during a
// poll hides the window at once and destroys it when the poll returns; its result is
// then dropped, never written into a destroyed window.

#include <functional>
#include <optional>
#include <string>

#include "account/account_records.h"
#include "i18n/language_win.h"
#include "support/unique_win.h"
#include "ui/dialog_win.h"

namespace pm {

// The texts the window shows for an account summary, in the user's locale, the
// words from the language file of `lang`.
struct AccountTexts {
    std::wstring balance;
    std::wstring restriction;
    std::wstring updated;  // "" when there is no date of updating
};
AccountTexts AccountSummaryTexts(const AccountSummary& summary, const LangReader& lang);

struct RequestsArgs {
    // Default QueryAccount.
    std::function<std::optional<AccountSummary>(const std::wstring& server, const std::wstring& user)> query;
    // Runs the Connect dialog; default TFormConnect::Run.
    std::function<std::optional<std::wstring>(HWND owner)> chooseServer;
};

class TFormRequests final : public ui::Dialog {
public:
    ~TFormRequests() override { DestroyNow(); }
    static constexpr wchar_t kClassName[] = L"PrintMirovant.AccountInfo";
    enum : int {
        kIdServer = 101,
        kIdUsername,
        kIdBalance,
        kIdRestriction,
        kIdUpdating,
        kIdServerButton,
        kIdIcon,
        kIdLabel = 120,  // + row: server, user, balance, restriction, date
    };                   // OK is IDOK (Enter and Escape)
    static constexpr UINT kTimerId = 1;
    static constexpr UINT kPollInterval = 30000;

    static TFormRequests* Instance() { return instance_; }
    // Creates the window (hidden; the first poll has run) unless one exists.
    static TFormRequests* Create(RequestsArgs args = {});

    void TimerTimer();
    void btnServerClick();

private:
    explicit TFormRequests(RequestsArgs args);
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void FormCreate() override;
    ui::CloseAction FormClose() override;
    void FormDestroy() override;
    void Layout();
    void DpiChanged() override { Layout(); }
    void Show(const AccountSummary& summary);
    void SnapToWorkArea(WINDOWPOS& pos) const;

    static inline TFormRequests* instance_ = nullptr;
    RequestsArgs args_;
    HWND labels_[5] = {};
    HWND server_ = nullptr, user_ = nullptr, balance_ = nullptr, restriction_ = nullptr, updating_ = nullptr;
    HWND serverButton_ = nullptr, icon_ = nullptr, ok_ = nullptr;
    bool polling_ = false;
    bool pollAgain_ = false;
    bool choosing_ = false;   // inside the Connect dialog
    bool restoring_ = false;  // moving to the saved position: no snap
};

}  // namespace pm
