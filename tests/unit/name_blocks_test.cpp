#include "pipes/name_blocks.h"

#include <gtest/gtest.h>

#include "pipes/pipe_names.h"

namespace pm {
namespace {

TEST(NameBlocks, ComputerBlockIs42BytesWithAtMost20Characters) {
    const ComputerBlock b = EncodeComputerBlock(L"WS-12");
    const uint8_t expected[12] = {'W', 0, 'S', 0, '-', 0, '1', 0, '2', 0, 0, 0};
    EXPECT_TRUE(std::equal(expected, expected + 12, b.begin()));
    for (size_t i = 12; i < b.size(); ++i)
        EXPECT_EQ(b[i], 0);
    const ComputerBlock longName = EncodeComputerBlock(std::wstring(25, L'A'));
    EXPECT_EQ(DecodeComputerBlock(longName), std::wstring(20, L'A'));
    EXPECT_EQ(longName[40], 0);
}

TEST(NameBlocks, UserBlockIs522BytesWithAtMost260Characters) {
    EXPECT_EQ(DecodeUserBlock(EncodeUserBlock(L"jsmith")), L"jsmith");
    const UserBlock b = EncodeUserBlock(std::wstring(300, L'u'));
    EXPECT_EQ(DecodeUserBlock(b), std::wstring(260, L'u'));
    EXPECT_EQ(b[520], 0);
    EXPECT_EQ(b[521], 0);
}

TEST(PipeNames, TheThreePipes) {
    EXPECT_EQ(ListenerPipeName(L"jsmith"), L"\\\\.\\PIPE\\PrintMirovant-jsmith");
    EXPECT_EQ(ClientPipeName(L"WS-12", L"jsmith"), L"\\\\WS-12\\PIPE\\PrintMirovant-jsmith");
    EXPECT_EQ(ServerPipeName(L"S"), L"\\\\S\\PIPE\\PrintDolvek");
}

}  // namespace
}  // namespace pm
