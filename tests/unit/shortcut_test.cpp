#include "support/shortcut.h"

#include <gtest/gtest.h>

namespace pm {
namespace {

TEST(Shortcut, TextWithoutItsShortcut) {
    const struct {
        const wchar_t *text, *shown;
    } cases[] = {
        {L"&Username", L"Username"},
        {L"Sch&ließen", L"Schließen"},
        {L"Fish && Chips", L"Fish & Chips"},
        {L"ends in &", L"ends in "},
        // The parenthesised form goes whole, with the blank before it, wherever it stands.
        {L"\u30E6\u30FC\u30B6\u30FC\u540D(&U)", L"\u30E6\u30FC\u30B6\u30FC\u540D"},
        {L"PIN \u30B3\u30FC\u30C9 (&N)", L"PIN \u30B3\u30FC\u30C9"},
        {L"\u9001\u4FE1(&S)...", L"\u9001\u4FE1..."},
        // Not a shortcut in parentheses: only the markers go.
        {L"(&&)", L"(&)"},
        {L"(&Ab)", L"(Ab)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WithoutShortcut(c.text), c.shown) << testing::PrintToString(std::wstring(c.text));
    // A control that draws mnemonics keeps the parentheses: only the marker goes.
    EXPECT_EQ(WithoutMnemonic(L"\u9001\u4FE1(&S)"), L"\u9001\u4FE1(S)");
}

}  // namespace
}  // namespace pm
