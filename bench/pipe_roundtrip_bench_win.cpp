// The cost of the client's pipe operations against the floor of a bare overlapped
// ping-pong on the same machine, measured in the same run.
//   floor:     one 4-byte message each way on an open connection, raw overlapped I/O
//   transport: WriteCode + ExpectCode on an open connection
//   exchange:  OpenPipe + WriteCode + ExpectCode + close: what an announcement costs

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>
#include <vector>

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

// Runs `a` and `b` in turn, `passes` times, each for `n` iterations, and gives the
// median time per iteration of each: both see the same machine at the same moments,
// so a slow spell of the machine does not fall on one side only.
template <class A, class B>
std::pair<double, double> InTurn(int passes, int n, A a, B b) {
    std::vector<double> as, bs;
    for (int pass = 0; pass < passes; ++pass) {
        auto start = Clock::now();
        for (int i = 0; i < n; ++i)
            a();
        as.push_back(MicrosecondsPer(Clock::now() - start, n));
        start = Clock::now();
        for (int i = 0; i < n; ++i)
            b();
        bs.push_back(MicrosecondsPer(Clock::now() - start, n));
    }
    auto median = [](std::vector<double>& v) {
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    };
    return {median(as), median(bs)};
}

}  // namespace

int main() {
    constexpr int kPasses = 21, kRoundTrips = 100, kExchanges = 15;
    for (int i = 0; i < 4; ++i)
        std::thread(Serve).detach();
    Sleep(100);

    // On one open connection: the raw ping-pong and the client's calls, in turn.
    pm::UniqueFile pipe;
    if (!pm::OpenPipe(kPipe, pipe)) bench::Fail("the echo server's pipe did not open");
    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const auto [floorUs, transportUs] = InTurn(
        kPasses, kRoundTrips,
        [&] {
            if (!RawRoundTrip(pipe.Get(), event)) bench::Fail("a raw round trip failed");
        },
        [&] {
            if (!pm::WriteCode(pipe.Get(), 0x10000011) || !pm::ExpectCode(pipe.Get(), 0x80000000))
                bench::Fail("WriteCode + ExpectCode failed");
        });
    pipe.Reset();

    // Whole exchanges: done bare (open, one raw ping-pong, close) and through OpenPipe, in turn.
    const auto [bareExchangeUs, exchangeUs] = InTurn(
        kPasses, kExchanges,
        [&] {
            HANDLE once = INVALID_HANDLE_VALUE;
            while ((once = CreateFileW(kPipe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_OVERLAPPED, nullptr)) == INVALID_HANDLE_VALUE)
                Sleep(1);
            const bool answered = RawRoundTrip(once, event);
            CloseHandle(once);
            if (!answered) bench::Fail("a bare exchange failed");
        },
        [&] {
            pm::UniqueFile once;
            if (!pm::OpenPipe(kPipe, once) || !pm::WriteCode(once.Get(), 0x10000011) ||
                !pm::ExpectCode(once.Get(), 0x80000000))
                bench::Fail("an exchange through OpenPipe failed");
        });
    CloseHandle(event);

    std::printf("Pipe round trips (4-byte code and 4-byte reply), medians of %d passes in turn\n", kPasses);
    std::printf("  floor: raw overlapped ping-pong         %9.1f us  (%d round trips a pass)\n", floorUs, kRoundTrips);
    std::printf("  WriteCode + ExpectCode                   %9.1f us  ratio %.2f\n", transportUs,
                transportUs / floorUs);
    std::printf("  bare open + ping-pong + close            %9.1f us  ratio %.2f\n", bareExchangeUs,
                bareExchangeUs / floorUs);
    std::printf(
        "  OpenPipe + WriteCode + ExpectCode + close %8.1f us  ratio %.2f (%.2f against the bare exchange;"
        " %d exchanges a pass)\n",
        exchangeUs, exchangeUs / floorUs, exchangeUs / bareExchangeUs, kExchanges);
    bench::Row(
        "| `WriteCode` + `ExpectCode` on an open connection | raw overlapped ping-pong: %.0f µs | %.0f µs | %.2f "
        "| ≤ 1.5 | %s |",
        floorUs, transportUs, transportUs / floorUs, bench::Met(transportUs / floorUs, 1.5));
    // A whole exchange against the same exchange done bare: both open and close a connection.
    bench::Row(
        "| `OpenPipe` + `WriteCode` + `ExpectCode` + close | bare open + ping-pong + close: %.0f µs | %.0f µs | "
        "%.2f | ≤ 1.5 | %s |",
        bareExchangeUs, exchangeUs, exchangeUs / bareExchangeUs, bench::Met(exchangeUs / bareExchangeUs, 1.5));
    bench::Finish(0);  // the echo servers wait for ever
}
