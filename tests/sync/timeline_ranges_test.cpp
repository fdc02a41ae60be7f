// The timeline's numbers stay inside the integers they become: values out of
// range are file:line errors, never overflows; and a compile that cannot
// replace every track file replaces none.
#include "sync/tracks_events.h"
#include "sync/tracks_source.h"
#include "sync/tracks_text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::vector<std::string> eventErrors(const std::string& text)
{
    EventFile events;
    std::vector<std::string> errors;
    parseEventText(text, "ev.txt", events, errors);
    return errors;
}

} // namespace

TEST(TimelineRanges, EventNumbersOutOfRangeAreErrorsAtTheirLine)
{
    // Tempo lines so far apart that the bar count passes an int, a tempo
    // and a bar length past any music, a time past 2^30 rows.
    std::vector<std::string> errors = eventErrors("tempo 0 9000 1\ntempo 6e7 120 4\n");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("ev.txt:2: this tempo line starts bar ", 0), 0u) << errors[0];

    errors = eventErrors("tempo 0 1e300 4\ntempo 1 120 1e300\nkick 1e300\nkick -7e7\nkick 6e7\n");
    ASSERT_EQ(errors.size(), 4u);
    EXPECT_EQ(errors[0].rfind("ev.txt:1: tempo out of range", 0), 0u) << errors[0];
    EXPECT_EQ(errors[1].rfind("ev.txt:2: tempo out of range", 0), 0u) << errors[1];
    EXPECT_EQ(errors[2].rfind("ev.txt:3: time 1e300 is out of range", 0), 0u) << errors[2];
    EXPECT_EQ(errors[3].rfind("ev.txt:4: ", 0), 0u) << errors[3];

    // Bars past the last number, both ways between times and bars.
    EventFile events;
    ASSERT_TRUE(parseEventText("tempo 0 120 4\n", "ev.txt", events, errors));
    double seconds = 0.0;
    std::string why;
    EXPECT_FALSE(secondsAtBarBeat(events, maxBarNumber + 1, 1.0, seconds, why));
    EXPECT_TRUE(secondsAtBarBeat(events, maxBarNumber, 1.0, seconds, why)) << why;
    int bar = 0;
    double beat = 0.0;
    EXPECT_FALSE(barBeatAtSeconds(events, 1e300, bar, beat));
    EXPECT_TRUE(barBeatAtSeconds(events, 60.0, bar, beat));
    EXPECT_EQ(bar, 31);
}

TEST(TimelineRanges, CompileThatCannotReplaceTheSixthFileLeavesTheFirstFiveUntouched)
{
    const fs::path dir = fs::temp_directory_path() / ("quillon_ranges_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string base = (dir / "sync").string();
    std::vector<std::string> errors;
    const auto compile = [&](const std::string& text) {
        const std::string source = (dir / "a.timeline").string();
        std::ofstream(source, std::ios::binary | std::ios::trunc) << text << "end\n";
        errors.clear();
        return compileTimeline(CompileOptions{source, "", base}, errors);
    };
    ASSERT_TRUE(compile("track 0\n  0s 1\ntrack 4\n  0s 2\n"));
    std::string before[5];
    for (int t = 0; t < 5; ++t) ASSERT_TRUE(readWholeFile(trackFilePath(base, std::to_string(t)), before[t]));

    // Track 5's file is a folder: a rename onto it would fail after tracks
    // 0 to 4 had been replaced.
    fs::remove(trackFilePath(base, "5"));
    fs::create_directory(trackFilePath(base, "5"));
    EXPECT_FALSE(compile("track 0\n  0s 7\ntrack 4\n  0s 8\n"));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("sync_5.track"), std::string::npos) << errors[0];
    EXPECT_NE(errors[0].find("no track file was replaced"), std::string::npos) << errors[0];
    for (int t = 0; t < 5; ++t) {
        std::string after;
        ASSERT_TRUE(readWholeFile(trackFilePath(base, std::to_string(t)), after));
        EXPECT_EQ(after, before[t]) << "track " << t;
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
    fs::remove_all(dir);
}
