#pragma once
// The names of the three pipes the client uses. Names are used unaltered; the
// system compares pipe names without regard to case.

#include <string>
#include <string_view>

namespace pm {

// The client's own pipe: \\.\PIPE\PrintMirovant-<user>.
std::wstring ListenerPipeName(std::wstring_view user);
// A user's client on a computer: \\<computer>\PIPE\PrintMirovant-<user>.
std::wstring ClientPipeName(std::wstring_view computer, std::wstring_view user);
// A print server: \\<server>\PIPE\PrintDolvek.
std::wstring ServerPipeName(std::wstring_view server);

// A name that may stand for a computer in a pipe path: 1 to 20 characters, none of
// them a control character, a blank or one of \ / @ ? * : " < > |. Anything else
// could turn the path into a share or a web address.
bool IsPlainComputerName(std::wstring_view name);

}  // namespace pm
