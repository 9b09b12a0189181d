#include "auth/job_dialogs.h"

#include <gtest/gtest.h>

namespace pm {
namespace {

TEST(JobDialogs, OnePerJobAtMostTheLimitAndOneLogPerBurst) {
    JobDialogs dialogs;
    int tokens[JobDialogs::kLimit + 1];
    for (uint32_t i = 0; i < JobDialogs::kLimit; ++i)
        ASSERT_TRUE(dialogs.Add(MakeJobKey(L"ps1", i), &tokens[i]));
    EXPECT_EQ(dialogs.Admit(MakeJobKey(L"PS1", 3)), JobDialogs::Admission::Open);
    EXPECT_EQ(dialogs.Find(MakeJobKey(L"Ps1", 3)), &tokens[3]);
    EXPECT_EQ(dialogs.Admit(MakeJobKey(L"PS2", 3)), JobDialogs::Admission::Full) << "another server's job 3";
    EXPECT_FALSE(dialogs.Add(MakeJobKey(L"PS2", 3), &tokens[JobDialogs::kLimit]));
    EXPECT_TRUE(dialogs.RefusalStartsBurst());
    EXPECT_FALSE(dialogs.RefusalStartsBurst());

    dialogs.Remove(&tokens[3]);
    EXPECT_EQ(dialogs.Count(), JobDialogs::kLimit - 1);
    EXPECT_EQ(dialogs.Admit(MakeJobKey(L"PS1", 3)), JobDialogs::Admission::New);
    EXPECT_TRUE(dialogs.RefusalStartsBurst()) << "a new burst after the dialogs fell below the limit";
}

}  // namespace
}  // namespace pm
