#include "messages/message_text.h"

namespace pm {

std::wstring TrimBelow33(std::wstring_view text) {
    while (!text.empty() && text.front() < 33)
        text.remove_prefix(1);
    while (!text.empty() && text.back() < 33)
        text.remove_suffix(1);
    return std::wstring(text);
}

}  // namespace pm
