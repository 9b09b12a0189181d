#include "support/registry_win.h"

#include <gtest/gtest.h>

#include "support/registry_sandbox_win.h"

namespace pm::reg {
namespace {

constexpr wchar_t kKey[] = L"\\Software\\Tavrenholt\\Print Mirovant\\Interface";

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        key_ = OpenKey(HKEY_CURRENT_USER, kKey, Access::ReadWrite);
        ASSERT_TRUE(key_);
    }
    void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
        ASSERT_EQ(RegSetValueExW(key_.Get(), name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    }

    test::RegistrySandbox sandbox_;
    UniqueKey key_;
};

TEST_F(Registry, ReadOnlyOpenNeverCreatesButReadWriteCreatesParents) {
    EXPECT_FALSE(OpenKey(HKEY_CURRENT_USER, L"\\Software\\Nobody\\Here", Access::Read));
    EXPECT_FALSE(OpenKey(HKEY_CURRENT_USER, L"\\Software\\Nobody", Access::Read));
    EXPECT_TRUE(OpenKey(HKEY_CURRENT_USER, L"\\Software\\Nobody\\Here", Access::ReadWrite));
    EXPECT_TRUE(OpenKey(HKEY_CURRENT_USER, L"Software\\Nobody\\Here", Access::Read));
}

TEST_F(Registry, ValuesRoundTrip) {
    ASSERT_TRUE(WriteString(key_.Get(), L"AccInfoServer", L"PRINTSRV"));
    ASSERT_TRUE(WriteDword(key_.Get(), L"AccInfoLeft", 0xFFFFFF9Cu));
    const uint8_t bytes[8] = {1, 0, 1, 1, 0, 0, 1, 0};
    ASSERT_TRUE(WriteBinary(key_.Get(), L"AuthOptions", bytes));

    EXPECT_EQ(ReadString(key_.Get(), L"AccInfoServer").value, L"PRINTSRV");
    EXPECT_EQ(int32_t(ReadDword(key_.Get(), L"AccInfoLeft").value), -100);
    EXPECT_EQ(ReadBinary(key_.Get(), L"AuthOptions").value, std::vector<uint8_t>(bytes, bytes + 8));
}

TEST_F(Registry, MissingIsToldApartFromWrongType) {
    EXPECT_EQ(ReadString(key_.Get(), L"None").status, ReadStatus::Missing);
    EXPECT_EQ(ReadDword(key_.Get(), L"None").status, ReadStatus::Missing);
    EXPECT_EQ(ReadBinary(key_.Get(), L"None").status, ReadStatus::Missing);

    const DWORD number = 7;
    SetRaw(L"Number", REG_DWORD, &number, sizeof number);
    SetRaw(L"Text", REG_SZ, L"7", 4);
    EXPECT_EQ(ReadString(key_.Get(), L"Number").status, ReadStatus::WrongType);
    EXPECT_EQ(ReadDword(key_.Get(), L"Text").status, ReadStatus::WrongType);
    EXPECT_EQ(ReadBinary(key_.Get(), L"Text").status, ReadStatus::WrongType);
    EXPECT_EQ(ReadDword(key_.Get(), L"Text").ValueOr(42), 42u);
}

TEST_F(Registry, DwordMustBeExactlyFourBytes) {
    const uint8_t eight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    SetRaw(L"Long", REG_DWORD, eight, 8);
    SetRaw(L"Short", REG_DWORD, eight, 2);
    SetRaw(L"Qword", REG_QWORD, eight, 8);
    EXPECT_EQ(ReadDword(key_.Get(), L"Long").status, ReadStatus::WrongType);
    EXPECT_EQ(ReadDword(key_.Get(), L"Short").status, ReadStatus::WrongType);
    EXPECT_EQ(ReadDword(key_.Get(), L"Qword").status, ReadStatus::WrongType);
}

TEST_F(Registry, StringsAreTakenAsStoredUpToTheFirstZero) {
    // Not terminated, odd size, embedded zero, expandable, empty.
    SetRaw(L"Bare", REG_SZ, L"abc", 6);
    SetRaw(L"Odd", REG_SZ, L"abc", 5);
    SetRaw(L"Embedded", REG_SZ, L"ab\0cd", 12);
    SetRaw(L"Expand", REG_EXPAND_SZ, L"%USERPROFILE%\\x", 32);
    SetRaw(L"Empty", REG_SZ, L"", 0);
    EXPECT_EQ(ReadString(key_.Get(), L"Bare").value, L"abc");
    EXPECT_EQ(ReadString(key_.Get(), L"Odd").value, L"ab");
    EXPECT_EQ(ReadString(key_.Get(), L"Embedded").value, L"ab");
    EXPECT_EQ(ReadString(key_.Get(), L"Expand").value, L"%USERPROFILE%\\x");
    const auto empty = ReadString(key_.Get(), L"Empty");
    EXPECT_TRUE(empty.Ok());
    EXPECT_EQ(empty.value, L"");
}

TEST_F(Registry, LongStringIsReadWhole) {
    const std::wstring text(40000, L'x');
    ASSERT_TRUE(WriteString(key_.Get(), L"Long", text));
    EXPECT_EQ(ReadString(key_.Get(), L"Long").value, text);
}

TEST_F(Registry, DeleteAllValuesKeepsSubkeys) {
    for (int i = 0; i < 30; ++i)
        WriteString(key_.Get(), std::to_wstring(i).c_str(), L"x");
    ASSERT_TRUE(OpenKey(HKEY_CURRENT_USER, std::wstring(kKey) + L"\\Computers", Access::ReadWrite));
    ASSERT_TRUE(DeleteAllValues(key_.Get()));
    DWORD values = 99, subkeys = 0;
    RegQueryInfoKeyW(key_.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                     nullptr, nullptr);
    EXPECT_EQ(values, 0u);
    EXPECT_EQ(subkeys, 1u);
}

}  // namespace
}  // namespace pm::reg
