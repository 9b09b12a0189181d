#pragma once
// The answer to a held job, sent to the print server that asked.

#include <string>

#include "auth/request_record.h"

namespace pm {

// The print server's pipe for the record's ServerComputer after its trip through the
// ANSI code page; "" when the name is not a plain computer name (nothing may be opened).
std::wstring JobAnswerPipeName(const RequestRecord& record);

// Opens the server's pipe and writes the five parts of the answer, each write tried
// whatever became of the one before; reads nothing back. An unreachable server or an
// unusable server name (which leaves one log entry) sends nothing and says nothing.
void SendJobAnswer(const RequestRecord& record, JobAction action);
// The same on a given pipe (tests).
void SendJobAnswerTo(const std::wstring& pipeName, const RequestRecord& record, JobAction action);

// Log code of an answer that was not sent because of the server name.
inline constexpr int32_t kLogBadServerName = 180;

}  // namespace pm
