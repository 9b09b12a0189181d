#include "pipes/pipe_transport_win.h"

#include "ui/message_loop_win.h"

namespace pm {
namespace {

// Waits for an overlapped operation that `issued` started. On give-up the operation
// is cancelled and its end awaited, so `ov` and the buffer may leave scope after this.
bool Complete(HANDLE pipe, BOOL issued, OVERLAPPED& ov, DWORD interval) {
    if (issued) return true;
    if (GetLastError() != ERROR_IO_PENDING) return false;
    DWORD wait = WAIT_TIMEOUT;
    for (int i = 0; i < kPipeWaits && wait == WAIT_TIMEOUT; ++i) {
        wait = WaitForSingleObject(ov.hEvent, interval);
        if (wait == WAIT_TIMEOUT) ui::PumpPendingMessages();
    }
    DWORD transferred = 0;
    if (GetOverlappedResult(pipe, &ov, &transferred, FALSE)) return true;
    if (GetLastError() == ERROR_IO_INCOMPLETE) {
        CancelIoEx(pipe, &ov);
        // Completes now either way: cancelled, or finished just before the cancel.
        GetOverlappedResult(pipe, &ov, &transferred, TRUE);
    }
    return false;
}

// A new unnamed manual-reset event, not signalled: one per operation.
UniqueHandle NewEvent() {
    return UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

}  // namespace

bool OpenPipe(const std::wstring& name, UniqueFile& handle) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        handle.Reset(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
        if (handle) return true;
        const DWORD error = GetLastError();
        ui::PumpFor(250);  // no window stops repainting while a print server is slow
        SetLastError(error);
    }
    return false;
}

bool ReadPipe(HANDLE pipe, void* buffer, DWORD count, DWORD interval) {
    const UniqueHandle event = NewEvent();
    if (!event) return false;
    OVERLAPPED ov = {};
    ov.hEvent = event.Get();
    DWORD transferred = 0;
    return Complete(pipe, ReadFile(pipe, buffer, count, &transferred, &ov), ov, interval);
}

bool WritePipe(HANDLE pipe, const void* buffer, DWORD count) {
    const UniqueHandle event = NewEvent();
    if (!event) return false;
    OVERLAPPED ov = {};
    ov.hEvent = event.Get();
    DWORD transferred = 0;
    return Complete(pipe, WriteFile(pipe, buffer, count, &transferred, &ov), ov, kPipeWaitInterval);
}

bool WriteCode(HANDLE pipe, uint32_t code) {
    const uint8_t bytes[4] = {uint8_t(code), uint8_t(code >> 8), uint8_t(code >> 16), uint8_t(code >> 24)};
    return WritePipe(pipe, bytes, sizeof bytes);
}

bool ExpectCode(HANDLE pipe, uint32_t expected) {
    uint8_t bytes[4] = {};
    if (!ReadPipe(pipe, bytes, sizeof bytes, kPipeWaitInterval)) return false;
    const uint32_t code =
        uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
    return code == expected;
}

}  // namespace pm
