// The cost of the client's pipe operations against the floor of a bare overlapped
// ping-pong on the same machine, measured in the same run.
//   floor:     one 4-byte message each way on an open connection, raw overlapped I/O
//   transport: WriteCode + ExpectCode on an open connection
//   exchange:  OpenPipe + WriteCode + ExpectCode + close: what an announcement costs

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "bench_run_win.h"
#include "pipes/pipe_transport_win.h"
#include "support/unique_win.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::wstring kPipe = L"\\\\.\\PIPE\\PrintMirovantBench-" + std::to_wstring(GetCurrentProcessId());

// Echo server: answers every 4-byte message with 0x80000000, one connection at a time.
// Several of them run, so a new connection finds an instance waiting, as with a real server.
void Serve() {
    for (;;) {
        HANDLE pipe = CreateNamedPipeW(kPipe.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE,
                                       PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr);
        if (ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) {
            uint32_t code;
            DWORD n;
            const uint32_t ack = 0x80000000;
            while (ReadFile(pipe, &code, 4, &n, nullptr) && n == 4)
                WriteFile(pipe, &ack, 4, &n, nullptr);
        }
        DisconnectNamedPipe(pipe);
        CloseHandle(pipe);
    }
}

bool RawRoundTrip(HANDLE pipe, HANDLE event) {
    OVERLAPPED ov = {};
    ov.hEvent = event;
    DWORD n = 0;
    const uint32_t code = 0x10000011;
    if (!WriteFile(pipe, &code, 4, &n, &ov) && GetLastError() != ERROR_IO_PENDING) return false;
    if (!GetOverlappedResult(pipe, &ov, &n, TRUE)) return false;
    uint32_t reply = 0;
    ov = {};
    ov.hEvent = event;
    if (!ReadFile(pipe, &reply, 4, &n, &ov) && GetLastError() != ERROR_IO_PENDING) return false;
    return GetOverlappedResult(pipe, &ov, &n, TRUE) && reply == 0x80000000;
}

double MicrosecondsPer(Clock::duration d, int n) {
    return std::chrono::duration<double, std::micro>(d).count() / n;
}

}  // namespace

int main() {
    constexpr int kRoundTrips = 2000, kExchanges = 300;
    for (int i = 0; i < 4; ++i)
        std::thread(Serve).detach();
    Sleep(100);

    pm::UniqueFile pipe;
    if (!pm::OpenPipe(kPipe, pipe)) bench::Fail("the echo server's pipe did not open");
    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    auto start = Clock::now();
    for (int i = 0; i < kRoundTrips; ++i)
        if (!RawRoundTrip(pipe.Get(), event)) bench::Fail("a raw round trip failed");
    const double floorUs = MicrosecondsPer(Clock::now() - start, kRoundTrips);
    CloseHandle(event);
    pipe.Reset();

    if (!pm::OpenPipe(kPipe, pipe)) bench::Fail("the echo server's pipe did not open");
    start = Clock::now();
    for (int i = 0; i < kRoundTrips; ++i) {
        if (!pm::WriteCode(pipe.Get(), 0x10000011) || !pm::ExpectCode(pipe.Get(), 0x80000000))
            bench::Fail("WriteCode + ExpectCode failed");
    }
    const double transportUs = MicrosecondsPer(Clock::now() - start, kRoundTrips);
    pipe.Reset();

    // The same whole exchange done bare: open, one raw ping-pong, close.
    const HANDLE bareEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    start = Clock::now();
    for (int i = 0; i < kExchanges; ++i) {
        HANDLE once = INVALID_HANDLE_VALUE;
        while ((once = CreateFileW(kPipe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OVERLAPPED, nullptr)) == INVALID_HANDLE_VALUE)
            Sleep(1);
        const bool answered = RawRoundTrip(once, bareEvent);
        CloseHandle(once);
        if (!answered) bench::Fail("a bare exchange failed");
    }
    const double bareExchangeUs = MicrosecondsPer(Clock::now() - start, kExchanges);
    CloseHandle(bareEvent);

    start = Clock::now();
    for (int i = 0; i < kExchanges; ++i) {
        pm::UniqueFile once;
        if (!pm::OpenPipe(kPipe, once) || !pm::WriteCode(once.Get(), 0x10000011) ||
            !pm::ExpectCode(once.Get(), 0x80000000))
            bench::Fail("an exchange through OpenPipe failed");
    }
    const double exchangeUs = MicrosecondsPer(Clock::now() - start, kExchanges);

    std::printf("Pipe round trips (4-byte code and 4-byte reply)\n");
    std::printf("  floor: raw overlapped ping-pong         %9.1f us  (%d round trips)\n", floorUs, kRoundTrips);
    std::printf("  WriteCode + ExpectCode                   %9.1f us  ratio %.2f\n", transportUs,
                transportUs / floorUs);
    std::printf("  bare open + ping-pong + close            %9.1f us  ratio %.2f\n", bareExchangeUs,
                bareExchangeUs / floorUs);
    std::printf(
        "  OpenPipe + WriteCode + ExpectCode + close %8.1f us  ratio %.2f (%.2f against the bare exchange;"
        " %d exchanges)\n",
        exchangeUs, exchangeUs / floorUs, exchangeUs / bareExchangeUs, kExchanges);
    bench::Row(
        "| `WriteCode` + `ExpectCode` on an open connection | raw overlapped ping-pong: %.0f µs | %.0f µs | %.2f "
        "| ≤ 1.5 | %s |",
        floorUs, transportUs, transportUs / floorUs, bench::Met(transportUs / floorUs, 1.5));
    bench::Row("| `OpenPipe` + `WriteCode` + `ExpectCode` + close | raw ping-pong | %.0f µs | %.2f | ≤ 1.5 | %s |",
               exchangeUs, exchangeUs / floorUs, bench::Met(exchangeUs / floorUs, 1.5));
    bench::Row("| the same against a bare open + ping-pong + close | %.0f µs | | %.2f | | |", bareExchangeUs,
               exchangeUs / bareExchangeUs);
    bench::Finish(0);  // the echo servers wait for ever
}
