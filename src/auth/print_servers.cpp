#include "auth/print_servers.h"

#include <algorithm>
#include <cwctype>

namespace pm {
namespace {

std::wstring Normalised(std::wstring_view name, std::wstring_view thisComputer) {
    while (!name.empty() && name.front() == L' ')
        name.remove_prefix(1);
    while (!name.empty() && name.back() == L' ')
        name.remove_suffix(1);
    std::wstring result(name == L"." && !thisComputer.empty() ? thisComputer : name);
    for (wchar_t& c : result)
        c = wchar_t(std::towupper(wint_t(c)));
    return result;
}

}  // namespace

std::vector<std::wstring> ParsePrintServers(std::wstring_view list, std::wstring_view thisComputer) {
    std::vector<std::wstring> names;
    size_t start = 0;
    while (start <= list.size()) {
        const size_t end = std::min(list.find(L';', start), list.size());
        std::wstring name = Normalised(list.substr(start, end - start), thisComputer);
        if (!name.empty()) names.push_back(std::move(name));
        start = end + 1;
    }
    return names;
}

bool PrintServerAllowed(std::wstring_view list, std::wstring_view server, std::wstring_view thisComputer) {
    const std::vector<std::wstring> allowed = ParsePrintServers(list, thisComputer);
    if (allowed.empty()) return true;
    const std::wstring wanted = Normalised(server, thisComputer);
    return !wanted.empty() && std::find(allowed.begin(), allowed.end(), wanted) != allowed.end();
}

}  // namespace pm
