#pragma once
// The print-server history of the Connect dialog, as a pure rule.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pm {

using SameText = std::function<bool(std::wstring_view, std::wstring_view)>;

struct HistoryChoice {
    std::wstring chosen;                // what the dialog returns
    std::vector<std::wstring> history;  // what is written back, most recent first
};

// The print server a field's text names: the part before its first blank.
std::wstring_view ServerInField(std::wstring_view field);

// `field` is the text of the field (the part before its first blank is the choice);
// `shown` is the list as shown (the local-host entry first, then the history).
// The choice goes first unless it is this computer; then the earlier entries follow
// without empty ones, without those equal to the choice, and without any holding "(".
HistoryChoice ChooseServer(std::wstring_view field, const std::vector<std::wstring>& shown,
                           std::wstring_view thisComputer, const SameText& same);

// ASCII-only case-insensitive comparison, for platforms without the user's locale.
bool SameIgnoringAsciiCase(std::wstring_view a, std::wstring_view b);

}  // namespace pm
