#pragma once
// Windows in the language of a language file that is not installed.

#include <windows.h>

#include <string>

#include "i18n/language_win.h"
#include "support/install_dir_win.h"
#include "support/product.h"
#include "support/registry_win.h"

namespace pm::test {

// The windows made from now on speak the language of `path` (a language file's
// full path): its folder becomes the installation directory and its name the
// language. Call it inside a registry sandbox.
inline void UseLanguageFile(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/"), dot = path.rfind(L'.');
    reg::WriteString(reg::OpenKey(HKEY_LOCAL_MACHINE, kProductKey, reg::Access::ReadWrite).Get(), L"Install Directory",
                     path.substr(0, slash + 1));
    InitInstallDirectory();
    SetCurrentLanguage(path.substr(slash + 1, dot - slash - 1));
}

}  // namespace pm::test
