// The client started as real processes: one copy per user, the second start
// activating the first.

#include <gtest/gtest.h>

#include "shell/form_mirovant_win.h"
#include "support/process_win.h"
#include "ui/application_win.h"

namespace pm {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;
using test::FindProcessWindow;
using test::WaitFor;

std::wstring ClientPath() {
    return test::BuildFolder() + L"PrintMirovant.exe";
}

TEST(SingleInstance, SecondStartActivatesTheFirstAndEndsWithoutAWindow) {
    ChildProcess first;
    ASSERT_TRUE(first.Start(ClientPath()));
    HWND mainForm = nullptr, application = nullptr;
    ASSERT_TRUE(WaitFor(
        [&] {
            mainForm = FindProcessWindow(first.Id(), TFormMirovant::kClassName);
            application = FindProcessWindow(first.Id(), ui::Application::kClassName);
            return mainForm && application;
        },
        test::kStartLimit));
    EXPECT_FALSE(IsWindowVisible(mainForm));
    EXPECT_FALSE(IsWindowVisible(application));
    EXPECT_EQ(SendMessageW(application, ui::Application::kQueryActivationCount, 0, 0), 0);

    ChildProcess second;
    ASSERT_TRUE(second.Start(ClientPath()));
    bool secondHadWindow = false;
    ASSERT_TRUE(WaitFor(
        [&] {
            secondHadWindow = secondHadWindow || FindProcessWindow(second.Id(), nullptr) != nullptr;
            return !second.Running();
        },
        test::kStartLimit));
    EXPECT_FALSE(secondHadWindow);
    EXPECT_EQ(second.ExitCode(), 0u);

    // The broadcast is posted: it arrives a little later, and exactly once.
    EXPECT_TRUE(
        WaitFor([&] { return SendMessageW(application, ui::Application::kQueryActivationCount, 0, 0) >= 1; }, 5s));
    Sleep(300);
    EXPECT_EQ(SendMessageW(application, ui::Application::kQueryActivationCount, 0, 0), 1);

    // The first copy runs on until its main form closes.
    EXPECT_TRUE(first.Running());
    PostMessageW(mainForm, WM_CLOSE, 0, 0);
    ASSERT_TRUE(first.WaitExit(10000));
    EXPECT_EQ(first.ExitCode(), 0u);
}

TEST(SingleInstance, AfterTheFirstEndsANewStartIsFirstAgain) {
    for (int round = 0; round < 2; ++round) {
        ChildProcess client;
        ASSERT_TRUE(client.Start(ClientPath()));
        HWND mainForm = nullptr;
        ASSERT_TRUE(WaitFor([&] { return (mainForm = FindProcessWindow(client.Id(), TFormMirovant::kClassName)); },
                            test::kStartLimit))
            << "round " << round;
        PostMessageW(mainForm, WM_CLOSE, 0, 0);
        ASSERT_TRUE(client.WaitExit(10000));
    }
}

}  // namespace
}  // namespace pm
