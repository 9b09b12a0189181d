#include "shell/single_instance_win.h"

#include <sddl.h>

#include "support/error_log_win.h"
#include "support/names_win.h"

namespace pm {
namespace {

constexpr int32_t kLogInstanceTaken = 203;  // the instance name is held by another account

// Owned by the user, so that an elevated copy (whose default owner is the
// administrators) and a plain one agree on the owner; only the system and the user may
// open it.
std::wstring InstanceMutexSddl(const std::wstring& userSid) {
    return L"O:" + userSid + L"D:P(A;;GA;;;SY)(A;;GA;;;" + userSid + L")";
}

// The name as the log shows it.
std::wstring FromAnsi(const std::string& text) {
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(size > 0 ? size : 0), L'\0');
    if (size > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), wide.data(), size);
    return wide;
}

}  // namespace

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
    const std::wstring userSid = ProcessUserSid();
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    // Without the user's SID neither the list nor the owner check can be had: the
    // system's default list, and any existing mutex counts, as it always did.
    if (!userSid.empty())
        ConvertStringSecurityDescriptorToSecurityDescriptorW(InstanceMutexSddl(userSid).c_str(), SDDL_REVISION_1,
                                                             &descriptor, nullptr);
    SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
    // Every copy of the user tries the names in this order, so two copies meet on the
    // first one no other account holds, whichever that is. Another account can find
    // the user's SID and hold both: this copy then runs unmarked, as the user's client
    // matters more than a second copy.
    const std::string names[] = {name_, userSid.empty() ? std::string() : name_ + "-" + ToAnsi(userSid)};
    bool first = true;
    for (const std::string& name : names) {
        if (name.empty()) break;
        // Once this copy holds a name, the later ones are only looked at: a copy may
        // hold one of them since the other account let go of an earlier one.
        const bool holding = bool(mutex_);
        const Holder holder = ClaimName(name, descriptor ? &security : nullptr, userSid, !holding);
        if (holder == Holder::ThisUser) {
            first = false;
            break;
        }
        // The system refused the mutex: this copy goes on as the first, unmarked.
        if (holder == Holder::Nobody && !mutex_) break;
    }
    LocalFree(descriptor);
    if (first) return true;
    mutex_.Reset();
    ActivateRunningInstance();
    return false;
}

SingleInstance::Holder SingleInstance::ClaimName(const std::string& name, SECURITY_ATTRIBUTES* security,
                                                 const std::wstring& userSid, bool create) {
    // CreateMutexA opens an existing mutex with all access, READ_CONTROL included.
    UniqueHandle mutex(create ? CreateMutexA(security, FALSE, name.c_str())
                              : OpenMutexA(SYNCHRONIZE | READ_CONTROL, FALSE, name.c_str()));
    const DWORD error = GetLastError();
    std::wstring owner;
    if (mutex && create && error != ERROR_ALREADY_EXISTS) {
        mutex_ = std::move(mutex);
        return Holder::Nobody;
    }
    if (mutex) {
        owner = ObjectOwnerSid(mutex.Get()).value_or(L"");
        // Another logon of the user, elevated or not; also a copy that started at the
        // same moment and created it first: this copy steps back, so the user never
        // gets two icons.
        if (userSid.empty() || (!owner.empty() && (owner == userSid || owner == ProcessDefaultOwnerSid())))
            return Holder::ThisUser;
        if (owner.empty()) owner = L"(unknown)";
    } else if (error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_HANDLE) {
        // The user may open every mutex of ours; a name that is not a mutex is not ours.
        owner = L"(unknown)";
    } else {
        // No mutex of that name; or the system refused to create it, which does not
        // stop the start.
        return Holder::Nobody;
    }
    LogError(kLogInstanceTaken, int32_t(error),
             L"Single instance: name held by another account " + owner + L": " + FromAnsi(name));
    return Holder::AnotherAccount;
}

void SingleInstance::ActivateRunningInstance() const {
    DWORD recipients = BSM_APPLICATIONS;
    // Posted, not sent: this copy does not wait for the other one, and its own
    // windows are left out.
    BroadcastSystemMessageA(BSF_POSTMESSAGE | BSF_IGNORECURRENTTASK, &recipients, activationMessage_, 0, 0);
}

}  // namespace pm
