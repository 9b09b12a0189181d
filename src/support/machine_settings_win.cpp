#include "support/machine_settings_win.h"

#include <utility>

#include "support/product.h"

namespace pm {
namespace {

constexpr std::pair<MachineKey, const wchar_t*> kKeys[] = {{MachineKey::Policy, kPolicyKey},
                                                           {MachineKey::Product, kProductKey}};

template <class Read>
auto FromPolicyOrProduct(Read read) -> decltype(read(HKEY{})) {
    for (const auto& [which, path] : kKeys) {
        const UniqueKey key = reg::OpenKey(HKEY_LOCAL_MACHINE, path, reg::Access::Read);
        if (!key) continue;
        auto result = read(key.Get());
        if (result.status != reg::ReadStatus::Missing) return result;
    }
    return {};
}

}  // namespace

MachineKey MachineValueKey(const wchar_t* name) {
    for (const auto& [which, path] : kKeys) {
        const UniqueKey key = reg::OpenKey(HKEY_LOCAL_MACHINE, path, reg::Access::Read);
        if (key && RegQueryValueExW(key.Get(), name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) return which;
    }
    return MachineKey::None;
}

reg::ReadResult<std::wstring> MachineString(const wchar_t* name) {
    return FromPolicyOrProduct([name](HKEY key) { return reg::ReadString(key, name); });
}

reg::ReadResult<uint32_t> MachineDword(const wchar_t* name) {
    return FromPolicyOrProduct([name](HKEY key) { return reg::ReadDword(key, name); });
}

}  // namespace pm
