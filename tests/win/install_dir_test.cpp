#include "support/install_dir_win.h"

#include <gtest/gtest.h>

#include "support/install_dir.h"
#include "support/product.h"
#include "support/registry_sandbox_win.h"
#include "support/registry_win.h"

namespace pm {
namespace {

class InstallDir : public ::testing::Test {
protected:
    UniqueKey ProductKey() { return reg::OpenKey(HKEY_LOCAL_MACHINE, kProductKey, reg::Access::ReadWrite); }
    std::wstring ExeFolder() { return DirectoryOf(ExecutablePath()); }

    test::RegistrySandbox sandbox_;
};

TEST_F(InstallDir, ExecutablePathIsThisProgram) {
    const std::wstring path = ExecutablePath();
    ASSERT_GT(path.size(), 4u);
    EXPECT_EQ(path.substr(path.size() - 4), L".exe");
    EXPECT_EQ(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

// The rules for the value's text are the portable InstallDirectory cases; here, where
// the value comes from.
TEST_F(InstallDir, TheMachineValueWhenItIsAStringElseTheExecutablesFolder) {
    EXPECT_EQ(DetermineInstallDirectory(), ExeFolder());
    EXPECT_EQ(ExeFolder().back(), L'\\');
    const UniqueKey key = ProductKey();
    reg::WriteString(key.Get(), L"Install Directory", L"C:\\Apps\\Client");
    EXPECT_EQ(DetermineInstallDirectory(), L"C:\\Apps\\Client\\");
    // Regression: a non-string value must not stop the client from starting.
    reg::WriteDword(key.Get(), L"Install Directory", 1);
    EXPECT_EQ(DetermineInstallDirectory(), ExeFolder());
}

TEST_F(InstallDir, InitKeepsTheValue) {
    const UniqueKey key = ProductKey();
    reg::WriteString(key.Get(), L"Install Directory", L"C:\\Once");
    InitInstallDirectory();
    reg::WriteString(key.Get(), L"Install Directory", L"C:\\Twice");
    EXPECT_EQ(InstallDirectory(), L"C:\\Once\\");
}

}  // namespace
}  // namespace pm
