#include "account/form_requests_win.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include "account/form_connect_win.h"
#include "account/query_account_win.h"
#include "support/auth_fakes_win.h"
#include "support/fixed_formats_win.h"
#include "support/names_win.h"
#include "support/pipe_peer_win.h"
#include "support/print_server_win.h"
#include "support/product.h"
#include "support/registry_sandbox_win.h"
#include "support/registry_win.h"
#include "ui/controls_win.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

class AccountQuery : public ::testing::Test {
protected:
    void Serve(const std::wstring& arguments) {
        pipe_ = test::UniquePipeName(L"account");
        ASSERT_TRUE(server_.Start(L"serve", L"--pipe " + pipe_ + L" " + arguments));
        ASSERT_FALSE(server_.WaitForEvent({"\"started\""}).empty());
    }
    test::PrintServer server_;
    std::wstring pipe_;
};

TEST_F(AccountQuery, ThreeExchangesGiveTheSummary) {
    Serve(L"");
    const auto summary = QueryAccountOn(pipe_, L"jsmith");
    ASSERT_TRUE(summary);
    EXPECT_TRUE(summary->money);
    EXPECT_EQ(summary->balance, 12500);
    EXPECT_EQ(summary->restriction, 50000u);
    EXPECT_EQ(server_.CountEvents("\"query\""), 3u);
    EXPECT_FALSE(server_.WaitForEvent({"\"user\":\"jsmith\""}).empty());
}

TEST_F(AccountQuery, AWrongAcknowledgementStopsAtTheFirstExchange) {
    Serve(L"--misbehave wrong-ack");
    EXPECT_FALSE(QueryAccountOn(pipe_, L"jsmith"));
    Sleep(200);
    EXPECT_EQ(server_.CountEvents("\"query\""), 1u) << "no second connection";
}

TEST_F(AccountQuery, AServerThatRefusesTheSecondConnectionGivesNothing) {
    Serve(L"--max-connections 1");
    EXPECT_FALSE(QueryAccountOn(pipe_, L"jsmith"));
}

TEST_F(AccountQuery, AShortRecordLeavesTheRestZero) {
    Serve(L"--misbehave short-record --only-code 0x10000406");
    const auto summary = QueryAccountOn(pipe_, L"jsmith");
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->balance, 0) << "the balance lies in the half that did not come";
}

// The account window, with the query and the Connect dialog replaced.

class AccountWindow : public ::testing::Test {
protected:
    HWND Open() {
        RequestsArgs args;
        args.query = [this](const std::wstring& server, const std::wstring& user) {
            servers_.push_back(server);
            users_.push_back(user);
            if (during_) during_();
            return answer_;
        };
        args.chooseServer = [this](HWND) { return choice_; };
        TFormRequests* form = TFormRequests::Create(args);
        return form ? form->Handle() : nullptr;
    }
    static std::wstring Field(HWND window, int id) { return ui::WindowText(GetDlgItem(window, id)); }
    UniqueKey Interface() { return reg::OpenKey(HKEY_CURRENT_USER, kInterfaceKey, reg::Access::ReadWrite); }
    static bool Gone(HWND window) {
        return test::PumpUntil([&] { return !IsWindow(window); });
    }
    void TearDown() override {
        if (TFormRequests* form = TFormRequests::Instance()) DestroyWindow(form->Handle());
    }

    test::RegistrySandbox sandbox_;
    test::FixedFormats formats_;
    std::optional<AccountSummary> answer_;
    std::optional<std::wstring> choice_;
    std::function<void()> during_;
    std::vector<std::wstring> servers_, users_;
};

AccountSummary Money(int32_t balance, std::optional<uint32_t> limit) {
    AccountSummary s;
    s.money = true;
    s.balance = balance;
    s.restriction = limit;
    return s;
}

TEST_F(AccountWindow, FirstOpeningSitsBottomRightWithoutServerAndDoesNotPoll) {
    const HWND window = Open();
    ASSERT_TRUE(window);
    RECT rc, area;
    GetWindowRect(window, &rc);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    EXPECT_EQ(rc.right, area.right);
    EXPECT_EQ(rc.bottom, area.bottom);
    EXPECT_EQ(Field(window, TFormRequests::kIdServer), L"");
    EXPECT_EQ(Field(window, TFormRequests::kIdUsername), LocalUserName());
    EXPECT_EQ(Field(window, TFormRequests::kIdBalance), L"");
    EXPECT_TRUE(servers_.empty());
    SendMessageW(window, WM_TIMER, TFormRequests::kTimerId, 0);
    EXPECT_TRUE(servers_.empty()) << "no server, no poll";
}

TEST_F(AccountWindow, MoneyAmountsInTheLocalesCurrencyForm) {
    reg::WriteString(Interface().Get(), L"AccInfoServer", L"SRV1");
    answer_ = Money(12340, std::nullopt);
    const HWND window = Open();
    EXPECT_EQ(servers_, (std::vector<std::wstring>{L"SRV1"})) << "the first poll runs at creation";
    EXPECT_EQ(CurrentPrintServer(), L"SRV1");
    EXPECT_EQ(Field(window, TFormRequests::kIdBalance), L"$12.34");
    EXPECT_EQ(Field(window, TFormRequests::kIdRestriction), L"Unlimited");
    answer_ = Money(-1234567, 50000);
    SendMessageW(window, WM_TIMER, TFormRequests::kTimerId, 0);
    EXPECT_EQ(Field(window, TFormRequests::kIdBalance), L"-$1,234.57");
    EXPECT_EQ(Field(window, TFormRequests::kIdRestriction), L"$50.00");
}

TEST_F(AccountWindow, PagesAndDates) {
    reg::WriteString(Interface().Get(), L"AccInfoServer", L"SRV1");
    AccountSummary pages;
    pages.balance = -5;
    pages.restriction = 300;
    pages.updated = LocalTime{2026, 12, 1, 0, 0, 0, 0};
    answer_ = pages;
    const HWND window = Open();
    EXPECT_EQ(Field(window, TFormRequests::kIdBalance), L"-5 Pages");
    EXPECT_TRUE(GetWindowLongW(GetDlgItem(window, TFormRequests::kIdServerButton), GWL_STYLE) & BS_FLAT);
    EXPECT_EQ(Field(window, TFormRequests::kIdRestriction), L"300");
    const std::wstring midnight = L"01.12.2026";  // the date stands alone at midnight
    EXPECT_EQ(Field(window, TFormRequests::kIdUpdating), midnight);
    pages.updated = LocalTime{2026, 12, 1, 8, 30, 0, 0};
    answer_ = pages;
    SendMessageW(window, WM_TIMER, TFormRequests::kTimerId, 0);
    EXPECT_EQ(Field(window, TFormRequests::kIdUpdating), L"01.12.2026 08:30:00");
    // Regression: milliseconds made midnight a time, and an unformattable date left the time alone.
    pages.updated = LocalTime{2026, 12, 1, 0, 0, 0, 500};
    answer_ = pages;
    SendMessageW(window, WM_TIMER, TFormRequests::kTimerId, 0);
    EXPECT_EQ(Field(window, TFormRequests::kIdUpdating), midnight);
    pages.updated = LocalTime{1200, 1, 1, 8, 30, 0, 0};
    answer_ = pages;
    SendMessageW(window, WM_TIMER, TFormRequests::kTimerId, 0);
    EXPECT_EQ(Field(window, TFormRequests::kIdUpdating), L"");
    pages.updated.reset();
    answer_ = pages;
    SendMessageW(window, WM_TIMER, TFormRequests::kTimerId, 0);
    EXPECT_EQ(Field(window, TFormRequests::kIdUpdating), L"");
}

TEST_F(AccountWindow, AServerThatStopsAnsweringKeepsTheLastValues) {
    reg::WriteString(Interface().Get(), L"AccInfoServer", L"SRV1");
    answer_ = Money(1000, 2000);
    const HWND window = Open();
    const std::wstring shown = Field(window, TFormRequests::kIdBalance);
    answer_.reset();
    SendMessageW(window, WM_TIMER, TFormRequests::kTimerId, 0);
    EXPECT_EQ(Field(window, TFormRequests::kIdBalance), shown);
    answer_ = Money(3000, 2000);
    SendMessageW(window, WM_TIMER, TFormRequests::kTimerId, 0);
    EXPECT_EQ(Field(window, TFormRequests::kIdBalance), L"$3.00");
}

TEST_F(AccountWindow, AChoiceIsShownAndStoredInUpperCaseAndReopeningRestoresAll) {
    HWND window = Open();
    choice_ = L"srv9";
    SendMessageW(GetDlgItem(window, TFormRequests::kIdServerButton), BM_CLICK, 0, 0);
    EXPECT_EQ(Field(window, TFormRequests::kIdServer), L"SRV9");
    EXPECT_EQ(servers_, (std::vector<std::wstring>{L"SRV9"})) << "polled at once";
    SetWindowPos(window, nullptr, 123, 77, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(Gone(window));
    EXPECT_EQ(reg::ReadString(Interface().Get(), L"AccInfoServer").value, L"SRV9");
    EXPECT_EQ(reg::ReadDword(Interface().Get(), L"AccInfoLeft").value, 123u);

    window = Open();
    RECT rc;
    GetWindowRect(window, &rc);
    EXPECT_EQ(rc.left, 123);
    EXPECT_EQ(rc.top, 77);
    EXPECT_EQ(servers_.size(), 2u) << "reopening polls at once";

    // Saved near an edge, restored as saved (regression: snapped to the edge).
    SendMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(Gone(window));
    RECT area;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    reg::WriteDword(Interface().Get(), L"AccInfoLeft", uint32_t(area.left + 4));
    reg::WriteDword(Interface().Get(), L"AccInfoTop", uint32_t(area.top + 4));
    window = Open();
    GetWindowRect(window, &rc);
    EXPECT_EQ(rc.left, area.left + 4);
    EXPECT_EQ(rc.top, area.top + 4);
}

TEST_F(AccountWindow, CancelInTheConnectDialogChangesNothing) {
    reg::WriteString(Interface().Get(), L"AccInfoServer", L"SRV1");
    const HWND window = Open();
    choice_.reset();
    SendMessageW(GetDlgItem(window, TFormRequests::kIdServerButton), BM_CLICK, 0, 0);
    EXPECT_EQ(Field(window, TFormRequests::kIdServer), L"SRV1");
    EXPECT_EQ(servers_.size(), 1u);
}

TEST_F(AccountWindow, AskedForAgainWhileClosingForAPollItStays) {
    // Regression: "Account Info..." opened nothing while the closing window waited.
    reg::WriteString(Interface().Get(), L"AccInfoServer", L"SRV1");
    const HWND window = Open();
    HWND again = nullptr;
    during_ = [&] {
        if (again) return;
        SendMessageW(window, WM_CLOSE, 0, 0);
        again = Open();
    };
    SendMessageW(window, WM_TIMER, TFormRequests::kTimerId, 0);
    test::PumpFor(100ms);
    EXPECT_EQ(again, window);
    EXPECT_TRUE(IsWindow(window) && IsWindowVisible(window));
}

TEST_F(AccountWindow, ClosingWhileAPollWaitsWritesNothingIntoTheDestroyedWindow) {
    reg::WriteString(Interface().Get(), L"AccInfoServer", L"SRV1");
    answer_ = Money(1000, std::nullopt);
    HWND window = Open();
    int closes = 0;
    during_ = [&] {
        // While the query waits, the user closes the window and a tick comes due.
        if (closes++ == 0) {
            SendMessageW(window, WM_CLOSE, 0, 0);
            SendMessageW(window, WM_TIMER, TFormRequests::kTimerId, 0);
            test::PumpFor(100ms);
        }
    };
    answer_ = Money(777000, std::nullopt);
    SendMessageW(window, WM_TIMER, TFormRequests::kTimerId, 0);
    EXPECT_TRUE(Gone(window));
    EXPECT_EQ(TFormRequests::Instance(), nullptr);
    EXPECT_EQ(servers_.size(), 2u) << "the tick during the poll did not nest a poll";
    EXPECT_EQ(reg::ReadString(Interface().Get(), L"AccInfoServer").value, L"SRV1");
}

class ConnectDialog : public ::testing::Test {
protected:
    // Outside the registry sandbox, which hides the computer's name.
    static void SetUpTestSuite() { InitThisComputer(); }
    void SetHistory(const std::vector<std::wstring>& names) {
        const UniqueKey key = reg::OpenKey(HKEY_CURRENT_USER, kComputersKey, reg::Access::ReadWrite);
        for (size_t i = 0; i < names.size(); ++i)
            reg::WriteString(key.Get(), std::to_wstring(i).c_str(), names[i]);
    }
    std::vector<std::wstring> History() {
        std::vector<std::wstring> names;
        const UniqueKey key = reg::OpenKey(HKEY_CURRENT_USER, kComputersKey, reg::Access::Read);
        for (int i = 0; key; ++i) {
            const auto read = reg::ReadString(key.Get(), std::to_wstring(i).c_str());
            if (!read.Ok()) break;
            names.push_back(read.value);
        }
        return names;
    }
    std::optional<std::wstring> Pick(const wchar_t* text) {
        TFormConnect dialog({});
        EXPECT_TRUE(dialog.Create(nullptr));
        if (text) SetWindowTextW(GetDlgItem(dialog.Handle(), TFormConnect::kIdComputer), text);
        SendMessageW(dialog.Handle(), WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(dialog.Ended());
        return dialog.Result();
    }
    test::RegistrySandbox sandbox_;
};

TEST_F(ConnectDialog, FirstUseOffersThisComputerAndStoresNothing) {
    TFormConnect dialog({});
    ASSERT_TRUE(dialog.Create(nullptr));
    EXPECT_EQ(dialog.Items(), (std::vector<std::wstring>{ThisComputer() + L" (local host)"}));
    EXPECT_EQ(ui::WindowText(GetDlgItem(dialog.Handle(), TFormConnect::kIdComputer)), ThisComputer());
    EXPECT_EQ(SendDlgItemMessageW(dialog.Handle(), TFormConnect::kIdComputer, CB_GETMINVISIBLE, 0, 0), 24)
        << "rows of the dropped-down list";
    EXPECT_EQ(Pick(nullptr), ThisComputer());
    EXPECT_TRUE(History().empty());
}

TEST_F(ConnectDialog, HistoryRules) {
    SetHistory({L"SRV1", L"SRV2"});
    EXPECT_EQ(Pick(L"SRV2"), L"SRV2");
    EXPECT_EQ(History(), (std::vector<std::wstring>{L"SRV2", L"SRV1"}));
    EXPECT_EQ(Pick(L"srv1"), L"srv1");
    EXPECT_EQ(History(), (std::vector<std::wstring>{L"srv1", L"SRV2"}));
    EXPECT_EQ(Pick((ThisComputer() + L" (local host)").c_str()), ThisComputer());
    EXPECT_EQ(History(), (std::vector<std::wstring>{L"srv1", L"SRV2"}));
    EXPECT_EQ(Pick(L"SRV3 extra"), L"SRV3");
    EXPECT_EQ(History().front(), L"SRV3");
}

TEST_F(ConnectDialog, OkIsEnabledExactlyWhenTheFieldNamesAServer) {
    // Regression: choosing the empty entry of the list enabled OK, which then saved an
    // empty print server; a name from Browse left OK as it was. Driven as a user does.
    const UniqueKey key = reg::OpenKey(HKEY_CURRENT_USER, kComputersKey, reg::Access::ReadWrite);
    reg::WriteString(key.Get(), L"0", L"SRV1");
    reg::WriteString(key.Get(), L"stray", L"X");  // position 1 missing: an empty entry
    TFormConnect::Args args;
    args.browse = [](HWND, std::wstring& name) {
        name = L"BROWSED";
        return true;
    };
    TFormConnect dialog(args);
    ASSERT_TRUE(dialog.Create(nullptr));
    const HWND field = GetDlgItem(dialog.Handle(), TFormConnect::kIdComputer);
    const HWND edit = FindWindowExW(field, nullptr, L"Edit", nullptr);
    const HWND ok = GetDlgItem(dialog.Handle(), IDOK);
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(GetWindowLongW(GetDlgItem(dialog.Handle(), TFormConnect::kIdBrowse), GWL_STYLE) & BS_FLAT);
    EXPECT_EQ(ui::WindowText(field), L"SRV1");
    SendMessageW(edit, EM_SETSEL, 0, -1);
    SendMessageW(edit, WM_CHAR, VK_BACK, 0);  // typed away
    EXPECT_FALSE(IsWindowEnabled(ok));
    SendMessageW(dialog.Handle(), WM_COMMAND, IDOK, 0);
    EXPECT_FALSE(dialog.Ended()) << "Enter does nothing while OK is disabled";
    SendMessageW(GetDlgItem(dialog.Handle(), TFormConnect::kIdBrowse), BM_CLICK, 0, 0);
    EXPECT_TRUE(IsWindowEnabled(ok)) << "a name from Browse";
    for (int i = 0; i < 3 && SendMessageW(field, CB_GETCURSEL, 0, 0) != 2; ++i)
        SendMessageW(edit, WM_KEYDOWN, VK_DOWN, 0);  // down the list to the empty entry
    ASSERT_EQ(SendMessageW(field, CB_GETCURSEL, 0, 0), 2);
    EXPECT_FALSE(IsWindowEnabled(ok));
    SendMessageW(edit, WM_KEYDOWN, VK_UP, 0);
    EXPECT_TRUE(IsWindowEnabled(ok)) << "SRV1 chosen";
}

TEST_F(ConnectDialog, AMissingPositionGivesAnEmptyEntryThatDisappearsOnOk) {
    const UniqueKey key = reg::OpenKey(HKEY_CURRENT_USER, kComputersKey, reg::Access::ReadWrite);
    reg::WriteString(key.Get(), L"0", L"SRV1");
    reg::WriteString(key.Get(), L"stray", L"X");
    TFormConnect dialog({});
    ASSERT_TRUE(dialog.Create(nullptr));
    EXPECT_EQ(dialog.Items().size(), 3u);
    EXPECT_EQ(dialog.Items()[2], L"");
    SendMessageW(dialog.Handle(), WM_COMMAND, IDOK, 0);
    EXPECT_EQ(History(), (std::vector<std::wstring>{L"SRV1"}));
}

TEST_F(ConnectDialog, TheHistoryIsReplacedWholeOrNotAtAll) {
    // Regression: the old values were deleted before the new ones were written, so a
    // failure part-way lost the list. The new list now takes the old one's place whole,
    // and a list set aside by a write cut off at that moment is still read.
    SetHistory({L"SRV1", L"SRV2"});
    EXPECT_EQ(Pick(L"SRV3"), L"SRV3");
    EXPECT_EQ(History(), (std::vector<std::wstring>{L"SRV3", L"SRV1", L"SRV2"}));
    const UniqueKey parent = reg::OpenKey(HKEY_CURRENT_USER, kInterfaceKey, reg::Access::ReadWrite);
    UniqueKey side;
    EXPECT_NE(RegOpenKeyExW(parent.Get(), L"Computers.new", 0, KEY_READ, side.Put()), ERROR_SUCCESS);
    EXPECT_NE(RegOpenKeyExW(parent.Get(), L"Computers.old", 0, KEY_READ, side.Put()), ERROR_SUCCESS);
    RegDeleteTreeW(parent.Get(), L"Computers");
    RegCreateKeyExW(parent.Get(), L"Computers.old", 0, nullptr, 0, KEY_WRITE, nullptr, side.Put(), nullptr);
    reg::WriteString(side.Get(), L"0", L"SRV9");
    TFormConnect dialog({});
    ASSERT_TRUE(dialog.Create(nullptr));
    EXPECT_EQ(ui::WindowText(GetDlgItem(dialog.Handle(), TFormConnect::kIdComputer)), L"SRV9");
}

}  // namespace
}  // namespace pm
