#pragma once
// The jobs that have an authentication dialog open: one dialog per job (the same
// print server, job ID and requesting account), and at most kLimit dialogs at once,
// so a flood of requests cannot bury the desktop or exhaust the process. An account
// that is not a trusted print server's holds at most kPerAccount of them, so one
// account cannot keep every genuine job out.
//
// The user-interface thread adds and removes dialogs; the listener's threads may
// ask, before they acknowledge a request, whether it could open one.

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pm {

struct JobKey {
    std::wstring server;  // upper case: computer names compare without regard to case
    uint32_t jobId = 0;
    // Who asked, upper case ("" when unknown): another account's request for the same
    // job never takes the genuine request's dialog.
    std::wstring account;
    // A trusted print server's account: not held to kPerAccount.
    bool trusted = false;
    bool SameJob(const JobKey& other) const {
        return jobId == other.jobId && server == other.server && account == other.account;
    }
};
JobKey MakeJobKey(std::wstring_view server, uint32_t jobId, std::wstring_view account = {}, bool trusted = false);

class JobDialogs {
public:
    static constexpr size_t kLimit = 32;
    static constexpr size_t kPerAccount = 8;
    enum class Admission {
        New,          // a dialog may open
        Open,         // the job's dialog is open already: bring it to the front
        Full,         // kLimit dialogs are open: nothing opens, nothing is answered
        AccountFull,  // the account holds kPerAccount dialogs: the same
    };

    Admission Admit(const JobKey& key) const;
    // The dialog of an open job, nullptr when none.
    void* Find(const JobKey& key) const;
    // False (and nothing added) unless Admit says New.
    bool Add(const JobKey& key, void* dialog);
    void Remove(const void* dialog);
    size_t Count() const;
    // Counts one refusal; true only for the first since the dialogs were last below
    // the limit, so a burst of refusals leaves one log entry.
    bool RefusalStartsBurst();
    // The same for the refusals of one account at its share.
    bool AccountRefusalStartsBurst(const JobKey& key);

private:
    Admission AdmitLocked(const JobKey& key) const;

    mutable std::mutex mutex_;
    std::vector<std::pair<JobKey, void*>> open_;
    bool refusing_ = false;
    std::vector<std::wstring> refusedAccounts_;  // at their share since their last refusal entry
};

// The process's dialogs.
JobDialogs& OpenJobDialogs();

}  // namespace pm
