#pragma once
// Keyboard shortcuts in texts: an "&" before a character makes it the text's shortcut
// (Alt + the character), "&&" shows one "&". East Asian texts put the character in
// parentheses after the words, as "ユーザー名(&U)".

#include <string>
#include <string_view>

namespace pm {

// The text as a control shows it: single markers go and "&&" becomes "&".
std::wstring WithoutMnemonic(std::wstring_view text);

// The text where it offers no shortcut (a label of a field that only displays): single
// markers go, "&&" becomes "&", and a parenthesised shortcut "(&U)" goes whole, with the
// blank before it, since "(U)" would name a key that does nothing.
std::wstring WithoutShortcut(std::wstring_view text);

}  // namespace pm
