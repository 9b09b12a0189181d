// The floor of the authentication dialog's benchmark: a bare program whose listener
// thread reads a request (code and record) from its pipe, acknowledges it and posts it
// to the user-interface thread, which makes one window of the same 31 controls as the
// authentication dialog, in the system's message font, and brings it to the front.
// Nothing is waited for between the acknowledgement and the show. It carries the
// client's manifest, so its controls come from the same library.
// Usage: dialog_floor <pipe name>

#include <windows.h>

#include <cstdint>
#include <string>

namespace {

constexpr wchar_t kClassName[] = L"PrintMirovantBench.Floor";
constexpr UINT kMsgShow = WM_APP + 1;
constexpr DWORD kRecordSize = 1616;

HFONT MessageFont() {
    NONCLIENTMETRICSW metrics = {sizeof metrics};
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    return CreateFontIndirectW(&metrics.lfMessageFont);
}

// The controls the authentication dialog has, after its eight rows of a label and a
// read-only edit: who asked and where the answer goes (the same pairs), an etched
// line, the countdown, the credentials' group box, icon, labels and boxes, the two
// buttons, and the job's group box.
struct Control {
    const wchar_t* className;
    DWORD style, exStyle;
};
constexpr Control kLabel = {L"STATIC", SS_LEFT | SS_NOPREFIX, 0};
constexpr Control kValue = {L"EDIT", ES_READONLY | ES_AUTOHSCROLL, 0};
constexpr Control kKinds[] = {
    kLabel,
    kValue,
    kLabel,
    kValue,
    {L"STATIC", SS_ETCHEDHORZ, 0},
    kLabel,
    {L"BUTTON", BS_GROUPBOX, 0},
    {L"STATIC", SS_ICON, 0},
    {L"STATIC", SS_LEFT, 0},
    {L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE},
    {L"STATIC", SS_LEFT, 0},
    {L"EDIT", ES_AUTOHSCROLL | ES_PASSWORD | WS_TABSTOP, WS_EX_CLIENTEDGE},
    {L"BUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP, 0},
    {L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0},
    {L"BUTTON", BS_GROUPBOX, 0},
};

void ShowWindowOfControls(HFONT font) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    const HWND window =
        CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, kClassName, L"Floor", WS_CAPTION | WS_SYSMENU, 200, 150,
                        420, 560, nullptr, nullptr, instance, nullptr);
    int id = 100;
    auto make = [&](const Control& kind, int x, int y) {
        const HWND control =
            CreateWindowExW(kind.exStyle, kind.className, L"Floor text", WS_CHILD | WS_VISIBLE | kind.style, x, y, 190,
                            24, window, reinterpret_cast<HMENU>(INT_PTR(id++)), instance, nullptr);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    };
    for (int row = 0; row < 8; ++row) {
        make(kLabel, 10, 10 + row * 24);
        make(kValue, 210, 10 + row * 24);
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

// Reads one request and acknowledges it; true when the whole request came.
bool ServeOne(HANDLE pipe) {
    uint8_t request[4 + kRecordSize];
    DWORD n = 0, total = 0;
    for (const DWORD size : {DWORD(4), kRecordSize})
        if (ReadFile(pipe, request + total, size, &n, nullptr)) total += n;
    const uint32_t ack = 0x80000000;
    return WriteFile(pipe, &ack, 4, &n, nullptr) && total == sizeof request;
}

struct Listener {
    std::wstring name;
    DWORD uiThread;
};

DWORD WINAPI Listen(void* parameter) {
    const auto& listener = *static_cast<Listener*>(parameter);
    const HANDLE pipe = CreateNamedPipeW(listener.name.c_str(), PIPE_ACCESS_DUPLEX,
                                         PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, 4096, 4096, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return 1;
    for (;;) {
        if (!ConnectNamedPipe(pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) continue;
        if (ServeOne(pipe)) PostThreadMessageW(listener.uiThread, kMsgShow, 0, 0);
        FlushFileBuffers(pipe);
        DisconnectNamedPipe(pipe);
    }
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

    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue, before the listener posts to it
    Listener listener{argv[1], GetCurrentThreadId()};
    const HANDLE thread = CreateThread(nullptr, 0, &Listen, &listener, 0, nullptr);
    if (!thread) return 1;
    CloseHandle(thread);
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == kMsgShow) ShowWindowOfControls(font);
        DispatchMessageW(&msg);
    }
    return 0;
}
