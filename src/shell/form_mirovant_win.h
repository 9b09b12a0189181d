#pragma once
// TFormMirovant: the client's main form. Never shown. It owns the icon in the
// notification area and its menu, reads the options, announces the computer to the
// print server at once and every minute, chooses the language, and owns the listener
// on the user's pipe. Closing it ends the program. User-interface thread.

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
    bool showTrayIcon = true;
    // Sends the computer-name announcement to a print server; default a pipe exchange.
    std::function<void(const std::wstring& server)> announce;
};

// The announcement: \\<server>\PIPE\PrintDolvek, the code, the 42-byte computer block,
// the acknowledgement read; every step tried, no result examined.
void AnnounceComputer(const std::wstring& server);

// The start-up shortcut: Startup folder + "\" + product caption + ".lnk"; "" when the
// Startup folder cannot be read (`error` then says why).
std::wstring StartupShortcutPath(std::wstring* error = nullptr);

class TFormMirovant final : public ui::Window {
public:
    static constexpr wchar_t kClassName[] = L"PrintMirovant.Main";
    // The notification icon's callback message (NOTIFYICON_VERSION_4 events).
    static constexpr UINT kTrayMessage = WM_APP + 1;
    static constexpr UINT kTrayId = 1;
    static constexpr UINT kTimerId = 1;
    static constexpr UINT kAnnounceInterval = 60000;
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
    // Starts the listener. Called once the language is chosen and the message window
    // exists: a request is acknowledged only where a window will show it.
    void StartListener();

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

private:
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void FormCreate() override;
    ui::CloseAction FormClose() override { return ui::CloseAction::Destroy; }
    void FormDestroy() override;
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
    UniqueIcon smallIcon_;
    RequestHandOver handOver_;
    std::unique_ptr<TMessenger> messenger_;
};

}  // namespace pm
