// client_soak: hostile peers and a long soak against a real client process, with
// figures. It starts PrintMirovant.exe from its own folder (no other client of this
// user may be running) and plays the print server's answer pipe itself.
//   client_soak hostile [--stalled N] [--taken-seconds S] [--refused N]
//       every record length 0-1700 and code length 0-8 for the text, job and an
//       unknown code; peers that stop or stall at each step; N peers (default 200)
//       in a process of their own that stall at once and come back the moment they
//       are cut off, identified and then anonymous, while a genuine peer sends a
//       message every 250 ms for 30 s; a flood of held jobs past the dialog limit;
//       one account's flood of held jobs before a genuine one; the same job twice;
//       the machine's list of print servers; countdowns that run out for a computer
//       nobody chose; a flood of text messages with a genuine one among them; N job
//       requests (default 100,000) refused against the error log's size; the pipe
//       name held by another account for S seconds (default 30) when the client
//       starts, and its every instance kept busy
//   client_soak soak [--requests N] [--dialogs N]
//       N mixed requests, among them the held jobs whose dialogs are opened and
//       answered; handles, windows, GDI/USER objects and commit before and after
//   client_soak quick
//       a short run of both, for the test suite
//   client_soak stall PIPE COUNT SECONDS [anonymous]
//       the stalled peers of the hostile run (the hostile run starts it)
// Exits 0 when every check held.

#include <windows.h>

#include <psapi.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "auth/form_auth_win.h"
#include "auth/job_answer_win.h"
#include "auth/job_dialogs.h"
#include "bench/bench_run_win.h"
#include "i18n/catalogue.h"
#include "messages/form_messages_win.h"
#include "pipes/listener_win.h"
#include "pipes/message_codes.h"
#include "pipes/pipe_names.h"
#include "pipes/pipe_transport_win.h"
#include "pipes/request_record.h"
#include "shell/form_mirovant_win.h"
#include "support/error_log_win.h"
#include "support/install_dir_win.h"
#include "support/job_request_win.h"
#include "support/machine_settings_win.h"
#include "support/module_win.h"
#include "support/names_win.h"
#include "support/peer_exchange_win.h"
#include "support/process_win.h"
#include "support/product.h"
#include "support/registry_win.h"

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

// One row of a figures table: printed, and appended to the file PM_SOAK_MARKDOWN names
// when it is set (scripts/soak --markdown writes docs/reliability.md from these rows).
void Row(const char* format, ...) {
    va_list args, again;
    va_start(args, format);
    va_copy(again, args);
    std::vprintf(format, args);
    std::putchar('\n');
    bench::AppendLine("PM_SOAK_MARKDOWN", format, again);
    va_end(again);
    va_end(args);
}

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

uint32_t CodeOf(const uint8_t bytes[4]) {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

// A held job of the given print server that needs no credentials (OK prints it),
// submitted `age` seconds ago.
RequestBytes HeldJob(int serial, const wchar_t* server = L".", int age = 0) {
    RequestRecord job = test::JobRequest(AuthNone, test::DayCountNow() - age / 86400.0, uint32_t(serial));
    job.ServerComputer = server;
    job.DocumentName = L"Soak document " + std::to_wstring(serial);
    return EncodeRequest(job);
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
    // The count once no answer has come for a second: those on their way are in.
    int Settled() const {
        for (int count = answers_;; count = answers_) {
            Sleep(1000);
            if (answers_ == count) return count;
        }
    }

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

// Processor time the process has used, user and kernel, in seconds, from the
// system's list of processes: under Wine, GetProcessTimes reports the caller's own
// times whatever process it is asked about.
double CpuSeconds(DWORD processId) {
    using Query = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
    constexpr ULONG kProcessList = 5;             // SystemProcessInformation
    constexpr LONG kTooSmall = LONG(0xC0000004);  // STATUS_INFO_LENGTH_MISMATCH
    // The head of one entry of the list, as the system lays it out.
    struct Entry {
        ULONG next, threads;
        LARGE_INTEGER reserved[3], created, user, kernel;
        USHORT nameLength, nameCapacity;
        PWSTR name;
        LONG basePriority;
        HANDLE id;
    };
    static const auto query = GetProc<Query>(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation");
    if (!query) return 0;
    std::vector<uint64_t> list(1 << 17);  // 8-byte aligned, as the entries are
    ULONG needed = 0;
    LONG status;
    while ((status = query(kProcessList, list.data(), ULONG(list.size() * 8), &needed)) == kTooSmall)
        list.resize(list.size() * 2);
    if (status < 0) return 0;
    const auto* bytes = reinterpret_cast<const uint8_t*>(list.data());
    for (size_t offset = 0;;) {
        const auto* entry = reinterpret_cast<const Entry*>(bytes + offset);
        if (DWORD(uintptr_t(entry->id)) == processId)
            return double(entry->user.QuadPart + entry->kernel.QuadPart) / 1e7;
        if (entry->next == 0) return 0;
        offset += entry->next;
    }
}

// A window's text, also of another process's window; "" when it does not answer.
std::wstring TextOf(HWND window) {
    wchar_t text[1024] = {};
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &ignored);
    return text;
}

// The process's top-level windows of the class; only the visible ones if asked.
int CountProcessWindows(DWORD processId, const wchar_t* className, bool visibleOnly = false) {
    const std::vector<HWND> windows = test::ProcessWindows(processId, className);
    return int(std::count_if(windows.begin(), windows.end(),
                             [&](HWND window) { return !visibleOnly || IsWindowVisible(window); }));
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
    DWORD Id() const { return process_.Id(); }
    HWND Main() const { return test::FindProcessWindow(process_.Id(), TFormMirovant::kClassName); }
    HWND Find(const wchar_t* className) const { return test::FindProcessWindow(process_.Id(), className); }
    const std::wstring& Pipe() const { return pipe_; }
    int Windows(const wchar_t* className, bool visibleOnly = false) const {
        return CountProcessWindows(process_.Id(), className, visibleOnly);
    }
    // The text the message window shows.
    std::wstring ShownMessage() const {
        const HWND window = Find(TFormMessages::kClassName);
        return window ? TextOf(GetDlgItem(window, TFormMessages::kIdMessage)) : std::wstring();
    }

    // Brings the listener to the same idle state whatever came before it: more peers
    // than it keeps idle connect and stay, then leave one at a time, so the first to
    // go wait again and the workers of the others end.
    void Settle() const {
        std::vector<UniqueFile> peers(8);
        for (UniqueFile& peer : peers)
            OpenPatiently(pipe_, peer);
        for (UniqueFile& peer : peers) {
            peer.Reset();
            Sleep(50);
        }
        Sleep(1000);
    }

    // Settles, then measures until the handles are back within two of `before` or
    // 10 s have passed: a worker or a name lookup that is still ending holds a handle
    // for a moment (more so on a loaded machine); a leak keeps it.
    Resources MeasureSettled(const Resources& before) const {
        Settle();
        Resources r;
        test::WaitFor([&] { return (r = Measure()).handles - before.handles <= 2; }, 10s);
        return r;
    }

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
// Delete or OK in turn; only Delete for random jobs, whose OK may ask for a password.
int CloseDialogs(const Client& client, bool deleteOnly = false) {
    static int answered = 0;
    int closed = 0;
    while (HWND dialog = client.Find(TFormAuth::kClassName)) {
        if (!test::WaitFor([&] { return IsWindowVisible(dialog) != FALSE; }, 5s)) break;
        // Posted: a box shown by the click would hold a sent message until it closes.
        const int button = !deleteOnly && answered++ % 2 ? IDOK : IDCANCEL;
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), LPARAM(GetDlgItem(dialog, button)));
        if (!test::WaitFor([&] { return !IsWindow(dialog); }, 5s)) break;
        ++closed;
    }
    return closed;
}

// Whom the listener takes a peer that opens as told for: the "Requested by" row of
// the dialog its held job opens. The dialog is answered at once.
std::wstring RequesterOf(const Client& client, Open open, int jobId) {
    Exchange(client.Pipe(), {CodeBytes(code::kAuthRequest), Record(HeldJob(jobId))}, true, kPipeWaitInterval, open);
    HWND dialog = nullptr;
    test::WaitFor([&] { return (dialog = client.Find(TFormAuth::kClassName)) != nullptr && IsWindowVisible(dialog); },
                  10s);
    const std::wstring requester = dialog ? TextOf(GetDlgItem(dialog, TFormAuth::kIdRequester)) : L"";
    CloseDialogs(client, true);
    return requester;
}

// ---- hostile peers ----

// A genuine message right after a faulty peer is served in time.
bool GenuineServed(const std::wstring& pipe, const std::wstring& text, double& seconds) {
    const Outcome o = Exchange(pipe, {CodeBytes(code::kTextMessage), Record(EncodeTextMessage(text))});
    seconds = o.seconds;
    return o.replied && o.reply == code::kAck;
}

// A text message acknowledged and then shown. Requests run in the order they were
// read, so every request acknowledged before it has run too.
bool Delivered(const Client& client, const std::wstring& text, double* seconds = nullptr) {
    const Outcome o = Exchange(client.Pipe(), {CodeBytes(code::kTextMessage), Record(EncodeTextMessage(text))});
    if (seconds) *seconds = o.seconds;
    return o.replied && o.reply == code::kAck && test::WaitFor([&] { return client.ShownMessage() == text; }, 5s);
}

// Every record length for each code, then every code length: the documented reply,
// never a hang, the client alive.
void Sweep(const Client& client, const std::vector<size_t>& lengths) {
    std::mt19937 random(20261208);
    // A client that has stopped answering is not asked thousands of times more.
    constexpr int kGiveUp = 50;
    int exchanges = 0, wrong = 0;
    double slowest = 0;
    const auto start = Clock::now();
    for (uint32_t request : {code::kTextMessage, code::kAuthRequest, kUnknownCode}) {
        for (size_t length : lengths) {
            if (wrong >= kGiveUp) break;
            // Well below the dialog limit, whatever is still on its way to the screen.
            if (request == code::kAuthRequest && client.Windows(TFormAuth::kClassName) >= int(JobDialogs::kLimit) / 2)
                CloseDialogs(client, true);
            Bytes record(length);
            for (auto& byte : record)
                byte = uint8_t(random());
            // Shown texts are printable ASCII: Wine 8 crashes laying out some others in
            // any edit control (a text that starts with U+02CE-U+02D0, in its glyph
            // positioning); the decoders take random texts in the fuzz tests.
            if (request == code::kTextMessage)
                for (size_t at = request::kMessageText; at + 1 < record.size(); at += 2) {
                    record[at] = uint8_t(0x20 + random() % 0x5F);
                    record[at + 1] = 0;
                }
            // Short peer waits (50 x 20 ms): a missing reply costs a second, not five.
            const Outcome o = Exchange(client.Pipe(), {CodeBytes(request), record}, true, 20, Open::Patiently);
            const uint32_t expected = ExpectedReply(4, request, length);
            if (!o.opened || o.replied != (expected != 0) || (expected && o.reply != expected)) {
                if (++wrong <= 5) std::printf("  code %08X, record %zu bytes: reply %08X\n", request, length, o.reply);
            }
            slowest = std::max(slowest, o.seconds);
            ++exchanges;
        }
        CloseDialogs(client, true);
    }
    for (uint32_t request : {code::kTextMessage, code::kAuthRequest, kUnknownCode}) {
        // Every length from none to eight bytes, and a code with its record in one write.
        for (size_t codeLength : {0, 1, 2, 3, 4, 5, 6, 7, 8, 4 + int(kRequestRecordSize)}) {
            if (wrong >= kGiveUp) break;
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
    const int dialogs = CloseDialogs(client, true);
    const bool shows = Delivered(client, L"after the sweep");
    Row("| Every record length 0-%zu for the text code, the job code and an unknown code; every code length 0-8 for "
        "each, and each code with its record in one write (%d exchanges in %.0f s, random record bytes from a fixed "
        "seed, shown texts printable) | %d without the documented reply; slowest exchange %.3f s; %d dialogs left "
        "open; a message after it %s |",
        lengths.back(), exchanges, Seconds(start), wrong, slowest, dialogs, shows ? "shown" : "not shown");
    Check(wrong == 0, "every length gets its documented reply");
    Check(slowest < 2.0, "no exchange of the sweep waits");
    Check(shows, "a message after the sweep is shown");
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
    std::string results;
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
        char part[160];
        std::snprintf(part, sizeof part, "%s%s: %.2f s", results.empty() ? "" : "; ", c.name, held);
        results += part;
        Check(served && held <= c.bound + 1.0, c.name);
        Check(client.Running(), "the client is still running");
    }
    Row("| A peer that leaves after the code; stalls after the code; leaves before reading the reply; never reads the "
        "reply; stalls and never reads | a genuine message sent meanwhile is served after: %s |",
        results.c_str());
}

// The stalled peers of StalledPeers, in a process of their own (client_soak stall), so
// that the listener sees another client than the genuine peer: `count` peers at once
// that send the text code and stall, each back the moment its connection ends, for
// `seconds`; anonymous ones open at the anonymous level, which leaves the listener
// nobody to identify (Wine still names its own user: it impersonates the server). Prints
// "ready" once they are under way, then how often a connection ended, how often with
// the failure reply, and the longest a connection was held.
int Stall(const std::wstring& pipe, int count, int seconds, bool anonymous) {
    std::atomic<bool> done{false};
    std::atomic<int> ends{0}, replies{0};
    std::mutex mutex;  // guards the two below
    std::vector<HANDLE> stalling(size_t(count), nullptr);
    double longestHold = 0;
    std::vector<std::thread> stallers;
    for (int i = 0; i < count; ++i) {
        stallers.emplace_back([&, i] {
            while (!done) {
                UniqueFile handle;
                if (!OpenPatiently(pipe, handle, anonymous ? test::kAnonymous : 0)) continue;
                {
                    const std::lock_guard lock(mutex);
                    stalling[size_t(i)] = handle.Get();
                }
                const auto start = Clock::now();
                uint8_t reply[4] = {};
                const bool replied = !done && WritePipe(handle.Get(), CodeBytes(code::kTextMessage).data(), 4) &&
                                     ReadPipe(handle.Get(), reply, 4, 200);  // the listener's cut-off, not ours
                const std::lock_guard lock(mutex);
                stalling[size_t(i)] = nullptr;
                if (done) break;  // cancelled at the end of the attack
                // Cut off: with the failure reply, or at once without one (a share exceeded).
                ++ends;
                replies += replied && CodeOf(reply) == code::kReadFailure;
                longestHold = std::max(longestHold, Seconds(start));
            }
        });
    }
    Sleep(500);  // every staller in place
    std::printf("ready\n");
    std::fflush(stdout);
    Sleep(DWORD(seconds) * 1000);
    {
        const std::lock_guard lock(mutex);
        done = true;
        for (HANDLE handle : stalling)
            if (handle) CancelIoEx(handle, nullptr);
    }
    for (std::thread& staller : stallers)
        staller.join();
    std::printf("%d %d %.3f\n", ends.load(), replies.load(), longestHold);
    std::fflush(stdout);
    return 0;
}

// Stalled peers all at once from another process (see Stall); meanwhile a genuine
// peer, opening as the print server does (OpenPipe: four tries, 250 ms apart), sends a
// whole message every 250 ms. Each message must be acknowledged and shown.
void StalledPeers(const Client& client, int count, int seconds, bool anonymous) {
    // The stallers' standard output: "ready", then their figures.
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    wchar_t folder[MAX_PATH] = {}, path[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"st", 0, path);
    const UniqueFile report(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        &inherited, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    test::ChildProcess stallers;
    LARGE_INTEGER size = {};
    if (!report ||
        !stallers.Start(test::BuildFolder() + L"client_soak.exe",
                        L"stall \"" + client.Pipe() + L"\" " + std::to_wstring(count) + L" " +
                            std::to_wstring(seconds) + (anonymous ? L" anonymous" : L""),
                        report.Get()) ||
        !test::WaitFor([&] { return GetFileSizeEx(report.Get(), &size) && size.QuadPart > 0; }, 30s))
        return Check(false, "the stalled peers start");
    int genuine = 0, acknowledged = 0, shown = 0;
    const auto start = Clock::now();
    for (auto next = start; Seconds(start) < seconds; next += 250ms) {
        std::this_thread::sleep_until(next);
        const std::wstring text = L"Genuine message " + std::to_wstring(++genuine) + L" among stalled peers";
        const Outcome o = Exchange(client.Pipe(), {CodeBytes(code::kTextMessage), Record(EncodeTextMessage(text))});
        if (!o.replied || o.reply != code::kAck) continue;
        ++acknowledged;
        shown += test::WaitFor([&] { return client.ShownMessage() == text; }, 2s);
    }
    const bool ended = stallers.WaitExit(30000);
    char figures[256] = {};
    DWORD got = 0;
    SetFilePointer(report.Get(), 0, nullptr, FILE_BEGIN);
    ReadFile(report.Get(), figures, sizeof figures - 1, &got, nullptr);
    int ends = 0, replies = 0;
    double longestHold = 0;
    const bool reported = std::sscanf(figures, "ready %d %d %lf", &ends, &replies, &longestHold) == 3;
    double first = 0;
    const bool after = Delivered(client, L"after the stalled peers", &first);
    const std::wstring named =
        anonymous ? L" (the listener names such a peer \"" + RequesterOf(client, Open::Anonymously, 450000) + L"\")"
                  : L"";
    const double ackShare = genuine ? double(acknowledged) / genuine : 0,
                 shownShare = genuine ? double(shown) / genuine : 0;
    Row("| %d peers%s%ls of another process at once that send the text code and stall, each back the moment it is cut "
        "off, for %d s, while a genuine peer opens as the print server does (four tries, 250 ms apart) and sends a "
        "message every 250 ms | stalled peers cut off %d times (%d with the failure reply, %d at once without one), "
        "each after at most %.2f s; genuine messages **%d of %d acknowledged (%.1f%%), %d shown (%.1f%%; target "
        "99%%)**; the first message after the attack served in %.3f s |",
        count, anonymous ? " that open anonymously" : "", named.c_str(), seconds, ends, replies, ends - replies,
        longestHold, acknowledged, genuine, 100 * ackShare, shown, 100 * shownShare, first);
    Check(ended && reported && ends > 0 && replies > 0, "the stalled peers are cut off");
    Check(longestHold < 6.0, "no stalled peer holds a connection past its bound");
    Check(ackShare >= 0.99 && shownShare >= 0.99, "99% of genuine messages among stalled peers acknowledged and shown");
    Check(after && first < 1.0, "the first message after the stalled peers is served at once");
}

// The client's error log (it is installed in this program's folder) from the moment
// of construction on.
class LogWatch {
public:
    LogWatch() : from_(Text().size()) {}

    // New lines that hold both `code` (as "] 201 ") and `detail`.
    int Count(int code, const std::wstring& detail) const {
        const std::string tag = "] " + std::to_string(code) + " ", wanted = ToAnsi(detail), text = Text();
        int count = 0;
        for (size_t line = from_; line < text.size();) {
            const size_t end = std::min(text.find('\n', line), text.size());
            const std::string_view entry(text.data() + line, end - line);
            count += entry.find(tag) != entry.npos && entry.find(wanted) != entry.npos;
            line = end + 1;
        }
        return count;
    }
    // Waits for `times` such lines.
    bool Saw(int code, const std::wstring& detail, int times = 1) const {
        return test::WaitFor([&] { return Count(code, detail) >= times; }, 5s);
    }

    static std::wstring Path() { return DetermineInstallDirectory() + L"Logs\\Errors.log"; }
    static std::string Text() {
        const UniqueFile file(CreateFileW(Path().c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
        std::string text;
        char buffer[65536];
        DWORD got = 0;
        while (file && ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
            text.append(buffer, got);
        return text;
    }

private:
    size_t from_;
};

// Instances of the client's pipe name made by another account before the client
// starts: their security descriptor names another owner, the one thing the client
// can see of that under Wine, which enforces neither the access list nor
// FILE_FLAG_FIRST_PIPE_INSTANCE. Accepts every connection, counts those that bring a
// request, answers none; or, kept busy, has a peer of its own hold each instance, so
// that nobody else can open the name, not even to ask who serves it.
class Squatter {
public:
    static constexpr wchar_t kOwner[] = L"S-1-5-21-1111-2222-3333-4444";

    explicit Squatter(const std::wstring& name, bool busy = false)
        : stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
                (std::wstring(L"O:") + kOwner + L"D:(A;;GA;;;WD)").c_str(), SDDL_REVISION_1, &descriptor, nullptr))
            return;
        SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
        for (UniqueFile& pipe : pipes_) {
            // As many instances allowed as the client's own: nothing but its judgement keeps it out.
            pipe.Reset(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, PIPE_UNLIMITED_INSTANCES, 4096, 4096,
                                        0, &security));
        }
        LocalFree(descriptor);
        if (!Holds()) return;
        if (busy) {
            // Each open connects to an instance that is waiting for a peer.
            for (UniqueFile& holder : holders_)
                holder.Reset(
                    CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            return;
        }
        for (UniqueFile& pipe : pipes_)
            threads_.emplace_back([this, handle = pipe.Get()] { Serve(handle); });
    }
    ~Squatter() { Leave(); }

    bool Holds() const {
        return std::all_of(std::begin(pipes_), std::end(pipes_), [](const UniqueFile& pipe) { return bool(pipe); });
    }
    // Instances of the name, the client's included.
    DWORD Instances() const {
        DWORD instances = 0;
        GetNamedPipeHandleStateW(pipes_[0].Get(), nullptr, &instances, nullptr, nullptr, nullptr, 0);
        return instances;
    }
    int Requests() const { return requests_; }
    void Leave() {
        SetEvent(stop_.Get());
        for (std::thread& thread : threads_)
            thread.join();
        threads_.clear();
        for (UniqueFile& holder : holders_)
            holder.Reset();
        for (UniqueFile& pipe : pipes_)
            pipe.Reset();
    }

private:
    void Serve(HANDLE pipe) {
        const UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        for (;;) {
            OVERLAPPED ov = {};
            ov.hEvent = event.Get();
            if (!ConnectNamedPipe(pipe, &ov) && GetLastError() == ERROR_IO_PENDING) {
                const HANDLE waits[] = {ov.hEvent, stop_.Get()};
                if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
                    CancelIoEx(pipe, &ov);
                    DWORD ignored;
                    GetOverlappedResult(pipe, &ov, &ignored, TRUE);
                    return;
                }
            }
            // Connected, or a peer that came and went: whatever it left is read.
            uint8_t codeBytes[4] = {};
            if (ReadPipe(pipe, codeBytes, 4, 20) && CodeOf(codeBytes) == code::kTextMessage) ++requests_;
            DisconnectNamedPipe(pipe);
            if (WaitForSingleObject(stop_.Get(), 0) == WAIT_OBJECT_0) return;
        }
    }

    UniqueFile pipes_[2], holders_[2];
    UniqueHandle stop_;
    std::vector<std::thread> threads_;
    std::atomic<int> requests_{0};
};

// A client started by hand, once its main window is there: the client's own start
// waits for its pipe.
bool StartedByHand(test::ChildProcess& process) {
    return process.Start(test::BuildFolder() + L"PrintMirovant.exe") &&
           test::WaitFor([&] { return test::FindProcessWindow(process.Id(), TFormMirovant::kClassName) != nullptr; },
                         test::kStartLimit);
}

// The box that says the pipe name is taken, once it is shown whole (its texts are set
// before it shows), within `limit`; `warned` when it has the caption and the text.
HWND TakenWarning(DWORD processId, std::chrono::milliseconds limit, bool& warned) {
    HWND box = nullptr;
    test::WaitFor(
        [&] { return (box = test::FindProcessWindow(processId, L"#32770")) != nullptr && IsWindowVisible(box); },
        limit);
    warned = false;
    if (!box) return nullptr;
    EnumChildWindows(
        box,
        [](HWND child, LPARAM lp) -> BOOL {
            if (TextOf(child) == text::kPipeTaken.defaultText) *reinterpret_cast<bool*>(lp) = true;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&warned));
    warned = warned && TextOf(box) == kProductCaption;
    return box;
}

// The command its OK button sends: a BM_CLICK on the button once went unanswered under Wine.
bool Dismissed(HWND box) {
    if (!box) return true;
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), LPARAM(GetDlgItem(box, IDOK)));
    return test::WaitFor([&] { return !IsWindow(box); }, 5s);
}

bool StoppedByHand(const test::ChildProcess& process) {
    if (HWND main = test::FindProcessWindow(process.Id(), TFormMirovant::kClassName))
        PostMessageW(main, WM_CLOSE, 0, 0);
    return process.WaitExit(10000);
}

// The pipe name served by another account when the client starts: the client warns
// once, logs the owner, joins nobody's instances (every message sent meanwhile reaches
// the squatter only), stays idle, and serves once the name is free again.
void Squatted(const std::wstring& pipe, int seconds) {
    const LogWatch log;
    Squatter squatter(pipe);
    Check(squatter.Holds(), "the squatter takes the pipe name");
    test::ChildProcess process;
    if (!StartedByHand(process)) return Check(false, "the client starts while its pipe name is taken");
    bool warned = false;
    const HWND box = TakenWarning(process.Id(), 15s, warned);
    const bool logged = log.Saw(201, Squatter::kOwner);

    // A genuine message every second while the name is held, and the client's processor time.
    const double before = CpuSeconds(process.Id());
    int sent = 0, acknowledged = 0;
    const auto start = Clock::now();
    for (auto next = start; Seconds(start) < seconds; next += 1s) {
        std::this_thread::sleep_until(next);
        ++sent;
        const Outcome o = Exchange(pipe, {CodeBytes(code::kTextMessage), Record(EncodeTextMessage(L"squatted"))});
        acknowledged += o.replied && o.reply == code::kAck;
    }
    const double share = (CpuSeconds(process.Id()) - before) / Seconds(start);
    const DWORD instances = squatter.Instances();
    const int boxes = CountProcessWindows(process.Id(), L"#32770");
    squatter.Leave();

    const auto freed = Clock::now();
    bool served = false;
    while (!served && Seconds(freed) < 16) {
        const Outcome o = Exchange(pipe, {CodeBytes(code::kTextMessage), Record(EncodeTextMessage(L"free again"))},
                                   true, kPipeWaitInterval, Open::Patiently);
        served = o.replied && o.reply == code::kAck;
    }
    const double freedToServed = Seconds(freed);
    const bool dismissed = Dismissed(box);
    Row("| The pipe name served by another account before the client starts (instances owned by `%ls`), held %d s, a "
        "message sent to the name every second | warning box: %s; log 201 with that SID: %s; %d messages sent, %d "
        "reached the squatter, %d the client; instances of the name: %lu; client CPU %.2f%%; served %.2f s after the "
        "squatter left (bound 15 s) |",
        Squatter::kOwner, seconds, warned ? "once" : "none", logged ? "yes" : "no", sent, squatter.Requests(),
        acknowledged, instances, 100 * share, freedToServed);
    Check(warned && boxes == 1, "one warning box with the taken-pipe text");
    Check(logged, "the owner of the taken name is logged");
    Check(acknowledged == 0 && squatter.Requests() == sent && instances == 2,
          "the client joins no instance of a name another account serves");
    Check(share < 0.02, "under 2% CPU while the name is taken");
    Check(served && freedToServed <= 15, "served within 15 s after the squatter leaves");
    Check(dismissed, "the warning box closes");
    Check(StoppedByHand(process), "the client exits");
}

// Every instance of the pipe name kept busy by another account when the client starts:
// nobody can ask who serves the name, and once it has stayed busy for a minute the
// client warns and logs as it does of a squatter.
void BusySquatted(const std::wstring& pipe) {
    const LogWatch log;
    Squatter squatter(pipe, true);
    // One more peer finds no instance free.
    const UniqueFile another(
        CreateFileW(pipe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    Check(squatter.Holds() && !another && GetLastError() == ERROR_PIPE_BUSY, "every instance of the name is busy");
    test::ChildProcess process;
    if (!StartedByHand(process)) return Check(false, "the client starts while its pipe name is kept busy");
    const auto start = Clock::now();
    bool warned = false;
    const HWND box = TakenWarning(process.Id(), 80s, warned);
    const double warnedAfter = Seconds(start);
    const bool logged = log.Saw(201, L"kept busy");
    squatter.Leave();
    const bool dismissed = Dismissed(box);
    Row("| Every instance of the pipe name (instances owned by `%ls`) connected to and held by that account when the "
        "client starts | warning box: %s, %.0f s after the client started (bound 70 s); log 201 \"kept busy\": %s |",
        Squatter::kOwner, warned ? "once" : "none", warnedAfter, logged ? "yes" : "no");
    Check(warned && warnedAfter <= 70, "the warning box within 70 s of a name kept busy");
    Check(logged, "the name kept busy is logged");
    Check(dismissed, "the warning box closes");
    Check(StoppedByHand(process), "the client exits");
}

// A machine-wide value of the product key for one step: gone again whatever happens
// in the step.
class MachineValue {
public:
    MachineValue(const wchar_t* name, const std::wstring& value)
        : key_(reg::OpenKey(HKEY_LOCAL_MACHINE, kProductKey, reg::Access::ReadWrite)),
          name_(name),
          set_(key_ && reg::WriteString(key_.Get(), name, value)) {}
    ~MachineValue() {
        if (key_) RegDeleteValueW(key_.Get(), name_);
    }
    bool Set() const { return set_; }

private:
    UniqueKey key_;
    const wchar_t* name_;
    bool set_;
};

// This process's account as the system names it (DOMAIN\name), as the listener
// reports its peers.
std::wstring OwnAccount() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
    const UniqueHandle token(raw);
    alignas(TOKEN_USER) uint8_t buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    wchar_t name[256], domain[256];
    DWORD size = 0, nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    if (!GetTokenInformation(token.Get(), TokenUser, buffer, sizeof buffer, &size) ||
        !LookupAccountSidW(nullptr, reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, name, &nameSize, domain,
                           &domainSize, &use))
        return {};
    return std::wstring(domain) + L"\\" + name;
}

// A flood of held jobs from four peers at once, then more once the dialogs are at
// their limit: never more than JobDialogs::kLimit dialogs, a request that finds them
// at the limit is refused, and once the dialogs are answered the client's handles and
// windows are back where they were. The peers come as the print server's account, in
// "PrintServerAccounts", which is not held to one account's share of the dialogs.
void JobFlood(const Client& client, const AnswerSink& sink, int flood, int extra) {
    constexpr int kFirstJob = 100000;
    constexpr int kLimit = int(JobDialogs::kLimit);
    {
        // Warm-up: the error log's worker starts with the first entry, which would
        // otherwise be the flood's first refusal; an account outside the list writes it.
        const MachineValue others(kPrintServerAccountsValue, L"NOBODY\\none");
        Exchange(client.Pipe(), {CodeBytes(code::kAuthRequest), Record(HeldJob(kFirstJob - 2))});
        Delivered(client, L"after a job of an account not allowed");
    }
    const MachineValue trusted(kPrintServerAccountsValue, OwnAccount());
    if (!trusted.Set()) return Check(false, "PrintServerAccounts is set");
    // Warm-up: Wine keeps a registry key of its own open from the first click on.
    Exchange(client.Pipe(), {CodeBytes(code::kAuthRequest), Record(HeldJob(kFirstJob - 1))});
    test::WaitFor([&] { return client.Find(TFormAuth::kClassName) != nullptr; }, 10s);
    CloseDialogs(client);
    client.Settle();
    const Resources before = client.Measure();
    std::atomic<bool> watching{true};
    std::atomic<int> most{0};
    std::thread watcher([&] {
        while (watching) {
            most = std::max(most.load(), client.Windows(TFormAuth::kClassName));
            Sleep(5);
        }
    });
    std::atomic<int> next{0}, refused{0}, wrong{0};
    auto push = [&](int serial) {
        // A visible dialog is one the client counts already.
        const bool full = client.Windows(TFormAuth::kClassName, true) >= kLimit;
        const Outcome o = Exchange(client.Pipe(), {CodeBytes(code::kAuthRequest), Record(HeldJob(kFirstJob + serial))},
                                   true, 20, Open::Patiently);
        refused += o.reply == code::kReadFailure;
        if (!o.replied || (full && o.reply != code::kReadFailure)) ++wrong;
    };
    std::vector<std::thread> peers;
    for (int i = 0; i < 4; ++i)
        peers.emplace_back([&] {
            for (int serial; (serial = next++) < flood;)
                push(serial);
        });
    for (std::thread& peer : peers)
        peer.join();
    test::WaitFor([&] { return client.Windows(TFormAuth::kClassName, true) >= kLimit; }, 30s);
    for (int i = 0; i < extra; ++i)
        push(flood + i);
    Delivered(client, L"after the job flood");  // every job acknowledged so far has run
    watching = false;
    watcher.join();

    const int answersBefore = sink.Answers();
    const int closed = CloseDialogs(client);
    test::WaitFor([&] { return sink.Answers() - answersBefore == closed; }, 10s);
    const Resources after = client.MeasureSettled(before);
    Row("| %d held jobs from four peers at once (the print server's account, in `PrintServerAccounts`), then %d more "
        "while the dialogs are at their limit | at most %d dialogs at once (limit %d); %d refused with 0x80000002; "
        "%d answered, %d answers received; handles %d → %d, "
        "windows %d → %d |",
        flood, extra, most.load(), kLimit, refused.load(), closed, sink.Answers() - answersBefore, before.handles,
        after.handles, before.windows, after.windows);
    Check(most <= kLimit, "never more than the limit of authentication dialogs");
    Check(wrong == 0, "a job request that finds the dialogs at their limit is refused");
    Check(closed == kLimit && sink.Answers() - answersBefore == closed, "the dialogs up to the limit are answered");
    Check(after.handles - before.handles <= 2, "handles back to the start after the flood");
    Check(after.windows == before.windows, "windows back to the start after the flood");
}

// The print server asks twice for the same job: one dialog.
void SameJobTwice(const Client& client) {
    const Bytes job = Record(HeldJob(200000));
    Exchange(client.Pipe(), {CodeBytes(code::kAuthRequest), job});
    Exchange(client.Pipe(), {CodeBytes(code::kAuthRequest), job});
    const bool ran = Delivered(client, L"after the same job twice");
    const int dialogs = client.Windows(TFormAuth::kClassName);
    Row("| The same job (print server and job ID) twice | %d dialog |", dialogs);
    Check(ran && dialogs == 1, "the same job twice opens one dialog");
    CloseDialogs(client);
}

// The machine's list of print servers ("." only): a job of another server opens
// nothing and is logged; a job of this computer is answered to it.
void PrintServersList(const Client& client, const AnswerSink& sink) {
    const MachineValue list(kPrintServersValue, L".");
    if (!list.Set()) return Check(false, "PrintServers is set");
    const LogWatch log;
    Exchange(client.Pipe(), {CodeBytes(code::kAuthRequest), Record(HeldJob(300000, L"EVILHOST"))});
    const bool ran = Delivered(client, L"after a job of another print server");
    const bool opened = client.Windows(TFormAuth::kClassName) > 0;
    const bool logged = log.Saw(kLogServerNotAllowed, L"EVILHOST");
    CloseDialogs(client);

    const int answersBefore = sink.Answers();
    Exchange(client.Pipe(), {CodeBytes(code::kAuthRequest), Record(HeldJob(300001))});
    HWND dialog = nullptr;
    const bool shown = test::WaitFor(
        [&] { return (dialog = client.Find(TFormAuth::kClassName)) != nullptr && IsWindowVisible(dialog); }, 10s);
    if (shown) SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    const bool answered = test::WaitFor([&] { return sink.Answers() == answersBefore + 1; }, 10s);
    Row("| `PrintServers` set to `.`: a job of `EVILHOST`, then one of this computer | the first opened %s, logged "
        "(181): %s; the second opened %s, its answer %s |",
        opened ? "a dialog" : "nothing", logged ? "yes" : "no", shown ? "its dialog" : "nothing",
        answered ? "received by this computer" : "not received");
    Check(ran && !opened && logged, "a job of a print server outside PrintServers opens nothing and is logged");
    Check(shown && answered, "a job of a print server in PrintServers is answered to it");
}

// The client's authentication dialog that shows `text` in one of its fields.
HWND DialogShowing(const Client& client, const std::wstring& text) {
    struct Search {
        const std::wstring& text;
        bool found;
    };
    for (HWND dialog : test::ProcessWindows(client.Id(), TFormAuth::kClassName)) {
        Search search{text, false};
        EnumChildWindows(
            dialog,
            [](HWND child, LPARAM lp) -> BOOL {
                auto* s = reinterpret_cast<Search*>(lp);
                s->found = TextOf(child) == s->text;
                return !s->found;
            },
            reinterpret_cast<LPARAM>(&search));
        if (search.found) return dialog;
    }
    return nullptr;
}

// One account (a peer the listener cannot identify) floods the dialogs with held jobs,
// then the print server asks for a genuine one: the flood holds its share of the
// dialogs and no more, and the genuine job opens its own.
void DialogFlood(const Client& client, int flood) {
    constexpr int kFirstJob = 400000, kShare = int(JobDialogs::kPerAccount);
    // Wine's pipes impersonate their server's own process, whoever the client is: there
    // no open makes a peer another account, and the genuine job shares the flood's.
    const std::wstring user = RequesterOf(client, Open::AsPeersDo, kFirstJob - 2),
                       anonymous = RequesterOf(client, Open::Anonymously, kFirstJob - 1);
    const bool apart = !anonymous.empty() && anonymous != user;
    int acknowledged = 0, refused = 0;
    for (int i = 0; i < flood; ++i) {
        const Outcome o = Exchange(client.Pipe(), {CodeBytes(code::kAuthRequest), Record(HeldJob(kFirstJob + i))}, true,
                                   20, Open::Anonymously);
        acknowledged += o.replied && o.reply == code::kAck;
        refused += o.replied && o.reply == code::kReadFailure;
    }
    Delivered(client, L"after one account's flood of jobs");  // every job acknowledged so far has run
    const int flooded = client.Windows(TFormAuth::kClassName);
    const Outcome o = Exchange(client.Pipe(), {CodeBytes(code::kAuthRequest), Record(HeldJob(kFirstJob + flood))});
    const std::wstring document = L"Soak document " + std::to_wstring(kFirstJob + flood);
    HWND dialog = nullptr;
    auto shown = [&] { return (dialog = DialogShowing(client, document)) != nullptr && IsWindowVisible(dialog); };
    const bool opened = o.replied && o.reply == code::kAck && test::WaitFor(shown, 10s);
    CloseDialogs(client, true);
    Row("| One account (a peer that opens anonymously) asks for %d held jobs, then the print server for a genuine "
        "one | the flood: %d acknowledged, %d refused with 0x80000002, %d dialogs opened (share %d); requested by "
        "\"%ls\", the print server's by \"%ls\"; the genuine job: %s |",
        flood, acknowledged, refused, flooded, kShare, anonymous.c_str(), user.c_str(),
        !apart   ? "not measured, as the listener names both alike"
        : opened ? "its dialog opened"
                 : "no dialog");
    Check(flooded == kShare, "one account's flood of jobs holds its share of the dialogs and no more");
    if (apart) Check(opened, "a genuine job opens its dialog after one account's flood");
}

// A flood of text messages from one peer with a genuine one among them, as many after
// it as the message window keeps besides it: the genuine one is still there to read,
// OK after OK, newest first.
void TextFlood(const Client& client) {
    constexpr int kKept = int(TFormMessages::kMaxUnread), kFlood = 2 * kKept, kGenuine = kFlood - kKept + 1;
    const std::wstring genuine = L"Genuine message among a flood";
    auto text = [&](int i) { return i == kGenuine ? genuine : L"Flood message " + std::to_wstring(i); };
    int acknowledged = 0;
    const auto start = Clock::now();
    for (int i = 1; i <= kFlood; ++i) {
        const Outcome o = Exchange(client.Pipe(), {CodeBytes(code::kTextMessage), Record(EncodeTextMessage(text(i)))},
                                   true, 20, Open::Patiently);
        acknowledged += o.replied && o.reply == code::kAck;
    }
    const double seconds = Seconds(start);
    const HWND window = client.Find(TFormMessages::kClassName);
    const bool newest = test::WaitFor([&] { return client.ShownMessage() == text(kFlood); }, 5s);
    bool found = false;
    int presses = 0;
    while (newest && window && !found && presses < kKept) {
        const std::wstring shown = client.ShownMessage();
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), LPARAM(GetDlgItem(window, IDOK)));
        ++presses;
        if (!test::WaitFor([&] { return client.ShownMessage() != shown; }, 2s)) break;
        found = client.ShownMessage() == genuine;
    }
    Row("| %d text messages from one peer (%.0f per second), number %d of them a genuine one | %d acknowledged; the "
        "genuine one shown after %d presses of OK (newest first, %d kept unread) |",
        kFlood, kFlood / seconds, kGenuine, acknowledged, found ? presses : -1, kKept);
    Check(acknowledged == kFlood, "every message of the flood is acknowledged");
    Check(found && presses == kFlood - kGenuine, "a genuine message in a flood is still there to read");
}

// A file's size, 0 when there is none.
uint64_t FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

// Where Wine finds \\<computer>\PIPE\PrintDolvek: the prefix's
// dosdevices\unc\<computer>\PIPE\PrintDolvek, a file the trap makes, so that an
// answer sent to that computer is written where the soak sees it. Gone again at the
// end, with the folders it made.
class AnswerTrap {
public:
    explicit AnswerTrap(const std::wstring& computer) {
        wchar_t prefix[MAX_PATH] = {};
        if (!GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH)) return;
        std::wstring folder = L"Z:" + std::wstring(prefix) + L"\\dosdevices";
        std::replace(folder.begin(), folder.end(), L'/', L'\\');
        for (const std::wstring& part : {std::wstring(L"unc"), computer, std::wstring(L"PIPE")}) {
            folder += L"\\" + part;
            if (CreateDirectoryW(folder.c_str(), nullptr)) made_.push_back(folder);
        }
        file_ = folder + L"\\PrintDolvek";
        const UniqueFile made(CreateFileW(file_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          CREATE_ALWAYS, 0, nullptr));
        // Set when the computer's pipe name opens it.
        set_ = made && UniqueFile(CreateFileW(ServerPipeName(computer).c_str(), GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    }
    ~AnswerTrap() {
        DeleteFileW(file_.c_str());
        for (auto folder = made_.rbegin(); folder != made_.rend(); ++folder)
            RemoveDirectoryW(folder->c_str());
    }
    bool Set() const { return set_; }
    uint64_t Written() const { return FileSize(file_); }

private:
    std::wstring file_;
    std::vector<std::wstring> made_;
    bool set_ = false;
};

// The countdown's delete goes to no computer that nobody chose. With no PrintServers
// and EVILHOST not the chosen print server, a job of EVILHOST past its time on arrival
// opens nothing, and one whose countdown runs out in its dialog closes it; each is
// logged (184), and nothing is sent to EVILHOST. A job of this computer past its time
// is answered at once.
void UnattendedAnswer(const Client& client, const AnswerSink& sink) {
    std::wstring chosen;
    if (const UniqueKey user = reg::OpenKey(HKEY_CURRENT_USER, kProductKey, reg::Access::Read))
        chosen = reg::ReadString(user.Get(), L"AccInfoServer").ValueOr(L"");
    std::wstring upper = chosen;
    CharUpperBuffW(upper.data(), DWORD(upper.size()));
    const UniqueKey machine = reg::OpenKey(HKEY_LOCAL_MACHINE, kProductKey, reg::Access::Read);
    const bool unlisted =
        !machine || reg::ReadString(machine.Get(), kPrintServersValue).status == reg::ReadStatus::Missing;
    Check(unlisted && upper.find(L"EVILHOST") == upper.npos, "neither PrintServers nor AccInfoServer names EVILHOST");
    const AnswerTrap trap(L"EVILHOST");
    Check(trap.Set(), "an answer to EVILHOST would be seen");
    const LogWatch log;
    constexpr int kFirstJob = 600000;

    Exchange(client.Pipe(), {CodeBytes(code::kAuthRequest), Record(HeldJob(kFirstJob, L"EVILHOST", 400))});
    const bool ran = Delivered(client, L"after a job of EVILHOST past its time");
    const bool openedNothing = ran && client.Windows(TFormAuth::kClassName) == 0;

    Exchange(client.Pipe(), {CodeBytes(code::kAuthRequest), Record(HeldJob(kFirstJob + 1, L"EVILHOST", 296))});
    HWND dialog = nullptr;
    const bool shown = test::WaitFor(
        [&] { return (dialog = client.Find(TFormAuth::kClassName)) != nullptr && IsWindowVisible(dialog); }, 5s);
    const std::wstring answerTo = shown ? TextOf(GetDlgItem(dialog, TFormAuth::kIdAnswerTo)) : L"";
    const auto start = Clock::now();
    const bool closed = shown && test::WaitFor([&] { return !IsWindow(dialog); }, 10s);
    const double closedAfter = Seconds(start);
    const bool logged = log.Saw(kLogUnattendedNotSent, L"EVILHOST", 2);

    const int answersBefore = sink.Settled();
    Exchange(client.Pipe(), {CodeBytes(code::kAuthRequest), Record(HeldJob(kFirstJob + 2, L".", 400))});
    const auto sent = Clock::now();
    const bool answered = test::WaitFor([&] { return sink.Answers() == answersBefore + 1; }, 5s);
    const double answeredAfter = Seconds(sent);
    const uint64_t written = trap.Written();
    Row("| No `PrintServers`, `AccInfoServer` %ls%ls%ls: a job of `EVILHOST` submitted 400 s before, one submitted "
        "296 s before, then one of this computer submitted 400 s before | the first opened %s; the second's dialog "
        "(answer goes to \"%ls\") closed by itself %.1f s after it showed; log 184 for both: %s; bytes written to "
        "`\\\\EVILHOST\\PIPE\\PrintDolvek`: %llu; the third answered: %s, after %.2f s |",
        chosen.empty() ? L"not set" : L"`", chosen.c_str(), chosen.empty() ? L"" : L"`",
        openedNothing ? "nothing" : "a dialog", answerTo.c_str(), closedAfter, logged ? "yes" : "no",
        (unsigned long long)written, answered ? "yes" : "no", answeredAfter);
    Check(openedNothing, "a job of a computer nobody chose, past its time on arrival, opens nothing");
    Check(closed, "the dialog of a job of a computer nobody chose closes when its countdown runs out");
    Check(logged, "each unanswered job of a computer nobody chose is logged");
    Check(trap.Set() && written == 0, "nothing is sent to a computer nobody chose");
    Check(answered, "a job of this computer past its time is answered at once");
}

// Job requests of a print server outside the machine's list, from eight peers as fast
// as they go: each is refused (log 181), yet a burst of them leaves one entry, and the
// log never grows past kErrorLogSizeLimit. The log is set aside meanwhile, so the
// figures start from an empty one and later runs find theirs as it was.
void RefusedFlood(const Client& client, int requests) {
    const MachineValue list(kPrintServersValue, L".");
    if (!list.Set()) return Check(false, "PrintServers is set");
    const std::wstring path = LogWatch::Path(), aside = path + L".soak";
    const bool existed = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    // A client writing an entry holds the file for that moment.
    if (existed &&
        !test::WaitFor([&] { return MoveFileExW(path.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING); }, 5s))
        return Check(false, "the error log is set aside");
    struct PutBack {
        const std::wstring &path, &aside;
        bool existed;
        ~PutBack() {
            // The client's writer may still be working through entries queued meanwhile
            // (a full log no longer grows): the flood's log is gone once none has come back
            // for two seconds.
            for (int tries = 0; tries < 60; ++tries) {
                DeleteFileW(path.c_str());
                Sleep(2000);
                if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) break;
            }
            if (existed) MoveFileExW(aside.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
        }
    } putBack{path, aside, existed};

    const Bytes job = Record(HeldJob(700000, L"EVILHOST"));
    std::atomic<int> next{0}, acknowledged{0};
    const auto start = Clock::now();
    std::vector<std::thread> peers;
    for (int i = 0; i < 8; ++i)
        peers.emplace_back([&] {
            while (next++ < requests) {
                const Outcome o =
                    Exchange(client.Pipe(), {CodeBytes(code::kAuthRequest), job}, true, 20, Open::Patiently);
                acknowledged += o.replied && o.reply == code::kAck;
            }
        });
    for (std::thread& peer : peers)
        peer.join();
    const double elapsed = Seconds(start);
    Delivered(client, L"after the refused job requests");  // every request acknowledged so far has run
    // The log's writer works through its queue on a thread of its own: done once the size holds still.
    uint64_t size = FileSize(path);
    for (uint64_t last = ~0ull; size != last && Seconds(start) < elapsed + 120; size = FileSize(path)) {
        last = size;
        Sleep(1000);
    }
    const std::string text = LogWatch::Text();
    auto entries = [&](const char* tag) {
        int count = 0;
        for (size_t at = text.find(tag); at != text.npos; at = text.find(tag, at + 1))
            ++count;
        return count;
    };
    Row("| %d job requests of a print server outside `PrintServers` (`.`), from eight peers at once as fast as they "
        "go (%.0f per second), the error log empty before | %d acknowledged; the log grew by %llu bytes (%.3f per "
        "request): %d entries of code 181, %d of 190 (limit %llu bytes) |",
        requests, requests / elapsed, acknowledged.load(), (unsigned long long)size, double(size) / requests,
        entries("] 181 "), entries("] 190 "), (unsigned long long)kErrorLogSizeLimit);
    Check(size < uint64_t(requests), "the error log grows by far less than a line per refused request");
    Check(size <= kErrorLogSizeLimit, "the error log never grows past its limit");
}

// ---- soak ----

void Soak(const Client& client, const AnswerSink& sink, int requests, int dialogs) {
    const int answersBefore = sink.Answers();  // from the hostile steps, in the quick run
    // Warm-up: the first message window, the first dialog and their fonts are made once.
    for (int i = 0; i < 20; ++i)
        Exchange(client.Pipe(), {CodeBytes(code::kTextMessage), Record(EncodeTextMessage(L"warm-up"))});
    Exchange(client.Pipe(), {CodeBytes(code::kAuthRequest), Record(HeldJob(0))});
    test::WaitFor([&] { return client.Find(TFormAuth::kClassName) != nullptr; }, 10s);
    Check(CloseDialogs(client) == 1, "the warm-up dialog is answered");
    test::WaitFor([&] { return sink.Answers() == answersBefore + 1; }, 5s);
    Sleep(2000);
    client.Settle();
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
    test::WaitFor([&] { return sink.Answers() == answersBefore + 1 + closed; }, 10s);
    Sleep(3000);  // the idle trim and any deferred destruction
    const Resources after = client.MeasureSettled(before);

    const long long commitGrowth = (long long)after.commit - (long long)before.commit;
    Row("| Requests with the documented reply | all | %d of %d (%.0f per second, in %.1f s) |", requests - wrong,
        requests, requests / elapsed, elapsed);
    Row("| Dialogs opened and answered; answers received by the stand-in server | %d | %d, %d, %d |", dialogs, opened,
        closed, sink.Answers() - answersBefore - 1);
    Row("| Live handles (before → after) | growth at most 2 | %d → %d |", before.handles, after.handles);
    Row("| Windows: top-level, child and message-only | back to baseline ± 5 | %d → %d |", before.windows,
        after.windows);
    Row("| GDI and USER objects | back to baseline ± 5 | %lu → %lu, %lu → %lu%s |", before.gdi, after.gdi, before.user,
        after.user, IsWine() ? " (not counted by Wine)" : "");
    Row("| Private bytes (commit) | growth under 1 MB | %.0f KB → %.0f KB (%+.0f KB) |", before.commit / 1024.0,
        after.commit / 1024.0, commitGrowth / 1024.0);
    Check(wrong == 0, "every soak request gets its documented reply");
    Check(opened == dialogs && closed == dialogs, "every held job opens a dialog that is answered");
    Check(sink.Answers() - answersBefore - 1 == closed, "every answer reaches the print server");
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
// A desktop of this run's own: explorer hands a program for a desktop that exists
// already to that desktop's explorer and returns at once, and the program would run
// on, unseen, with another run's handles.
constexpr wchar_t kDesktop[] = L"PrintMirovantSoak";

bool InSoakDesktop() {
    wchar_t name[64] = {};
    GetUserObjectInformationW(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, name, sizeof name, nullptr);
    return std::wstring(name).rfind(kDesktop, 0) == 0;
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
    std::wstring commandLine = std::wstring(L"explorer.exe /desktop=") + kDesktop +
                               std::to_wstring(GetCurrentProcessId()) + L",1024x768 \"" + self + L"\"" + arguments;
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
    if (mode == L"stall" && argc > 4)
        return Stall(argv[2], _wtoi(argv[3]), _wtoi(argv[4]), argc > 5 && std::wstring(argv[5]) == L"anonymous");
    if (mode != L"hostile" && mode != L"soak" && mode != L"quick") {
        std::fwprintf(stderr,
                      L"usage: client_soak hostile [--stalled N] [--taken-seconds S] [--refused N] | soak "
                      L"[--requests N] [--dialogs N] | quick\n");
        return 2;
    }
    if (IsWine() && !InSoakDesktop()) return RunInDesktop();
    const bool quick = mode == L"quick";
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    // Every job answer comes here, in both modes: a missing print server would make
    // each answer wait for its tries to open the pipe.
    static AnswerSink sink;
    if (mode == L"hostile" || quick) {
        Squatted(ListenerPipeName(LocalUserName()), quick ? 5 : Option(argc, argv, L"--taken-seconds", 30));
        if (!quick) BusySquatted(ListenerPipeName(LocalUserName()));
        Client client;
        if (!client.Start()) {
            std::printf("the client did not start\n");
            Finish(1);
        }
        if (quick) {
            StalledPeers(client, 5, 8, false);
        } else {
            StalledPeers(client, Option(argc, argv, L"--stalled", 200), 30, false);
            StalledPeers(client, Option(argc, argv, L"--stalled", 200), 30, true);
        }
        JobFlood(client, sink, quick ? 34 : 40, quick ? 2 : 8);
        SameJobTwice(client);
        PrintServersList(client, sink);
        DialogFlood(client, 40);
        TextFlood(client);
        if (!quick) UnattendedAnswer(client, sink);
        FaultyPeers(client);
        Sweep(client, Lengths(!quick));
        RefusedFlood(client, quick ? 1000 : Option(argc, argv, L"--refused", 100000));
        Check(client.Stop(), "the client exits");
    }
    if (mode == L"soak" || quick) {
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
