#include "pipes/pipe_names.h"

#include "shell/product.h"

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

}  // namespace pm
