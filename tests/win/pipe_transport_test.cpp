#include "pipes/pipe_transport_win.h"

#include <gtest/gtest.h>

#include <chrono>

#include "pipes/message_codes.h"
#include "support/pipe_peer_win.h"

namespace pm {
namespace {

using test::PipePeer;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

int ticks = 0;
void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    ++ticks;
}

TEST(PipeTransport, OpeningAMissingPipeFailsAfterFourAttemptsWhileMessagesFlow) {
    // Regression: the pauses between attempts slept, so no window repainted meanwhile.
    ticks = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, &Tick);
    UniqueFile pipe;
    const auto start = Clock::now();
    EXPECT_FALSE(OpenPipe(test::UniquePipeName(L"missing"), pipe));
    const int during = ticks;
    KillTimer(nullptr, timer);
    EXPECT_FALSE(pipe);
    EXPECT_GE(SecondsSince(start), 0.95);
    EXPECT_LT(SecondsSince(start), 10.0);
    EXPECT_GE(during, 3) << "timer messages are handled during the pauses";
}

TEST(PipeTransport, CodesAndBlocksRoundTrip) {
    const std::wstring name = test::UniquePipeName(L"roundtrip");
    uint32_t received = 0;
    uint8_t block[42] = {};
    PipePeer peer(name, [&](HANDLE p) {
        PipePeer::ReadSome(p, &received, 4);
        PipePeer::ReadSome(p, block, 42);
        PipePeer::WriteCodeTo(p, code::kAck);
    });
    UniqueFile pipe;
    ASSERT_TRUE(OpenPipe(name, pipe));
    const uint8_t sent[42] = {'P', 0, 'C', 0};
    EXPECT_TRUE(WriteCode(pipe.Get(), code::kAnnounce));
    EXPECT_TRUE(WritePipe(pipe.Get(), sent, 42));
    EXPECT_TRUE(ExpectCode(pipe.Get(), code::kAck));
    ASSERT_TRUE(peer.Join(5000));
    EXPECT_EQ(received, code::kAnnounce);
    EXPECT_EQ(block[0], 'P');
    EXPECT_EQ(block[2], 'C');
}

TEST(PipeTransport, AWrongReplyCodeIsAFailure) {
    const std::wstring name = test::UniquePipeName(L"wrongcode");
    PipePeer peer(name, [](HANDLE p) { PipePeer::WriteCodeTo(p, 0x80000001); });
    UniqueFile pipe;
    ASSERT_TRUE(OpenPipe(name, pipe));
    EXPECT_FALSE(ExpectCode(pipe.Get(), code::kAck));
}

TEST(PipeTransport, APeerThatNeverAnswersTimesOutWhileTimersStillFire) {
    const std::wstring name = test::UniquePipeName(L"silent");
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    PipePeer peer(name, [&](HANDLE) { WaitForSingleObject(release, 20000); });
    UniqueFile pipe;
    ASSERT_TRUE(OpenPipe(name, pipe));

    static int ticks = 0;
    ticks = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 200, [](HWND, UINT, UINT_PTR, DWORD) { ++ticks; });
    uint8_t buffer[4];
    const auto start = Clock::now();
    EXPECT_FALSE(ReadPipe(pipe.Get(), buffer, 4));
    const double seconds = SecondsSince(start);
    KillTimer(nullptr, timer);
    SetEvent(release);
    CloseHandle(release);

    EXPECT_GE(seconds, 4.5);
    EXPECT_LT(seconds, 15.0);
    EXPECT_GE(ticks, 5) << "the calling thread's messages must keep flowing during the wait";
}

TEST(PipeTransport, AfterATimedOutReadTheBufferIsNeverWritten) {
    // Regression: a read that gives up must not leave the system writing into the
    // caller's buffer when the data arrives later.
    const std::wstring name = test::UniquePipeName(L"late");
    HANDLE timedOut = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    PipePeer peer(name, [&](HANDLE p) {
        WaitForSingleObject(timedOut, 20000);
        const uint8_t late[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        PipePeer::WriteAll(p, late, 8);
    });
    UniqueFile pipe;
    ASSERT_TRUE(OpenPipe(name, pipe));
    uint8_t buffer[8];
    memset(buffer, 0xAA, sizeof buffer);
    EXPECT_FALSE(ReadPipe(pipe.Get(), buffer, sizeof buffer, 10));  // 50 waits of 10 ms
    SetEvent(timedOut);
    ASSERT_TRUE(peer.Join(5000));
    Sleep(200);
    for (uint8_t b : buffer)
        EXPECT_EQ(b, 0xAA);
    CloseHandle(timedOut);
    // The late message is still there for a read of our own.
    uint8_t next[8] = {};
    EXPECT_TRUE(ReadPipe(pipe.Get(), next, sizeof next));
    EXPECT_EQ(next[7], 8);
}

TEST(PipeTransport, ShorterMessagesAreReadLongerOnesFail) {
    const std::wstring name = test::UniquePipeName(L"sizes");
    PipePeer peer(name, [](HANDLE p) {
        const uint8_t shortBlock[10] = {9};
        PipePeer::WriteAll(p, shortBlock, 10);
        const uint8_t longBlock[100] = {7};
        PipePeer::WriteAll(p, longBlock, 100);
    });
    UniqueFile pipe;
    ASSERT_TRUE(OpenPipe(name, pipe));
    // The client end reads in message mode here, as the listener's end does.
    DWORD mode = PIPE_READMODE_MESSAGE;
    ASSERT_TRUE(SetNamedPipeHandleState(pipe.Get(), &mode, nullptr, nullptr));
    uint8_t buffer[50] = {};
    EXPECT_TRUE(ReadPipe(pipe.Get(), buffer, 50));
    EXPECT_EQ(buffer[0], 9);
    EXPECT_FALSE(ReadPipe(pipe.Get(), buffer, 50));  // more data than asked for
}

TEST(PipeTransport, ACodeAndARecordInOneWriteFailAFourByteRead) {
    const std::wstring name = test::UniquePipeName(L"onewrite");
    PipePeer peer(name, [](HANDLE p) {
        uint8_t both[4 + 1616] = {0x00, 0x00, 0x01, 0x10};
        PipePeer::WriteAll(p, both, sizeof both);
    });
    UniqueFile pipe;
    ASSERT_TRUE(OpenPipe(name, pipe));
    DWORD mode = PIPE_READMODE_MESSAGE;
    ASSERT_TRUE(SetNamedPipeHandleState(pipe.Get(), &mode, nullptr, nullptr));
    EXPECT_FALSE(ExpectCode(pipe.Get(), code::kTextMessage));
}

TEST(PipeTransport, APeerThatLeavesFailsTheReadAtOnce) {
    const std::wstring name = test::UniquePipeName(L"gone");
    PipePeer peer(name, [](HANDLE p) { DisconnectNamedPipe(p); });
    UniqueFile pipe;
    ASSERT_TRUE(OpenPipe(name, pipe));
    ASSERT_TRUE(peer.Join(5000));
    const auto start = Clock::now();
    uint8_t buffer[4];
    EXPECT_FALSE(ReadPipe(pipe.Get(), buffer, 4));
    EXPECT_FALSE(WriteCode(pipe.Get(), 1));
    EXPECT_LT(SecondsSince(start), 2.0);
}

}  // namespace
}  // namespace pm
