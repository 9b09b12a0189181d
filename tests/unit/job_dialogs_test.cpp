#include "auth/job_dialogs.h"

#include <gtest/gtest.h>

namespace pm {
namespace {

TEST(JobDialogs, OnePerJobAtMostTheLimitAndOneLogPerBurst) {
    JobDialogs dialogs;
    int tokens[JobDialogs::kLimit + 1];
    for (uint32_t i = 0; i < JobDialogs::kLimit; ++i)
        ASSERT_TRUE(dialogs.Add(MakeJobKey(L"ps1", i, L"corp\\ps1$", true), &tokens[i]));
    EXPECT_EQ(dialogs.Admit(MakeJobKey(L"PS1", 3, L"CORP\\PS1$")), JobDialogs::Admission::Open);
    EXPECT_EQ(dialogs.Find(MakeJobKey(L"Ps1", 3, L"Corp\\Ps1$")), &tokens[3]);
    EXPECT_EQ(dialogs.Admit(MakeJobKey(L"PS2", 3, L"CORP\\PS1$", true)), JobDialogs::Admission::Full)
        << "another server's job 3";
    EXPECT_FALSE(dialogs.Add(MakeJobKey(L"PS2", 3), &tokens[JobDialogs::kLimit]));
    EXPECT_TRUE(dialogs.RefusalStartsBurst());
    EXPECT_FALSE(dialogs.RefusalStartsBurst());

    dialogs.Remove(&tokens[3]);
    EXPECT_EQ(dialogs.Count(), JobDialogs::kLimit - 1);
    EXPECT_EQ(dialogs.Admit(MakeJobKey(L"PS1", 3, L"CORP\\PS1$", true)), JobDialogs::Admission::New);
    EXPECT_TRUE(dialogs.RefusalStartsBurst()) << "a new burst after the dialogs fell below the limit";
}

TEST(JobDialogs, AnAccountHoldsItsShareAndCannotTakeAnotherAccountsJob) {
    JobDialogs dialogs;
    int tokens[JobDialogs::kPerAccount + 1];
    for (uint32_t i = 0; i < JobDialogs::kPerAccount; ++i)
        ASSERT_TRUE(dialogs.Add(MakeJobKey(L"PS1", i, L"CORP\\mallory"), &tokens[i]));
    EXPECT_EQ(dialogs.Admit(MakeJobKey(L"PS1", 100, L"corp\\MALLORY")), JobDialogs::Admission::AccountFull);
    EXPECT_TRUE(dialogs.AccountRefusalStartsBurst(MakeJobKey(L"PS1", 100, L"CORP\\MALLORY")));
    EXPECT_FALSE(dialogs.AccountRefusalStartsBurst(MakeJobKey(L"PS1", 101, L"CORP\\MALLORY")));
    // The genuine request for a job another account asked for first opens its own dialog.
    EXPECT_EQ(dialogs.Admit(MakeJobKey(L"PS1", 0, L"CORP\\PS1$", true)), JobDialogs::Admission::New);
    EXPECT_EQ(dialogs.Admit(MakeJobKey(L"PS1", 100, L"CORP\\anna")), JobDialogs::Admission::New);

    dialogs.Remove(&tokens[0]);
    EXPECT_EQ(dialogs.Admit(MakeJobKey(L"PS1", 100, L"CORP\\MALLORY")), JobDialogs::Admission::New);
    EXPECT_TRUE(dialogs.AccountRefusalStartsBurst(MakeJobKey(L"PS1", 100, L"CORP\\MALLORY")))
        << "a new burst once the account is below its share";
}

}  // namespace
}  // namespace pm
