// PrintMirovantDriver: drives a running client from outside, as a person at the
// desktop would, for demonstrations and screenshots.
//   tray-menu       opens the notification icon's menu
//   account-info    runs "Account Info..."
//   send-message    runs "Send Message..."
//   view-messages   runs "View Messages"
//   auto-start      runs "Start with Windows" (once to change it, again to change it back)
//   about           runs "About..."
//   exit            runs "Exit"
//   title CLASS     prints the title of the client's window of that class
//   press CLASS ID  clicks the button with control id ID in that window
//   modules         prints the file name of each module the client has loaded
// It must run on the client's desktop (with Wine's virtual desktop: started with
// the same "explorer /desktop=NAME" as the client).

#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <cstdio>
#include <iterator>
#include <string>

#include "shell/form_mirovant_win.h"
#include "support/unique_win.h"

int wmain(int argc, wchar_t** argv) {
    using pm::TFormMirovant;
    const std::wstring command = argc > 1 ? argv[1] : L"";
    const HWND main = FindWindowW(TFormMirovant::kClassName, nullptr);
    if (!main) {
        std::fwprintf(stderr, L"no running client found\n");
        return 1;
    }
    if (command == L"title" && argc > 2) {
        const HWND window = FindWindowW(argv[2], nullptr);
        if (!window) return 1;
        wchar_t title[512] = {};
        GetWindowTextW(window, title, 512);
        std::fwprintf(stdout, L"%ls\n", title);
        return 0;
    }
    if (command == L"press" && argc > 3) {
        const HWND window = FindWindowW(argv[2], nullptr);
        const HWND button = window ? GetDlgItem(window, _wtoi(argv[3])) : nullptr;
        if (!button) return 1;
        SendMessageW(button, BM_CLICK, 0, 0);
        return 0;
    }
    if (command == L"modules") {
        DWORD pid = 0;
        GetWindowThreadProcessId(main, &pid);
        const pm::UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
        HMODULE modules[512];
        DWORD bytes = 0;
        if (!process || !EnumProcessModules(process.Get(), modules, sizeof modules, &bytes)) return 1;
        for (DWORD i = 0; i < bytes / sizeof(HMODULE) && i < std::size(modules); ++i) {
            wchar_t name[MAX_PATH] = {};
            if (GetModuleBaseNameW(process.Get(), modules[i], name, MAX_PATH)) std::fwprintf(stdout, L"%ls\n", name);
        }
        return 0;
    }
    if (command == L"tray-menu") {
        // NOTIFYICON_VERSION_4: the event in the low word of lParam, the point in wParam.
        const int x = GetSystemMetrics(SM_CXSCREEN) - 40, y = GetSystemMetrics(SM_CYSCREEN) - 40;
        PostMessageW(main, TFormMirovant::kTrayMessage, MAKEWPARAM(x, y),
                     MAKELPARAM(WM_CONTEXTMENU, TFormMirovant::kTrayId));
        return 0;
    }
    const struct {
        const wchar_t* name;
        int id;
    } commands[] = {
        {L"account-info", TFormMirovant::kIdAccountInfo},
        {L"send-message", TFormMirovant::kIdSendMsg},
        {L"view-messages", TFormMirovant::kIdViewMsg},
        {L"auto-start", TFormMirovant::kIdAutoStart},
        {L"about", TFormMirovant::kIdAbout},
        {L"exit", TFormMirovant::kIdExit},
    };
    for (const auto& c : commands) {
        if (command == c.name) {
            PostMessageW(main, WM_COMMAND, WPARAM(c.id), 0);
            return 0;
        }
    }
    std::fwprintf(
        stderr,
        L"usage: PrintMirovantDriver tray-menu|account-info|send-message|view-messages|auto-start|about|exit\n"
        L"       PrintMirovantDriver title CLASS | press CLASS ID | modules\n");
    return 2;
}
