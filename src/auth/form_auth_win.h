#pragma once
// TFormAuth: one held print job in front of the user. Shows the job, asks for what
// the job's mode requires, counts five minutes down from the job's time, and ends
// in one answer to the print server: print (OK with credentials that pass) or
// delete (Delete, Escape, or the countdown reaching zero). Closing it by its frame
// sends nothing. The countdown's delete, which the user did not give, goes only to a
// computer someone chose (UnattendedAnswerAllowed); for any other the dialog closes
// without a connection. For a second after it comes to the front, no key press and
// no click answers it: typing meant for another window cannot print or delete a job.
//
// User-interface thread only. Created without an owner and with a task-bar button
// of its own; frees itself when closed (nobody keeps a reference). Answering and
// the warning boxes pump messages; a close or a click that arrives meanwhile waits
// until the running handler is done; a countdown that runs out meanwhile deletes the
// job at once and closes the box. A job is never answered twice.

#include <array>
#include <functional>
#include <string>

#include "auth/credentials_win.h"
#include "i18n/catalogue.h"
#include "pipes/peer_identity_win.h"
#include "pipes/request_record.h"
#include "support/clock.h"
#include "support/unique_win.h"
#include "ui/dialog_win.h"

namespace pm {

struct AuthDialogArgs {
    const CredentialCheck* check = nullptr;  // default: the system's checks
    const Clock* clock = nullptr;            // default: the system's local time
    // Sends the answer; default SendJobAnswerInBackground.
    std::function<void(const RequestRecord&, JobAction)> sendAnswer;
    // Shows a warning box owned by the dialog; default MessageBoxW with the exclamation icon.
    std::function<void(HWND owner, const std::wstring& text, const std::wstring& caption)> warn;
    // Who sent the request: shown in the row "Requested by", after the job's rows.
    PeerIdentity requestedBy;
    // The requesting account is a trusted print server's (not held to a share of the dialogs).
    bool trusted = false;
};

class TFormAuth final : public ui::Dialog {
public:
    static constexpr wchar_t kClassName[] = L"PrintMirovant.Authentication";
    static constexpr int kRows = 8;
    // How long input is ignored after the dialog comes to the front, in milliseconds.
    static constexpr unsigned kInputGuard = 1000;
    // Stable control ids: tests and tools find the controls with GetDlgItem.
    // OK is IDOK and Delete is IDCANCEL, so Enter and Escape press them.
    enum : int {
        kIdUsername = 101,
        kIdPassword,
        kIdUsernameLabel,
        kIdPasswordLabel,
        kIdCountdown,
        kIdJobGroup,
        kIdAuthGroup,
        kIdIcon,
        kIdBevel,
        kIdRowLabel = 200,  // + row
        kIdRequesterLabel = kIdRowLabel + kRows,
        kIdRowValue = 220,  // + row
        kIdRequester = kIdRowValue + kRows,
        kIdAnswerToLabel = kIdRowLabel + kRows + 1,
        kIdAnswerTo = kIdRowValue + kRows + 1,
        kIdMenuRow = 300,  // + row: the context menu's check items
    };
    static constexpr UINT kTimerId = 1;

    // Creates the dialog (not yet shown) on a copy of the record; nullptr when the
    // window cannot be created. A job already past its time is deleted as soon as
    // the creator returns to the message loop. The dialog counts among
    // OpenJobDialogs() until it is destroyed.
    static TFormAuth* Create(const RequestBytes& record, AuthDialogArgs args = {});
    ~TFormAuth() override;

    // Shows the dialog above all windows, brings it to the front, then returns it
    // to ordinary stacking. The first time, the focus goes where typing starts; raised
    // `again` (the same job asked for once more), the user's focus and caret stay.
    void ShowOnTop(bool again = false);

    // Which rows are shown, in row order (the bytes of "AuthOptions").
    std::array<bool, kRows> RowsShown() const { return shown_; }
    void TimerTimer();

private:
    TFormAuth(const RequestBytes& record, AuthDialogArgs args);

    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void FormCreate() override;
    ui::CloseAction FormClose() override;
    void FormDestroy() override;

    void CreateControls();
    void Localise();
    void FillValues();
    void RestoreRows();
    void ApplyMode();
    void actJobInfoDateExecute();  // lays the rows out; the window follows its content
    void ShowRows();               // the rows chosen in the row menu, and no others
    void Layout();
    void ShowRowMenu(POINT screen);
    void btnOkClick();
    void btnDeleteClick();
    // The countdown has run out: the job is deleted at once, even while a handler
    // (a warning box) is running.
    void Expire();
    bool Authenticated();
    // `byUser` false: the countdown's answer, sent only where UnattendedAnswerAllowed.
    void Answer(JobAction action, bool byUser = true);
    void DpiChanged() override;

    const RequestRecord record_;
    AuthDialogArgs args_;

    std::array<bool, kRows> shown_{true, true, true, true, true, true, true, true};
    std::array<HWND, kRows> labels_{};
    std::array<HWND, kRows> values_{};
    // Always shown: the user must see who asks and where the answer goes.
    HWND requesterLabel_ = nullptr, requester_ = nullptr, answerToLabel_ = nullptr, answerTo_ = nullptr;
    HWND jobGroup_ = nullptr, bevel_ = nullptr, countdown_ = nullptr;
    HWND authGroup_ = nullptr, icon_ = nullptr, usernameLabel_ = nullptr, username_ = nullptr;
    HWND passwordLabel_ = nullptr, password_ = nullptr, ok_ = nullptr, delete_ = nullptr;

    bool creating_ = false;
    bool answered_ = false;  // one answer per job, whatever arrives meanwhile
};

}  // namespace pm
