#include "support/registry_win.h"

namespace pm::reg {
namespace {

std::wstring_view RelativePath(std::wstring_view path) {
    // RegOpenKeyExW takes paths relative to the root; "\Software\..." means the same key.
    while (!path.empty() && path.front() == L'\\')
        path.remove_prefix(1);
    return path;
}

// Reads a value of any type into `data`; false when it does not exist or cannot be read.
bool QueryRaw(HKEY key, const wchar_t* name, DWORD& type, std::vector<uint8_t>& data) {
    DWORD size = 0;
    LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    // The value can grow between the two calls; try again with the new size.
    for (int attempt = 0; status == ERROR_SUCCESS && attempt < 4; ++attempt) {
        data.resize(size);
        DWORD got = size;
        status = RegQueryValueExW(key, name, nullptr, &type, data.empty() ? nullptr : data.data(), &got);
        if (status == ERROR_SUCCESS) {
            data.resize(got);
            return true;
        }
        if (status == ERROR_MORE_DATA) {
            size = got;
            status = ERROR_SUCCESS;
        }
    }
    return false;
}

}  // namespace

UniqueKey OpenKey(HKEY root, std::wstring_view path, Access access) {
    const std::wstring subKey(RelativePath(path));
    UniqueKey key;
    if (access == Access::Read) {
        if (RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) key.Reset();
    } else if (RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr,
                               key.Put(), nullptr) != ERROR_SUCCESS) {
        key.Reset();
    }
    return key;
}

ReadResult<std::wstring> ReadString(HKEY key, const wchar_t* name) {
    ReadResult<std::wstring> result;
    DWORD type = 0;
    std::vector<uint8_t> data;
    if (!QueryRaw(key, name, type, data)) return result;
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        result.status = ReadStatus::WrongType;
        return result;
    }
    // Stored strings need not be terminated, nor of an even size.
    std::wstring text(data.size() / sizeof(wchar_t), L'\0');
    if (!text.empty()) memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
    text.resize(std::wstring_view(text.c_str()).size());
    result.status = ReadStatus::Ok;
    result.value = std::move(text);
    return result;
}

ReadResult<uint32_t> ReadDword(HKEY key, const wchar_t* name) {
    ReadResult<uint32_t> result;
    DWORD type = 0;
    std::vector<uint8_t> data;
    if (!QueryRaw(key, name, type, data)) return result;
    if (type != REG_DWORD || data.size() != 4) {
        result.status = ReadStatus::WrongType;
        return result;
    }
    result.status = ReadStatus::Ok;
    result.value = uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 | uint32_t(data[3]) << 24;
    return result;
}

ReadResult<std::vector<uint8_t>> ReadBinary(HKEY key, const wchar_t* name) {
    ReadResult<std::vector<uint8_t>> result;
    DWORD type = 0;
    std::vector<uint8_t> data;
    if (!QueryRaw(key, name, type, data)) return result;
    if (type != REG_BINARY) {
        result.status = ReadStatus::WrongType;
        return result;
    }
    result.status = ReadStatus::Ok;
    result.value = std::move(data);
    return result;
}

bool WriteString(HKEY key, const wchar_t* name, std::wstring_view value) {
    const std::wstring text(value);
    const DWORD bytes = DWORD((text.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes) == ERROR_SUCCESS;
}

bool WriteDword(HKEY key, const wchar_t* name, uint32_t value) {
    const DWORD data = value;
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data) == ERROR_SUCCESS;
}

bool WriteBinary(HKEY key, const wchar_t* name, std::span<const uint8_t> value) {
    return RegSetValueExW(key, name, 0, REG_BINARY, value.data(), DWORD(value.size())) == ERROR_SUCCESS;
}

bool DeleteAllValues(HKEY key) {
    // Deleting shifts the indices, so always take the first value until none is left.
    for (;;) {
        wchar_t name[16384];
        DWORD length = DWORD(std::size(name));
        const LSTATUS status = RegEnumValueW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) return true;
        if (status != ERROR_SUCCESS || RegDeleteValueW(key, name) != ERROR_SUCCESS) return false;
    }
}

std::wstring InvalidDataTypeText(std::wstring_view name) {
    return L"Invalid data type for '" + std::wstring(name) + L"'";
}

}  // namespace pm::reg
