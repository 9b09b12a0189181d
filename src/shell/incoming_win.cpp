#include "shell/incoming_win.h"

#include <windows.h>

#include "auth/form_auth_win.h"
#include "auth/job_answer_win.h"
#include "auth/job_dialogs.h"
#include "auth/print_servers.h"
#include "messages/form_messages_win.h"
#include "pipes/message_codes.h"
#include "support/error_log_win.h"
#include "support/machine_settings_win.h"

namespace pm {
namespace {

// Log code of a job refused because JobDialogs::kLimit dialogs are open.
constexpr int32_t kLogTooManyDialogs = 182;
// Log code of a job refused because its peer's account is not in "PrintServerAccounts".
constexpr int32_t kLogAccountNotAllowed = 183;

// True when the machine's "PrintServerAccounts" is absent or empty, or names the
// peer's account. A list nobody can read, like a list, lets no other account in.
bool PeerAccountPermitted(const PeerIdentity& peer) {
    const auto list = MachineString(kPrintServerAccountsValue);
    if (list.status == reg::ReadStatus::Missing) return true;
    return list.Ok() && NameListAllows(list.value, peer.anonymous ? L"" : peer.account);
}

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

void ShowTextMessage(const std::wstring& text, const PeerIdentity& sender) {
    if (TFormMessages* window = TFormMessages::Instance()) {
        window->SetMessage(text, sender);
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

void ShowAuthRequest(const RequestBytes& bytes, const PeerIdentity& peer) {
    const RequestRecord record = DecodeRequest(bytes);
    // Opening nothing also means no answer and no connection to that computer.
    if (!PrintServerPermitted(record.ServerComputer)) {
        LogError(kLogServerNotAllowed, 0, L"JobRequest: print server not allowed: " + record.ServerComputer);
        return;
    }
    if (!PeerAccountPermitted(peer)) {
        const std::wstring who = peer.anonymous ? L"anonymous" : peer.account.empty() ? L"unknown" : peer.account;
        LogError(kLogAccountNotAllowed, 0,
                 L"JobRequest: account not allowed: " + who + L", job " + std::to_wstring(record.JobId) + L" of " +
                     record.ServerComputer);
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
        case JobDialogs::Admission::New: {
            AuthDialogArgs args;
            args.requestedBy = peer;
            if (TFormAuth* dialog = TFormAuth::Create(bytes, std::move(args))) dialog->ShowOnTop();
            break;
        }
    }
    MessageBeep(MB_ICONEXCLAMATION);
}

}  // namespace pm
