#pragma once
// Sending a short text message to a user on another computer.

#include <cstdint>
#include <string>

namespace pm {

// Delivers `text` to `user`'s client on `computer` (cut to 260 characters there),
// or, when that exchange does not succeed, through the network messaging service to
// the computer (the whole text). True when either way delivered it. When the pipe
// does not open, one log entry (code 0, "InformUser: " + pipe name). Runs on the
// calling thread and keeps its window messages flowing while it waits.
bool SendUserMessage(int32_t kind, const std::wstring& computer, const std::wstring& user, const std::wstring& text);

// The network messaging service, or false where it is missing (under Wine it is a
// stub that would abort the process, so it counts as missing there).
bool SendThroughMessenger(const std::wstring& computer, const std::wstring& text);

}  // namespace pm
