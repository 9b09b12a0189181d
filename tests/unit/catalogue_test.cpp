#include "i18n/catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <string_view>

namespace pm {
namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

std::string Narrow(const wchar_t* text) {
    std::string out;
    for (; *text; ++text)
        out += char(*text);  // the catalogue is ASCII
    return out;
}

// section|key (lower case) -> value, from the shipped template.
std::map<std::string, std::string> ReadTemplate() {
    std::ifstream in(PM_SOURCE_DIR "/lang/Template.lng", std::ios::binary);
    std::map<std::string, std::string> entries;
    std::string line, section;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            section = Lower(line.substr(1, line.find(']') - 1));
            continue;
        }
        const size_t eq = line.find('=');
        std::string value = line.substr(eq + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        entries[section + "|" + Lower(line.substr(0, eq))] = value;
    }
    return entries;
}

TEST(Catalogue, TemplateAndCatalogueAgreeBothWays) {
    const auto entries = ReadTemplate();
    ASSERT_FALSE(entries.empty());
    std::set<std::string> keys;
    for (const TextKey& text : AllTexts()) {
        const std::string id = Lower(Narrow(text.section)) + "|" + Lower(Narrow(text.key));
        keys.insert(id);
        const auto found = entries.find(id);
        ASSERT_NE(found, entries.end()) << id << " is missing from lang/Template.lng";
        // CaptionProfessional has two built-in texts; the template carries the tray's.
        if (std::wstring_view(text.defaultText) != text::kCaptionProfessionalAbout.defaultText) {
            EXPECT_EQ(found->second, Narrow(text.defaultText)) << id;
        }
    }
    for (const auto& [id, value] : entries)
        EXPECT_TRUE(keys.count(id)) << id << " is not in the catalogue";
}

TEST(Catalogue, OkIsOneKeyWhateverItsSpelling) {
    int okEntries = 0;
    for (const TextKey& text : AllTexts())
        okEntries += Lower(Narrow(text.key)) == "strok";
    EXPECT_EQ(okEntries, 1);
}

}  // namespace
}  // namespace pm
