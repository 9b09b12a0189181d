// The keyboard walk of every window, from a table: where the focus starts, where
// Tab takes it, where each label's mnemonic takes it, and that every field is
// named by the label just before it in the z-order (how Windows names a standard
// control for a screen reader). In the built-in texts and in every language file
// in lang\, each of which also must fit its texts into the windows and, when it is
// written right to left, mirror them.

#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>

#include "about/form_about_win.h"
#include "account/form_connect_win.h"
#include "account/form_requests_win.h"
#include "auth/form_auth_win.h"
#include "i18n/language_choice.h"
#include "messages/form_messages_win.h"
#include "messages/form_sender_win.h"
#include "support/auth_fakes_win.h"
#include "support/job_request_win.h"
#include "support/language_file_win.h"
#include "support/registry_sandbox_win.h"
#include "ui/controls_win.h"
#include "ui/direction_win.h"
#include "ui/message_loop_win.h"

namespace pm {
namespace {

struct Field {
    int label, field;
    bool mnemonic;  // typed into: the label's mnemonic focuses the field
};

struct Walk {
    const char* window;
    std::function<HWND()> open;  // shown and active
    std::vector<int> tabs;       // the first focus, then Tab by Tab
    std::vector<Field> fields;   // every edit and combo box of the window
    std::vector<int> buttons;    // buttons with a mnemonic of their own
};

int FocusedId(HWND window) {
    HWND focused = GetFocus();
    while (focused && GetParent(focused) != window)
        focused = GetParent(focused);  // a combo box's own edit
    return focused ? GetDlgCtrlID(focused) : -1;
}

void Press(UINT message, WPARAM key) {
    MSG msg = {GetFocus(), message, key, message == WM_SYSCHAR ? LPARAM(1) << 29 : 0};
    ui::DispatchLoopMessage(msg);
}

bool IsField(HWND control) {
    wchar_t name[16] = {};
    GetClassNameW(control, name, 16);
    return _wcsicmp(name, WC_EDITW) == 0 || _wcsicmp(name, WC_COMBOBOXW) == 0;
}

// The text of every label, button and group box is shown whole: none is cut off or
// wrapped out of sight by its control.
void CheckTextsFit(HWND window) {
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        const std::wstring text = ui::WindowText(c);
        if (!IsWindowVisible(c) || text.empty()) continue;
        wchar_t name[16] = {};
        GetClassNameW(c, name, 16);
        const LONG style = GetWindowLongW(c, GWL_STYLE);
        const bool label = _wcsicmp(name, WC_STATICW) == 0, button = _wcsicmp(name, WC_BUTTONW) == 0;
        if (label && (style & SS_TYPEMASK) > SS_RIGHT && (style & SS_TYPEMASK) != SS_LEFTNOWORDWRAP) continue;
        if (!label && !button) continue;
        const bool group = button && (style & BS_TYPEMASK) == BS_GROUPBOX;
        RECT room;
        GetClientRect(c, &room);
        // Room the control keeps for itself: a push button's frame, a group box's corner.
        room.right -= group ? 16 : button ? 6 : 0;
        RECT need = {0, 0, room.right, 0};
        UINT format = DT_CALCRECT | (style & SS_NOPREFIX && label ? DT_NOPREFIX : 0);
        format |=
            label && (style & SS_TYPEMASK) <= SS_RIGHT && !(style & SS_ELLIPSISMASK) ? DT_WORDBREAK : DT_SINGLELINE;
        const HDC dc = GetDC(c);
        const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(c, WM_GETFONT, 0, 0)));
        DrawTextW(dc, text.c_str(), -1, &need, format);
        SelectObject(dc, old);
        ReleaseDC(c, dc);
        EXPECT_LE(need.right, room.right) << "too narrow: " << testing::PrintToString(text);
        if (label) {
            EXPECT_LE(need.bottom, room.bottom) << "too low: " << testing::PrintToString(text);
        }
    }
}

// The language file of a walk; none for the built-in texts.
struct Language {
    std::wstring file;
};

void PrintTo(const Language& language, std::ostream* os) {
    *os << (language.file.empty() ? "BuiltIn" : test::LanguageTestName(language.file));
}

class Keyboard : public ::testing::TestWithParam<Language> {
protected:
    void SetUp() override {
        if (!GetParam().file.empty()) test::UseLanguageFile(GetParam().file);
        rightToLeft_ = ui::RightToLeft();
    }
    void TearDown() override {
        InitInstallDirectory();
        SetCurrentLanguage(kEnglish);
        ui::SetRightToLeft(false);
    }

    RequestBytes Job(uint8_t mode) { return EncodeRequest(test::JobRequest(mode, clock_.DayCount())); }
    HWND Auth(uint8_t mode) {
        TFormAuth* dialog = TFormAuth::Create(Job(mode), recorded_.Args(clock_, check_));
        dialog->ShowOnTop();
        ui::GuardInput(dialog->Handle(), 0);  // the walk types at once: no second of grace
        return dialog->Handle();
    }
    static HWND Shown(HWND window) {
        ShowWindow(window, SW_SHOW);
        SetForegroundWindow(window);
        return window;
    }
    std::vector<Walk> Walks() {
        std::vector<Walk> walks;
        std::vector<Field> rows;
        for (int row = 0; row < TFormAuth::kRows; ++row)
            rows.push_back({TFormAuth::kIdRowLabel + row, TFormAuth::kIdRowValue + row, false});
        rows.push_back({TFormAuth::kIdRequesterLabel, TFormAuth::kIdRequester, false});
        rows.push_back({TFormAuth::kIdAnswerToLabel, TFormAuth::kIdAnswerTo, false});
        auto authFields = [&](bool username) {
            std::vector<Field> fields = rows;
            if (username) fields.push_back({TFormAuth::kIdUsernameLabel, TFormAuth::kIdUsername, true});
            fields.push_back({TFormAuth::kIdPasswordLabel, TFormAuth::kIdPassword, true});
            return fields;
        };
        walks.push_back({"authentication, any account",
                         [this] { return Auth(AuthAnyAccount); },
                         {TFormAuth::kIdPassword, IDOK, IDCANCEL, TFormAuth::kIdUsername},
                         authFields(true),
                         {IDCANCEL}});
        walks.push_back({"authentication, PIN",
                         [this] { return Auth(AuthPinCode); },
                         {TFormAuth::kIdPassword, IDOK, IDCANCEL},
                         authFields(false),
                         {IDCANCEL}});
        walks.push_back(
            {"sender",
             [] {
                 SenderArgs args;
                 args.box = [](HWND, const std::wstring&, const std::wstring&, UINT) {};
                 return Shown(TFormSender::Create(args)->Handle());
             },
             {TFormSender::kIdComputer, TFormSender::kIdUsername, TFormSender::kIdMessage, TFormSender::kIdSend, IDOK},
             {{TFormSender::kIdComputerLabel, TFormSender::kIdComputer, true},
              {TFormSender::kIdUsernameLabel, TFormSender::kIdUsername, true},
              {TFormSender::kIdMessageLabel, TFormSender::kIdMessage, true}},
             {TFormSender::kIdSend, IDOK}});
        walks.push_back({"connect",
                         [this] {
                             connect_ = std::make_unique<TFormConnect>(TFormConnect::Args{});
                             connect_->Create(nullptr);
                             return Shown(connect_->Handle());
                         },
                         {TFormConnect::kIdComputer, TFormConnect::kIdBrowse, IDOK, IDCANCEL},
                         {{TFormConnect::kIdComputerLabel, TFormConnect::kIdComputer, true}},
                         {}});
        std::vector<Field> account;
        for (int row = 0; row < 5; ++row)
            account.push_back({TFormRequests::kIdLabel + row, TFormRequests::kIdServer + row, false});
        walks.push_back({"account",
                         [] {
                             RequestsArgs args;
                             args.query = [](const std::wstring&, const std::wstring&) { return std::nullopt; };
                             return Shown(TFormRequests::Create(args)->Handle());
                         },
                         {IDOK, TFormRequests::kIdServerButton},
                         account,
                         {}});
        walks.push_back({"about",
                         [this] {
                             about_ = std::make_unique<TFormAbout>();
                             about_->Create(nullptr);
                             return Shown(about_->Handle());
                         },
                         {IDOK},
                         {},
                         {}});
        // The message is named by the line of its sender.
        walks.push_back({"messages",
                         [] {
                             // A fresh one: the process's window may be left from another test.
                             if (TFormMessages* left = TFormMessages::Instance()) DestroyWindow(left->Handle());
                             TFormMessages* messages = TFormMessages::Create();
                             messages->Receive(L"first", {});
                             messages->Receive(L"second", {});  // the count line shown too
                             return messages->Handle();
                         },
                         {IDOK},
                         {{TFormMessages::kIdSender, TFormMessages::kIdMessage, false}},
                         {}});
        return walks;
    }
    void Close(HWND window) {
        if (IsWindow(window)) DestroyWindow(window);
        connect_.reset();
        about_.reset();
    }
    void WalkAll() {
        for (const Walk& walk : Walks()) {
            SCOPED_TRACE(walk.window);
            const HWND window = walk.open();
            ASSERT_TRUE(window);
            test::PumpFor(std::chrono::milliseconds(50));
            CheckWalk(window, walk);
            Close(window);
        }
    }
    void CheckWalk(HWND window, const Walk& walk) {
        auto text = [&](int id) { return ui::WindowText(GetDlgItem(window, id)); };
        EXPECT_EQ(bool(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_LAYOUTRTL), rightToLeft_) << "mirrored";
        CheckTextsFit(window);
        EXPECT_EQ(FocusedId(window), walk.tabs[0]) << "first focus";
        for (size_t i = 1; i <= walk.tabs.size(); ++i) {
            Press(WM_KEYDOWN, VK_TAB);
            EXPECT_EQ(FocusedId(window), walk.tabs[i % walk.tabs.size()]) << "Tab " << i;
        }
        for (const Field& f : walk.fields) {
            const HWND field = GetDlgItem(window, f.field);
            const HWND before = GetWindow(field, GW_HWNDPREV);
            EXPECT_EQ(before, GetDlgItem(window, f.label)) << "label of " << f.field;
            // A label beside its field stands before it in reading order: on its right when mirrored.
            RECT labelRect, fieldRect;
            GetWindowRect(before, &labelRect);
            GetWindowRect(field, &fieldRect);
            if (labelRect.top < fieldRect.bottom && fieldRect.top < labelRect.bottom) {
                EXPECT_EQ(labelRect.left > fieldRect.left, rightToLeft_) << "label of " << f.field << " on its side";
            }
            const wchar_t key = test::ShortcutKey(text(f.label));
            EXPECT_EQ(key != 0, f.mnemonic) << ui::WindowText(before).c_str();
            if (!key) continue;
            Press(WM_SYSCHAR, key);
            EXPECT_EQ(FocusedId(window), f.field) << "Alt+" << char(key);
        }
        for (int id : walk.buttons)
            EXPECT_NE(test::ShortcutKey(text(id)), 0) << "button " << id;

        // No field goes unnamed, and no two controls share a mnemonic.
        std::set<wchar_t> keys;
        for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            if (!IsWindowVisible(c)) continue;
            const int id = GetDlgCtrlID(c);
            if (IsField(c)) {
                EXPECT_TRUE(
                    std::any_of(walk.fields.begin(), walk.fields.end(), [&](const Field& f) { return f.field == id; }))
                    << "field " << id << " has no label in the table";
            }
            if (const wchar_t key = ui::ShowsMnemonic(c) ? test::ShortcutKey(ui::WindowText(c)) : 0) {
                EXPECT_TRUE(keys.insert(key).second) << "Alt+" << char(key) << " twice";
            }
        }

        // A window activated again gives the focus back to the control that had it.
        Press(WM_KEYDOWN, VK_TAB);
        const int had = FocusedId(window);
        const HWND other = CreateWindowExW(0, WC_STATICW, L"", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr,
                                           nullptr, nullptr);
        SetActiveWindow(other);
        EXPECT_NE(FocusedId(window), had);
        SetActiveWindow(window);
        EXPECT_EQ(FocusedId(window), had) << "after another window was active";
        DestroyWindow(other);
    }

    test::RegistrySandbox sandbox_;
    test::FakeClock clock_;
    test::FakeCheck check_;
    test::Recorded recorded_;
    std::unique_ptr<TFormConnect> connect_;
    std::unique_ptr<TFormAbout> about_;
    bool rightToLeft_ = false;
};

TEST_P(Keyboard, EveryWindow) {
    WalkAll();
}

std::vector<Language> BuiltInAndShippedLanguages() {
    std::vector<Language> languages = {{}};
    for (const std::wstring& file : test::ShippedLanguageFiles(PM_SOURCE_DIR L"/lang"))
        languages.push_back({file});
    return languages;
}

INSTANTIATE_TEST_SUITE_P(Languages, Keyboard, ::testing::ValuesIn(BuiltInAndShippedLanguages()),
                         [](const ::testing::TestParamInfo<Language>& info) {
                             return testing::PrintToString(info.param);
                         });

}  // namespace
}  // namespace pm
