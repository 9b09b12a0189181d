#pragma once
// Who is at the other end of a pipe connection. The wire records carry no sender,
// but the system knows which account opened the pipe: the listener asks it for
// each request, so the user can tell the print server from a colleague.

#include <windows.h>

#include <string>

#include "i18n/language_win.h"

namespace pm {

struct PeerIdentity {
    std::wstring account;    // DOMAIN\name, or a SID string when no name is found; "" unknown
    std::wstring computer;   // the peer's computer when the system reports it (remote peers)
    bool anonymous = false;  // connected without credentials
    std::wstring sid;        // the account's SID as text; "" unknown
};

// Asks the system who the client of `pipe` is: its token at identification level,
// taken and dropped again on the calling thread. After the first read from the
// pipe. Whatever fails leaves the identity unknown; it never fails the request.
// Only the SID is sure to come (it is in the token); the name only when it is known
// already, for looking it up may wait for a domain controller (NamePeer).
PeerIdentity IdentifyPeer(HANDLE pipe);

// Gives an identity without a name its account's name, DOMAIN\name, waiting at most
// `milliseconds` for the lookup; past that the SID stands for the name, and the
// lookup goes on for the next request of the same account. For after the reply.
void NamePeer(PeerIdentity& peer, unsigned milliseconds);

// How account names are found, replaceable by tests (nullptr: the system's again):
// SID as text to DOMAIN\name, "" when none is found. Set before any lookup starts.
using AccountLookup = std::wstring (*)(const std::wstring& sid);
void SetAccountLookup(AccountLookup lookup);

// The computer of the client of `pipe` when the system reports one: "" for a local
// client, and under Wine.
std::wstring ClientComputerOf(HANDLE pipe);

// The account as requests are counted and told apart by, the same before the name
// is known and after: its SID, "(ANONYMOUS)" for a peer without credentials, the
// upper-case account where no SID is known, "" when nobody could be identified.
std::wstring PeerAccountKey(const PeerIdentity& peer);

// The words that make an identity a text, in one language.
struct PeerWords {
    std::wstring on;         // between account and computer
    std::wstring anonymous;  // a peer without credentials
    std::wstring unknown;    // nothing is known
    static PeerWords Read(const LangReader& lang);
};

// The identity as the windows show it: "DOMAIN\name on COMPUTER", "DOMAIN\name",
// or the anonymous text, or the text that says the sender could not be identified.
std::wstring PeerText(const PeerIdentity& peer, const PeerWords& words);

}  // namespace pm
