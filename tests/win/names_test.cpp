#include "support/names_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

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
    // The same names the environment gives, in the case each needs.
    auto sameIgnoringCase = [](const std::wstring& name, const wchar_t* variable) {
        const wchar_t* expected = _wgetenv(variable);
        return expected && CompareStringOrdinal(name.c_str(), -1, expected, -1, TRUE) == CSTR_EQUAL;
    };
    const std::wstring computer = LocalComputerName(), user = LocalUserName();
    EXPECT_TRUE(sameIgnoringCase(computer, L"COMPUTERNAME"));
    EXPECT_TRUE(sameIgnoringCase(user, L"USERNAME"));
    EXPECT_TRUE(std::none_of(computer.begin(), computer.end(), [](wchar_t c) { return IsCharLowerW(c); }));
    EXPECT_TRUE(std::none_of(user.begin(), user.end(), [](wchar_t c) { return IsCharUpperW(c); }));
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
    EXPECT_EQ(ShellFolderPath(kShellFolderStartup), L"");  // no key
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
