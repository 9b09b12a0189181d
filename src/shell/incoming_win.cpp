#include "shell/incoming_win.h"

#include <windows.h>

#include "auth/form_auth_win.h"
#include "auth/job_answer_win.h"
#include "auth/job_dialogs.h"
#include "messages/form_messages_win.h"
#include "pipes/message_codes.h"
#include "support/error_log_win.h"

namespace pm {
namespace {

// Log code of a job refused because JobDialogs::kLimit dialogs are open.
constexpr int32_t kLogTooManyDialogs = 182;

std::function<void()>& TextMessageHook() {
    static std::function<void()> hook;
    return hook;
}

// The job stays held at the print server; one entry per burst of refusals.
void RefuseForTooManyDialogs(const RequestRecord& record) {
    if (!OpenJobDialogs().RefusalStartsBurst()) return;
    LogError(kLogTooManyDialogs, 0,
             L"JobRequest: " + std::to_wstring(JobDialogs::kLimit) + L" dialogs open, job " +
                 std::to_wstring(record.JobId) + L" of " + record.ServerComputer + L" refused");
}

}  // namespace

void SetTextMessageHook(std::function<void()> hook) {
    TextMessageHook() = std::move(hook);
}

void ShowTextMessage(const std::wstring& text) {
    if (TFormMessages* window = TFormMessages::Instance()) {
        window->SetMessage(text);
        window->BringToTop();
    }
    if (TextMessageHook()) TextMessageHook()();
    MessageBeep(MB_ICONEXCLAMATION);
}

bool AdmitRequest(uint32_t code, const RequestBytes& bytes) {
    if (code != code::kAuthRequest) return true;
    const RequestRecord record = DecodeRequest(bytes);
    if (OpenJobDialogs().Admit(MakeJobKey(record.ServerComputer, record.JobId)) != JobDialogs::Admission::Full)
        return true;
    RefuseForTooManyDialogs(record);
    return false;
}

void ShowAuthRequest(const RequestBytes& bytes) {
    const RequestRecord record = DecodeRequest(bytes);
    // Opening nothing also means no answer and no connection to that computer.
    if (!PrintServerPermitted(record.ServerComputer)) {
        LogError(kLogServerNotAllowed, 0, L"JobRequest: print server not allowed: " + record.ServerComputer);
        return;
    }
    const JobKey key = MakeJobKey(record.ServerComputer, record.JobId);
    switch (OpenJobDialogs().Admit(key)) {
        case JobDialogs::Admission::Open:
            if (auto* dialog = static_cast<TFormAuth*>(OpenJobDialogs().Find(key))) dialog->ShowOnTop();
            break;
        case JobDialogs::Admission::Full:
            RefuseForTooManyDialogs(record);
            return;
        case JobDialogs::Admission::New:
            if (TFormAuth* dialog = TFormAuth::Create(bytes)) dialog->ShowOnTop();
            break;
    }
    MessageBeep(MB_ICONEXCLAMATION);
}

}  // namespace pm
