// A held job and a text message going from the stand-in print server to the real
// client and back.

#include <gtest/gtest.h>

#include "auth/form_auth_win.h"
#include "messages/form_messages_win.h"
#include "pipes/pipe_names.h"
#include "shell/form_mirovant_win.h"
#include "support/names_win.h"
#include "support/print_server_win.h"
#include "support/process_win.h"
#include "support/product.h"
#include "support/registry_win.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

std::wstring WindowTextOf(HWND window) {
    wchar_t text[1024] = {};
    SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return text;
}

class ClientWithServer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.Start(L"serve", L""));
        ASSERT_FALSE(server_.WaitForEvent({"\"started\""}).empty());
        ASSERT_TRUE(client_.Start(test::BuildFolder() + L"PrintMirovant.exe"));
        ASSERT_TRUE(test::WaitFor([&] { return FindWindow(TFormMirovant::kClassName) != nullptr; }, test::kStartLimit));
    }
    void TearDown() override {
        if (HWND main = FindWindow(TFormMirovant::kClassName)) PostMessageW(main, WM_CLOSE, 0, 0);
        client_.WaitExit(5000);
    }
    HWND FindWindow(const wchar_t* className) const { return test::FindProcessWindow(client_.Id(), className); }
    DWORD Push(const std::wstring& command, const std::wstring& arguments) {
        test::PrintServer once;
        return once.Run(command, L"--user " + LocalUserName() + L" " + arguments);
    }

    test::PrintServer server_;
    test::ChildProcess client_;
};

TEST_F(ClientWithServer, AHeldJobIsShownAndItsAnswerReachesTheServer) {
    ASSERT_EQ(Push(L"push-job", L"--mode 1 --job 12 --printer Laser"), 0u);
    HWND dialog = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (dialog = FindWindow(TFormAuth::kClassName)) != nullptr; }, 20s));
    EXPECT_TRUE(test::WaitFor([&] { return IsWindowVisible(dialog) != FALSE; }, 5s));
    EXPECT_EQ(WindowTextOf(GetDlgItem(dialog, TFormAuth::kIdRowValue + 2)), L"Laser");
    SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    EXPECT_FALSE(server_.WaitForEvent({"\"job-answer\"", "\"job\":12,\"action\":8", "\"bytes\":538"}).empty());
    ASSERT_TRUE(test::WaitFor([&] { return !IsWindow(dialog); }, 5s)) << "the dialog closes after answering";

    ASSERT_EQ(Push(L"push-job", L"--mode 4 --pin 4711 --job 13"), 0u);
    ASSERT_TRUE(test::WaitFor([&] { return (dialog = FindWindow(TFormAuth::kClassName)) != nullptr; }, 20s));
    ASSERT_TRUE(test::WaitFor([&] { return IsWindowVisible(dialog) != FALSE; }, 5s));  // created whole
    SendMessageW(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
    EXPECT_FALSE(server_.WaitForEvent({"\"job-answer\"", "\"job\":13,\"action\":4"}).empty()) << [&] {
        std::string all;
        for (const std::string& line : server_.Events())
            all += line + "\n";
        return all;
    }();
}

TEST_F(ClientWithServer, APinJobAnsweredWithTheRightPinPrints) {
    ASSERT_EQ(Push(L"push-job", L"--mode 4 --pin Ab12 --job 14"), 0u);
    HWND dialog = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (dialog = FindWindow(TFormAuth::kClassName)) != nullptr; }, 20s));
    ASSERT_TRUE(test::WaitFor([&] { return IsWindowVisible(dialog) != FALSE; }, 5s));
    SendMessageW(GetDlgItem(dialog, TFormAuth::kIdPassword), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"aB12"));
    SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    EXPECT_FALSE(server_.WaitForEvent({"\"job-answer\"", "\"job\":14,\"action\":8"}).empty());
}

TEST_F(ClientWithServer, ATextMessageShowsInTheMessageWindow) {
    ASSERT_EQ(Push(L"push-text", L"--text \"Toner is low\""), 0u);
    HWND window = FindWindow(TFormMessages::kClassName);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(test::WaitFor([&] { return IsWindowVisible(window) != FALSE; }, 5s));
    EXPECT_EQ(WindowTextOf(GetDlgItem(window, TFormMessages::kIdMessage)), L"Toner is low");
}

TEST_F(ClientWithServer, TheEndOfTheSessionLeavesAnOpenJobHeldAndEndsTheClient) {
    // As the Restart Manager closes a program for an upgrade: asked, then told.
    ASSERT_EQ(Push(L"push-job", L"--mode 1 --job 15"), 0u);
    ASSERT_TRUE(test::WaitFor([&] { return FindWindow(TFormAuth::kClassName) != nullptr; }, 20s));
    const HWND main = FindWindow(TFormMirovant::kClassName);
    DWORD_PTR agreed = 0;
    ASSERT_TRUE(SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, SMTO_BLOCK, 5000, &agreed));
    EXPECT_EQ(agreed, TRUE);
    SendMessageTimeoutW(main, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP, SMTO_BLOCK, 10000, nullptr);
    ASSERT_TRUE(client_.WaitExit(10000));
    EXPECT_EQ(client_.ExitCode(), 0u);
    EXPECT_EQ(server_.CountEvents("\"job-answer\""), 0u) << "the job stays held";
    EXPECT_FALSE(WaitNamedPipeW(ListenerPipeName(LocalUserName()).c_str(), 100)) << "the pipe went with it";
}

TEST(ClientStartUp, AMessageThatArrivesDuringTheFirstAnnouncementIsShown) {
    // Regression: the listener started before the message window existed, and the
    // first announcement waits for the print server with messages flowing: a message
    // in that wait was acknowledged and lost.
    const UniqueKey key = reg::OpenKey(HKEY_CURRENT_USER, kInterfaceKey, reg::Access::ReadWrite);
    reg::WriteString(key.Get(), L"AccInfoServer", L".");
    test::PrintServer slow;
    ASSERT_TRUE(slow.Start(L"serve", L"--misbehave slow-reply --delay 4000"));
    ASSERT_FALSE(slow.WaitForEvent({"\"started\""}).empty());
    test::ChildProcess client;
    ASSERT_TRUE(client.Start(test::BuildFolder() + L"PrintMirovant.exe"));
    bool acknowledged = false;
    for (int attempt = 0; attempt < 20 && !acknowledged; ++attempt) {
        test::PrintServer once;
        acknowledged = once.Run(L"push-text", L"--user " + LocalUserName() + L" --text early") == 0;
    }
    EXPECT_TRUE(acknowledged);
    HWND window = nullptr;
    ASSERT_TRUE(test::WaitFor(
        [&] { return (window = test::FindProcessWindow(client.Id(), TFormMessages::kClassName)) != nullptr; }, 20s));
    EXPECT_TRUE(
        test::WaitFor([&] { return WindowTextOf(GetDlgItem(window, TFormMessages::kIdMessage)) == L"early"; }, 5s));
    if (HWND main = test::FindProcessWindow(client.Id(), TFormMirovant::kClassName)) PostMessageW(main, WM_CLOSE, 0, 0);
    client.WaitExit(5000);
    RegDeleteValueW(key.Get(), L"AccInfoServer");
}

}  // namespace
}  // namespace pm
