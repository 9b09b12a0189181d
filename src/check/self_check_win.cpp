#include "check/self_check_win.h"

#include <windows.h>
// After windows.h, which they need.
#include <aclapi.h>
#include <sddl.h>

#include <memory>

#include "account/form_requests_win.h"
#include "account/query_account_win.h"
#include "auth/credentials_win.h"
#include "auth/job_answer_win.h"
#include "auth/print_servers.h"
#include "i18n/language_win.h"
#include "pipes/pipe_names.h"
#include "pipes/pipe_transport_win.h"
#include "shell/form_mirovant_win.h"
#include "support/error_log_win.h"
#include "support/install_dir_win.h"
#include "support/machine_settings_win.h"
#include "support/names_win.h"
#include "support/product.h"
#include "support/registry_win.h"

namespace pm {
namespace {

// What the client grants every account on its own pipe: read and write, but not
// FILE_CREATE_PIPE_INSTANCE, WRITE_DAC or WRITE_OWNER.
constexpr uint32_t kPeerPipeRights = 0x12019b;

struct LocalFreer {
    void operator()(void* memory) const { LocalFree(memory); }
};

std::wstring ErrorText(DWORD error) {
    const std::wstring message = SystemMessageText(int32_t(error));
    return L"error " + std::to_wstring(error) + (message.empty() ? L"" : L": " + message);
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A SID as text; "(unknown)" for none.
std::wstring SidText(PSID sid) {
    const std::wstring text = SidToText(sid);
    return text.empty() ? L"(unknown)" : text;
}

// Where the installation directory comes from, by the rule the client applies.
const wchar_t* InstallDirectorySource() {
    reg::ReadResult<std::wstring> value;
    if (const UniqueKey key = reg::OpenKey(HKEY_LOCAL_MACHINE, kProductKey, reg::Access::Read))
        value = reg::ReadString(key.Get(), L"Install Directory");
    if (value.Ok() && !value.value.empty()) return L"Install Directory";
    if (value.status == reg::ReadStatus::WrongType) return L"the program's folder; Install Directory is not a string";
    return L"the program's folder";
}

void CheckInstallation(std::vector<CheckLine>& lines) {
    const std::wstring& directory = InstallDirectory();
    const std::wstring where = directory + L" (" + InstallDirectorySource() + L")";
    if (IsFolder(directory)) {
        lines.push_back({true, L"installation directory", where});
    } else {
        lines.push_back({false, L"installation directory", where + L" does not exist"});
    }

    const std::wstring& language = CurrentLanguage();
    const std::wstring file = LanguageFilePath(directory, language);
    if (file.empty()) {
        lines.push_back({true, L"language", language + L", built-in texts"});
    } else if (IsFile(file)) {
        lines.push_back({true, L"language", language + L", " + file});
    } else {
        lines.push_back({false, L"language", language + L", " + file + L" not found: built-in English texts are used"});
    }
}

// The folder and file the error log writes, opened as every entry opens them. On a
// shared installation users may add to the log but not delete from it, so nothing
// is created to be removed again; where the client may create the folder and the
// file, its first entry would anyway. A full log takes no entries: that fails.
void CheckLogFolder(std::vector<CheckLine>& lines) {
    const std::wstring folder = InstallDirectory() + L"Logs\\";
    const UniqueFile log = OpenErrorLogForAppend(InstallDirectory());
    if (log && ErrorLogFull(log.Get())) {
        lines.push_back({false, L"log folder",
                         folder + L", Errors.log is full (" + std::to_wstring(kErrorLogSizeLimit >> 20) +
                             L" MB): no entries are written"});
    } else if (log) {
        lines.push_back({true, L"log folder", folder + L", Errors.log can be appended to"});
    } else {
        lines.push_back({false, L"log folder",
                         folder + L", Errors.log cannot be appended to (" + ErrorText(GetLastError()) + L")"});
    }
}

// The client asks (and announces to) the print server chosen in the account window,
// stored as "AccInfoServer"; the machine's values do not choose it.
void CheckPrintServer(std::vector<CheckLine>& lines) {
    reg::ReadResult<std::wstring> server;
    if (const UniqueKey key = reg::OpenKey(HKEY_CURRENT_USER, kInterfaceKey, reg::Access::Read))
        server = reg::ReadString(key.Get(), L"AccInfoServer");
    if (server.status == reg::ReadStatus::WrongType) {
        lines.push_back({false, L"print server", L"AccInfoServer is not a string: the client asks no print server"});
        return;
    }
    if (!server.Ok() || server.value.empty()) {
        lines.push_back({false, L"print server", L"not configured: choose one with \"...\" in the account window"});
        return;
    }
    lines.push_back({true, L"print server", server.value + L" (AccInfoServer, the account window's choice)"});

    const std::wstring pipeName = ServerPipeName(server.value);
    {
        UniqueFile pipe;
        if (!OpenPipe(pipeName, pipe)) {
            lines.push_back(
                {false, L"print server pipe", pipeName + L" does not open (" + ErrorText(GetLastError()) + L")"});
            return;
        }
    }
    lines.push_back({true, L"print server pipe", pipeName + L" opens"});

    if (AnnounceComputer(server.value)) {
        lines.push_back({true, L"announcement", ThisComputer() + L" announced and acknowledged"});
    } else {
        lines.push_back({false, L"announcement", ThisComputer() + L" announced, not acknowledged"});
    }

    const std::wstring user = LocalUserName();
    if (const std::optional<AccountSummary> summary = QueryAccount(server.value, user)) {
        const AccountTexts texts = AccountSummaryTexts(*summary, OpenLanguageFile());
        lines.push_back({true, L"account query",
                         user + L": balance " + texts.balance + L", restriction " + texts.restriction +
                             L", date of updating " + (texts.updated.empty() ? L"none" : texts.updated)});
    } else {
        lines.push_back({false, L"account query", user + L": the print server gave no account"});
    }
}

std::vector<AccessGrant> AllowedGrants(const ACL* list) {
    std::vector<AccessGrant> grants;
    ACL_SIZE_INFORMATION size = {};
    if (!GetAclInformation(const_cast<ACL*>(list), &size, sizeof size, AclSizeInformation)) return grants;
    for (DWORD i = 0; i < size.AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(const_cast<ACL*>(list), i, &ace)) continue;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        // Denials only take rights away; inherit-only entries do not apply to the pipe.
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        grants.push_back({SidText(&allowed->SidStart), allowed->Mask});
    }
    return grants;
}

// Opening asks for READ_CONTROL only and sends nothing: the client's listener reads
// no request, shows nothing and closes the connection.
void CheckOwnPipe(std::vector<CheckLine>& lines) {
    const std::wstring name = ListenerPipeName(LocalUserName());
    auto open = [&] {
        return UniqueFile(CreateFileW(name.c_str(), READ_CONTROL, 0, nullptr, OPEN_EXISTING,
                                      SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
    };
    UniqueFile pipe = open();
    if (!pipe && GetLastError() == ERROR_PIPE_BUSY && WaitNamedPipeW(name.c_str(), 2000)) pipe = open();
    if (!pipe) {
        const DWORD error = GetLastError();
        const std::wstring why = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                                     ? L"no client runs for this user"
                                 : error == ERROR_ACCESS_DENIED ? L"served by another account"
                                                                : L"does not open (" + ErrorText(error) + L")";
        lines.push_back({false, L"own pipe", name + L": " + why});
        return;
    }

    PSID owner = nullptr;
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR raw = nullptr;
    const DWORD read =
        GetSecurityInfo(pipe.Get(), SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                        nullptr, &list, nullptr, &raw);
    if (read != ERROR_SUCCESS) {
        lines.push_back({false, L"own pipe", name + L": its owner cannot be read (" + ErrorText(read) + L")"});
        return;
    }
    const std::unique_ptr<void, LocalFreer> descriptor(raw);
    const std::wstring ownerSid = SidText(owner);
    const std::wstring userSid = ProcessUserSid(), defaultOwnerSid = ProcessDefaultOwnerSid();
    // Another logon of the same user may serve the same name, as the client allows.
    if (ownerSid == userSid || ownerSid == defaultOwnerSid) {
        lines.push_back({true, L"own pipe", name + L" served by this user's client"});
    } else {
        lines.push_back({false, L"own pipe", name + L" served by another account, " + ownerSid});
    }

    wchar_t* sddlRaw = nullptr;
    std::wstring sddl = L"(not readable)";
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(
            raw, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &sddlRaw, nullptr)) {
        const std::unique_ptr<wchar_t, LocalFreer> owned(sddlRaw);
        sddl = sddlRaw;
    }
    if (!list) {
        lines.push_back({false, L"own pipe access list", sddl + L": none, every account has full control"});
        return;
    }
    // The system, the administrators and the user have full control; nobody else.
    const std::wstring trusted[] = {L"S-1-5-18", L"S-1-5-32-544", userSid, defaultOwnerSid};
    const std::vector<AccessGrant> beyond = GrantsBeyond(AllowedGrants(list), trusted, kPeerPipeRights);
    if (beyond.empty()) {
        lines.push_back({true, L"own pipe access list", sddl});
    } else {
        lines.push_back({false, L"own pipe access list",
                         sddl + L": " + beyond.front().sid + L" may change the list or add instances"});
    }
}

// Where a machine-wide value comes from, as the client reads it.
const wchar_t* MachineValueSource(const wchar_t* name) {
    switch (MachineValueKey(name)) {
        case MachineKey::Policy:
            return L"policy key";
        case MachineKey::Product:
            return L"product key";
        case MachineKey::None:
            break;
    }
    return L"not set";
}

// A ";"-separated list of names: "." stands for `thisComputer` where that is given.
void CheckNameList(std::vector<CheckLine>& lines, const wchar_t* value, const std::wstring& thisComputer,
                   const wchar_t* anyText, const wchar_t* noneText) {
    const std::wstring from = MachineValueSource(value);
    const auto list = MachineString(value);
    if (list.status == reg::ReadStatus::Missing) {
        lines.push_back({true, value, std::wstring(L"not set: ") + anyText});
    } else if (!list.Ok()) {
        lines.push_back({false, value, L"not a string (" + from + L"): " + noneText});
    } else {
        std::wstring names;
        for (const std::wstring& name : ParsePrintServers(list.value, thisComputer))
            names += (names.empty() ? L"" : L";") + name;
        lines.push_back(
            {true, value, (names.empty() ? L"no names: " + std::wstring(anyText) : names) + L" (" + from + L")"});
    }
}

void CheckMachineValues(std::vector<CheckLine>& lines) {
    CheckNameList(lines, kPrintServersValue, ThisComputer(), L"jobs may be answered to any print server",
                  L"no job is answered");
    CheckNameList(lines, kPrintServerAccountsValue, {}, L"job requests are taken from any account",
                  L"no job request is taken");

    const std::wstring disableFrom = MachineValueSource(kDisableSendMessageValue);
    const auto disable = MachineDword(kDisableSendMessageValue);
    if (disable.status == reg::ReadStatus::Missing) {
        lines.push_back({true, L"DisableSendMessage", L"not set: \"Send Message...\" shown"});
    } else if (!disable.Ok()) {
        lines.push_back(
            {false, L"DisableSendMessage", L"not a DWORD (" + disableFrom + L"): ignored, \"Send Message...\" shown"});
    } else {
        lines.push_back({true, L"DisableSendMessage",
                         std::to_wstring(disable.value) + L" (" + disableFrom + L"): \"Send Message...\" " +
                             (disable.value ? L"hidden" : L"shown")});
    }
}

}  // namespace

std::vector<CheckLine> RunSelfCheck() {
    std::vector<CheckLine> lines;
    CheckInstallation(lines);
    CheckLogFolder(lines);
    CheckPrintServer(lines);
    CheckOwnPipe(lines);
    CheckMachineValues(lines);
    return lines;
}

}  // namespace pm
