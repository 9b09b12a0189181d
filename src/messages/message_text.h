#pragma once

#include <string>
#include <string_view>

namespace pm {

// The text without its leading and trailing characters below 33 (blanks, tabs, line
// breaks, other control characters). The send-message dialog refuses a message
// that this leaves empty, and sends the text as typed otherwise.
std::wstring TrimBelow33(std::wstring_view text);

}  // namespace pm
