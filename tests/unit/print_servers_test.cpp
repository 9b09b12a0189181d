#include "auth/print_servers.h"

#include <gtest/gtest.h>

namespace pm {
namespace {

TEST(PrintServers, OnlyListedServersWhenThereIsAList) {
    struct Case {
        const wchar_t* list;
        const wchar_t* server;
        bool allowed;
    };
    const Case cases[] = {
        {L"", L"ANYWHERE", true},                                    // no list: no restriction
        {L" ; ;", L"ANYWHERE", true},   {L"PS1;PS2", L"ps2", true},  // without regard to case
        {L" PS1 ; PS2 ", L"PS1", true}, {L"PS1;PS2", L"PS3", false}, {L"PS1", L"PS1 ", true}, {L"PS1", L"", false},
        {L"PS1", L"PS", false},         {L".", L"ws-07", true},  // "." is this computer, either way round
        {L"WS-07", L".", true},         {L".", L"PS1", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PrintServerAllowed(c.list, c.server, L"WS-07"), c.allowed)
            << std::wstring(c.list).size() << " list, server " << std::wstring(c.server).size();
}

TEST(PrintServers, ParsingDropsEmptyNamesAndResolvesTheDot) {
    EXPECT_EQ(ParsePrintServers(L" ps1;;.; ", L"WS-07"), (std::vector<std::wstring>{L"PS1", L"WS-07"}));
    EXPECT_TRUE(PrintServerAllowed(L".", L".", L"")) << "this computer's name unknown: \".\" still matches itself";
}

}  // namespace
}  // namespace pm
