#include "pipes/peer_identity_win.h"

#include <sddl.h>

#include <map>
#include <mutex>
#include <string>

#include "support/module_win.h"
#include "support/unique_win.h"

namespace pm {
namespace {

// Account names by SID: a lookup may go to a domain controller, and the same few
// accounts (the print server's, a colleague's) connect again and again.
std::wstring AccountName(PSID sid) {
    static std::mutex mutex;
    static std::map<std::string, std::wstring> known;
    const std::string key(static_cast<const char*>(sid), GetLengthSid(sid));
    {
        const std::lock_guard lock(mutex);
        if (const auto found = known.find(key); found != known.end()) return found->second;
    }
    wchar_t name[256], domain[256];
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    std::wstring account;
    if (LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use)) {
        account = domainSize ? std::wstring(domain) + L"\\" + name : std::wstring(name);
    } else if (wchar_t* text = nullptr; ConvertSidToStringSidW(sid, &text)) {
        account = text;  // an account the system cannot name is shown by its SID
        LocalFree(text);
    }
    const std::lock_guard lock(mutex);
    if (known.size() < 256) known.emplace(key, account);
    return account;
}

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
    peer.account = AccountName(sid);
    return peer;
}

std::wstring PeerAccountKey(const PeerIdentity& peer) {
    std::wstring key = peer.anonymous ? L"(anonymous)" : peer.account;
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
