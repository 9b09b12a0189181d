#include "pipes/request_record.h"

#include <gtest/gtest.h>

#include "pipes/message_codes.h"

namespace pm {
namespace {

// Hand-written bytes: the encoder and the decoder are not tested against each other only.
RequestBytes HandWritten() {
    RequestBytes b{};
    b[0] = 0x07;  // RecordFlags 0x00010007: colour plus bits the client ignores
    b[2] = 0x01;
    const char16_t server[] = u"PRINTSRV";
    for (size_t i = 0; server[i]; ++i)
        b[16 + 2 * i] = uint8_t(server[i]);
    const char16_t printer[] = u"Laser";
    for (size_t i = 0; printer[i]; ++i)
        b[100 + 2 * i] = uint8_t(printer[i]);
    b[100 + 12] = 0xEE;  // after the terminator: kept for the answer
    b[622] = 'D';
    b[1468] = 9;                     // PaperSize
    b[1472] = 0x34, b[1473] = 0x08;  // PaperWidth 2100
    b[1476] = 0x9A, b[1477] = 0x0B;  // PaperLength 2970
    b[1480] = 12;                    // Pages
    b[1484] = 2;                     // Copies
    b[1488] = 0xDC, b[1489] = 0x05;  // Cost 1500
    // Submitted 46000.5 as a little-endian double: 0x40E6761000000000
    const uint8_t submitted[8] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x76, 0xE6, 0x40};
    std::copy(submitted, submitted + 8, b.begin() + 1496);
    b[1504] = 4;  // AuthMode
    b[1506] = '1', b[1508] = '2', b[1510] = '3', b[1512] = '4';
    b[1608] = 0x78, b[1609] = 0x56, b[1610] = 0x34, b[1611] = 0x12;  // JobId
    b[1612] = 0xCD, b[1613] = 0xAB;
    return b;
}

TEST(RequestRecord, DecodesEveryFieldAtItsOffset) {
    const RequestRecord r = DecodeRequest(HandWritten());
    EXPECT_EQ(r.RecordFlags, 0x00010007u);
    EXPECT_TRUE(r.Colour());
    EXPECT_EQ(r.ServerComputer, L"PRINTSRV");
    EXPECT_EQ(r.PrinterName, L"Laser");
    EXPECT_EQ(r.DocumentName, L"D");
    EXPECT_EQ(r.MessageText, L"");
    EXPECT_EQ(r.PaperSize, 9u);
    EXPECT_EQ(r.PaperWidth, 2100u);
    EXPECT_EQ(r.PaperLength, 2970u);
    EXPECT_EQ(r.Pages, 12u);
    EXPECT_EQ(r.Copies, 2u);
    EXPECT_EQ(r.Cost, 1500u);
    EXPECT_EQ(r.Submitted, 46000.5);
    EXPECT_EQ(r.AuthMode, AuthPinCode);
    EXPECT_EQ(r.PinCode, L"1234");
    EXPECT_EQ(r.JobId, 0x12345678u);
    EXPECT_EQ(r.Reserved, 0xABCDu);
    EXPECT_EQ(r.PrinterNameBytes[12], 0xEE);
}

TEST(RequestRecord, EncodeWritesTheSameBytesAsTheHandWrittenRecord) {
    RequestRecord r = DecodeRequest(HandWritten());
    RequestBytes expected = HandWritten();
    expected[100 + 12] = 0;  // the encoder writes the printer from its text: zeros after it
    EXPECT_EQ(EncodeRequest(r), expected);
}

TEST(RequestRecord, TextFieldsAreCutToOneUnitLessThanTheirSize) {
    RequestRecord r;
    r.ServerComputer = std::wstring(30, L'S');
    r.PrinterName = std::wstring(300, L'P');
    r.PinCode = std::wstring(60, L'9');
    const RequestBytes b = EncodeRequest(r);
    const RequestRecord back = DecodeRequest(b);
    EXPECT_EQ(back.ServerComputer, std::wstring(20, L'S'));
    EXPECT_EQ(back.PrinterName, std::wstring(260, L'P'));
    EXPECT_EQ(back.PinCode, std::wstring(50, L'9'));
    EXPECT_EQ(b[16 + 40], 0);  // the terminator is written
    EXPECT_EQ(b[16 + 41], 0);
}

TEST(RequestRecord, AFieldFilledToTheEndIsReadWhole) {
    RequestBytes b{};
    for (size_t i = 0; i < 261; ++i)
        b[944 + 2 * i] = 'x';  // no zero within the 261 units
    EXPECT_EQ(DecodeTextMessage(b), std::wstring(261, L'x'));
}

TEST(RequestRecord, ShortAndLongInputs) {
    const RequestBytes full = HandWritten();
    // Up to the PIN code only: everything after counts as zero.
    const RequestRecord shortRecord = DecodeRequest(std::span<const uint8_t>(full.data(), 1508));
    EXPECT_EQ(shortRecord.PinCode, L"1");
    EXPECT_EQ(shortRecord.JobId, 0u);
    EXPECT_EQ(DecodeRequest(std::span<const uint8_t>()).ServerComputer, L"");
    std::vector<uint8_t> longer(full.begin(), full.end());
    longer.resize(4000, 0xFF);
    EXPECT_EQ(DecodeRequest(longer).JobId, 0x12345678u);
}

TEST(TextMessage, KindTwoAndTheTextCutAt260) {
    const RequestBytes b = EncodeTextMessage(std::wstring(300, L'm'));
    EXPECT_EQ(b[0], 2);
    for (size_t i = 1; i < 944; ++i)
        ASSERT_EQ(b[i], 0) << i;
    EXPECT_EQ(DecodeTextMessage(b), std::wstring(260, L'm'));
    EXPECT_EQ(b[944 + 520], 0);
    for (size_t i = 944 + 522; i < b.size(); ++i)
        ASSERT_EQ(b[i], 0) << i;
}

TEST(JobAnswer, FiveWritesOf538BytesWithThePrinterFieldAsReceived) {
    const RequestRecord r = DecodeRequest(HandWritten());
    const auto bytes = EncodeJobAnswer(MakeJobAnswer(r, JobActionPrint));
    ASSERT_EQ(bytes.size(), 538u);
    EXPECT_EQ(bytes[0], 0x80);
    EXPECT_EQ(bytes[1], 0x01);
    EXPECT_EQ(bytes[2], 0x00);
    EXPECT_EQ(bytes[3], 0x10);
    EXPECT_TRUE(std::equal(bytes.begin() + 4, bytes.begin() + 526, HandWritten().begin() + 100));
    EXPECT_EQ(bytes[4 + 12], 0xEE);
    EXPECT_EQ(bytes[526], 0x78);
    EXPECT_EQ(bytes[529], 0x12);
    EXPECT_EQ(bytes[530], 8);
    for (size_t i = 531; i < 538; ++i)
        EXPECT_EQ(bytes[i], 0) << i;
    EXPECT_EQ(DecodeJobAnswer(bytes).action, uint32_t(JobActionPrint));
    EXPECT_EQ(MakeJobAnswer(r, JobActionDelete).action, 4u);
    EXPECT_EQ(MakeJobAnswer(r, JobActionDelete).code, code::kJobAnswer);
}

}  // namespace
}  // namespace pm
