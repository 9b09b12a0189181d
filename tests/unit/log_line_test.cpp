#include "support/log_line.h"

#include <gtest/gtest.h>

namespace pm {
namespace {

constexpr LocalTime kSixthOfDecember{2026, 12, 6, 9, 5, 3, 45};

TEST(LogLine, ExactBytes) {
    EXPECT_EQ(ComposeLogLine(kSixthOfDecember, 0, "InformUser: \\\\PC\\PIPE\\PrintMirovant-bob", 53,
                             "The network path was not found"),
              std::string("[06.12.2026\xA0"
                          "09:05:03.045] 0 InformUser: \\\\PC\\PIPE\\PrintMirovant-bob Err:53; "
                          "The network path was not found\r\n"));
}

TEST(LogLine, EmptyTextLeavesTwoBlanksBeforeErr) {
    const std::string line = ComposeLogLine(kSixthOfDecember, 82, "", 122, "x");
    EXPECT_NE(line.find("] 82  Err:122; x\r\n"), std::string::npos) << line;
}

TEST(LogLine, NegativeCodeAndErrorKeepTheirSign) {
    const std::string line = ComposeLogLine(kSixthOfDecember, -7, "t", -2147024891, "");
    EXPECT_NE(line.find("] -7 t Err:-2147024891; \r\n"), std::string::npos) << line;
}

TEST(LogLine, OnlyTheDateAndTimeBlanksBecomeZeros) {
    const std::string line = ComposeLogLine({999, 1, 1, 0, 0, 0, 0}, 1, "a b", 0, "c d");
    EXPECT_EQ(line, std::string("[01.01.0999\xA0"
                                "00:00:00.000] 1 a b Err:0; c d\r\n"));
}

TEST(LogLine, ControlCharactersNeverSplitAnEntry) {
    // Regression: a server name or message from a peer could forge log lines.
    const std::string line =
        ComposeLogLine(kSixthOfDecember, 180, "refused: EVIL\r\n[01.01.2026\t\x7F", 5, "First.\r\nSecond");
    EXPECT_EQ(line.substr(line.find("] ")), "] 180 refused: EVIL??[01.01.2026?? Err:5; First.  Second\r\n");
}

TEST(LogLine, SystemMessageLosesTrailingStopsBlanksAndControls) {
    EXPECT_EQ(TrimSystemMessage(L"The operation completed successfully.\r\n"), L"The operation completed successfully");
    EXPECT_EQ(TrimSystemMessage(L"Access is denied. . .\t "), L"Access is denied");
    EXPECT_EQ(TrimSystemMessage(L"..."), L"");
    EXPECT_EQ(TrimSystemMessage(L"v1.2 ok"), L"v1.2 ok");
}

}  // namespace
}  // namespace pm
