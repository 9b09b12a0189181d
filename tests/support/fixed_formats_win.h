#pragma once
// The user's formats for money and dates, fixed for a test whatever the machine's
// locale, and given back afterwards.

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace pm::test {

class FixedFormats {
public:
    FixedFormats() {
        for (const auto& [type, text] : kFixed) {
            wchar_t saved[80] = {};
            GetLocaleInfoW(LOCALE_USER_DEFAULT, type, saved, 80);
            saved_.emplace_back(type, saved);
            SetLocaleInfoW(LOCALE_USER_DEFAULT, type, text);
        }
    }
    ~FixedFormats() {
        for (const auto& [type, text] : saved_)
            SetLocaleInfoW(LOCALE_USER_DEFAULT, type, text.c_str());
    }

private:
    static constexpr std::pair<LCTYPE, const wchar_t*> kFixed[] = {
        {LOCALE_SCURRENCY, L"$"},         {LOCALE_SMONDECIMALSEP, L"."}, {LOCALE_SMONTHOUSANDSEP, L","},
        {LOCALE_ICURRDIGITS, L"2"},       {LOCALE_ILZERO, L"1"},         {LOCALE_SMONGROUPING, L"3;0"},
        {LOCALE_INEGCURR, L"1"},          {LOCALE_ICURRENCY, L"0"},      {LOCALE_SSHORTDATE, L"dd.MM.yyyy"},
        {LOCALE_STIMEFORMAT, L"HH:mm:ss"}};
    std::vector<std::pair<LCTYPE, std::wstring>> saved_;
};

}  // namespace pm::test
