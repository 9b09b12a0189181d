#include "support/com_win.h"

#include <objbase.h>

namespace pm {
namespace {

// Per thread: not asked yet, started (each start is ended once), or unusable (a
// thread already in the other threading model still has COM, and is not ended here).
enum class ComState { NotAsked, Started, Unusable, InOtherModel };
thread_local ComState state = ComState::NotAsked;

}  // namespace

bool UseCom() {
    if (state == ComState::NotAsked) {
        const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        state = SUCCEEDED(result)              ? ComState::Started
                : result == RPC_E_CHANGED_MODE ? ComState::InOtherModel
                                               : ComState::Unusable;
    }
    return state == ComState::Started || state == ComState::InOtherModel;
}

void EndCom() {
    if (state == ComState::Started) CoUninitialize();
    state = ComState::NotAsked;
}

}  // namespace pm
