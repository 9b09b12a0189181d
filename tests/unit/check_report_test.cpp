#include "check/check_report.h"

#include <gtest/gtest.h>

namespace pm {
namespace {

TEST(CheckReport, OnlyAFailChangesTheExitCode) {
    const CheckLine ok{CheckLevel::Ok, L"a", L"x"}, warn{CheckLevel::Warn, L"b", L"y"},
        fail{CheckLevel::Fail, L"c", L"z"};
    EXPECT_EQ(CheckExitCode(std::vector{ok, warn}), 0);
    EXPECT_EQ(CheckExitCode(std::vector{ok, warn, fail}), 1);
    EXPECT_EQ(CheckExitCode(std::vector<CheckLine>{}), 1) << "nothing checked is no success";
}

TEST(CheckReport, TextAndJsonCarryTheSameReportSafely) {
    // A registry value may hold a line break, quotes and backslashes.
    const std::vector<HeaderField> header = {{L"user", L"CORP\\anna"}};
    const std::vector<CheckLine> lines = {{CheckLevel::Warn, L"PrintServers", L"\"PS1\r\nFAIL x\""}};
    EXPECT_EQ(FormatReport(header, lines), L"user: CORP\\anna\r\n\r\nWARN PrintServers: \"PS1??FAIL x\"\r\n");
    EXPECT_EQ(FormatJsonReport(header, lines),
              L"{\"header\":{\"user\":\"CORP\\\\anna\"},\"checks\":[{\"check\":\"PrintServers\",\"result\":\"WARN\","
              L"\"detail\":\"\\\"PS1\\u000d\\u000aFAIL x\\\"\"}],\"exitCode\":0}\r\n");
}

}  // namespace
}  // namespace pm
