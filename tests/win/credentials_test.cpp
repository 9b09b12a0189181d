#include "auth/credentials_win.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support/error_log_win.h"
#include "support/names_win.h"
#include "support/process_win.h"
#include "support/temp_folder_win.h"
#include "support/test_log_win.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

// The chain's order and its stops, with checks that count their calls.
int calls[3];
CheckResult First(std::wstring_view, std::wstring_view, std::wstring_view) {
    ++calls[0];
    return CheckResult::Unavailable;
}
CheckResult SecondRejects(std::wstring_view, std::wstring_view, std::wstring_view) {
    ++calls[1];
    return CheckResult::Reject;
}
CheckResult SecondPasses(std::wstring_view, std::wstring_view, std::wstring_view) {
    ++calls[1];
    return CheckResult::Pass;
}
CheckResult SecondUnavailable(std::wstring_view, std::wstring_view, std::wstring_view) {
    ++calls[1];
    return CheckResult::Unavailable;
}
CheckResult Third(std::wstring_view, std::wstring_view, std::wstring_view) {
    ++calls[2];
    return CheckResult::Pass;
}

TEST(CheckChain, ADefinitiveRejectionEndsTheChain) {
    // Regression: one typo must not count as three failed logons against the account.
    calls[0] = calls[1] = calls[2] = 0;
    EXPECT_FALSE(RunCheckChain({&First, &SecondRejects, &Third}, L"anna", L"OFFICE", L"typo"));
    EXPECT_EQ(calls[0], 1);
    EXPECT_EQ(calls[1], 1);
    EXPECT_EQ(calls[2], 0);
}

TEST(CheckChain, FirstPassWinsAndUnavailableMovesOn) {
    calls[0] = calls[1] = calls[2] = 0;
    EXPECT_TRUE(RunCheckChain({&First, &SecondPasses, &Third}, L"a", L"", L"p"));
    EXPECT_EQ(calls[2], 0);
    EXPECT_TRUE(RunCheckChain({&First, &SecondUnavailable, &Third}, L"a", L"", L"p"));
    EXPECT_EQ(calls[2], 1);
    EXPECT_FALSE(RunCheckChain({&First, &SecondUnavailable}, L"a", L"", L"p"));
}

TEST(Credentials, TheCurrentUsersSidIsFound) {
    const std::wstring sid = AccountSidString(LocalUserName());
    EXPECT_EQ(sid.rfind(L"S-1-", 0), 0u) << "got \"" << std::string(sid.begin(), sid.end()) << "\"";
    EXPECT_EQ(SidToText(nullptr), L"");
    const unsigned char garbage[8] = {9, 9, 9, 9};
    EXPECT_EQ(SidToText(garbage), L"");
}

TEST(Credentials, AnUnknownAccountGivesNothingAndLogsCode82) {
    test::TestLogFolder();
    EXPECT_EQ(AccountSidString(L"no-such-account-4711"), L"");
    EXPECT_TRUE(test::WaitFor([&] { return test::TestLogText().find("] 82  Err:") != std::string::npos; }, 5s))
        << test::TestLogText();
}

TEST(Credentials, NoCheckCrashesWhateverTheSystemLacks) {
    // Under Wine the NTLM loopback never succeeds and the password change is a stub;
    // each check must come back with an answer, never take the process down.
    for (const wchar_t* password : {L"", L"wrong", L"\u4E2D\u6587"}) {
        CheckCredentialsSspi(L"nobody", L"", password);
        CheckCredentialsLogon(L"nobody", L"NOWHERE", password);
        CheckCredentialsNetApi(L"nobody", L"", password);
        VerifyCredentials(LocalUserName(), L"", password);
    }
    SUCCEED();
}

TEST(Credentials, APasswordTheCodePageCannotHoldIsNotTriedThroughAnsiCalls) {
    // A lossy ANSI copy could match another password and burn a lockout count.
    EXPECT_EQ(CheckCredentialsSspi(LocalUserName(), L"", L"\u4E2D\u6587"), CheckResult::Unavailable);
    EXPECT_EQ(CheckCredentialsLogon(LocalUserName(), L"", L"\u4E2D\u6587"), CheckResult::Unavailable);
}

TEST(Credentials, DefaultDomainIsEmptyWithoutTheValue) {
    // Wine's registry has no DefaultDomainName: the dialog then shows "\user".
    const std::wstring domain = GetDefaultDomain();
    EXPECT_EQ(domain.find(L'\\'), std::wstring::npos);
}

}  // namespace
}  // namespace pm
