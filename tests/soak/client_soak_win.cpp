// client_soak: hostile peers and a long soak against a real client process, with
// figures. It starts PrintMirovant.exe from its own folder (no other client of this
// user may be running) and plays the print server's answer pipe itself.
//   client_soak hostile [--stalled N] [--taken-seconds S]
//       every record length 0-1700 and code length 0-8 for the text, job and an
//       unknown code; peers that stop or stall at each step; N stalled peers in a row
//       with a genuine message every 3 s; the client's CPU for S seconds while its pipe
//       name is taken
//   client_soak soak [--requests N] [--dialogs N]
//       N mixed requests, among them the held jobs whose dialogs are opened and
//       answered; handles, windows, GDI/USER objects and commit before and after
//   client_soak quick
//       a short run of both, for the test suite
// Exits 0 when every check held; the stalled-peer share is a figure, not a check.

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "auth/form_auth_win.h"
#include "messages/form_messages_win.h"
#include "pipes/message_codes.h"
#include "pipes/pipe_names.h"
#include "pipes/pipe_transport_win.h"
#include "shell/form_mirovant_win.h"
#include "support/clock_win.h"
#include "support/day_count.h"
#include "support/module_win.h"
#include "support/names_win.h"
#include "support/peer_exchange_win.h"
#include "support/process_win.h"

namespace pm {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::Bytes;
using test::CodeBytes;
using test::Exchange;
using test::Open;
using test::OpenPatiently;
using Outcome = test::PeerResult;

constexpr uint32_t kUnknownCode = 0x12345678;
int failures = 0;

void Check(bool held, const char* what) {
    if (!held) {
        ++failures;
        std::printf("  FAILED: %s\n", what);
    }
}

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

Bytes Record(const RequestBytes& record, size_t size = kRequestRecordSize) {
    return Bytes(record.begin(), record.begin() + std::min(size, record.size()));
}

// ---- the documented replies ----

// The reply a request of this code and record length must get: kAck, kReadFailure,
// or 0 for none (the connection closed at once).
uint32_t ExpectedReply(size_t codeLength, uint32_t code, size_t recordLength) {
    if (codeLength < 4) return 0;
    if (codeLength > 4) return code::kReadFailure;
    if (code != code::kTextMessage && code != code::kAuthRequest) return 0;
    return recordLength <= kRequestRecordSize ? code::kAck : code::kReadFailure;
}

// ---- the print server's answer pipe ----

// Accepts every job answer the client sends, on several instances, and counts them.
// Its threads wait for ever; they end with the program.
class AnswerSink {
public:
    AnswerSink() {
        for (int i = 0; i < 4; ++i)
            std::thread([this] { Serve(); }).detach();
    }
    int Answers() const { return answers_; }

private:
    void Serve() {
        for (;;) {
            UniqueFile pipe(CreateNamedPipeW(name_.c_str(), PIPE_ACCESS_DUPLEX,
                                             PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, PIPE_UNLIMITED_INSTANCES, 65536,
                                             65536, 0, nullptr));
            if (!pipe) return;
            if (!ConnectNamedPipe(pipe.Get(), nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) continue;
            uint8_t buffer[1024];
            DWORD got = 0, total = 0;
            while (ReadFile(pipe.Get(), buffer, sizeof buffer, &got, nullptr) || GetLastError() == ERROR_MORE_DATA)
                total += got;
            if (total == kJobAnswerSize) ++answers_;
            DisconnectNamedPipe(pipe.Get());
        }
    }

    const std::wstring name_ = ServerPipeName(L".");
    std::atomic<int> answers_{0};
};

// ---- the client process ----

// Processor time the process has used, user and kernel, in seconds.
double CpuSeconds(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    auto seconds = [](FILETIME t) { return double(uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e7; };
    return seconds(kernel) + seconds(user);
}

struct Resources {
    int handles = 0;                             // live handles, counted by duplicating every possible value
    DWORD systemHandles = 0, gdi = 0, user = 0;  // 0 where the system does not count them (Wine)
    int windows = 0;                             // top-level, child and message-only windows
    size_t commit = 0;                           // private bytes
};

class Client {
public:
    bool Start() {
        if (!process_.Start(test::BuildFolder() + L"PrintMirovant.exe")) return false;
        if (!test::WaitFor([&] { return Main() != nullptr; }, test::kStartLimit)) return false;
        return test::WaitFor(
            [&] {
                UniqueFile probe(
                    CreateFileW(pipe_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
                return bool(probe);
            },
            10s);
    }
    bool Stop() {
        if (HWND main = Main()) PostMessageW(main, WM_CLOSE, 0, 0);
        return process_.WaitExit(10000);
    }
    bool Running() const { return process_.Running(); }
    HWND Main() const { return test::FindProcessWindow(process_.Id(), TFormMirovant::kClassName); }
    HWND Find(const wchar_t* className) const { return test::FindProcessWindow(process_.Id(), className); }
    const std::wstring& Pipe() const { return pipe_; }

    Resources Measure() const {
        Resources r;
        const HANDLE process = process_.Handle();
        for (uintptr_t value = 4; value < 0x10000; value += 4) {
            HANDLE copy = nullptr;
            if (DuplicateHandle(process, HANDLE(value), GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
                ++r.handles;
                CloseHandle(copy);
            }
        }
        GetProcessHandleCount(process, &r.systemHandles);
        r.gdi = GetGuiResources(process, GR_GDIOBJECTS);
        r.user = GetGuiResources(process, GR_USEROBJECTS);
        r.windows = CountWindows();
        PROCESS_MEMORY_COUNTERS counters = {sizeof counters};
        if (GetProcessMemoryInfo(process, &counters, sizeof counters)) r.commit = counters.PagefileUsage;
        return r;
    }

private:
    struct Count {
        DWORD process;
        int windows;
    };
    static BOOL CALLBACK CountChild(HWND, LPARAM lp) {
        ++reinterpret_cast<Count*>(lp)->windows;
        return TRUE;
    }
    static BOOL CALLBACK CountTopLevel(HWND window, LPARAM lp) {
        auto* count = reinterpret_cast<Count*>(lp);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == count->process) {
            ++count->windows;
            EnumChildWindows(window, CountChild, lp);
        }
        return TRUE;
    }
    int CountWindows() const {
        Count count{process_.Id(), 0};
        EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&count));
        for (HWND window = nullptr; (window = FindWindowExW(HWND_MESSAGE, window, nullptr, nullptr)) != nullptr;)
            CountTopLevel(window, reinterpret_cast<LPARAM>(&count));
        return count.windows;
    }

    test::ChildProcess process_;
    const std::wstring pipe_ = ListenerPipeName(LocalUserName());
};

// Answers every authentication dialog the client shows, once it is shown whole,
// Delete or OK in turn.
int CloseDialogs(const Client& client) {
    static int answered = 0;
    int closed = 0;
    while (HWND dialog = client.Find(TFormAuth::kClassName)) {
        if (!test::WaitFor([&] { return IsWindowVisible(dialog) != FALSE; }, 5s)) break;
        SendMessageW(GetDlgItem(dialog, answered++ % 2 ? IDOK : IDCANCEL), BM_CLICK, 0, 0);
        if (!test::WaitFor([&] { return !IsWindow(dialog); }, 5s)) break;
        ++closed;
    }
    return closed;
}

void PrintResources(const char* when, const Resources& r) {
    std::printf("  %-7s handles %4d (system count %lu)  windows %3d  GDI %4lu  USER %4lu  commit %8.1f KB\n", when,
                r.handles, r.systemHandles, r.windows, r.gdi, r.user, r.commit / 1024.0);
}

// ---- hostile peers ----

// Every record length for each code, then every code length: the documented reply,
// never a hang, the client alive.
void Sweep(const Client& client, const std::vector<size_t>& lengths) {
    std::mt19937 random(20261208);
    int exchanges = 0, wrong = 0;
    double slowest = 0;
    const auto start = Clock::now();
    for (uint32_t request : {code::kTextMessage, code::kAuthRequest, kUnknownCode}) {
        for (size_t length : lengths) {
            Bytes record(length);
            for (auto& byte : record)
                byte = uint8_t(random());
            // Short peer waits (50 x 20 ms): a missing reply costs a second, not five.
            const Outcome o = Exchange(client.Pipe(), {CodeBytes(request), record}, true, 20, Open::Patiently);
            const uint32_t expected = ExpectedReply(4, request, length);
            if (!o.opened || o.replied != (expected != 0) || (expected && o.reply != expected)) {
                if (++wrong <= 5) std::printf("  code %08X, record %zu bytes: reply %08X\n", request, length, o.reply);
            }
            slowest = std::max(slowest, o.seconds);
            ++exchanges;
        }
        CloseDialogs(client);
    }
    for (uint32_t request : {code::kTextMessage, code::kAuthRequest, kUnknownCode}) {
        // Every length from none to eight bytes, and a code with its record in one write.
        for (size_t codeLength : {0, 1, 2, 3, 4, 5, 6, 7, 8, 4 + int(kRequestRecordSize)}) {
            Bytes codeBytes = CodeBytes(request);
            codeBytes.resize(codeLength, 0);
            const Outcome o = Exchange(client.Pipe(), {codeBytes, Record(EncodeTextMessage(L"code length"))}, true, 20,
                                       Open::Patiently);
            const uint32_t expected = ExpectedReply(codeLength, request, kRequestRecordSize);
            if (!o.opened || o.replied != (expected != 0) || (expected && o.reply != expected)) {
                if (++wrong <= 5)
                    std::printf("  code %08X cut to %zu bytes: reply %08X\n", request, codeLength, o.reply);
            }
            slowest = std::max(slowest, o.seconds);
            ++exchanges;
        }
    }
    const int dialogs = CloseDialogs(client);
    std::printf(
        "Sweep: %d exchanges in %.1f s, %d without the documented reply, slowest %.3f s, %d dialogs left open\n",
        exchanges, Seconds(start), wrong, slowest, dialogs);
    Check(wrong == 0, "every length gets its documented reply");
    Check(slowest < 2.0, "no exchange of the sweep waits");
}

// A genuine message right after a faulty peer is served in time.
bool GenuineServed(const std::wstring& pipe, const std::wstring& text, double& seconds) {
    const Outcome o = Exchange(pipe, {CodeBytes(code::kTextMessage), Record(EncodeTextMessage(text))});
    seconds = o.seconds;
    return o.replied && o.reply == code::kAck;
}

// Peers that stop or stall at each step of the exchange; each holds the listener no
// longer than its documented bound, and the next genuine message is served.
void FaultyPeers(const Client& client) {
    struct Case {
        const char* name;
        double bound;  // seconds the listener may be held
        std::function<void(HANDLE)> peer;
    };
    const Bytes text = Record(EncodeTextMessage(L"faulty"));
    const std::vector<Case> cases = {
        {"leaves after the code", 1.0, [](HANDLE pipe) { WritePipe(pipe, CodeBytes(code::kTextMessage).data(), 4); }},
        {"stalls after the code", 5.5,
         [](HANDLE pipe) {
             WritePipe(pipe, CodeBytes(code::kTextMessage).data(), 4);
             uint8_t reply[4];
             ReadPipe(pipe, reply, 4, 200);  // waits for the failure reply, then leaves
         }},
        {"leaves before reading the reply", 1.0,
         [&](HANDLE pipe) {
             WritePipe(pipe, CodeBytes(code::kTextMessage).data(), 4);
             WritePipe(pipe, text.data(), DWORD(text.size()));
         }},
        {"never reads the reply", 5.5,
         [&](HANDLE pipe) {
             WritePipe(pipe, CodeBytes(code::kTextMessage).data(), 4);
             WritePipe(pipe, text.data(), DWORD(text.size()));
             Sleep(8000);
         }},
        {"stalls after the code, never reads", 10.5,
         [](HANDLE pipe) {
             WritePipe(pipe, CodeBytes(code::kAuthRequest).data(), 4);
             Sleep(12000);
         }},
    };
    std::printf("Faulty peers:\n");
    for (const Case& c : cases) {
        const auto start = Clock::now();
        std::atomic<bool> connected{false};
        std::thread peer([&] {
            UniqueFile handle;
            if (!OpenPatiently(client.Pipe(), handle)) return;
            connected = true;
            c.peer(handle.Get());
        });
        test::WaitFor([&] { return connected.load(); }, 10s);  // the faulty peer first
        // The genuine peer retries for as long as the bound, as a patient sender would.
        double seconds = 0;
        bool served = false;
        while (!served && Seconds(start) < c.bound + 2)
            served = GenuineServed(client.Pipe(), L"after a faulty peer", seconds);
        const double held = Seconds(start);
        peer.join();
        std::printf("  %-36s next message served after %5.2f s (bound %.1f s)\n", c.name, held, c.bound);
        Check(served && held <= c.bound + 1.0, c.name);
        Check(client.Running(), "the client is still running");
    }
}

// Stalled peers one after another, each taking the pipe the moment it is free, while
// a genuine message comes every 3 s and gives up as a real peer does (OpenPipe: four
// tries, 250 ms apart).
void StalledPeers(const Client& client, int count) {
    std::atomic<bool> done{false};
    std::atomic<int> stalled{0};
    double longestHold = 0;
    std::thread attacker([&] {
        for (int i = 0; i < count; ++i) {
            UniqueFile handle;
            const auto deadline = Clock::now() + 30s;
            while (!handle && Clock::now() < deadline) {
                handle.Reset(CreateFileW(client.Pipe().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_OVERLAPPED, nullptr));
                if (!handle) Sleep(5);
            }
            if (!handle) break;
            const auto start = Clock::now();
            WritePipe(handle.Get(), CodeBytes(code::kTextMessage).data(), 4);
            uint8_t reply[4];
            ReadPipe(handle.Get(), reply, 4, 200);  // the failure reply after the listener's wait
            longestHold = std::max(longestHold, Seconds(start));
            ++stalled;
        }
        done = true;
    });
    int genuine = 0, acknowledged = 0;
    while (!done) {
        const auto next = Clock::now() + 3s;
        double seconds = 0;
        ++genuine;
        acknowledged += GenuineServed(client.Pipe(), L"genuine among stalled peers", seconds);
        std::this_thread::sleep_until(next);
    }
    attacker.join();
    double seconds = 0;
    const bool after = GenuineServed(client.Pipe(), L"after the stalled peers", seconds);
    std::printf(
        "Stalled peers: %d in a row, each held the pipe at most %.2f s; genuine messages acknowledged %d of %d "
        "(%.1f%%); the first after them in %.2f s\n",
        stalled.load(), longestHold, acknowledged, genuine, genuine ? 100.0 * acknowledged / genuine : 0.0, seconds);
    Check(stalled == count, "every stalled peer was served and released");
    Check(longestHold < 6.0, "no stalled peer holds the listener past its bound");
    Check(after, "the listener serves again after the stalled peers");
}

// The pipe name taken by another program before the client starts: the client keeps
// trying without burning the processor, and serves as soon as the name is free.
void NameTaken(const std::wstring& pipe, int seconds) {
    UniqueFile squatter(CreateNamedPipeW(pipe.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                         PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, 4096, 4096, 0, nullptr));
    Check(bool(squatter), "the squatter takes the pipe name");
    // Started by hand: the client's own start waits for its pipe.
    test::ChildProcess process;
    if (!process.Start(test::BuildFolder() + L"PrintMirovant.exe")) return Check(false, "the client starts");
    const bool started = test::WaitFor(
        [&] { return test::FindProcessWindow(process.Id(), TFormMirovant::kClassName) != nullptr; }, test::kStartLimit);
    Check(started, "the client starts while its pipe name is taken");
    Sleep(3000);  // past the start-up work
    const double before = CpuSeconds(process.Handle());
    const auto start = Clock::now();
    Sleep(DWORD(seconds) * 1000);
    const double share = (CpuSeconds(process.Handle()) - before) / Seconds(start);
    squatter.Reset();
    const auto freed = Clock::now();
    double exchange = 0;
    bool served = false;
    while (!served && Seconds(freed) < 10)
        served = GenuineServed(pipe, L"the name is free again", exchange);
    std::printf("Pipe name taken: client CPU %.2f%% over %d s; served %.2f s after the name was freed\n", 100 * share,
                seconds, Seconds(freed));
    Check(share < 0.02, "under 2% CPU while pipe creation keeps failing");
    Check(served && Seconds(freed) < 7, "served within the longest pause after the name is freed");
    if (HWND main = test::FindProcessWindow(process.Id(), TFormMirovant::kClassName))
        PostMessageW(main, WM_CLOSE, 0, 0);
    Check(process.WaitExit(10000), "the client exits");
}

// ---- soak ----

RequestBytes HeldJob(int serial) {
    RequestRecord job;
    job.ServerComputer = L".";
    job.PrinterName = L"Soak printer";
    job.DocumentName = L"Soak document " + std::to_wstring(serial);
    job.AuthMode = AuthNone;
    job.Pages = 3;
    job.Copies = 1;
    job.JobId = uint32_t(serial);
    job.Submitted = DayCountFromDateTime(SystemClock::Instance().Now()).value_or(0);
    return EncodeRequest(job);
}

void Soak(const Client& client, const AnswerSink& sink, int requests, int dialogs) {
    // Warm-up: the first message window, the first dialog and their fonts are made once.
    for (int i = 0; i < 20; ++i)
        Exchange(client.Pipe(), {CodeBytes(code::kTextMessage), Record(EncodeTextMessage(L"warm-up"))});
    Exchange(client.Pipe(), {CodeBytes(code::kAuthRequest), Record(HeldJob(0))});
    test::WaitFor([&] { return client.Find(TFormAuth::kClassName) != nullptr; }, 10s);
    Check(CloseDialogs(client) == 1, "the warm-up dialog is answered");
    test::WaitFor([&] { return sink.Answers() == 1; }, 5s);
    Sleep(2000);
    const Resources before = client.Measure();

    const int jobEvery = dialogs > 0 ? std::max(1, requests / dialogs) : requests + 1;
    int wrong = 0, opened = 0, closed = 0;
    const auto start = Clock::now();
    for (int i = 1; i <= requests; ++i) {
        size_t codeLength = 4, length = kRequestRecordSize;
        uint32_t request = code::kTextMessage;
        std::vector<Bytes> writes;
        const int kind = i % jobEvery == 0 && opened < dialogs ? -1 : i % 8;
        switch (kind) {
            case -1:
                request = code::kAuthRequest;
                writes = {CodeBytes(request), Record(HeldJob(i))};
                break;
            case 5:  // an unknown code
                request = kUnknownCode;
                writes = {CodeBytes(request)};
                break;
            case 6:  // a record too long
                length = 1700;
                writes = {CodeBytes(request), Bytes(length, 0x41)};
                break;
            case 7:  // a code cut short
                codeLength = 2;
                writes = {Bytes(2, 0)};
                break;
            default:
                writes = {CodeBytes(request), Record(EncodeTextMessage(L"Soak message " + std::to_wstring(i)))};
        }
        const Outcome o = Exchange(client.Pipe(), writes, true, 20, Open::Patiently);
        const uint32_t expected = ExpectedReply(codeLength, request, length);
        if (!o.opened || o.replied != (expected != 0) || (expected && o.reply != expected)) ++wrong;
        if (kind == -1) {
            HWND dialog = nullptr;
            if (test::WaitFor([&] { return (dialog = client.Find(TFormAuth::kClassName)) != nullptr; }, 10s)) ++opened;
            closed += CloseDialogs(client);
        }
    }
    const double elapsed = Seconds(start);
    test::WaitFor([&] { return sink.Answers() == 1 + closed; }, 10s);
    Sleep(3000);  // the idle trim and any deferred destruction
    const Resources after = client.Measure();

    std::printf(
        "Soak: %d requests in %.1f s (%.0f/s), %d without the documented reply; %d dialogs opened, %d "
        "answered, %d answers received\n",
        requests, elapsed, requests / elapsed, wrong, opened, closed, sink.Answers() - 1);
    PrintResources("before", before);
    PrintResources("after", after);
    const long long commitGrowth = (long long)after.commit - (long long)before.commit;
    std::printf("  growth: handles %+d, windows %+d, GDI %+ld, USER %+ld, commit %+.1f KB\n",
                after.handles - before.handles, after.windows - before.windows, long(after.gdi) - long(before.gdi),
                long(after.user) - long(before.user), commitGrowth / 1024.0);
    Check(wrong == 0, "every soak request gets its documented reply");
    Check(opened == dialogs && closed == dialogs, "every held job opens a dialog that is answered");
    Check(sink.Answers() - 1 == closed, "every answer reaches the print server");
    Check(after.handles - before.handles <= 2, "handle growth of at most 2");
    Check(std::abs(after.windows - before.windows) <= 5, "windows back to the baseline");
    Check(std::abs(long(after.gdi) - long(before.gdi)) <= 5, "GDI objects back to the baseline");
    Check(std::abs(long(after.user) - long(before.user)) <= 5, "USER objects back to the baseline");
    Check(commitGrowth < 1024 * 1024, "commit growth under 1 MB");
    Check(client.Running(), "the client is still running");
}

int Option(int argc, wchar_t** argv, const wchar_t* name, int fallback) {
    for (int i = 2; i + 1 < argc; ++i)
        if (std::wstring(argv[i]) == name) return _wtoi(argv[i + 1]);
    return fallback;
}

std::vector<size_t> Lengths(bool every) {
    std::vector<size_t> lengths;
    for (size_t length = 0; length <= 1700; ++length)
        if (every || length < 8 || (length >= 940 && length <= 948) || (length >= 1610 && length <= 1620) ||
            length == 1700)
            lengths.push_back(length);
    return lengths;
}

// Under Wine, windows outside a virtual desktop are X11 windows, and hiding one waits
// two seconds for a window manager that Xvfb lacks. The run moves into Wine's virtual
// desktop, as a Windows desktop behaves, and brings its exit status back in a file.
constexpr wchar_t kDesktop[] = L"PrintMirovantSoak";

bool InSoakDesktop() {
    wchar_t name[64] = {};
    GetUserObjectInformationW(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, name, sizeof name, nullptr);
    return std::wstring(name) == kDesktop;
}

int RunInDesktop() {
    wchar_t self[MAX_PATH] = {}, temp[MAX_PATH] = {}, status[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    GetTempPathW(MAX_PATH, temp);
    GetTempFileNameW(temp, L"sk", 0, status);
    SetEnvironmentVariableW(L"PM_SOAK_STATUS", status);
    const wchar_t* arguments = GetCommandLineW();
    // Past the program's own name, quoted or not.
    if (*arguments == L'"')
        arguments = wcschr(arguments + 1, L'"') + 1;
    else
        while (*arguments && *arguments != L' ')
            ++arguments;
    std::wstring commandLine =
        std::wstring(L"explorer.exe /desktop=") + kDesktop + L",1024x768 \"" + self + L"\"" + arguments;
    STARTUPINFOW si = {sizeof si};
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) return 1;
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    int code = 1;  // no status: the run did not finish
    if (FILE* file = _wfopen(status, L"r")) {
        if (std::fscanf(file, "%d", &code) != 1) code = 1;
        std::fclose(file);
    }
    DeleteFileW(status);
    return code;
}

[[noreturn]] void Finish(int code) {
    std::fflush(stdout);
    wchar_t status[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"PM_SOAK_STATUS", status, MAX_PATH)) {
        if (FILE* file = _wfopen(status, L"w")) {
            std::fprintf(file, "%d\n", code);
            std::fclose(file);
        }
    }
    ExitProcess(code);  // the answer sink's threads wait for ever
}

}  // namespace
}  // namespace pm

int wmain(int argc, wchar_t** argv) {
    using namespace pm;
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode != L"hostile" && mode != L"soak" && mode != L"quick") {
        std::fwprintf(stderr,
                      L"usage: client_soak hostile [--stalled N] [--taken-seconds S] | soak [--requests N] "
                      L"[--dialogs N] | quick\n");
        return 2;
    }
    if (IsWine() && !InSoakDesktop()) return RunInDesktop();
    const bool quick = mode == L"quick";
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (mode == L"hostile" || quick) {
        {
            Client client;
            if (!client.Start()) {
                std::printf("the client did not start\n");
                Finish(1);
            }
            Sweep(client, Lengths(!quick));
            FaultyPeers(client);
            StalledPeers(client, quick ? 2 : Option(argc, argv, L"--stalled", 100));
            Check(client.Stop(), "the client exits");
        }
        NameTaken(ListenerPipeName(LocalUserName()), quick ? 5 : Option(argc, argv, L"--taken-seconds", 30));
    }
    if (mode == L"soak" || quick) {
        static AnswerSink sink;
        Client client;
        if (!client.Start()) {
            std::printf("the client did not start\n");
            Finish(1);
        }
        Soak(client, sink, quick ? 1000 : Option(argc, argv, L"--requests", 10000),
             quick ? 50 : Option(argc, argv, L"--dialogs", 500));
        Check(client.Stop(), "the client exits");
    }
    std::printf("%s: %d failed checks\n", failures ? "FAILED" : "PASSED", failures);
    Finish(failures ? 1 : 0);
}
