#include "support/install_dir.h"

#include <gtest/gtest.h>

namespace pm {
namespace {

TEST(InstallDirectory, DirectoryOfKeepsTheLastDelimiter) {
    EXPECT_EQ(DirectoryOf(L"C:\\Program Files\\Client\\PrintMirovant.exe"), L"C:\\Program Files\\Client\\");
    EXPECT_EQ(DirectoryOf(L"C:\\PrintMirovant.exe"), L"C:\\");
    EXPECT_EQ(DirectoryOf(L"PrintMirovant.exe"), L"");
}

TEST(InstallDirectory, ConfiguredValueGetsOneTrailingDelimiter) {
    const wchar_t* exe = L"D:\\bin\\PrintMirovant.exe";
    EXPECT_EQ(InstallDirectoryFrom(std::wstring(L"C:\\Apps\\Client"), exe), L"C:\\Apps\\Client\\");
    EXPECT_EQ(InstallDirectoryFrom(std::wstring(L"C:\\Apps\\Client\\"), exe), L"C:\\Apps\\Client\\");
    EXPECT_EQ(InstallDirectoryFrom(std::wstring(L"\\\\server\\share"), exe), L"\\\\server\\share\\");
}

TEST(InstallDirectory, MissingOrEmptyValueFallsBackToTheExecutablesFolder) {
    const wchar_t* exe = L"D:\\bin\\PrintMirovant.exe";
    EXPECT_EQ(InstallDirectoryFrom(std::nullopt, exe), L"D:\\bin\\");
    EXPECT_EQ(InstallDirectoryFrom(std::wstring(), exe), L"D:\\bin\\");
    // A bare name (no folder at all) still yields a delimited result.
    EXPECT_EQ(InstallDirectoryFrom(std::nullopt, L"PrintMirovant.exe"), L"\\");
}

}  // namespace
}  // namespace pm
