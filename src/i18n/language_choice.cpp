#include "i18n/language_choice.h"

namespace pm {
namespace {

struct LocaleLanguage {
    const wchar_t* code;  // characters 6 to 8 of the locale
    const wchar_t* language;
};

// The names are file names too: "Polich" is spelled so on purpose.
constexpr LocaleLanguage kLocaleLanguages[] = {
    {L"401", L"Arabic"},  {L"407", L"German"},   {L"40A", L"Spanish"}, {L"40C", L"French"},
    {L"410", L"Italian"}, {L"411", L"Japanese"}, {L"415", L"Polich"},  {L"416", L"Portuguese-Brazilian"},
    {L"419", L"Russian"}, {L"42b", L"Armenian"},
};

wchar_t FoldCase(wchar_t c) {
    return (c >= L'a' && c <= L'z') ? wchar_t(c - L'a' + L'A') : c;
}

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    }
    return true;
}

}  // namespace

std::wstring LanguageForLocale(std::wstring_view locale) {
    if (locale.size() < 6) return kEnglish;
    const std::wstring_view code = locale.substr(5, 3);
    for (const auto& entry : kLocaleLanguages) {
        if (EqualsIgnoringCase(code, entry.code)) return entry.language;
    }
    return kEnglish;
}

std::wstring ChooseLanguage(const std::optional<std::wstring>& languageValue,
                            const std::optional<std::wstring>& localeValue) {
    if (languageValue && !languageValue->empty()) return *languageValue;
    if (localeValue && !localeValue->empty()) return LanguageForLocale(*localeValue);
    return kEnglish;
}

bool IsEnglish(std::wstring_view language) {
    return EqualsIgnoringCase(language, kEnglish);
}

bool IsJapanese(std::wstring_view language) {
    return EqualsIgnoringCase(language, L"Japanese");
}

}  // namespace pm
