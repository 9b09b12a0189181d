#pragma once
// One owner type for every kernel, registry, GDI and USER handle.
//
// A Unique<Traits> owns at most one handle, cannot be copied, and closes it when
// destroyed or reset. Closing keeps the thread's last-error value, so a caller can
// release a handle on a failure path and still read why the failure happened.

#include <windows.h>

#include <utility>

namespace pm {

template <class Traits>
class Unique {
public:
    using H = typename Traits::Handle;

    Unique() = default;
    explicit Unique(H h) : h_(h) {}
    Unique(Unique&& o) noexcept : h_(o.Release()) {}
    Unique& operator=(Unique&& o) noexcept {
        if (this != &o) Reset(o.Release());
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    ~Unique() { Reset(); }

    H Get() const { return h_; }
    explicit operator bool() const { return h_ != Traits::Invalid(); }
    [[nodiscard]] H Release() { return std::exchange(h_, Traits::Invalid()); }
    // For APIs that return the handle through an out-parameter: RegOpenKeyExW(..., key.Put()).
    H* Put() {
        Reset();
        return &h_;
    }
    void Reset(H h = Traits::Invalid()) {
        if (h_ != Traits::Invalid()) {
            const DWORD error = GetLastError();
            Traits::Close(h_);
            SetLastError(error);
        }
        h_ = h;
    }

private:
    H h_ = Traits::Invalid();
};

struct HandleTraits {  // events, mutexes, threads, completion ports: null when invalid
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { CloseHandle(h); }
};

struct FileTraits {  // CreateFileW, CreateNamedPipeW: INVALID_HANDLE_VALUE when invalid
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { CloseHandle(h); }
};

struct KeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { RegCloseKey(h); }
};

struct ModuleTraits {  // LoadLibraryW
    using Handle = HMODULE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { FreeLibrary(h); }
};

struct IconTraits {
    using Handle = HICON;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { DestroyIcon(h); }
};

struct MenuTraits {
    using Handle = HMENU;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { DestroyMenu(h); }
};

struct GdiTraits {  // fonts, brushes, bitmaps
    using Handle = HGDIOBJ;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { DeleteObject(h); }
};

using UniqueHandle = Unique<HandleTraits>;
using UniqueFile = Unique<FileTraits>;
using UniqueKey = Unique<KeyTraits>;
using UniqueModule = Unique<ModuleTraits>;
using UniqueIcon = Unique<IconTraits>;
using UniqueMenu = Unique<MenuTraits>;
using UniqueGdi = Unique<GdiTraits>;

}  // namespace pm
