#include "shell/form_mirovant_win.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include "about/form_about_win.h"
#include "account/form_connect_win.h"
#include "account/form_requests_win.h"
#include "account/query_account_win.h"
#include "auth/form_auth_win.h"
#include "i18n/language_win.h"
#include "messages/form_messages_win.h"
#include "messages/form_sender_win.h"
#include "shell/incoming_win.h"
#include "support/auth_fakes_win.h"
#include "support/install_dir_win.h"
#include "support/product.h"
#include "support/registry_sandbox_win.h"
#include "support/registry_win.h"
#include "support/temp_folder_win.h"
#include "ui/controls_win.h"
#include "ui/direction_win.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

class Tray : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        CreateDirectoryW((temp_.Path() + L"Startup").c_str(), nullptr);
        const UniqueKey folders =
            reg::OpenKey(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                         reg::Access::ReadWrite);
        reg::WriteString(folders.Get(), L"Startup", temp_.Path() + L"Startup");
        CurrentPrintServer().clear();
    }
    void TearDown() override {
        form_.reset();
        ProductCaption() = kProductCaption;
        SetCurrentLanguage(L"English");
        ui::SetRightToLeft(false);
        InitInstallDirectory();
        CurrentPrintServer().clear();
        CoUninitialize();
    }
    TFormMirovant& Open() {
        form_ = std::make_unique<TFormMirovant>(test::QuietTray(&announced_));
        EXPECT_TRUE(form_->Create(nullptr));
        return *form_;
    }
    static UniqueKey Machine() { return reg::OpenKey(HKEY_LOCAL_MACHINE, kProductKey, reg::Access::ReadWrite); }
    static UniqueKey Interface() { return reg::OpenKey(HKEY_CURRENT_USER, kInterfaceKey, reg::Access::ReadWrite); }
    bool ShortcutExists(const std::wstring& caption) {
        return GetFileAttributesW((temp_.Path() + L"Startup\\" + caption + L".lnk").c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    test::RegistrySandbox sandbox_;
    test::TempFolder temp_;
    std::unique_ptr<TFormMirovant> form_;
    std::vector<std::wstring> announced_;
};

TEST_F(Tray, AboutIsModalToTheClientAndOneAtATime) {
    // Regression: the about window had no owner, left the other windows usable and
    // opened once more at every "About...".
    // Regression: it also disabled the hidden windows, so a message that arrived
    // meanwhile showed a window that could not be dismissed.
    Open();
    const HWND shown =
        CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    const HWND messages = TFormMessages::Create()->Handle();
    bool otherDisabled = false, laterEnabled = false;
    int abouts = 0;
    std::function<void()> check = [&] {
        otherDisabled = !IsWindowEnabled(shown);
        ShowTextMessage(L"hello", {});
        laterEnabled = IsWindowVisible(messages) && IsWindowEnabled(messages);
        form_->actAboutExecute();  // asked for again: returns at once
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND h, LPARAM count) -> BOOL {
                wchar_t name[64];
                GetClassNameW(h, name, 64);
                if (wcscmp(name, TFormAbout::kClassName) == 0) ++*reinterpret_cast<int*>(count);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&abouts));
        PostMessageW(FindWindowW(TFormAbout::kClassName, nullptr), WM_CLOSE, 0, 0);
    };
    static std::function<void()>* pending = nullptr;
    pending = &check;
    SetTimer(nullptr, 0, 200, [](HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        (*pending)();
    });
    form_->actAboutExecute();
    EXPECT_TRUE(otherDisabled);
    EXPECT_TRUE(laterEnabled) << "a message shown meanwhile can be dismissed";
    EXPECT_EQ(abouts, 1);
    EXPECT_TRUE(IsWindowEnabled(shown)) << "enabled again when it closes";
    DestroyWindow(shown);
    DestroyWindow(messages);
}

TEST_F(Tray, EveryWindowFollowsANewDpi) {
    // Regression: only the authentication dialog followed a move to a monitor of
    // another DPI; the others kept their fonts and sizes.
    TFormConnect connect({});
    TFormAbout about;
    ASSERT_TRUE(connect.Create(nullptr));
    ASSERT_TRUE(about.Create(nullptr));
    TFormMessages* messages = TFormMessages::Create();
    messages->SetMessage(L"Hello");  // its controls come with the first message
    const HWND windows[] = {messages->Handle(), TFormSender::Create()->Handle(), TFormRequests::Create()->Handle(),
                            connect.Handle(), about.Handle()};
    // The width of the program's icon a window shows, 0 for none.
    auto iconWidth = [](HWND window) {
        HWND found = nullptr;
        EnumChildWindows(
            window,
            [](HWND child, LPARAM out) -> BOOL {
                if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) return TRUE;
                *reinterpret_cast<HWND*>(out) = child;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&found));
        ICONINFO info = {};
        const auto icon = found ? reinterpret_cast<HICON>(SendMessageW(found, STM_GETICON, 0, 0)) : nullptr;
        if (!icon || !GetIconInfo(icon, &info)) return 0L;
        BITMAP bitmap = {};
        GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        return bitmap.bmWidth;
    };
    int icons = 0;
    for (const HWND window : windows) {
        const HWND ok = GetDlgItem(window, IDOK) ? GetDlgItem(window, IDOK) : GetWindow(window, GW_CHILD);
        const LRESULT font = SendMessageW(ok, WM_GETFONT, 0, 0);
        const long iconBefore = iconWidth(window);
        RECT before, after;
        GetWindowRect(window, &before);
        RECT suggested = {40, 30, 40 + 2 * (before.right - before.left), 30 + 2 * (before.bottom - before.top)};
        SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
        GetWindowRect(window, &after);
        EXPECT_NE(SendMessageW(ok, WM_GETFONT, 0, 0), font) << ui::WindowText(window).size();
        EXPECT_GT(after.right - after.left, before.right - before.left) << ui::WindowText(window).size();
        EXPECT_EQ(after.left, 40);
        if (iconBefore) {
            ++icons;
            EXPECT_EQ(iconWidth(window), 2 * iconBefore) << "the icon too (regression: kept its size)";
        }
    }
    EXPECT_EQ(icons, 3) << "the message, account and about windows show the icon";
    DestroyWindow(windows[0]);
    DestroyWindow(windows[1]);
    DestroyWindow(windows[2]);
}

TEST_F(Tray, AnIconThatCouldNotBeAddedIsTriedAgain) {
    // Regression: an icon refused at start (no taskbar yet at logon) came back only
    // with "TaskbarCreated", which a taskbar that was merely late never sends.
    int adds = 0;
    MirovantArgs args = test::QuietTray();
    args.showTrayIcon = true;
    args.notifyIcon = [&](DWORD message, NOTIFYICONDATAW*) { return BOOL(message != NIM_ADD || ++adds >= 3); };
    TFormMirovant form(args);
    ASSERT_TRUE(form.Create(nullptr));
    EXPECT_FALSE(form.TrayIconAdded());
    EXPECT_TRUE(test::PumpUntil([&] { return form.TrayIconAdded(); }, 10s));
    EXPECT_EQ(adds, 3);
}

TEST_F(Tray, SendMessageFollowsTheMachineSetting) {
    EXPECT_TRUE(Open().SendMsg().visible) << "without the value";
    reg::WriteDword(Machine().Get(), L"DisableSendMessage", 0);
    EXPECT_TRUE(Open().SendMsg().visible);
    reg::WriteDword(Machine().Get(), L"DisableSendMessage", 1);
    EXPECT_FALSE(Open().SendMsg().visible);
    reg::WriteString(Machine().Get(), L"DisableSendMessage", L"1");  // of the wrong type: as if absent
    EXPECT_TRUE(Open().SendMsg().visible);
}

// The items of the tray menu as the icon's callback opens it, top to bottom: "-" for
// a line, "(off)" after a grayed item, "(on)" after a checked one, a submenu's items
// after " > ".
std::vector<std::wstring> MenuItems(HMENU menu) {
    std::vector<std::wstring> items;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[128] = {};
        GetMenuStringW(menu, UINT(i), text, 128, MF_BYPOSITION);
        const UINT state = GetMenuState(menu, UINT(i), MF_BYPOSITION);
        if (state & MF_SEPARATOR) {
            items.push_back(L"-");
            continue;
        }
        std::wstring item = text;
        if (state & MF_GRAYED) item += L" (off)";
        if (state & MF_CHECKED) item += L" (on)";
        if (const HMENU sub = GetSubMenu(menu, i))
            for (const std::wstring& inner : MenuItems(sub))
                item += L" > " + inner;
        items.push_back(item);
    }
    return items;
}

// Where the menu was shown and its extended style.
struct MenuWindow {
    RECT rect = {};
    DWORD exStyle = 0;
};

// Opened at (200, 200).
std::vector<std::wstring> OpenTrayMenu(HWND tray, MenuWindow* window = nullptr) {
    static std::vector<std::wstring> seen;
    static MenuWindow* shown;
    seen.clear();
    shown = window;
    SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        if (const HWND popup = FindWindowW(L"#32768", nullptr)) {
            seen = MenuItems(reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0)));
            if (shown) {
                GetWindowRect(popup, &shown->rect);
                shown->exStyle = DWORD(GetWindowLongW(popup, GWL_EXSTYLE));
            }
        }
        EndMenu();
    });
    SendMessageW(tray, TFormMirovant::kTrayMessage, MAKEWPARAM(200, 200),
                 MAKELPARAM(WM_CONTEXTMENU, TFormMirovant::kTrayId));
    return seen;
}

TEST_F(Tray, TheMenuShowsItsItemsInOrderWithTheirStates) {
    TFormMirovant& form = Open();
    EXPECT_EQ(OpenTrayMenu(form.Handle()),
              (std::vector<std::wstring>{L"&Send Message...", L"&View Messages... (off)", L"-", L"Account &Info...",
                                         L"-", L"&Options > Start with &Windows", L"-", L"&About...", L"-", L"E&xit"}));
    form.actOptAutoStartExecute();
    reg::WriteDword(Machine().Get(), L"DisableSendMessage", 1);
    const HWND again = Open().Handle();
    ShowTextMessage(L"hello", {});
    EXPECT_EQ(OpenTrayMenu(again),
              (std::vector<std::wstring>{L"&View Messages...", L"-", L"Account &Info...", L"-",
                                         L"&Options > Start with &Windows (on)", L"-", L"&About...", L"-", L"E&xit"}));
}

// A language file that says its language is written right to left mirrors every window
// made afterwards and the tray menu, which opens to the other side of the pointer.
TEST_F(Tray, TheWindowsAndTheMenuReadTheLanguagesWay) {
    ASSERT_TRUE(test::WriteWholeFile(temp_.Path() + L"Rtl.lng", "[Global]\r\nRightToLeft=1\r\n"));
    ASSERT_TRUE(test::WriteWholeFile(temp_.Path() + L"Ltr.lng", "[Global]\r\nRightToLeft=0\r\n"));
    reg::WriteString(Machine().Get(), L"Install Directory", temp_.Path());
    InitInstallDirectory();
    for (const bool rightToLeft : {true, false}) {
        SCOPED_TRACE(rightToLeft ? "right to left" : "left to right");
        reg::WriteString(Interface().Get(), L"Language", rightToLeft ? L"Rtl" : L"Ltr");
        const HWND tray = Open().Handle();
        const HWND sender = TFormSender::Create()->Handle();
        EXPECT_EQ(bool(GetWindowLongW(sender, GWL_EXSTYLE) & WS_EX_LAYOUTRTL), rightToLeft);
        DestroyWindow(sender);
        MenuWindow menu;
        EXPECT_FALSE(OpenTrayMenu(tray, &menu).empty());
        EXPECT_EQ(bool(menu.exStyle & WS_EX_LAYOUTRTL), rightToLeft);
        EXPECT_EQ(menu.rect.right <= 200, rightToLeft) << menu.rect.left << ".." << menu.rect.right;
    }
}

TEST_F(Tray, AnnouncesAtOnceAndOnEveryTickOnlyWithAServer) {
    TFormMirovant& none = Open();
    SendMessageW(none.Handle(), WM_TIMER, TFormMirovant::kTimerId, 0);
    EXPECT_TRUE(announced_.empty());

    reg::WriteString(Interface().Get(), L"AccInfoServer", L"SRV1");
    TFormMirovant& form = Open();
    EXPECT_EQ(announced_, (std::vector<std::wstring>{L"SRV1"}));
    EXPECT_EQ(CurrentPrintServer(), L"SRV1");
    SendMessageW(form.Handle(), WM_TIMER, TFormMirovant::kTimerId, 0);
    EXPECT_EQ(announced_.size(), 2u);
}

TEST_F(Tray, StartWithWindowsTwiceReturnsToTheFirstState) {
    TFormMirovant& form = Open();
    EXPECT_FALSE(form.AutoStart().checked);
    form.actOptAutoStartExecute();
    EXPECT_TRUE(form.AutoStart().checked);
    EXPECT_TRUE(ShortcutExists(L"Print Mirovant Pro"));
    form.actOptAutoStartExecute();
    EXPECT_FALSE(form.AutoStart().checked);
    EXPECT_FALSE(ShortcutExists(L"Print Mirovant Pro"));
}

TEST_F(Tray, ViewMessagesComesWithTheFirstMessage) {
    TFormMirovant& form = Open();
    EXPECT_FALSE(form.ViewMsg().enabled);
    ShowTextMessage(L"hello", {});
    EXPECT_TRUE(form.ViewMsg().enabled);
}

TEST_F(Tray, JapaneseNamesTheProductFromItsLanguageFile) {
    ASSERT_TRUE(test::WriteWholeFile(temp_.Path() + L"Japanese.lng", "[Global]\r\nCaptionProfessional=PMJ\r\n"));
    reg::WriteString(Machine().Get(), L"Install Directory", temp_.Path());
    InitInstallDirectory();
    reg::WriteString(Interface().Get(), L"Language", L"Japanese");
    ASSERT_TRUE(test::WriteWholeFile(temp_.Path() + L"Startup\\Print Mirovant Pro.lnk", "x"));

    TFormMirovant& form = Open();
    EXPECT_TRUE(form.AutoStart().checked) << "computed with the built-in caption, before the language";
    EXPECT_EQ(ProductCaption(), L"PMJ");
    EXPECT_EQ(form.TrayHint(), L"PMJ");
    EXPECT_EQ(ui::WindowText(form.Handle()), L"PMJ");
    // A shortcut made now carries the new name.
    DeleteFileW((temp_.Path() + L"Startup\\Print Mirovant Pro.lnk").c_str());
    form.actOptAutoStartExecute();  // the check mark was on: it deletes PMJ.lnk, which is not there
    form.actOptAutoStartExecute();
    EXPECT_TRUE(ShortcutExists(L"PMJ"));
}

TEST_F(Tray, MinimisingClosesTheSenderAndTheAccountWindowOnly) {
    TFormMirovant& form = Open();
    ASSERT_NE(TFormSender::Create(), nullptr);
    ASSERT_NE(TFormRequests::Create(), nullptr);
    TFormMessages* messages = TFormMessages::Create();
    form.ApplicationEventsMinimize();
    EXPECT_TRUE(test::PumpUntil([] { return !TFormSender::Instance() && !TFormRequests::Instance(); }));
    EXPECT_NE(TFormMessages::Instance(), nullptr);
    DestroyWindow(messages->Handle());
}

class About : public ::testing::Test {
protected:
    void TearDown() override { SetCurrentLanguage(L"English"); }
    test::RegistrySandbox sandbox_;
};

TEST_F(About, VersionWithTheBuildNumberOfTheVersionResource) {
    SetCurrentLanguage(L"English");
    TFormAbout about;
    ASSERT_TRUE(about.Create(nullptr));
    const HWND w = about.Handle();
    EXPECT_EQ(ui::WindowText(GetDlgItem(w, TFormAbout::kIdProduct)), L"Print Mirovant");
    EXPECT_EQ(ui::WindowText(GetDlgItem(w, TFormAbout::kIdEdition)), L"Pro");
    EXPECT_EQ(ui::WindowText(GetDlgItem(w, TFormAbout::kIdVersionCaption)), L"Version:  ");
    const std::wstring version = ui::WindowText(GetDlgItem(w, TFormAbout::kIdVersion));
    EXPECT_EQ(version.rfind(L"2.1 (build ", 0), 0u) << std::string(version.begin(), version.end());
    EXPECT_EQ(ui::WindowText(GetDlgItem(w, TFormAbout::kIdDate)), L"28 January 2009");
    EXPECT_EQ(ExecutableFileVersion().rfind(L"2.1.", 0), 0u);
}

TEST_F(About, JapaneseWithoutALanguageFile) {
    SetCurrentLanguage(L"Japanese");
    TFormAbout about;
    ASSERT_TRUE(about.Create(nullptr));
    const HWND product = GetDlgItem(about.Handle(), TFormAbout::kIdProduct);
    EXPECT_EQ(ui::WindowText(product), L"Print Mirovant");
    EXPECT_EQ(ui::WindowText(GetDlgItem(about.Handle(), TFormAbout::kIdEdition)), L"");
    LOGFONTW font;
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(product, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_EQ(font.lfHeight, -MulDiv(16, int(ui::WindowDpi(about.Handle())), 72));
}

TEST_F(About, LinksFollowTheSchemesColours) {
    // Regression: a fixed blue, unreadable on a dark high-contrast scheme.
    const int elements[] = {COLOR_HOTLIGHT, COLOR_BTNFACE, COLOR_BTNTEXT};
    const COLORREF saved[] = {GetSysColor(elements[0]), GetSysColor(elements[1]), GetSysColor(elements[2])};
    auto linkColour = [&](COLORREF hot, COLORREF face, COLORREF text) {
        const COLORREF scheme[] = {hot, face, text};
        SetSysColors(3, elements, scheme);
        TFormAbout about;
        about.Create(nullptr);
        const HWND web = GetDlgItem(about.Handle(), TFormAbout::kIdWeb);
        const HDC dc = GetDC(web);
        SendMessageW(about.Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(web));
        const COLORREF colour = GetTextColor(dc);
        ReleaseDC(web, dc);
        return colour;
    };
    // A high-contrast scheme: yellow links on black.
    EXPECT_EQ(linkColour(RGB(255, 255, 0), RGB(0, 0, 0), RGB(255, 255, 255)), RGB(255, 255, 0));
    // A pale hot-track colour on a light face gives way to the face's text colour.
    EXPECT_EQ(linkColour(RGB(224, 224, 224), RGB(240, 240, 240), RGB(1, 2, 3)), RGB(1, 2, 3));
    SetSysColors(3, elements, saved);
}

TEST_F(About, EnterAndEscapeClose) {
    for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
        TFormAbout about;
        ASSERT_TRUE(about.Create(nullptr));
        MSG msg = {GetDlgItem(about.Handle(), IDOK), WM_KEYDOWN, key, 0};
        ui::DispatchLoopMessage(msg);
        EXPECT_TRUE(about.Ended()) << key;
    }
}

}  // namespace
}  // namespace pm
