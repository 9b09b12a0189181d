#include "messages/message_text.h"

#include <gtest/gtest.h>

namespace pm {
namespace {

TEST(MessageText, TrimDropsEverythingBelow33AtBothEnds) {
    EXPECT_EQ(TrimBelow33(L" \t\r\n\x01 x y \x1F"), L"x y");
    EXPECT_EQ(TrimBelow33(L"\x7F"), L"\x7F");
    EXPECT_EQ(TrimBelow33(L"!"), L"!");
    EXPECT_EQ(TrimBelow33(L"   "), L"");
}

}  // namespace
}  // namespace pm
