#include "support/machine_settings_win.h"

#include "support/product.h"

namespace pm {
namespace {

template <class Read>
auto FromPolicyOrProduct(Read read) -> decltype(read(HKEY{})) {
    for (const wchar_t* path : {kPolicyKey, kProductKey}) {
        const UniqueKey key = reg::OpenKey(HKEY_LOCAL_MACHINE, path, reg::Access::Read);
        if (!key) continue;
        auto result = read(key.Get());
        if (result.status != reg::ReadStatus::Missing) return result;
    }
    return {};
}

}  // namespace

reg::ReadResult<std::wstring> MachineString(const wchar_t* name) {
    return FromPolicyOrProduct([name](HKEY key) { return reg::ReadString(key, name); });
}

reg::ReadResult<uint32_t> MachineDword(const wchar_t* name) {
    return FromPolicyOrProduct([name](HKEY key) { return reg::ReadDword(key, name); });
}

}  // namespace pm
