#include "pipes/send_message_win.h"

#include <windows.h>

#include "pipes/message_codes.h"
#include "pipes/pipe_names.h"
#include "pipes/pipe_transport_win.h"
#include "pipes/request_record.h"
#include "support/error_log_win.h"
#include "support/module_win.h"
#include "support/unique_win.h"

namespace pm {

bool SendThroughMessenger(const std::wstring& computer, const std::wstring& text) {
    if (IsWine()) return false;
    using NetMessageBufferSendFn = DWORD(WINAPI*)(LPCWSTR, LPCWSTR, LPCWSTR, LPBYTE, DWORD);
    const UniqueModule netapi(LoadSystemLibrary(L"netapi32.dll"));
    const auto send = GetProc<NetMessageBufferSendFn>(netapi.Get(), "NetMessageBufferSend");
    if (!send) return false;
    std::wstring buffer = text;  // the whole text with its terminating zero
    return send(nullptr, computer.c_str(), nullptr, reinterpret_cast<LPBYTE>(buffer.data()),
                DWORD((buffer.size() + 1) * sizeof(wchar_t))) == 0;
}

bool SendUserMessage(int32_t kind, const std::wstring& computer, const std::wstring& user, const std::wstring& text) {
    const std::wstring name = ClientPipeName(computer, user);
    bool delivered = false;
    UniqueFile pipe;
    if (OpenPipe(name, pipe)) {
        const RequestBytes record = EncodeTextMessage(text, uint32_t(kind));
        delivered = WriteCode(pipe.Get(), code::kTextMessage) &&
                    WritePipe(pipe.Get(), record.data(), DWORD(record.size())) && ExpectCode(pipe.Get(), code::kAck);
        pipe.Reset();
    } else {
        LogError(0, int32_t(GetLastError()), L"InformUser: " + name);
    }
    return delivered || SendThroughMessenger(computer, text);
}

}  // namespace pm
