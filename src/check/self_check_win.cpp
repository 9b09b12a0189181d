#include "check/self_check_win.h"

#include <windows.h>
// After windows.h, which they need.
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <type_traits>

#include "about/form_about_win.h"
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

struct ServiceCloser {
    void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
using ServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceCloser>;

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

// DOMAIN\user of this process, or the bare name where the account cannot be looked up.
std::wstring QualifiedUserName() {
    const std::wstring name = AccountNameOfSid(ProcessUserSid());
    return name.empty() ? LocalUserName() : name;
}

// Whether the user's Language value chose the language, rather than the locale.
bool LanguageNamedByTheUser() {
    const UniqueKey key = reg::OpenKey(HKEY_CURRENT_USER, kInterfaceKey, reg::Access::Read);
    if (!key) return false;
    const auto value = reg::ReadString(key.Get(), L"Language");
    return value.Ok() && !value.value.empty();
}

void CheckInstallation(std::vector<CheckLine>& lines) {
    const std::wstring& directory = InstallDirectory();
    const std::wstring where = directory + L" (" + InstallDirectorySource() + L")";
    if (IsFolder(directory)) {
        lines.push_back({CheckLevel::Ok, L"installation directory", where});
    } else {
        lines.push_back({CheckLevel::Fail, L"installation directory", where + L" does not exist"});
    }

    const std::wstring& language = CurrentLanguage();
    const std::wstring file = LanguageFilePath(directory, language);
    if (file.empty()) {
        lines.push_back({CheckLevel::Ok, L"language", language + L", built-in texts"});
    } else if (IsFile(file)) {
        lines.push_back({CheckLevel::Ok, L"language", language + L", " + file});
    } else if (LanguageNamedByTheUser()) {
        lines.push_back(
            {CheckLevel::Fail, L"language",
             language + L" (the Language value), " + file + L" not found: built-in English texts are used"});
    } else {
        // Chosen from the regional setting for a language that ships no file: the
        // client speaks English, as it is meant to.
        lines.push_back(
            {CheckLevel::Ok, L"language",
             language + L" (from the regional setting), " + file + L" not found: built-in English texts are used"});
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
        lines.push_back({CheckLevel::Fail, L"log folder",
                         folder + L", Errors.log is full (" + std::to_wstring(kErrorLogSizeLimit >> 20) +
                             L" MB): no entries are written"});
    } else if (log) {
        lines.push_back({CheckLevel::Ok, L"log folder", folder + L", Errors.log can be appended to"});
    } else {
        lines.push_back({CheckLevel::Fail, L"log folder",
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
        lines.push_back(
            {CheckLevel::Fail, L"print server", L"AccInfoServer is not a string: the client asks no print server"});
        return;
    }
    if (!server.Ok() || server.value.empty()) {
        lines.push_back(
            {CheckLevel::Fail, L"print server", L"not configured: choose one with \"...\" in the account window"});
        return;
    }
    lines.push_back({CheckLevel::Ok, L"print server", server.value + L" (AccInfoServer, the account window's choice)"});

    const std::wstring pipeName = ServerPipeName(server.value);
    {
        UniqueFile pipe;
        if (!OpenPipe(pipeName, pipe)) {
            lines.push_back({CheckLevel::Fail, L"print server pipe",
                             pipeName + L" does not open (" + ErrorText(GetLastError()) + L")"});
            return;
        }
    }
    lines.push_back({CheckLevel::Ok, L"print server pipe", pipeName + L" opens"});

    if (AnnounceComputer(server.value)) {
        lines.push_back({CheckLevel::Ok, L"announcement", ThisComputer() + L" announced and acknowledged"});
    } else {
        lines.push_back({CheckLevel::Fail, L"announcement", ThisComputer() + L" announced, not acknowledged"});
    }

    const std::wstring user = LocalUserName();
    if (const std::optional<AccountSummary> summary = QueryAccount(server.value, user)) {
        const AccountTexts texts = AccountSummaryTexts(*summary, OpenLanguageFile());
        lines.push_back({CheckLevel::Ok, L"account query",
                         user + L": balance " + texts.balance + L", restriction " + texts.restriction +
                             L", date of updating " + (texts.updated.empty() ? L"none" : texts.updated)});
    } else {
        lines.push_back({CheckLevel::Fail, L"account query", user + L": the print server gave no account"});
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
        lines.push_back({CheckLevel::Fail, L"own pipe", name + L": " + why});
        return;
    }

    PSID owner = nullptr;
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR raw = nullptr;
    const DWORD read =
        GetSecurityInfo(pipe.Get(), SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                        nullptr, &list, nullptr, &raw);
    if (read != ERROR_SUCCESS) {
        lines.push_back(
            {CheckLevel::Fail, L"own pipe", name + L": its owner cannot be read (" + ErrorText(read) + L")"});
        return;
    }
    const std::unique_ptr<void, LocalFreer> descriptor(raw);
    const std::wstring ownerSid = SidText(owner);
    const std::wstring userSid = ProcessUserSid(), defaultOwnerSid = ProcessDefaultOwnerSid();
    // Another logon of the same user may serve the same name, as the client allows.
    if (ownerSid == userSid || ownerSid == defaultOwnerSid) {
        lines.push_back({CheckLevel::Ok, L"own pipe", name + L" served by this user's client"});
    } else {
        lines.push_back({CheckLevel::Fail, L"own pipe", name + L" served by another account, " + ownerSid});
    }

    wchar_t* sddlRaw = nullptr;
    std::wstring sddl = L"(not readable)";
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(
            raw, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &sddlRaw, nullptr)) {
        const std::unique_ptr<wchar_t, LocalFreer> owned(sddlRaw);
        sddl = sddlRaw;
    }
    if (!list) {
        lines.push_back({CheckLevel::Fail, L"own pipe access list", sddl + L": none, every account has full control"});
        return;
    }
    // The system, the administrators and the user have full control; nobody else.
    const std::wstring trusted[] = {L"S-1-5-18", L"S-1-5-32-544", userSid, defaultOwnerSid};
    const std::vector<AccessGrant> beyond = GrantsBeyond(AllowedGrants(list), trusted, kPeerPipeRights);
    if (beyond.empty()) {
        lines.push_back({CheckLevel::Ok, L"own pipe access list", sddl});
    } else {
        lines.push_back({CheckLevel::Fail, L"own pipe access list",
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
// Not set, or set to no names, is `unset`: allowed, not always recommended.
void CheckNameList(std::vector<CheckLine>& lines, const wchar_t* value, const std::wstring& thisComputer,
                   const wchar_t* anyText, const wchar_t* noneText, CheckLevel unset) {
    const std::wstring from = MachineValueSource(value);
    const auto list = MachineString(value);
    if (list.status == reg::ReadStatus::Missing) {
        lines.push_back({unset, value, std::wstring(L"not set: ") + anyText});
    } else if (!list.Ok()) {
        lines.push_back({CheckLevel::Fail, value, L"not a string (" + from + L"): " + noneText});
    } else {
        std::wstring names;
        for (const std::wstring& name : ParsePrintServers(list.value, thisComputer))
            names += (names.empty() ? L"" : L";") + name;
        lines.push_back({names.empty() ? unset : CheckLevel::Ok, value,
                         (names.empty() ? L"no names: " + std::wstring(anyText) : names) + L" (" + from + L")"});
    }
}

void CheckMachineValues(std::vector<CheckLine>& lines) {
    CheckNameList(lines, kPrintServersValue, ThisComputer(), L"jobs may be answered to any print server",
                  L"no job is answered", CheckLevel::Warn);
    CheckNameList(lines, kPrintServerAccountsValue, {}, L"job requests are taken from any account",
                  L"no job request is taken", CheckLevel::Ok);

    const std::wstring disableFrom = MachineValueSource(kDisableSendMessageValue);
    const auto disable = MachineDword(kDisableSendMessageValue);
    if (disable.status == reg::ReadStatus::Missing) {
        lines.push_back({CheckLevel::Ok, L"DisableSendMessage", L"not set: \"Send Message...\" shown"});
    } else if (!disable.Ok()) {
        lines.push_back({CheckLevel::Fail, L"DisableSendMessage",
                         L"not a DWORD (" + disableFrom + L"): ignored, \"Send Message...\" shown"});
    } else {
        lines.push_back({CheckLevel::Ok, L"DisableSendMessage",
                         std::to_wstring(disable.value) + L" (" + disableFrom + L"): \"Send Message...\" " +
                             (disable.value ? L"hidden" : L"shown")});
    }
}

// Whether every print server this client knows of is this computer: the one chosen
// in the account window and those PrintServers lists. Pipes between processes of one
// computer do not need the Server service.
bool OnlyThisComputerServes() {
    std::vector<std::wstring> servers;
    if (const UniqueKey key = reg::OpenKey(HKEY_CURRENT_USER, kInterfaceKey, reg::Access::Read)) {
        const auto chosen = reg::ReadString(key.Get(), L"AccInfoServer");
        if (chosen.Ok() && !chosen.value.empty()) servers = ParsePrintServers(chosen.value, ThisComputer());
    }
    const auto list = MachineString(kPrintServersValue);
    if (!list.Ok()) return false;  // any print server may ask
    const std::vector<std::wstring> listed = ParsePrintServers(list.value, ThisComputer());
    if (listed.empty()) return false;
    servers.insert(servers.end(), listed.begin(), listed.end());
    const std::wstring self = ToUpper(ThisComputer());
    return std::all_of(servers.begin(), servers.end(), [&](const std::wstring& name) { return name == self; });
}

// A print server on another computer opens this client's pipe through the Server
// service (file and printer sharing): without it, no job request and no message arrive.
void CheckServerService(std::vector<CheckLine>& lines) {
    constexpr wchar_t kWhat[] = L"Server service";
    const std::wstring consequence = L": print servers on other computers cannot open this client's pipe";
    const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    const ServiceHandle service(
        manager ? OpenServiceW(manager.get(), L"LanmanServer", SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG) : nullptr);
    std::wstring state;
    if (!service) {
        const DWORD error = GetLastError();
        state = error == ERROR_SERVICE_DOES_NOT_EXIST ? L"LanmanServer is not installed"
                                                      : L"LanmanServer cannot be queried (" + ErrorText(error) + L")";
    } else {
        SERVICE_STATUS status = {};
        QueryServiceStatus(service.get(), &status);
        if (status.dwCurrentState == SERVICE_RUNNING) {
            lines.push_back({CheckLevel::Ok, kWhat, L"LanmanServer running"});
            return;
        }
        DWORD size = 0;
        QueryServiceConfigW(service.get(), nullptr, 0, &size);
        std::vector<uint8_t> config(std::max<DWORD>(size, sizeof(QUERY_SERVICE_CONFIGW)));
        auto* start = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(config.data());
        const bool disabled = QueryServiceConfigW(service.get(), start, DWORD(config.size()), &size) &&
                              start->dwStartType == SERVICE_DISABLED;
        state = disabled ? L"LanmanServer stopped and disabled" : L"LanmanServer stopped";
    }
    if (OnlyThisComputerServes()) {
        lines.push_back({CheckLevel::Ok, kWhat, state + L"; not needed: the only print server is this computer"});
    } else {
        lines.push_back({CheckLevel::Fail, kWhat, state + consequence});
    }
}

// The program a Run value starts: the first quoted or blank-ended part.
std::wstring RunValueProgram(const std::wstring& command) {
    if (!command.empty() && command.front() == L'"') return command.substr(1, command.find(L'"', 1) - 1);
    return command.substr(0, command.find(L' '));
}

// The client starts at logon from the machine's Run value (AUTOSTART=1), the user's
// own Run value, or the user's Startup shortcut ("Start with Windows").
void CheckStartAtLogon(std::vector<CheckLine>& lines) {
    constexpr wchar_t kWhat[] = L"start at logon";
    constexpr wchar_t kRunKey[] = L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const struct {
        HKEY root;
        const wchar_t* where;
    } runs[] = {{HKEY_LOCAL_MACHINE, L"the machine's Run value"}, {HKEY_CURRENT_USER, L"the user's Run value"}};
    for (const auto& run : runs) {
        const UniqueKey key = reg::OpenKey(run.root, kRunKey, reg::Access::Read);
        const auto command = key ? reg::ReadString(key.Get(), kProductCaption) : reg::ReadResult<std::wstring>{};
        if (!command.Ok() || command.value.empty()) continue;
        const std::wstring program = RunValueProgram(command.value);
        if (IsFile(program)) {
            lines.push_back({CheckLevel::Ok, kWhat, std::wstring(run.where) + L": " + program});
        } else {
            lines.push_back(
                {CheckLevel::Fail, kWhat, std::wstring(run.where) + L" starts " + program + L", which does not exist"});
        }
        return;
    }
    const std::wstring shortcut = StartupShortcutPath();
    if (IsFile(shortcut)) {
        lines.push_back({CheckLevel::Ok, kWhat, L"the Startup shortcut " + shortcut});
        return;
    }
    lines.push_back(
        {CheckLevel::Warn, kWhat,
         L"not at logon for this user: \"Start with Windows\" in the menu, or AUTOSTART=1 when installing"});
}

}  // namespace

std::vector<HeaderField> SelfCheckHeader() {
    const std::wstring client = InstallDirectory() + L"PrintMirovant.exe";
    const std::wstring clientVersion = FileVersionOf(client);
    OSVERSIONINFOEXW os = {sizeof os};
    // GetVersionEx answers as the manifest allows; the kernel's own figure is exact.
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    if (const auto get = reinterpret_cast<RtlGetVersionFn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion"))))
        get(&os);
    SYSTEM_INFO system = {};
    GetNativeSystemInfo(&system);
    const bool x64 = system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
    const std::wstring windows = std::to_wstring(os.dwMajorVersion) + L"." + std::to_wstring(os.dwMinorVersion) + L"." +
                                 std::to_wstring(os.dwBuildNumber) + (x64 ? L" (64-bit)" : L" (32-bit)");
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    TIME_ZONE_INFORMATION zone = {};
    const DWORD kind = GetTimeZoneInformation(&zone);
    const long bias = -(zone.Bias + (kind == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : 0));
    wchar_t time[48];
    swprintf(time, 48, L"%04u-%02u-%02u %02u:%02u:%02u %c%02ld:%02ld", now.wYear, now.wMonth, now.wDay, now.wHour,
             now.wMinute, now.wSecond, bias < 0 ? L'-' : L'+', std::labs(bias) / 60, std::labs(bias) % 60);
    return {{L"Print Mirovant Pro self-check", FileVersionOf(ExecutablePath())},
            {L"client", clientVersion.empty() ? client + L" (no version found)" : client + L" " + clientVersion},
            {L"Windows", windows},
            {L"user", QualifiedUserName()},
            {L"computer", ThisComputer()},
            {L"time", time}};
}

std::vector<CheckLine> RunSelfCheck() {
    std::vector<CheckLine> lines;
    CheckInstallation(lines);
    CheckLogFolder(lines);
    CheckPrintServer(lines);
    CheckOwnPipe(lines);
    CheckServerService(lines);
    CheckStartAtLogon(lines);
    CheckMachineValues(lines);
    return lines;
}

}  // namespace pm
