#pragma once
// The language of the user interface and the lookup of texts in language files.
//
// The language is chosen once at start-up (SelectLanguage, stored with
// SetCurrentLanguage) and read-only afterwards. A LangReader reads one language
// file through the system's private-profile functions: section and key names
// match without regard to case, quotes and surrounding blanks are stripped, a file
// with a UTF-16 LE byte-order mark is read as UTF-16, and a value is cut to 2047
// characters. A missing file, section or key gives the default; a key present
// with an empty value gives "". Readers are cheap and per use: no locking.

#include <string>
#include <string_view>

#include "i18n/catalogue.h"

namespace pm {

// HKCU "Language" (an empty value counts as absent), else the language of HKCU
// "Locale", else English. Never fails.
std::wstring SelectLanguage();

const std::wstring& CurrentLanguage();
void SetCurrentLanguage(std::wstring language);

// installDirectory + language + ".lng"; "" (no file) for English or without a directory.
std::wstring LanguageFilePath(const std::wstring& installDirectory, const std::wstring& language);

class LangReader {
public:
    // `path` "" reads no file: every lookup gives its default.
    explicit LangReader(std::wstring path) : path_(std::move(path)) {}

    std::wstring ReadString(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText) const;
    std::wstring Read(const TextKey& text) const { return ReadString(text.section, text.key, text.defaultText); }
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
};

// A reader on the current language's file in the installation directory.
LangReader OpenLanguageFile();

// One text from the current language's file, read now.
std::wstring LangString(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText);
inline std::wstring LangString(const TextKey& text) {
    return LangString(text.section, text.key, text.defaultText);
}

// Whether the language of the reader's file is written right to left: its
// [Global] RightToLeft is "1". Anything else, or no such key, is left to right.
bool IsRightToLeft(const LangReader& reader);

// The Japanese edition names the product from its language file: the product
// caption (tray, titles, shortcut) and the about window's product name. Other
// languages keep the built-in names.
std::wstring ProductCaptionFor(const std::wstring& language, const LangReader& reader);
std::wstring AboutProductNameFor(const std::wstring& language, const LangReader& reader);

}  // namespace pm
