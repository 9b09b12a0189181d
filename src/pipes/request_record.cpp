#include "pipes/request_record.h"

#include <algorithm>

#include "pipes/message_codes.h"
#include "support/bytes.h"

namespace pm {

using namespace request;

RequestRecord DecodeRequest(std::span<const uint8_t> input) {
    const RequestBytes b = bytes::ZeroFilled<kRequestRecordSize>(input);
    RequestRecord r;
    r.RecordFlags = bytes::Get32(b, kFlags);
    r.ServerComputer = bytes::GetText(b, kServerComputer, kServerComputerUnits);
    r.PrinterName = bytes::GetText(b, kPrinterName, kPrinterNameUnits);
    r.DocumentName = bytes::GetText(b, kDocumentName, kDocumentNameUnits);
    r.MessageText = bytes::GetText(b, kMessageText, kMessageTextUnits);
    r.PaperSize = bytes::Get32(b, kPaperSize);
    r.PaperWidth = bytes::Get32(b, kPaperWidth);
    r.PaperLength = bytes::Get32(b, kPaperLength);
    r.Pages = bytes::Get32(b, kPages);
    r.Copies = bytes::Get32(b, kCopies);
    r.Cost = bytes::Get32(b, kCost);
    r.Submitted = bytes::GetDouble(b, kSubmitted);
    r.AuthMode = b[kAuthMode];
    r.PinCode = bytes::GetText(b, kPinCode, kPinCodeUnits);
    r.JobId = bytes::Get32(b, kJobId);
    r.Reserved = bytes::Get16(b, kReserved);
    std::copy_n(b.begin() + kPrinterName, r.PrinterNameBytes.size(), r.PrinterNameBytes.begin());
    return r;
}

RequestBytes EncodeRequest(const RequestRecord& r) {
    RequestBytes b{};
    bytes::Put32(b, kFlags, r.RecordFlags);
    bytes::PutText(b, kServerComputer, kServerComputerUnits, r.ServerComputer);
    bytes::PutText(b, kPrinterName, kPrinterNameUnits, r.PrinterName);
    bytes::PutText(b, kDocumentName, kDocumentNameUnits, r.DocumentName);
    bytes::PutText(b, kMessageText, kMessageTextUnits, r.MessageText);
    bytes::Put32(b, kPaperSize, r.PaperSize);
    bytes::Put32(b, kPaperWidth, r.PaperWidth);
    bytes::Put32(b, kPaperLength, r.PaperLength);
    bytes::Put32(b, kPages, r.Pages);
    bytes::Put32(b, kCopies, r.Copies);
    bytes::Put32(b, kCost, r.Cost);
    bytes::PutDouble(b, kSubmitted, r.Submitted);
    b[kAuthMode] = r.AuthMode;
    bytes::PutText(b, kPinCode, kPinCodeUnits, r.PinCode);
    bytes::Put32(b, kJobId, r.JobId);
    bytes::Put16(b, kReserved, r.Reserved);
    return b;
}

RequestBytes EncodeTextMessage(std::wstring_view text, uint32_t kind) {
    RequestBytes b{};
    bytes::Put32(b, kFlags, kind);
    bytes::PutText(b, kMessageText, kMessageTextUnits, text);
    return b;
}

std::wstring DecodeTextMessage(std::span<const uint8_t> input) {
    return bytes::GetText(bytes::ZeroFilled<kRequestRecordSize>(input), kMessageText, kMessageTextUnits);
}

JobAnswerParts MakeJobAnswer(const RequestRecord& record, JobAction action) {
    return {code::kJobAnswer, record.PrinterNameBytes, record.JobId, uint32_t(action), 0};
}

std::array<uint8_t, kJobAnswerSize> EncodeJobAnswer(const JobAnswerParts& a) {
    std::array<uint8_t, kJobAnswerSize> b{};
    bytes::Put32(b, 0, a.code);
    std::copy(a.printer.begin(), a.printer.end(), b.begin() + 4);
    bytes::Put32(b, 526, a.jobId);
    bytes::Put32(b, 530, a.action);
    bytes::Put32(b, 534, a.trailer);
    return b;
}

JobAnswerParts DecodeJobAnswer(std::span<const uint8_t> input) {
    JobAnswerParts a{};
    if (input.size() < kJobAnswerSize) return a;
    a.code = bytes::Get32(input, 0);
    std::copy_n(input.begin() + 4, a.printer.size(), a.printer.begin());
    a.jobId = bytes::Get32(input, 526);
    a.action = bytes::Get32(input, 530);
    a.trailer = bytes::Get32(input, 534);
    return a;
}

}  // namespace pm
