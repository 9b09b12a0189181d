#include "auth/credentials_win.h"

#include <windows.h>
#define SECURITY_WIN32
#include <lm.h>
#include <sddl.h>
#include <security.h>

#include <optional>

#include "support/code_page_win.h"
#include "support/error_log_win.h"
#include "support/module_win.h"
#include "support/registry_win.h"

namespace pm {
namespace {

// An ANSI copy of a secret, wiped when it goes.
struct SecretAnsi {
    std::string text;
    ~SecretAnsi() { SecureZeroMemory(text.data(), text.size()); }
};

// The text in the ANSI code page, or nothing when a character would have to be
// replaced or guessed (no best-fit mapping).
bool ToAnsiExact(std::wstring_view text, SecretAnsi& out) {
    out.text.clear();
    std::optional<std::string> exact = ToCodePageExact(text, GetACP());
    if (!exact) return false;
    out.text.swap(*exact);
    SecureZeroMemory(exact->data(), exact->size());
    return true;
}

std::wstring QualifiedName(std::wstring_view user, std::wstring_view domain) {
    return domain.empty() ? std::wstring(user) : std::wstring(domain) + L"\\" + std::wstring(user);
}

// The SID of a token's user, as bytes.
std::vector<unsigned char> TokenUserSid(HANDLE token) {
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    if (size == 0 || !GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return {};
    const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    if (!IsValidSid(sid)) return {};
    const auto* bytes = static_cast<const unsigned char*>(sid);
    return std::vector<unsigned char>(bytes, bytes + GetLengthSid(sid));
}

std::wstring TokenUserSidText(HANDLE token) {
    const std::vector<unsigned char> sid = TokenUserSid(token);
    return sid.empty() ? std::wstring() : SidToText(sid.data());
}

// ---- the local NTLM exchange ----

class Sspi {
public:
    Sspi() {
        library_ = LoadSystemLibrary(L"security.dll");
        if (!library_) return;
        auto init = GetProc<INIT_SECURITY_INTERFACE_A>(library_, "InitSecurityInterfaceA");
        table_ = init ? init() : nullptr;
        if (!table_ || !table_->QuerySecurityPackageInfoA || !table_->AcquireCredentialsHandleA ||
            !table_->InitializeSecurityContextA || !table_->AcceptSecurityContext || !table_->DeleteSecurityContext ||
            !table_->FreeCredentialsHandle || !table_->FreeContextBuffer) {
            table_ = nullptr;
            return;
        }
        PSecPkgInfoA info = nullptr;
        char package[] = "NTLM";
        if (table_->QuerySecurityPackageInfoA(package, &info) != SEC_E_OK || !info) {
            table_ = nullptr;
            return;
        }
        maxToken_ = info->cbMaxToken;
        table_->FreeContextBuffer(info);
    }
    ~Sspi() {
        for (Side& side : sides_) {
            if (side.haveContext) table_->DeleteSecurityContext(&side.context);
            if (side.haveCredentials) table_->FreeCredentialsHandle(&side.credentials);
        }
        if (library_) FreeLibrary(library_);
    }
    Sspi(const Sspi&) = delete;
    Sspi& operator=(const Sspi&) = delete;

    CheckResult Check(SecretAnsi& user, SecretAnsi& domain, SecretAnsi& password, std::wstring_view expectedSid) {
        if (!table_ || maxToken_ == 0) return CheckResult::Unavailable;
        SEC_WINNT_AUTH_IDENTITY_A identity = {};
        identity.User = user.text.empty() ? nullptr : reinterpret_cast<unsigned char*>(user.text.data());
        identity.UserLength = ULONG(user.text.size());
        identity.Domain = domain.text.empty() ? nullptr : reinterpret_cast<unsigned char*>(domain.text.data());
        identity.DomainLength = ULONG(domain.text.size());
        identity.Password = reinterpret_cast<unsigned char*>(password.text.data());
        identity.PasswordLength = ULONG(password.text.size());
        identity.Flags = SEC_WINNT_AUTH_IDENTITY_ANSI;

        std::vector<unsigned char> a(maxToken_), b(maxToken_);
        ULONG aLength = 0, bLength = 0;
        if (!ClientStep(&identity, nullptr, 0, a, aLength)) return CheckResult::Unavailable;
        SECURITY_STATUS status = ServerStep(a, aLength, b, bLength);
        if (status < 0) return status == SEC_E_LOGON_DENIED ? CheckResult::Reject : CheckResult::Unavailable;
        if (!ClientStep(&identity, b.data(), bLength, a, aLength)) return CheckResult::Unavailable;
        status = ServerStep(a, aLength, b, bLength);
        if (status == SEC_E_LOGON_DENIED) return CheckResult::Reject;
        if (status < 0) return CheckResult::Unavailable;
        return LoggedOnAs(expectedSid) ? CheckResult::Pass : CheckResult::Unavailable;
    }

private:
    struct Side {
        CredHandle credentials{};
        CtxtHandle context{};
        bool haveCredentials = false;
        bool haveContext = false;
    };

    static bool NeedsCompletion(SECURITY_STATUS s) {
        return s == SEC_I_COMPLETE_NEEDED || s == SEC_I_COMPLETE_AND_CONTINUE;
    }

    bool ClientStep(SEC_WINNT_AUTH_IDENTITY_A* identity, unsigned char* input, ULONG inputLength,
                    std::vector<unsigned char>& output, ULONG& outputLength) {
        Side& side = sides_[0];
        TimeStamp expiry;
        if (!side.haveCredentials) {
            char package[] = "NTLM";
            if (table_->AcquireCredentialsHandleA(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, identity, nullptr,
                                                  nullptr, &side.credentials, &expiry) < 0)
                return false;
            side.haveCredentials = true;
        }
        SecBuffer outBuffer = {ULONG(output.size()), SECBUFFER_TOKEN, output.data()};
        SecBufferDesc outDesc = {SECBUFFER_VERSION, 1, &outBuffer};
        SecBuffer inBuffer = {inputLength, SECBUFFER_TOKEN, input};
        SecBufferDesc inDesc = {SECBUFFER_VERSION, 1, &inBuffer};
        char target[] = "AuthSamp";
        ULONG attributes = 0;
        const SECURITY_STATUS status = table_->InitializeSecurityContextA(
            &side.credentials, side.haveContext ? &side.context : nullptr, target, 0, 0, SECURITY_NATIVE_DREP,
            input ? &inDesc : nullptr, 0, &side.context, &outDesc, &attributes, &expiry);
        if (status < 0) return false;
        side.haveContext = true;
        if (NeedsCompletion(status) && table_->CompleteAuthToken &&
            table_->CompleteAuthToken(&side.context, &outDesc) < 0)
            return false;
        outputLength = outBuffer.cbBuffer;
        return true;
    }

    SECURITY_STATUS ServerStep(std::vector<unsigned char>& input, ULONG inputLength, std::vector<unsigned char>& output,
                               ULONG& outputLength) {
        Side& side = sides_[1];
        TimeStamp expiry;
        if (!side.haveCredentials) {
            char package[] = "NTLM";
            const SECURITY_STATUS status = table_->AcquireCredentialsHandleA(
                nullptr, package, SECPKG_CRED_INBOUND, nullptr, nullptr, nullptr, nullptr, &side.credentials, &expiry);
            if (status < 0) return status;
            side.haveCredentials = true;
        }
        SecBuffer outBuffer = {ULONG(output.size()), SECBUFFER_TOKEN, output.data()};
        SecBufferDesc outDesc = {SECBUFFER_VERSION, 1, &outBuffer};
        SecBuffer inBuffer = {inputLength, SECBUFFER_TOKEN, input.data()};
        SecBufferDesc inDesc = {SECBUFFER_VERSION, 1, &inBuffer};
        ULONG attributes = 0;
        SECURITY_STATUS status =
            table_->AcceptSecurityContext(&side.credentials, side.haveContext ? &side.context : nullptr, &inDesc, 0,
                                          SECURITY_NATIVE_DREP, &side.context, &outDesc, &attributes, &expiry);
        if (status < 0) return status;
        side.haveContext = true;
        if (NeedsCompletion(status)) {
            if (!table_->CompleteAuthToken) return SEC_E_UNSUPPORTED_FUNCTION;
            const SECURITY_STATUS completed = table_->CompleteAuthToken(&side.context, &outDesc);
            if (completed < 0) return completed;
        }
        outputLength = outBuffer.cbBuffer;
        return status;
    }

    // The server side's view of who authenticated, by SID: a guest mapping is not a pass.
    bool LoggedOnAs(std::wstring_view expectedSid) {
        if (!table_->QuerySecurityContextToken || expectedSid.empty()) return false;
        HANDLE raw = nullptr;
        if (table_->QuerySecurityContextToken(&sides_[1].context, &raw) != SEC_E_OK || !raw) return false;
        const UniqueHandle token(raw);
        return TokenIsAccount(token.Get(), expectedSid);
    }

    HMODULE library_ = nullptr;
    PSecurityFunctionTableA table_ = nullptr;
    ULONG maxToken_ = 0;
    Side sides_[2];
};

}  // namespace

// Errors that say the password (or the account's right to log on) is wrong for sure.
bool IsDefinitiveRejection(unsigned long error) {
    switch (error) {
        case ERROR_LOGON_FAILURE:
        case ERROR_WRONG_PASSWORD:    // 1323: the password change's "the old password is wrong"
        case ERROR_INVALID_PASSWORD:  // 86: the same from the network password change
        case ERROR_ACCOUNT_RESTRICTION:
        case ERROR_INVALID_LOGON_HOURS:
        case ERROR_INVALID_WORKSTATION:
        case ERROR_PASSWORD_EXPIRED:
        case ERROR_ACCOUNT_DISABLED:
        case ERROR_ACCOUNT_LOCKED_OUT:
        case ERROR_PASSWORD_MUST_CHANGE:
        case ERROR_ACCOUNT_EXPIRED:
            return true;
        default:
            return false;
    }
}

SecretText::~SecretText() {
    SecureZeroMemory(text_.data(), text_.size() * sizeof(wchar_t));
}

bool RunCheckChain(const std::vector<CheckFunction>& checks, std::wstring_view user, std::wstring_view domain,
                   std::wstring_view password, std::wstring_view expectedSid) {
    for (CheckFunction check : checks) {
        switch (check(user, domain, password, expectedSid)) {
            case CheckResult::Pass:
                return true;
            case CheckResult::Reject:
                return false;
            case CheckResult::Unavailable:
                break;
        }
    }
    return false;
}

std::vector<unsigned char> AccountNameToSid(std::wstring_view account, bool quiet) {
    try {
        SecretAnsi name;
        if (!ToAnsiExact(account, name)) {
            if (!quiet) LogError(82, ERROR_NONE_MAPPED, L"");
            return {};
        }
        DWORD sidSize = 0, domainSize = 0;
        SID_NAME_USE use;
        if (LookupAccountNameA(nullptr, name.text.c_str(), nullptr, &sidSize, nullptr, &domainSize, &use) ||
            GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            if (!quiet) LogError(82, int32_t(GetLastError()), L"");
            return {};
        }
        std::vector<unsigned char> sid(sidSize);
        std::string domain(domainSize, '\0');
        if (!LookupAccountNameA(nullptr, name.text.c_str(), sid.data(), &sidSize, domain.data(), &domainSize, &use))
            return {};
        return sid;
    } catch (...) {
        LogError(92, int32_t(GetLastError()), L"");
        return {};
    }
}

std::wstring SidToText(const void* sid) {
    try {
        PSID p = const_cast<void*>(sid);
        wchar_t* text = nullptr;
        if (!p || !IsValidSid(p) || !ConvertSidToStringSidW(p, &text)) return {};
        std::wstring result = text;
        LocalFree(text);
        return result;
    } catch (...) {
        LogError(96, int32_t(GetLastError()), L"");
        return {};
    }
}

std::wstring AccountSidString(std::wstring_view account) {
    try {
        const std::vector<unsigned char> sid = AccountNameToSid(account);
        return sid.empty() ? std::wstring() : SidToText(sid.data());
    } catch (...) {
        LogError(102, int32_t(GetLastError()), L"");
        return {};
    }
}

bool TokenIsAccount(void* token, std::wstring_view expectedSid) {
    return !expectedSid.empty() && TokenUserSidText(token) == expectedSid;
}

std::wstring GetDefaultDomain() {
    const UniqueKey key = reg::OpenKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
                                       reg::Access::Read);
    return key ? reg::ReadString(key.Get(), L"DefaultDomainName").value : std::wstring();
}

CheckResult CheckCredentialsSspi(std::wstring_view user, std::wstring_view domain, std::wstring_view password,
                                 std::wstring_view expectedSid) {
    SecretAnsi u, d, p;
    if (!ToAnsiExact(user, u) || !ToAnsiExact(domain, d) || !ToAnsiExact(password, p)) return CheckResult::Unavailable;
    try {
        Sspi sspi;
        return sspi.Check(u, d, p, expectedSid);
    } catch (...) {
        return CheckResult::Unavailable;
    }
}

CheckResult CheckCredentialsLogon(std::wstring_view user, std::wstring_view domain, std::wstring_view password,
                                  std::wstring_view expectedSid) {
    SecretAnsi u, d, p;
    if (!ToAnsiExact(user, u) || !ToAnsiExact(domain, d) || !ToAnsiExact(password, p)) return CheckResult::Unavailable;
    HANDLE raw = nullptr;
    if (!LogonUserA(u.text.c_str(), d.text.c_str(), p.text.c_str(), LOGON32_LOGON_NETWORK, LOGON32_PROVIDER_DEFAULT,
                    &raw)) {
        return IsDefinitiveRejection(GetLastError()) ? CheckResult::Reject : CheckResult::Unavailable;
    }
    const UniqueHandle token(raw);
    // The logon must be the expected account, not a guest it was mapped to.
    return TokenIsAccount(token.Get(), expectedSid) ? CheckResult::Pass : CheckResult::Unavailable;
}

CheckResult CheckCredentialsNetApi(std::wstring_view user, std::wstring_view domain, std::wstring_view password,
                                   std::wstring_view expectedSid) {
    using ChangePassword = NET_API_STATUS(WINAPI*)(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR);
    const UniqueModule netapi(LoadSystemLibrary(L"netapi32.dll"));
    const auto change = GetProc<ChangePassword>(netapi.Get(), "NetUserChangePassword");
    if (!change) return CheckResult::Unavailable;
    // No token comes back from this check: the account it asks about must itself be
    // the expected one.
    const std::vector<unsigned char> named = AccountNameToSid(QualifiedName(user, domain), true);
    if (expectedSid.empty() || named.empty() || SidToText(named.data()) != expectedSid) return CheckResult::Unavailable;
    const std::wstring u(user), d(domain);
    SecretText p(password);
    // The password is "changed" to the value it already has: a pass leaves the account as it was.
    const NET_API_STATUS status = change(d.empty() ? nullptr : d.c_str(), u.c_str(), p.Get().c_str(), p.Get().c_str());
    if (status == NERR_Success) return CheckResult::Pass;
    return IsDefinitiveRejection(status) ? CheckResult::Reject : CheckResult::Unavailable;
}

bool VerifyCredentials(std::wstring_view user, std::wstring_view domain, std::wstring_view password,
                       std::wstring_view expectedSid) {
    return RunCheckChain({&CheckCredentialsSspi, &CheckCredentialsLogon, &CheckCredentialsNetApi}, user, domain,
                         password, expectedSid);
}

std::wstring SystemCredentialCheck::AccountSidString(std::wstring_view account) const {
    return pm::AccountSidString(account);
}

bool SystemCredentialCheck::VerifyCredentials(std::wstring_view user, std::wstring_view domain,
                                              std::wstring_view password, std::wstring_view expectedSid) const {
    return pm::VerifyCredentials(user, domain, password, expectedSid);
}

const SystemCredentialCheck& SystemCredentialCheck::Instance() {
    static const SystemCredentialCheck check;
    return check;
}

}  // namespace pm
