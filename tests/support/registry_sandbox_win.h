#pragma once
// Redirects this process's HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE to fresh, empty
// keys for the life of the object, and deletes them afterwards, so a test sees only
// what it wrote and a run leaves nothing behind.

#include <windows.h>

#include <string>

#include "support/unique_win.h"

namespace pm::test {

class RegistrySandbox {
public:
    RegistrySandbox() {
        static int serial = 0;
        base_ = L"Software\\PrintMirovantTests\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(++serial);
        Create(L"\\HKCU", user_);
        Create(L"\\HKLM", machine_);
        // The computer's name stays readable: the system names accounts with it.
        CopyMachineKey(L"System\\CurrentControlSet\\Control\\ComputerName");
        RegOverridePredefKey(HKEY_CURRENT_USER, user_.Get());
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_.Get());
    }
    ~RegistrySandbox() {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        user_.Reset();
        machine_.Reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, base_.c_str());
    }
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

private:
    void Create(const wchar_t* leaf, UniqueKey& key) {
        const std::wstring path = base_ + leaf;
        RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(), nullptr);
    }

    void CopyMachineKey(const wchar_t* path) {
        UniqueKey from, to;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, from.Put()) != ERROR_SUCCESS) return;
        if (RegCreateKeyExW(machine_.Get(), path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, to.Put(), nullptr) ==
            ERROR_SUCCESS)
            RegCopyTreeW(from.Get(), nullptr, to.Get());
    }

    std::wstring base_;
    UniqueKey user_, machine_;
};

}  // namespace pm::test
