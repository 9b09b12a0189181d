#include "auth/job_dialogs.h"

#include <algorithm>
#include <cwctype>

namespace pm {

namespace {

std::wstring Upper(std::wstring_view text) {
    std::wstring result(text);
    for (wchar_t& c : result)
        c = wchar_t(std::towupper(wint_t(c)));
    return result;
}

}  // namespace

JobKey MakeJobKey(std::wstring_view server, uint32_t jobId, std::wstring_view account, bool trusted) {
    return {Upper(server), jobId, Upper(account), trusted};
}

JobDialogs::Admission JobDialogs::AdmitLocked(const JobKey& key) const {
    if (std::any_of(open_.begin(), open_.end(), [&](const auto& entry) { return entry.first.SameJob(key); }))
        return Admission::Open;
    if (open_.size() >= kLimit) return Admission::Full;
    if (key.trusted) return Admission::New;
    const auto held = std::count_if(open_.begin(), open_.end(),
                                    [&](const auto& entry) { return entry.first.account == key.account; });
    return size_t(held) >= kPerAccount ? Admission::AccountFull : Admission::New;
}

JobDialogs::Admission JobDialogs::Admit(const JobKey& key) const {
    const std::lock_guard lock(mutex_);
    return AdmitLocked(key);
}

void* JobDialogs::Find(const JobKey& key) const {
    const std::lock_guard lock(mutex_);
    const auto found =
        std::find_if(open_.begin(), open_.end(), [&](const auto& entry) { return entry.first.SameJob(key); });
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
    std::erase_if(refusedAccounts_, [&](const std::wstring& account) {
        return size_t(std::count_if(open_.begin(), open_.end(),
                                    [&](const auto& entry) { return entry.first.account == account; })) < kPerAccount;
    });
}

size_t JobDialogs::Count() const {
    const std::lock_guard lock(mutex_);
    return open_.size();
}

bool JobDialogs::RefusalStartsBurst() {
    const std::lock_guard lock(mutex_);
    return !std::exchange(refusing_, true);
}

bool JobDialogs::AccountRefusalStartsBurst(const JobKey& key) {
    const std::lock_guard lock(mutex_);
    if (std::find(refusedAccounts_.begin(), refusedAccounts_.end(), key.account) != refusedAccounts_.end())
        return false;
    refusedAccounts_.push_back(key.account);
    return true;
}

JobDialogs& OpenJobDialogs() {
    static JobDialogs dialogs;
    return dialogs;
}

}  // namespace pm
