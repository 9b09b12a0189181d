#include "shell/single_instance_win.h"

#include "support/names_win.h"

namespace pm {

std::string InstanceName(std::wstring_view userName) {
    const std::wstring wide = L"PrintMirovant-" + ToLower(std::wstring(userName));
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string name(size_t(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) WideCharToMultiByte(CP_ACP, 0, wide.c_str(), int(wide.size()), name.data(), bytes, nullptr, nullptr);
    return name;
}

SingleInstance::SingleInstance(std::wstring_view userName)
    : name_(InstanceName(userName)), activationMessage_(RegisterWindowMessageA(name_.c_str())) {}

bool SingleInstance::IsFirstInstance() {
    // The other copy's handle stays open until this process ends; only existence matters.
    if (UniqueHandle running{OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name_.c_str())}) {
        ActivateRunningInstance();
        return false;
    }
    // A failure here does not stop the start: this copy goes on as the first.
    mutex_.Reset(CreateMutexA(nullptr, FALSE, name_.c_str()));
    // Two copies started at the same moment both miss the other's mutex above; the
    // later creator sees it exist and steps back, so the user never gets two icons.
    if (mutex_ && GetLastError() == ERROR_ALREADY_EXISTS) {
        mutex_.Reset();
        ActivateRunningInstance();
        return false;
    }
    return true;
}

void SingleInstance::ActivateRunningInstance() const {
    DWORD recipients = BSM_APPLICATIONS;
    // Posted, not sent: this copy does not wait for the other one, and its own
    // windows are left out.
    BroadcastSystemMessageA(BSF_POSTMESSAGE | BSF_IGNORECURRENTTASK, &recipients, activationMessage_, 0, 0);
}

}  // namespace pm
