#include "messages/form_sender_win.h"

#include <gtest/gtest.h>

#include "support/auth_fakes_win.h"
#include "support/names_win.h"
#include "support/registry_sandbox_win.h"
#include "ui/controls_win.h"
#include "ui/message_loop_win.h"

namespace pm {
namespace {

struct Sent {
    std::wstring computer, user, text;
};

class SenderDialog : public ::testing::Test {
protected:
    HWND Open() {
        SenderArgs args;
        args.send = [this](int32_t kind, const std::wstring& computer, const std::wstring& user,
                           const std::wstring& text) {
            EXPECT_EQ(kind, 2);
            sent_.push_back({computer, user, text});
            return result_;
        };
        args.box = [this](HWND, const std::wstring& text, const std::wstring& caption, UINT icon) {
            boxes_.push_back(text);
            captions_.push_back(caption);
            icons_.push_back(icon);
        };
        TFormSender* form = TFormSender::Create(args);
        return form ? form->Handle() : nullptr;
    }
    void Fill(HWND dialog, const wchar_t* computer, const wchar_t* user, const wchar_t* text) {
        SetWindowTextW(GetDlgItem(dialog, TFormSender::kIdComputer), computer);
        SetWindowTextW(GetDlgItem(dialog, TFormSender::kIdUsername), user);
        SetWindowTextW(GetDlgItem(dialog, TFormSender::kIdMessage), text);
    }
    void Send(HWND dialog) { SendMessageW(GetDlgItem(dialog, TFormSender::kIdSend), BM_CLICK, 0, 0); }
    void TearDown() override {
        if (TFormSender* form = TFormSender::Instance()) DestroyWindow(form->Handle());
    }

    test::RegistrySandbox sandbox_;
    bool result_ = true;
    std::vector<Sent> sent_;
    std::vector<std::wstring> boxes_, captions_;
    std::vector<UINT> icons_;
};

TEST_F(SenderDialog, SendingToOneselfIsRefusedWhateverTheCase) {
    const HWND dialog = Open();
    Fill(dialog, ToLower(LocalComputerName()).c_str(), ToUpper(LocalUserName()).c_str(), L"");
    Send(dialog);
    EXPECT_TRUE(sent_.empty());
    EXPECT_EQ(boxes_, (std::vector<std::wstring>{L"You cannot send messages to yourself!"}));
    EXPECT_EQ(captions_, (std::vector<std::wstring>{L"Error"}));
    EXPECT_EQ(icons_, (std::vector<UINT>{MB_ICONERROR}));
}

TEST_F(SenderDialog, AnotherUserOnThisComputerIsSentTo) {
    const HWND dialog = Open();
    Fill(dialog, LocalComputerName().c_str(), L"somebody-else", L"hi");
    Send(dialog);
    ASSERT_EQ(sent_.size(), 1u);
    EXPECT_EQ(boxes_, (std::vector<std::wstring>{L"The message is sent!"}));
    EXPECT_EQ(captions_, (std::vector<std::wstring>{L"Information"}));
}

TEST_F(SenderDialog, BlanksOnlyIsEmptyButBlanksAroundAreSentAsTyped) {
    const HWND dialog = Open();
    Fill(dialog, L"WS-12", L"anna", L" \t\r\n ");
    Send(dialog);
    EXPECT_TRUE(sent_.empty());
    EXPECT_EQ(boxes_.back(), L"You cannot send empty message!");

    Fill(dialog, L"WS-12", L"anna", L"  hello\r\n");
    Send(dialog);
    ASSERT_EQ(sent_.size(), 1u);
    EXPECT_EQ(sent_[0].text, L"  hello\r\n");
    EXPECT_EQ(sent_[0].computer, L"WS-12");
    // The fields keep their contents.
    EXPECT_EQ(ui::WindowText(GetDlgItem(dialog, TFormSender::kIdMessage)), L"  hello\r\n");
}

TEST_F(SenderDialog, AFailedSendSaysSo) {
    result_ = false;
    const HWND dialog = Open();
    Fill(dialog, L"", L"", L"text");
    Send(dialog);
    EXPECT_EQ(sent_.size(), 1u) << "empty names go to the sender unchanged";
    EXPECT_EQ(boxes_, (std::vector<std::wstring>{L"The message is not sent!"}));
}

TEST_F(SenderDialog, EnterInAOneLineFieldClosesAndTheNextDialogIsEmpty) {
    HWND dialog = Open();
    EXPECT_EQ(TFormSender::Create()->Handle(), dialog) << "one sender window at most";
    Fill(dialog, L"WS-12", L"anna", L"text");
    MSG enter = {GetDlgItem(dialog, TFormSender::kIdComputer), WM_KEYDOWN, VK_RETURN, 0};
    ui::DispatchLoopMessage(enter);
    EXPECT_TRUE(test::PumpUntil([&] { return !IsWindow(dialog); }));
    EXPECT_EQ(TFormSender::Instance(), nullptr);
    EXPECT_TRUE(sent_.empty());
    dialog = Open();
    EXPECT_EQ(ui::WindowText(GetDlgItem(dialog, TFormSender::kIdComputer)), L"");
}

}  // namespace
}  // namespace pm

namespace pm {
namespace {

// Not a check: the windows as people see them, for scripts/screenshots.
TEST_F(SenderDialog, DeletingTheObjectRunsFormDestroy) {
    // Regression: the window layer detached before destroying, so a form deleted as an
    // object never ran FormDestroy and its reference pointed at freed memory.
    TFormSender* sender = TFormSender::Create();
    ASSERT_NE(sender, nullptr);
    delete sender;
    EXPECT_EQ(TFormSender::Instance(), nullptr);
}

}  // namespace
}  // namespace pm
