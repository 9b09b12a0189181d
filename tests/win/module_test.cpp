#include "support/module_win.h"

#include <gtest/gtest.h>

#include "support/process_win.h"
#include "support/temp_folder_win.h"
#include "support/unique_win.h"

namespace pm {
namespace {

// A file beside the test program that is not a program: a load that looks in the
// program's folder fails with ERROR_BAD_EXE_FORMAT, one that never looks there with
// ERROR_MOD_NOT_FOUND.
class SystemLibrary : public ::testing::Test {
protected:
    static constexpr wchar_t kPlanted[] = L"pm_planted_test.dll";
    void SetUp() override { ASSERT_TRUE(test::WriteWholeFile(path_, "not a program")); }
    void TearDown() override { DeleteFileW(path_.c_str()); }
    const std::wstring path_ = test::BuildFolder() + kPlanted;
};

TEST_F(SystemLibrary, ComesFromTheSystemFolderNeverFromTheProgramsFolder) {
    // Regression: netapi32.dll and security.dll were loaded by name, the program's
    // folder searched first.
    EXPECT_TRUE(UniqueModule(LoadSystemLibrary(L"netapi32.dll")));
    EXPECT_EQ(LoadSystemLibrary(kPlanted), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND)) << "the program's folder was searched";
}

TEST_F(SystemLibrary, AfterRestrictDllSearchNoLoadByNameLooksInTheProgramsFolder) {
    EXPECT_EQ(LoadLibraryW(kPlanted), nullptr);
    ASSERT_EQ(GetLastError(), DWORD(ERROR_BAD_EXE_FORMAT)) << "the default order starts in the program's folder";
    // For the rest of this test program's run (each case runs in a process of its own).
    RestrictDllSearch();
    EXPECT_EQ(LoadLibraryW(kPlanted), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
    EXPECT_TRUE(UniqueModule(LoadLibraryW(L"netapi32.dll"))) << "system DLLs still load by name";
}

}  // namespace
}  // namespace pm
