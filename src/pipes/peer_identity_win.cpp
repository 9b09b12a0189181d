#include "pipes/peer_identity_win.h"

#include <sddl.h>

#include <map>
#include <mutex>
#include <vector>

#include "support/module_win.h"
#include "support/unique_win.h"

namespace pm {
namespace {

// Account names by SID string: a lookup may go to a domain controller, and the
// same few accounts (the print server's, a colleague's) connect again and again.
std::wstring AccountName(PSID sid) {
    static std::mutex mutex;
    static std::map<std::wstring, std::wstring> known;
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) return {};
    const std::wstring sidText = text;
    LocalFree(text);
    {
        const std::lock_guard lock(mutex);
        if (const auto found = known.find(sidText); found != known.end()) return found->second;
    }
    wchar_t name[256], domain[256];
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    // An account the system cannot name is shown by its SID.
    std::wstring account = sidText;
    if (LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use))
        account = domainSize ? std::wstring(domain) + L"\\" + name : std::wstring(name);
    const std::lock_guard lock(mutex);
    if (known.size() < 256) known.emplace(sidText, account);
    return account;
}

// The client's computer: only Vista and later have the call, and Wine's stub ends
// the process; a local client has none to report.
std::wstring ClientComputer(HANDLE pipe) {
    if (IsWine()) return {};
    using GetClientComputerFn = BOOL(WINAPI*)(HANDLE, LPWSTR, ULONG);
    static const auto get =
        GetProc<GetClientComputerFn>(GetModuleHandleW(L"kernel32.dll"), "GetNamedPipeClientComputerNameW");
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 2] = {};
    if (!get || !get(pipe, name, sizeof name)) return {};
    return name;
}

}  // namespace

PeerIdentity IdentifyPeer(HANDLE pipe) {
    PeerIdentity peer;
    peer.computer = ClientComputer(pipe);
    if (!ImpersonateNamedPipeClient(pipe)) return peer;
    HANDLE raw = nullptr;
    const BOOL opened = OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &raw);
    // Before anything else runs as the peer. A thread that cannot stop being the peer
    // must not go on (the system's own advice): the process ends.
    if (!RevertToSelf()) TerminateProcess(GetCurrentProcess(), ERROR_CANNOT_IMPERSONATE);
    if (!opened) return peer;
    const UniqueHandle token(raw);
    DWORD size = 0;
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    std::vector<uint8_t> buffer(size);
    if (!size || !GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) return peer;
    const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    if (IsWellKnownSid(sid, WinAnonymousSid)) {
        peer.anonymous = true;
        return peer;
    }
    peer.account = AccountName(sid);
    return peer;
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
