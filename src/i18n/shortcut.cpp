#include "i18n/shortcut.h"

namespace pm {

std::wstring WithoutShortcut(std::wstring_view text) {
    std::wstring shown;
    shown.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'(' && i + 3 < text.size() && text[i + 1] == L'&' && text[i + 2] != L'&' &&
            text[i + 3] == L')') {
            if (!shown.empty() && shown.back() == L' ') shown.pop_back();
            i += 3;
            continue;
        }
        if (text[i] == L'&' && ++i == text.size()) break;
        shown += text[i];
    }
    return shown;
}

}  // namespace pm
