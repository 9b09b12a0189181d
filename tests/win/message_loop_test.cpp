#include "ui/message_loop_win.h"

#include <gtest/gtest.h>

#include <new>

#include "ui/window_win.h"

namespace pm::ui {
namespace {

TEST(MessageLoop, IdleRunsOncePerEmptyingAndQuitCodeIsReturned) {
    // Three posted messages are handled in one pass, then the queue is empty: one
    // idle call. The idle handler then posts the quit; the loop ends with its code.
    int idles = 0;
    PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
    PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
    PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
    const int code = RunMessageLoop([&] {
        if (++idles == 2)
            PostQuitMessage(7);
        else
            PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
    });
    EXPECT_EQ(code, 7);
    EXPECT_EQ(idles, 2);
}

TEST(Window, AnExceptionNeverLeavesTheWindowProcedure) {
    // Regression: a handler that ran out of memory let std::bad_alloc unwind through
    // the system's frames, which ends the process.
    class Throwing final : public Window {
    public:
        bool Create() {
            CreateArgs args;
            args.className = L"PrintMirovant.Test.Throwing";
            args.owner = HWND_MESSAGE;
            return CreateWindowFor(args);
        }

    private:
        LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override {
            if (msg == WM_APP) throw std::bad_alloc();
            return Window::HandleMessage(msg, wp, lp);
        }
    } window;
    ASSERT_TRUE(window.Create());
    SendMessageW(window.Handle(), WM_APP, 0, 0);
    EXPECT_TRUE(IsWindow(window.Handle()));
}

}  // namespace
}  // namespace pm::ui
