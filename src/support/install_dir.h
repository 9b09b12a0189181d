#pragma once
// The installation directory rule, apart from the registry and the file system.

#include <optional>
#include <string>
#include <string_view>

namespace pm {

// The folder part of a full path, up to and including its last "\" ("" without one).
std::wstring DirectoryOf(std::wstring_view path);

// `configured` is the "Install Directory" value when the product key opened and the
// value was read (std::nullopt otherwise). A missing or empty value gives the folder
// of the executable. The result always ends with "\".
std::wstring InstallDirectoryFrom(const std::optional<std::wstring>& configured, std::wstring_view exePath);

}  // namespace pm
