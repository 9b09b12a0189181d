#pragma once
// Product constants, fixed at build time. The product caption is the one that
// can change: see ProductCaption().

#include <string>

namespace pm {

inline constexpr wchar_t kProductCaption[] = L"Print Mirovant Pro";
inline constexpr wchar_t kProductVersion[] = L"2.1";
inline constexpr wchar_t kReleaseDate[] = L"28 January 2009";
// A path from the root of a hive, used under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER.
inline constexpr wchar_t kProductKey[] = L"\\Software\\Tavrenholt\\Print Mirovant";
inline constexpr wchar_t kInterfaceKey[] = L"\\Software\\Tavrenholt\\Print Mirovant\\Interface";
// Group policy's copy of the machine-wide values (the policy template sets them here);
// a value there wins over the product key's.
inline constexpr wchar_t kPolicyKey[] = L"\\Software\\Policies\\Tavrenholt\\Print Mirovant";
inline constexpr wchar_t kComputersKey[] = L"\\Software\\Tavrenholt\\Print Mirovant\\Interface\\Computers";
inline constexpr wchar_t kClientPipeBaseName[] = L"\\PIPE\\PrintMirovant";
inline constexpr wchar_t kServerPipeName[] = L"\\PIPE\\PrintDolvek";

// The product caption in use: the constant above until start-up replaces it once
// (the language file may rename the product), read by every later use.
// Written on the user-interface thread before the first window shows.
std::wstring& ProductCaption();

}  // namespace pm
