#include "account/account_records.h"

#include <algorithm>

#include "support/bytes.h"
#include "support/day_count.h"

namespace pm {

using namespace account;

bool DecodeAccountsInMoney(std::span<const uint8_t> settings) {
    return !settings.empty() && (settings[0] & 1);
}

std::vector<uint8_t> EncodeServerSettings(bool money) {
    std::vector<uint8_t> b(kServerSettingsSize, 0);
    b[0] = money ? 1 : 0;
    return b;
}

AccountRecord DecodeAccountRecord(std::span<const uint8_t> input) {
    const auto b = bytes::ZeroFilled<kAccountRecordSize>(input);
    AccountRecord r;
    r.flags = bytes::Get32(b, kFlags);
    r.moneyBalance = int32_t(bytes::Get32(b, kMoneyBalance));
    r.pagesBalance = int32_t(bytes::Get32(b, kPagesBalance));
    r.moneyLimit = bytes::Get32(b, kMoneyLimit);
    r.pagesLimit = bytes::Get32(b, kPagesLimit);
    r.updatingFlags = bytes::Get32(b, kUpdatingFlags);
    for (size_t i = 0; i < r.updated.size(); ++i)
        r.updated[i] = bytes::Get16(b, kUpdated + 2 * i);
    return r;
}

std::vector<uint8_t> EncodeAccountRecord(const AccountRecord& r) {
    std::vector<uint8_t> b(kAccountRecordSize, 0);
    bytes::Put32(b, kFlags, r.flags);
    bytes::Put32(b, kMoneyBalance, uint32_t(r.moneyBalance));
    bytes::Put32(b, kPagesBalance, uint32_t(r.pagesBalance));
    bytes::Put32(b, kMoneyLimit, r.moneyLimit);
    bytes::Put32(b, kPagesLimit, r.pagesLimit);
    bytes::Put32(b, kUpdatingFlags, r.updatingFlags);
    for (size_t i = 0; i < r.updated.size(); ++i)
        bytes::Put16(b, kUpdated + 2 * i, r.updated[i]);
    return b;
}

AccountSummary DeriveAccountSummary(bool money, const AccountRecord& defaultAccount, const AccountRecord& user) {
    AccountSummary s;
    s.money = money;
    s.balance = money ? user.moneyBalance : user.pagesBalance;

    const AccountRecord& limits = (user.flags & 1) ? defaultAccount : user;
    if (limits.flags & 2) s.restriction = money ? limits.moneyLimit : limits.pagesLimit;

    const AccountRecord& updating = (user.updatingFlags & 1) ? defaultAccount : user;
    if (updating.updatingFlags & 6) {
        const auto& u = updating.updated;  // the day of week (u[2]) is not read
        const LocalTime t{u[0], u[1], u[3], u[4], u[5], u[6], u[7]};
        if (IsValidDateTime(t)) s.updated = t;
    }
    return s;
}

}  // namespace pm
