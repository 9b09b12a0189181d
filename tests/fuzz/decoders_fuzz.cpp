// One fuzz entry over every decoder of the wire formats and the rules that take
// their results. Built as a libFuzzer target where clang is at hand, and driven by
// a bounded random-input test in every build.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "account/account_records.h"
#include "pipes/name_blocks.h"
#include "pipes/request_record.h"
#include "support/day_count.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace pm;
    const std::span<const uint8_t> input(data, size);

    const RequestRecord request = DecodeRequest(input);
    DateTimeFromDayCount(request.Submitted);
    // Re-encoding what was decoded must decode to the same fields, the texts cut to
    // one unit less than their size and the numbers bit for bit (NaN included).
    const RequestRecord twice = DecodeRequest(EncodeRequest(request));
    auto cut = [](const std::wstring& text, size_t units) { return text.substr(0, units - 1); };
    if (twice.RecordFlags != request.RecordFlags ||
        twice.ServerComputer != cut(request.ServerComputer, request::kServerComputerUnits) ||
        twice.PrinterName != cut(request.PrinterName, request::kPrinterNameUnits) ||
        twice.DocumentName != cut(request.DocumentName, request::kDocumentNameUnits) ||
        twice.MessageText != cut(request.MessageText, request::kMessageTextUnits) ||
        twice.PaperSize != request.PaperSize || twice.PaperWidth != request.PaperWidth ||
        twice.PaperLength != request.PaperLength || twice.Pages != request.Pages || twice.Copies != request.Copies ||
        twice.Cost != request.Cost || std::memcmp(&twice.Submitted, &request.Submitted, sizeof(double)) != 0 ||
        twice.AuthMode != request.AuthMode || twice.PinCode != cut(request.PinCode, request::kPinCodeUnits) ||
        twice.JobId != request.JobId || twice.Reserved != request.Reserved)
        __builtin_trap();
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
