#include "support/names_win.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "support/registry_win.h"
#include "support/unique_win.h"

namespace pm {
namespace {

constexpr const wchar_t* kShellFolderNames[] = {
    L"Desktop", L"Favorites", L"Fonts",      L"NetHood", L"Programs",
    L"Recent",  L"SendTo",    L"Start Menu", L"Startup", L"Templates",
};

constexpr wchar_t kShellFoldersKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

std::wstring& ThisComputerValue() {
    static std::wstring value;
    return value;
}

// The SID of one of the process token's identities, as text.
std::wstring TokenSid(TOKEN_INFORMATION_CLASS kind) {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
    const UniqueHandle token(raw);
    DWORD size = 0;
    GetTokenInformation(token.Get(), kind, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !GetTokenInformation(token.Get(), kind, buffer.data(), size, &size)) return {};
    const PSID sid = kind == TokenUser ? reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid
                                       : reinterpret_cast<TOKEN_OWNER*>(buffer.data())->Owner;
    wchar_t* text = nullptr;
    if (!sid || !ConvertSidToStringSidW(sid, &text)) return {};
    std::wstring result = text;
    LocalFree(text);
    return result;
}

}  // namespace

std::wstring ProcessUserSid() {
    return TokenSid(TokenUser);
}

std::wstring ProcessDefaultOwnerSid() {
    return TokenSid(TokenOwner);
}

std::optional<std::wstring> ObjectOwnerSid(HANDLE object) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS)
        return std::nullopt;
    std::wstring result;
    wchar_t* text = nullptr;
    if (owner && ConvertSidToStringSidW(owner, &text)) {
        result = text;
        LocalFree(text);
    }
    LocalFree(descriptor);
    return result;
}

std::wstring AccountNameOfSid(const std::wstring& sidText) {
    PSID sid = nullptr;
    if (!ConvertStringSidToSidW(sidText.c_str(), &sid)) return {};
    wchar_t name[256], domain[256];
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    std::wstring account;
    if (LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use))
        account = domainSize ? std::wstring(domain) + L"\\" + name : std::wstring(name);
    LocalFree(sid);
    return account;
}

std::wstring ToUpper(std::wstring text) {
    if (!text.empty()) CharUpperBuffW(text.data(), DWORD(text.size()));
    return text;
}

std::wstring ToLower(std::wstring text) {
    if (!text.empty()) CharLowerBuffW(text.data(), DWORD(text.size()));
    return text;
}

std::wstring LocalComputerName() {
    wchar_t buffer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = DWORD(std::size(buffer));
    if (!GetComputerNameW(buffer, &size)) return {};
    return ToUpper(buffer);
}

std::wstring LocalUserName() {
    wchar_t buffer[256] = {};
    DWORD size = 255;
    if (!GetUserNameW(buffer, &size)) return {};
    buffer[255] = L'\0';
    return ToLower(buffer);
}

std::optional<std::wstring> ShellFolderPath(unsigned index, std::wstring* error) {
    if (index >= std::size(kShellFolderNames)) return std::wstring();
    const UniqueKey key = reg::OpenKey(HKEY_CURRENT_USER, kShellFoldersKey, reg::Access::Read);
    if (!key) return std::wstring();
    const auto read = reg::ReadString(key.Get(), kShellFolderNames[index]);
    if (read.status == reg::ReadStatus::WrongType) {
        if (error) *error = reg::InvalidDataTypeText(kShellFolderNames[index]);
        return std::nullopt;
    }
    return read.value;
}

const std::wstring& ThisComputer() {
    return ThisComputerValue();
}

void InitThisComputer() {
    ThisComputerValue() = LocalComputerName();
}

}  // namespace pm
