#include "shell/form_mirovant_win.h"

#include <shellapi.h>
#include <shlobj.h>
#include <windows.h>
#include <windowsx.h>

#include "about/form_about_win.h"
#include "account/form_requests_win.h"
#include "account/query_account_win.h"
#include "auth/job_answer_win.h"
#include "i18n/language_win.h"
#include "messages/form_messages_win.h"
#include "messages/form_sender_win.h"
#include "pipes/message_codes.h"
#include "pipes/name_blocks.h"
#include "pipes/pipe_names.h"
#include "pipes/pipe_transport_win.h"
#include "shell/incoming_win.h"
#include "support/com_win.h"
#include "support/install_dir_win.h"
#include "support/machine_settings_win.h"
#include "support/marks_win.h"
#include "support/names_win.h"
#include "support/product.h"
#include "support/registry_win.h"
#include "ui/application_win.h"
#include "ui/direction_win.h"

namespace pm {

bool AnnounceComputer(const std::wstring& server) {
    UniqueFile pipe;
    if (!OpenPipe(ServerPipeName(server), pipe)) return false;
    const ComputerBlock block = EncodeComputerBlock(ThisComputer());
    const bool codeWritten = WriteCode(pipe.Get(), code::kAnnounce);
    const bool blockWritten = WritePipe(pipe.Get(), block.data(), DWORD(block.size()));
    return ExpectCode(pipe.Get(), code::kAck) && codeWritten && blockWritten;
}

std::wstring StartupShortcutPath(std::wstring* error) {
    const std::optional<std::wstring> folder = ShellFolderPath(kShellFolderStartup, error);
    if (!folder) return {};
    return *folder + L"\\" + ProductCaption() + L".lnk";
}

namespace {

bool FileExists(const std::wstring& path) {
    return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A shell link to this executable, with empty arguments and description.
void CreateShortcut(const std::wstring& path) {
    IShellLinkW* link = nullptr;
    if (!UseCom() || FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                             reinterpret_cast<void**>(&link))))
        return;
    link->SetArguments(L"");
    link->SetDescription(L"");
    link->SetPath(ExecutablePath().c_str());
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        file->Save(path.c_str(), FALSE);
        file->Release();
    }
    link->Release();
}

}  // namespace

TFormMirovant::TFormMirovant(MirovantArgs args) : args_(std::move(args)) {
    if (!args_.announce) args_.announce = &AnnounceComputer;
    if (!args_.notifyIcon) args_.notifyIcon = &Shell_NotifyIconW;
}

bool TFormMirovant::Create(HWND application) {
    CreateArgs window;
    window.className = kClassName;
    window.title = ProductCaption();
    window.style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    window.width = 320;
    window.height = 240;
    window.owner = application;
    return CreateWindowFor(window);
}

void TFormMirovant::StartListener() {
    handOver_.onText = &ShowTextMessage;
    handOver_.onAuth = &ShowAuthRequest;
    handOver_.admit = &AdmitRequest;
    handOver_.trusted = &PeerAccountTrusted;
    // Posted, not sent: the box's own loop keeps serving requests meanwhile.
    handOver_.onPipeTaken = [](const std::wstring&) {
        ui::ShowMessageBox(nullptr, LangString(text::kPipeTaken), ProductCaption(),
                           MB_OK | MB_ICONWARNING | MB_SETFOREGROUND);
    };
    // Requests read from here on wait in the hand-over's queue until HandRequestsOver.
    messenger_ = std::make_unique<TMessenger>(ListenerPipeName(LocalUserName()), handOver_);
    messenger_->Start();
}

void TFormMirovant::HandRequestsOver() {
    if (!handOver_.Handle()) handOver_.Create();
}

void TFormMirovant::FormCreate() {
    // 1. Centred on the screen, though it stays hidden.
    RECT rc;
    GetWindowRect(Handle(), &rc);
    SetWindowPos(Handle(), nullptr, (GetSystemMetrics(SM_CXSCREEN) - (rc.right - rc.left)) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - (rc.bottom - rc.top)) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    // 2. The listener: the pipe is served from here on, but what it reads waits for
    //    the language and the message window (HandRequestsOver).
    if (args_.startListener) StartListener();
    SetTextMessageHook([this] { actViewMsg_.enabled = true; });
    actViewMsg_.enabled = false;
    // 3. "Start with Windows" from the shortcut, named with the built-in caption.
    RefreshAutoStart();
    // 4. "Send Message..." unless the machine's settings turn it off.
    const auto disabled = MachineDword(kDisableSendMessageValue);
    actSendMsg_.visible = !(disabled.Ok() && disabled.value != 0);
    // 5. The print server.
    if (const UniqueKey key = reg::OpenKey(HKEY_CURRENT_USER, kInterfaceKey, reg::Access::ReadWrite)) {
        const auto server = reg::ReadString(key.Get(), L"AccInfoServer");
        if (server.Ok()) CurrentPrintServer() = server.value;
    }
    // 6. The first announcement does not wait a minute.
    SetTimer(Handle(), kTimerId, kAnnounceInterval, nullptr);
    TimerTimer();
    marks::Mark("the first announcement answered");
    // 7-8. The language and the texts.
    SetCurrentLanguage(SelectLanguage());
    LoadTexts();
    marks::Mark("the language and the texts");
    taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
    if (args_.showTrayIcon) AddTrayIcon();
    marks::Mark("the tray icon");
}

void TFormMirovant::LoadTexts() {
    const LangReader lang = OpenLanguageFile();
    // Every window made from here on reads the language's way.
    ui::SetRightToLeft(IsRightToLeft(lang));
    ProductCaption() = ProductCaptionFor(CurrentLanguage(), lang);
    SetWindowTextW(ui::Application::Instance().Handle(), ProductCaption().c_str());
    SetWindowTextW(Handle(), ProductCaption().c_str());
    hint_ = ProductCaption();
    actSendMsg_.caption = lang.Read(text::kSendMessage);
    actViewMsg_.caption = lang.Read(text::kViewMessages);
    actAccInfo_.caption = lang.Read(text::kAccountInfo);
    optionsCaption_ = lang.Read(text::kOptions);
    actOptAutoStart_.caption = lang.Read(text::kStartWithWindows);
    actAbout_.caption = lang.Read(text::kAbout);
    actExit_.caption = lang.Read(text::kExit);
}

bool TFormMirovant::AddTrayIcon() {
    if (!smallIcon_) {
        smallIcon_.Reset(
            static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), L"MAINICON", IMAGE_ICON,
                                          GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0)));
    }
    NOTIFYICONDATAW data = {sizeof data};
    data.hWnd = Handle();
    data.uID = kTrayId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    data.uCallbackMessage = kTrayMessage;
    data.hIcon = smallIcon_.Get();
    lstrcpynW(data.szTip, hint_.c_str(), int(std::size(data.szTip)));
    trayAdded_ = args_.notifyIcon(NIM_ADD, &data) != FALSE;
    data.uVersion = NOTIFYICON_VERSION_4;
    if (trayAdded_) args_.notifyIcon(NIM_SETVERSION, &data);
    // At logon the taskbar may not be there yet: try again until the icon is in.
    if (trayAdded_) {
        KillTimer(Handle(), kTrayRetryTimerId);
    } else {
        SetTimer(Handle(), kTrayRetryTimerId, kTrayRetryInterval, nullptr);
    }
    return trayAdded_;
}

void TFormMirovant::ShowTrayMenu(POINT at) {
    const UniqueMenu menu(CreatePopupMenu());
    UniqueMenu options(CreatePopupMenu());
    auto add = [](HMENU target, const Action& action, int id) {
        if (!action.visible) return;
        AppendMenuW(target, MF_STRING | (action.enabled ? MF_ENABLED : MF_GRAYED) | (action.checked ? MF_CHECKED : 0),
                    UINT_PTR(id), action.caption.c_str());
    };
    add(menu.Get(), actSendMsg_, kIdSendMsg);
    add(menu.Get(), actViewMsg_, kIdViewMsg);
    AppendMenuW(menu.Get(), MF_SEPARATOR, 0, nullptr);
    add(menu.Get(), actAccInfo_, kIdAccountInfo);
    AppendMenuW(menu.Get(), MF_SEPARATOR, 0, nullptr);
    add(options.Get(), actOptAutoStart_, kIdAutoStart);
    // The submenu belongs to the menu from here on and goes with it.
    AppendMenuW(menu.Get(), MF_POPUP, reinterpret_cast<UINT_PTR>(options.Release()), optionsCaption_.c_str());
    AppendMenuW(menu.Get(), MF_SEPARATOR, 0, nullptr);
    add(menu.Get(), actAbout_, kIdAbout);
    AppendMenuW(menu.Get(), MF_SEPARATOR, 0, nullptr);
    add(menu.Get(), actExit_, kIdExit);
    // Without the foreground the menu would not close when the user clicks elsewhere.
    SetForegroundWindow(Handle());
    const UINT align = GetSystemMetrics(SM_MENUDROPALIGNMENT) ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
    // Mirrored, the system also swaps the alignment: the menu opens to the other side.
    TrackPopupMenuEx(menu.Get(), align | TPM_BOTTOMALIGN | TPM_RIGHTBUTTON | ui::MenuLayout(), at.x, at.y, Handle(),
                     nullptr);
    PostMessageW(Handle(), WM_NULL, 0, 0);
}

void TFormMirovant::TimerTimer() {
    const std::wstring server = CurrentPrintServer();
    if (!server.empty()) args_.announce(server);
}

void TFormMirovant::actSendMsgExecute() {
    if (!TFormSender::Instance()) {
        if (TFormSender* sender = TFormSender::Create()) ShowWindow(sender->Handle(), SW_SHOW);
    }
    ui::Application::Instance().BringToFront();
}

void TFormMirovant::actViewMsgExecute() {
    if (TFormMessages* messages = TFormMessages::Instance()) {
        ShowWindow(messages->Handle(), SW_HIDE);
        ShowWindow(messages->Handle(), SW_SHOW);
        SetForegroundWindow(messages->Handle());
    }
    ui::Application::Instance().BringToFront();
}

void TFormMirovant::actAccInfoExecute() {
    if (TFormRequests* requests = TFormRequests::Create()) ShowWindow(requests->Handle(), SW_SHOW);
    ui::Application::Instance().BringToFront();
}

void TFormMirovant::RefreshAutoStart() {
    actOptAutoStart_.checked = FileExists(StartupShortcutPath());
}

void TFormMirovant::actOptAutoStartExecute() {
    std::wstring error;
    const std::wstring path = StartupShortcutPath(&error);
    if (path.empty() && !error.empty()) {
        // The Startup folder's registry value is not a path: say so, change nothing.
        ui::ShowMessageBox(nullptr, error, ProductCaption(), MB_OK | MB_ICONERROR);
        return;
    }
    if (!actOptAutoStart_.checked) {
        CreateShortcut(path);
    } else {
        DeleteFileW(path.c_str());
    }
    RefreshAutoStart();
}

void TFormMirovant::actAboutExecute() {
    TFormAbout::Run(ui::Application::Instance().Handle());
}

void TFormMirovant::actExitExecute() {
    Close();
}

void TFormMirovant::TrayIconClick() {
    ui::Application::Instance().BringToFront();
}

void TFormMirovant::ApplicationEventsIdle() {
    SetProcessWorkingSetSize(GetCurrentProcess(), SIZE_T(-1), SIZE_T(-1));
}

void TFormMirovant::ApplicationEventsMinimize() {
    if (TFormSender* sender = TFormSender::Instance()) sender->Close();
    if (TFormRequests* requests = TFormRequests::Instance()) requests->Close();
}

// The session ends (log-off, shutdown), or the Restart Manager closes the client for
// an upgrade. Nothing is asked: an open dialog's job is not answered and stays held
// at its print server, to be released again once the user is back.
void TFormMirovant::EndSession() {
    // First, nothing more is acknowledged that could no longer be shown: a print server
    // that asks from now on gets no acknowledgement and knows it.
    if (messenger_) messenger_->Stop();
    // An answer the user gave just before still reaches its print server; the session
    // may end as soon as this message returns.
    FinishJobAnswers(kEndSessionAnswerWait);
    Close();  // the tray icon goes, and the program ends
}

void TFormMirovant::FormDestroy() {
    KillTimer(Handle(), kTimerId);
    KillTimer(Handle(), kTrayRetryTimerId);
    if (trayAdded_) {
        NOTIFYICONDATAW data = {sizeof data};
        data.hWnd = Handle();
        data.uID = kTrayId;
        args_.notifyIcon(NIM_DELETE, &data);
    }
    SetTextMessageHook({});
    // The listener's threads end here, before the program's statics (the open dialogs'
    // list, the account names) go with its exit: a request arriving meanwhile is cut off
    // unanswered. Stopping is bounded: no thread of it waits for this one.
    if (messenger_) messenger_->Stop();
    if (closing_) PostQuitMessage(0);
}

LRESULT TFormMirovant::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (taskbarCreated_ && msg == taskbarCreated_) {
        // Explorer started again: the notification area is new and empty.
        if (args_.showTrayIcon) AddTrayIcon();
        return 0;
    }
    switch (msg) {
        case kTrayMessage:
            switch (LOWORD(lp)) {
                case WM_LBUTTONUP:
                case WM_LBUTTONDBLCLK:
                case NIN_KEYSELECT:  // Enter or Space on the icon chosen from the keyboard
                    TrayIconClick();
                    break;
                case WM_CONTEXTMENU:
                    ShowTrayMenu({GET_X_LPARAM(wp), GET_Y_LPARAM(wp)});
                    break;
            }
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (wp) EndSession();
            return 0;
        case WM_TIMER:
            if (wp == kTimerId) TimerTimer();
            if (wp == kTrayRetryTimerId && args_.showTrayIcon) AddTrayIcon();
            return 0;
        case WM_COMMAND:
            switch (LOWORD(wp)) {
                case kIdSendMsg:
                    if (actSendMsg_.visible && actSendMsg_.enabled) actSendMsgExecute();
                    break;
                case kIdViewMsg:
                    if (actViewMsg_.enabled) actViewMsgExecute();
                    break;
                case kIdAccountInfo:
                    actAccInfoExecute();
                    break;
                case kIdAutoStart:
                    actOptAutoStartExecute();
                    break;
                case kIdAbout:
                    actAboutExecute();
                    break;
                case kIdExit:
                    actExitExecute();
                    break;
            }
            return 0;
    }
    return Window::HandleMessage(msg, wp, lp);
}

}  // namespace pm
