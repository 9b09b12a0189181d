#pragma once
// Functions looked up at run time: what some systems (and Wine) lack is loaded
// dynamically, and a missing function is a plain "not available". DLLs loaded at run
// time come from the system folder only.

#include <windows.h>

namespace pm {

// The exported function `name` of `module` as type F, or nullptr.
template <class F>
F GetProc(HMODULE module, const char* name) {
    if (!module) return nullptr;
    // Through a generic function pointer: FARPROC's own type matches no real signature.
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// A DLL of the system folder, by file name ("netapi32.dll"), loaded from the system
// folder only: never from the program's folder, the current folder or PATH, where
// whoever may write there could plant a DLL of that name. Free it with FreeLibrary
// (UniqueModule). Null when it cannot be loaded; GetLastError() then says why.
HMODULE LoadSystemLibrary(const wchar_t* name);

// Makes the system folder the only place searched by every later load by name in
// this process, the system DLLs' own loads included. Called first thing in each
// program entry, before anything loads a library; the programs have no DLLs of their
// own, so nothing they need is left out.
void RestrictDllSearch();

// Running under Wine, which exports wine_get_version from ntdll. Some services are
// stubs there that abort the process when called; callers treat them as absent.
inline bool IsWine() {
    return GetProc<const char* (*)()>(GetModuleHandleW(L"ntdll.dll"), "wine_get_version");
}

}  // namespace pm
