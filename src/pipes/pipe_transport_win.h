#pragma once
// The operations every pipe exchange is built from. Each call uses its own event
// and overlapped record, so any thread may use them on its own handles.
//
// While a read or write waits, the calling thread's window messages keep flowing
// (timers, repaints, the listener's hand-over), so an exchange may be entered
// again from a handler; every exchange has its own handle. A wait gives up after
// 50 intervals; the operation is then cancelled, and the routine returns only
// when the system no longer touches the buffer.

#include <windows.h>

#include <cstdint>
#include <string>

#include "support/unique_win.h"

namespace pm {

inline constexpr DWORD kPipeWaitInterval = 100;  // ms; every caller uses it
inline constexpr int kPipeWaits = 50;

// Opens the client end for overlapped reading and writing: four attempts, each
// failure followed by 250 ms in which window messages keep flowing. Connections are at
// identification level: the peer can tell who connected but cannot act as the user.
// On failure GetLastError() is the last attempt's error.
bool OpenPipe(const std::wstring& name, UniqueFile& handle);

// Reads one block of `count` bytes. A shorter message succeeds; a longer one fails.
bool ReadPipe(HANDLE pipe, void* buffer, DWORD count, DWORD interval = kPipeWaitInterval);
// Writes one block of `count` bytes.
bool WritePipe(HANDLE pipe, const void* buffer, DWORD count);
// The 4 bytes of a code, little-endian.
bool WriteCode(HANDLE pipe, uint32_t code);
// Reads 4 bytes; true only if they were read and equal `expected`.
bool ExpectCode(HANDLE pipe, uint32_t expected);

}  // namespace pm
