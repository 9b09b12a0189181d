// The listener: a request (code + 1616-byte record) to its acknowledgement, p50 and
// p99, against a bare overlapped pipe server that does the same exchange, in the same
// run; then text messages per second, each acknowledged and shown in the message
// window. Run it in a desktop that behaves as Windows does (scripts/bench uses Wine's
// virtual desktop).

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench_run_win.h"
#include "messages/form_messages_win.h"
#include "pipes/listener_win.h"
#include "pipes/message_codes.h"
#include "pipes/pipe_transport_win.h"
#include "shell/incoming_win.h"
#include "support/unique_win.h"
#include "ui/message_loop_win.h"

namespace {

using Clock = std::chrono::steady_clock;
using pm::UniqueFile;
using pm::UniqueHandle;

constexpr int kRequests = 1000;

std::wstring PipeName(const wchar_t* purpose) {
    return L"\\\\.\\PIPE\\PrintMirovantBench-" + std::wstring(purpose) + L"-" + std::to_wstring(GetCurrentProcessId());
}

// Opens the moment the server has an instance free.
bool Open(const std::wstring& name, UniqueFile& pipe) {
    for (int i = 0; i < 5000; ++i) {
        pipe.Reset(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OVERLAPPED, nullptr));
        if (pipe) return true;
        if (GetLastError() != ERROR_PIPE_BUSY || !WaitNamedPipeW(name.c_str(), 1000)) Sleep(1);
    }
    return false;
}

// One request as every peer sends it; microseconds from opening to the acknowledgement.
double Request(const std::wstring& name, const pm::RequestBytes& record) {
    const auto start = Clock::now();
    UniqueFile pipe;
    if (!Open(name, pipe)) return -1;
    pm::WriteCode(pipe.Get(), pm::code::kTextMessage);
    pm::WritePipe(pipe.Get(), record.data(), DWORD(record.size()));
    if (!pm::ExpectCode(pipe.Get(), pm::code::kAck)) return -1;
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// The floor: one overlapped instance serving the same exchange with nothing around
// it: connect, read the code and the record, acknowledge, wait for the peer to leave.
void BareServer(const std::wstring& name, std::atomic<bool>& stop) {
    UniqueFile pipe(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                     PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, 1024000, 1024000, 1000, nullptr));
    const UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    auto complete = [&](BOOL issued, OVERLAPPED& ov) {
        DWORD n = 0;
        return issued || (GetLastError() == ERROR_IO_PENDING && GetOverlappedResult(pipe.Get(), &ov, &n, TRUE));
    };
    pm::RequestBytes record{};
    while (!stop) {
        OVERLAPPED ov = {};
        ov.hEvent = event.Get();
        if (!ConnectNamedPipe(pipe.Get(), &ov) && GetLastError() != ERROR_PIPE_CONNECTED) complete(FALSE, ov);
        uint32_t code = 0;
        DWORD n = 0;
        ov = {};
        ov.hEvent = event.Get();
        if (complete(ReadFile(pipe.Get(), &code, 4, &n, &ov), ov)) {
            ov = {};
            ov.hEvent = event.Get();
            complete(ReadFile(pipe.Get(), record.data(), DWORD(record.size()), &n, &ov), ov);
            const uint32_t ack = pm::code::kAck;
            ov = {};
            ov.hEvent = event.Get();
            complete(WriteFile(pipe.Get(), &ack, 4, &n, &ov), ov);
            ov = {};
            ov.hEvent = event.Get();
            uint8_t scratch[4];
            complete(ReadFile(pipe.Get(), scratch, 4, &n, &ov), ov);  // ends when the peer leaves
        }
        DisconnectNamedPipe(pipe.Get());
    }
}

struct Percentiles {
    double p50, p99;
};

Percentiles Measure(const std::wstring& name, const pm::RequestBytes& record) {
    std::vector<double> samples;
    for (int i = 0; i < kRequests; ++i)
        samples.push_back(bench::Sample(Request(name, record), "a request got no acknowledgement"));
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples[samples.size() * 99 / 100]};
}

// Runs `work` on a thread while this thread serves its messages.
template <class Work>
void WhilePumping(Work work) {
    std::atomic<bool> done{false};
    std::thread thread([&] {
        work();
        done = true;
    });
    while (!done) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        pm::ui::PumpPendingMessages();
    }
    thread.join();
}

}  // namespace

int main() {
    const pm::RequestBytes record = pm::EncodeTextMessage(L"Your print job is ready.");

    const std::wstring bareName = PipeName(L"Bare");
    std::atomic<bool> stop{false};
    std::thread bare([&] { BareServer(bareName, stop); });
    Sleep(100);
    Measure(bareName, record);  // warm-up
    const Percentiles floor = Measure(bareName, record);
    stop = true;
    Request(bareName, record);  // lets it see the stop
    bare.join();

    // The real listener, handing every message to a handler that does nothing.
    pm::RequestHandOver handOver;
    handOver.Create();
    int handled = 0;
    handOver.onText = [&](const std::wstring&, const pm::PeerIdentity&) { ++handled; };
    const std::wstring name = PipeName(L"Listener");
    pm::TMessenger messenger(name, handOver);
    messenger.Start();
    Percentiles listener{};
    WhilePumping([&] {
        Measure(name, record);
        listener = Measure(name, record);
    });

    // Sustained messages, each shown: the message window's text replaced and brought to top.
    pm::TFormMessages::Create();
    int shown = 0;
    pm::SetTextMessageHook([&] { ++shown; });
    handOver.onText = [](const std::wstring& text, const pm::PeerIdentity& peer) { pm::ShowTextMessage(text, peer); };
    constexpr int kMessages = 500;
    int acknowledged = 0;
    const auto start = Clock::now();
    WhilePumping([&] {
        for (int i = 0; i < kMessages; ++i)
            acknowledged += Request(name, record) >= 0;
    });
    pm::ui::PumpPendingMessages();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    std::printf("Listener: request (code + 1616-byte record) to acknowledgement, %d requests each\n", kRequests);
    std::printf("  floor: bare overlapped server       p50 %7.1f us   p99 %7.1f us\n", floor.p50, floor.p99);
    std::printf("  TMessenger                          p50 %7.1f us   p99 %7.1f us   ratio p50 %.2f  p99 %.2f\n",
                listener.p50, listener.p99, listener.p50 / floor.p50, listener.p99 / floor.p99);
    std::printf("Text messages acknowledged and shown: %d of %d acknowledged, %d shown, %.0f per second\n",
                acknowledged, kMessages, shown, shown / seconds);
    if (acknowledged != kMessages || shown != kMessages)
        bench::Fail("a text message was not acknowledged or not shown");
    const double p50 = listener.p50 / floor.p50, p99 = listener.p99 / floor.p99;
    bench::Row(
        "| Listener: request (code + 1,616-byte record) to acknowledgement, p50 | bare overlapped server doing "
        "the same exchange: %.0f µs | %.0f µs | %.2f | ≤ 1.5 | %s |",
        floor.p50, listener.p50, p50, bench::Met(p50, 1.5));
    bench::Row("| the same, p99 | %.0f µs | %.0f µs | %.2f | ≤ 1.5 | %s |", floor.p99, listener.p99, p99,
               bench::Met(p99, 1.5));
    bench::Row(
        "| Text messages acknowledged and shown, sustained | | %.0f per second, %d of %d acknowledged and shown "
        "| | | (no target) |",
        shown / seconds, shown, kMessages);
    bench::Finish(0);  // the listener ends with the process, as in the client
}
