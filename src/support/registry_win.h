#pragma once
// The registry access every part of the client goes through.
//
// Keys are owned by UniqueKey. A read tells three outcomes apart: the value is
// there with the expected type, it is missing, or it is there with another type
// or size. None of these is an exception; callers pick the reaction the setting
// calls for. Paths may start with "\" (a path from the root of the hive).

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "support/unique_win.h"

namespace pm::reg {

enum class Access {
    Read,       // KEY_READ; a missing key is not created
    ReadWrite,  // KEY_READ | KEY_WRITE; a missing key is created with its parents
};

UniqueKey OpenKey(HKEY root, std::wstring_view path, Access access);

enum class ReadStatus { Ok, Missing, WrongType };

template <class T>
struct ReadResult {
    ReadStatus status = ReadStatus::Missing;
    T value{};

    bool Ok() const { return status == ReadStatus::Ok; }
    // The value, or `fallback` when it is missing or of the wrong type.
    T ValueOr(T fallback) const { return Ok() ? value : fallback; }
};

// REG_SZ or REG_EXPAND_SZ, returned as stored (not expanded), up to its first zero.
ReadResult<std::wstring> ReadString(HKEY key, const wchar_t* name);
// REG_DWORD of exactly four bytes.
ReadResult<uint32_t> ReadDword(HKEY key, const wchar_t* name);
// REG_BINARY of any size.
ReadResult<std::vector<uint8_t>> ReadBinary(HKEY key, const wchar_t* name);

bool WriteString(HKEY key, const wchar_t* name, std::wstring_view value);
bool WriteDword(HKEY key, const wchar_t* name, uint32_t value);
bool WriteBinary(HKEY key, const wchar_t* name, std::span<const uint8_t> value);

// Deletes every value of the key (its subkeys stay).
bool DeleteAllValues(HKEY key);

// The failure text for a value that exists with a type the reader cannot take.
std::wstring InvalidDataTypeText(std::wstring_view name);

}  // namespace pm::reg
