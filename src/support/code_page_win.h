#pragma once
// Conversions between UTF-16 and a code page (normally the system's ANSI code page,
// GetACP()), for the wire and for the ANSI calls. On a computer whose ANSI code page
// is UTF-8 (65001) the best-fit and default-character arguments are invalid; UTF-8
// holds every valid UTF-16 string exactly, so only unpaired surrogates fail there.

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace pm {

// The text in `codePage` when every character is held exactly (no best-fit guess, no
// default character); nothing otherwise.
std::optional<std::string> ToCodePageExact(std::wstring_view text, UINT codePage);

// The text after a trip through `codePage` and back: a character the code page cannot
// hold becomes "?" (never a best-fit look-alike). "" when the text cannot be converted
// at all (an unpaired surrogate for UTF-8).
std::wstring ThroughCodePage(std::wstring_view text, UINT codePage);

}  // namespace pm
