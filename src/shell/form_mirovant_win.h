#pragma once
// TFormMirovant: the client's main form. Never shown; it starts the listener on the
// user's pipe when created, and closing it ends the program.

#include <memory>

#include "pipes/listener_win.h"
#include "ui/window_win.h"

namespace pm {

class TFormMirovant final : public ui::Window {
public:
    static constexpr wchar_t kClassName[] = L"PrintMirovant.Main";

    bool Create(HWND application);

private:
    void FormCreate() override;
    ui::CloseAction FormClose() override { return ui::CloseAction::Destroy; }
    void FormDestroy() override;
    void StartListener();

    RequestHandOver handOver_;
    std::unique_ptr<TMessenger> messenger_;
};

}  // namespace pm
