#pragma once
// The 1616-byte request record a client receives on its pipe: a print job to
// authenticate, or (with two of its fields) a text message; and the answer to a job.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace pm {

inline constexpr size_t kRequestRecordSize = 1616;
using RequestBytes = std::array<uint8_t, kRequestRecordSize>;

// Field offsets and sizes in code units (a text field holds one unit less than its size).
namespace request {
inline constexpr size_t kFlags = 0;
inline constexpr size_t kServerComputer = 16, kServerComputerUnits = 21;
inline constexpr size_t kPrinterName = 100, kPrinterNameUnits = 261;
inline constexpr size_t kDocumentName = 622, kDocumentNameUnits = 161;
inline constexpr size_t kMessageText = 944, kMessageTextUnits = 261;
inline constexpr size_t kPaperSize = 1468, kPaperWidth = 1472, kPaperLength = 1476;
inline constexpr size_t kPages = 1480, kCopies = 1484, kCost = 1488;
inline constexpr size_t kSubmitted = 1496;
inline constexpr size_t kAuthMode = 1504;
inline constexpr size_t kPinCode = 1506, kPinCodeUnits = 51;
inline constexpr size_t kJobId = 1608;
inline constexpr size_t kReserved = 1612;
inline constexpr uint32_t kColourFlag = 0x00010000;  // bit 16 of RecordFlags
inline constexpr uint32_t kTextMessageKind = 2;      // RecordFlags of a text message
}  // namespace request

enum AuthMode : uint8_t {
    AuthNone = 1,
    AuthCurrentUser = 2,
    AuthAnyAccount = 3,
    AuthPinCode = 4,
};

struct RequestRecord {
    uint32_t RecordFlags = 0;
    std::wstring ServerComputer;
    std::wstring PrinterName;
    std::wstring DocumentName;
    std::wstring MessageText;
    uint32_t PaperSize = 0;
    uint32_t PaperWidth = 0;   // tenths of a millimetre
    uint32_t PaperLength = 0;  // tenths of a millimetre
    uint32_t Pages = 0;
    uint32_t Copies = 0;
    uint32_t Cost = 0;     // thousandths of the currency unit
    double Submitted = 0;  // day count, local time
    uint8_t AuthMode = 0;
    std::wstring PinCode;
    uint32_t JobId = 0;
    uint16_t Reserved = 0;
    // The printer field exactly as received: the answer returns it byte for byte.
    std::array<uint8_t, 2 * request::kPrinterNameUnits> PrinterNameBytes{};

    bool Colour() const { return (RecordFlags & request::kColourFlag) != 0; }
};

// Any bytes decode: a shorter record counts as zero-filled, a longer one is cut.
RequestRecord DecodeRequest(std::span<const uint8_t> bytes);
// Text fields are cut to one unit less than their size; unnamed bytes are zero.
// PrinterNameBytes is ignored: the printer field is written from PrinterName.
RequestBytes EncodeRequest(const RequestRecord& record);

// A text message: the kind (2 from the send-message dialog) and the text (cut to 260
// characters), every other byte zero.
RequestBytes EncodeTextMessage(std::wstring_view text, uint32_t kind = request::kTextMessageKind);
std::wstring DecodeTextMessage(std::span<const uint8_t> bytes);

// The answer to a job, as the five writes that carry it (538 bytes in all).
enum JobAction : uint32_t {
    JobActionDelete = 4,
    JobActionPrint = 8,
};
inline constexpr size_t kJobAnswerSize = 538;
struct JobAnswerParts {
    uint32_t code;
    std::array<uint8_t, 2 * request::kPrinterNameUnits> printer;
    uint32_t jobId;
    uint32_t action;
    uint32_t trailer;
};
JobAnswerParts MakeJobAnswer(const RequestRecord& record, JobAction action);
std::array<uint8_t, kJobAnswerSize> EncodeJobAnswer(const JobAnswerParts& answer);
// Decodes a received answer; fewer than 538 bytes decode as all zeros (code 0).
JobAnswerParts DecodeJobAnswer(std::span<const uint8_t> bytes);

}  // namespace pm
