#pragma once
// Every message code on the client's pipes. A code is an unsigned 32-bit
// little-endian value sent as one 4-byte block; codes with the high bit set are replies.

#include <cstdint>

namespace pm::code {

// To a user's client, on its per-user pipe.
inline constexpr uint32_t kTextMessage = 0x10010000;  // + 1616-byte record; reply kAck
inline constexpr uint32_t kAuthRequest = 0x10010001;  // + 1616-byte record; reply kAck

// Replies.
inline constexpr uint32_t kAck = 0x80000000;          // the request was read whole
inline constexpr uint32_t kReadFailure = 0x80000002;  // the code or the record could not be read

// To the print server, on its pipe.
inline constexpr uint32_t kAnnounce = 0x10000011;        // + 42-byte computer-name block; reply kAck
inline constexpr uint32_t kJobAnswer = 0x10000180;       // + printer, job id, action, 0; no reply
inline constexpr uint32_t kServerSettings = 0x10000450;  // reply kAck + 22852-byte settings record
inline constexpr uint32_t kDefaultAccount = 0x10000403;  // reply kAck + 5724-byte account record
inline constexpr uint32_t kUserAccount = 0x10000406;     // + 522-byte user-name block; reply kAck + 5724 bytes

}  // namespace pm::code
