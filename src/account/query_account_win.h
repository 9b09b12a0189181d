#pragma once
// The account query: three exchanges with a print server, in a fixed order, each on
// its own connection, stopping at the first that fails. Nothing is derived from a
// partial set of replies. No message, no log entry: a failure is only "no result".
// Runs on the calling (user-interface) thread and keeps its messages flowing.

#include <optional>
#include <string>

#include "account/account_records.h"

namespace pm {

std::optional<AccountSummary> QueryAccount(const std::wstring& server, const std::wstring& user);
// The same on a given pipe (tests).
std::optional<AccountSummary> QueryAccountOn(const std::wstring& pipeName, const std::wstring& user);

// The print server the client asks: set at start-up from "AccInfoServer" and by the
// account window; read by the tray's announcement. User-interface thread.
std::wstring& CurrentPrintServer();

}  // namespace pm
