// Fuzz entry over the portable rules that take text from outside: the language
// choice (registry values), the server-history clean-up (the Connect dialog's field
// and the stored history) and the server-name check of a job's answer.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "account/server_history.h"
#include "i18n/language_choice.h"
#include "messages/message_text.h"
#include "pipes/pipe_names.h"

namespace {

// Splits the input into UTF-16 strings at zero units.
std::vector<std::wstring> Strings(const uint8_t* data, size_t size) {
    std::vector<std::wstring> out(1);
    for (size_t i = 0; i + 1 < size; i += 2) {
        const wchar_t c = wchar_t(data[i] | data[i + 1] << 8);
        if (c == 0) {
            out.emplace_back();
        } else {
            out.back() += c;
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace pm;
    const std::vector<std::wstring> s = Strings(data, size);
    const std::wstring& first = s[0];
    const std::wstring second = s.size() > 1 ? s[1] : std::wstring();

    const std::wstring language = ChooseLanguage(first, second);
    if (language.empty()) __builtin_trap();
    LanguageForLocale(first);

    const std::vector<std::wstring> history(s.begin() + (s.size() > 2 ? 2 : s.size()), s.end());
    const HistoryChoice choice = ChooseServer(first, history, second, &SameIgnoringAsciiCase);
    if (choice.chosen.find(L' ') != std::wstring::npos) __builtin_trap();
    for (const std::wstring& entry : choice.history) {
        if (entry.empty() || entry.find(L'(') != std::wstring::npos) {
            if (&entry != &choice.history.front()) __builtin_trap();
        }
    }

    if (IsPlainComputerName(first)) {
        if (first.empty() || first.size() > 20) __builtin_trap();
        for (wchar_t c : first) {
            if (c <= L' ' || std::wstring(L"\\/@?*:\"<>|").find(c) != std::wstring::npos) __builtin_trap();
        }
    }
    const std::wstring trimmed = TrimBelow33(first);
    if (!trimmed.empty() && (trimmed.front() < 33 || trimmed.back() < 33)) __builtin_trap();
    return 0;
}
