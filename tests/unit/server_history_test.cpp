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

TEST(ServerHistory, ThePickGoesFirstAndDuplicatesGoIgnoringCase) {
    EXPECT_EQ(Choose(L"SRV2", {L"SRV1", L"SRV2"}).history, (List{L"SRV2", L"SRV1"}));
    const HistoryChoice lower = Choose(L"srv1", {L"SRV2", L"SRV1"});
    EXPECT_EQ(lower.chosen, L"srv1");
    EXPECT_EQ(lower.history, (List{L"srv1", L"SRV2"}));
}

TEST(ServerHistory, TheLocalHostEntryGivesTheBareNameAndLeavesNoTrace) {
    const HistoryChoice local = Choose(kLocalEntry, {L"SRV1", L"pc-07", L"SRV2"});
    EXPECT_EQ(local.chosen, L"PC-07");
    EXPECT_EQ(local.history, (List{L"SRV1", L"SRV2"}));
}

TEST(ServerHistory, OnlyTheTextBeforeTheFirstBlankCounts) {
    const HistoryChoice choice = Choose(L"SRV3 extra words", {});
    EXPECT_EQ(choice.chosen, L"SRV3");
    EXPECT_EQ(choice.history, (List{L"SRV3"}));
}

TEST(ServerHistory, EmptyEntriesAndEntriesWithParenthesesDisappear) {
    EXPECT_EQ(Choose(L"SRV1", {L"", L"A (b)", L"SRV2", L""}).history, (List{L"SRV1", L"SRV2"}));
    EXPECT_EQ(Choose(L"PC-07", {}).history, List{});
}

}  // namespace
}  // namespace pm
