// The windowed build's live timeline: a settled save swaps new keys into the
// playing tracks and writes the track files; a save with errors keeps both;
// a save still being written is waited for, not taken.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "app/live_timeline.h"
#include "app/overlay.h"
#include "assets/shader.h"
#include "sync/sync.h"
#include "sync/tracks_text.h"

namespace {

namespace fs = std::filesystem;

const char* const firstSource = "section 0s intro\ntrack 8 fade\n  0s 1 linear\n  10s 0.5\ntrack 40\nend\n";
const char* const editedSource = "section 0s intro\nsection 20s drop\ntrack 8 fade\n  0s 2\n"
                                 "track 40\n  0s 7\nend\n";

struct LiveTimeline : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("quillon_live_" + std::to_string(::getpid()));
    TimelineWatch watch;
    std::array<SyncTrack, 64> tracks;
    std::array<SyncTrack*, 64> trackPointers{};
    std::vector<std::string> messages;

    void SetUp() override
    {
        fs::remove_all(dir);
        fs::create_directories(dir);
        write(firstSource);
        std::vector<std::string> errors;
        ASSERT_TRUE(compileTimeline(options(), errors));
        SyncDevice device;
        device.basePath = base();
        for (int t = 0; t < 64; ++t) {
            tracks[t].name = std::to_string(t);
            loadTrackFile(device, tracks[t]);
            trackPointers[t] = &tracks[t];
        }
        beginTimelineWatch(watch, options());
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string source() const { return (dir / "production.timeline").string(); }
    std::string base() const { return (dir / "sync").string(); }
    CompileOptions options() const { return CompileOptions{source(), "", base()}; }
    void write(const std::string& text, std::ios::openmode mode = std::ios::trunc) const
    {
        std::ofstream(source(), std::ios::binary | mode) << text;
    }
    // Polls as a frame would `after` seconds past the source's last change.
    TimelinePoll pollAfter(double after)
    {
        const double saved = double(readFileStamp(source()).modified) * 1e-9;
        return pollTimelineFiles(watch, saved + after, trackPointers.data(), messages);
    }
    TimelinePoll pollSettled() { return pollAfter(timelineSettleSeconds * 2.0); }
    TimelinePoll pollAtOnce() { return pollAfter(0.0); }
    double value(int track, double seconds) const { return getSyncValue(&tracks[track], seconds * 16.0); }
    std::string trackFile(int track) const
    {
        std::string bytes;
        readWholeFile(trackFilePath(base(), std::to_string(track)), bytes);
        return bytes;
    }
};

} // namespace

TEST_F(LiveTimeline, SettledEditReachesTheTracksAndTheFiles)
{
    EXPECT_EQ(watch.sectionStarts, std::vector<double>{0.0});
    EXPECT_EQ(pollSettled(), TimelinePoll::Unchanged);
    EXPECT_EQ(value(8, 5.0), 0.75);

    write(editedSource);
    EXPECT_EQ(pollSettled(), TimelinePoll::Reloaded);
    EXPECT_EQ(messages, std::vector<std::string>{});
    EXPECT_EQ(value(8, 5.0), 2.0);
    EXPECT_EQ(value(40, 1.0), 7.0);
    EXPECT_EQ(watch.sectionStarts, (std::vector<double>{0.0, 20.0}));
    // The files now hold what the tool would have compiled.
    const std::string written = trackFile(40);
    std::vector<std::string> errors;
    ASSERT_TRUE(compileTimeline(options(), errors));
    EXPECT_EQ(trackFile(40), written);
    EXPECT_EQ(pollSettled(), TimelinePoll::Unchanged);
}

TEST_F(LiveTimeline, EditWithAnErrorKeepsTracksAndFiles)
{
    const std::string before = trackFile(8);
    const auto stamp = fs::last_write_time(trackFilePath(base(), "8"));
    write("track 8 fade\n  0s 3\n  1s oops\n");
    EXPECT_EQ(pollSettled(), TimelinePoll::Rejected);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].rfind(source() + ":3: ", 0), 0u) << messages[0];
    EXPECT_EQ(value(8, 5.0), 0.75);
    EXPECT_EQ(trackFile(8), before);
    EXPECT_EQ(fs::last_write_time(trackFilePath(base(), "8")), stamp);
    for (const fs::directory_entry& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
    // Reported once, not every frame; the readout keeps showing the error
    // until a good save replaces it.
    messages.clear();
    EXPECT_EQ(pollSettled(), TimelinePoll::Unchanged);
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(watch.errors.size(), 1u);
    Overlay overlay;
    formatOverlayText(OverlayReadout{}, watch.errors, ShaderRegistry{}, overlay.text, sizeof overlay.text);
    EXPECT_NE(std::string(overlay.text).find("\n" + source() + ":3: "), std::string::npos) << overlay.text;
    write(editedSource);
    EXPECT_EQ(pollSettled(), TimelinePoll::Reloaded);
    EXPECT_TRUE(watch.errors.empty());
}

TEST_F(LiveTimeline, SaveWrittenInTwoStepsIsTakenWhole)
{
    // The editor has written half: cut inside a key, then at a line end
    // (which alone would compile, without track 40).
    const std::string text = editedSource;
    const size_t cuts[] = {text.find("  0s 7") + 3, text.find("track 40")};
    for (size_t cut : cuts) {
        write("");
        EXPECT_EQ(pollAtOnce(), TimelinePoll::Settling);
        write(text.substr(0, cut));
        EXPECT_EQ(pollAtOnce(), TimelinePoll::Settling);
        write(text.substr(cut), std::ios::app);
        EXPECT_EQ(pollSettled(), TimelinePoll::Reloaded);
        EXPECT_EQ(messages, std::vector<std::string>{});
        EXPECT_EQ(value(40, 1.0), 7.0);
        write(firstSource);
        EXPECT_EQ(pollSettled(), TimelinePoll::Reloaded);
        EXPECT_EQ(value(40, 1.0), 0.0);
    }
    // An empty file is a save not yet written, however long it stays.
    write("");
    EXPECT_EQ(pollSettled(), TimelinePoll::Settling);
    EXPECT_EQ(value(8, 5.0), 0.75);
}
