#include "support/names_win.h"

#include <gtest/gtest.h>

#include "shell/single_instance_win.h"
#include "support/registry_sandbox_win.h"
#include "support/registry_win.h"

namespace pm {
namespace {

constexpr wchar_t kShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

TEST(Names, CaseRules) {
    EXPECT_EQ(ToUpper(L"pc-07"), L"PC-07");
    EXPECT_EQ(ToLower(L"John.Smith"), L"john.smith");
    // Not only ASCII: the system's case tables.
    EXPECT_EQ(ToLower(L"\u00C9LODIE"), L"\u00E9lodie");
}

TEST(Names, ComputerNameIsUpperCaseAndUserNameLowerCase) {
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = DWORD(std::size(computer));
    ASSERT_TRUE(GetComputerNameW(computer, &size));
    EXPECT_EQ(LocalComputerName(), ToUpper(computer));
    EXPECT_FALSE(LocalComputerName().empty());

    wchar_t user[256] = {};
    size = 256;
    ASSERT_TRUE(GetUserNameW(user, &size));
    EXPECT_EQ(LocalUserName(), ToLower(user));
}

TEST(Names, ThisComputerIsTheNameReadAtStartUp) {
    InitThisComputer();
    EXPECT_EQ(ThisComputer(), LocalComputerName());
}

TEST(Names, InstanceNameIgnoresTheCaseOfTheUserName) {
    EXPECT_EQ(InstanceName(L"JSmith"), "PrintMirovant-jsmith");
    EXPECT_EQ(InstanceName(L"JSmith"), InstanceName(L"jsmith"));
}

class ShellFolders : public ::testing::Test {
protected:
    test::RegistrySandbox sandbox_;
};

TEST_F(ShellFolders, StartupIsReturnedAsStoredAndUnknownIndexIsEmpty) {
    const UniqueKey key = reg::OpenKey(HKEY_CURRENT_USER, kShellFolders, reg::Access::ReadWrite);
    ASSERT_TRUE(key);
    const wchar_t stored[] = L"%USERPROFILE%\\Start Menu\\Programs\\Startup";
    ASSERT_EQ(
        RegSetValueExW(key.Get(), L"Startup", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(stored), sizeof stored),
        ERROR_SUCCESS);
    reg::WriteString(key.Get(), L"Templates", L"C:\\T");

    EXPECT_EQ(ShellFolderPath(kShellFolderStartup), std::wstring(stored));
    EXPECT_EQ(ShellFolderPath(9), L"C:\\T");
    EXPECT_EQ(ShellFolderPath(0), L"");  // value missing
    EXPECT_EQ(ShellFolderPath(10), L"");
    EXPECT_EQ(ShellFolderPath(0xFFFFFFFFu), L"");
}

TEST_F(ShellFolders, MissingKeyGivesEmpty) {
    EXPECT_EQ(ShellFolderPath(kShellFolderStartup), L"");
}

TEST_F(ShellFolders, NonStringValueIsAFailureNamingTheValue) {
    const UniqueKey key = reg::OpenKey(HKEY_CURRENT_USER, kShellFolders, reg::Access::ReadWrite);
    ASSERT_TRUE(reg::WriteDword(key.Get(), L"Startup", 1));
    std::wstring error;
    EXPECT_EQ(ShellFolderPath(kShellFolderStartup, &error), std::nullopt);
    EXPECT_EQ(error, L"Invalid data type for 'Startup'");
    EXPECT_EQ(ShellFolderPath(kShellFolderStartup), std::nullopt);  // no error out-parameter: still a failure
}

}  // namespace
}  // namespace pm
