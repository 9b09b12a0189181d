#pragma once
// What the self-check reports: a header (what was checked, where and when), then one
// line per check, "OK", "WARN" or "FAIL" first, then what was checked and the figure
// or the reason; and the program's exit code. The same report as text or as JSON.

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace pm {

// WARN: it works, but not as recommended. Only FAIL changes the exit code.
enum class CheckLevel { Ok, Warn, Fail };

struct CheckLine {
    CheckLevel result = CheckLevel::Fail;
    std::wstring what;    // a fixed English label, e.g. "print server pipe"
    std::wstring detail;  // the figure, or why it failed
};

// One line of the header: a label ("Windows") and its value.
using HeaderField = std::pair<std::wstring, std::wstring>;

// "OK   what: detail", "WARN what: detail" or "FAIL what: detail". Control characters
// (a registry value may hold a line break) are shown as "?", so one check is always
// one line.
std::wstring FormatCheckLine(const CheckLine& line);

// The header's "label: value" lines, an empty line, then every check, each line
// ended by CR LF.
std::wstring FormatReport(std::span<const HeaderField> header, std::span<const CheckLine> lines);

// The same report as one JSON object:
// {"header":{"label":"value",...},"checks":[{"check":..,"result":"OK","detail":..}],"exitCode":0}
std::wstring FormatJsonReport(std::span<const HeaderField> header, std::span<const CheckLine> lines);

// 0 when there are lines and none of them FAIL, else 1.
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
