#pragma once
// The stand-in print server as a child process of a test, with its events file.

#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/process_win.h"
#include "support/temp_folder_win.h"

namespace pm::test {

class PrintServer {
public:
    // Starts `PrintServerSim.exe <command> --events <file> <arguments>`.
    bool Start(const std::wstring& command, const std::wstring& arguments) {
        return process_.Start(BuildFolder() + L"PrintServerSim.exe",
                              command + L" --events \"" + EventsPath() + L"\" " + arguments);
    }
    // Runs a one-shot command (push-job, push-text) to its end; its exit code.
    DWORD Run(const std::wstring& command, const std::wstring& arguments, DWORD milliseconds = 20000) {
        ChildProcess once;
        if (!once.Start(BuildFolder() + L"PrintServerSim.exe",
                        command + L" --events \"" + EventsPath() + L"\" " + arguments))
            return DWORD(-1);
        if (!once.WaitExit(milliseconds)) return DWORD(-2);
        return once.ExitCode();
    }

    std::wstring EventsPath() const { return folder_.Path() + L"events.jsonl"; }

    // Every event line so far.
    std::vector<std::string> Events() const {
        std::vector<std::string> lines;
        const std::string text = ReadWholeFile(EventsPath());
        size_t start = 0;
        for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(text.substr(start, end - start));
        return lines;
    }
    // The first event line that contains every one of `parts`, waiting for it.
    std::string WaitForEvent(std::initializer_list<std::string> parts,
                             std::chrono::milliseconds limit = std::chrono::seconds(10)) const {
        std::string found;
        WaitFor(
            [&] {
                for (const std::string& line : Events()) {
                    bool all = true;
                    for (const std::string& part : parts)
                        all = all && line.find(part) != std::string::npos;
                    if (all) {
                        found = line;
                        return true;
                    }
                }
                return false;
            },
            limit);
        return found;
    }
    size_t CountEvents(const std::string& part) const {
        size_t n = 0;
        for (const std::string& line : Events())
            n += line.find(part) != std::string::npos;
        return n;
    }

    ChildProcess& Process() { return process_; }

private:
    TempFolder folder_;
    ChildProcess process_;
};

}  // namespace pm::test
