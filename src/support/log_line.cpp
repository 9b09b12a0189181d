#include "support/log_line.h"

#include <cstdio>

namespace pm {
namespace {

// printf's "%2d" pads with blanks; the log turns them into zeros ("06", "045").
std::string ZeroPadded(std::string text) {
    for (char& c : text) {
        if (c == ' ') c = '0';
    }
    return text;
}

// One entry is one line: a control character in a text (a name or a message that
// came from a peer, a system message of several lines) becomes `replacement`.
std::string OneLine(std::string_view text, char replacement) {
    std::string result(text);
    for (char& c : result) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = replacement;
    }
    return result;
}

}  // namespace

std::string ComposeLogLine(const LocalTime& time, int32_t code, std::string_view text, int32_t systemError,
                           std::string_view systemMessage) {
    char date[40], clock[40];
    std::snprintf(date, sizeof date, "%2d.%2d.%4d", time.day, time.month, time.year);
    std::snprintf(clock, sizeof clock, "%2d:%2d:%2d.%3d", time.hour, time.minute, time.second, time.millisecond);

    std::string line = "[";
    line += ZeroPadded(date);
    line += '\xA0';  // the no-break space of the usual Western code page, always this byte
    line += ZeroPadded(clock);
    line += "] ";
    line += std::to_string(code);
    line += ' ';
    line += OneLine(text, '?');
    line += " Err:";
    line += std::to_string(systemError);
    line += "; ";
    line += OneLine(systemMessage, ' ');
    line += "\r\n";
    return line;
}

std::wstring TrimSystemMessage(std::wstring_view message) {
    while (!message.empty() && (message.back() <= L' ' || message.back() == L'.'))
        message.remove_suffix(1);
    return std::wstring(message);
}

}  // namespace pm
