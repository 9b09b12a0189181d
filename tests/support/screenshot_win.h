#pragma once
// Saves what a window shows on the screen as a 24-bit BMP file (for looking at
// windows in tests; scripts/screenshots turns them into PNG files).

#include <windows.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "i18n/language_win.h"
#include "support/install_dir_win.h"

namespace pm::test {

// The folder named by PM_SCREENSHOT_DIR ("" when not set: no screenshots wanted).
inline std::wstring ScreenshotFolder() {
    const wchar_t* folder = _wgetenv(L"PM_SCREENSHOT_DIR");
    return folder ? std::wstring(folder) : std::wstring();
}

// The windows made from now on speak the language of `path` (a language file's
// full path): its folder becomes the installation directory and its name the
// language. Call it inside a registry sandbox.
inline void UseLanguageFile(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/"), dot = path.rfind(L'.');
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Tavrenholt\\Print Mirovant", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &key, nullptr);
    const std::wstring folder = path.substr(0, slash + 1);
    RegSetValueExW(key, L"Install Directory", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   DWORD((folder.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    InitInstallDirectory();
    SetCurrentLanguage(path.substr(slash + 1, dot - slash - 1));
}

// The language of PM_LANGUAGE_FILE when it is set (scripts/screenshots sets it).
inline void UseScreenshotLanguage() {
    const wchar_t* file = _wgetenv(L"PM_LANGUAGE_FILE");
    if (file && *file) UseLanguageFile(file);
}

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

inline bool SaveWindowBmp(HWND window, const std::wstring& path) {
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
    HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    WriteFile(out, &file, sizeof file, &written, nullptr);
    WriteFile(out, &header, sizeof header, &written, nullptr);
    WriteFile(out, pixels.data(), DWORD(pixels.size()), &written, nullptr);
    CloseHandle(out);
    return true;
}

}  // namespace pm::test
