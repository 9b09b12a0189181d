#include "account/query_account_win.h"

#include <windows.h>

#include <vector>

#include "pipes/message_codes.h"
#include "pipes/name_blocks.h"
#include "pipes/pipe_names.h"
#include "pipes/pipe_transport_win.h"

namespace pm {
namespace {

// One exchange: code (and block), the acknowledgement, then a record read into a
// zero-filled buffer (a shorter reply leaves the rest zero).
bool Exchange(const std::wstring& pipeName, uint32_t request, const std::vector<uint8_t>& block,
              std::vector<uint8_t>& record) {
    UniqueFile pipe;
    if (!OpenPipe(pipeName, pipe)) return false;
    std::fill(record.begin(), record.end(), 0);
    return WriteCode(pipe.Get(), request) &&
           (block.empty() || WritePipe(pipe.Get(), block.data(), DWORD(block.size()))) &&
           ExpectCode(pipe.Get(), code::kAck) && ReadPipe(pipe.Get(), record.data(), DWORD(record.size()));
}

}  // namespace

std::wstring& CurrentPrintServer() {
    static std::wstring server;
    return server;
}

std::optional<AccountSummary> QueryAccountOn(const std::wstring& pipeName, const std::wstring& user) {
    std::vector<uint8_t> settings(kServerSettingsSize), defaults(kAccountRecordSize), mine(kAccountRecordSize);
    const UserBlock block = EncodeUserBlock(user);
    if (!Exchange(pipeName, code::kServerSettings, {}, settings) ||
        !Exchange(pipeName, code::kDefaultAccount, {}, defaults) ||
        !Exchange(pipeName, code::kUserAccount, std::vector<uint8_t>(block.begin(), block.end()), mine))
        return std::nullopt;
    return DeriveAccountSummary(DecodeAccountsInMoney(settings), DecodeAccountRecord(defaults),
                                DecodeAccountRecord(mine));
}

std::optional<AccountSummary> QueryAccount(const std::wstring& server, const std::wstring& user) {
    return QueryAccountOn(ServerPipeName(server), user);
}

}  // namespace pm
