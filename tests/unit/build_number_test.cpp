#include "about/build_number.h"

#include <gtest/gtest.h>

namespace pm {
namespace {

TEST(BuildNumber, ThreePointsRemovedFromTheFront) {
    EXPECT_EQ(BuildNumberFromFileVersion(L"2.1.0.57"), L"57");
    EXPECT_EQ(BuildNumberFromFileVersion(L"2.1"), L"1");
    EXPECT_EQ(BuildNumberFromFileVersion(L"2.1.0"), L"0");
    EXPECT_EQ(BuildNumberFromFileVersion(L"57"), L"57");
    EXPECT_EQ(BuildNumberFromFileVersion(L"1.2.3.4.5"), L"4.5");
}

TEST(BuildNumber, VersionText) {
    EXPECT_EQ(VersionText(L"2.1", L"2.1.0.57"), L"2.1 (build 57)");
    EXPECT_EQ(VersionText(L"2.1", L""), L"2.1");
}

}  // namespace
}  // namespace pm
