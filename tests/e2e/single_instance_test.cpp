// The client started as real processes: one copy per user, the second start
// activating the first.

#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include "shell/form_mirovant_win.h"
#include "shell/single_instance_win.h"
#include "support/names_win.h"
#include "support/process_win.h"
#include "support/temp_folder_win.h"
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

TEST(SingleInstance, ANameHeldByAnotherAccountIsPassedOverAndCopiesStillMeet) {
    // Regression: another account in the session created the instance mutex first, and
    // every start of the user's client took it for a running copy and ended.
    constexpr char kStranger[] = "S-1-5-21-1111-2222-3333-4444";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
        (std::string("O:") + kStranger + "D:(A;;GA;;;WD)").c_str(), SDDL_REVISION_1, &descriptor, nullptr));
    SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
    UniqueHandle squatter(CreateMutexA(&security, FALSE, InstanceName(LocalUserName()).c_str()));
    LocalFree(descriptor);
    ASSERT_TRUE(squatter);
    // The client's log entries that name the squatter.
    auto entries = [&] {
        const std::string log = test::ReadWholeFile(test::BuildFolder() + L"Logs\\Errors.log");
        size_t count = 0;
        for (size_t at = log.find("] 203 "); at != std::string::npos; at = log.find("] 203 ", at + 1))
            count += log.substr(at, log.find('\n', at) - at).find(kStranger) != std::string::npos;
        return count;
    };
    const size_t entriesBefore = entries();

    ChildProcess first;
    ASSERT_TRUE(first.Start(ClientPath()));
    HWND mainForm = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (mainForm = FindProcessWindow(first.Id(), TFormMirovant::kClassName)); },
                        test::kStartLimit));
    EXPECT_TRUE(WaitFor([&] { return entries() > entriesBefore; }, 5s)) << "the squatter is logged";

    // A second copy of the user still finds the first and steps back.
    ChildProcess second;
    ASSERT_TRUE(second.Start(ClientPath()));
    ASSERT_TRUE(second.WaitExit(DWORD(std::chrono::milliseconds(test::kStartLimit).count())));
    EXPECT_EQ(second.ExitCode(), 0u);
    // Nor does one that finds the first name free again.
    squatter.Reset();
    ChildProcess third;
    ASSERT_TRUE(third.Start(ClientPath()));
    ASSERT_TRUE(third.WaitExit(DWORD(std::chrono::milliseconds(test::kStartLimit).count())));
    EXPECT_TRUE(first.Running());
    PostMessageW(mainForm, WM_CLOSE, 0, 0);
    ASSERT_TRUE(first.WaitExit(10000));
}

}  // namespace
}  // namespace pm
