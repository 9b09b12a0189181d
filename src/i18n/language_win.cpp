#include "i18n/language_win.h"

#include <windows.h>

#include "i18n/language_choice.h"
#include "support/install_dir_win.h"
#include "support/product.h"
#include "support/registry_win.h"

namespace pm {
namespace {

std::wstring& CurrentLanguageValue() {
    static std::wstring value;
    return value;
}

// Passed as the private-profile default so a missing key can be told from a present
// one; the system would also strip trailing blanks from a real default and cut it.
constexpr wchar_t kMissing[] = L"\x01\x02PrintMirovant.missing\x03";

std::optional<std::wstring> NonEmpty(const reg::ReadResult<std::wstring>& read) {
    if (read.Ok() && !read.value.empty()) return read.value;
    return std::nullopt;
}

}  // namespace

std::wstring SelectLanguage() {
    try {
        std::optional<std::wstring> language, locale;
        if (const UniqueKey key = reg::OpenKey(HKEY_CURRENT_USER, kInterfaceKey, reg::Access::ReadWrite)) {
            language = NonEmpty(reg::ReadString(key.Get(), L"Language"));
            if (!language) {
                if (const UniqueKey intl =
                        reg::OpenKey(HKEY_CURRENT_USER, L"\\Control Panel\\International", reg::Access::Read)) {
                    locale = NonEmpty(reg::ReadString(intl.Get(), L"Locale"));
                }
            }
        }
        return ChooseLanguage(language, locale);
    } catch (...) {
        return kEnglish;
    }
}

const std::wstring& CurrentLanguage() {
    return CurrentLanguageValue();
}

void SetCurrentLanguage(std::wstring language) {
    CurrentLanguageValue() = std::move(language);
}

std::wstring LanguageFilePath(const std::wstring& installDirectory, const std::wstring& language) {
    if (installDirectory.empty() || language.empty() || IsEnglish(language)) return {};
    return installDirectory + language + L".lng";
}

std::wstring LangReader::ReadString(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText) const {
    if (path_.empty()) return defaultText;
    // 2048 units: at most 2047 characters of a value are delivered.
    wchar_t buffer[2048];
    GetPrivateProfileStringW(section, key, kMissing, buffer, DWORD(std::size(buffer)), path_.c_str());
    if (wcscmp(buffer, kMissing) == 0) return defaultText;
    return buffer;
}

LangReader OpenLanguageFile() {
    return LangReader(LanguageFilePath(InstallDirectory(), CurrentLanguage()));
}

std::wstring LangString(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText) {
    return OpenLanguageFile().ReadString(section, key, defaultText);
}

bool IsRightToLeft(const LangReader& reader) {
    return reader.Read(text::kRightToLeft) == L"1";
}

std::wstring ProductCaptionFor(const std::wstring& language, const LangReader& reader) {
    return IsJapanese(language) ? reader.Read(text::kCaptionProfessional) : std::wstring(kProductCaption);
}

std::wstring AboutProductNameFor(const std::wstring& language, const LangReader& reader) {
    return IsJapanese(language) ? reader.Read(text::kCaptionProfessionalAbout)
                                : std::wstring(text::kCaptionProfessionalAbout.defaultText);
}

}  // namespace pm
