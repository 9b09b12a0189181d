#pragma once
// What the client does with a request from its pipe, on the user-interface thread.

#include <cstdint>
#include <functional>
#include <string>

#include "pipes/request_record.h"

namespace pm {

// The text replaces the message window's text, the window comes to the top, the
// "View Messages..." command becomes available (through the hook) and the
// exclamation sound plays.
void ShowTextMessage(const std::wstring& text);
// A new authentication dialog for the record, brought to the top, with the sound;
// the job's own dialog brought to the top when one is open already. Nothing opens
// (and nothing will answer the job) when the record's print server is outside the
// machine's "PrintServers" or JobDialogs::kLimit dialogs are open; each leaves a
// log entry.
void ShowAuthRequest(const RequestBytes& record);
// The listener's question before it acknowledges (any thread): false for a job
// request that could not open a dialog because the dialogs are at their limit.
bool AdmitRequest(uint32_t code, const RequestBytes& record);

// Called after every text message shown; the tray enables "View Messages..." here.
void SetTextMessageHook(std::function<void()> hook);

}  // namespace pm
