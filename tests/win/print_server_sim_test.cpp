// The stand-in print server against the client's pipe operations. The expected
// bytes are written out here by hand, so a fault shared by the client's and the
// server's codecs still shows.

#include <gtest/gtest.h>

#include "account/account_records.h"
#include "pipes/message_codes.h"
#include "pipes/name_blocks.h"
#include "pipes/pipe_transport_win.h"
#include "pipes/request_record.h"
#include "support/pipe_peer_win.h"
#include "support/print_server_win.h"

namespace pm {
namespace {

class PrintServerSim : public ::testing::Test {
protected:
    void Serve(const std::wstring& arguments = {}) {
        pipe_ = test::UniquePipeName(L"server");
        ASSERT_TRUE(server_.Start(L"serve", L"--pipe " + pipe_ + L" " + arguments));
        ASSERT_FALSE(server_.WaitForEvent({"\"started\""}).empty());
    }
    UniqueFile Connect() {
        UniqueFile pipe;
        EXPECT_TRUE(OpenPipe(pipe_, pipe));
        return pipe;
    }
    std::vector<uint8_t> Query(uint32_t request, size_t size, const std::wstring* user = nullptr) {
        UniqueFile pipe = Connect();
        std::vector<uint8_t> record(size, 0);
        EXPECT_TRUE(WriteCode(pipe.Get(), request));
        if (user) {
            const UserBlock block = EncodeUserBlock(*user);
            EXPECT_TRUE(WritePipe(pipe.Get(), block.data(), DWORD(block.size())));
        }
        EXPECT_TRUE(ExpectCode(pipe.Get(), code::kAck));
        EXPECT_TRUE(ReadPipe(pipe.Get(), record.data(), DWORD(size)));
        return record;
    }

    test::PrintServer server_;
    std::wstring pipe_;
};

TEST_F(PrintServerSim, AnnouncementIsAcknowledgedAndReported) {
    Serve();
    UniqueFile pipe = Connect();
    const uint8_t block[42] = {'W', 0, 'S', 0, '-', 0, '1', 0, '2', 0};
    EXPECT_TRUE(WriteCode(pipe.Get(), 0x10000011));
    EXPECT_TRUE(WritePipe(pipe.Get(), block, 42));
    EXPECT_TRUE(ExpectCode(pipe.Get(), 0x80000000));
    const std::string event = server_.WaitForEvent({"\"announce\""});
    EXPECT_NE(event.find("\"computer\":\"WS-12\""), std::string::npos) << event;
    EXPECT_NE(event.find("\"bytes\":42"), std::string::npos) << event;
}

TEST_F(PrintServerSim, JobAnswerArrivesByteForByte) {
    Serve();
    RequestBytes request{};
    const char16_t printer[] = u"Laser";
    for (size_t i = 0; printer[i]; ++i)
        request[100 + 2 * i] = uint8_t(printer[i]);
    request[100 + 12] = 0xEE;  // after the terminator
    request[1608] = 42;
    const JobAnswerParts answer = MakeJobAnswer(DecodeRequest(request), JobActionDelete);
    UniqueFile pipe = Connect();
    WriteCode(pipe.Get(), answer.code);
    WritePipe(pipe.Get(), answer.printer.data(), 522);
    WritePipe(pipe.Get(), &answer.jobId, 4);
    WriteCode(pipe.Get(), answer.action);
    WriteCode(pipe.Get(), answer.trailer);
    pipe.Reset();
    const std::string event = server_.WaitForEvent({"\"job-answer\""});
    EXPECT_NE(event.find("\"printer\":\"Laser\""), std::string::npos) << event;
    EXPECT_NE(event.find("\"printerHex\":\"4c0061007300650072000000ee00"), std::string::npos) << event;
    EXPECT_NE(event.find("\"job\":42,\"action\":4,\"trailer\":0,\"bytes\":538"), std::string::npos) << event;
}

TEST_F(PrintServerSim, AccountQueriesFromTheBuiltInSample) {
    Serve();
    const std::vector<uint8_t> settings = Query(0x10000450, kServerSettingsSize);
    EXPECT_EQ(settings[0] & 1, 1);
    const std::vector<uint8_t> defaults = Query(0x10000403, kAccountRecordSize);
    EXPECT_EQ(defaults[0], 2);                               // limited
    EXPECT_EQ(defaults[4640] | defaults[4641] << 8, 50000);  // money limit
    const std::wstring user = L"jsmith";
    const std::vector<uint8_t> mine = Query(0x10000406, kAccountRecordSize, &user);
    EXPECT_EQ(mine[0], 1);  // follows the default
    EXPECT_EQ(mine[4624] | mine[4625] << 8, 12500);
    EXPECT_FALSE(server_.WaitForEvent({"\"query\"", "\"user\":\"jsmith\""}).empty());

    const AccountSummary s =
        DeriveAccountSummary(DecodeAccountsInMoney(settings), DecodeAccountRecord(defaults), DecodeAccountRecord(mine));
    EXPECT_EQ(s.balance, 12500);
    EXPECT_EQ(s.restriction, 50000u);
    ASSERT_TRUE(s.updated);
    EXPECT_EQ(s.updated->day, 1);
}

TEST_F(PrintServerSim, AccountsFileInPages) {
    test::TempFolder folder;
    const std::wstring file = folder.Path() + L"accounts.ini";
    ASSERT_TRUE(test::WriteWholeFile(file,
                                     "[Server]\r\nAccounting=pages\r\n[Default]\r\nFlags=0\r\n"
                                     "[User jsmith]\r\nFlags=2\r\nPagesBalance=-3\r\nPagesLimit=500\r\n"
                                     "UpdatingFlags=4\r\nUpdated=2026-11-30 17:45:00\r\n"));
    Serve(L"--accounts \"" + file + L"\"");
    EXPECT_EQ(Query(0x10000450, kServerSettingsSize)[0] & 1, 0);
    const std::wstring user = L"JSmith";
    const AccountRecord r = DecodeAccountRecord(Query(0x10000406, kAccountRecordSize, &user));
    EXPECT_EQ(r.pagesBalance, -3);
    EXPECT_EQ(r.pagesLimit, 500u);
    EXPECT_EQ(r.updated[0], 2026);
    EXPECT_EQ(r.updated[4], 17);
}

TEST_F(PrintServerSim, MisbehavesAsTold) {
    Serve(L"--misbehave wrong-ack --only-code 0x10000403");
    UniqueFile first = Connect();
    WriteCode(first.Get(), 0x10000450);
    EXPECT_TRUE(ExpectCode(first.Get(), code::kAck));
    UniqueFile second = Connect();
    WriteCode(second.Get(), 0x10000403);
    EXPECT_FALSE(ExpectCode(second.Get(), code::kAck));
}

TEST_F(PrintServerSim, StopsServingAfterMaxConnections) {
    Serve(L"--max-connections 1");
    UniqueFile first = Connect();
    WriteCode(first.Get(), 0x10000450);
    EXPECT_TRUE(ExpectCode(first.Get(), code::kAck));
    first.Reset();
    Sleep(200);
    UniqueFile second;
    EXPECT_FALSE(OpenPipe(pipe_, second));
}

TEST(PrintServerSimPush, JobRequestReachesTheClientPipeWithTheFieldsAsked) {
    const std::wstring user = L"simtest" + std::to_wstring(GetCurrentProcessId());
    RequestBytes received{};
    test::PipePeer listener(L"\\\\.\\PIPE\\PrintMirovant-" + user, [&](HANDLE p) {
        uint32_t requestCode = 0;
        test::PipePeer::ReadSome(p, &requestCode, 4);
        if (requestCode == 0x10010001) test::PipePeer::ReadSome(p, received.data(), 1616);
        test::PipePeer::WriteCodeTo(p, 0x80000000);
    });
    test::PrintServer server;
    EXPECT_EQ(server.Run(L"push-job", L"--user " + user +
                                          L" --server PS1 --printer P1 --job 77 --mode 4 --pin 9z --colour "
                                          L"--printer-tail ee01"),
              0u);
    EXPECT_TRUE(listener.Join(5000));
    const RequestRecord r = DecodeRequest(received);
    EXPECT_EQ(r.ServerComputer, L"PS1");
    EXPECT_EQ(r.PrinterName, L"P1");
    EXPECT_EQ(received[100 + 6], 0xEE);
    EXPECT_EQ(received[100 + 7], 0x01);
    EXPECT_EQ(r.JobId, 77u);
    EXPECT_EQ(r.AuthMode, 4);
    EXPECT_EQ(r.PinCode, L"9z");
    EXPECT_TRUE(r.Colour());
    EXPECT_FALSE(server.WaitForEvent({"\"pushed\"", "\"reply\":\"0x80000000\""}).empty());
}

TEST(PrintServerSimPush, NoClientMeansAFailedPush) {
    test::PrintServer server;
    EXPECT_EQ(server.Run(L"push-text", L"--user nobody-here --text hi"), 1u);
    EXPECT_FALSE(server.WaitForEvent({"\"pushed\"", "\"opened\":false"}).empty());
}

}  // namespace
}  // namespace pm
