#include "pipes/peer_identity_win.h"

#include <sddl.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "support/module_win.h"
#include "support/names_win.h"
#include "support/unique_win.h"

namespace pm {
namespace {

// Account names by SID: a lookup may go to a domain controller, and the same few
// accounts (the print server's, a colleague's) connect again and again. Each lookup
// runs on a thread of its own, so whoever waits for it can stop waiting; a few run at
// once at most. Never destroyed: a lookup may outlive the program's exit.
class AccountNames {
public:
    static AccountNames& Instance() {
        static AccountNames* names = new AccountNames;
        return *names;
    }
    std::optional<std::wstring> Known(const std::wstring& sid) {
        const std::lock_guard lock(mutex_);
        const auto found = known_.find(sid);
        return found == known_.end() ? std::nullopt : std::optional(found->second);
    }
    std::wstring Name(const std::wstring& sid, unsigned milliseconds) {
        std::unique_lock lock(mutex_);
        if (!known_.count(sid) && !pending_.count(sid) && pending_.size() < kMaxPending) {
            pending_.insert(sid);
            try {
                std::thread([this, sid, lookup = lookup_] {
                    const std::wstring name = lookup(sid);
                    const std::lock_guard lock(mutex_);
                    pending_.erase(sid);
                    if (known_.size() >= kMaxKnown) known_.clear();
                    known_[sid] = name;
                    done_.notify_all();
                }).detach();
            } catch (...) {
                pending_.erase(sid);  // no thread: the SID stands for the name
            }
        }
        done_.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return known_.count(sid) > 0; });
        const auto found = known_.find(sid);
        return found == known_.end() ? std::wstring() : found->second;
    }
    AccountLookup lookup_ = &AccountNameOfSid;

private:
    static constexpr size_t kMaxPending = 8, kMaxKnown = 256;
    std::mutex mutex_;
    std::condition_variable done_;
    std::map<std::wstring, std::wstring> known_;
    std::set<std::wstring> pending_;
};

}  // namespace

std::wstring ClientComputerOf(HANDLE pipe) {
    // Only Vista and later have the call, and Wine's stub ends the process.
    static const bool wine = IsWine();
    if (wine) return {};
    using GetClientComputerFn = BOOL(WINAPI*)(HANDLE, LPWSTR, ULONG);
    static const auto get =
        GetProc<GetClientComputerFn>(GetModuleHandleW(L"kernel32.dll"), "GetNamedPipeClientComputerNameW");
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 2] = {};
    if (!get || !get(pipe, name, sizeof name)) return {};
    return name;
}

PeerIdentity IdentifyPeer(HANDLE pipe) {
    PeerIdentity peer;
    peer.computer = ClientComputerOf(pipe);
    if (!ImpersonateNamedPipeClient(pipe)) return peer;
    HANDLE raw = nullptr;
    const BOOL opened = OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &raw);
    // Before anything else runs as the peer. A thread that cannot stop being the peer
    // must not go on (the system's own advice): the process ends.
    if (!RevertToSelf()) TerminateProcess(GetCurrentProcess(), ERROR_CANNOT_IMPERSONATE);
    if (!opened) return peer;
    const UniqueHandle token(raw);
    // One call: a token's user is at most a TOKEN_USER and the largest SID.
    alignas(TOKEN_USER) uint8_t buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    if (!GetTokenInformation(token.Get(), TokenUser, buffer, sizeof buffer, &size)) return peer;
    const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
    if (IsWellKnownSid(sid, WinAnonymousSid)) {
        peer.anonymous = true;
        return peer;
    }
    if (wchar_t* text = nullptr; ConvertSidToStringSidW(sid, &text)) {
        peer.sid = text;
        LocalFree(text);
        const std::optional<std::wstring> known = AccountNames::Instance().Known(peer.sid);
        if (known && !known->empty()) peer.account = *known;
    }
    return peer;
}

void NamePeer(PeerIdentity& peer, unsigned milliseconds) {
    if (peer.anonymous || peer.sid.empty() || !peer.account.empty()) return;
    const std::wstring name = AccountNames::Instance().Name(peer.sid, milliseconds);
    // An account the system cannot name, or not in time, is shown by its SID.
    peer.account = name.empty() ? peer.sid : name;
}

void SetAccountLookup(AccountLookup lookup) {
    AccountNames::Instance().lookup_ = lookup ? lookup : &AccountNameOfSid;
}

std::wstring PeerAccountKey(const PeerIdentity& peer) {
    if (peer.anonymous) return L"(ANONYMOUS)";
    if (!peer.sid.empty()) return peer.sid;
    std::wstring key = peer.account;
    CharUpperBuffW(key.data(), DWORD(key.size()));
    return key;
}

PeerWords PeerWords::Read(const LangReader& lang) {
    return {lang.Read(text::kPeerOn), lang.Read(text::kPeerAnonymous), lang.Read(text::kPeerUnknown)};
}

std::wstring PeerText(const PeerIdentity& peer, const PeerWords& words) {
    std::wstring text = peer.anonymous ? words.anonymous : peer.account;
    if (text.empty()) return words.unknown;
    if (!peer.computer.empty()) text += L" " + words.on + L" " + peer.computer;
    return text;
}

}  // namespace pm
