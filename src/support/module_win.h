#pragma once
// Functions looked up at run time: what some systems (and Wine) lack is loaded
// dynamically, and a missing function is a plain "not available".

#include <windows.h>

namespace pm {

// The exported function `name` of `module` as type F, or nullptr.
template <class F>
F GetProc(HMODULE module, const char* name) {
    if (!module) return nullptr;
    // Through a generic function pointer: FARPROC's own type matches no real signature.
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Running under Wine, which exports wine_get_version from ntdll. Some services are
// stubs there that abort the process when called; callers treat them as absent.
inline bool IsWine() {
    return GetProc<const char* (*)()>(GetModuleHandleW(L"ntdll.dll"), "wine_get_version");
}

}  // namespace pm
