#include "auth/form_auth_win.h"

#include <commctrl.h>
#include <windows.h>
#include <windowsx.h>

#include <algorithm>

#include "auth/countdown.h"
#include "auth/job_answer_win.h"
#include "auth/job_dialogs.h"
#include "auth/paper_size_win.h"
#include "i18n/language_win.h"
#include "support/clock_win.h"
#include "support/day_count.h"
#include "support/error_log_win.h"
#include "support/marks_win.h"
#include "support/names_win.h"
#include "support/product.h"
#include "support/registry_win.h"
#include "ui/controls_win.h"
#include "ui/direction_win.h"
#include "ui/locale_format_win.h"
#include "ui/message_loop_win.h"

namespace pm {
namespace {

constexpr UINT kMsgExpired = WM_APP + 1;  // the countdown ran out during creation
constexpr wchar_t kAuthOptions[] = L"AuthOptions";

// The eight rows, in their fixed order (also the byte order of "AuthOptions").
constexpr const TextKey* kRowTexts[TFormAuth::kRows] = {
    &text::kAuthDate,      &text::kAuthDocument, &text::kAuthPrinter, &text::kAuthColor,
    &text::kAuthPaperSize, &text::kAuthPages,    &text::kAuthCopies,  &text::kAuthCost,
};
constexpr int kDocumentRow = 1;

// Layout in 96-DPI units.
constexpr int kMargin = 10;
constexpr int kClientWidth = 420;    // at least; long labels widen it
constexpr int kMinFieldWidth = 250;  // what the values and boxes have beside English labels
constexpr int kRowPitch = 16;        // the running top of the rows grows by this much
constexpr int kButtonWidth = 80, kButtonHeight = 25;

void Warn(HWND owner, const std::wstring& text, const std::wstring& caption) {
    ui::ShowMessageBox(owner, text, caption, MB_OK | MB_ICONEXCLAMATION);
}

BOOL CALLBACK CloseIfOwnedBy(HWND window, LPARAM owner) {
    if (GetWindow(window, GW_OWNER) == reinterpret_cast<HWND>(owner)) PostMessageW(window, WM_CLOSE, 0, 0);
    return TRUE;
}

double NowDayCount(const Clock& clock) {
    return DayCountFromDateTime(clock.Now()).value_or(0);
}

}  // namespace

TFormAuth::TFormAuth(const RequestBytes& record, AuthDialogArgs args)
    : record_(DecodeRequest(record)), args_(std::move(args)) {
    if (!args_.check) args_.check = &SystemCredentialCheck::Instance();
    if (!args_.clock) args_.clock = &SystemClock::Instance();
    if (!args_.sendAnswer) args_.sendAnswer = &SendJobAnswerInBackground;
    if (!args_.warn) args_.warn = &Warn;
}

TFormAuth* TFormAuth::Create(const RequestBytes& record, AuthDialogArgs args) {
    auto* dialog = new TFormAuth(record, std::move(args));
    // No owner, and a task-bar button of its own. The title bar's and the task bar's
    // icons come from the class: hundreds of dialogs a day need not set them each.
    if (!dialog->CreateDialogWindow(kClassName, nullptr, WS_EX_APPWINDOW,
                                    LoadIconW(GetModuleHandleW(nullptr), L"MAINICON"))) {
        delete dialog;
        return nullptr;
    }
    const PeerIdentity& peer = dialog->args_.requestedBy;
    OpenJobDialogs().Add(
        MakeJobKey(dialog->record_.ServerComputer, dialog->record_.JobId, PeerAccountKey(peer), dialog->args_.trusted),
        dialog);
    return dialog;
}

TFormAuth::~TFormAuth() {
    DestroyNow();
    OpenJobDialogs().Remove(this);
}

void TFormAuth::ShowOnTop(bool again) {
    SetWindowPos(Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    SetForegroundWindow(Handle());
    SetWindowPos(Handle(), HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (!again) {
        // The user name is filled in already: the password or PIN is what is typed
        // first. Without credentials, the focus rests on who asked, where no letter and
        // no space presses a button.
        const HWND first = record_.AuthMode == AuthNone ? requester_ : password_;
        SetFocusControl(first);
        SetFocus(first);
    }
    ui::GuardInput(Handle(), kInputGuard);
}

// ---- creation ----

void TFormAuth::FormCreate() {
    creating_ = true;
    InitDialog();
    CreateControls();
    marks::Mark("dialog: the window and its controls");

    Localise();
    SendMessageW(countdown_, WM_SETFONT, reinterpret_cast<WPARAM>(BoldFont()), FALSE);
    // The paper-size lookup may show a box; its loop must not meet a running countdown,
    // which could free the dialog under this very code. The countdown starts last.
    FillValues();
    SetWindowTextW(username_, (GetDefaultDomain() + L"\\" + LocalUserName()).c_str());
    marks::Mark("dialog: the texts and values");
    RestoreRows();
    ShowRows();
    ApplyMode();
    Layout();
    ui::CenterOnScreen(Handle());
    marks::Mark("dialog: the rows laid out");
    SetTimer(Handle(), kTimerId, 1000, nullptr);
    TimerTimer();
    creating_ = false;
}

void TFormAuth::CreateControls() {
    const HWND w = Handle();
    const HFONT f = Font();
    jobGroup_ = ui::CreateControl(w, {WC_BUTTONW, L"", BS_GROUPBOX, 0, kIdJobGroup}, f);
    for (int row = 0; row < kRows; ++row) {
        labels_[row] = ui::CreateControl(w, {WC_STATICW, L"", SS_LEFT | SS_NOPREFIX, 0, kIdRowLabel + row}, f);
        // Borderless read-only edits outside the tab order: they read like text but
        // can still be selected and copied.
        values_[row] = ui::CreateControl(w, {WC_EDITW, L"", ES_READONLY | ES_AUTOHSCROLL, 0, kIdRowValue + row}, f);
    }
    requesterLabel_ = ui::CreateControl(w, {WC_STATICW, L"", SS_LEFT | SS_NOPREFIX, 0, kIdRequesterLabel}, f);
    requester_ = ui::CreateControl(w, {WC_EDITW, L"", ES_READONLY | ES_AUTOHSCROLL, 0, kIdRequester}, f);
    answerToLabel_ = ui::CreateControl(w, {WC_STATICW, L"", SS_LEFT | SS_NOPREFIX, 0, kIdAnswerToLabel}, f);
    answerTo_ = ui::CreateControl(w, {WC_EDITW, L"", ES_READONLY | ES_AUTOHSCROLL, 0, kIdAnswerTo}, f);
    bevel_ = ui::CreateControl(w, {WC_STATICW, L"", SS_ETCHEDHORZ, 0, kIdBevel}, f);
    countdown_ = ui::CreateControl(w, {WC_STATICW, L"", SS_LEFT | SS_NOPREFIX, 0, kIdCountdown}, f);

    authGroup_ = ui::CreateControl(w, {WC_BUTTONW, L"", BS_GROUPBOX, 0, kIdAuthGroup}, f);
    icon_ = ui::CreateControl(w, {WC_STATICW, L"", SS_ICON | SS_REALSIZECONTROL, 0, kIdIcon}, f);
    usernameLabel_ = ui::CreateControl(w, {WC_STATICW, L"", SS_LEFT, 0, kIdUsernameLabel}, f);
    username_ = ui::CreateControl(w, {WC_EDITW, L"", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, kIdUsername}, f);
    passwordLabel_ = ui::CreateControl(w, {WC_STATICW, L"", SS_LEFT, 0, kIdPasswordLabel}, f);
    password_ = ui::CreateControl(
        w, {WC_EDITW, L"", ES_AUTOHSCROLL | ES_PASSWORD | WS_TABSTOP, WS_EX_CLIENTEDGE, kIdPassword}, f);
    SendMessageW(password_, EM_SETPASSWORDCHAR, L'*', 0);
    ok_ = ui::CreateControl(w, {WC_BUTTONW, L"", BS_DEFPUSHBUTTON | WS_TABSTOP, 0, IDOK}, f);
    delete_ = ui::CreateControl(w, {WC_BUTTONW, L"", BS_PUSHBUTTON | WS_TABSTOP, 0, IDCANCEL}, f);

    ShowProgramIcon(icon_);
}

void TFormAuth::Localise() {
    const LangReader lang = OpenLanguageFile();
    const std::wstring caption = lang.Read(text::kAuthCaption);
    SetWindowTextW(Handle(), caption.c_str());
    SetWindowTextW(authGroup_, (L" " + caption + L" ").c_str());
    SetWindowTextW(jobGroup_, (L" " + lang.Read(text::kAuthJobInformation) + L" ").c_str());
    for (int row = 0; row < kRows; ++row)
        SetWindowTextW(labels_[row], (lang.Read(*kRowTexts[row]) + L":").c_str());
    SetWindowTextW(requesterLabel_, (lang.Read(text::kAuthRequestedBy) + L":").c_str());
    SetWindowTextW(answerToLabel_, (lang.Read(text::kAuthAnswerTo) + L":").c_str());
    SetWindowTextW(usernameLabel_, (lang.Read(text::kAuthUsername) + L":").c_str());
    const TextKey& password = record_.AuthMode == AuthPinCode ? text::kAuthPinCode : text::kAuthPassword;
    SetWindowTextW(passwordLabel_, (lang.Read(password) + L":").c_str());
    SetWindowTextW(delete_, lang.Read(text::kAuthDelete).c_str());
    SetWindowTextW(ok_, lang.Read(text::kOk).c_str());
}

void TFormAuth::FillValues() {
    const LangReader lang = OpenLanguageFile();
    const LocalTime submitted = DateTimeFromDayCount(record_.Submitted).value_or(*DateTimeFromDayCount(0));
    const std::wstring values[kRows] = {
        ui::FormatDateTime(submitted),
        record_.DocumentName,
        record_.PrinterName,
        lang.Read(record_.Colour() ? text::kYes : text::kNo),
        PaperSizeText(record_.PaperSize, record_.PaperWidth, record_.PaperLength),
        std::to_wstring(record_.Pages),
        std::to_wstring(record_.Copies),
        ui::FormatCurrency(int64_t(record_.Cost)),
    };
    for (int row = 0; row < kRows; ++row)
        SetWindowTextW(values_[row], values[row].c_str());
    SetWindowTextW(requester_, PeerText(args_.requestedBy, PeerWords::Read(lang)).c_str());
    // "." is this computer: shown by its name.
    const std::wstring& server = record_.ServerComputer;
    SetWindowTextW(answerTo_, (server == L"." && !ThisComputer().empty() ? ThisComputer() : server).c_str());
}

void TFormAuth::RestoreRows() {
    const UniqueKey key = reg::OpenKey(HKEY_CURRENT_USER, kProductKey, reg::Access::ReadWrite);
    if (!key) return;
    const auto saved = reg::ReadBinary(key.Get(), kAuthOptions);
    if (!saved.Ok() || saved.value.size() != kRows) return;  // any other size is ignored
    for (int row = 0; row < kRows; ++row)
        shown_[row] = saved.value[row] != 0;
}

void TFormAuth::ApplyMode() {
    switch (record_.AuthMode) {
        case AuthNone:
            for (HWND h : {authGroup_, icon_, usernameLabel_, username_, passwordLabel_, password_})
                ShowWindow(h, SW_HIDE);
            break;
        case AuthCurrentUser:
            EnableWindow(username_, FALSE);
            break;
        case AuthPinCode:
            ShowWindow(usernameLabel_, SW_HIDE);
            ShowWindow(username_, SW_HIDE);
            break;
        default:
            break;
    }
}

// ---- layout ----

void TFormAuth::actJobInfoDateExecute() {
    ShowRows();
    Layout();
}

void TFormAuth::ShowRows() {
    if (std::none_of(shown_.begin(), shown_.end(), [](bool s) { return s; })) shown_[kDocumentRow] = true;
    // Only the controls whose state changes: each change is a trip to the window system.
    auto show = [](HWND control, bool shown) {
        if (bool(GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != shown)
            ShowWindow(control, shown ? SW_SHOWNA : SW_HIDE);
    };
    for (int row = 0; row < kRows; ++row) {
        show(labels_[row], shown_[row]);
        show(values_[row], shown_[row]);
    }
}

void TFormAuth::Layout() {
    const ui::TextMeter meter(Handle(), Font());
    const int textHeight = meter.Height();
    const int pitch = std::max(S(kRowPitch), textHeight + S(2));
    const int editHeight = textHeight + S(8);
    int labelWidth = std::max(meter.WidthOf(requesterLabel_), meter.WidthOf(answerToLabel_));
    for (HWND label : labels_)
        labelWidth = std::max(labelWidth, meter.WidthOf(label));
    const int authLabelWidth = std::max(meter.WidthOf(usernameLabel_), meter.WidthOf(passwordLabel_));
    const int iconSize = S(32);
    // As wide as the language needs: however long its labels, the values and boxes keep
    // the room they have beside English ones, and the countdown fits on its line.
    const int inset = S(kMargin) + S(12);  // from the window's edge into a group box
    const int countdownWidth = ui::TextMeter(Handle(), BoldFont())
                                   .Width(CountdownText(LangString(text::kAuthJobDeletion), kJobLifetimeSeconds - 1));
    const int clientWidth = std::max({S(kClientWidth), 2 * inset + labelWidth + S(10) + S(kMinFieldWidth),
                                      2 * inset + iconSize + S(12) + authLabelWidth + S(10) + S(kMinFieldWidth),
                                      2 * inset + countdownWidth});
    const int groupLeft = S(kMargin), groupWidth = clientWidth - 2 * S(kMargin);
    const int inner = groupLeft + S(12), innerRight = groupLeft + groupWidth - S(12);

    // Job information: labels in a column as wide as the widest label, values beside.
    const int valueLeft = inner + labelWidth + S(10);
    int top = S(kMargin) + textHeight + S(8);
    for (int row = 0; row < kRows; ++row) {
        if (!shown_[row]) continue;
        ui::Place(labels_[row], inner, top, labelWidth + S(2), textHeight);
        ui::Place(values_[row], valueLeft, top, innerRight - valueLeft, textHeight);
        top += pitch;
    }
    ui::Place(requesterLabel_, inner, top, labelWidth + S(2), textHeight);
    ui::Place(requester_, valueLeft, top, innerRight - valueLeft, textHeight);
    top += pitch;
    ui::Place(answerToLabel_, inner, top, labelWidth + S(2), textHeight);
    ui::Place(answerTo_, valueLeft, top, innerRight - valueLeft, textHeight);
    top += pitch;
    ui::Place(bevel_, inner, top + S(4), innerRight - inner, S(2));
    ui::Place(countdown_, inner, top + S(12), innerRight - inner, textHeight);
    const int jobBottom = top + S(12) + textHeight + S(10);
    ui::Place(jobGroup_, groupLeft, S(kMargin), groupWidth, jobBottom - S(kMargin));

    // Credentials: the icon, then the labels and the boxes; in PIN mode the password
    // row takes the user-name row's place.
    int bottom = jobBottom;
    if (record_.AuthMode != AuthNone) {
        const int groupTop = jobBottom + S(8);
        const int firstRow = groupTop + textHeight + S(8);
        const bool pinOnly = record_.AuthMode == AuthPinCode;
        const int labelLeft = inner + iconSize + S(12);
        const int editLeft = labelLeft + authLabelWidth + S(10);
        const int rowStep = editHeight + S(6);
        const int passwordTop = pinOnly ? firstRow : firstRow + rowStep;
        ui::Place(icon_, inner, firstRow, iconSize, iconSize);
        ui::Place(usernameLabel_, labelLeft, firstRow + (editHeight - textHeight) / 2, authLabelWidth + S(2),
                  textHeight);
        ui::Place(username_, editLeft, firstRow, innerRight - editLeft, editHeight);
        ui::Place(passwordLabel_, labelLeft, passwordTop + (editHeight - textHeight) / 2, authLabelWidth + S(2),
                  textHeight);
        ui::Place(password_, editLeft, passwordTop, innerRight - editLeft, editHeight);
        const int contentBottom = std::max(passwordTop + editHeight, firstRow + iconSize);
        ui::Place(authGroup_, groupLeft, groupTop, groupWidth, contentBottom + S(10) - groupTop);
        bottom = contentBottom + S(10);
    }

    // Buttons at the bottom right: OK, then Delete.
    const int buttonWidth = std::max({S(kButtonWidth), meter.WidthOf(ok_) + S(24), meter.WidthOf(delete_) + S(24)});
    const int buttonTop = bottom + S(10);
    ui::Place(delete_, clientWidth - S(kMargin) - buttonWidth, buttonTop, buttonWidth, S(kButtonHeight));
    ui::Place(ok_, clientWidth - S(kMargin) - 2 * buttonWidth - S(6), buttonTop, buttonWidth, S(kButtonHeight));

    SetClientSize(clientWidth, buttonTop + S(kButtonHeight) + S(kMargin));
    InvalidateRect(Handle(), nullptr, TRUE);
}

void TFormAuth::DpiChanged() {
    SendMessageW(countdown_, WM_SETFONT, reinterpret_cast<WPARAM>(BoldFont()), FALSE);
    Layout();
}

void TFormAuth::ShowRowMenu(POINT screen) {
    const LangReader lang = OpenLanguageFile();
    const UniqueMenu menu(CreatePopupMenu());
    for (int row = 0; row < kRows; ++row) {
        AppendMenuW(menu.Get(), MF_STRING | (shown_[row] ? MF_CHECKED : MF_UNCHECKED), UINT_PTR(kIdMenuRow + row),
                    lang.Read(*kRowTexts[row]).c_str());
    }
    // Who asked and where the answer goes cannot be hidden; the menu says so.
    AppendMenuW(menu.Get(), MF_STRING | MF_CHECKED | MF_GRAYED, UINT_PTR(kIdMenuRow + kRows),
                lang.Read(text::kAuthRequestedBy).c_str());
    AppendMenuW(menu.Get(), MF_STRING | MF_CHECKED | MF_GRAYED, UINT_PTR(kIdMenuRow + kRows + 1),
                lang.Read(text::kAuthAnswerTo).c_str());
    const int chosen = int(TrackPopupMenuEx(menu.Get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | ui::MenuLayout(), screen.x,
                                            screen.y, Handle(), nullptr));
    if (chosen >= kIdMenuRow && chosen < kIdMenuRow + kRows) {
        shown_[chosen - kIdMenuRow] = !shown_[chosen - kIdMenuRow];
        actJobInfoDateExecute();
    }
}

// ---- the countdown and the answers ----

void TFormAuth::TimerTimer() {
    const int remaining = RemainingSeconds(record_.Submitted, NowDayCount(*args_.clock));
    const std::wstring line = CountdownText(LangString(text::kAuthJobDeletion), remaining);
    ui::SetWindowTextIfChanged(countdown_, line);
    if (remaining > 0 || answered_) return;
    KillTimer(Handle(), kTimerId);
    // Not from inside creation: the window must not go under the code creating it.
    if (creating_) {
        PostMessageW(Handle(), kMsgExpired, 0, 0);
    } else {
        Expire();
    }
}

void TFormAuth::Expire() {
    if (answered_) return;
    if (!Busy()) {
        const BusyScope busy(*this);
        Answer(JobActionDelete, false);
        return;
    }
    // A handler is running, most likely inside a warning box that the user may leave
    // open: the job is deleted now all the same, and the box is closed, so the
    // handler returns and the held close frees the window.
    Answer(JobActionDelete, false);
    EnumThreadWindows(GetCurrentThreadId(), &CloseIfOwnedBy, reinterpret_cast<LPARAM>(Handle()));
}

bool TFormAuth::Authenticated() {
    // Read straight into a buffer that is wiped, never through a temporary string.
    SecretText password;
    password.Edit().resize(size_t(GetWindowTextLengthW(password_)) + 1);
    password.Edit().resize(size_t(GetWindowTextW(password_, password.Edit().data(), int(password.Edit().size()))));
    switch (record_.AuthMode) {
        case AuthNone:
            return true;
        case AuthCurrentUser:
        case AuthAnyAccount: {
            const std::wstring account = ui::WindowText(username_);
            const size_t slash = account.find(L'\\');
            const std::wstring domain = slash == std::wstring::npos ? L"" : account.substr(0, slash);
            const std::wstring user = slash == std::wstring::npos ? account : account.substr(slash + 1);
            // Whose password it must be: the account this client runs as (mode 2), or the
            // account found for the name as typed, with its domain (mode 3): a bare name
            // is looked up locally first, and may name another account than the one of
            // that domain. The name in the box only says where to log on; it never
            // decides who logged on.
            const std::wstring expected =
                record_.AuthMode == AuthCurrentUser ? ProcessUserSid() : args_.check->AccountSidString(account);
            if (expected.empty()) return false;
            return args_.check->VerifyCredentials(user, domain, password.Get(), expected);
        }
        case AuthPinCode:
            return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, password.Get().c_str(),
                                  int(password.Get().size()), record_.PinCode.c_str(),
                                  int(record_.PinCode.size())) == CSTR_EQUAL;
        default:
            return false;
    }
}

void TFormAuth::Answer(JobAction action, bool byUser) {
    answered_ = true;
    KillTimer(Handle(), kTimerId);
    // The box's own copy goes too: overwritten in place, then emptied.
    SetWindowTextW(password_, std::wstring(size_t(GetWindowTextLengthW(password_)), L' ').c_str());
    SetWindowTextW(password_, L"");
    if (byUser || UnattendedAnswerAllowed(record_.ServerComputer)) {
        args_.sendAnswer(record_, action);
    } else {
        LogError(kLogUnattendedNotSent, 0,
                 L"JobAnswer: job " + std::to_wstring(record_.JobId) + L" of " + record_.ServerComputer +
                     L" ran out; no answer sent to a computer that is neither listed nor chosen");
    }
    Close();
}

void TFormAuth::btnOkClick() {
    if (answered_ || Busy()) return;
    const BusyScope busy(*this);
    if (Authenticated()) {
        Answer(JobActionPrint);
    } else {
        const TextKey* message = record_.AuthMode == AuthCurrentUser  ? &text::kPasswordIncorrect
                                 : record_.AuthMode == AuthAnyAccount ? &text::kLoginIncorrect
                                 : record_.AuthMode == AuthPinCode    ? &text::kPinCodeIncorrect
                                                                      : nullptr;
        if (message) args_.warn(Handle(), LangString(*message), LangString(text::kError));
    }
}

void TFormAuth::btnDeleteClick() {
    if (answered_ || Busy()) return;
    const BusyScope busy(*this);
    Answer(JobActionDelete);
}

// ---- closing ----

ui::CloseAction TFormAuth::FormClose() {
    return HoldCloseWhileBusy() ? ui::CloseAction::None : ui::CloseAction::Free;
}

void TFormAuth::FormDestroy() {
    KillTimer(Handle(), kTimerId);
    OpenJobDialogs().Remove(this);  // the job may open a dialog again from here on
    const UniqueKey key = reg::OpenKey(HKEY_CURRENT_USER, kProductKey, reg::Access::ReadWrite);
    if (!key) return;
    uint8_t rows[kRows];
    for (int row = 0; row < kRows; ++row)
        rows[row] = shown_[row] ? 1 : 0;
    reg::WriteBinary(key.Get(), kAuthOptions, rows);
}

LRESULT TFormAuth::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
            if (LOWORD(wp) == IDOK) btnOkClick();
            if (LOWORD(wp) == IDCANCEL) btnDeleteClick();
            return 0;
        case WM_TIMER:
            if (wp == kTimerId) TimerTimer();
            return 0;
        case kMsgExpired:
            Expire();
            return 0;
        case WM_CONTEXTMENU: {
            POINT at = {GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
            RECT group;
            GetWindowRect(jobGroup_, &group);
            if (lp == -1) {  // from the keyboard: open at the rows
                at = {group.left + S(20), group.top + S(20)};
            } else if (!PtInRect(&group, at)) {
                break;
            }
            ShowRowMenu(at);
            return 0;
        }
    }
    return Dialog::HandleMessage(msg, wp, lp);
}

}  // namespace pm
