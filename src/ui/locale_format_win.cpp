#include "ui/locale_format_win.h"

#include <windows.h>

namespace pm::ui {
namespace {

std::wstring LocaleText(LCTYPE type, const wchar_t* fallback) {
    wchar_t text[32] = {};
    return GetLocaleInfoW(LOCALE_USER_DEFAULT, type, text, 32) > 0 ? std::wstring(text) : std::wstring(fallback);
}

UINT LocaleNumber(LCTYPE type, UINT fallback) {
    DWORD value = 0;
    return GetLocaleInfoW(LOCALE_USER_DEFAULT, type | LOCALE_RETURN_NUMBER, reinterpret_cast<wchar_t*>(&value),
                          sizeof value / sizeof(wchar_t)) > 0
               ? UINT(value)
               : fallback;
}

// The locale's grouping ("3;0", "3;2;0", "3") in the form CURRENCYFMT wants (3, 32, 30).
UINT Grouping(const std::wstring& text) {
    UINT grouping = 0;
    bool endsWithZero = false;
    for (wchar_t c : text) {
        if (c >= L'1' && c <= L'9') {
            grouping = grouping * 10 + UINT(c - L'0');
            endsWithZero = false;
        } else if (c == L'0') {
            endsWithZero = true;
        }
    }
    // The locale repeats the last group only when its list ends in 0; CURRENCYFMT repeats
    // unless its number ends in 0. So a list without the final 0 gets one here.
    return endsWithZero || grouping == 0 ? grouping : grouping * 10;
}

}  // namespace

std::wstring FormatCurrency(int64_t thousandths) {
    const int64_t magnitude = thousandths < 0 ? -thousandths : thousandths;
    std::wstring number = (thousandths < 0 ? L"-" : L"") + std::to_wstring(magnitude / 1000) + L".";
    const std::wstring fraction = std::to_wstring(magnitude % 1000);
    number += std::wstring(3 - fraction.size(), L'0') + fraction;

    const std::wstring decimal = LocaleText(LOCALE_SMONDECIMALSEP, L".");
    const std::wstring thousand = LocaleText(LOCALE_SMONTHOUSANDSEP, L",");
    const std::wstring symbol = LocaleText(LOCALE_SCURRENCY, L"$");
    CURRENCYFMTW format = {};
    format.NumDigits = LocaleNumber(LOCALE_ICURRDIGITS, 2);
    format.LeadingZero = LocaleNumber(LOCALE_ILZERO, 1);
    format.Grouping = Grouping(LocaleText(LOCALE_SMONGROUPING, L"3;0"));
    format.lpDecimalSep = const_cast<wchar_t*>(decimal.c_str());
    format.lpThousandSep = const_cast<wchar_t*>(thousand.c_str());
    format.NegativeOrder = LocaleNumber(LOCALE_INEGCURR, 0);
    format.PositiveOrder = LocaleNumber(LOCALE_ICURRENCY, 0);
    format.lpCurrencySymbol = const_cast<wchar_t*>(symbol.c_str());

    wchar_t text[128] = {};
    if (GetCurrencyFormatW(LOCALE_USER_DEFAULT, 0, number.c_str(), &format, text, 128) > 0) return text;
    return number;
}

std::wstring FormatDateTime(const LocalTime& time) {
    SYSTEMTIME st = {};
    st.wYear = WORD(time.year);
    st.wMonth = WORD(time.month);
    st.wDay = WORD(time.day);
    st.wHour = WORD(time.hour);
    st.wMinute = WORD(time.minute);
    st.wSecond = WORD(time.second);
    st.wMilliseconds = WORD(time.millisecond);
    wchar_t date[128] = {}, clock[128] = {};
    // A date the system cannot format shows nothing, not a time without its date.
    if (GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 128) <= 0) return {};
    // Midnight is a time of day: the milliseconds do not make it another.
    if (time.hour == 0 && time.minute == 0 && time.second == 0) return date;
    if (GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, clock, 128) <= 0) return date;
    return std::wstring(date) + L" " + clock;
}

}  // namespace pm::ui
