#include "account/server_history.h"

namespace pm {

bool SameIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        wchar_t x = a[i], y = b[i];
        if (x >= L'a' && x <= L'z') x = wchar_t(x - 32);
        if (y >= L'a' && y <= L'z') y = wchar_t(y - 32);
        if (x != y) return false;
    }
    return true;
}

std::wstring_view ServerInField(std::wstring_view field) {
    return field.substr(0, field.find(L' '));
}

HistoryChoice ChooseServer(std::wstring_view field, const std::vector<std::wstring>& shown,
                           std::wstring_view thisComputer, const SameText& same) {
    HistoryChoice result;
    result.chosen = std::wstring(ServerInField(field));

    std::vector<std::wstring> list = shown;
    size_t start = 0;
    if (!same(result.chosen, thisComputer)) {
        list.insert(list.begin(), result.chosen);
        start = 1;
    }
    for (size_t i = 0; i < list.size(); ++i) {
        const std::wstring& entry = list[i];
        const bool drop =
            i >= start && (entry.empty() || same(entry, result.chosen) || entry.find(L'(') != std::wstring::npos);
        if (!drop) result.history.push_back(entry);
    }
    return result;
}

}  // namespace pm
