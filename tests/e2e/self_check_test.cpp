// PrintMirovantCheck against the stand-in print server and the real client: every
// line OK on a sound set-up, and each fault reported on its own line and nowhere else.

#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include <chrono>
#include <map>
#include <vector>

#include "pipes/pipe_names.h"
#include "shell/form_mirovant_win.h"
#include "support/names_win.h"
#include "support/print_server_win.h"
#include "support/process_win.h"
#include "support/product.h"
#include "support/registry_win.h"

namespace pm {
namespace {

const char* const kLabels[] = {"installation directory", "language",          "log folder",     "print server",
                               "print server pipe",      "announcement",      "account query",  "own pipe",
                               "own pipe access list",   "Server service",    "start at logon", "PrintServers",
                               "PrintServerAccounts",    "DisableSendMessage"};

constexpr wchar_t kRunKey[] = L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kInternationalKey[] = L"\\Control Panel\\International";

// The values a case may set, none of them set before or after it.
const struct {
    HKEY root;
    const wchar_t *path, *name;
} kTouched[] = {{HKEY_CURRENT_USER, kInterfaceKey, L"AccInfoServer"},
                {HKEY_CURRENT_USER, kInterfaceKey, L"Language"},
                {HKEY_LOCAL_MACHINE, kProductKey, L"Install Directory"},
                {HKEY_LOCAL_MACHINE, kProductKey, L"PrintServers"},
                {HKEY_LOCAL_MACHINE, kProductKey, L"DisableSendMessage"},
                {HKEY_LOCAL_MACHINE, kPolicyKey, L"PrintServers"},
                {HKEY_LOCAL_MACHINE, kPolicyKey, L"DisableSendMessage"},
                {HKEY_LOCAL_MACHINE, kProductKey, L"PrintServerAccounts"},
                {HKEY_CURRENT_USER, kRunKey, kProductCaption}};

void SetValue(HKEY root, const wchar_t* path, const wchar_t* name, const wchar_t* text) {
    reg::WriteString(reg::OpenKey(root, path, reg::Access::ReadWrite).Get(), name, text);
}

// Runs PrintMirovantCheck to its end with its output in `outputPath`; its exit code.
DWORD RunCheck(const std::wstring& arguments, const std::wstring& outputPath) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    UniqueFile out(
        CreateFileW(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr));
    test::ChildProcess check;
    if (!check.Start(test::BuildFolder() + L"PrintMirovantCheck.exe", arguments, out.Get())) return DWORD(-1);
    // Generous: under Wine the first console program a test starts may take ten seconds.
    if (!check.WaitExit(DWORD(std::chrono::milliseconds(test::kStartLimit).count()))) return DWORD(-2);
    return check.ExitCode();
}

class SelfCheck;
struct Case {
    const char* name;
    std::vector<std::string> failing, absent, warning;  // lines that FAIL, lines left out, lines that WARN
    void (*arrange)(SelfCheck&) = nullptr;
    const wchar_t* server = L"";  // PrintServerSim serve's arguments; nullptr: no print server runs
    bool client = true;           // the user's client runs
    std::vector<std::pair<std::string, std::string>> shows = {};  // a label and a part of its line
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class SelfCheck : public ::testing::TestWithParam<Case> {
public:
    // The installation directory becomes a fresh folder, without language files.
    void UseTempInstallDirectory() {
        SetValue(HKEY_LOCAL_MACHINE, kProductKey, L"Install Directory", temp_.Path().c_str());
    }

    static void ClearValues() {
        for (const auto& value : kTouched)
            RegDeleteValueW(reg::OpenKey(value.root, value.path, reg::Access::ReadWrite).Get(), value.name);
    }

    test::TempFolder temp_;
    UniqueFile squatter_;

protected:
    void SetUp() override {
        ClearValues();
        SetValue(HKEY_CURRENT_USER, kInterfaceKey, L"AccInfoServer", L".");
        SetValue(HKEY_CURRENT_USER, kInterfaceKey, L"Language", L"English");
        // As recommended: answers to this computer only (which needs no Server service,
        // which Wine lacks), and the client starts at logon.
        SetValue(HKEY_LOCAL_MACHINE, kProductKey, L"PrintServers", L".");
        SetValue(HKEY_CURRENT_USER, kRunKey, kProductCaption,
                 (L"\"" + test::BuildFolder() + L"PrintMirovant.exe\"").c_str());
        locale_ =
            reg::ReadString(reg::OpenKey(HKEY_CURRENT_USER, kInternationalKey, reg::Access::Read).Get(), L"Locale")
                .value;
        if (GetParam().arrange) GetParam().arrange(*this);
        if (GetParam().server) {
            ASSERT_TRUE(server_.Start(L"serve", GetParam().server));
            ASSERT_FALSE(server_.WaitForEvent({"\"started\""}).empty());
        }
        if (GetParam().client) {
            ASSERT_TRUE(client_.Start(test::BuildFolder() + L"PrintMirovant.exe"));
            const std::wstring pipe = ListenerPipeName(LocalUserName());
            ASSERT_TRUE(test::WaitFor([&] { return WaitNamedPipeW(pipe.c_str(), 100) != FALSE; }, test::kStartLimit));
        }
    }
    void TearDown() override {
        if (HWND main = test::FindProcessWindow(client_.Id(), TFormMirovant::kClassName))
            PostMessageW(main, WM_CLOSE, 0, 0);
        client_.WaitExit(5000);
        ClearValues();
        SetValue(HKEY_CURRENT_USER, kInternationalKey, L"Locale", locale_.c_str());
    }

    // Every line of one run by its label, the header's under "header".
    std::map<std::string, std::string> Run(DWORD& exitCode) {
        const std::wstring path = temp_.Path() + L"check.txt";
        exitCode = RunCheck(L"", path);
        std::map<std::string, std::string> lines;
        const std::string text = test::ReadWholeFile(path);
        const size_t checks = text.find("\r\n\r\n");
        if (checks == std::string::npos) return lines;
        lines["header"] = text.substr(0, checks);
        for (size_t start = checks + 4, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
            const std::string line = text.substr(start, end - start);
            EXPECT_TRUE(line.rfind("OK   ", 0) == 0 || line.rfind("WARN ", 0) == 0 || line.rfind("FAIL ", 0) == 0)
                << line;
            lines[line.substr(5, line.find(": ") - 5)] = line;
        }
        return lines;
    }
    std::wstring locale_;

    test::PrintServer server_;
    test::ChildProcess client_;
};

TEST_P(SelfCheck, ReportsEachFaultOnItsOwnLine) {
    const Case& c = GetParam();
    DWORD exitCode = 0;
    const std::map<std::string, std::string> lines = Run(exitCode);
    EXPECT_EQ(exitCode, c.failing.empty() ? 0u : 1u);
    for (const std::string label : kLabels) {
        const bool absent = std::find(c.absent.begin(), c.absent.end(), label) != c.absent.end();
        const bool failing = std::find(c.failing.begin(), c.failing.end(), label) != c.failing.end();
        const bool warning = std::find(c.warning.begin(), c.warning.end(), label) != c.warning.end();
        const auto line = lines.find(label);
        if (absent) {
            EXPECT_TRUE(line == lines.end()) << line->second;
            continue;
        }
        ASSERT_TRUE(line != lines.end()) << "no line for " << label;
        EXPECT_EQ(line->second.substr(0, 4), failing ? "FAIL" : warning ? "WARN" : "OK  ") << line->second;
    }
    for (const auto& [label, part] : c.shows) {
        EXPECT_NE(lines.at(label).find(part), std::string::npos) << lines.at(label);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SelfCheck,
    ::testing::Values(
        // The policy key wins over the product key, and each line says where its value came from.
        Case{.name = "Sound",
             .arrange =
                 [](SelfCheck&) {
                     SetValue(HKEY_LOCAL_MACHINE, kPolicyKey, L"PrintServers", L" . ;");
                     SetValue(HKEY_LOCAL_MACHINE, kProductKey, L"PrintServers", L"SRV9");
                     SetValue(HKEY_LOCAL_MACHINE, kProductKey, L"PrintServerAccounts", L" corp\\svc-print;");
                     reg::WriteDword(reg::OpenKey(HKEY_LOCAL_MACHINE, kProductKey, reg::Access::ReadWrite).Get(),
                                     L"DisableSendMessage", 0);
                 },
             .shows = {{"header", "Print Mirovant Pro self-check: 2.1.0."},
                       {"header", "PrintMirovant.exe 2.1.0."},
                       {"PrintServers", "(policy key)"},
                       {"PrintServerAccounts", "CORP\\SVC-PRINT (product key)"},
                       {"DisableSendMessage", "0 (product key)"}}},
        Case{.name = "ServerStopped",
             .failing = {"print server pipe"},
             .absent = {"announcement", "account query"},
             .server = nullptr},
        Case{.name = "NoPrintServerConfigured",
             .failing = {"print server"},
             .absent = {"print server pipe", "announcement", "account query"},
             .arrange =
                 [](SelfCheck&) {
                     RegDeleteValueW(reg::OpenKey(HKEY_CURRENT_USER, kInterfaceKey, reg::Access::ReadWrite).Get(),
                                     L"AccInfoServer");
                 }},
        Case{.name = "ServerRefusesRequests",
             .failing = {"announcement", "account query"},
             .server = L"--misbehave wrong-ack"},
        Case{.name = "LogFolderNotWritable",
             .failing = {"log folder"},
             .arrange =
                 [](SelfCheck& t) {
                     test::WriteWholeFile(t.temp_.Path() + L"Logs", "a file where the folder should be");
                     t.UseTempInstallDirectory();
                 }},
        Case{.name = "LanguageFileMissing",
             .failing = {"language"},
             .arrange =
                 [](SelfCheck& t) {
                     t.UseTempInstallDirectory();
                     SetValue(HKEY_CURRENT_USER, kInterfaceKey, L"Language", L"German");
                 }},
        // Chosen from the regional setting, French has no file in this folder: the client speaks English.
        Case{.name = "LanguageFromTheLocale",
             .arrange =
                 [](SelfCheck& t) {
                     t.UseTempInstallDirectory();
                     RegDeleteValueW(reg::OpenKey(HKEY_CURRENT_USER, kInterfaceKey, reg::Access::ReadWrite).Get(),
                                     L"Language");
                     SetValue(HKEY_CURRENT_USER, kInternationalKey, L"Locale", L"0000040C");
                 },
             .shows = {{"language", "French (from the regional setting)"}}},
        // Works, not as recommended; and a print server elsewhere needs the Server service.
        Case{.name = "NotAsRecommended",
             .failing = {"Server service"},
             .warning = {"PrintServers", "start at logon"},
             .arrange =
                 [](SelfCheck&) {
                     SelfCheck::ClearValues();
                     SetValue(HKEY_CURRENT_USER, kInterfaceKey, L"AccInfoServer", L".");
                 },
             .shows = {{"Server service", "cannot open this client's pipe"}}},
        Case{
            .name = "StartAtLogonOfAMissingProgram",
            .failing = {"start at logon"},
            .arrange = [](SelfCheck&) { SetValue(HKEY_CURRENT_USER, kRunKey, kProductCaption, L"C:\\gone\\x.exe /a"); },
            .shows = {{"start at logon", "C:\\gone\\x.exe, which does not exist"}}},
        Case{.name = "NoClientRuns", .failing = {"own pipe"}, .absent = {"own pipe access list"}, .client = false},
        Case{.name = "OwnPipeOpenToEveryone",
             .failing = {"own pipe access list"},
             .arrange =
                 [](SelfCheck& t) {
                     // A pipe of this user's whose list lets every account rewrite it.
                     PSECURITY_DESCRIPTOR open = nullptr;
                     ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;GA;;;WD)", SDDL_REVISION_1, &open,
                                                                          nullptr);
                     SECURITY_ATTRIBUTES security = {sizeof security, open, FALSE};
                     t.squatter_.Reset(CreateNamedPipeW(ListenerPipeName(LocalUserName()).c_str(), PIPE_ACCESS_DUPLEX,
                                                        PIPE_TYPE_MESSAGE, 1, 4096, 4096, 0, &security));
                     LocalFree(open);
                 },
             .client = false},
        Case{.name = "MachineValueOfTheWrongType",
             .failing = {"DisableSendMessage"},
             .arrange = [](SelfCheck&) { SetValue(HKEY_LOCAL_MACHINE, kPolicyKey, L"DisableSendMessage", L"1"); }}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(SelfCheckProgram, RefusesArgumentsAndChecksNothing) {
    test::TempFolder folder;
    EXPECT_EQ(RunCheck(L"--server x", folder.Path() + L"out.txt"), 2u);
    const std::string text = test::ReadWholeFile(folder.Path() + L"out.txt");
    EXPECT_NE(text.find("unknown argument \"--server\""), std::string::npos) << text;
    EXPECT_EQ(text.find("installation directory:"), std::string::npos) << text;
}

TEST(SelfCheckProgram, OutAndJsonCarryTheSameReport) {
    test::TempFolder folder;
    const DWORD code = RunCheck(L"/out \"" + folder.Path() + L"saved.txt\"", folder.Path() + L"out.txt");
    ASSERT_LE(code, 1u);
    const std::string printed = test::ReadWholeFile(folder.Path() + L"out.txt");
    EXPECT_NE(printed.find("\r\n\r\n"), std::string::npos) << printed;
    EXPECT_EQ(test::ReadWholeFile(folder.Path() + L"saved.txt"), printed);
    EXPECT_EQ(RunCheck(L"/json", folder.Path() + L"json.txt"), code);
    const std::string json = test::ReadWholeFile(folder.Path() + L"json.txt");
    EXPECT_EQ(json.rfind("{\"header\":{\"Print Mirovant Pro self-check\":", 0), 0u) << json;
    EXPECT_NE(json.find("{\"check\":\"own pipe\",\"result\":\"FAIL\""), std::string::npos) << "no client runs";
    EXPECT_NE(json.find(",\"exitCode\":" + std::to_string(code) + "}"), std::string::npos) << json;
}

}  // namespace
}  // namespace pm
