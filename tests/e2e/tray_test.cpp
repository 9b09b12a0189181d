// The tray controller of the real client: the announcement, the commands of its
// menu driven from outside, and the end of the program.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "about/form_about_win.h"
#include "account/form_requests_win.h"
#include "messages/form_messages_win.h"
#include "messages/form_sender_win.h"
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

// The tray menu as a user meets it: opened through the icon's callback, as the shell
// reports a right click or the menu key on the icon (WM_CONTEXTMENU), and a command
// chosen by its underlined letter. (Its items and check marks are read in the Windows
// tests: under Wine another process cannot read a menu.)
class TrayMenu : public RunningClient {
protected:
    void TearDown() override {
        RunningClient::TearDown();
        RegDeleteValueW(Product().Get(), L"DisableSendMessage");
    }
    static UniqueKey Product() { return reg::OpenKey(HKEY_LOCAL_MACHINE, kProductKey, reg::Access::ReadWrite); }
    bool Open() {
        PostMessageW(Main(), TFormMirovant::kTrayMessage, MAKEWPARAM(300, 300),
                     MAKELPARAM(WM_CONTEXTMENU, TFormMirovant::kTrayId));
        return test::WaitFor(
            [&] {
                const HWND popup = Window(L"#32768");
                return popup && IsWindowVisible(popup);
            },
            5s);
    }
    // Chooses an item of the open menu (or of its open submenu) by its letter.
    void Choose(wchar_t letter) { PostMessageW(Main(), WM_CHAR, letter, 0); }
    HWND Window(const wchar_t* className) { return test::FindProcessWindow(client_.Id(), className); }
};

TEST_F(TrayMenu, EachCommandRunsFromTheMenu) {
    // "Send Message..." hidden: its letter chooses nothing, and the menu takes the next.
    reg::WriteDword(Product().Get(), L"DisableSendMessage", 1);
    ASSERT_TRUE(StartClient());
    ASSERT_TRUE(Open());
    Choose(L's');
    Choose(L'x');
    ASSERT_TRUE(client_.WaitExit(10000)) << "\"Send Message...\" was in the menu, or Exit did not run";

    RegDeleteValueW(Product().Get(), L"DisableSendMessage");
    ASSERT_TRUE(StartClient());
    ASSERT_TRUE(Open());
    Choose(L's');
    EXPECT_TRUE(test::WaitFor([&] { return Window(TFormSender::kClassName) != nullptr; }, 5s));
    ASSERT_TRUE(Open());
    Choose(L'i');
    EXPECT_TRUE(test::WaitFor([&] { return Window(TFormRequests::kClassName) != nullptr; }, 5s));
    // "Start with Windows", in the submenu: on, then off again, as the user's folder was.
    const std::wstring shortcut = StartupShortcutPath();
    const bool before = GetFileAttributesW(shortcut.c_str()) != INVALID_FILE_ATTRIBUTES;
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(Open());
        Choose(L'o');
        Choose(L'w');
        EXPECT_TRUE(test::WaitFor(
            [&] { return (GetFileAttributesW(shortcut.c_str()) != INVALID_FILE_ATTRIBUTES) == (before == (i == 1)); },
            5s));
    }
    ASSERT_TRUE(Open());
    Choose(L'a');
    EXPECT_TRUE(test::WaitFor([&] { return Window(TFormAbout::kClassName) != nullptr; }, 5s));
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
