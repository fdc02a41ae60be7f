// The code's track names, the timeline's and sync/TRACKS.md's are one list.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "sync/track_names.h"

namespace {

std::string readSource(const char* relative)
{
    std::ifstream in(std::string(QUILLON_SOURCE_DIR) + "/" + relative);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// "scene2Overlay" and "scene2_overlay" both read "scene2overlay".
std::string folded(const std::string& name)
{
    std::string out;
    for (char c : name)
        if (c != '_') out += char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

} // namespace

TEST(TrackNames, TheTableTheHeaderAndTracksMdAgree)
{
    // Every row of the track table in TRACKS.md (the file's first section)
    // names its track as the timeline does.
    std::string doc = readSource("sync/TRACKS.md");
    doc = doc.substr(0, doc.find("\n## "));
    const std::regex row(R"(\n\| (\d+) \| (\w+) \|)");
    std::set<int> documented;
    for (auto it = std::sregex_iterator(doc.begin(), doc.end(), row); it != std::sregex_iterator(); ++it) {
        const int index = std::stoi((*it)[1]);
        ASSERT_LT(index, trackCount);
        EXPECT_EQ((*it)[2].str(), trackNames[index]) << "track " << index;
        documented.insert(index);
    }
    // The free tracks at the end share one row.
    const std::smatch freeRow = [&] {
        std::smatch m;
        std::regex_search(doc, m, std::regex(R"(\n\| (\d+) – (\d+) \| free_(\d+) … free_(\d+) \|)"));
        return m;
    }();
    ASSERT_FALSE(freeRow.empty()) << "no row for the free tracks";
    for (int index = std::stoi(freeRow[1]); index <= std::stoi(freeRow[2]); ++index) {
        EXPECT_EQ("free_" + std::to_string(index), trackNames[index]);
        documented.insert(index);
    }
    EXPECT_EQ(documented.size(), size_t(trackCount));

    // Each name the code indexes with spells its track's timeline name.
    const std::string header = readSource("src/sync/track_names.h");
    const std::regex enumerator(R"(\n    (\w+) = (\d+),)");
    std::set<int> named;
    for (auto it = std::sregex_iterator(header.begin(), header.end(), enumerator);
         it != std::sregex_iterator(); ++it) {
        const int index = std::stoi((*it)[2]);
        ASSERT_LT(index, trackCount);
        EXPECT_EQ(folded((*it)[1]), folded(trackNames[index])) << "track " << index;
        EXPECT_TRUE(named.insert(index).second) << "track " << index << " named twice";
    }
    EXPECT_EQ(named.size(), 52u);
}
