// The floor of the authentication dialog's benchmark: a bare program that serves a
// pipe as the client's listener does (code and record read, acknowledged) and then
// shows one window of the same 27 controls as the authentication dialog, in the
// system's message font, brought to the front. It carries the client's manifest, so
// its controls come from the same library.
// Usage: dialog_floor <pipe name>

#include <windows.h>

#include <cstdint>

namespace {

constexpr wchar_t kClassName[] = L"PrintMirovantBench.Floor";

HFONT MessageFont() {
    NONCLIENTMETRICSW metrics = {sizeof metrics};
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    return CreateFontIndirectW(&metrics.lfMessageFont);
}

// The kinds the authentication dialog has: two group boxes, eight labels with
// read-only edits beside them, an etched line, a text line, an icon, two labels with
// their edit boxes, and two buttons.
struct Control {
    const wchar_t* className;
    DWORD style, exStyle;
};
constexpr Control kKinds[] = {
    {L"BUTTON", BS_GROUPBOX, 0},
    {L"STATIC", SS_ETCHEDHORZ, 0},
    {L"STATIC", SS_LEFT, 0},
    {L"BUTTON", BS_GROUPBOX, 0},
    {L"STATIC", SS_ICON, 0},
    {L"STATIC", SS_LEFT, 0},
    {L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE},
    {L"STATIC", SS_LEFT, 0},
    {L"EDIT", ES_AUTOHSCROLL | ES_PASSWORD | WS_TABSTOP, WS_EX_CLIENTEDGE},
    {L"BUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP, 0},
    {L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0},
};

void ShowWindowOfControls(HFONT font) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    const HWND window =
        CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, kClassName, L"Floor", WS_CAPTION | WS_SYSMENU, 200, 150,
                        420, 460, nullptr, nullptr, instance, nullptr);
    int id = 100;
    auto make = [&](const Control& kind, int x, int y) {
        const HWND control =
            CreateWindowExW(kind.exStyle, kind.className, L"Floor text", WS_CHILD | WS_VISIBLE | kind.style, x, y, 190,
                            24, window, reinterpret_cast<HMENU>(INT_PTR(id++)), instance, nullptr);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    };
    for (int row = 0; row < 8; ++row) {
        make({L"STATIC", SS_LEFT | SS_NOPREFIX, 0}, 10, 10 + row * 24);
        make({L"EDIT", ES_READONLY | ES_AUTOHSCROLL, 0}, 210, 10 + row * 24);
    }
    int y = 210;
    for (const Control& kind : kKinds) {
        make(kind, 10, y);
        y += 20;
    }
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    UpdateWindow(window);
}

LRESULT CALLBACK WindowProc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CLOSE) {
        DestroyWindow(window);
        return 0;
    }
    return DefWindowProcW(window, msg, wp, lp);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    WNDCLASSW wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    RegisterClassW(&wc);
    const HFONT font = MessageFont();

    const HANDLE pipe = CreateNamedPipeW(argv[1], PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                         PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, 4096, 4096, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return 1;
    const HANDLE connected = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    for (;;) {
        OVERLAPPED ov = {};
        ov.hEvent = connected;
        if (ConnectNamedPipe(pipe, &ov) || GetLastError() == ERROR_PIPE_CONNECTED) SetEvent(connected);
        // Window messages flow while no peer is there.
        while (MsgWaitForMultipleObjects(1, &connected, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) return 0;
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        ResetEvent(connected);
        uint8_t request[4 + 1616];
        DWORD n = 0, total = 0;
        for (int part = 0; part < 2; ++part) {
            ov = {};
            ov.hEvent = connected;
            const DWORD size = part == 0 ? 4 : 1616;
            if (ReadFile(pipe, request + total, size, &n, &ov) || GetOverlappedResult(pipe, &ov, &n, TRUE)) total += n;
        }
        const uint32_t ack = 0x80000000;
        ov = {};
        ov.hEvent = connected;
        if (!WriteFile(pipe, &ack, 4, &n, &ov)) GetOverlappedResult(pipe, &ov, &n, TRUE);
        FlushFileBuffers(pipe);
        DisconnectNamedPipe(pipe);
        ResetEvent(connected);
        if (total == sizeof request) ShowWindowOfControls(font);
    }
}
