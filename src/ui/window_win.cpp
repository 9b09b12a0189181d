#include "ui/window_win.h"

#include "ui/direction_win.h"
#include "ui/message_loop_win.h"

namespace pm::ui {

Window::~Window() {
    if (hwnd_) {
        // The derived object is already gone: detach first so no message reaches it.
        const HWND hwnd = hwnd_;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        hwnd_ = nullptr;
        DestroyWindow(hwnd);
    }
}

void Window::DestroyNow() {
    if (hwnd_) DestroyWindow(hwnd_);
}

void Window::Close() const {
    if (hwnd_) SendMessageW(hwnd_, WM_CLOSE, 0, 0);
}

bool Window::CreateWindowFor(const CreateArgs& args) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW existing = {sizeof existing};
    if (!GetClassInfoExW(instance, args.className, &existing)) {
        WNDCLASSEXW wc = {sizeof wc};
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = &Window::WindowProc;
        wc.hInstance = instance;
        wc.hIcon = args.icon;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = args.className;
        if (!RegisterClassExW(&wc)) return false;
    }
    // A top-level window reads the language's way; children follow their parent.
    const DWORD exStyle = args.exStyle | (args.style & WS_CHILD ? 0 : TopLevelLayout());
    return CreateWindowExW(exStyle, args.className, args.title.c_str(), args.style, args.x, args.y, args.width,
                           args.height, args.owner, nullptr, instance, this) != nullptr;
}

void Window::EnableDialogKeys() {
    if (hwnd_) SetDialogKeys(hwnd_, true);
}

LRESULT Window::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_CREATE:
            FormCreate();
            return 0;
        case WM_CLOSE:
            switch (FormClose()) {
                case CloseAction::None:
                    break;
                case CloseAction::Hide:
                    ShowWindow(hwnd_, SW_HIDE);
                    break;
                case CloseAction::Free:
                    freeAfterDestroy_ = true;
                    DestroyWindow(hwnd_);
                    break;
                case CloseAction::Destroy:
                    DestroyWindow(hwnd_);
                    break;
            }
            return 0;
        case WM_DESTROY:
            FormDestroy();
            return 0;
    }
    return DefWindowProcW(hwnd_, msg, wp, lp);
}

LRESULT CALLBACK Window::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Window* self = nullptr;
    if (msg == WM_NCCREATE) {
        self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);

    if (msg == WM_NCDESTROY) {
        SetDialogKeys(hwnd, false);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        const LRESULT result = DefWindowProcW(hwnd, msg, wp, lp);
        if (self->freeAfterDestroy_) delete self;
        return result;
    }
    try {
        return self->HandleMessage(msg, wp, lp);
    } catch (...) {
        // Out of memory in a handler: the message is dropped, the thread goes on.
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

}  // namespace pm::ui
