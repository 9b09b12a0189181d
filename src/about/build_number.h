#pragma once

#include <string>
#include <string_view>

namespace pm {

// The build number of a file version such as "2.1.0.57": everything up to and
// including the first "." is removed, three times in a row ("57"). With fewer
// points only what precedes the last one goes ("2.1" gives "1"); without a point
// the text is taken whole.
std::wstring BuildNumberFromFileVersion(std::wstring_view fileVersion);

// The version text of the about window: "2.1 (build 57)", or the bare product
// version without a file version.
std::wstring VersionText(std::wstring_view productVersion, std::wstring_view fileVersion);

}  // namespace pm
