#include "shell/incoming_win.h"

#include <windows.h>

#include "auth/countdown.h"
#include "auth/form_auth_win.h"
#include "auth/job_answer_win.h"
#include "auth/job_dialogs.h"
#include "auth/print_servers.h"
#include "messages/form_messages_win.h"
#include "pipes/message_codes.h"
#include "support/clock_win.h"
#include "support/day_count.h"
#include "support/error_log_win.h"
#include "support/log_burst.h"
#include "support/machine_settings_win.h"
#include "support/marks_win.h"

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

// A refused request's entry: one per burst of refusals of its code, so a peer refused
// by the hundred thousand leaves a few lines, not a full disk.
void LogRefusal(int32_t code, const std::wstring& text) {
    static LogBurst bursts;
    if (const auto leftOut = bursts.ShouldLog(code, GetTickCount64())) LogError(code, 0, text + LeftOutText(*leftOut));
}

JobKey KeyOf(const RequestRecord& record, const PeerIdentity& peer) {
    return MakeJobKey(record.ServerComputer, record.JobId, PeerAccountKey(peer), PeerAccountTrusted(peer));
}

std::function<void()>& TextMessageHook() {
    static std::function<void()> hook;
    return hook;
}

// The job stays held at the print server; one entry per burst of refusals.
void RefuseForTooManyDialogs(const RequestRecord& record, const JobKey& key, JobDialogs::Admission admission) {
    if (admission == JobDialogs::Admission::AccountFull) {
        if (!OpenJobDialogs().AccountRefusalStartsBurst(key)) return;
        LogError(kLogTooManyDialogs, 0,
                 L"JobRequest: account " + (key.account.empty() ? std::wstring(L"(unknown)") : key.account) +
                     L" holds " + std::to_wstring(JobDialogs::kPerAccount) + L" dialogs, job " +
                     std::to_wstring(record.JobId) + L" of " + record.ServerComputer + L" refused");
        return;
    }
    if (!OpenJobDialogs().RefusalStartsBurst()) return;
    LogError(kLogTooManyDialogs, 0,
             L"JobRequest: " + std::to_wstring(JobDialogs::kLimit) + L" dialogs open, job " +
                 std::to_wstring(record.JobId) + L" of " + record.ServerComputer + L" refused");
}

bool Refused(JobDialogs::Admission admission) {
    return admission == JobDialogs::Admission::Full || admission == JobDialogs::Admission::AccountFull;
}

}  // namespace

bool PeerAccountTrusted(const PeerIdentity& peer) {
    // Asked for every request the listener reads: a peer without a name costs no
    // registry read (before the reply, the name is known only once looked up).
    if (peer.anonymous || peer.account.empty()) return false;
    const auto list = MachineString(kPrintServerAccountsValue);
    return list.Ok() && !ParsePrintServers(list.value, {}).empty() && NameListAllows(list.value, peer.account);
}

void SetTextMessageHook(std::function<void()> hook) {
    TextMessageHook() = std::move(hook);
}

void ShowTextMessage(const std::wstring& text, const PeerIdentity& sender) {
    // Kept among the unread ones; the focus and the sound at most once a second.
    if (TFormMessages* window = TFormMessages::Instance()) window->Receive(text, sender);
    if (TextMessageHook()) TextMessageHook()();
}

bool AdmitRequest(uint32_t code, const RequestBytes& bytes, const PeerIdentity& peer) {
    if (code != code::kAuthRequest) return true;
    const RequestRecord record = DecodeRequest(bytes);
    const JobKey key = KeyOf(record, peer);
    const JobDialogs::Admission admission = OpenJobDialogs().Admit(key);
    if (!Refused(admission)) return true;
    RefuseForTooManyDialogs(record, key, admission);
    return false;
}

void ShowAuthRequest(const RequestBytes& bytes, const PeerIdentity& peer) {
    marks::Mark("dialog: taken by the window thread");
    const RequestRecord record = DecodeRequest(bytes);
    // Opening nothing also means no answer and no connection to that computer.
    if (!PrintServerPermitted(record.ServerComputer)) {
        LogRefusal(kLogServerNotAllowed, L"JobRequest: print server not allowed: " + record.ServerComputer);
        return;
    }
    if (!PeerAccountPermitted(peer)) {
        const std::wstring who = peer.anonymous ? L"anonymous" : peer.account.empty() ? L"unknown" : peer.account;
        LogRefusal(kLogAccountNotAllowed, L"JobRequest: account not allowed: " + who + L", job " +
                                              std::to_wstring(record.JobId) + L" of " + record.ServerComputer);
        return;
    }
    // Already past its time: the answer would be the countdown's, which goes only to a
    // computer someone chose. For any other, nothing opens and nothing is sent.
    const double now = DayCountFromDateTime(SystemClock::Instance().Now()).value_or(0);
    if (RemainingSeconds(record.Submitted, now) <= 0 && !UnattendedAnswerAllowed(record.ServerComputer)) {
        LogRefusal(kLogUnattendedNotSent,
                   L"JobRequest: job " + std::to_wstring(record.JobId) + L" of " + record.ServerComputer +
                       L" expired on arrival; no answer sent to a computer that is neither listed nor chosen");
        return;
    }
    const JobKey key = KeyOf(record, peer);
    const JobDialogs::Admission admission = OpenJobDialogs().Admit(key);
    marks::Mark("dialog: the policy read");
    switch (admission) {
        case JobDialogs::Admission::Open:
            if (auto* dialog = static_cast<TFormAuth*>(OpenJobDialogs().Find(key))) dialog->ShowOnTop(true);
            break;
        case JobDialogs::Admission::Full:
        case JobDialogs::Admission::AccountFull:
            RefuseForTooManyDialogs(record, key, admission);
            return;
        case JobDialogs::Admission::New: {
            AuthDialogArgs args;
            args.requestedBy = peer;
            args.trusted = key.trusted;
            if (TFormAuth* dialog = TFormAuth::Create(bytes, std::move(args))) dialog->ShowOnTop();
            marks::Mark("dialog: shown");
            marks::Write();
            break;
        }
    }
    MessageBeep(MB_ICONEXCLAMATION);
}

}  // namespace pm
