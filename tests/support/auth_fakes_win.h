#pragma once
// Fakes for the authentication dialog: a settable clock, a scripted credential
// check, and recorders for answers and warning boxes.

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "auth/credentials_win.h"
#include "auth/form_auth_win.h"
#include "shell/form_mirovant_win.h"
#include "support/clock.h"
#include "support/day_count.h"
#include "ui/message_loop_win.h"

namespace pm::test {

class FakeClock final : public Clock {
public:
    explicit FakeClock(double dayCount = 46364.5) : now_(dayCount) {}
    LocalTime Now() const override { return *DateTimeFromDayCount(now_); }
    double DayCount() const { return now_; }
    void Set(double dayCount) { now_ = dayCount; }
    void AdvanceSeconds(double seconds) { now_ += seconds / 86400.0; }

private:
    double now_;
};

class FakeCheck final : public CredentialCheck {
public:
    struct Call {
        std::wstring user, domain, password, expectedSid;
    };
    std::wstring AccountSidString(std::wstring_view account) const override {
        lookups.emplace_back(account);
        return accountExists ? L"S-1-5-21-1-2-3-1001" : L"";
    }
    bool VerifyCredentials(std::wstring_view user, std::wstring_view domain, std::wstring_view password,
                           std::wstring_view expectedSid) const override {
        calls.push_back({std::wstring(user), std::wstring(domain), std::wstring(password), std::wstring(expectedSid)});
        return passes;
    }
    bool accountExists = true;
    bool passes = true;
    mutable std::vector<std::wstring> lookups;
    mutable std::vector<Call> calls;
};

struct Recorded {
    std::vector<uint32_t> actions;
    std::vector<std::wstring> warnings, captions;
    // The warning box stands open this long (unless closed), pumping messages as a
    // real one does; `whileOpen` runs as it opens.
    std::chrono::milliseconds boxTime{100};
    std::function<void()> whileOpen;

    AuthDialogArgs Args(const Clock& clock, const CredentialCheck& check) {
        AuthDialogArgs args;
        args.clock = &clock;
        args.check = &check;
        args.sendAnswer = [this](const RequestRecord&, JobAction action) { actions.push_back(action); };
        args.warn = [this](HWND owner, const std::wstring& text, const std::wstring& caption) {
            warnings.push_back(text);
            captions.push_back(caption);
            const HWND box =
                CreateWindowExW(0, L"STATIC", text.c_str(), WS_POPUP, 0, 0, 10, 10, owner, nullptr, nullptr, nullptr);
            if (whileOpen) whileOpen();
            const auto end = std::chrono::steady_clock::now() + boxTime;
            while (IsWindow(box) && std::chrono::steady_clock::now() < end) {
                ui::PumpPendingMessages();
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            }
            if (IsWindow(box)) DestroyWindow(box);
        };
        return args;
    }
};

// A main form with nothing outside the process: no listener, no tray icon, and
// announcements recorded in `announced` (when given) instead of sent.
inline MirovantArgs QuietTray(std::vector<std::wstring>* announced = nullptr) {
    MirovantArgs args;
    args.startListener = false;
    args.showTrayIcon = false;
    args.announce = [announced](const std::wstring& server) {
        if (announced) announced->push_back(server);
    };
    return args;
}

// Handles the test thread's messages until `condition` holds or the time is up.
template <class Condition>
bool PumpUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        ui::PumpPendingMessages();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

inline void PumpFor(std::chrono::milliseconds time) {
    PumpUntil([] { return false; }, time);
}

}  // namespace pm::test
