#include "about/form_about_win.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "about/build_number.h"
#include "i18n/language_choice.h"
#include "i18n/language_win.h"
#include "support/install_dir_win.h"
#include "support/product.h"
#include "ui/controls_win.h"
#include "ui/message_loop_win.h"

namespace pm {
namespace {

constexpr wchar_t kNotice[] = L"Copyright \u00A9 2009\u20132026 Tavrenholt";
constexpr wchar_t kWeb[] = L"www.tavrenholt.example";
constexpr wchar_t kMail[] = L"support@tavrenholt.example";
// The regional distributor of the Japanese edition.
constexpr wchar_t kWebJapan[] = L"www.tavrenholt-japan.example";
constexpr wchar_t kMailJapan[] = L"support@tavrenholt-japan.example";

UniqueGdi PointFont(UINT dpi, int points, bool bold, bool underline = false) {
    UniqueGdi base = ui::MessageFont(dpi, bold);
    LOGFONTW font;
    GetObjectW(base.Get(), sizeof font, &font);
    if (points) font.lfHeight = -MulDiv(points, int(dpi), 72);
    font.lfUnderline = underline;
    return UniqueGdi(CreateFontIndirectW(&font));
}

// The links' colour: the system's hot-track colour, unless it can hardly be read on
// the window's face (some schemes make it a pale grey); then the face's own text colour.
// The links stay underlined either way.
COLORREF LinkColour() {
    auto luminance = [](COLORREF c) {
        auto channel = [](int v) {
            const double s = v / 255.0;
            return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(GetRValue(c)) + 0.7152 * channel(GetGValue(c)) + 0.0722 * channel(GetBValue(c));
    };
    const double link = luminance(GetSysColor(COLOR_HOTLIGHT)), face = luminance(GetSysColor(COLOR_BTNFACE));
    const double contrast = (std::max(link, face) + 0.05) / (std::min(link, face) + 0.05);
    return contrast >= 3.0 ? GetSysColor(COLOR_HOTLIGHT) : GetSysColor(COLOR_BTNTEXT);
}

}  // namespace

std::wstring ExecutableFileVersion() {
    return FileVersionOf(ExecutablePath());
}

std::wstring FileVersionOf(const std::wstring& exe) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<BYTE> data(size);
    if (!GetFileVersionInfoW(exe.c_str(), 0, size, data.data())) return {};
    wchar_t* text = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\StringFileInfo\\040904E4\\FileVersion", reinterpret_cast<void**>(&text),
                        &length) ||
        !text)
        return {};
    return std::wstring(text, wcsnlen(text, length));
}

namespace {

TFormAbout*& OpenAbout() {
    static TFormAbout* open = nullptr;
    return open;
}

// Disables the thread's other windows that are enabled and visible now (modal to the
// whole client, as the user sees it), and enables them again when it goes. A window
// shown later, such as a message that arrives meanwhile, works: disabled while hidden,
// it could not even be closed until the about window was.
class OtherWindowsDisabled {
public:
    explicit OtherWindowsDisabled(HWND keep) : keep_(keep) {
        EnumThreadWindows(GetCurrentThreadId(), &DisableOne, reinterpret_cast<LPARAM>(this));
    }
    ~OtherWindowsDisabled() {
        for (HWND window : disabled_)
            if (IsWindow(window)) EnableWindow(window, TRUE);
    }
    OtherWindowsDisabled(const OtherWindowsDisabled&) = delete;
    OtherWindowsDisabled& operator=(const OtherWindowsDisabled&) = delete;

private:
    static BOOL CALLBACK DisableOne(HWND window, LPARAM self) {
        auto* me = reinterpret_cast<OtherWindowsDisabled*>(self);
        if (window != me->keep_ && IsWindowVisible(window) && IsWindowEnabled(window)) {
            EnableWindow(window, FALSE);
            me->disabled_.push_back(window);
        }
        return TRUE;
    }

    HWND keep_;
    std::vector<HWND> disabled_;
};

}  // namespace

void TFormAbout::Run(HWND owner) {
    // One at a time: asked for again, the open one comes to the front.
    if (TFormAbout* open = OpenAbout()) {
        SetForegroundWindow(open->Handle());
        return;
    }
    TFormAbout about;
    if (!about.Create(owner)) return;
    OpenAbout() = &about;
    {
        const OtherWindowsDisabled modal(about.Handle());
        ui::RunModal(about.Handle(), nullptr, [&] { return about.Ended(); });
    }
    OpenAbout() = nullptr;
}

bool TFormAbout::Create(HWND owner) {
    return CreateDialogWindow(kClassName, owner);
}

void TFormAbout::MakeFonts() {
    productFont_ = PointFont(Dpi(), IsJapanese(CurrentLanguage()) ? 16 : 21, true);
    linkFont_ = PointFont(Dpi(), 0, false, true);
}

void TFormAbout::DpiChanged() {
    MakeFonts();
    for (int id : {kIdProduct, kIdEdition})
        SendMessageW(GetDlgItem(Handle(), id), WM_SETFONT, WPARAM(productFont_.Get()), FALSE);
    for (int id : {kIdWeb, kIdMail})
        SendMessageW(GetDlgItem(Handle(), id), WM_SETFONT, WPARAM(linkFont_.Get()), FALSE);
    Layout();
}

void TFormAbout::FormCreate() {
    InitDialog();
    MakeFonts();
    const HFONT f = Font();
    const HWND w = Handle();
    ui::CreateControl(w, {WC_STATICW, L"", SS_ICON | SS_REALSIZECONTROL, 0, kIdIcon}, f);
    ui::CreateControl(w, {WC_STATICW, L"", SS_LEFT | SS_NOPREFIX, 0, kIdProduct},
                      static_cast<HFONT>(productFont_.Get()));
    ui::CreateControl(w, {WC_STATICW, L"", SS_LEFT | SS_NOPREFIX, 0, kIdEdition},
                      static_cast<HFONT>(productFont_.Get()));
    for (int id : {kIdVersionCaption, kIdVersion, kIdDateCaption, kIdDate, kIdCopyright, kIdRights})
        ui::CreateControl(w, {WC_STATICW, L"", SS_LEFT | SS_NOPREFIX, 0, id}, f);
    for (int id : {kIdWeb, kIdMail})
        ui::CreateControl(w, {WC_STATICW, L"", SS_LEFT | SS_NOPREFIX | SS_NOTIFY, 0, id},
                          static_cast<HFONT>(linkFont_.Get()));
    ui::CreateControl(w, {WC_BUTTONW, L"", BS_DEFPUSHBUTTON | WS_TABSTOP, 0, IDOK}, f);
    ShowProgramIcon(Item(kIdIcon));
    const HICON small =
        static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), L"MAINICON", IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                      GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    SendMessageW(w, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));

    const bool japanese = IsJapanese(CurrentLanguage());
    // 1. The texts of the language file.
    const LangReader lang = OpenLanguageFile();
    SetWindowTextW(w, lang.Read(text::kAboutCaption).c_str());
    SetWindowTextW(Item(kIdVersionCaption), (lang.Read(text::kAboutVersion) + L"  ").c_str());
    SetWindowTextW(Item(kIdDateCaption), (lang.Read(text::kAboutDate) + L"  ").c_str());
    SetWindowTextW(Item(kIdRights), lang.Read(text::kAboutRights).c_str());
    SetWindowTextW(Item(IDOK), lang.Read(text::kOk).c_str());
    // 2-3. Name and edition; the Japanese edition names itself from its file.
    SetWindowTextW(Item(kIdProduct), AboutProductNameFor(CurrentLanguage(), lang).c_str());
    SetWindowTextW(Item(kIdEdition), japanese ? L"" : L"Pro");
    web_ = japanese ? kWebJapan : kWeb;
    mail_ = japanese ? kMailJapan : kMail;
    SetWindowTextW(Item(kIdWeb), web_.c_str());
    SetWindowTextW(Item(kIdMail), mail_.c_str());
    // 4-5. Notice, version with the build number, date.
    SetWindowTextW(Item(kIdCopyright), kNotice);
    SetWindowTextW(Item(kIdVersion), VersionText(kProductVersion, ExecutableFileVersion()).c_str());
    SetWindowTextW(Item(kIdDate), kReleaseDate);
    Layout();
    ui::CenterOnScreen(w);
}

void TFormAbout::Layout() {
    const HFONT f = Font(), product = static_cast<HFONT>(productFont_.Get());
    const ui::TextMeter meter(Handle(), f);
    const int margin = S(12), iconSize = S(32), textHeight = ui::TextHeight(Handle(), f);
    const int left = margin + iconSize + S(14);
    const std::wstring name = ui::WindowText(Item(kIdProduct));
    const int nameWidth = ui::TextWidth(Handle(), product, name);
    const int nameHeight = ui::TextHeight(Handle(), product);
    ui::Place(Item(kIdIcon), margin, margin + (nameHeight - iconSize) / 2, iconSize, iconSize);
    const std::wstring edition = ui::WindowText(Item(kIdEdition));
    const int editionWidth = ui::TextWidth(Handle(), product, edition);
    // The name reads left to right in every language: in a mirrored window the edition
    // comes first, so that it still stands right of the name ("Print Mirovant Pro").
    const bool mirrored = GetWindowLongW(Handle(), GWL_EXSTYLE) & WS_EX_LAYOUTRTL;
    const int nameLeft = mirrored && !edition.empty() ? left + editionWidth + S(8) : left;
    ui::Place(Item(kIdProduct), nameLeft, margin, nameWidth + S(2), nameHeight);
    ui::Place(Item(kIdEdition), mirrored ? left : left + nameWidth + S(8), margin, editionWidth + S(2), nameHeight);
    int top = margin + nameHeight + S(10);
    const int captionWidth = std::max(meter.WidthOf(Item(kIdVersionCaption)), meter.WidthOf(Item(kIdDateCaption)));
    int width = std::max(S(320), left + nameWidth + S(120));
    for (auto [caption, value] : {std::pair{kIdVersionCaption, kIdVersion}, std::pair{kIdDateCaption, kIdDate}}) {
        ui::Place(Item(caption), left, top, captionWidth + S(2), textHeight);
        ui::Place(Item(value), left + captionWidth, top, width - margin - left - captionWidth, textHeight);
        top += textHeight + S(4);
    }
    top += S(8);
    for (int id : {kIdCopyright, kIdRights, kIdWeb, kIdMail}) {
        const int textWidth =
            ui::TextWidth(Handle(), id >= kIdWeb ? static_cast<HFONT>(linkFont_.Get()) : f, ui::WindowText(Item(id)));
        width = std::max(width, left + textWidth + margin);
        // Links are as wide as their text, so only the text is a place to click.
        ui::Place(Item(id), left, top, id >= kIdWeb ? textWidth + S(2) : width - margin - left, textHeight);
        top += textHeight + S(4);
    }
    const int buttonWidth = std::max(S(80), meter.WidthOf(Item(IDOK)) + S(24));
    top += S(10);
    ui::Place(Item(IDOK), width - margin - buttonWidth, top, buttonWidth, S(25));
    SetClientSize(width, top + S(25) + margin);
}

void TFormAbout::Open(const std::wstring& target) const {
    // The result is not examined: without a browser or mail program nothing opens,
    // and the window stays as it was.
    ShellExecuteW(Handle(), L"open", target.c_str(), L"", L"", SW_SHOWNORMAL);
}

ui::CloseAction TFormAbout::FormClose() {
    ended_ = true;
    return ui::CloseAction::Hide;
}

LRESULT TFormAbout::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
            if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) ended_ = true;
            if (LOWORD(wp) == kIdWeb && HIWORD(wp) == STN_CLICKED) Open(L"http://" + web_);
            if (LOWORD(wp) == kIdMail && HIWORD(wp) == STN_CLICKED) Open(L"mailto:" + mail_);
            return 0;
        case WM_SETCURSOR: {
            const int id = GetDlgCtrlID(reinterpret_cast<HWND>(wp));
            if (id == kIdWeb || id == kIdMail) {
                SetCursor(LoadCursorW(nullptr, IDC_HAND));
                return TRUE;
            }
            break;
        }
        case WM_CTLCOLORSTATIC: {
            const LRESULT brush = Dialog::HandleMessage(msg, wp, lp);
            const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lp));
            // Links in the system's colours, so a high-contrast scheme is followed.
            if (id == kIdWeb || id == kIdMail) SetTextColor(reinterpret_cast<HDC>(wp), LinkColour());
            return brush;
        }
    }
    return Dialog::HandleMessage(msg, wp, lp);
}

}  // namespace pm
