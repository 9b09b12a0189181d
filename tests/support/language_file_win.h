#pragma once
// Windows in the language of a language file that is not installed.

#include <windows.h>

#include <string>

#include "i18n/language_win.h"
#include "support/install_dir_win.h"

namespace pm::test {

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

}  // namespace pm::test
