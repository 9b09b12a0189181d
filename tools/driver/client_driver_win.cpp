// PrintMirovantDriver: drives a running client from outside, as a person at the
// desktop would, for demonstrations and screenshots.
//   tray-menu       opens the notification icon's menu
//   account-info    runs "Account Info..."
//   send-message    runs "Send Message..."
//   about           runs "About..."
//   exit            runs "Exit"
//   title CLASS     prints the title of the client's window of that class
//   press CLASS ID  clicks the button with control id ID in that window
// It must run on the client's desktop (with Wine's virtual desktop: started with
// the same "explorer /desktop=NAME" as the client).

#include <windows.h>

#include <cstdio>
#include <string>

#include "shell/form_mirovant_win.h"

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
        {L"about", TFormMirovant::kIdAbout},
        {L"exit", TFormMirovant::kIdExit},
    };
    for (const auto& c : commands) {
        if (command == c.name) {
            PostMessageW(main, WM_COMMAND, WPARAM(c.id), 0);
            return 0;
        }
    }
    std::fwprintf(stderr,
                  L"usage: PrintMirovantDriver tray-menu|account-info|send-message|about|exit\n"
                  L"       PrintMirovantDriver title CLASS | press CLASS ID\n");
    return 2;
}
