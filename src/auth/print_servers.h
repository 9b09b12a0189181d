#pragma once
// The machine's list of print servers a job may be answered to ("PrintServers").
// Without it, a job request could make the client open a pipe, with the user's
// logon, on any computer it names.

#include <string>
#include <string_view>
#include <vector>

namespace pm {

// The names of a list: separated by ";", blanks around each ignored, empty ones
// dropped, "." standing for `thisComputer`; upper case.
std::vector<std::wstring> ParsePrintServers(std::wstring_view list, std::wstring_view thisComputer);

// True when `list` is empty (no restriction) or names `server` ("." is this
// computer), compared without regard to case.
bool PrintServerAllowed(std::wstring_view list, std::wstring_view server, std::wstring_view thisComputer);

// The same rules for any ";"-separated list of names (accounts, for one): true when
// `list` names nothing or names `name`, without regard to case.
inline bool NameListAllows(std::wstring_view list, std::wstring_view name) {
    return PrintServerAllowed(list, name, {});
}

}  // namespace pm
