#pragma once
// The error log: one line per entry in <installation directory>Logs\Errors.log.
//
// Callers only queue; one background worker writes the entries in the order queued,
// opening and closing the file for each. Every failure of the log is swallowed: a
// folder or file that cannot be created or opened loses that one entry.
//
// Every user's client appends to the same file, so it stops growing at
// kErrorLogSizeLimit: the entry that would cross it is replaced by one last line
// (code kLogErrorLogFull), and nothing is written after that. The file's size alone
// says so, which every client sees.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "support/clock.h"
#include "support/thread_pool_win.h"
#include "support/unique_win.h"

namespace pm {

// The size at which the log stops growing.
inline constexpr uint64_t kErrorLogSizeLimit = 4 * 1024 * 1024;
// The code of the last line of a full log.
inline constexpr int32_t kLogErrorLogFull = 190;

class TThreadFileLog {
public:
    // `directory` ends with "\"; the log goes to directory + "Logs\Errors.log".
    // `clock` must outlive the log.
    TThreadFileLog(std::wstring directory, const Clock& clock, uint64_t sizeLimit = kErrorLogSizeLimit);
    // Waits for the entry being written; entries still queued are dropped.
    ~TThreadFileLog();
    TThreadFileLog(const TThreadFileLog&) = delete;
    TThreadFileLog& operator=(const TThreadFileLog&) = delete;

    // Queues one entry; never fails, never touches the disk. Any thread.
    void Queue(int32_t code, int32_t systemError, std::wstring_view text) noexcept;

    std::wstring FilePath() const { return directory_ + L"Logs\\Errors.log"; }
    // The entries done with so far, written or lost: what was queued before an entry
    // has been dealt with once this counts past it.
    uint64_t Handled() const { return handled_; }

private:
    struct Request;
    void Write(const Request& request) const;

    std::wstring directory_;
    const Clock& clock_;
    const uint64_t sizeLimit_;
    std::atomic<uint64_t> handled_{0};
    TThreadPool pool_;  // last: its worker uses the members above
};

// The access list of a Logs folder the client makes itself (where no installer made
// it: a copy run from a folder of its own). The system and the administrators have
// full control; every authenticated user may list the folder and append to the files
// in it, nothing more: no new files, whose access list their maker would choose.
// The folder's owner, the user whose client made it, may also create files, so that
// client can create Errors.log at once, and may read them; the owner gets no more
// than that (no new access list, no deleting). The installer gives its Logs folder
// the same list without the owner's rights, as it creates Errors.log itself.
inline constexpr wchar_t kLogsFolderSddl[] =
    L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200a1;;;AU)"
    L"(A;OIIO;0x100084;;;AU)(A;;0x1200a3;;;OW)(A;OIIO;0x12008d;;;OW)";

// Opens directory + "Logs\Errors.log" for appending, as every entry is written: the
// Logs folder made when missing (with kLogsFolderSddl), the file opened inside that
// folder, created when missing; a folder or file that is a link, or a file with a
// second name, is refused. Other writers and readers may hold the file meanwhile.
// Empty on failure, GetLastError() then says why.
UniqueFile OpenErrorLogForAppend(const std::wstring& directory);

// True when the open log has reached `sizeLimit`: nothing more is written to it.
bool ErrorLogFull(HANDLE log, uint64_t sizeLimit = kErrorLogSizeLimit);

// Starts the process's error log in the installation directory. Once, at start-up.
void InitErrorLog(const std::wstring& installDirectory);

// Queues one entry on the process's log (dropped before InitErrorLog). Never fails,
// never blocks on the disk, callable from any thread. `systemError` is normally the
// caller's GetLastError() at the time of the failure.
void LogError(int32_t code, int32_t systemError, std::wstring_view text) noexcept;

// The system's message for an error code, as the log shows it ("" when it has none).
std::wstring SystemMessageText(int32_t systemError);

// Wide text in the system's ANSI code page.
std::string ToAnsi(std::wstring_view text);

}  // namespace pm
