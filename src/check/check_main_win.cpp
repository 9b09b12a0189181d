// PrintMirovantCheck: the self-check, a console program installed beside the client.
// Run by the user whose client is in question; prints one line per check and ends
// with 0 when every line is OK, 1 otherwise (2: it was given arguments).

#include <windows.h>

#include <string>

#include "check/self_check_win.h"
#include "i18n/language_win.h"
#include "support/install_dir_win.h"
#include "support/module_win.h"
#include "support/names_win.h"

namespace {

constexpr wchar_t kUsage[] =
    L"PrintMirovantCheck: checks the Print Mirovant Pro client of this user on this computer\r\n"
    L"(installation, language file, log folder, print server, own pipe, machine values).\r\n"
    L"It takes no arguments. Each line starts with OK or FAIL; the exit code is 0 when\r\n"
    L"every line is OK, 1 otherwise.\r\n";

void Print(HANDLE out, const std::wstring& text) {
    DWORD written = 0, mode = 0;
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, text.data(), DWORD(text.size()), &written, nullptr);
        return;
    }
    // Redirected to a file or a pipe: UTF-8, whatever the console's code page.
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    if (size <= 0) return;
    std::string bytes(size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), bytes.data(), size, nullptr, nullptr);
    WriteFile(out, bytes.data(), DWORD(bytes.size()), &written, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    using namespace pm;
    // Before anything loads a DLL, as in the client.
    RestrictDllSearch();
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (argc > 1) {
        const std::wstring first = argv[1];
        if (first == L"/?" || first == L"-h" || first == L"--help") {
            Print(out, kUsage);
            return 0;
        }
        Print(GetStdHandle(STD_ERROR_HANDLE), L"unknown argument \"" + first + L"\"\r\n" + kUsage);
        return 2;
    }
    try {
        // The same start-up values as the client's, so every check sees what it sees.
        InitInstallDirectory();
        InitThisComputer();
        SetCurrentLanguage(SelectLanguage());
        const std::vector<CheckLine> lines = RunSelfCheck();
        for (const CheckLine& line : lines)
            Print(out, FormatCheckLine(line) + L"\r\n");
        return CheckExitCode(lines);
    } catch (...) {
        // Out of memory: nothing sensible is left to check.
        Print(out, FormatCheckLine({false, L"self-check", L"out of memory"}) + L"\r\n");
        return 1;
    }
}
