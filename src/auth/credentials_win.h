#pragma once
// Local checks of Windows credentials: does an account exist, and does the person
// at the desktop know its password. Nothing here shows anything; failures are
// plain results. Runs on the calling (user-interface) thread and blocks it while
// the security system answers.
//
// A password is tried by three checks in a fixed order: a local NTLM exchange, a
// network logon, a change of the password to itself. The first pass wins. A check
// that is sure the password is wrong ends the chain, so one typo costs the account
// one failed logon and not three. A pass counts only when the identity that logged
// on has the SID the caller expects (a guest mapping does not pass, and neither does
// another account whose name was typed or prefilled); the caller takes that SID from
// its own process token, or from the account it looked up. A password
// that the ANSI code page cannot hold exactly is not tried through the ANSI calls.
// Every copy of a password is wiped after use.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pm {

// The outcome of one check.
enum class CheckResult {
    Pass,         // the password is right for this account
    Reject,       // the password is wrong (or the account may not log on): stop here
    Unavailable,  // the check could not tell: try the next one
};

// Wipes its characters when destroyed. For passwords.
class SecretText {
public:
    SecretText() = default;
    explicit SecretText(std::wstring_view text) : text_(text) {}
    SecretText(const SecretText&) = delete;
    SecretText& operator=(const SecretText&) = delete;
    ~SecretText();
    const std::wstring& Get() const { return text_; }
    std::wstring& Edit() { return text_; }

private:
    std::wstring text_;
};

// The dialog's view of the checks, so tests can pass a fake.
class CredentialCheck {
public:
    virtual ~CredentialCheck() = default;
    // The account's SID as text, "" when it does not exist.
    virtual std::wstring AccountSidString(std::wstring_view account) const = 0;
    // True when the password is right and the identity that logs on has `expectedSid`.
    virtual bool VerifyCredentials(std::wstring_view user, std::wstring_view domain, std::wstring_view password,
                                   std::wstring_view expectedSid) const = 0;
};

// The chain over the system's checks.
class SystemCredentialCheck final : public CredentialCheck {
public:
    std::wstring AccountSidString(std::wstring_view account) const override;
    bool VerifyCredentials(std::wstring_view user, std::wstring_view domain, std::wstring_view password,
                           std::wstring_view expectedSid) const override;
    static const SystemCredentialCheck& Instance();
};

// A system error that says for sure that the password (or the account's right to log
// on) is wrong: the check that got it rejects, and the chain stops.
bool IsDefinitiveRejection(unsigned long error);

// First pass wins; a Reject ends the chain; all Unavailable is a failure.
using CheckFunction = CheckResult (*)(std::wstring_view user, std::wstring_view domain, std::wstring_view password,
                                      std::wstring_view expectedSid);
bool RunCheckChain(const std::vector<CheckFunction>& checks, std::wstring_view user, std::wstring_view domain,
                   std::wstring_view password, std::wstring_view expectedSid);

// The account's SID (a buffer of SID bytes), empty when not found (log entry 82 when
// the size query failed for another reason than the buffer size, unless `quiet`: a
// password check that looks up a name the user typed is no lookup fault).
std::vector<unsigned char> AccountNameToSid(std::wstring_view account, bool quiet = false);
// The textual form of a SID; "" when it is not a valid SID.
std::wstring SidToText(const void* sid);
std::wstring AccountSidString(std::wstring_view account);

// The guard every check passes through: true only when the token's user has
// `expectedSid` (never for an empty one).
bool TokenIsAccount(void* token, std::wstring_view expectedSid);

// HKLM Winlogon "DefaultDomainName", "" when missing.
std::wstring GetDefaultDomain();

CheckResult CheckCredentialsSspi(std::wstring_view user, std::wstring_view domain, std::wstring_view password,
                                 std::wstring_view expectedSid);
CheckResult CheckCredentialsLogon(std::wstring_view user, std::wstring_view domain, std::wstring_view password,
                                  std::wstring_view expectedSid);
CheckResult CheckCredentialsNetApi(std::wstring_view user, std::wstring_view domain, std::wstring_view password,
                                   std::wstring_view expectedSid);
bool VerifyCredentials(std::wstring_view user, std::wstring_view domain, std::wstring_view password,
                       std::wstring_view expectedSid);

}  // namespace pm
