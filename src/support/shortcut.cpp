#include "support/shortcut.h"

namespace pm {

namespace {

// "(&U)" at position i: a shortcut in parentheses, as East Asian texts write it.
bool ParenthesisedShortcutAt(std::wstring_view text, size_t i) {
    return text[i] == L'(' && i + 3 < text.size() && text[i + 1] == L'&' && text[i + 2] != L'&' && text[i + 3] == L')';
}

std::wstring Strip(std::wstring_view text, bool dropParenthesised) {
    std::wstring shown;
    shown.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (dropParenthesised && ParenthesisedShortcutAt(text, i)) {
            if (!shown.empty() && shown.back() == L' ') shown.pop_back();
            i += 3;
            continue;
        }
        if (text[i] == L'&' && ++i == text.size()) break;
        shown += text[i];
    }
    return shown;
}

}  // namespace

std::wstring WithoutMnemonic(std::wstring_view text) {
    return Strip(text, false);
}

std::wstring WithoutShortcut(std::wstring_view text) {
    return Strip(text, true);
}

}  // namespace pm
