#pragma once
// TFormMirovant: the client's main form. Never shown. It owns the icon in the
// notification area and its menu, reads the options, announces the computer to the
// print server at once and every minute, chooses the language, and owns the listener
// on the user's pipe. Closing it ends the program. User-interface thread.

#include <windows.h>

#include <shellapi.h>

#include <functional>
#include <memory>
#include <string>

#include "pipes/listener_win.h"
#include "support/unique_win.h"
#include "ui/window_win.h"

namespace pm {

// A menu command with the state the menu shows.
struct Action {
    std::wstring caption;
    bool enabled = true;
    bool checked = false;
    bool visible = true;
};

struct MirovantArgs {
    bool startListener = true;
    bool showTrayIcon = true;
    // Sends the computer-name announcement to a print server; default a pipe exchange.
    std::function<void(const std::wstring& server)> announce;
    // Shell_NotifyIconW, or a stand-in for tests.
    std::function<BOOL(DWORD message, NOTIFYICONDATAW* data)> notifyIcon;
};

// The announcement: \\<server>\PIPE\PrintDolvek, the code, the 42-byte computer block,
// the acknowledgement read; every step tried whatever became of the one before. True
// when the server acknowledged it (the tray ignores that; the self-check reports it).
bool AnnounceComputer(const std::wstring& server);

// The start-up shortcut: Startup folder + "\" + product caption + ".lnk"; "" when the
// Startup folder cannot be read (`error` then says why).
std::wstring StartupShortcutPath(std::wstring* error = nullptr);

class TFormMirovant final : public ui::Window {
public:
    ~TFormMirovant() override { DestroyNow(); }
    static constexpr wchar_t kClassName[] = L"PrintMirovant.Main";
    // The notification icon's callback message (NOTIFYICON_VERSION_4 events).
    static constexpr UINT kTrayMessage = WM_APP + 1;
    static constexpr UINT kTrayId = 1;
    static constexpr UINT kTimerId = 1;
    // While the icon could not be added (no taskbar yet at logon), it is tried again.
    static constexpr UINT kTrayRetryTimerId = 2;
    static constexpr UINT kTrayRetryInterval = 2000;
    static constexpr UINT kAnnounceInterval = 60000;
    // At the end of the session, answers still on their way get this long (ms): the
    // system gives a program about five seconds before it ends it.
    static constexpr unsigned kEndSessionAnswerWait = 3000;
    enum : int {
        kIdSendMsg = 1001,
        kIdViewMsg,
        kIdAccountInfo,
        kIdAutoStart,
        kIdAbout,
        kIdExit,
    };

    explicit TFormMirovant(MirovantArgs args = {});
    bool Create(HWND application);
    // Runs the requests the listener has read, and those it reads later. Called once
    // the message window exists (the language is chosen in FormCreate): a request
    // acknowledged earlier waits for it rather than finding no window.
    void HandRequestsOver();

    void TimerTimer();
    void actSendMsgExecute();
    void actViewMsgExecute();
    void actAccInfoExecute();
    void actOptAutoStartExecute();
    void actAboutExecute();
    void actExitExecute();
    void TrayIconClick();
    void ApplicationEventsIdle();
    void ApplicationEventsMinimize();

    const Action& SendMsg() const { return actSendMsg_; }
    const Action& ViewMsg() const { return actViewMsg_; }
    const Action& AutoStart() const { return actOptAutoStart_; }
    const std::wstring& TrayHint() const { return hint_; }
    bool TrayIconAdded() const { return trayAdded_; }

private:
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void FormCreate() override;
    ui::CloseAction FormClose() override {
        closing_ = true;
        return ui::CloseAction::Destroy;
    }
    void FormDestroy() override;
    void StartListener();
    void EndSession();
    void LoadTexts();
    bool AddTrayIcon();
    void ShowTrayMenu(POINT at);
    void RefreshAutoStart();

    MirovantArgs args_;
    Action actSendMsg_, actViewMsg_, actAccInfo_, actOptAutoStart_, actAbout_, actExit_;
    std::wstring optionsCaption_;
    std::wstring hint_;
    UINT taskbarCreated_ = 0;
    bool trayAdded_ = false;
    bool closing_ = false;  // closed ("Exit"), not only destroyed: the program ends
    UniqueIcon smallIcon_;
    RequestHandOver handOver_;
    std::unique_ptr<TMessenger> messenger_;
};

}  // namespace pm
