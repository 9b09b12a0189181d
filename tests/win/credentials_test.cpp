#include "auth/credentials_win.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support/error_log_win.h"
#include "support/names_win.h"
#include "support/process_win.h"
#include "support/registry_win.h"
#include "support/temp_folder_win.h"
#include "support/test_log_win.h"
#include "support/unique_win.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

// The chain's order and its stops, with checks that count their calls.
int calls[3];
CheckResult First(std::wstring_view, std::wstring_view, std::wstring_view, std::wstring_view) {
    ++calls[0];
    return CheckResult::Unavailable;
}
CheckResult SecondRejects(std::wstring_view, std::wstring_view, std::wstring_view, std::wstring_view) {
    ++calls[1];
    return CheckResult::Reject;
}
CheckResult SecondPasses(std::wstring_view, std::wstring_view, std::wstring_view, std::wstring_view) {
    ++calls[1];
    return CheckResult::Pass;
}
CheckResult SecondUnavailable(std::wstring_view, std::wstring_view, std::wstring_view, std::wstring_view) {
    ++calls[1];
    return CheckResult::Unavailable;
}
CheckResult Third(std::wstring_view, std::wstring_view, std::wstring_view, std::wstring_view) {
    ++calls[2];
    return CheckResult::Pass;
}

TEST(CheckChain, ADefinitiveRejectionEndsTheChain) {
    // Regression: one typo must not count as three failed logons against the account.
    calls[0] = calls[1] = calls[2] = 0;
    EXPECT_FALSE(RunCheckChain({&First, &SecondRejects, &Third}, L"anna", L"OFFICE", L"typo", L"S-1-5-21-9"));
    EXPECT_EQ(calls[0], 1);
    EXPECT_EQ(calls[1], 1);
    EXPECT_EQ(calls[2], 0);
}

TEST(CheckChain, WhichErrorsAreAWrongPassword) {
    // Regression: the password change's "wrong password" (86) was taken for "could not
    // tell", so a typo went on to the next check and cost a second failed logon.
    for (unsigned long error :
         {ERROR_LOGON_FAILURE, ERROR_WRONG_PASSWORD, ERROR_INVALID_PASSWORD, ERROR_ACCOUNT_LOCKED_OUT})
        EXPECT_TRUE(IsDefinitiveRejection(error)) << error;
    for (unsigned long error : {ERROR_ACCESS_DENIED, ERROR_NO_LOGON_SERVERS, ERROR_NOT_SUPPORTED})
        EXPECT_FALSE(IsDefinitiveRejection(error)) << error;
}

TEST(CheckChain, FirstPassWinsAndUnavailableMovesOn) {
    calls[0] = calls[1] = calls[2] = 0;
    EXPECT_TRUE(RunCheckChain({&First, &SecondPasses, &Third}, L"a", L"", L"p", L"S-1-5-21-9"));
    EXPECT_EQ(calls[2], 0);
    EXPECT_TRUE(RunCheckChain({&First, &SecondUnavailable, &Third}, L"a", L"", L"p", L"S-1-5-21-9"));
    EXPECT_EQ(calls[2], 1);
    EXPECT_FALSE(RunCheckChain({&First, &SecondUnavailable}, L"a", L"", L"p", L"S-1-5-21-9"));
}

TEST(Credentials, TheCurrentUsersSidIsFound) {
    const std::wstring sid = AccountSidString(LocalUserName());
    EXPECT_EQ(sid.rfind(L"S-1-", 0), 0u) << "got \"" << std::string(sid.begin(), sid.end()) << "\"";
    EXPECT_EQ(SidToText(nullptr), L"");
    const unsigned char garbage[8] = {9, 9, 9, 9};
    EXPECT_EQ(SidToText(garbage), L"");
}

TEST(Credentials, AnUnknownAccountGivesNothingAndLogsCode82ButAPasswordCheckStaysQuiet) {
    test::TestLogFolder();
    // A name the user mistyped into the dialog is no lookup fault (regression: 82 was logged).
    EXPECT_EQ(CheckCredentialsNetApi(L"no-such-account-4711", L"NOWHERE", L"pw", L"S-1-5-21-1-2-3-1001"),
              CheckResult::Unavailable);
    EXPECT_EQ(AccountSidString(L"no-such-account-4711"), L"");
    EXPECT_TRUE(test::WaitFor([&] { return test::TestLogText().find("] 82  Err:") != std::string::npos; }, 5s))
        << test::TestLogText();
    const std::string log = test::TestLogText();
    EXPECT_EQ(log.find("] 82  Err:"), log.rfind("] 82  Err:")) << "one entry, the lookup's: " << log;
}

TEST(Credentials, APassCountsOnlyForTheExpectedAccount) {
    // Regression: the identity that logged on was judged by the name in the box, so a
    // prefilled or typed name could decide whose password was checked. Every check
    // now asks the logged-on token for its SID (Wine's logon tokens cannot be asked,
    // so the guard is shown on this process's own token).
    HANDLE raw = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw));
    const UniqueHandle token(raw);
    const std::wstring me = ProcessUserSid();
    EXPECT_TRUE(TokenIsAccount(token.Get(), me));
    EXPECT_FALSE(TokenIsAccount(token.Get(), L"S-1-5-21-1-2-3-1001"));
    EXPECT_FALSE(TokenIsAccount(token.Get(), L""));
    // Under Wine the NTLM loopback never succeeds, the logon's token cannot be read and
    // the password change is a stub: each check answers, and none passes.
    for (const wchar_t* password : {L"", L"wrong", L"\u4E2D\u6587"}) {
        EXPECT_NE(CheckCredentialsSspi(LocalUserName(), L"", password, me), CheckResult::Pass);
        EXPECT_NE(CheckCredentialsLogon(LocalUserName(), L"", password, me), CheckResult::Pass);
        EXPECT_NE(CheckCredentialsNetApi(L"nobody", L"", password, me), CheckResult::Pass);
    }
}

TEST(Credentials, APasswordTheCodePageCannotHoldIsNotTriedThroughAnsiCalls) {
    // A lossy ANSI copy could match another password and burn a lockout count.
    const std::wstring me = ProcessUserSid();
    EXPECT_EQ(CheckCredentialsSspi(LocalUserName(), L"", L"\u4E2D\u6587", me), CheckResult::Unavailable);
    EXPECT_EQ(CheckCredentialsLogon(LocalUserName(), L"", L"\u4E2D\u6587", me), CheckResult::Unavailable);
}

TEST(Credentials, TheDefaultDomainIsTheLogonsValueOrNothing) {
    const UniqueKey key = reg::OpenKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
                                       reg::Access::ReadWrite);
    ASSERT_TRUE(key);
    const auto saved = reg::ReadString(key.Get(), L"DefaultDomainName");
    ASSERT_TRUE(reg::WriteString(key.Get(), L"DefaultDomainName", L"OFFICE"));
    EXPECT_EQ(GetDefaultDomain(), L"OFFICE");
    RegDeleteValueW(key.Get(), L"DefaultDomainName");
    EXPECT_EQ(GetDefaultDomain(), L"");  // the dialog then shows "\user"
    if (saved.Ok()) reg::WriteString(key.Get(), L"DefaultDomainName", saved.value);
}

}  // namespace
}  // namespace pm
