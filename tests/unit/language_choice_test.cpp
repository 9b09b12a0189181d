#include "i18n/language_choice.h"

#include <gtest/gtest.h>

namespace pm {
namespace {

TEST(LanguageChoice, LocaleTable) {
    const struct {
        const wchar_t* locale;
        const wchar_t* language;
    } cases[] = {
        {L"00000411", L"Japanese"},
        {L"0000042B", L"Armenian"},  // the table says "42b": case is ignored
        {L"0000042b", L"Armenian"},
        {L"00000415", L"Polich"},
        {L"00000419", L"Russian"},
        {L"0000040a", L"Spanish"},
        {L"00000416", L"Portuguese-Brazilian"},
        {L"00000809", L"English"},
        {L"00000C0A", L"English"},
        {L"00419", L"English"},    // shorter than six characters
        {L"0000041", L"English"},  // only two characters where three are compared
        {L"", L"English"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LanguageForLocale(c.locale), c.language) << c.locale;
}

TEST(LanguageChoice, RegistryValueBeatsTheLocaleAndEmptyFallsThrough) {
    EXPECT_EQ(ChooseLanguage(std::wstring(L"German"), std::wstring(L"00000419")), L"German");
    EXPECT_EQ(ChooseLanguage(std::wstring(L""), std::wstring(L"00000419")), L"Russian");
    EXPECT_EQ(ChooseLanguage(std::nullopt, std::wstring(L"00000419")), L"Russian");
    EXPECT_EQ(ChooseLanguage(std::nullopt, std::wstring(L"")), L"English");
    EXPECT_EQ(ChooseLanguage(std::nullopt, std::nullopt), L"English");
    // Any name is taken as it stands: it names a file.
    EXPECT_EQ(ChooseLanguage(std::wstring(L"Klingon"), std::nullopt), L"Klingon");
}

TEST(LanguageChoice, EnglishAndJapaneseIgnoreCase) {
    EXPECT_TRUE(IsEnglish(L"english"));
    EXPECT_TRUE(IsEnglish(L"ENGLISH"));
    EXPECT_FALSE(IsEnglish(L"English (UK)"));
    EXPECT_TRUE(IsJapanese(L"japanese"));
    EXPECT_FALSE(IsJapanese(L"Japan"));
}

}  // namespace
}  // namespace pm
