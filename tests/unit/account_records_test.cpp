#include "account/account_records.h"

#include <gtest/gtest.h>

#include <vector>

namespace pm {
namespace {

AccountRecord Limited(uint32_t money, uint32_t pages) {
    AccountRecord r;
    r.flags = 2;
    r.moneyLimit = money;
    r.pagesLimit = pages;
    return r;
}

TEST(AccountSummary, OnlyBitZeroOfTheSettingsByteCounts) {
    std::vector<uint8_t> settings = EncodeServerSettings(false);
    settings[0] = 0x03;
    EXPECT_TRUE(DecodeAccountsInMoney(settings));
    settings[0] = 0x02;
    EXPECT_FALSE(DecodeAccountsInMoney(settings));
    EXPECT_EQ(EncodeServerSettings(true).size(), kServerSettingsSize);
}

TEST(AccountSummary, BalanceFollowsTheAccountingKind) {
    AccountRecord user;
    user.moneyBalance = -1500;
    user.pagesBalance = 42;
    EXPECT_EQ(DeriveAccountSummary(true, {}, user).balance, -1500);
    EXPECT_EQ(DeriveAccountSummary(false, {}, user).balance, 42);
}

TEST(AccountSummary, RestrictionFromTheDefaultRecordWhenTheUserFollowsIt) {
    AccountRecord user = Limited(1000, 500);
    user.flags |= 1;  // follows the default, which has no limit
    EXPECT_EQ(DeriveAccountSummary(false, AccountRecord{}, user).restriction, std::nullopt);
    EXPECT_EQ(DeriveAccountSummary(false, Limited(7, 70), user).restriction, 70u);
}

TEST(AccountSummary, OwnLimitInPagesAndMoneyReadUnsigned) {
    EXPECT_EQ(DeriveAccountSummary(false, {}, Limited(1000, 500)).restriction, 500u);
    EXPECT_EQ(DeriveAccountSummary(true, {}, Limited(4294967295u, 1)).restriction, 4294967295u);
    AccountRecord unlimited = Limited(1000, 500);
    unlimited.flags = 0;
    EXPECT_EQ(DeriveAccountSummary(true, {}, unlimited).restriction, std::nullopt);
}

TEST(AccountSummary, DateOfUpdatingFromTheChosenSource) {
    AccountRecord user;
    user.updated = {2026, 12, 0, 1, 8, 30, 15, 250};
    user.updatingFlags = 4;  // bit 2 alone is enough
    auto s = DeriveAccountSummary(true, {}, user);
    ASSERT_TRUE(s.updated);
    EXPECT_EQ(s.updated->year, 2026);
    EXPECT_EQ(s.updated->day, 1);
    EXPECT_EQ(s.updated->minute, 30);
    EXPECT_EQ(s.updated->millisecond, 250);

    user.updatingFlags = 0x18;  // neither bit 1 nor bit 2
    EXPECT_EQ(DeriveAccountSummary(true, {}, user).updated, std::nullopt);

    AccountRecord defaults;
    defaults.updatingFlags = 2;
    defaults.updated = {2025, 1, 0, 2, 0, 0, 0, 0};
    user.updatingFlags = 1 | 2;  // follows the default
    s = DeriveAccountSummary(true, defaults, user);
    ASSERT_TRUE(s.updated);
    EXPECT_EQ(s.updated->year, 2025);
}

TEST(AccountSummary, AnInvalidDateIsDroppedButTheRestStays) {
    AccountRecord user = Limited(5, 6);
    user.moneyBalance = 9;
    user.updatingFlags = 2;
    user.updated = {2026, 13, 0, 40, 25, 0, 0, 0};
    const auto s = DeriveAccountSummary(true, {}, user);
    EXPECT_EQ(s.updated, std::nullopt);
    EXPECT_EQ(s.balance, 9);
    EXPECT_EQ(s.restriction, 5u);
}

TEST(AccountRecordBytes, FieldsAtTheirOffsets) {
    AccountRecord r;
    r.flags = 3;
    r.moneyBalance = -1500;
    r.pagesLimit = 500;
    r.updated = {2026, 12, 2, 1, 8, 0, 0, 0};
    const auto b = EncodeAccountRecord(r);
    ASSERT_EQ(b.size(), kAccountRecordSize);
    EXPECT_EQ(b[0], 3);
    EXPECT_EQ(b[4624], 0x24);  // -1500 = 0xFFFFFA24
    EXPECT_EQ(b[4625], 0xFA);
    EXPECT_EQ(b[4627], 0xFF);
    EXPECT_EQ(b[4644], 0xF4);  // 500
    EXPECT_EQ(b[4645], 0x01);
    EXPECT_EQ(b[4670], 0xEA);  // 2026
    EXPECT_EQ(b[4671], 0x07);
    EXPECT_EQ(DecodeAccountRecord(b).moneyBalance, -1500);
    // Decoded from bytes written by hand, not by the encoder.
    std::vector<uint8_t> hand(kAccountRecordSize);
    hand[4632] = 0xFB, hand[4633] = hand[4634] = hand[4635] = 0xFF;  // pages balance -5
    hand[4640] = 0x50, hand[4641] = 0xC3;                            // money limit 50000
    hand[4648] = 0x04;                                               // updating flags
    hand[4670] = 0xEA, hand[4671] = 0x07;                            // 2026
    const AccountRecord d = DecodeAccountRecord(hand);
    EXPECT_EQ(d.pagesBalance, -5);
    EXPECT_EQ(d.moneyLimit, 50000u);
    EXPECT_EQ(d.updatingFlags, 4u);
    EXPECT_EQ(d.updated[0], 2026);
    // A short reply leaves the rest zero.
    EXPECT_EQ(DecodeAccountRecord(std::span<const uint8_t>(b.data(), 100)).pagesLimit, 0u);
}

}  // namespace
}  // namespace pm
