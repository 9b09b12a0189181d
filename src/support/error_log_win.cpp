#include "support/error_log_win.h"

#include <windows.h>

#include <sddl.h>
#include <winternl.h>

#include <atomic>
#include <memory>

#include "support/clock_win.h"
#include "support/log_line.h"
#include "support/module_win.h"
#include "support/unique_win.h"

namespace pm {

struct TThreadFileLog::Request {
    int32_t code;
    int32_t systemError;
    std::wstring text;
};

namespace {

bool IsReparsePoint(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Creates the folder and its missing parents (the last with `security`). Refuses a
// folder that is a link, so a junction planted in a shared folder cannot redirect
// the entries.
bool EnsureFolder(const std::wstring& folder, SECURITY_ATTRIBUTES* security) {
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !IsReparsePoint(attributes)) return true;
        SetLastError(ERROR_DIRECTORY);
        return false;
    }
    const size_t slash = folder.find_last_of(L'\\', folder.size() - 2);
    if (slash != std::wstring::npos && slash > 2) EnsureFolder(folder.substr(0, slash + 1), nullptr);
    return CreateDirectoryW(folder.c_str(), security) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// The Logs folder's security, for when the client creates it (the installer sets the
// same list): users may create the log and append to it, nothing more.
SECURITY_ATTRIBUTES* LogsFolderSecurity() {
    static SECURITY_ATTRIBUTES* attributes = [] {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kLogsFolderSddl, SDDL_REVISION_1, &descriptor,
                                                                  nullptr))
            return static_cast<SECURITY_ATTRIBUTES*>(nullptr);
        return new SECURITY_ATTRIBUTES{sizeof(SECURITY_ATTRIBUTES), descriptor, FALSE};
    }();
    return attributes;
}

// Opens `name` for appending inside the folder behind `folder` itself, not by path:
// whatever is renamed or planted after the folder was checked, the entry goes there.
UniqueFile OpenForAppendIn(HANDLE folder, const wchar_t* name) {
    using NtCreateFileFn = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                        ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
    static const auto create = GetProc<NtCreateFileFn>(GetModuleHandleW(L"ntdll.dll"), "NtCreateFile");
    if (!create) return {};
    UNICODE_STRING objectName;
    objectName.Buffer = const_cast<wchar_t*>(name);
    objectName.Length = USHORT(wcslen(name) * sizeof(wchar_t));
    objectName.MaximumLength = objectName.Length;
    OBJECT_ATTRIBUTES object;
    InitializeObjectAttributes(&object, &objectName, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK status = {};
    HANDLE file = nullptr;
    // Appending only, so every write lands at the end whoever else appends: the
    // clients of the other users share the file, as do readers. A planted link is
    // opened as itself (not followed) and then refused.
    const LONG result =
        create(&file, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE, &object, &status, nullptr,
               FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN_IF,
               FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr, 0);
    if (result < 0) {
        // The caller (the self-check) reports why, as a Windows error.
        using ToDosErrorFn = ULONG(NTAPI*)(LONG);
        static const auto toDosError = GetProc<ToDosErrorFn>(GetModuleHandleW(L"ntdll.dll"), "RtlNtStatusToDosError");
        SetLastError(toDosError ? toDosError(result) : ERROR_ACCESS_DENIED);
        return {};
    }
    return UniqueFile(file);
}

// What goes into a log of `used` bytes: the entry while it leaves room for `last`
// below the limit; else `last`, padded with blanks to end at the limit exactly, so
// that the size alone says the log is full, to this client and to every other (the
// room left may be more than `last` when the entry is long); nothing once the limit
// is reached. Two clients writing at that very moment may still put one entry after
// it, or past the limit.
std::string Appended(uint64_t used, uint64_t limit, std::string entry, std::string last) {
    if (used >= limit) return {};
    if (used + entry.size() + last.size() <= limit) return entry;
    if (used + last.size() < limit) last.insert(last.size() - 2, size_t(limit - used - last.size()), ' ');
    return last;
}

}  // namespace

bool ErrorLogFull(HANDLE log, uint64_t sizeLimit) {
    LARGE_INTEGER size;
    return GetFileSizeEx(log, &size) && uint64_t(size.QuadPart) >= sizeLimit;
}

std::string ToAnsi(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(size_t(size > 0 ? size : 0), '\0');
    if (size > 0) WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), result.data(), size, nullptr, nullptr);
    return result;
}

std::wstring SystemMessageText(int32_t systemError) {
    wchar_t buffer[256];
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        DWORD(systemError), 0, buffer, DWORD(std::size(buffer)), nullptr);
    return TrimSystemMessage(std::wstring_view(buffer, length));
}

UniqueFile OpenErrorLogForAppend(const std::wstring& directory) {
    const std::wstring logs = directory + L"Logs\\";
    if (!EnsureFolder(logs, LogsFolderSecurity())) return {};
    const UniqueFile folder(CreateFileW(logs.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder) return {};
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(folder.Get(), &info)) return {};
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || IsReparsePoint(info.dwFileAttributes)) {
        SetLastError(ERROR_DIRECTORY);  // replaced by a link since it was checked
        return {};
    }
    UniqueFile file = OpenForAppendIn(folder.Get(), L"Errors.log");
    if (!file || !GetFileInformationByHandle(file.Get(), &info)) return {};
    if (IsReparsePoint(info.dwFileAttributes) || info.nNumberOfLinks > 1) {
        SetLastError(ERROR_CANT_ACCESS_FILE);  // a link or a second name: not ours to write
        return {};
    }
    return file;
}

TThreadFileLog::TThreadFileLog(std::wstring directory, const Clock& clock, uint64_t sizeLimit)
    : directory_(std::move(directory)),
      clock_(clock),
      sizeLimit_(sizeLimit),
      pool_(1, [this](uintptr_t item, TSimpleThread&) {
          // The worker owns the request from here, whatever happens while writing.
          const std::unique_ptr<Request> request(reinterpret_cast<Request*>(item));
          Write(*request);
          ++handled_;
      }) {}

TThreadFileLog::~TThreadFileLog() = default;

void TThreadFileLog::Queue(int32_t code, int32_t systemError, std::wstring_view text) noexcept {
    try {
        auto request = std::make_unique<Request>(Request{code, systemError, std::wstring(text)});
        // The first entry starts the worker, which may fail for want of memory: the
        // request is the worker's only once it is queued.
        pool_.Post(reinterpret_cast<uintptr_t>(request.get()));
        request.release();
    } catch (...) {
        // Out of memory: the entry is lost, the caller goes on.
    }
}

void TThreadFileLog::Write(const Request& request) const {
    const LocalTime now = clock_.Now();
    std::string line = ComposeLogLine(now, request.code, ToAnsi(request.text), request.systemError,
                                      ToAnsi(SystemMessageText(request.systemError)));
    const UniqueFile file = OpenErrorLogForAppend(directory_);
    LARGE_INTEGER size;
    if (!file || !GetFileSizeEx(file.Get(), &size)) return;
    line = Appended(uint64_t(size.QuadPart), sizeLimit_, std::move(line),
                    ComposeLogLine(now, kLogErrorLogFull, "Error log full: entries are no longer written", 0,
                                   ToAnsi(SystemMessageText(0))));
    if (line.empty()) return;
    DWORD written = 0;
    WriteFile(file.Get(), line.data(), DWORD(line.size()), &written, nullptr);
}

namespace {

// Set once on the user-interface thread at start-up, read from any thread.
std::atomic<TThreadFileLog*>& ProcessLog() {
    static std::atomic<TThreadFileLog*> log{nullptr};
    return log;
}

}  // namespace

void InitErrorLog(const std::wstring& installDirectory) {
    // Never destroyed: entries may be queued until the very end of the process.
    if (!ProcessLog().load()) ProcessLog() = new TThreadFileLog(installDirectory, SystemClock::Instance());
}

void LogError(int32_t code, int32_t systemError, std::wstring_view text) noexcept {
    if (TThreadFileLog* log = ProcessLog()) log->Queue(code, systemError, text);
}

}  // namespace pm
