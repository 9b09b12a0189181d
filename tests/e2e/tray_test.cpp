// The tray controller of the real client: the announcement, the commands of its
// menu driven from outside, and the end of the program.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "messages/form_messages_win.h"
#include "pipes/message_codes.h"
#include "pipes/name_blocks.h"
#include "pipes/pipe_names.h"
#include "pipes/request_record.h"
#include "shell/form_mirovant_win.h"
#include "support/names_win.h"
#include "support/peer_exchange_win.h"
#include "support/print_server_win.h"
#include "support/process_win.h"
#include "support/product.h"
#include "support/registry_win.h"

namespace pm {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class RunningClient : public ::testing::Test {
protected:
    void SetUp() override {
        // This prefix's own user settings: the client asks the print server on this computer.
        const UniqueKey key = reg::OpenKey(HKEY_CURRENT_USER, kInterfaceKey, reg::Access::ReadWrite);
        reg::WriteString(key.Get(), L"AccInfoServer", L".");
        ASSERT_TRUE(server_.Start(L"serve", L""));
        ASSERT_FALSE(server_.WaitForEvent({"\"started\""}).empty());
    }
    void TearDown() override {
        if (HWND main = Main()) PostMessageW(main, WM_CLOSE, 0, 0);
        client_.WaitExit(5000);
        const UniqueKey key = reg::OpenKey(HKEY_CURRENT_USER, kInterfaceKey, reg::Access::ReadWrite);
        RegDeleteValueW(key.Get(), L"AccInfoServer");
    }
    // True when the main form exists; started_ is then the moment it was seen.
    bool StartClient() {
        if (!client_.Start(test::BuildFolder() + L"PrintMirovant.exe")) return false;
        const bool up = test::WaitFor([&] { return Main() != nullptr; }, test::kStartLimit);
        started_ = Clock::now();
        return up;
    }
    HWND Main() const { return test::FindProcessWindow(client_.Id(), TFormMirovant::kClassName); }

    test::PrintServer server_;
    test::ChildProcess client_;
    Clock::time_point started_;
};

TEST_F(RunningClient, AnnouncesItsComputerAtOnceAndOnTheTimer) {
    ASSERT_TRUE(StartClient());
    const std::string first = server_.WaitForEvent({"\"announce\""}, 5s);
    ASSERT_FALSE(first.empty());
    // The main form announces while it is created, not a minute later (the bound is
    // generous: two busy cores under ctest -j2).
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - started_).count(), 30.0);
    // The block exactly: the name in UTF-16LE, at most 20 characters, a zero, zeros to 42 bytes.
    const ComputerBlock block = EncodeComputerBlock(LocalComputerName());
    std::string hex;
    for (uint8_t b : block) {
        char two[3];
        snprintf(two, sizeof two, "%02x", b);
        hex += two;
    }
    EXPECT_NE(first.find("\"bytes\":42,\"hex\":\"" + hex + "\""), std::string::npos) << first;

    PostMessageW(Main(), WM_TIMER, TFormMirovant::kTimerId, 0);
    EXPECT_TRUE(test::WaitFor([&] { return server_.CountEvents("\"announce\"") >= 2; }, 5s));
}

TEST_F(RunningClient, ViewMessagesShowsTheLastMessageAgainOnlyAfterOneCame) {
    ASSERT_TRUE(StartClient());
    HWND window = nullptr;
    ASSERT_TRUE(test::WaitFor(
        [&] { return (window = test::FindProcessWindow(client_.Id(), TFormMessages::kClassName)) != nullptr; }, 5s));
    PostMessageW(Main(), WM_COMMAND, TFormMirovant::kIdViewMsg, 0);
    Sleep(500);
    EXPECT_FALSE(IsWindowVisible(window)) << "disabled before the first message";

    test::PrintServer once;
    ASSERT_EQ(once.Run(L"push-text", L"--user " + LocalUserName() + L" --text again"), 0u);
    ASSERT_TRUE(test::WaitFor([&] { return IsWindowVisible(window) != FALSE; }, 5s));
    PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(test::WaitFor([&] { return !IsWindowVisible(window); }, 5s));
    PostMessageW(Main(), WM_COMMAND, TFormMirovant::kIdViewMsg, 0);
    EXPECT_TRUE(test::WaitFor([&] { return IsWindowVisible(window) != FALSE; }, 5s));
}

TEST_F(RunningClient, ExitEndsTheProgramAndANewStartSucceeds) {
    ASSERT_TRUE(StartClient());
    PostMessageW(Main(), WM_COMMAND, TFormMirovant::kIdExit, 0);
    ASSERT_TRUE(client_.WaitExit(10000));
    EXPECT_EQ(client_.ExitCode(), 0u);
    test::ChildProcess again;
    ASSERT_TRUE(again.Start(test::BuildFolder() + L"PrintMirovant.exe"));
    HWND main = nullptr;
    EXPECT_TRUE(test::WaitFor(
        [&] { return (main = test::FindProcessWindow(again.Id(), TFormMirovant::kClassName)) != nullptr; },
        test::kStartLimit))
        << "the instance mutex went with the first process";
    if (main) PostMessageW(main, WM_COMMAND, TFormMirovant::kIdExit, 0);
    EXPECT_TRUE(again.WaitExit(10000));
}

TEST_F(RunningClient, ExitWhileRequestsArriveEndsCleanly) {
    // Regression: the listener's threads served on while the program's statics went.
    // Peers keep sending for three seconds; "Exit" comes after the first.
    ASSERT_TRUE(StartClient());
    const std::wstring pipe = ListenerPipeName(LocalUserName());
    const RequestBytes text = EncodeTextMessage(L"during the exit");
    const auto until = Clock::now() + 3s;
    std::vector<std::thread> peers;
    for (int i = 0; i < 4; ++i)
        peers.emplace_back([&] {
            while (Clock::now() < until)
                test::Exchange(pipe, {test::CodeBytes(code::kTextMessage), test::Bytes(text.begin(), text.end())});
        });
    Sleep(1000);
    PostMessageW(Main(), WM_COMMAND, TFormMirovant::kIdExit, 0);
    for (std::thread& peer : peers)
        peer.join();
    ASSERT_TRUE(client_.WaitExit(20000));
    EXPECT_EQ(client_.ExitCode(), 0u);
}

}  // namespace
}  // namespace pm
