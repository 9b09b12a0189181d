#pragma once
// The machine-wide settings: each from the policy key when group policy sets it there
// (whatever its type), else from the product key under HKEY_LOCAL_MACHINE.

#include "support/registry_win.h"

namespace pm {

inline constexpr wchar_t kDisableSendMessageValue[] = L"DisableSendMessage";
// The accounts a job request is taken from (";"-separated, e.g. CORP\PRINTSRV1$).
inline constexpr wchar_t kPrintServerAccountsValue[] = L"PrintServerAccounts";

// The key a machine-wide value is read from: the policy key whenever it holds the
// value (whatever its type), else the product key when that does.
enum class MachineKey { None, Policy, Product };
MachineKey MachineValueKey(const wchar_t* name);

reg::ReadResult<std::wstring> MachineString(const wchar_t* name);
reg::ReadResult<uint32_t> MachineDword(const wchar_t* name);

}  // namespace pm
