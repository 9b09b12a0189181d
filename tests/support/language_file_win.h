#pragma once
// Windows in the language of a language file that is not installed.

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

#include "i18n/language_win.h"
#include "support/install_dir_win.h"
#include "support/product.h"
#include "support/registry_win.h"
#include "ui/direction_win.h"

namespace pm::test {

// The windows made from now on speak the language of `path` (a language file's
// full path) and read its way: its folder becomes the installation directory and its
// name the language, also as the user's Language value, which the main form chooses
// from. Call it inside a registry sandbox.
inline void UseLanguageFile(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/"), dot = path.rfind(L'.');
    const std::wstring language = path.substr(slash + 1, dot - slash - 1);
    reg::WriteString(reg::OpenKey(HKEY_LOCAL_MACHINE, kProductKey, reg::Access::ReadWrite).Get(), L"Install Directory",
                     path.substr(0, slash + 1));
    reg::WriteString(reg::OpenKey(HKEY_CURRENT_USER, kInterfaceKey, reg::Access::ReadWrite).Get(), L"Language",
                     language);
    InitInstallDirectory();
    SetCurrentLanguage(language);
    ui::SetRightToLeft(IsRightToLeft(OpenLanguageFile()));
}

// Every language file the client ships: `folder`\*.lng but the template, by name.
inline std::vector<std::wstring> ShippedLanguageFiles(std::wstring folder) {
    std::replace(folder.begin(), folder.end(), L'/', L'\\');
    if (folder.back() != L'\\') folder += L'\\';
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"*.lng").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return files;
    do {
        if (_wcsicmp(found.cFileName, L"Template.lng") != 0) files.push_back(folder + found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(files.begin(), files.end());
    return files;
}

// The character after a single "&", lower case; 0 without one.
inline wchar_t ShortcutKey(const std::wstring& text) {
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != L'&') continue;
        if (text[i + 1] != L'&') return wchar_t(towlower(text[i + 1]));
        ++i;
    }
    return 0;
}

// A test name for a language file: its language, letters and digits only.
inline std::string LanguageTestName(const std::wstring& path) {
    std::string name;
    for (size_t i = path.find_last_of(L'\\') + 1; i < path.size() && path[i] != L'.'; ++i)
        name += iswalnum(path[i]) ? char(path[i]) : '_';
    return name;
}

}  // namespace pm::test
