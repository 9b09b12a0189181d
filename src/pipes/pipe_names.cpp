#include "pipes/pipe_names.h"

#include "support/product.h"

namespace pm {

std::wstring ListenerPipeName(std::wstring_view user) {
    return ClientPipeName(L".", user);
}

std::wstring ClientPipeName(std::wstring_view computer, std::wstring_view user) {
    return L"\\\\" + std::wstring(computer) + kClientPipeBaseName + L"-" + std::wstring(user);
}

std::wstring ServerPipeName(std::wstring_view server) {
    return L"\\\\" + std::wstring(server) + kServerPipeName;
}

bool IsPlainComputerName(std::wstring_view name) {
    if (name.empty() || name.size() > 20) return false;
    for (wchar_t c : name) {
        if (c <= L' ' || c == 0x7F || std::wstring_view(L"\\/@?*:\"<>|").find(c) != std::wstring_view::npos)
            return false;
    }
    return true;
}

}  // namespace pm
