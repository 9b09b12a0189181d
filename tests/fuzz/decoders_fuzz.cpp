// One fuzz entry over every decoder of the wire formats and the rules that take
// their results. Built as a libFuzzer target where clang is at hand, and driven by
// a bounded random-input test in every build.

#include <cstddef>
#include <cstdint>
#include <span>

#include "account/account_records.h"
#include "auth/request_record.h"
#include "pipes/name_blocks.h"
#include "support/day_count.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace pm;
    const std::span<const uint8_t> input(data, size);

    const RequestRecord request = DecodeRequest(input);
    DateTimeFromDayCount(request.Submitted);
    const RequestBytes again = EncodeRequest(request);
    // Re-encoding what was decoded must decode to the same fields.
    const RequestRecord twice = DecodeRequest(again);
    if (twice.PinCode.size() > 50 || twice.ServerComputer.size() > 20) __builtin_trap();
    EncodeJobAnswer(MakeJobAnswer(request, JobActionDelete));
    DecodeJobAnswer(input);
    DecodeTextMessage(input);

    DecodeComputerBlock(input);
    DecodeUserBlock(input);

    // The three replies of an account query cut from one input.
    const size_t third = size / 3;
    const bool money = DecodeAccountsInMoney(input.first(third));
    const AccountRecord defaults = DecodeAccountRecord(input.subspan(third, third));
    const AccountRecord user = DecodeAccountRecord(input.subspan(2 * third));
    const AccountSummary summary = DeriveAccountSummary(money, defaults, user);
    if (summary.updated && !IsValidDateTime(*summary.updated)) __builtin_trap();
    return 0;
}
