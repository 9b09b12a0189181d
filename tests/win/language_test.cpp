#include "i18n/language_win.h"

#include <gtest/gtest.h>

#include <set>

#include "support/language_file_win.h"
#include "support/product.h"
#include "support/registry_sandbox_win.h"
#include "support/registry_win.h"
#include "support/temp_folder_win.h"

namespace pm {
namespace {

class LanguageFile : public ::testing::Test {
protected:
    std::wstring Write(const wchar_t* name, const std::string& bytes) {
        const std::wstring path = temp_.Path() + name;
        EXPECT_TRUE(test::WriteWholeFile(path, bytes));
        return path;
    }
    test::TempFolder temp_;
};

TEST_F(LanguageFile, NamesMatchWithoutCaseAndQuotesAndBlanksAreStripped) {
    const LangReader reader(
        Write(L"German.lng", "[global]\r\nSTROK=Gut\r\nstrCancel =  \"  Abbrechen \"  \r\nstrExit='Ende'\r\n"));
    EXPECT_EQ(reader.Read(text::kOk), L"Gut");
    EXPECT_EQ(reader.ReadString(L"Global", L"strOk", L"OK"), L"Gut");  // the dialog's spelling
    EXPECT_EQ(reader.Read(text::kCancel), L"  Abbrechen ");
    EXPECT_EQ(reader.Read(text::kExit), L"Ende");
}

TEST_F(LanguageFile, MissingSectionOrKeyGivesTheDefaultButAnEmptyValueGivesEmpty) {
    const LangReader reader(Write(L"X.lng", "[Global]\r\nstrSend=\r\n"));
    EXPECT_EQ(reader.Read(text::kSend), L"");
    EXPECT_EQ(reader.Read(text::kClose), L"C&lose");
    EXPECT_EQ(reader.Read(text::kMessageSent), L"The message is sent!");
    // A default with blanks at its end comes back whole.
    EXPECT_EQ(reader.ReadString(L"Global", L"none", L"two blanks  "), L"two blanks  ");
}

TEST_F(LanguageFile, LongValueIsCutAt2047Characters) {
    const LangReader reader(Write(L"Long.lng", "[Global]\r\nstrExit=" + std::string(3000, 'x') + "\r\n"));
    EXPECT_EQ(reader.Read(text::kExit), std::wstring(2047, L'x'));
}

TEST_F(LanguageFile, Utf16FileWithByteOrderMark) {
    const std::wstring content = L"\uFEFF[Global]\r\nstrExit=\u0412\u044B\u0445\u043E\u0434\r\n";
    const std::string bytes(reinterpret_cast<const char*>(content.data()), content.size() * sizeof(wchar_t));
    const LangReader reader(Write(L"Russian.lng", bytes));
    EXPECT_EQ(reader.Read(text::kExit), L"\u0412\u044B\u0445\u043E\u0434");
}

TEST_F(LanguageFile, MissingFileOrNoFileGivesDefaults) {
    EXPECT_EQ(LangReader(temp_.Path() + L"Missing.lng").Read(text::kOk), L"OK");
    EXPECT_EQ(LangReader(L"").Read(text::kAuthJobDeletion), L"Print Job will be deleted in:  % minutes");
}

TEST(LanguageFilePath, EnglishAndAnEmptyDirectoryUseNoFile) {
    EXPECT_EQ(LanguageFilePath(L"C:\\App\\", L"German"), L"C:\\App\\German.lng");
    EXPECT_EQ(LanguageFilePath(L"C:\\App\\", L"english"), L"");
    EXPECT_EQ(LanguageFilePath(L"", L"German"), L"");
}

TEST_F(LanguageFile, JapaneseNamesTheProductFromTheFile) {
    const LangReader named(Write(L"Japanese.lng", "[Global]\r\nCaptionProfessional=PMJ\r\n"));
    const LangReader unnamed(Write(L"Other.lng", "[Global]\r\n"));
    EXPECT_EQ(ProductCaptionFor(L"Japanese", named), L"PMJ");
    EXPECT_EQ(AboutProductNameFor(L"japanese", named), L"PMJ");
    EXPECT_EQ(ProductCaptionFor(L"Japanese", unnamed), L"Print Mirovant Pro");
    EXPECT_EQ(AboutProductNameFor(L"Japanese", unnamed), L"Print Mirovant");
    EXPECT_EQ(ProductCaptionFor(L"German", named), kProductCaption);
    EXPECT_EQ(AboutProductNameFor(L"German", named), L"Print Mirovant");
}

TEST(LanguageTemplate, TheSystemReadsEveryDefaultFromTheShippedTemplate) {
    std::wstring path = PM_SOURCE_DIR L"/lang/Template.lng";
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    const LangReader reader(path);
    for (const TextKey& text : AllTexts()) {
        if (std::wstring_view(text.defaultText) == text::kCaptionProfessionalAbout.defaultText) continue;
        EXPECT_EQ(reader.ReadString(text.section, text.key, L"<missing>"), text.defaultText) << text.key;
    }
}

// What the client needs of each language file it ships, beyond having every key
// (scripts/check-language): Unicode, whatever its script; the "%" the time and the
// count go into; a direction it understands; and a letter of its own for each item of
// the tray menu, which the keyboard walk of the windows does not reach.
TEST(ShippedLanguageFiles, EachIsUnicodeKeepsItsPlaceholdersAndGivesTheTrayMenuDistinctLetters) {
    const std::vector<std::wstring> files = test::ShippedLanguageFiles(PM_SOURCE_DIR L"/lang");
    ASSERT_FALSE(files.empty());
    for (const std::wstring& file : files) {
        SCOPED_TRACE(test::LanguageTestName(file));
        EXPECT_EQ(test::ReadWholeFile(file).substr(0, 2), "\xFF\xFE") << "UTF-16 LE with a byte-order mark";
        const LangReader reader(file);
        for (const TextKey* placeholder : {&text::kAuthJobDeletion, &text::kMoreMessages})
            EXPECT_NE(reader.Read(*placeholder).find(L'%'), std::wstring::npos) << placeholder->key;
        const std::wstring direction = reader.Read(text::kRightToLeft);
        EXPECT_TRUE(direction == L"0" || direction == L"1") << testing::PrintToString(direction);
        std::set<wchar_t> letters;
        for (const TextKey* item : {&text::kSendMessage, &text::kViewMessages, &text::kAccountInfo, &text::kOptions,
                                    &text::kAbout, &text::kExit}) {
            const wchar_t letter = test::ShortcutKey(reader.Read(*item));
            EXPECT_TRUE(letter && letters.insert(letter).second) << item->key;
        }
    }
}

// The registry's value when it is a string that is not empty, else the user's locale,
// else English; the interface key is there afterwards.
TEST(SelectLanguageFromRegistry, TheValueThenTheLocaleThenEnglish) {
    const struct {
        const wchar_t* language;  // nullptr: no value; L"#": a DWORD
        const wchar_t* locale;    // nullptr: no value
        const wchar_t* chosen;
    } cases[] = {
        {nullptr, nullptr, L"English"},
        {L"German", L"00000419", L"German"},
        {L"", L"00000411", L"Japanese"},
        {L"#", L"0000042B", L"Armenian"},
    };
    for (const auto& c : cases) {
        const test::RegistrySandbox sandbox;
        if (c.language) {
            const UniqueKey key = reg::OpenKey(HKEY_CURRENT_USER, kInterfaceKey, reg::Access::ReadWrite);
            if (std::wstring(c.language) == L"#")
                reg::WriteDword(key.Get(), L"Language", 7);
            else
                reg::WriteString(key.Get(), L"Language", c.language);
        }
        if (c.locale)
            reg::WriteString(
                reg::OpenKey(HKEY_CURRENT_USER, L"\\Control Panel\\International", reg::Access::ReadWrite).Get(),
                L"Locale", c.locale);
        EXPECT_EQ(SelectLanguage(), c.chosen) << (c.language ? c.language : L"(none)");
        EXPECT_TRUE(reg::OpenKey(HKEY_CURRENT_USER, kInterfaceKey, reg::Access::Read));
    }
}

}  // namespace
}  // namespace pm
