#pragma once
// TFormAbout: the modal about window. Product name and edition, the version with
// the executable's build number, the date, the notice line and two links (the web
// page and a new mail to support). Enter and Escape close it.

#include <string>

#include "support/unique_win.h"
#include "ui/dialog_win.h"

namespace pm {

// A program's "\StringFileInfo\040904E4\FileVersion", "" without one.
std::wstring FileVersionOf(const std::wstring& path);
// The same of this process's executable.
std::wstring ExecutableFileVersion();

class TFormAbout final : public ui::Dialog {
public:
    static constexpr wchar_t kClassName[] = L"PrintMirovant.About";
    enum : int {
        kIdIcon = 101,
        kIdProduct,  // lblDolvek
        kIdEdition,  // lblDolvekVer
        kIdVersionCaption,
        kIdVersion,
        kIdDateCaption,
        kIdDate,
        kIdCopyright,
        kIdRights,
        kIdWeb,
        kIdMail,
    };  // OK is IDOK

    // Shows the window, owned by `owner`, modal to the whole client (the thread's
    // other windows are disabled meanwhile) and frees it when it closes. One at a
    // time: while it is open, another call brings it to the front.
    static void Run(HWND owner);

    // For tests: created, not run.
    bool Create(HWND owner);
    bool Ended() const { return ended_; }

private:
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void FormCreate() override;
    ui::CloseAction FormClose() override;
    void Layout();
    void DpiChanged() override;
    void MakeFonts();
    void Open(const std::wstring& target) const;
    HWND Item(int id) const { return GetDlgItem(Handle(), id); }

    UniqueGdi productFont_, linkFont_;
    std::wstring web_, mail_;
    bool ended_ = false;
};

}  // namespace pm
