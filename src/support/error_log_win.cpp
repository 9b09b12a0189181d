#include "support/error_log_win.h"

#include <windows.h>

#include <atomic>
#include <memory>

#include "support/clock_win.h"
#include "support/log_line.h"
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

// Creates the folder and its missing parents. Refuses a folder that is a link, so a
// junction planted in a shared folder cannot redirect the entries.
bool EnsureFolder(const std::wstring& folder) {
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !IsReparsePoint(attributes);
    const size_t slash = folder.find_last_of(L'\\', folder.size() - 2);
    if (slash != std::wstring::npos && slash > 2) EnsureFolder(folder.substr(0, slash + 1));
    return CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

}  // namespace

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

TThreadFileLog::TThreadFileLog(std::wstring directory, const Clock& clock)
    : directory_(std::move(directory)), clock_(clock), pool_(1, [this](uintptr_t item, TSimpleThread&) {
          // The worker owns the request from here, whatever happens while writing.
          const std::unique_ptr<Request> request(reinterpret_cast<Request*>(item));
          Write(*request);
      }) {}

TThreadFileLog::~TThreadFileLog() = default;

void TThreadFileLog::Queue(int32_t code, int32_t systemError, std::wstring_view text) noexcept {
    try {
        auto request = std::make_unique<Request>(Request{code, systemError, std::wstring(text)});
        pool_.Post(reinterpret_cast<uintptr_t>(request.release()));
    } catch (...) {
        // Out of memory: the entry is lost, the caller goes on.
    }
}

void TThreadFileLog::Write(const Request& request) const {
    const std::string line = ComposeLogLine(clock_.Now(), request.code, ToAnsi(request.text), request.systemError,
                                            ToAnsi(SystemMessageText(request.systemError)));
    if (!EnsureFolder(directory_ + L"Logs\\")) return;
    // Appending only, readers welcome, no second writer; a planted link is opened as
    // itself (not followed) and then refused.
    UniqueFile file(CreateFileW(FilePath().c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file.Get(), &info) || IsReparsePoint(info.dwFileAttributes) ||
        info.nNumberOfLinks > 1)
        return;
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
