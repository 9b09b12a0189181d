#pragma once
// The common part of the client's dialog windows: a fixed dialog frame, the
// system's message font at the window's DPI, dialog keys (Tab, Enter on the
// default button IDOK, Escape as IDCANCEL), and labels on the face colour.

#include <memory>

#include "support/unique_win.h"
#include "ui/controls_win.h"
#include "ui/window_win.h"

namespace pm::ui {

class Dialog : public Window {
protected:
    // A hidden popup with a dialog frame, owned by `owner`, plus `extraExStyle`.
    bool CreateDialogWindow(const wchar_t* className, HWND owner, DWORD extraExStyle = 0);
    // Reads the window's DPI and makes the fonts; the first step of FormCreate.
    void InitDialog();
    // After WM_DPICHANGED: the fonts for the new DPI (the caller lays out again).
    void SetDpi(UINT dpi);
    // Sizes the window so that its client area is width x height pixels.
    void SetClientSize(int width, int height);

    int S(int value) const { return Scale(value, dpi_); }
    HFONT Font() const { return static_cast<HFONT>(font_.Get()); }
    HFONT BoldFont() const { return static_cast<HFONT>(boldFont_.Get()); }
    UINT Dpi() const { return dpi_; }

    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

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
    UINT dpi_ = 96;
    UniqueGdi font_, boldFont_;
};

}  // namespace pm::ui
