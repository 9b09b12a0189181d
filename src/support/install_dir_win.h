#pragma once
// The installation directory: where the language files are and the error log goes.

#include <string>

namespace pm {

// The full path of the running executable.
std::wstring ExecutablePath();

// Reads "Install Directory" from the product key under HKEY_LOCAL_MACHINE (read-only)
// and applies InstallDirectoryFrom. A value of a non-string type counts as missing.
std::wstring DetermineInstallDirectory();

// Determined once by InitInstallDirectory() before any window exists; read-only afterwards.
const std::wstring& InstallDirectory();
void InitInstallDirectory();

}  // namespace pm
