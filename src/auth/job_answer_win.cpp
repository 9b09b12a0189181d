#include "auth/job_answer_win.h"

#include <windows.h>

#include <atomic>
#include <memory>

#include "auth/print_servers.h"
#include "pipes/pipe_names.h"
#include "pipes/pipe_transport_win.h"
#include "support/code_page_win.h"
#include "support/error_log_win.h"
#include "support/machine_settings_win.h"
#include "support/names_win.h"
#include "support/product.h"
#include "support/registry_win.h"
#include "support/thread_pool_win.h"

namespace pm {

std::wstring JobAnswerPipeName(const RequestRecord& record) {
    const std::wstring server = ThroughCodePage(record.ServerComputer, GetACP());
    return IsPlainComputerName(server) ? ServerPipeName(server) : std::wstring();
}

void SendJobAnswerTo(const std::wstring& pipeName, const RequestRecord& record, JobAction action) {
    UniqueFile pipe;
    if (!OpenPipe(pipeName, pipe)) return;
    const JobAnswerParts answer = MakeJobAnswer(record, action);
    const uint8_t jobId[4] = {uint8_t(answer.jobId), uint8_t(answer.jobId >> 8), uint8_t(answer.jobId >> 16),
                              uint8_t(answer.jobId >> 24)};
    WriteCode(pipe.Get(), answer.code);
    WritePipe(pipe.Get(), answer.printer.data(), DWORD(answer.printer.size()));
    WritePipe(pipe.Get(), jobId, sizeof jobId);
    WriteCode(pipe.Get(), answer.action);
    WriteCode(pipe.Get(), answer.trailer);
}

bool PrintServerPermitted(const std::wstring& server) {
    const auto list = MachineString(kPrintServersValue);
    if (list.status == reg::ReadStatus::Missing) return true;
    // A list nobody can read restricts as much as a list can: to nothing.
    return list.Ok() && PrintServerAllowed(list.value, server, ThisComputer());
}

bool UnattendedAnswerAllowed(const std::wstring& server) {
    const auto list = MachineString(kPrintServersValue);
    const bool listed = list.status != reg::ReadStatus::Missing &&
                        !(list.Ok() && ParsePrintServers(list.value, ThisComputer()).empty());
    if (listed) return PrintServerPermitted(server);
    std::wstring chosen;
    if (const UniqueKey key = reg::OpenKey(HKEY_CURRENT_USER, kProductKey, reg::Access::Read)) {
        if (const auto value = reg::ReadString(key.Get(), L"AccInfoServer"); value.Ok()) chosen = value.value;
    }
    return PrintServerAllowed(L".;" + chosen, server, ThisComputer());
}

namespace {

struct QueuedAnswer {
    RequestRecord record;
    JobAction action;
};

std::atomic<int> pendingAnswers{0};

TThreadPool& AnswerPool() {
    // Never destroyed: an answer on its way at exit is waited for by FinishJobAnswers,
    // not by a destructor that could hang the exit on an unreachable computer.
    static TThreadPool* pool = new TThreadPool(2, [](uintptr_t item, TSimpleThread&) {
        const std::unique_ptr<QueuedAnswer> answer(reinterpret_cast<QueuedAnswer*>(item));
        SendJobAnswer(answer->record, answer->action);
        --pendingAnswers;
    });
    return *pool;
}

}  // namespace

void SendJobAnswerInBackground(const RequestRecord& record, JobAction action) {
    ++pendingAnswers;
    AnswerPool().Post(reinterpret_cast<uintptr_t>(new QueuedAnswer{record, action}));
}

void FinishJobAnswers(unsigned milliseconds) {
    const ULONGLONG end = GetTickCount64() + milliseconds;
    while (pendingAnswers > 0 && GetTickCount64() < end)
        Sleep(20);
}

void SendJobAnswer(const RequestRecord& record, JobAction action) {
    if (!PrintServerPermitted(record.ServerComputer)) {
        LogError(kLogServerNotAllowed, 0, L"JobAnswer: print server not allowed: " + record.ServerComputer);
        return;
    }
    const std::wstring pipeName = JobAnswerPipeName(record);
    if (pipeName.empty()) {
        LogError(kLogBadServerName, 0, L"JobAnswer: server name refused: " + record.ServerComputer);
        return;
    }
    SendJobAnswerTo(pipeName, record, action);
}

}  // namespace pm
