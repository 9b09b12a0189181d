#pragma once
// A peer's whole exchange with a client's listener, as a sender or the print server
// does it: open, write each message, read the reply.

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "pipes/pipe_transport_win.h"
#include "support/unique_win.h"

namespace pm::test {

using Bytes = std::vector<uint8_t>;

struct PeerResult {
    bool opened = false;
    bool replied = false;
    uint32_t reply = 0;
    double seconds = 0;
};

// A code as it travels: four bytes, little-endian.
inline Bytes CodeBytes(uint32_t code) {
    return {uint8_t(code), uint8_t(code >> 8), uint8_t(code >> 16), uint8_t(code >> 24)};
}

// The open of a peer that gives the listener nobody to identify (under Windows; Wine's
// pipes impersonate their server whoever the client is).
inline constexpr DWORD kAnonymous = SECURITY_SQOS_PRESENT | SECURITY_ANONYMOUS;

// Opens the moment the listener is free, rather than with a peer's pauses between
// tries: for measuring the listener, not the peer. `flags` are added to the open's.
inline bool OpenPatiently(const std::wstring& pipe, UniqueFile& handle, DWORD flags = 0) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    for (;;) {
        handle.Reset(CreateFileW(pipe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OVERLAPPED | flags, nullptr));
        if (handle) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        if (GetLastError() != ERROR_PIPE_BUSY || !WaitNamedPipeW(pipe.c_str(), 1000)) Sleep(2);
    }
}

enum class Open { AsPeersDo, Patiently, Anonymously };

// Writes each message and reads the reply unless told not to; `replyInterval` x 50
// is how long the peer waits for it. Peers open as every sender and the print
// server do (OpenPipe: four tries, 250 ms apart) unless told otherwise; an
// anonymous peer opens patiently.
inline PeerResult Exchange(const std::wstring& pipe, const std::vector<Bytes>& writes, bool readReply = true,
                           DWORD replyInterval = kPipeWaitInterval, Open open = Open::AsPeersDo) {
    PeerResult result;
    const auto start = std::chrono::steady_clock::now();
    UniqueFile handle;
    result.opened = open == Open::AsPeersDo ? OpenPipe(pipe, handle)
                                            : OpenPatiently(pipe, handle, open == Open::Anonymously ? kAnonymous : 0);
    if (result.opened) {
        for (const Bytes& write : writes)
            WritePipe(handle.Get(), write.data(), DWORD(write.size()));
        if (readReply) {
            uint8_t reply[4] = {};
            result.replied = ReadPipe(handle.Get(), reply, 4, replyInterval);
            result.reply =
                uint32_t(reply[0]) | uint32_t(reply[1]) << 8 | uint32_t(reply[2]) << 16 | uint32_t(reply[3]) << 24;
        }
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

}  // namespace pm::test
