#include "account/server_history.h"

#include <gtest/gtest.h>

namespace pm {
namespace {

using List = std::vector<std::wstring>;
const std::wstring kLocalEntry = L"PC-07 (local host)";

HistoryChoice Choose(std::wstring_view field, List history) {
    history.insert(history.begin(), kLocalEntry);
    return ChooseServer(field, history, L"PC-07", &SameIgnoringAsciiCase);
}

// The pick goes first and its duplicates go, ignoring case; the local host entry gives
// the bare name and leaves no trace; only the text before the first blank counts;
// empty entries and entries with parentheses disappear.
TEST(ServerHistory, ChoicesAndTheHistoryTheyLeave) {
    const struct {
        const wchar_t* field;
        List history;
        const wchar_t* chosen;
        List after;
    } cases[] = {
        {L"SRV2", {L"SRV1", L"SRV2"}, L"SRV2", {L"SRV2", L"SRV1"}},
        {L"srv1", {L"SRV2", L"SRV1"}, L"srv1", {L"srv1", L"SRV2"}},
        {kLocalEntry.c_str(), {L"SRV1", L"pc-07", L"SRV2"}, L"PC-07", {L"SRV1", L"SRV2"}},
        {L"SRV3 extra words", {}, L"SRV3", {L"SRV3"}},
        {L"SRV1", {L"", L"A (b)", L"SRV2", L""}, L"SRV1", {L"SRV1", L"SRV2"}},
        {L"PC-07", {}, L"PC-07", {}},
    };
    for (const auto& c : cases) {
        const HistoryChoice choice = Choose(c.field, c.history);
        EXPECT_EQ(choice.chosen, c.chosen) << c.field;
        EXPECT_EQ(choice.history, c.after) << c.field;
    }
}

}  // namespace
}  // namespace pm
