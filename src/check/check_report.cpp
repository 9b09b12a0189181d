#include "check/check_report.h"

#include <algorithm>

namespace pm {

std::wstring FormatCheckLine(const CheckLine& line) {
    std::wstring text = (line.ok ? L"OK   " : L"FAIL ") + line.what + L": " + line.detail;
    for (wchar_t& c : text) {
        if (c < L' ' || c == 0x7F) c = L'?';
    }
    return text;
}

int CheckExitCode(std::span<const CheckLine> lines) {
    const bool allOk =
        !lines.empty() && std::all_of(lines.begin(), lines.end(), [](const CheckLine& l) { return l.ok; });
    return allOk ? 0 : 1;
}

std::vector<AccessGrant> GrantsBeyond(std::span<const AccessGrant> grants, std::span<const std::wstring> trusted,
                                      uint32_t limit) {
    std::vector<AccessGrant> beyond;
    for (const AccessGrant& grant : grants) {
        if (std::find(trusted.begin(), trusted.end(), grant.sid) != trusted.end()) continue;
        if (grant.mask & ~limit) beyond.push_back(grant);
    }
    return beyond;
}

}  // namespace pm
