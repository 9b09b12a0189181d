#pragma once
// The layout of one error-log line, byte for byte:
//   "[" dd.mm.yyyy 0xA0 hh:mm:ss.mmm "] " code " " text " Err:" systemError "; " message CR LF
// The date and time fields are zero-padded; text and message are already in the
// system code page. Control characters in them never reach the line: a text's become
// "?", a message's become blanks.

#include <cstdint>
#include <string>
#include <string_view>

#include "support/clock.h"

namespace pm {

std::string ComposeLogLine(const LocalTime& time, int32_t code, std::string_view text, int32_t systemError,
                           std::string_view systemMessage);

// A system message as the log shows it: without trailing control characters, blanks
// and full stops.
std::wstring TrimSystemMessage(std::wstring_view message);

}  // namespace pm
