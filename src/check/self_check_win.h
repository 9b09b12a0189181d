#pragma once
// The self-check: looks at what the client of this user on this computer depends on,
// the way the client itself does, and says in one line per check what it found:
//   the installation directory and the language file,
//   the log folder (Errors.log opened for appending, nothing written),
//   the print server chosen in the account window: its pipe, the announcement, the
//     account query (the figures as the account window shows them),
//   the user's own pipe: whether this user's client serves it, and its access list,
//   the Server service, through which print servers on other computers reach that pipe,
//   whether the client starts at logon for this user,
//   the machine-wide values PrintServers, PrintServerAccounts and DisableSendMessage and
//   where they come from.
// A check that depends on one that failed is left out.
//
// Runs on the calling thread. Every pipe wait is bounded as in the client: a print
// server that is not there costs about a second, one that accepts and never answers
// about five seconds per exchange. The process-wide values (installation directory,
// this computer's name, the language) must be set before.

#include <vector>

#include "check/check_report.h"

namespace pm {

std::vector<CheckLine> RunSelfCheck();

// What support asks first: the self-check's and the client's versions, Windows, the
// user, the computer and the local time with its offset from UTC.
std::vector<HeaderField> SelfCheckHeader();

}  // namespace pm
