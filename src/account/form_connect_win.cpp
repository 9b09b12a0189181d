#include "account/form_connect_win.h"

#include <commctrl.h>
#include <shlobj.h>
#include <windows.h>

#include <algorithm>

#include "account/server_history.h"
#include "i18n/language_win.h"
#include "support/com_win.h"
#include "support/module_win.h"
#include "support/names_win.h"
#include "support/product.h"
#include "support/registry_win.h"
#include "ui/controls_win.h"
#include "ui/message_loop_win.h"

namespace pm {
namespace {

bool SameInUserLocale(std::wstring_view a, std::wstring_view b) {
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), int(a.size()), b.data(), int(b.size())) ==
           CSTR_EQUAL;
}

constexpr wchar_t kComputers[] = L"Computers";
constexpr wchar_t kComputersNew[] = L"Computers.new";
constexpr wchar_t kComputersOld[] = L"Computers.old";

std::vector<std::wstring> ReadHistory() {
    std::vector<std::wstring> history;
    const UniqueKey parent = reg::OpenKey(HKEY_CURRENT_USER, kInterfaceKey, reg::Access::Read);
    UniqueKey key;
    // A write cut off between its two renames leaves the old list under its side name.
    if (!parent || (RegOpenKeyExW(parent.Get(), kComputers, 0, KEY_READ, key.Put()) != ERROR_SUCCESS &&
                    RegOpenKeyExW(parent.Get(), kComputersOld, 0, KEY_READ, key.Put()) != ERROR_SUCCESS))
        return history;
    DWORD count = 0;
    RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                     nullptr);
    // Position i is the value named i; a missing one gives an empty entry.
    for (DWORD i = 0; i < count; ++i)
        history.push_back(reg::ReadString(key.Get(), std::to_wstring(i).c_str()).value);
    return history;
}

LSTATUS RenameKey(HKEY parent, const wchar_t* from, const wchar_t* to) {
    using Rename = LSTATUS(WINAPI*)(HKEY, LPCWSTR, LPCWSTR);
    static const auto rename = GetProc<Rename>(GetModuleHandleW(L"advapi32.dll"), "RegRenameKey");
    return rename ? rename(parent, from, to) : ERROR_CALL_NOT_IMPLEMENTED;
}

// Writes the list so that a failure at any step leaves either the old list or the new
// one: the new list is written whole beside the old one, then takes its name.
void WriteHistory(const std::vector<std::wstring>& history) {
    const UniqueKey parent = reg::OpenKey(HKEY_CURRENT_USER, kInterfaceKey, reg::Access::ReadWrite);
    if (!parent) return;
    RegDeleteTreeW(parent.Get(), kComputersNew);
    {
        UniqueKey fresh;
        if (RegCreateKeyExW(parent.Get(), kComputersNew, 0, nullptr, 0, KEY_WRITE, nullptr, fresh.Put(), nullptr) !=
            ERROR_SUCCESS)
            return;
        for (size_t i = 0; i < history.size(); ++i) {
            if (!reg::WriteString(fresh.Get(), std::to_wstring(i).c_str(), history[i])) {
                fresh.Reset();
                RegDeleteTreeW(parent.Get(), kComputersNew);
                return;
            }
        }
    }
    RegDeleteTreeW(parent.Get(), kComputersOld);
    const bool setAside = RenameKey(parent.Get(), kComputers, kComputersOld) == ERROR_SUCCESS;
    if (RenameKey(parent.Get(), kComputersNew, kComputers) != ERROR_SUCCESS) {
        if (setAside) RenameKey(parent.Get(), kComputersOld, kComputers);
        RegDeleteTreeW(parent.Get(), kComputersNew);
        return;
    }
    RegDeleteTreeW(parent.Get(), kComputersOld);
}
}  // namespace

bool BrowseForComputer(HWND owner, std::wstring& name) {
    IMalloc* allocator = nullptr;
    if (!UseCom() || FAILED(SHGetMalloc(&allocator)) || !allocator) return false;
    bool chosen = false;
    auto* display = static_cast<wchar_t*>(allocator->Alloc(MAX_PATH * sizeof(wchar_t)));
    PIDLIST_ABSOLUTE root = nullptr;
    if (display && SUCCEEDED(SHGetSpecialFolderLocation(owner, CSIDL_NETWORK, &root))) {
        display[0] = L'\0';
        BROWSEINFOW info = {};
        info.hwndOwner = owner;
        info.pidlRoot = root;
        info.pszDisplayName = display;
        info.ulFlags = BIF_BROWSEFORCOMPUTER;
        if (PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info)) {
            name = display;
            allocator->Free(item);
            chosen = true;
        }
        allocator->Free(root);
    }
    if (display) allocator->Free(display);
    allocator->Release();
    return chosen;
}

TFormConnect::TFormConnect(Args args) : args_(std::move(args)) {
    if (!args_.browse) args_.browse = &BrowseForComputer;
}

bool TFormConnect::Create(HWND owner) {
    return CreateDialogWindow(kClassName, owner);
}

std::optional<std::wstring> TFormConnect::Run(HWND owner, Args args) {
    TFormConnect dialog(std::move(args));
    if (!dialog.Create(owner)) return std::nullopt;
    ui::RunModal(dialog.Handle(), owner, [&] { return dialog.Ended(); });
    return dialog.Result();
}

void TFormConnect::FormCreate() {
    InitDialog();
    const HFONT f = Font();
    const HWND w = Handle();
    label_ = ui::CreateControl(w, {WC_STATICW, L"", SS_LEFT, 0, kIdComputerLabel}, f);
    computer_ = ui::CreateControl(
        w, {WC_COMBOBOXW, L"", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, 0, kIdComputer}, f);
    browse_ = ui::CreateControl(w, {WC_BUTTONW, L"...", BS_PUSHBUTTON | BS_FLAT | WS_TABSTOP, 0, kIdBrowse}, f);
    ok_ = ui::CreateControl(w, {WC_BUTTONW, L"", BS_DEFPUSHBUTTON | WS_TABSTOP, 0, IDOK}, f);
    cancel_ = ui::CreateControl(w, {WC_BUTTONW, L"", BS_PUSHBUTTON | WS_TABSTOP, 0, IDCANCEL}, f);

    const LangReader lang = OpenLanguageFile();
    SetWindowTextW(w, lang.Read(text::kConnectCaption).c_str());
    SetWindowTextW(label_, (lang.Read(text::kConnectComputer) + L":  ").c_str());
    SetWindowTextW(ok_, lang.Read(text::kOk).c_str());
    SetWindowTextW(cancel_, lang.Read(text::kCancel).c_str());

    std::vector<std::wstring> items = ReadHistory();
    items.insert(items.begin(), ThisComputer() + L" (" + LangString(text::kConnectLocalHost) + L")");
    for (const std::wstring& item : items)
        SendMessageW(computer_, CB_ADDSTRING, 0, LPARAM(item.c_str()));
    // Version 6 of the common controls sizes the list by this count, not by the height.
    SendMessageW(computer_, CB_SETMINVISIBLE, 24, 0);
    SetWindowTextW(computer_, (items.size() < 2 ? ThisComputer() : items[1]).c_str());
    Layout();
    ui::CenterOnScreen(w);
}

void TFormConnect::Layout() {
    const HFONT f = Font();
    const ui::TextMeter meter(Handle(), f);
    const int margin = S(10), textHeight = ui::TextHeight(Handle(), f), fieldHeight = textHeight + S(10);
    const int labelWidth = meter.WidthOf(label_);
    const int width = std::max(S(340), labelWidth + S(240));
    const int browseWidth = S(26);
    const int fieldLeft = margin + labelWidth + S(4), fieldWidth = width - margin - browseWidth - S(4) - fieldLeft;
    ui::Place(label_, margin, margin + (fieldHeight - textHeight) / 2, labelWidth + S(2), textHeight);
    // A drop-down combo box's height includes its list: 24 rows when dropped down (the
    // older controls go by this height).
    ui::Place(computer_, fieldLeft, margin, fieldWidth, fieldHeight + 24 * textHeight);
    ui::Place(browse_, width - margin - browseWidth, margin, browseWidth, fieldHeight);
    const int buttonWidth = std::max({S(80), meter.WidthOf(ok_) + S(24), meter.WidthOf(cancel_) + S(24)});
    const int buttonTop = margin + fieldHeight + S(14);
    ui::Place(cancel_, width - margin - buttonWidth, buttonTop, buttonWidth, S(25));
    ui::Place(ok_, width - margin - 2 * buttonWidth - S(6), buttonTop, buttonWidth, S(25));
    SetClientSize(width, buttonTop + S(25) + margin);
}

std::vector<std::wstring> TFormConnect::Items() const {
    std::vector<std::wstring> items;
    const int count = int(SendMessageW(computer_, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::wstring item(size_t(SendMessageW(computer_, CB_GETLBTEXTLEN, WPARAM(i), 0)) + 1, L'\0');
        item.resize(size_t(SendMessageW(computer_, CB_GETLBTEXT, WPARAM(i), LPARAM(item.data()))));
        items.push_back(item);
    }
    return items;
}

void TFormConnect::UpdateOk(std::wstring_view field) {
    EnableWindow(ok_, !ServerInField(field).empty());
}

void TFormConnect::btnOKClick() {
    // Never an empty server: it would stop the polls and the announcements for good.
    if (ServerInField(ui::WindowText(computer_)).empty()) return;
    const HistoryChoice choice = ChooseServer(ui::WindowText(computer_), Items(), ThisComputer(), &SameInUserLocale);
    WriteHistory(choice.history);
    result_ = choice.chosen;
    ended_ = true;
}

ui::CloseAction TFormConnect::FormClose() {
    ended_ = true;  // the title bar's close is Cancel
    return ui::CloseAction::Hide;
}

LRESULT TFormConnect::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
            switch (LOWORD(wp)) {
                case IDOK:
                    if (IsWindowEnabled(ok_)) btnOKClick();
                    return 0;
                case IDCANCEL:
                    ended_ = true;
                    return 0;
                case kIdBrowse: {
                    std::wstring name;
                    if (HIWORD(wp) == BN_CLICKED && args_.browse(Handle(), name)) {
                        SetWindowTextW(computer_, name.c_str());  // sends no change notification
                        UpdateOk(name);
                    }
                    return 0;
                }
                case kIdComputer:
                    // OK only with a server in the field. At CBN_SELCHANGE the field does not
                    // hold the chosen entry yet: the entry itself is read.
                    if (HIWORD(wp) == CBN_EDITCHANGE) UpdateOk(ui::WindowText(computer_));
                    if (HIWORD(wp) == CBN_SELCHANGE) {
                        const int selected = int(SendMessageW(computer_, CB_GETCURSEL, 0, 0));
                        const std::vector<std::wstring> items = Items();
                        UpdateOk(selected >= 0 && selected < int(items.size()) ? items[size_t(selected)] : L"");
                    }
                    return 0;
            }
            break;
    }
    return Dialog::HandleMessage(msg, wp, lp);
}

}  // namespace pm
