#pragma once
// What the client does with a request from its pipe, on the user-interface thread.

#include <functional>
#include <string>

#include "auth/request_record.h"

namespace pm {

// The text replaces the message window's text, the window comes to the top, the
// "View Messages..." command becomes available (through the hook) and the
// exclamation sound plays.
void ShowTextMessage(const std::wstring& text);
// A new authentication dialog for the record, brought to the top, with the sound.
void ShowAuthRequest(const RequestBytes& record);

// Called after every text message shown; the tray enables "View Messages..." here.
void SetTextMessageHook(std::function<void()> hook);

}  // namespace pm
