#pragma once
// Which language the client speaks, from two registry readings.

#include <optional>
#include <string>
#include <string_view>

namespace pm {

inline constexpr wchar_t kEnglish[] = L"English";

// The language for a "Locale" value such as "00000419": its characters 6 to 8 against
// the table of supported languages; "English" for anything else (or a short value).
std::wstring LanguageForLocale(std::wstring_view locale);

// The registry's "Language" value when present and not empty; otherwise the
// language of the locale when "Locale" is present and not empty; otherwise English.
std::wstring ChooseLanguage(const std::optional<std::wstring>& languageValue,
                            const std::optional<std::wstring>& localeValue);

bool IsEnglish(std::wstring_view language);
bool IsJapanese(std::wstring_view language);

}  // namespace pm
