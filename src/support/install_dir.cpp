#include "support/install_dir.h"

namespace pm {

std::wstring DirectoryOf(std::wstring_view path) {
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring_view::npos ? std::wstring() : std::wstring(path.substr(0, slash + 1));
}

std::wstring InstallDirectoryFrom(const std::optional<std::wstring>& configured, std::wstring_view exePath) {
    std::wstring directory = configured.value_or(std::wstring());
    if (directory.empty()) directory = DirectoryOf(exePath);
    if (directory.empty() || directory.back() != L'\\') directory += L'\\';
    return directory;
}

}  // namespace pm
