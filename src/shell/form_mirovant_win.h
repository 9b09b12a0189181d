#pragma once
// TFormMirovant: the client's main form. Never shown; closing it ends the program.

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
};

}  // namespace pm
