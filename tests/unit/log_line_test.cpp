#include "support/log_line.h"

#include <gtest/gtest.h>

namespace pm {
namespace {

constexpr LocalTime kSixthOfDecember{2026, 12, 6, 9, 5, 3, 45};
constexpr LocalTime kYear999{999, 1, 1, 0, 0, 0, 0};

// Whole lines, byte for byte: the date and time with their zeros and the no-break
// space between them, the code and error with their signs, two blanks where the text is
// empty, and control characters that never split an entry (a server name or message
// from a peer could otherwise forge log lines).
TEST(LogLine, ExactBytes) {
    const struct {
        LocalTime time;
        int32_t code;
        const char* text;
        int32_t error;
        const char* message;
        std::string line;
    } cases[] = {
        {kSixthOfDecember, 0, "InformUser: \\\\PC\\PIPE\\PrintMirovant-bob", 53, "The network path was not found",
         "[06.12.2026\xA0"
         "09:05:03.045] 0 InformUser: \\\\PC\\PIPE\\PrintMirovant-bob Err:53; "
         "The network path was not found\r\n"},
        {kSixthOfDecember, 82, "", 122, "x",
         "[06.12.2026\xA0"
         "09:05:03.045] 82  Err:122; x\r\n"},
        {kSixthOfDecember, -7, "t", -2147024891, "",
         "[06.12.2026\xA0"
         "09:05:03.045] -7 t Err:-2147024891; \r\n"},
        {kYear999, 1, "a b", 0, "c d",
         "[01.01.0999\xA0"
         "00:00:00.000] 1 a b Err:0; c d\r\n"},
        {kSixthOfDecember, 180, "refused: EVIL\r\n[01.01.2026\t\x7F", 5, "First.\r\nSecond",
         "[06.12.2026\xA0"
         "09:05:03.045] 180 refused: EVIL??[01.01.2026?? Err:5; First.  Second\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ComposeLogLine(c.time, c.code, c.text, c.error, c.message), c.line);
}

TEST(LogLine, SystemMessageLosesTrailingStopsBlanksAndControls) {
    EXPECT_EQ(TrimSystemMessage(L"The operation completed successfully.\r\n"), L"The operation completed successfully");
    EXPECT_EQ(TrimSystemMessage(L"Access is denied. . .\t "), L"Access is denied");
    EXPECT_EQ(TrimSystemMessage(L"..."), L"");
    EXPECT_EQ(TrimSystemMessage(L"v1.2 ok"), L"v1.2 ok");
}

}  // namespace
}  // namespace pm
