#include "check/check_report.h"

#include <algorithm>
#include <cwchar>

namespace pm {
namespace {

const wchar_t* ResultText(CheckLevel result) {
    switch (result) {
        case CheckLevel::Ok:
            return L"OK";
        case CheckLevel::Warn:
            return L"WARN";
        case CheckLevel::Fail:
            break;
    }
    return L"FAIL";
}

std::wstring OneLine(std::wstring text) {
    for (wchar_t& c : text) {
        if (c < L' ' || c == 0x7F) c = L'?';
    }
    return text;
}

// A JSON string: quotes, backslashes and control characters escaped; the rest as it is.
std::wstring JsonString(const std::wstring& text) {
    std::wstring out = L"\"";
    for (const wchar_t c : text) {
        if (c == L'"' || c == L'\\') {
            out += L'\\';
            out += c;
        } else if (c < L' ' || c == 0x7F) {
            wchar_t escaped[8];
            std::swprintf(escaped, 8, L"\\u%04x", unsigned(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + L"\"";
}

}  // namespace

std::wstring FormatCheckLine(const CheckLine& line) {
    std::wstring result = ResultText(line.result);
    result.resize(5, L' ');
    return OneLine(result + line.what + L": " + line.detail);
}

std::wstring FormatReport(std::span<const HeaderField> header, std::span<const CheckLine> lines) {
    std::wstring text;
    for (const auto& [label, value] : header)
        text += OneLine(label + L": " + value) + L"\r\n";
    if (!header.empty()) text += L"\r\n";
    for (const CheckLine& line : lines)
        text += FormatCheckLine(line) + L"\r\n";
    return text;
}

std::wstring FormatJsonReport(std::span<const HeaderField> header, std::span<const CheckLine> lines) {
    std::wstring json = L"{\"header\":{";
    for (size_t i = 0; i < header.size(); ++i)
        json += (i ? L"," : L"") + JsonString(header[i].first) + L":" + JsonString(header[i].second);
    json += L"},\"checks\":[";
    for (size_t i = 0; i < lines.size(); ++i) {
        json += (i ? L",{" : L"{") + std::wstring(L"\"check\":") + JsonString(lines[i].what) + L",\"result\":\"" +
                ResultText(lines[i].result) + L"\",\"detail\":" + JsonString(lines[i].detail) + L"}";
    }
    return json + L"],\"exitCode\":" + std::to_wstring(CheckExitCode(lines)) + L"}\r\n";
}

int CheckExitCode(std::span<const CheckLine> lines) {
    const bool anyFail =
        std::any_of(lines.begin(), lines.end(), [](const CheckLine& l) { return l.result == CheckLevel::Fail; });
    return !lines.empty() && !anyFail ? 0 : 1;
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
