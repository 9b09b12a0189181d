#include "support/code_page_win.h"

namespace pm {

std::optional<std::string> ToCodePageExact(std::wstring_view text, UINT codePage) {
    if (text.empty()) return std::string();
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL lossy = FALSE;
    BOOL* lossyArgument = utf8 ? nullptr : &lossy;
    const int size =
        WideCharToMultiByte(codePage, flags, text.data(), int(text.size()), nullptr, 0, nullptr, lossyArgument);
    if (size <= 0 || lossy) return std::nullopt;
    std::string result(size_t(size), '\0');
    if (WideCharToMultiByte(codePage, flags, text.data(), int(text.size()), result.data(), size, nullptr,
                            lossyArgument) != size ||
        lossy)
        return std::nullopt;
    return result;
}

std::wstring ThroughCodePage(std::wstring_view text, UINT codePage) {
    if (text.empty()) return {};
    const DWORD flags = codePage == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    const int size = WideCharToMultiByte(codePage, flags, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string narrow(size_t(size), '\0');
    WideCharToMultiByte(codePage, flags, text.data(), int(text.size()), narrow.data(), size, nullptr, nullptr);
    const int back = MultiByteToWideChar(codePage, 0, narrow.c_str(), size, nullptr, 0);
    if (back <= 0) return {};
    std::wstring wide(size_t(back), L'\0');
    MultiByteToWideChar(codePage, 0, narrow.c_str(), size, wide.data(), back);
    return wide;
}

}  // namespace pm
