#pragma once
// The common part of the client's dialog windows: a fixed dialog frame, the
// system's message font at the window's DPI, dialog keys (Tab, Enter on the
// default button IDOK, Escape as IDCANCEL, mnemonics), the keyboard focus kept
// across deactivation (a box that closes gives it back to the control that had
// it), labels on the face colour, and closes held while a handler that pumps
// messages is running.

#include <memory>

#include "support/unique_win.h"
#include "ui/controls_win.h"
#include "ui/window_win.h"

namespace pm::ui {

class Dialog : public Window {
protected:
    // A hidden popup with a dialog frame, owned by `owner`, plus `extraExStyle`; a
    // class icon (shared, never destroyed) saves setting the window's icons each time.
    bool CreateDialogWindow(const wchar_t* className, HWND owner, DWORD extraExStyle = 0, HICON classIcon = nullptr);
    // Reads the window's DPI and makes the fonts; the first step of FormCreate.
    void InitDialog();
    // After WM_DPICHANGED: the fonts for the new DPI (the caller lays out again).
    void SetDpi(UINT dpi);
    // Sizes the window so that its client area is width x height pixels.
    void SetClientSize(int width, int height);

    // The control that gets the focus when the window is next activated (by
    // default the first in the tab order).
    void SetFocusControl(HWND control) { focus_ = control; }

    // Shows the program's icon, 32 pixels at 96 DPI, in an SS_ICON control; loaded
    // again at the new size when the window moves to a monitor of another DPI.
    void ShowProgramIcon(HWND control);

    int S(int value) const { return Scale(value, dpi_); }
    HFONT Font() const { return static_cast<HFONT>(font_.Get()); }
    HFONT BoldFont() const { return static_cast<HFONT>(boldFont_.Get()); }
    UINT Dpi() const { return dpi_; }

    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    // After a move to a monitor of another DPI (WM_DPICHANGED): the fonts are made
    // anew and set on every control, the window goes to the suggested place, and then
    // this lays the window out again (and sets any fonts of its own).
    virtual void DpiChanged() {}

    // A handler that pumps messages (a pipe exchange, a modal box) runs inside a
    // BusyScope. A close arriving meanwhile is held by FormClose (HoldCloseWhileBusy)
    // and carried out when the last scope ends, so the window is never destroyed
    // under a handler that is still using it.
    class BusyScope {
    public:
        explicit BusyScope(Dialog& dialog) : dialog_(dialog) { ++dialog_.busy_; }
        ~BusyScope() {
            if (--dialog_.busy_ == 0 && dialog_.closeHeld_) PostMessageW(dialog_.Handle(), WM_CLOSE, 0, 0);
        }
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        Dialog& dialog_;
    };
    bool Busy() const { return busy_ > 0; }
    // A close has been held: the window is going once the running handler ends.
    bool CloseHeld() const { return closeHeld_; }
    // For FormClose: while busy, holds the close and answers true.
    bool HoldCloseWhileBusy() {
        if (busy_ == 0) return false;
        closeHeld_ = true;
        return true;
    }
    // Takes a held close back: asked for again while it was going, the window stays.
    void KeepAfterHeldClose() { closeHeld_ = false; }

    // For the windows the process keeps one reference to: creates `form`'s window and
    // sets `instance` (already during creation, so FormCreate sees it). On failure the
    // object is freed and `instance` stays empty.
    template <class Form>
    static Form* CreateOnce(Form*& instance, Form* form, const wchar_t* className, HWND owner, DWORD extraExStyle = 0) {
        std::unique_ptr<Form> owned(form);
        instance = form;
        if (!owned->CreateDialogWindow(className, owner, extraExStyle)) {
            instance = nullptr;
            return nullptr;
        }
        return owned.release();
    }

private:
    // The control to focus when the window is activated or focused.
    HWND FocusTarget() const;

    UINT dpi_ = 96;
    UniqueGdi font_, boldFont_;
    HWND focus_ = nullptr;  // the focused control when the window was last deactivated
    HWND iconControl_ = nullptr;
    UniqueIcon programIcon_;
    int busy_ = 0;
    bool closeHeld_ = false;
};

}  // namespace pm::ui
