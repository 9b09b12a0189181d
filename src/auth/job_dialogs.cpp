#include "auth/job_dialogs.h"

#include <algorithm>
#include <cwctype>

namespace pm {

JobKey MakeJobKey(std::wstring_view server, uint32_t jobId) {
    JobKey key{std::wstring(server), jobId};
    for (wchar_t& c : key.server)
        c = wchar_t(std::towupper(wint_t(c)));
    return key;
}

JobDialogs::Admission JobDialogs::AdmitLocked(const JobKey& key) const {
    if (std::any_of(open_.begin(), open_.end(), [&](const auto& entry) { return entry.first == key; }))
        return Admission::Open;
    return open_.size() >= kLimit ? Admission::Full : Admission::New;
}

JobDialogs::Admission JobDialogs::Admit(const JobKey& key) const {
    const std::lock_guard lock(mutex_);
    return AdmitLocked(key);
}

void* JobDialogs::Find(const JobKey& key) const {
    const std::lock_guard lock(mutex_);
    const auto found = std::find_if(open_.begin(), open_.end(), [&](const auto& entry) { return entry.first == key; });
    return found == open_.end() ? nullptr : found->second;
}

bool JobDialogs::Add(const JobKey& key, void* dialog) {
    const std::lock_guard lock(mutex_);
    if (AdmitLocked(key) != Admission::New) return false;
    open_.emplace_back(key, dialog);
    return true;
}

void JobDialogs::Remove(const void* dialog) {
    const std::lock_guard lock(mutex_);
    std::erase_if(open_, [&](const auto& entry) { return entry.second == dialog; });
    if (open_.size() < kLimit) refusing_ = false;
}

size_t JobDialogs::Count() const {
    const std::lock_guard lock(mutex_);
    return open_.size();
}

bool JobDialogs::RefusalStartsBurst() {
    const std::lock_guard lock(mutex_);
    return !std::exchange(refusing_, true);
}

JobDialogs& OpenJobDialogs() {
    static JobDialogs dialogs;
    return dialogs;
}

}  // namespace pm
