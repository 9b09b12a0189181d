#pragma once
// What the self-check reports: one line per check, "OK" or "FAIL" first, then what
// was checked and the figure or the reason; and the program's exit code.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pm {

struct CheckLine {
    bool ok = false;
    std::wstring what;    // a fixed English label, e.g. "print server pipe"
    std::wstring detail;  // the figure, or why it failed
};

// "OK   what: detail" or "FAIL what: detail". Control characters (a registry value
// may hold a line break) are shown as "?", so one check is always one line.
std::wstring FormatCheckLine(const CheckLine& line);

// 0 when there are lines and every one is OK, else 1.
int CheckExitCode(std::span<const CheckLine> lines);

// One entry of an access list that allows `mask` to the account `sid` (as text).
struct AccessGrant {
    std::wstring sid;
    uint32_t mask = 0;
};

// The grants that give an account outside `trusted` any right beyond `limit`.
std::vector<AccessGrant> GrantsBeyond(std::span<const AccessGrant> grants, std::span<const std::wstring> trusted,
                                      uint32_t limit);

}  // namespace pm
