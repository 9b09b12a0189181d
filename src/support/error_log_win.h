#pragma once
// The error log: one line per entry in <installation directory>Logs\Errors.log.
//
// Callers only queue; one background worker writes the entries in the order queued,
// opening and closing the file for each. Every failure of the log is swallowed: a
// folder or file that cannot be created or opened loses that one entry.

#include <cstdint>
#include <string>
#include <string_view>

#include "support/clock.h"
#include "support/thread_pool_win.h"
#include "support/unique_win.h"

namespace pm {

class TThreadFileLog {
public:
    // `directory` ends with "\"; the log goes to directory + "Logs\Errors.log".
    // `clock` must outlive the log.
    TThreadFileLog(std::wstring directory, const Clock& clock);
    // Waits for the entry being written; entries still queued are dropped.
    ~TThreadFileLog();
    TThreadFileLog(const TThreadFileLog&) = delete;
    TThreadFileLog& operator=(const TThreadFileLog&) = delete;

    // Queues one entry; never fails, never touches the disk. Any thread.
    void Queue(int32_t code, int32_t systemError, std::wstring_view text) noexcept;

    std::wstring FilePath() const { return directory_ + L"Logs\\Errors.log"; }

private:
    struct Request;
    void Write(const Request& request) const;

    std::wstring directory_;
    const Clock& clock_;
    TThreadPool pool_;  // last: its worker uses the members above
};

// The access list of the shared Logs folder: the system and the administrators have
// full control; every authenticated user may list the folder and create files in it
// (not folders, so no junctions), and may read and append to the files, but not
// overwrite, delete or rename them; an entry's owner gets no more than that.
inline constexpr wchar_t kLogsFolderSddl[] =
    L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200a3;;;AU)(A;OIIO;0x12008d;;;AU)(A;OICI;0x120089;;;OW)";

// Opens directory + "Logs\Errors.log" for appending, as every entry is written: the
// Logs folder made when missing (with kLogsFolderSddl), the file opened inside that
// folder, created when missing; a folder or file that is a link, or a file with a
// second name, is refused. Empty on failure, GetLastError() then says why.
UniqueFile OpenErrorLogForAppend(const std::wstring& directory);

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
