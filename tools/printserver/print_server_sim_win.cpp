// PrintServerSim: a stand-in print server for the client's tests, demos and
// administrators. It serves the print server's pipe (announcements, job answers,
// account queries from an accounts file), pushes job requests and text messages to
// a client's per-user pipe, and writes every event as one JSON line.

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "account/account_records.h"
#include "pipes/message_codes.h"
#include "pipes/name_blocks.h"
#include "pipes/pipe_names.h"
#include "pipes/pipe_transport_win.h"
#include "pipes/request_record.h"
#include "support/bytes.h"
#include "support/clock_win.h"
#include "support/day_count.h"
#include "support/names_win.h"

namespace pm::sim {
namespace {

constexpr wchar_t kUsage[] =
    LR"(PrintServerSim - a stand-in print server for the Print Mirovant Pro client

Usage:
  PrintServerSim serve [options]        serve \\.\PIPE\PrintDolvek until stopped (Ctrl+C)
      --accounts FILE        accounts file (see below); without it a built-in sample:
                             money accounting, 12.50 left of a 50.00 limit for any user
      --events FILE          append the JSON event lines to FILE instead of standard output
      --instances N          pipe instances served at once (default 4)
      --max-connections N    serve N connections, then stop serving (opens then fail);
                             implies --instances 1
      --misbehave MODE       no-reply | wrong-ack | short-record | slow-reply
      --only-code CODE       misbehave only on this request code (e.g. 0x10000403)
      --delay MS             the wait of no-reply and slow-reply (default 7000)
      --pipe NAME            serve another pipe name (tests)

  PrintServerSim push-job [options]     send a job authentication request to a client
      --to COMPUTER          the client's computer (default .)
      --user NAME            the client's user (default: the current user)
      --server NAME          the computer the client answers to (default .)
      --printer TEXT  --document TEXT  --pages N  --copies N  --cost N (thousandths)
      --mode N               1 none, 2 current user, 3 any account, 4 PIN code (default 2)
      --pin TEXT  --job N  --colour  --flags N
      --paper-size N  --paper-width N  --paper-length N (tenths of a millimetre)
      --age SECONDS          the job was submitted this long ago (default 0)
      --submitted DAYCOUNT   the job's time as a day count (overrides --age)
      --printer-tail HEX     bytes placed after the printer name's terminating zero
      --one-write            write the code and the record in one write (a faulty peer)

  PrintServerSim push-text --text TEXT [--to COMPUTER] [--user NAME]
                                        send a text message to a client

Accounts file (INI):
  [Server]     Accounting=money | pages
  [Default]    the default account record
  [User NAME]  one user's record; [User *] for any user without a section of its own
  Keys of an account section (numbers in decimal or 0x hex):
    Flags          bit 0: restriction follows the default; bit 1: the account has a limit
    MoneyBalance   thousandths of the currency unit (may be negative)
    PagesBalance   pages
    MoneyLimit     thousandths;   PagesLimit  pages
    UpdatingFlags  bit 0: updating follows the default; bit 1 or 2: an updating is set
    Updated        YYYY-MM-DD hh:mm:ss

Events (one JSON object a line): started, connected, announce, job-answer, query,
refused, pushed. The exit code of push-job and push-text is 0 when the client
acknowledged with 0x80000000.
)";

// ---- JSON event lines ----

std::string Utf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::string Json(std::wstring_view text) {
    std::string out = "\"";
    for (unsigned char c : Utf8(text)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

std::string Hex(std::span<const uint8_t> bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

std::string CodeText(uint32_t code) {
    char text[16];
    std::snprintf(text, sizeof text, "\"0x%08X\"", unsigned(code));
    return text;
}

class EventLog {
public:
    bool Open(const std::wstring& path) {
        if (path.empty()) return true;
        file_ = _wfopen(path.c_str(), L"ab");
        return file_ != nullptr;
    }
    void Write(const std::string& event, const std::string& fields = {}) {
        std::lock_guard<std::mutex> guard(lock_);
        FILE* out = file_ ? file_ : stdout;
        std::fprintf(out, "{\"event\":\"%s\"%s%s}\n", event.c_str(), fields.empty() ? "" : ",", fields.c_str());
        std::fflush(out);
    }

private:
    std::mutex lock_;
    FILE* file_ = nullptr;
};

// ---- command line ----

class Args {
public:
    Args(int argc, wchar_t** argv) {
        for (int i = 2; i < argc; ++i) {
            std::wstring name = argv[i];
            if (name.rfind(L"--", 0) != 0) {
                bad_ = L"unexpected argument: " + name;
                continue;
            }
            name = name.substr(2);
            if (name == L"colour" || name == L"one-write") {
                values_[name] = L"1";
            } else if (i + 1 < argc) {
                values_[name] = argv[++i];
            } else {
                bad_ = L"missing value for --" + name;
            }
        }
    }
    std::wstring Text(const wchar_t* name, std::wstring fallback = {}) {
        used_.push_back(name);
        const auto it = values_.find(name);
        return it == values_.end() ? fallback : it->second;
    }
    uint32_t Number(const wchar_t* name, uint32_t fallback) {
        const std::wstring text = Text(name);
        return text.empty() ? fallback : uint32_t(std::wcstoll(text.c_str(), nullptr, 0));
    }
    bool Flag(const wchar_t* name) { return !Text(name).empty(); }
    // An unknown option or a missing value: the text of the problem, "" when none.
    std::wstring Problem() const {
        if (!bad_.empty()) return bad_;
        for (const auto& [name, value] : values_) {
            bool known = false;
            for (const auto& used : used_)
                known = known || used == name;
            if (!known) return L"unknown option --" + name;
        }
        return {};
    }

private:
    std::map<std::wstring, std::wstring> values_;
    std::vector<std::wstring> used_;
    std::wstring bad_;
};

// ---- accounts ----

struct Accounts {
    bool money = true;
    AccountRecord defaultAccount;
    std::map<std::wstring, AccountRecord> users;  // lower-case names; L"*" for any user
    AccountRecord anyUser;

    AccountRecord For(const std::wstring& user) const {
        const auto it = users.find(ToLower(user));
        if (it != users.end()) return it->second;
        const auto any = users.find(L"*");
        return any != users.end() ? any->second : anyUser;
    }
};

Accounts SampleAccounts() {
    Accounts a;
    a.money = true;
    a.defaultAccount.flags = 2;  // limited
    a.defaultAccount.moneyLimit = 50000;
    a.defaultAccount.pagesLimit = 500;
    a.defaultAccount.updatingFlags = 2;
    a.defaultAccount.updated = {2026, 12, 1, 1, 8, 0, 0, 0};
    AccountRecord user;
    user.flags = 1;  // restriction and updating follow the default account
    user.moneyBalance = 12500;
    user.pagesBalance = 140;
    user.updatingFlags = 1;
    a.users[L"*"] = user;
    return a;
}

AccountRecord ReadAccount(const std::wstring& file, const std::wstring& section) {
    auto number = [&](const wchar_t* key) {
        wchar_t text[64];
        GetPrivateProfileStringW(section.c_str(), key, L"0", text, 64, file.c_str());
        return uint32_t(std::wcstoll(text, nullptr, 0));
    };
    AccountRecord r;
    r.flags = number(L"Flags");
    r.moneyBalance = int32_t(number(L"MoneyBalance"));
    r.pagesBalance = int32_t(number(L"PagesBalance"));
    r.moneyLimit = number(L"MoneyLimit");
    r.pagesLimit = number(L"PagesLimit");
    r.updatingFlags = number(L"UpdatingFlags");
    wchar_t updated[64];
    GetPrivateProfileStringW(section.c_str(), L"Updated", L"", updated, 64, file.c_str());
    unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (swscanf(updated, L"%u-%u-%u %u:%u:%u", &y, &mo, &d, &h, &mi, &s) >= 3)
        r.updated = {uint16_t(y), uint16_t(mo), 0, uint16_t(d), uint16_t(h), uint16_t(mi), uint16_t(s), 0};
    return r;
}

bool LoadAccounts(const std::wstring& path, Accounts& accounts) {
    wchar_t full[MAX_PATH];
    if (!GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr) || GetFileAttributesW(full) == INVALID_FILE_ATTRIBUTES)
        return false;
    wchar_t accounting[32];
    GetPrivateProfileStringW(L"Server", L"Accounting", L"money", accounting, 32, full);
    accounts.money = _wcsicmp(accounting, L"pages") != 0;
    accounts.defaultAccount = ReadAccount(full, L"Default");
    std::vector<wchar_t> names(65536);
    const DWORD length = GetPrivateProfileSectionNamesW(names.data(), DWORD(names.size()), full);
    for (const wchar_t* name = names.data(); name < names.data() + length && *name; name += wcslen(name) + 1) {
        const std::wstring section = name;
        if (_wcsnicmp(section.c_str(), L"User ", 5) == 0)
            accounts.users[ToLower(section.substr(5))] = ReadAccount(full, section);
    }
    return true;
}

// ---- serving ----

enum class Misbehaviour { None, NoReply, WrongAck, ShortRecord, SlowReply };

struct ServeOptions {
    std::wstring pipe;
    int instances = 4;
    int maxConnections = 0;  // 0: unlimited
    Misbehaviour misbehave = Misbehaviour::None;
    uint32_t onlyCode = 0;
    DWORD delay = 7000;
    Accounts accounts;
};

class Server {
public:
    Server(ServeOptions options, EventLog& events) : options_(std::move(options)), events_(events) {}

    int Run() {
        events_.Write("started",
                      "\"pipe\":" + Json(options_.pipe) + ",\"money\":" + (options_.accounts.money ? "true" : "false"));
        std::vector<std::thread> threads;
        for (int i = 0; i < options_.instances; ++i)
            threads.emplace_back([this] { Instance(); });
        for (auto& t : threads)
            t.join();
        return 0;
    }

private:
    void Instance() {
        for (;;) {
            if (options_.maxConnections && served_ >= options_.maxConnections) {
                Sleep(INFINITE);  // stopped serving: the pipe no longer exists
            }
            HANDLE pipe =
                CreateNamedPipeW(options_.pipe.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE,
                                 PIPE_UNLIMITED_INSTANCES, 65536, 65536, 0, nullptr);
            if (pipe == INVALID_HANDLE_VALUE) {
                Sleep(100);
                continue;
            }
            // A client that wrote and left before this call (ERROR_NO_DATA) has left its
            // messages to read: the client's job answer is written that way.
            if (ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED ||
                GetLastError() == ERROR_NO_DATA) {
                ++served_;
                Serve(pipe);
                FlushFileBuffers(pipe);
                DisconnectNamedPipe(pipe);
            }
            CloseHandle(pipe);
        }
    }

    static bool Read(HANDLE pipe, void* buffer, DWORD size, DWORD* got = nullptr) {
        DWORD n = 0;
        const BOOL ok = ReadFile(pipe, buffer, size, &n, nullptr);
        if (got) *got = n;
        return ok || GetLastError() == ERROR_MORE_DATA;
    }

    static bool Write(HANDLE pipe, const void* buffer, DWORD size) {
        DWORD n = 0;
        return WriteFile(pipe, buffer, size, &n, nullptr) && n == size;
    }

    static bool WriteCodeTo(HANDLE pipe, uint32_t code) {
        const uint8_t b[4] = {uint8_t(code), uint8_t(code >> 8), uint8_t(code >> 16), uint8_t(code >> 24)};
        return Write(pipe, b, 4);
    }

    Misbehaviour For(uint32_t code) const {
        return (options_.onlyCode == 0 || options_.onlyCode == code) ? options_.misbehave : Misbehaviour::None;
    }

    // The acknowledgement, then the record, each as one write, misbehaving as told.
    void Reply(HANDLE pipe, uint32_t code, const std::vector<uint8_t>& record) {
        switch (For(code)) {
            case Misbehaviour::NoReply:
                Sleep(options_.delay);
                return;
            case Misbehaviour::WrongAck:
                WriteCodeTo(pipe, 0x80000001);
                return;
            case Misbehaviour::SlowReply:
                Sleep(options_.delay);
                break;
            case Misbehaviour::ShortRecord:
                WriteCodeTo(pipe, code::kAck);
                if (!record.empty()) Write(pipe, record.data(), DWORD(record.size() / 2));
                return;
            case Misbehaviour::None:
                break;
        }
        WriteCodeTo(pipe, code::kAck);
        if (!record.empty()) Write(pipe, record.data(), DWORD(record.size()));
    }

    void Serve(HANDLE pipe) {
        uint8_t codeBytes[4] = {};
        DWORD got = 0;
        if (!Read(pipe, codeBytes, 4, &got) || got != 4) {
            events_.Write("refused", "\"reason\":\"no code\"");
            return;
        }
        const uint32_t code = uint32_t(codeBytes[0]) | uint32_t(codeBytes[1]) << 8 | uint32_t(codeBytes[2]) << 16 |
                              uint32_t(codeBytes[3]) << 24;
        switch (code) {
            case code::kAnnounce: {
                ComputerBlock block{};
                Read(pipe, block.data(), DWORD(block.size()), &got);
                events_.Write("announce", "\"computer\":" + Json(DecodeComputerBlock(block)) +
                                              ",\"bytes\":" + std::to_string(got) + ",\"hex\":\"" + Hex(block) + "\"");
                Reply(pipe, code, {});
                break;
            }
            case code::kJobAnswer: {
                std::array<uint8_t, kJobAnswerSize> answer{};
                bytes::Put32(answer, 0, code);
                DWORD total = 4, part = 0;
                const DWORD sizes[] = {522, 4, 4, 4};
                size_t at = 4;
                for (DWORD size : sizes) {
                    part = 0;
                    Read(pipe, answer.data() + at, size, &part);
                    total += part;
                    at += size;
                }
                const JobAnswerParts parts = DecodeJobAnswer(answer);
                const RequestRecord printer = DecodeRequest([&] {
                    RequestBytes r{};
                    std::copy(parts.printer.begin(), parts.printer.end(), r.begin() + request::kPrinterName);
                    return r;
                }());
                events_.Write("job-answer", "\"printer\":" + Json(printer.PrinterName) + ",\"printerHex\":\"" +
                                                Hex(parts.printer) + "\",\"job\":" + std::to_string(parts.jobId) +
                                                ",\"action\":" + std::to_string(parts.action) + ",\"trailer\":" +
                                                std::to_string(parts.trailer) + ",\"bytes\":" + std::to_string(total));
                break;
            }
            case code::kServerSettings:
                events_.Write("query", "\"code\":" + CodeText(code));
                Reply(pipe, code, EncodeServerSettings(options_.accounts.money));
                break;
            case code::kDefaultAccount:
                events_.Write("query", "\"code\":" + CodeText(code));
                Reply(pipe, code, EncodeAccountRecord(options_.accounts.defaultAccount));
                break;
            case code::kUserAccount: {
                UserBlock block{};
                Read(pipe, block.data(), DWORD(block.size()), &got);
                const std::wstring user = DecodeUserBlock(block);
                events_.Write("query", "\"code\":" + CodeText(code) + ",\"user\":" + Json(user));
                Reply(pipe, code, EncodeAccountRecord(options_.accounts.For(user)));
                break;
            }
            default:
                events_.Write("refused", "\"code\":" + CodeText(code));
                break;
        }
    }

    ServeOptions options_;
    EventLog& events_;
    std::atomic<int> served_{0};
};

int Serve(Args& args, EventLog& events) {
    ServeOptions options;
    options.pipe = args.Text(L"pipe", ServerPipeName(L"."));
    options.instances = int(args.Number(L"instances", 4));
    options.maxConnections = int(args.Number(L"max-connections", 0));
    if (options.maxConnections) options.instances = 1;
    options.onlyCode = args.Number(L"only-code", 0);
    options.delay = args.Number(L"delay", 7000);
    const std::wstring mode = args.Text(L"misbehave");
    const std::wstring accounts = args.Text(L"accounts");
    if (const std::wstring problem = args.Problem(); !problem.empty()) {
        std::fwprintf(stderr, L"%ls\n", problem.c_str());
        return 2;
    }
    if (mode == L"no-reply")
        options.misbehave = Misbehaviour::NoReply;
    else if (mode == L"wrong-ack")
        options.misbehave = Misbehaviour::WrongAck;
    else if (mode == L"short-record")
        options.misbehave = Misbehaviour::ShortRecord;
    else if (mode == L"slow-reply")
        options.misbehave = Misbehaviour::SlowReply;
    else if (!mode.empty()) {
        std::fwprintf(stderr, L"unknown --misbehave mode: %ls\n", mode.c_str());
        return 2;
    }
    options.accounts = SampleAccounts();
    if (!accounts.empty() && !LoadAccounts(accounts, options.accounts)) {
        std::fwprintf(stderr, L"cannot read the accounts file %ls\n", accounts.c_str());
        return 2;
    }
    return Server(std::move(options), events).Run();
}

// ---- pushing requests to a client ----

int Push(const std::wstring& pipeName, uint32_t code, std::span<const uint8_t> record, bool oneWrite, EventLog& events,
         const char* kind) {
    UniqueFile pipe;
    if (!OpenPipe(pipeName, pipe)) {
        events.Write("pushed", std::string("\"kind\":\"") + kind + "\",\"pipe\":" + Json(pipeName) +
                                   ",\"opened\":false,\"reply\":null");
        return 1;
    }
    if (oneWrite) {
        std::vector<uint8_t> both(4 + record.size());
        bytes::Put32(both, 0, code);
        std::copy(record.begin(), record.end(), both.begin() + 4);
        WritePipe(pipe.Get(), both.data(), DWORD(both.size()));
    } else {
        WriteCode(pipe.Get(), code);
        WritePipe(pipe.Get(), record.data(), DWORD(record.size()));
    }
    uint8_t reply[4] = {};
    const bool replied = ReadPipe(pipe.Get(), reply, 4);
    const uint32_t value = bytes::Get32(reply, 0);
    events.Write("pushed", std::string("\"kind\":\"") + kind + "\",\"pipe\":" + Json(pipeName) +
                               ",\"opened\":true,\"reply\":" + (replied ? CodeText(value) : "null"));
    return replied && value == code::kAck ? 0 : 1;
}

double NowDayCount() {
    return DayCountFromDateTime(SystemClock::Instance().Now()).value_or(0);
}

int PushJob(Args& args, EventLog& events) {
    RequestRecord r;
    const std::wstring to = args.Text(L"to", L".");
    const std::wstring user = args.Text(L"user", LocalUserName());
    r.ServerComputer = args.Text(L"server", L".");
    r.PrinterName = args.Text(L"printer", L"HP LaserJet 4050 PCL 6");
    r.DocumentName = args.Text(L"document", L"Quarterly report.docx");
    r.Pages = args.Number(L"pages", 3);
    r.Copies = args.Number(L"copies", 1);
    r.Cost = args.Number(L"cost", 1500);
    r.AuthMode = uint8_t(args.Number(L"mode", AuthCurrentUser));
    r.PinCode = args.Text(L"pin");
    r.JobId = args.Number(L"job", 1);
    r.RecordFlags = args.Number(L"flags", 0) | (args.Flag(L"colour") ? request::kColourFlag : 0);
    r.PaperSize = args.Number(L"paper-size", 9);
    r.PaperWidth = args.Number(L"paper-width", 2100);
    r.PaperLength = args.Number(L"paper-length", 2970);
    const std::wstring submitted = args.Text(L"submitted");
    r.Submitted = submitted.empty() ? NowDayCount() - double(args.Number(L"age", 0)) / 86400.0
                                    : std::wcstod(submitted.c_str(), nullptr);
    const std::wstring tail = args.Text(L"printer-tail");
    const bool oneWrite = args.Flag(L"one-write");
    if (const std::wstring problem = args.Problem(); !problem.empty()) {
        std::fwprintf(stderr, L"%ls\n", problem.c_str());
        return 2;
    }
    RequestBytes bytes = EncodeRequest(r);
    // Bytes after the printer's terminating zero: the answer must return them unchanged.
    size_t at = request::kPrinterName + 2 * (std::min<size_t>(r.PrinterName.size(), 260) + 1);
    for (size_t i = 0; i + 1 < tail.size() && at < request::kPrinterName + 522; i += 2, ++at)
        bytes[at] = uint8_t(std::wcstoul(tail.substr(i, 2).c_str(), nullptr, 16));
    return Push(ClientPipeName(to, user), code::kAuthRequest, bytes, oneWrite, events, "job");
}

int PushText(Args& args, EventLog& events) {
    const std::wstring to = args.Text(L"to", L".");
    const std::wstring user = args.Text(L"user", LocalUserName());
    const std::wstring text = args.Text(L"text");
    const bool oneWrite = args.Flag(L"one-write");
    if (const std::wstring problem = args.Problem(); !problem.empty()) {
        std::fwprintf(stderr, L"%ls\n", problem.c_str());
        return 2;
    }
    return Push(ClientPipeName(to, user), code::kTextMessage, EncodeTextMessage(text), oneWrite, events, "text");
}

}  // namespace
}  // namespace pm::sim

int wmain(int argc, wchar_t** argv) {
    using namespace pm::sim;
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command.empty() || command == L"help" || command == L"--help" || command == L"-h" || command == L"/?") {
        std::fputws(kUsage, stdout);
        return command.empty() ? 2 : 0;
    }
    Args args(argc, argv);
    EventLog events;
    if (!events.Open(args.Text(L"events"))) {
        std::fwprintf(stderr, L"cannot open the events file\n");
        return 2;
    }
    if (command == L"serve") return Serve(args, events);
    if (command == L"push-job") return PushJob(args, events);
    if (command == L"push-text") return PushText(args, events);
    std::fwprintf(stderr, L"unknown command %ls (try: PrintServerSim help)\n", command.c_str());
    return 2;
}
