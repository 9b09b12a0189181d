// client_soak: hostile peers and a long soak against a real client process, with
// figures. It starts PrintMirovant.exe from its own folder (no other client of this
// user may be running) and plays the print server's answer pipe itself.
//   client_soak hostile [--stalled N] [--taken-seconds S]
//       every record length 0-1700 and code length 0-8 for the text, job and an
//       unknown code; peers that stop or stall at each step; N peers (default 20)
//       that stall at once and come back the moment they are cut off, while a
//       genuine peer sends a message every 250 ms for 30 s; a flood of held jobs
//       past the dialog limit; the same job twice; the machine's list of print
//       servers; the pipe name held by another account for S seconds (default 30)
//       when the client starts
//   client_soak soak [--requests N] [--dialogs N]
//       N mixed requests, among them the held jobs whose dialogs are opened and
//       answered; handles, windows, GDI/USER objects and commit before and after
//   client_soak quick
//       a short run of both, for the test suite
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
#include "support/clock_win.h"
#include "support/day_count.h"
#include "support/error_log_win.h"
#include "support/install_dir_win.h"
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

// A held job of the given print server that needs no credentials (OK prints it).
RequestBytes HeldJob(int serial, const wchar_t* server = L".") {
    RequestRecord job;
    job.ServerComputer = server;
    job.PrinterName = L"Soak printer";
    job.DocumentName = L"Soak document " + std::to_wstring(serial);
    job.AuthMode = AuthNone;
    job.Pages = 3;
    job.Copies = 1;
    job.JobId = uint32_t(serial);
    job.Submitted = DayCountFromDateTime(SystemClock::Instance().Now()).value_or(0);
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

// Stalled peers all at once, each sending the text code and nothing more, and each
// back the moment the listener cuts it off; meanwhile a genuine peer, opening as the
// print server does (OpenPipe: four tries, 250 ms apart), sends a whole message every
// 250 ms. Each message must be acknowledged and shown.
void StalledPeers(const Client& client, int count, int seconds) {
    std::atomic<bool> done{false};
    std::atomic<int> cut{0}, wrongCut{0};
    std::mutex mutex;  // guards the two below
    std::vector<HANDLE> stalling(size_t(count), nullptr);
    double longestHold = 0;
    std::vector<std::thread> stallers;
    for (int i = 0; i < count; ++i) {
        stallers.emplace_back([&, i] {
            while (!done) {
                UniqueFile handle;
                if (!OpenPatiently(client.Pipe(), handle)) continue;
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
                ++cut;
                if (!replied || CodeOf(reply) != code::kReadFailure) ++wrongCut;
                longestHold = std::max(longestHold, Seconds(start));
            }
        });
    }
    Sleep(500);  // every staller in place
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
    {
        const std::lock_guard lock(mutex);
        done = true;
        for (HANDLE handle : stalling)
            if (handle) CancelIoEx(handle, nullptr);
    }
    for (std::thread& staller : stallers)
        staller.join();
    double first = 0;
    const bool after = Delivered(client, L"after the stalled peers", &first);
    const double ackShare = genuine ? double(acknowledged) / genuine : 0,
                 shownShare = genuine ? double(shown) / genuine : 0;
    Row("| %d peers at once that send the text code and stall, each back the moment it is cut off, for %d s, while a "
        "genuine peer opens as the print server does (four tries, 250 ms apart) and sends a message every 250 ms | "
        "stalled peers cut off %d times, each after at most %.2f s; genuine messages **%d of %d acknowledged "
        "(%.1f%%), %d shown (%.1f%%; target 99%%)**; the first message after the attack served in %.3f s |",
        count, seconds, cut.load(), longestHold, acknowledged, genuine, 100 * ackShare, shown, 100 * shownShare, first);
    Check(cut > 0 && wrongCut == 0, "every stalled peer is cut off with the failure reply");
    Check(longestHold < 6.0, "no stalled peer holds a connection past its bound");
    Check(ackShare >= 0.99 && shownShare >= 0.99, "99% of genuine messages among stalled peers acknowledged and shown");
    Check(after && first < 1.0, "the first message after the stalled peers is served at once");
}

// The client's error log (it is installed in this program's folder) from the moment
// of construction on.
class LogWatch {
public:
    LogWatch() : from_(Read().size()) {}

    // Waits for a new line that holds both `code` (as "] 201 ") and `detail`.
    bool Saw(int code, const std::wstring& detail) const {
        const std::string tag = "] " + std::to_string(code) + " ", wanted = ToAnsi(detail);
        return test::WaitFor(
            [&] {
                const std::string text = Read();
                for (size_t line = from_; line < text.size();) {
                    const size_t end = std::min(text.find('\n', line), text.size());
                    const std::string_view entry(text.data() + line, end - line);
                    if (entry.find(tag) != entry.npos && entry.find(wanted) != entry.npos) return true;
                    line = end + 1;
                }
                return false;
            },
            5s);
    }

private:
    static std::string Read() {
        const UniqueFile file(CreateFileW((DetermineInstallDirectory() + L"Logs\\Errors.log").c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
        std::string text;
        char buffer[65536];
        DWORD got = 0;
        while (file && ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
            text.append(buffer, got);
        return text;
    }

    size_t from_;
};

// Instances of the client's pipe name made by another account before the client
// starts: their security descriptor names another owner, the one thing the client
// can see of that under Wine, which enforces neither the access list nor
// FILE_FLAG_FIRST_PIPE_INSTANCE. Accepts every connection, counts those that bring a
// request, answers none.
class Squatter {
public:
    static constexpr wchar_t kOwner[] = L"S-1-5-21-1111-2222-3333-4444";

    explicit Squatter(const std::wstring& name) : stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
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

    UniqueFile pipes_[2];
    UniqueHandle stop_;
    std::vector<std::thread> threads_;
    std::atomic<int> requests_{0};
};

// The pipe name served by another account when the client starts: the client warns
// once, logs the owner, joins nobody's instances (every message sent meanwhile reaches
// the squatter only), stays idle, and serves once the name is free again.
void Squatted(const std::wstring& pipe, int seconds) {
    const LogWatch log;
    Squatter squatter(pipe);
    Check(squatter.Holds(), "the squatter takes the pipe name");
    // Started by hand: the client's own start waits for its pipe.
    test::ChildProcess process;
    if (!process.Start(test::BuildFolder() + L"PrintMirovant.exe")) return Check(false, "the client starts");
    const bool started = test::WaitFor(
        [&] { return test::FindProcessWindow(process.Id(), TFormMirovant::kClassName) != nullptr; }, test::kStartLimit);
    Check(started, "the client starts while its pipe name is taken");
    // The box once it is shown whole: its texts are set before it shows.
    HWND box = nullptr;
    test::WaitFor(
        [&] { return (box = test::FindProcessWindow(process.Id(), L"#32770")) != nullptr && IsWindowVisible(box); },
        15s);
    bool warned = false;
    if (box) {
        EnumChildWindows(
            box,
            [](HWND child, LPARAM lp) -> BOOL {
                if (TextOf(child) == text::kPipeTaken.defaultText) *reinterpret_cast<bool*>(lp) = true;
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&warned));
        warned = warned && TextOf(box) == kProductCaption;
    }
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
    // The command its OK button sends: a BM_CLICK on the button once went unanswered under Wine.
    if (box) PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), LPARAM(GetDlgItem(box, IDOK)));
    const bool dismissed = !box || test::WaitFor([&] { return !IsWindow(box); }, 5s);
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
    if (HWND main = test::FindProcessWindow(process.Id(), TFormMirovant::kClassName))
        PostMessageW(main, WM_CLOSE, 0, 0);
    Check(process.WaitExit(10000), "the client exits");
}

// A flood of held jobs from four peers at once, then more once the dialogs are at
// their limit: never more than JobDialogs::kLimit dialogs, a request that finds them
// at the limit is refused, and once the dialogs are answered the client's handles and
// windows are back where they were.
void JobFlood(const Client& client, const AnswerSink& sink, int flood, int extra) {
    constexpr int kFirstJob = 100000;
    constexpr int kLimit = int(JobDialogs::kLimit);
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
    client.Settle();
    const Resources after = client.Measure();
    Row("| %d held jobs from four peers at once, then %d more while the dialogs are at their limit | at most %d "
        "dialogs at once (limit %d); %d refused with 0x80000002; %d answered, %d answers received; handles %d → %d, "
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
    const UniqueKey key = reg::OpenKey(HKEY_LOCAL_MACHINE, kProductKey, reg::Access::ReadWrite);
    if (!key || !reg::WriteString(key.Get(), kPrintServersValue, L".")) return Check(false, "PrintServers is set");
    // Machine-wide: gone again whatever happens below.
    struct Removal {
        HKEY key;
        ~Removal() { RegDeleteValueW(key, kPrintServersValue); }
    } removal{key.Get()};
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
    client.Settle();
    const Resources after = client.Measure();

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
    // Every job answer comes here, in both modes: a missing print server would make
    // each answer wait for its tries to open the pipe.
    static AnswerSink sink;
    if (mode == L"hostile" || quick) {
        Squatted(ListenerPipeName(LocalUserName()), quick ? 5 : Option(argc, argv, L"--taken-seconds", 30));
        Client client;
        if (!client.Start()) {
            std::printf("the client did not start\n");
            Finish(1);
        }
        if (quick)
            StalledPeers(client, 5, 8);
        else
            StalledPeers(client, Option(argc, argv, L"--stalled", 20), 30);
        JobFlood(client, sink, quick ? 34 : 40, quick ? 2 : 8);
        SameJobTwice(client);
        PrintServersList(client, sink);
        FaultyPeers(client);
        Sweep(client, Lengths(!quick));
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
