#pragma once
// The answer to a held job, sent to the print server that asked.

#include <string>

#include "pipes/request_record.h"

namespace pm {

// The print server's pipe for the record's ServerComputer after its trip through the
// ANSI code page; "" when the name is not a plain computer name (nothing may be opened).
std::wstring JobAnswerPipeName(const RequestRecord& record);

// Opens the server's pipe and writes the five parts of the answer, each write tried
// whatever became of the one before; reads nothing back. An unreachable server, an
// unusable server name or one outside "PrintServers" (each of the last two leaves one
// log entry) sends nothing and says nothing.
void SendJobAnswer(const RequestRecord& record, JobAction action);
// SendJobAnswer on a background thread: the caller (a dialog) never waits for a print
// server that is slow or unreachable. Answers are sent in the order queued.
void SendJobAnswerInBackground(const RequestRecord& record, JobAction action);
// Waits at most `milliseconds` for the answers queued so far to be sent (at exit).
void FinishJobAnswers(unsigned milliseconds);
// The same on a given pipe (tests).
void SendJobAnswerTo(const std::wstring& pipeName, const RequestRecord& record, JobAction action);

// True when the machine's "PrintServers" list (HKLM product key) is absent or empty,
// or names `server`. A value of another type allows no server.
bool PrintServerPermitted(const std::wstring& server);

// True when an answer the user did not give (the countdown's delete) may go to
// `server`: a computer of the machine's "PrintServers" when that list is set; without
// it, this computer or the print server the user chose ("AccInfoServer"). Any other
// computer gets no connection, and with it none of the user's network logon.
bool UnattendedAnswerAllowed(const std::wstring& server);

// Log code of an answer that was not sent because of the server name.
inline constexpr int32_t kLogBadServerName = 180;
// Log code of a job refused because its print server is not in "PrintServers".
inline constexpr int32_t kLogServerNotAllowed = 181;
inline constexpr wchar_t kPrintServersValue[] = L"PrintServers";
// Log code of a job deleted without an answer: nobody chose its computer.
inline constexpr int32_t kLogUnattendedNotSent = 184;

}  // namespace pm
