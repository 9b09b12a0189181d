#pragma once
// The base of every window of the client: owns one HWND and routes its messages
// to a virtual handler, with the form events the windows are written in terms of.
//
// Runs on the user-interface thread only. `this` is stored at WM_NCCREATE and
// cleared at WM_NCDESTROY. A window whose FormClose answers CloseAction::Free
// deletes its own object after WM_NCDESTROY; every other window is owned by
// whoever created it, and destroying the object destroys the window.

#include <windows.h>

#include <string>

namespace pm::ui {

enum class CloseAction {
    None,     // stay open
    Hide,     // hide the window, keep it
    Destroy,  // destroy the window, keep the object (its owner frees it)
    Free,     // destroy the window and delete the object
};

class Window {
public:
    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window();

    HWND Handle() const { return hwnd_; }
    // Asks the window to close, as the user's close button does.
    void Close() const;

protected:
    struct CreateArgs {
        const wchar_t* className = nullptr;
        std::wstring title;
        DWORD style = WS_OVERLAPPEDWINDOW;
        DWORD exStyle = 0;
        int x = CW_USEDEFAULT, y = CW_USEDEFAULT, width = CW_USEDEFAULT, height = CW_USEDEFAULT;
        HWND owner = nullptr;
        HICON icon = nullptr;
    };
    // Registers the class on first use and creates the window; FormCreate runs inside.
    bool CreateWindowFor(const CreateArgs& args);

    // Every message; the default routes the form events and calls DefWindowProcW.
    virtual LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
    virtual void FormCreate() {}
    virtual CloseAction FormClose() { return CloseAction::Hide; }
    virtual void FormDestroy() {}

    // Lets the message loop give this window dialog keys (Tab, Enter, Escape, arrows).
    void EnableDialogKeys();

    // Destroys the window now, running FormDestroy. A form with a FormDestroy calls it
    // from its own destructor: by the time ~Window runs, the form's part is gone and
    // the window can only be detached and destroyed without it.
    void DestroyNow();

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

    HWND hwnd_ = nullptr;
    bool freeAfterDestroy_ = false;
};

}  // namespace pm::ui
