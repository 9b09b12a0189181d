#include "support/install_dir_win.h"

#include "support/install_dir.h"
#include "support/product.h"
#include "support/registry_win.h"

namespace pm {
namespace {

std::wstring& InstallDirectoryValue() {
    static std::wstring value;
    return value;
}

}  // namespace

std::wstring ExecutablePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (length == 0) return {};
        // A full buffer means the path was cut; long paths need a bigger one.
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

std::wstring DetermineInstallDirectory() {
    std::optional<std::wstring> configured;
    if (const UniqueKey key = reg::OpenKey(HKEY_LOCAL_MACHINE, kProductKey, reg::Access::Read)) {
        // A value of the wrong type would otherwise stop the client from starting at all.
        configured = reg::ReadString(key.Get(), L"Install Directory").value;
    }
    return InstallDirectoryFrom(configured, ExecutablePath());
}

const std::wstring& InstallDirectory() {
    return InstallDirectoryValue();
}

void InitInstallDirectory() {
    InstallDirectoryValue() = DetermineInstallDirectory();
}

}  // namespace pm
