// Shows the client's windows as people see them and saves each as a 24-bit BMP file
// in the folder PM_SCREENSHOT_DIR names; scripts/screenshots runs it in Wine's virtual
// desktop and turns the files into PNG files. With PM_LANGUAGE_FILE set the windows
// speak that file's language (and read its way); with PM_HIGH_CONTRAST, in a
// high-contrast scheme; with PM_UI_FONT, in that interface font.

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "about/form_about_win.h"
#include "account/form_connect_win.h"
#include "account/form_requests_win.h"
#include "auth/form_auth_win.h"
#include "i18n/language_win.h"
#include "messages/form_messages_win.h"
#include "messages/form_sender_win.h"
#include "shell/form_mirovant_win.h"
#include "support/auth_fakes_win.h"
#include "support/fixed_formats_win.h"
#include "support/job_request_win.h"
#include "support/language_file_win.h"
#include "support/product.h"
#include "support/registry_sandbox_win.h"
#include "support/registry_win.h"
#include "ui/direction_win.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

// With PM_HIGH_CONTRAST set, the system's colours are a high-contrast scheme (white
// on black, yellow links, as Windows' "High Contrast Black") while the object lives;
// the colours before are restored after. (Windows also draws without visual styles
// then: scripts/screenshots turns them off for such a run.)
class ScreenshotColours {
public:
    ScreenshotColours() {
        if (!_wgetenv(L"PM_HIGH_CONTRAST")) return;
        constexpr COLORREF kBlack = RGB(0, 0, 0), kWhite = RGB(255, 255, 255), kYellow = RGB(255, 255, 0);
        constexpr COLORREF kCyan = RGB(0, 255, 255), kGreen = RGB(63, 242, 0), kTeal = RGB(0, 128, 128);
        const std::pair<int, COLORREF> scheme[] = {
            {COLOR_WINDOW, kBlack},          {COLOR_WINDOWTEXT, kWhite},
            {COLOR_BTNFACE, kBlack},         {COLOR_BTNTEXT, kWhite},
            {COLOR_HOTLIGHT, kYellow},       {COLOR_HIGHLIGHT, kCyan},
            {COLOR_HIGHLIGHTTEXT, kBlack},   {COLOR_GRAYTEXT, kGreen},
            {COLOR_ACTIVECAPTION, kTeal},    {COLOR_CAPTIONTEXT, kWhite},
            {COLOR_INACTIVECAPTION, kBlack}, {COLOR_INACTIVECAPTIONTEXT, kGreen},
            {COLOR_3DLIGHT, kWhite},         {COLOR_BTNHIGHLIGHT, kWhite},
            {COLOR_BTNSHADOW, kWhite},       {COLOR_3DDKSHADOW, kWhite},
            {COLOR_WINDOWFRAME, kWhite},     {COLOR_ACTIVEBORDER, kWhite},
            {COLOR_INACTIVEBORDER, kWhite},  {COLOR_MENU, kBlack},
            {COLOR_MENUTEXT, kWhite},
        };
        for (const auto& [element, colour] : scheme) {
            elements_.push_back(element);
            saved_.push_back(GetSysColor(element));
            colours_.push_back(colour);
        }
        SetSysColors(int(elements_.size()), elements_.data(), colours_.data());
    }
    ~ScreenshotColours() {
        if (!elements_.empty()) SetSysColors(int(elements_.size()), elements_.data(), saved_.data());
    }
    ScreenshotColours(const ScreenshotColours&) = delete;
    ScreenshotColours& operator=(const ScreenshotColours&) = delete;

private:
    std::vector<int> elements_;
    std::vector<COLORREF> saved_, colours_;
};

// With PM_UI_FONT set, the system's interface fonts (messages, captions, menus) are
// that face while the object lives, in this process only: the windows look as on a
// Windows of the language's own edition, whose interface font has its script (the
// Japanese one), not as on a Western Windows that borrows the glyphs from a linked font.
class ScreenshotFont {
public:
    ScreenshotFont() {
        const wchar_t* face = _wgetenv(L"PM_UI_FONT");
        if (!face || !*face || !SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof saved_, &saved_, 0)) return;
        NONCLIENTMETRICSW metrics = saved_;
        for (LOGFONTW* font : {&metrics.lfMessageFont, &metrics.lfCaptionFont, &metrics.lfSmCaptionFont,
                               &metrics.lfMenuFont, &metrics.lfStatusFont}) {
            lstrcpynW(font->lfFaceName, face, LF_FACESIZE);
        }
        // Without SPIF_UPDATEINIFILE: the prefix's own settings stay as they are.
        set_ = SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) != FALSE;
    }
    ~ScreenshotFont() {
        if (set_) SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof saved_, &saved_, 0);
    }
    ScreenshotFont(const ScreenshotFont&) = delete;
    ScreenshotFont& operator=(const ScreenshotFont&) = delete;

private:
    NONCLIENTMETRICSW saved_ = {sizeof saved_};
    bool set_ = false;
};

std::wstring folder;
int failures = 0;

// Saves what `window` shows on the screen, after a moment to draw, as folder\name.bmp.
void Save(HWND window, const std::wstring& name) {
    test::PumpFor(1500ms);
    RECT rc;
    GetWindowRect(window, &rc);
    const int width = rc.right - rc.left, height = rc.bottom - rc.top;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rc.left, rc.top, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER header = {sizeof header, width, height, 1, 24, BI_RGB};
    const DWORD stride = DWORD((width * 3 + 3) & ~3);
    std::vector<BYTE> pixels(size_t(stride) * size_t(height));
    GetDIBits(memory, bitmap, 0, UINT(height), pixels.data(), reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER file = {0x4D42, DWORD(sizeof(BITMAPFILEHEADER) + sizeof header + pixels.size()), 0, 0,
                             DWORD(sizeof(BITMAPFILEHEADER) + sizeof header)};
    const std::wstring path = folder + L"\\" + name + L".bmp";
    const UniqueFile out(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (!out || !WriteFile(out.Get(), &file, sizeof file, &written, nullptr) ||
        !WriteFile(out.Get(), &header, sizeof header, &written, nullptr) ||
        !WriteFile(out.Get(), pixels.data(), DWORD(pixels.size()), &written, nullptr)) {
        std::fprintf(stderr, "screenshots: %ls not written\n", path.c_str());
        ++failures;
    }
}

// Each group of windows in a registry of its own, in the language and colours asked for.
template <class Shoot>
void Group(Shoot shoot) {
    const test::RegistrySandbox sandbox;
    if (const wchar_t* file = _wgetenv(L"PM_LANGUAGE_FILE"); file && *file) {
        test::UseLanguageFile(file);
        // As the main form names the product at start-up (the Japanese edition from its file).
        ProductCaption() = ProductCaptionFor(CurrentLanguage(), OpenLanguageFile());
    }
    const ScreenshotColours colours;
    const ScreenshotFont font;
    shoot();
}

void AccountWindows() {
    const test::FixedFormats formats;
    reg::WriteString(reg::OpenKey(HKEY_CURRENT_USER, kInterfaceKey, reg::Access::ReadWrite).Get(), L"AccInfoServer",
                     L"PRINTSRV");
    AccountSummary money;
    money.money = true;
    money.balance = 12340;
    money.restriction = 50000;
    money.updated = LocalTime{2026, 12, 1, 8, 30, 0, 0};
    AccountSummary pages;
    pages.balance = -5;
    pages.restriction = 300;
    for (auto [name, summary] : {std::pair{L"account-money", money}, std::pair{L"account-pages", pages}}) {
        RequestsArgs args;
        args.query = [summary = summary](const std::wstring&, const std::wstring&) { return std::optional(summary); };
        args.chooseServer = [](HWND) { return std::optional<std::wstring>(); };
        const HWND window = TFormRequests::Create(args)->Handle();
        ShowWindow(window, SW_SHOW);
        Save(window, name);
        DestroyWindow(window);
    }
    reg::WriteString(reg::OpenKey(HKEY_CURRENT_USER, kComputersKey, reg::Access::ReadWrite).Get(), L"0", L"SRV1");
    TFormConnect dialog({});
    if (!dialog.Create(nullptr)) return;
    ShowWindow(dialog.Handle(), SW_SHOW);
    Save(dialog.Handle(), L"connect");
}

void AuthDialogs() {
    const test::FakeClock clock;
    const test::FakeCheck check;
    test::Recorded recorded;
    const struct {
        const wchar_t* name;
        uint8_t mode;
        std::vector<uint8_t> rows;
    } shots[] = {
        {L"auth-mode1", AuthNone, {1, 1, 1, 1, 1, 1, 1, 1}},
        {L"auth-mode2", AuthCurrentUser, {1, 1, 1, 1, 1, 1, 1, 1}},
        {L"auth-mode4", AuthPinCode, {1, 1, 1, 1, 1, 1, 1, 1}},
        {L"auth-three-rows-hidden", AuthAnyAccount, {1, 1, 0, 1, 0, 1, 0, 1}},
    };
    for (const auto& shot : shots) {
        reg::WriteBinary(reg::OpenKey(HKEY_CURRENT_USER, kProductKey, reg::Access::ReadWrite).Get(), L"AuthOptions",
                         shot.rows);
        AuthDialogArgs args = recorded.Args(clock, check);
        args.requestedBy = {L"CORP\\svc-print", L"PRINTSRV1", false};
        RequestRecord job = test::JobRequest(shot.mode, clock.DayCount() - 10 / 86400.0);
        job.ServerComputer = L"PRINTSRV1";
        job.PinCode = L"1234";
        TFormAuth* dialog = TFormAuth::Create(EncodeRequest(job), std::move(args));
        dialog->ShowOnTop();
        SetWindowTextW(GetDlgItem(dialog->Handle(), TFormAuth::kIdPassword), L"secret");
        Save(dialog->Handle(), shot.name);
        DestroyWindow(dialog->Handle());
    }
}

void MessageWindows() {
    const HWND sender = TFormSender::Create()->Handle();
    SetWindowTextW(GetDlgItem(sender, TFormSender::kIdComputer), L"WS-12");
    SetWindowTextW(GetDlgItem(sender, TFormSender::kIdUsername), L"anna");
    SetWindowTextW(GetDlgItem(sender, TFormSender::kIdMessage), L"The new toner is in the cupboard.");
    ShowWindow(sender, SW_SHOW);
    Save(sender, L"sender");

    TFormMessages* messages = TFormMessages::Create();
    messages->Receive(L"The new toner is in the cupboard.", {L"CORP\\anna", L"WS-12", false});
    messages->Receive(L"Your print job \"Report.docx\" is ready at the second floor printer.",
                      {L"CORP\\svc-print", L"PRINTSRV1", false});
    Save(messages->Handle(), L"messages");
    DestroyWindow(messages->Handle());
    DestroyWindow(sender);
}

void AboutWindow() {
    TFormAbout about;
    if (!about.Create(nullptr)) return;
    ShowWindow(about.Handle(), SW_SHOW);
    Save(about.Handle(), L"about");
}

// The first window of `className` ("#32770" a box, "#32768" a menu) this thread shows.
struct WindowSearch {
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM lp) {
    auto* search = reinterpret_cast<WindowSearch*>(lp);
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (wcscmp(name, search->className) != 0 || !IsWindowVisible(window)) return TRUE;
    search->found = window;
    return FALSE;
}

HWND ThreadWindow(const wchar_t* className) {
    WindowSearch search = {className, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), &MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Run by a timer inside the modal loops of the box and the menu.
VOID CALLBACK SaveBox(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    if (const HWND box = ThreadWindow(L"#32770")) {
        Save(box, L"message-box");
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
}

VOID CALLBACK SaveMenu(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    if (const HWND menu = ThreadWindow(L"#32768")) Save(menu, L"tray-menu");
    EndMenu();
}

// A message box as the client shows one, with the longest of its texts, and the tray
// menu as its icon opens it. Both are modal: a timer inside their loops takes the picture.
void BoxAndMenu() {
    SetTimer(nullptr, 0, 200, &SaveBox);
    ui::ShowMessageBox(nullptr, LangString(text::kLoginIncorrect), LangString(text::kError),
                       MB_OK | MB_ICONEXCLAMATION);

    // The main form chooses the language (and the direction) as at start-up.
    TFormMirovant tray(test::QuietTray());
    if (!tray.Create(nullptr)) return;
    SetTimer(nullptr, 0, 200, &SaveMenu);
    SendMessageW(tray.Handle(), TFormMirovant::kTrayMessage, MAKEWPARAM(512, 600),
                 MAKELPARAM(WM_CONTEXTMENU, TFormMirovant::kTrayId));
}

}  // namespace
}  // namespace pm

int wmain() {
    const wchar_t* folder = _wgetenv(L"PM_SCREENSHOT_DIR");
    if (!folder || !*folder) {
        std::fprintf(stderr, "screenshots: set PM_SCREENSHOT_DIR to the folder for the files\n");
        return 2;
    }
    pm::folder = folder;
    pm::Group(pm::AccountWindows);
    pm::Group(pm::AuthDialogs);
    pm::Group(pm::MessageWindows);
    pm::Group(pm::AboutWindow);
    pm::Group(pm::BoxAndMenu);
    return pm::failures == 0 ? 0 : 1;
}
