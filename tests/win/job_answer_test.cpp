#include "auth/job_answer_win.h"

#include <gtest/gtest.h>

#include "auth/form_auth_win.h"
#include "auth/paper_size_win.h"
#include "support/auth_fakes_win.h"
#include "support/code_page_win.h"
#include "support/job_request_win.h"
#include "support/pipe_peer_win.h"
#include "support/print_server_win.h"
#include "support/registry_sandbox_win.h"

#include <winspool.h>

namespace pm {
namespace {

RequestRecord WithServer(const std::wstring& server) {
    RequestRecord r;
    r.ServerComputer = server;
    return r;
}

TEST(JobAnswerTarget, HostileServerNamesOpenNothing) {
    // Regression: a request must not send the user's network logon to a share or web address.
    for (const wchar_t* name : {L"a\\b", L"a/b", L"host@80", L"?", L"\uFF0F", L"", L"a b", L"x:1", L"a*", L"<b>",
                                L"a|b", L"\"q\"", L"tab\there", L"twenty-one-characters"}) {
        EXPECT_EQ(JobAnswerPipeName(WithServer(name)), L"") << std::string(name, name + wcslen(name));
    }
}

TEST(JobAnswerTarget, PlainComputerNamesAreAnswered) {
    EXPECT_EQ(JobAnswerPipeName(WithServer(L"SRV-01")), L"\\\\SRV-01\\PIPE\\PrintDolvek");
    EXPECT_EQ(JobAnswerPipeName(WithServer(L"print.example.local")), L"\\\\print.example.local\\PIPE\\PrintDolvek");
    EXPECT_EQ(JobAnswerPipeName(WithServer(L".")), L"\\\\.\\PIPE\\PrintDolvek");
}

TEST(JobAnswerTarget, ConversionsHoldOnAUtf8CodePage) {
    // Regression: the best-fit and default-character arguments are invalid for UTF-8,
    // so on such a computer every server name was refused and no ANSI check was tried.
    struct Case {
        const wchar_t* text;
        UINT codePage;
        const wchar_t* through;  // "" when refused
        bool exact;
    };
    const Case cases[] = {
        {L"PS-\u4E2D\u6587", CP_UTF8, L"PS-\u4E2D\u6587", true},
        {L"PS\xD800", CP_UTF8, L"", false},  // an unpaired surrogate
        {L"Caf\u00E9", 1252, L"Caf\u00E9", true},
        {L"A\uFF0FB", 1252, L"A?B", false},  // the fullwidth solidus never becomes "/"
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ThroughCodePage(c.text, c.codePage), c.through) << c.codePage;
        EXPECT_EQ(ToCodePageExact(c.text, c.codePage).has_value(), c.exact) << c.codePage;
    }
    EXPECT_EQ(ToCodePageExact(L"\u00E9", CP_UTF8), std::optional<std::string>("\xC3\xA9"));
}

TEST(JobAnswer, FiveWritesOfTheRecordsPrinterAndJob) {
    RequestBytes bytes{};
    const char16_t printer[] = u"Laser";
    for (size_t i = 0; printer[i]; ++i)
        bytes[100 + 2 * i] = uint8_t(printer[i]);
    bytes[100 + 12] = 0xEE;
    bytes[100 + 521] = 0x5A;  // the field's last byte
    bytes[1608] = 0x2A;
    const std::wstring name = test::UniquePipeName(L"answer");
    std::vector<std::vector<uint8_t>> messages;
    DWORD lastError = 0;
    test::PipePeer server(name, [&](HANDLE p) {
        for (;;) {
            std::vector<uint8_t> message(1024);
            const DWORD got = test::PipePeer::ReadSome(p, message.data(), DWORD(message.size()));
            if (got == 0) {
                lastError = GetLastError();
                break;
            }
            message.resize(got);
            messages.push_back(message);
        }
    });
    SendJobAnswerTo(name, DecodeRequest(bytes), JobActionDelete);
    ASSERT_TRUE(server.Join(5000));
    ASSERT_EQ(messages.size(), 5u) << "read error " << lastError;
    EXPECT_EQ(messages[0], (std::vector<uint8_t>{0x80, 0x01, 0x00, 0x10}));
    ASSERT_EQ(messages[1].size(), 522u);
    EXPECT_TRUE(std::equal(messages[1].begin(), messages[1].end(), bytes.begin() + 100));
    EXPECT_EQ(messages[2], (std::vector<uint8_t>{0x2A, 0, 0, 0}));
    EXPECT_EQ(messages[3], (std::vector<uint8_t>{4, 0, 0, 0}));
    EXPECT_EQ(messages[4], (std::vector<uint8_t>{0, 0, 0, 0}));
}

TEST(PaperSize, FromTheSpoolersFormList) {
    EXPECT_EQ(PaperSizeText(0, 0, 0), L" ");
    EXPECT_EQ(PaperSizeText(0, 2100, 0), L" ");
    EXPECT_EQ(PaperSizeText(0, 2100, 2970), L"210 x 297 mm");
    HANDLE server = nullptr;
    if (!OpenPrinterW(nullptr, &server, nullptr)) GTEST_SKIP() << "no local print server";
    DWORD needed = 0, count = 0;
    EnumFormsW(server, 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed);
    const bool listed = EnumFormsW(server, 1, buffer.data(), needed, &needed, &count);
    ClosePrinter(server);
    if (!listed || count < 9) GTEST_SKIP() << "the spooler lists no forms";
    const auto* forms = reinterpret_cast<const FORM_INFO_1W*>(buffer.data());
    const FORM_INFO_1W& ninth = forms[8];
    const uint32_t width = uint32_t(ninth.Size.cx / 100), length = uint32_t(ninth.Size.cy / 100);
    EXPECT_EQ(PaperSizeText(9, width, length), ninth.pName);
    EXPECT_EQ(PaperSizeText(9, 0, 0), ninth.pName);  // an unknown size agrees with any form
    EXPECT_EQ(PaperSizeText(9, width + 10, length),
              std::to_wstring((width + 10) / 10) + L" x " + std::to_wstring(length / 10) + L" mm");
    EXPECT_EQ(PaperSizeText(count + 1, 0, 0), L" ");
}

// The dialog answering the stand-in print server on the real pipe.
class AnswerAtTheServer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.Start(L"serve", L""));
        ASSERT_FALSE(server_.WaitForEvent({"\"started\""}).empty());
    }
    RequestBytes Job(uint8_t mode) { return EncodeRequest(test::JobRequest(mode, clock_.DayCount(), 31)); }
    void Press(uint8_t mode, int button) {
        AuthDialogArgs args;
        args.clock = &clock_;
        args.check = &check_;
        const HWND dialog = TFormAuth::Create(Job(mode), args)->Handle();
        SendMessageW(GetDlgItem(dialog, button), BM_CLICK, 0, 0);
        EXPECT_TRUE(test::PumpUntil([&] { return !IsWindow(dialog); }));
    }

    test::RegistrySandbox sandbox_;
    test::FakeClock clock_;
    test::FakeCheck check_;
    test::PrintServer server_;
};

TEST_F(AnswerAtTheServer, PrintAndDeleteArriveAs538Bytes) {
    Press(AuthNone, IDOK);
    EXPECT_FALSE(
        server_.WaitForEvent({"\"job-answer\"", "\"job\":31,\"action\":8,\"trailer\":0,\"bytes\":538"}).empty());
    Press(AuthCurrentUser, IDCANCEL);
    EXPECT_FALSE(server_.WaitForEvent({"\"job-answer\"", "\"action\":4,\"trailer\":0,\"bytes\":538"}).empty());
    EXPECT_EQ(server_.CountEvents("\"job-answer\""), 2u);
}

}  // namespace
}  // namespace pm
