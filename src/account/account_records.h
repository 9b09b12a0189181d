#pragma once
// The records of the account query and the summary the account window shows.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "support/clock.h"

namespace pm {

inline constexpr size_t kServerSettingsSize = 22852;
inline constexpr size_t kAccountRecordSize = 5724;

// Byte 0, bit 0 of the settings record: the server accounts in money (else pages).
bool DecodeAccountsInMoney(std::span<const uint8_t> settings);
std::vector<uint8_t> EncodeServerSettings(bool money);

// The fields the client reads from an account record.
struct AccountRecord {
    uint32_t flags = 0;        // bit 0: restriction follows the default; bit 1: has a limit
    int32_t moneyBalance = 0;  // thousandths of the currency unit
    int32_t pagesBalance = 0;
    uint32_t moneyLimit = 0;  // thousandths of the currency unit
    uint32_t pagesLimit = 0;
    uint32_t updatingFlags = 0;  // bit 0: updating follows the default; bit 1 or 2: an updating is set
    // Year, month, day of week, day, hour, minute, second, milliseconds.
    std::array<uint16_t, 8> updated{};
};

namespace account {
inline constexpr size_t kFlags = 0, kMoneyBalance = 4624, kPagesBalance = 4632;
inline constexpr size_t kMoneyLimit = 4640, kPagesLimit = 4644;
inline constexpr size_t kUpdatingFlags = 4648, kUpdated = 4670;
}  // namespace account

// Any bytes decode: a shorter record counts as zero-filled.
AccountRecord DecodeAccountRecord(std::span<const uint8_t> bytes);
std::vector<uint8_t> EncodeAccountRecord(const AccountRecord& record);

struct AccountSummary {
    bool money = false;
    int32_t balance = 0;                  // thousandths in money, else pages
    std::optional<uint32_t> restriction;  // none: unlimited
    std::optional<LocalTime> updated;     // none: no date of updating (or not a valid date)
};

// Combines the three replies. A date of updating that is not a valid date and time
// counts as none; the balance and restriction still come through.
AccountSummary DeriveAccountSummary(bool money, const AccountRecord& defaultAccount, const AccountRecord& user);

}  // namespace pm
