#include "ui/message_loop_win.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace pm::ui
