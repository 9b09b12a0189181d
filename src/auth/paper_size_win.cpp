#include "auth/paper_size_win.h"

#include <windows.h>
#include <winspool.h>

#include <vector>

#include "auth/paper_size.h"
#include "support/error_log_win.h"
#include "ui/direction_win.h"

namespace pm {
namespace {

struct PrinterTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ClosePrinter(h); }
};

std::optional<PaperForm> LocalForm(uint32_t number) {
    if (number < 1 || number > 2048) return std::nullopt;
    Unique<PrinterTraits> server;
    if (!OpenPrinterW(nullptr, server.Put(), nullptr)) return std::nullopt;
    DWORD needed = 0, count = 0;
    if (EnumFormsW(server.Get(), 1, nullptr, 0, &needed, &count) || GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        // Not the expected "buffer too small": the system's own words, as the user sees them.
        ui::ShowMessageBox(nullptr, SystemMessageText(int32_t(GetLastError())), L"", MB_OK);
        return std::nullopt;
    }
    std::vector<BYTE> buffer(needed);
    if (!EnumFormsW(server.Get(), 1, buffer.data(), needed, &needed, &count) || count < number) return std::nullopt;
    const FORM_INFO_1W& form = reinterpret_cast<const FORM_INFO_1W*>(buffer.data())[number - 1];
    return PaperForm{form.pName ? form.pName : L"", uint32_t(form.Size.cx), uint32_t(form.Size.cy)};
}

}  // namespace

std::wstring PaperSizeText(uint32_t number, uint32_t width, uint32_t length) {
    return PaperSizeTextFrom(LocalForm(number), width, length);
}

}  // namespace pm
