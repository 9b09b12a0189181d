#pragma once
// At most one client per user: a named mutex marks the running copy, and a second
// start tells it so with a broadcast of a window message registered under the same
// name, then ends without creating a window.
//
// Only the user and the system may open the mutex, and an existing one counts only
// when the user owns it: another account in the same session (runas, a service) that
// takes the name first cannot keep the user's client from starting. Such a name is
// logged and passed over for a second name, the first followed by "-" and the user's
// SID, where the user's copies meet instead.

#include <windows.h>

#include <string>
#include <string_view>

#include "support/unique_win.h"

namespace pm {

// "PrintMirovant-" + the user name in lower case, in the system's ANSI code page
// (both calls that take it are ANSI). No namespace prefix: the name lives in the
// user's logon session.
std::string InstanceName(std::wstring_view userName);

class SingleInstance {
public:
    explicit SingleInstance(std::wstring_view userName);

    const std::string& Name() const { return name_; }
    UINT ActivationMessage() const { return activationMessage_; }

    // True when no other copy of this user runs: the instance mutex is then held for
    // the life of this object (none when the system refused to create one, or both
    // names are held by other accounts: this copy runs on unmarked). False when
    // another copy runs: it has been notified.
    bool IsFirstInstance();
    // Posts the activation message to the other copy (to every top-level window of
    // other processes; only a copy of the same user has registered the message).
    void ActivateRunningInstance() const;

private:
    enum class Holder { Nobody, ThisUser, AnotherAccount };
    // Creates the mutex `name` (only opens it unless `create`) and says who holds it:
    // Nobody when this call created it (kept in mutex_), when none exists, or when the
    // system refused to create it. A name held by another account is logged.
    Holder ClaimName(const std::string& name, SECURITY_ATTRIBUTES* security, const std::wstring& userSid, bool create);

    std::string name_;
    UINT activationMessage_ = 0;
    UniqueHandle mutex_;
};

}  // namespace pm
