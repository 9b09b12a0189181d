// PrintMirovantCheck: the self-check, a console program installed beside the client.
// Run by the user whose client is in question; prints a header and one line per
// check and ends with 0 when no line FAILs, 1 otherwise, 2 for arguments it does not
// know.

#include <windows.h>

#include <string>

#include "check/self_check_win.h"
#include "i18n/language_win.h"
#include "support/code_page_win.h"
#include "support/install_dir_win.h"
#include "support/module_win.h"
#include "support/names_win.h"
#include "support/unique_win.h"

namespace {

constexpr wchar_t kUsage[] =
    L"PrintMirovantCheck [/out FILE] [/json]: checks the Print Mirovant Pro client of this user\r\n"
    L"on this computer (installation, language file, log folder, print server, own pipe,\r\n"
    L"Server service, start at logon, machine values).\r\n"
    L"Each line starts with OK, WARN (works, not as recommended) or FAIL.\r\n"
    L"  /out FILE  writes the same report to FILE as well (UTF-8)\r\n"
    L"  /json      the report as JSON, for scripts\r\n"
    L"Exit code: 0 when no line FAILs, 1 otherwise, 2 for unknown arguments.\r\n";

std::string Utf8(const std::wstring& text) {
    return pm::ToCodePageExact(text, CP_UTF8).value_or(std::string());
}

void Print(HANDLE out, const std::wstring& text) {
    DWORD written = 0, mode = 0;
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, text.data(), DWORD(text.size()), &written, nullptr);
        return;
    }
    // Redirected to a file or a pipe: UTF-8, whatever the console's code page.
    const std::string bytes = Utf8(text);
    WriteFile(out, bytes.data(), DWORD(bytes.size()), &written, nullptr);
}

bool WriteReportFile(const std::wstring& path, const std::wstring& text) {
    const pm::UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    const std::string bytes = Utf8(text);
    DWORD written = 0;
    return WriteFile(file.Get(), bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
}

// Started from Explorer, the program has a console of its own, which would close with
// it before anyone read the report.
void WaitForAKeyInAConsoleOfItsOwn() {
    DWORD processes[2], mode = 0;
    if (GetConsoleProcessList(processes, 2) != 1) return;
    // Redirected, the report went where someone reads it.
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    if (!GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) || !GetConsoleMode(in, &mode)) return;
    Print(GetStdHandle(STD_OUTPUT_HANDLE), L"\r\nPress any key to close this window.");
    FlushConsoleInputBuffer(in);
    INPUT_RECORD record;
    DWORD read = 0;
    while (ReadConsoleInputW(in, &record, 1, &read) && read == 1) {
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) break;
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    using namespace pm;
    // Before anything loads a DLL, as in the client.
    RestrictDllSearch();
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE), error = GetStdHandle(STD_ERROR_HANDLE);
    std::wstring outPath;
    bool json = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        if (argument == L"/?" || argument == L"-h" || argument == L"--help") {
            Print(out, kUsage);
            return 0;
        }
        if (_wcsicmp(argument.c_str(), L"/json") == 0) {
            json = true;
        } else if (_wcsicmp(argument.c_str(), L"/out") == 0 && i + 1 < argc) {
            outPath = argv[++i];
        } else {
            Print(error, L"unknown argument \"" + argument + L"\"\r\n" + kUsage);
            return 2;
        }
    }
    int exitCode = 1;
    try {
        // The same start-up values as the client's, so every check sees what it sees.
        InitInstallDirectory();
        InitThisComputer();
        SetCurrentLanguage(SelectLanguage());
        const std::vector<HeaderField> header = SelfCheckHeader();
        const std::vector<CheckLine> lines = RunSelfCheck();
        const std::wstring report = json ? FormatJsonReport(header, lines) : FormatReport(header, lines);
        Print(out, report);
        exitCode = CheckExitCode(lines);
        if (!outPath.empty() && !WriteReportFile(outPath, report)) {
            Print(error, L"the report could not be written to " + outPath + L" (error " +
                             std::to_wstring(GetLastError()) + L")\r\n");
            exitCode = 1;
        }
    } catch (...) {
        // Out of memory: nothing sensible is left to check.
        Print(out, FormatCheckLine({CheckLevel::Fail, L"self-check", L"out of memory"}) + L"\r\n");
    }
    WaitForAKeyInAConsoleOfItsOwn();
    return exitCode;
}
