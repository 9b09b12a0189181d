#include "support/module_win.h"

#include <string>

namespace pm {
namespace {

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

// Looked up, not imported: Windows 7 without update KB2533623 lacks it, and an import
// would keep the programs from starting there. The same update teaches LoadLibraryExW
// the LOAD_LIBRARY_SEARCH_* flags, which it otherwise refuses as invalid.
SetDefaultDllDirectoriesFn SetDefaultDllDirectoriesProc() {
    static const auto proc =
        GetProc<SetDefaultDllDirectoriesFn>(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    return proc;
}

}  // namespace

HMODULE LoadSystemLibrary(const wchar_t* name) {
    if (SetDefaultDllDirectoriesProc()) return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Without the flags: the full path, and LOAD_WITH_ALTERED_SEARCH_PATH so that the
    // DLL's own dependencies are looked for beside it (the system folder) and not
    // beside the program.
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    const std::wstring path = std::wstring(folder, length) + L"\\" + name;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void RestrictDllSearch() {
    if (const auto setDefault = SetDefaultDllDirectoriesProc(); setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return;
    // The most an old system allows: the current folder leaves the search order (the
    // program's own folder stays in it; LoadSystemLibrary does not rely on either).
    SetDllDirectoryW(L"");
}

}  // namespace pm
