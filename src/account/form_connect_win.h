#pragma once
// TFormConnect: the modal "Connect" dialog in which the user names the computer of
// the print server. Offers this computer and the history of earlier choices, can
// browse the network, and on OK returns the chosen name and rewrites the history.
// User-interface thread only; the caller owns it for one modal run.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/unique_win.h"
#include "ui/dialog_win.h"

namespace pm {

// The system's browse dialog for computers; true with the chosen display name.
bool BrowseForComputer(HWND owner, std::wstring& name);

class TFormConnect final : public ui::Dialog {
public:
    static constexpr wchar_t kClassName[] = L"PrintMirovant.Connect";
    enum : int { kIdComputer = 101, kIdBrowse, kIdComputerLabel };  // OK is IDOK, Cancel IDCANCEL

    struct Args {
        std::function<bool(HWND owner, std::wstring& name)> browse;  // default BrowseForComputer
    };

    // Creates the dialog, runs it modally and frees it: the chosen name on OK.
    static std::optional<std::wstring> Run(HWND owner, Args args = {});

    // For tests: the dialog created (not run); Ended() once OK or Cancel was pressed.
    explicit TFormConnect(Args args);
    bool Create(HWND owner);
    bool Ended() const { return ended_; }
    const std::optional<std::wstring>& Result() const { return result_; }
    std::vector<std::wstring> Items() const;

    void btnOKClick();
    void UpdateOk(std::wstring_view field);

private:
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void FormCreate() override;
    ui::CloseAction FormClose() override;
    void Layout();
    void DpiChanged() override { Layout(); }

    Args args_;
    HWND label_ = nullptr, computer_ = nullptr, browse_ = nullptr, ok_ = nullptr, cancel_ = nullptr;
    bool ended_ = false;
    std::optional<std::wstring> result_;
};

}  // namespace pm
