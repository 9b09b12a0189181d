#include "auth/form_auth_win.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "auth/countdown.h"
#include "support/auth_fakes_win.h"
#include "support/fixed_formats_win.h"
#include "support/job_request_win.h"
#include "support/names_win.h"
#include "support/product.h"
#include "support/registry_sandbox_win.h"
#include "support/registry_win.h"
#include "support/test_log_win.h"
#include "ui/controls_win.h"
#include "ui/message_loop_win.h"

namespace pm {
namespace {

using namespace std::chrono_literals;
using test::PumpUntil;

class AuthDialog : public ::testing::Test {
protected:
    RequestBytes Job(uint8_t mode, double ageSeconds = 10, std::wstring pin = L"", std::wstring server = L".") {
        RequestRecord r = test::JobRequest(mode, clock_.DayCount() - ageSeconds / 86400.0);
        r.ServerComputer = std::move(server);
        r.PinCode = std::move(pin);
        return EncodeRequest(r);
    }
    HWND Open(const RequestBytes& job) {
        TFormAuth* dialog = TFormAuth::Create(job, recorded_.Args(clock_, check_));
        if (!dialog) return nullptr;
        dialog_ = dialog;
        return dialog->Handle();
    }
    static std::wstring Text(HWND dialog, int id) { return ui::WindowText(GetDlgItem(dialog, id)); }
    static void SetText(HWND dialog, int id, const wchar_t* text) { SetWindowTextW(GetDlgItem(dialog, id), text); }
    static void Click(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
    static bool Gone(HWND dialog) {
        return PumpUntil([&] { return !IsWindow(dialog); });
    }
    // A key as the message loop would see it, dialog keys included.
    static void Key(HWND control, WPARAM key, UINT message = WM_KEYDOWN) {
        MSG msg = {control, message, key, 0};
        ui::DispatchLoopMessage(msg);
    }
    static RECT Rect(HWND dialog, int id) {
        RECT rc;
        GetWindowRect(GetDlgItem(dialog, id), &rc);
        return rc;
    }
    void TearDown() override {
        // A dialog a test left open is closed (it frees itself).
        for (HWND h = FindWindowW(TFormAuth::kClassName, nullptr); h; h = FindWindowW(TFormAuth::kClassName, nullptr)) {
            DestroyWindow(h);
        }
    }

    test::RegistrySandbox sandbox_;
    test::FakeClock clock_;
    test::FakeCheck check_;
    test::Recorded recorded_;
    TFormAuth* dialog_ = nullptr;
};

TEST_F(AuthDialog, ModeOneOkAnswersPrintAtOnceAndCloses) {
    const HWND dialog = Open(Job(AuthNone));
    ASSERT_TRUE(dialog);
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, TFormAuth::kIdAuthGroup)));
    EXPECT_TRUE(GetWindowLongPtrW(dialog, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), nullptr);
    Click(dialog, IDOK);
    EXPECT_TRUE(Gone(dialog));
    EXPECT_EQ(recorded_.actions, (std::vector<uint32_t>{JobActionPrint}));
    EXPECT_TRUE(check_.calls.empty());
}

TEST_F(AuthDialog, ModeTwoChecksTheDomainAndUserOfTheBox) {
    const HWND dialog = Open(Job(AuthCurrentUser));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, TFormAuth::kIdUsername)));
    EXPECT_EQ(Text(dialog, TFormAuth::kIdUsername).front(), L'\\');  // no default domain here
    SetText(dialog, TFormAuth::kIdUsername, L"OFFICE\\anna");
    SetText(dialog, TFormAuth::kIdPassword, L"secret");
    Click(dialog, IDOK);
    EXPECT_TRUE(Gone(dialog));
    ASSERT_EQ(check_.calls.size(), 1u);
    EXPECT_EQ(check_.calls[0].user, L"anna");
    EXPECT_EQ(check_.calls[0].domain, L"OFFICE");
    EXPECT_EQ(check_.calls[0].password, L"secret");
    EXPECT_EQ(check_.calls[0].expectedSid, ProcessUserSid()) << "the client's own account, whatever the box names";
    EXPECT_EQ(recorded_.actions, (std::vector<uint32_t>{JobActionPrint}));
}

TEST_F(AuthDialog, ModeThreeFindsTheAccountOfTheNameAsTypedFirst) {
    // Regression: "OFFICE\anna" was looked up as "anna", which may be a local account.
    for (const auto& [typed, domain] : {std::pair{L"anna", L""}, std::pair{L"OFFICE\\anna", L"OFFICE"}}) {
        check_.lookups.clear();
        check_.calls.clear();
        const HWND dialog = Open(Job(AuthAnyAccount));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, TFormAuth::kIdUsername)));
        SetText(dialog, TFormAuth::kIdUsername, typed);
        Click(dialog, IDOK);
        EXPECT_TRUE(Gone(dialog));
        ASSERT_EQ(check_.lookups, (std::vector<std::wstring>{typed}));
        ASSERT_EQ(check_.calls.size(), 1u);
        EXPECT_EQ(check_.calls[0].user, L"anna");
        EXPECT_EQ(check_.calls[0].domain, domain);
        EXPECT_EQ(check_.calls[0].expectedSid, L"S-1-5-21-1-2-3-1001") << "the account found, not the name";
    }
}

TEST_F(AuthDialog, FailedChecksWarnWithTheModesTextAndKeepTheDialog) {
    struct Case {
        uint8_t mode;
        bool accountExists;
        const wchar_t* text;
    } cases[] = {
        {AuthCurrentUser, true, L"Your password is incorrect. Please type your password again."},
        {AuthAnyAccount, true, text::kLoginIncorrect.defaultText},
        {AuthAnyAccount, false, text::kLoginIncorrect.defaultText},
        {AuthPinCode, true, L"PIN code is incorrect. Please type PIN code again."},
    };
    for (const Case& c : cases) {
        check_ = {};
        check_.passes = false;
        check_.accountExists = c.accountExists;
        recorded_ = {};
        const HWND dialog = Open(Job(c.mode, 10, L"1234"));
        SetText(dialog, TFormAuth::kIdUsername, L"OFFICE\\anna");
        SetText(dialog, TFormAuth::kIdPassword, L"wrong");
        Click(dialog, IDOK);
        test::PumpFor(100ms);
        ASSERT_TRUE(IsWindow(dialog)) << int(c.mode);
        EXPECT_EQ(recorded_.warnings, (std::vector<std::wstring>{c.text})) << int(c.mode);
        EXPECT_EQ(recorded_.captions, (std::vector<std::wstring>{L"Error"}));
        EXPECT_TRUE(recorded_.actions.empty());
        EXPECT_EQ(Text(dialog, TFormAuth::kIdUsername), L"OFFICE\\anna");
        EXPECT_EQ(Text(dialog, TFormAuth::kIdPassword), L"wrong");
        if (!c.accountExists) {
            EXPECT_TRUE(check_.calls.empty()) << "an unknown account is never tried";
        }
        DestroyWindow(dialog);
    }
}

TEST_F(AuthDialog, PinInAnotherCaseIsAcceptedAndTakesTheUserRowsPlace) {
    const HWND dialog = Open(Job(AuthPinCode, 10, L"abC9"));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, TFormAuth::kIdUsername)));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, TFormAuth::kIdUsernameLabel)));
    EXPECT_EQ(Text(dialog, TFormAuth::kIdPasswordLabel), L"&PIN Code:");
    EXPECT_EQ(Rect(dialog, TFormAuth::kIdPassword).top, Rect(dialog, TFormAuth::kIdUsername).top);
    SetText(dialog, TFormAuth::kIdPassword, L"ABc9");
    Click(dialog, IDOK);
    EXPECT_TRUE(Gone(dialog));
    EXPECT_EQ(recorded_.actions, (std::vector<uint32_t>{JobActionPrint}));
}

TEST_F(AuthDialog, AnEmptyPinMatchesOnlyAnEmptyEntry) {
    const HWND dialog = Open(Job(AuthPinCode));
    SetText(dialog, TFormAuth::kIdPassword, L"x");
    Click(dialog, IDOK);
    test::PumpFor(50ms);
    EXPECT_TRUE(recorded_.actions.empty());
    SetText(dialog, TFormAuth::kIdPassword, L"");
    Click(dialog, IDOK);
    EXPECT_TRUE(Gone(dialog));
    EXPECT_EQ(recorded_.actions, (std::vector<uint32_t>{JobActionPrint}));
}

TEST_F(AuthDialog, AnUnknownModeDoesNothingOnOk) {
    const HWND dialog = Open(Job(9));
    Click(dialog, IDOK);
    test::PumpFor(100ms);
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_TRUE(recorded_.actions.empty());
    EXPECT_TRUE(recorded_.warnings.empty());
    EXPECT_TRUE(check_.calls.empty());
}

TEST_F(AuthDialog, DeleteEscapeAndEnter) {
    HWND dialog = Open(Job(AuthCurrentUser));
    Click(dialog, IDCANCEL);
    EXPECT_TRUE(Gone(dialog));

    dialog = Open(Job(AuthCurrentUser));
    Key(GetDlgItem(dialog, TFormAuth::kIdPassword), VK_ESCAPE);
    EXPECT_TRUE(Gone(dialog));

    dialog = Open(Job(AuthCurrentUser));
    Key(GetDlgItem(dialog, TFormAuth::kIdPassword), VK_RETURN);
    EXPECT_TRUE(Gone(dialog));

    EXPECT_EQ(recorded_.actions, (std::vector<uint32_t>{JobActionDelete, JobActionDelete, JobActionPrint}));
}

TEST_F(AuthDialog, ClosingFreesItsFontsAndIcons) {
    // The dialog's own GDI and icon handles die with it: hundreds of jobs a day must
    // not leave hundreds of fonts behind (the system's object count is not kept by Wine).
    const HWND dialog = Open(Job(AuthCurrentUser));
    std::vector<HGDIOBJ> fonts;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const auto font = reinterpret_cast<HGDIOBJ>(SendMessageW(child, WM_GETFONT, 0, 0));
        if (font && font != GetStockObject(DEFAULT_GUI_FONT) && font != GetStockObject(SYSTEM_FONT) &&
            std::find(fonts.begin(), fonts.end(), font) == fonts.end())
            fonts.push_back(font);
    }
    const auto picture = reinterpret_cast<HICON>(SendDlgItemMessageW(dialog, TFormAuth::kIdIcon, STM_GETICON, 0, 0));
    ASSERT_FALSE(fonts.empty());
    ASSERT_TRUE(picture);
    // The title bar's icon is the class's, shared by every dialog.
    EXPECT_TRUE(GetClassLongPtrW(dialog, GCLP_HICON));
    Click(dialog, IDCANCEL);
    ASSERT_TRUE(Gone(dialog));
    for (HGDIOBJ font : fonts)
        EXPECT_EQ(GetObjectType(font), 0u) << "a font outlived the dialog";
    ICONINFO info;
    EXPECT_FALSE(GetIconInfo(picture, &info));
}

TEST_F(AuthDialog, ClosingByTheFrameSendsNothing) {
    const HWND dialog = Open(Job(AuthCurrentUser));
    SendMessageW(dialog, WM_CLOSE, 0, 0);
    EXPECT_TRUE(Gone(dialog));
    EXPECT_TRUE(recorded_.actions.empty());
}

TEST_F(AuthDialog, CountdownRunsFromTheJobsTime) {
    const HWND dialog = Open(Job(AuthCurrentUser, 10));
    EXPECT_EQ(Text(dialog, TFormAuth::kIdCountdown), L"Print Job will be deleted in:  4:50 minutes");
    clock_.AdvanceSeconds(289);  // 299 s after the job
    SendMessageW(dialog, WM_TIMER, TFormAuth::kTimerId, 0);
    EXPECT_EQ(Text(dialog, TFormAuth::kIdCountdown), L"Print Job will be deleted in:  0:01 minutes");
    EXPECT_TRUE(recorded_.actions.empty());
    clock_.AdvanceSeconds(1);
    SendMessageW(dialog, WM_TIMER, TFormAuth::kTimerId, 0);
    EXPECT_EQ(Text(dialog, TFormAuth::kIdCountdown), L"Print Job will be deleted in:  0:00 minutes");
    EXPECT_TRUE(Gone(dialog));
    EXPECT_EQ(recorded_.actions, (std::vector<uint32_t>{JobActionDelete}));
}

TEST_F(AuthDialog, TheCountdownDeletesTheJobUnderAWarningBox) {
    // Regression: an expiry while the "password incorrect" box was open was dropped, and
    // the job stayed held with the countdown at 0:00.
    check_.passes = false;
    recorded_.boxTime = 5s;
    recorded_.whileOpen = [&] { clock_.AdvanceSeconds(400); };
    const HWND dialog = Open(Job(AuthCurrentUser));
    const auto start = std::chrono::steady_clock::now();
    Click(dialog, IDOK);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4s) << "the box was closed by the expiry";
    EXPECT_TRUE(Gone(dialog));
    EXPECT_EQ(recorded_.actions, (std::vector<uint32_t>{JobActionDelete}));
}

TEST_F(AuthDialog, TheCountdownAnswersOnlyAComputerSomeoneChose) {
    // Regression: a request naming any computer made the countdown open a pipe there
    // with the user's logon, unasked. The user's own Delete still goes anywhere allowed.
    test::TestLogFolder();
    const UniqueKey user = reg::OpenKey(HKEY_CURRENT_USER, kProductKey, reg::Access::ReadWrite);
    const UniqueKey machine = reg::OpenKey(HKEY_LOCAL_MACHINE, kProductKey, reg::Access::ReadWrite);
    struct Case {
        const wchar_t *chosen, *listed;
        bool answered;
    } cases[] = {{L"", nullptr, false},
                 {L"evilhost", nullptr, true},
                 {L"PS1", L"PS1;EVILHOST", true},
                 {L"EVILHOST", L"PS1", false}};
    for (const Case& c : cases) {
        reg::WriteString(user.Get(), L"AccInfoServer", c.chosen);
        RegDeleteValueW(machine.Get(), L"PrintServers");
        if (c.listed) reg::WriteString(machine.Get(), L"PrintServers", c.listed);
        recorded_.actions.clear();
        const HWND dialog = Open(Job(AuthCurrentUser, 301, L"", L"EVILHOST"));
        EXPECT_EQ(Text(dialog, TFormAuth::kIdAnswerTo), L"EVILHOST");
        EXPECT_TRUE(Gone(dialog));
        EXPECT_EQ(recorded_.actions.size(), c.answered ? 1u : 0u) << c.chosen;
    }
    EXPECT_TRUE(PumpUntil([] { return test::TestLogText().find("184") != std::string::npos; }));
    const HWND dialog = Open(Job(AuthCurrentUser, 10, L"", L"EVILHOST"));
    Click(dialog, IDCANCEL);
    EXPECT_TRUE(Gone(dialog));
    EXPECT_EQ(recorded_.actions, (std::vector<uint32_t>{JobActionDelete}));
}

TEST_F(AuthDialog, TypingAsItComesToTheFrontAnswersNothing) {
    // Regression: text typed into another window as a mode-1 dialog appeared printed the
    // job (the space pressed OK) or deleted it ("d").
    dialog_ = TFormAuth::Create(Job(AuthNone), recorded_.Args(clock_, check_));
    const HWND dialog = dialog_->Handle();
    dialog_->ShowOnTop();
    const HWND focus = GetFocus();
    EXPECT_EQ(GetDlgCtrlID(focus), TFormAuth::kIdRequester) << "not a button a letter or a space presses";
    for (int i = 0; i < 3; ++i) {
        for (const wchar_t c : std::wstring(L"the quick d")) {
            Key(focus, c == L' ' ? VK_SPACE : c);
            Key(focus, c, WM_CHAR);
        }
        for (HWND target : {focus, GetDlgItem(dialog, IDOK), GetDlgItem(dialog, IDCANCEL)}) {
            Key(target, VK_SPACE);
            Key(target, VK_SPACE, WM_KEYUP);
            Key(target, VK_RETURN);
            Key(target, VK_ESCAPE);
        }
        test::PumpFor(500ms);  // each key starts the second again
    }
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_TRUE(recorded_.actions.empty());
    test::PumpFor(1100ms);
    Key(focus, VK_RETURN);
    EXPECT_TRUE(Gone(dialog));
    EXPECT_EQ(recorded_.actions, (std::vector<uint32_t>{JobActionPrint}));
}

TEST_F(AuthDialog, AJobOlderThanFiveMinutesIsDeletedAtOnce) {
    const HWND dialog = Open(Job(AuthCurrentUser, 301));
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(Gone(dialog));
    EXPECT_EQ(recorded_.actions, (std::vector<uint32_t>{JobActionDelete}));
}

TEST_F(AuthDialog, ASubmittedTimeThatIsNotADateCountsAsLongPast) {
    // Regression: NaN, infinities and huge values must not reach a date conversion.
    for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(), 1e300}) {
        RequestRecord r = DecodeRequest(Job(AuthCurrentUser));
        r.Submitted = bad;
        const HWND dialog = Open(EncodeRequest(r));
        ASSERT_TRUE(dialog);
        EXPECT_TRUE(Gone(dialog));
    }
    EXPECT_EQ(recorded_.actions, (std::vector<uint32_t>(3, JobActionDelete)));
}

TEST_F(AuthDialog, AnswersOnlyOnceWhateverArrivesMeanwhile) {
    // The answer pumps messages: a click on Delete or an expiry during it must not
    // send a second answer, nor destroy the window under the running handler.
    const HWND dialog = Open(Job(AuthNone));
    AuthDialogArgs args = recorded_.Args(clock_, check_);
    int answers = 0;
    HWND nested = nullptr;
    args.sendAnswer = [&](const RequestRecord&, JobAction) {
        ++answers;
        SendMessageW(nested, WM_COMMAND, IDCANCEL, 0);
        SendMessageW(nested, WM_CLOSE, 0, 0);
        clock_.AdvanceSeconds(400);
        SendMessageW(nested, WM_TIMER, TFormAuth::kTimerId, 0);
    };
    DestroyWindow(dialog);
    nested = TFormAuth::Create(Job(AuthNone), args)->Handle();
    Click(nested, IDOK);
    EXPECT_TRUE(Gone(nested));
    EXPECT_EQ(answers, 1);
}

TEST_F(AuthDialog, ThePasswordBoxIsEmptiedWhenTheJobIsAnswered) {
    // Regression: the password stayed in the box's own memory after the check.
    AuthDialogArgs args = recorded_.Args(clock_, check_);
    HWND dialog = nullptr;
    int left = -1;
    args.sendAnswer = [&](const RequestRecord&, JobAction) {
        left = GetWindowTextLengthW(GetDlgItem(dialog, TFormAuth::kIdPassword));
    };
    dialog = TFormAuth::Create(Job(AuthCurrentUser), args)->Handle();
    SetText(dialog, TFormAuth::kIdPassword, L"secret");
    Click(dialog, IDOK);
    EXPECT_TRUE(Gone(dialog));
    EXPECT_EQ(left, 0);
}

TEST_F(AuthDialog, ValuesOfTheRows) {
    const test::FixedFormats formats;
    RequestRecord r = DecodeRequest(Job(AuthCurrentUser));
    r.RecordFlags = 0x00010000;
    const HWND dialog = Open(EncodeRequest(r));
    EXPECT_EQ(Text(dialog, TFormAuth::kIdRowValue + 1), L"Report.docx");
    EXPECT_EQ(Text(dialog, TFormAuth::kIdRowValue + 2), L"Laser");
    EXPECT_EQ(Text(dialog, TFormAuth::kIdRowValue + 3), L"Yes");
    EXPECT_EQ(Text(dialog, TFormAuth::kIdRowValue + 4), L"210 x 297 mm");
    EXPECT_EQ(Text(dialog, TFormAuth::kIdRowValue + 5), L"3");
    EXPECT_EQ(Text(dialog, TFormAuth::kIdRowValue + 6), L"2");
    EXPECT_EQ(Text(dialog, TFormAuth::kIdRowValue + 7), L"$1.50") << "1500 thousandths, as the user's formats say";
    EXPECT_EQ(Text(dialog, TFormAuth::kIdRowLabel + 4), L"Paper Size:");
    EXPECT_EQ(Text(dialog, TFormAuth::kIdJobGroup), L" Print Job Information ");
    EXPECT_EQ(Text(dialog, TFormAuth::kIdAuthGroup), L" Authentication ");
}

class AuthRows : public AuthDialog {
protected:
    void Save(std::vector<uint8_t> bytes) {
        const UniqueKey key = reg::OpenKey(HKEY_CURRENT_USER, kProductKey, reg::Access::ReadWrite);
        reg::WriteBinary(key.Get(), L"AuthOptions", bytes);
    }
    std::vector<uint8_t> Saved() {
        const UniqueKey key = reg::OpenKey(HKEY_CURRENT_USER, kProductKey, reg::Access::ReadWrite);
        return reg::ReadBinary(key.Get(), L"AuthOptions").value;
    }
    int VisibleRows(HWND dialog) {
        int n = 0;
        for (int row = 0; row < TFormAuth::kRows; ++row)
            n += (GetWindowLongPtrW(GetDlgItem(dialog, TFormAuth::kIdRowValue + row), GWL_STYLE) & WS_VISIBLE) ? 1 : 0;
        return n;
    }
};

TEST_F(AuthRows, NoRowCheckedLeavesDocumentAndTheChoiceIsSavedOnClose) {
    Save({0, 0, 0, 0, 0, 0, 0, 0});
    HWND dialog = Open(Job(AuthCurrentUser));
    EXPECT_EQ(VisibleRows(dialog), 1);
    EXPECT_TRUE(GetWindowLongPtrW(GetDlgItem(dialog, TFormAuth::kIdRowValue + 1), GWL_STYLE) & WS_VISIBLE);
    SendMessageW(dialog, WM_CLOSE, 0, 0);
    EXPECT_TRUE(Gone(dialog));
    EXPECT_EQ(Saved(), (std::vector<uint8_t>{0, 1, 0, 0, 0, 0, 0, 0}));
}

TEST_F(AuthRows, TheNextDialogOpensWithTheSavedRowsAndShrinks) {
    HWND all = Open(Job(AuthCurrentUser));
    RECT full;
    GetWindowRect(all, &full);
    DestroyWindow(all);

    Save({1, 1, 0, 1, 0, 1, 0, 1});
    const HWND dialog = Open(Job(AuthCurrentUser));
    EXPECT_EQ(VisibleRows(dialog), 5);
    RECT fewer;
    GetWindowRect(dialog, &fewer);
    EXPECT_LT(fewer.bottom - fewer.top, full.bottom - full.top);
    // Shown rows stack without gaps.
    EXPECT_LT(Rect(dialog, TFormAuth::kIdRowValue + 3).top - Rect(dialog, TFormAuth::kIdRowValue + 1).top,
              2 * (Rect(dialog, TFormAuth::kIdRowValue + 1).top - Rect(dialog, TFormAuth::kIdRowValue + 0).top));
}

TEST_F(AuthRows, ValuesOfAnotherSizeAreIgnored) {
    for (size_t size : {7u, 9u}) {
        Save(std::vector<uint8_t>(size, 0));
        const HWND dialog = Open(Job(AuthCurrentUser));
        EXPECT_EQ(VisibleRows(dialog), 8) << size;
        DestroyWindow(dialog);
    }
}

}  // namespace
}  // namespace pm
