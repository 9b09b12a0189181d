#include "about/build_number.h"

namespace pm {

std::wstring BuildNumberFromFileVersion(std::wstring_view fileVersion) {
    for (int i = 0; i < 3; ++i) {
        const size_t point = fileVersion.find(L'.');
        if (point == std::wstring_view::npos) break;
        fileVersion.remove_prefix(point + 1);
    }
    return std::wstring(fileVersion);
}

std::wstring VersionText(std::wstring_view productVersion, std::wstring_view fileVersion) {
    if (fileVersion.empty()) return std::wstring(productVersion);
    return std::wstring(productVersion) + L" (build " + BuildNumberFromFileVersion(fileVersion) + L")";
}

}  // namespace pm
