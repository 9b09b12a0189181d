#pragma once
// What the client does with a request from its pipe, on the user-interface thread.

#include <cstdint>
#include <functional>
#include <string>

#include "pipes/peer_identity_win.h"
#include "pipes/request_record.h"

namespace pm {

// The text and its sender join the message window's unread messages (the newest
// shown), the "View Messages..." command becomes available (through the hook), and
// the window comes to the top with the exclamation sound, at most once a second.
void ShowTextMessage(const std::wstring& text, const PeerIdentity& sender);
// A new authentication dialog for the record, brought to the top, with the sound;
// the job's own dialog brought to the top when one is open already. Nothing opens
// (and nothing will answer the job) when the record's print server is outside the
// machine's "PrintServers", when the peer's account is outside the machine's
// "PrintServerAccounts", or when JobDialogs::kLimit dialogs are open; each leaves
// a log entry. The dialog names the peer as the one who asked.
void ShowAuthRequest(const RequestBytes& record, const PeerIdentity& peer);
// The listener's question before it acknowledges (any thread): false for a job
// request that could not open a dialog because the dialogs are at their limit or
// the peer's account holds its share of them.
bool AdmitRequest(uint32_t code, const RequestBytes& record, const PeerIdentity& peer);

// True when the machine's "PrintServerAccounts" is set and names the peer's account:
// a trusted print server, which always finds room in the listener and is not held to
// an account's share of the dialogs. Any thread.
bool PeerAccountTrusted(const PeerIdentity& peer);

// Called after every text message shown; the tray enables "View Messages..." here.
void SetTextMessageHook(std::function<void()> hook);

}  // namespace pm
