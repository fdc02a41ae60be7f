// The data tools' command lines: --help and -h print the usage and succeed,
// an unknown option or a missing argument prints it and exits 2, and neither
// writes anything. Also what `quillon-tracks at` says far past the last key,
// what `dump` refuses, and the sources `compile` refuses to write.
#include "program_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class ToolArguments : public testing::Test {
protected:
    void SetUp() override { fs::create_directories(scratch / "work"); }

    // Runs the tool in the empty folder work/.
    Ran run(const std::string& tool, const std::vector<std::string>& arguments)
    {
        return runProgram({.path = QUILLON_BINARY_DIR "/tools/" + tool, .arguments = arguments,
                           .workingDir = scratch / "work"});
    }
    bool wroteNothing() const { return fs::is_empty(scratch / "work"); }

    const ScratchDir folder{"tool_args"};
    const fs::path scratch = folder.dir;
};

} // namespace

TEST_F(ToolArguments, HelpSucceedsAndBadOptionsExitTwoWithoutWriting)
{
    const char* tools[] = {"imagegen/quillon-imagegen", "soundtrack/quillon-soundtrack",
                           "tracks/quillon-tracks"};
    for (const char* tool : tools) {
        for (const char* help : {"--help", "-h"}) {
            const Ran ran = run(tool, {help});
            EXPECT_EQ(ran.status, 0) << tool << " " << help << "\n" << ran.err;
            EXPECT_EQ(ran.out.rfind("usage: ", 0), 0u) << tool << "\n" << ran.out;
            EXPECT_TRUE(wroteNothing()) << tool << " " << help;
        }
        const Ran unknown = run(tool, {"--bogus", "out"});
        EXPECT_EQ(unknown.status, 2) << tool;
        EXPECT_NE((unknown.out + unknown.err).find("usage: "), std::string::npos) << tool;
        EXPECT_TRUE(wroteNothing()) << tool << " --bogus";
    }
    // Missing arguments: the folder, the event file, the time, an option's value.
    EXPECT_EQ(run("imagegen/quillon-imagegen", {}).status, 2);
    EXPECT_EQ(run("soundtrack/quillon-soundtrack", {"out.mp3"}).status, 2);
    EXPECT_EQ(run("tracks/quillon-tracks", {"at"}).status, 2);
    EXPECT_EQ(run("tracks/quillon-tracks", {"compile", "--source"}).status, 2);
    EXPECT_EQ(run("tracks/quillon-tracks", {"compile", "-x"}).status, 2);
    EXPECT_TRUE(wroteNothing());
}

TEST_F(ToolArguments, TracksAtAHugeTimeReadsTheLastKeys)
{
    // A time whose row does not fit an int reads past every key, like any
    // time after the last one, not before the first.
    const std::string base = QUILLON_SOURCE_DIR "/sync/sync";
    const Ran late = run("tracks/quillon-tracks", {"at", "100000", "--base", base});
    const Ran huge = run("tracks/quillon-tracks", {"at", "1e12", "--base", base});
    const Ran early = run("tracks/quillon-tracks", {"at", "-1e12", "--base", base});
    ASSERT_EQ(late.status, 0) << late.err;
    ASSERT_EQ(huge.status, 0) << huge.err;
    ASSERT_EQ(early.status, 0) << early.err;
    const auto values = [](const std::string& out) { return out.substr(out.find('\n')); };
    EXPECT_EQ(values(huge.out), values(late.out));
    EXPECT_EQ(values(early.out), values(run("tracks/quillon-tracks", {"at", "-5", "--base", base}).out));
    EXPECT_NE(values(early.out), values(late.out));
}

TEST_F(ToolArguments, TracksDumpRefusesWhatIsNotATrackFile)
{
    fs::create_directory(scratch / "sync_3.track");
    fs::create_symlink("/dev/zero", scratch / "sync_4.track");
    const Ran folder = run("tracks/quillon-tracks", {"dump", scratch / "sync_3.track"});
    EXPECT_EQ(folder.status, 1);
    EXPECT_NE(folder.err.find("not a regular file"), std::string::npos) << folder.err;
    // A device reads for ever; it is refused before any reading.
    const Ran device = run("tracks/quillon-tracks", {"dump", scratch / "sync_4.track"});
    EXPECT_EQ(device.status, 1);
    EXPECT_NE(device.err.find("not a regular file"), std::string::npos) << device.err;
}

TEST_F(ToolArguments, TracksCompileRefusesACutOrEmptiedSourceAndWritesNothing)
{
    const fs::path work = scratch / "work";
    const std::string whole = readFile(QUILLON_SOURCE_DIR "/sync/production.timeline");
    std::ofstream(work / "whole.timeline", std::ios::binary) << whole;
    const std::vector<std::string> compile = {"compile", "--source", "whole.timeline", "--base", "sync",
                                              "--events", QUILLON_SOURCE_DIR "/sync/events.txt"};
    const Ran first = run("tracks/quillon-tracks", compile);
    ASSERT_EQ(first.status, 0) << first.err;
    const std::string before = readFile(work / "sync_9.track") + readFile(work / "sync_49.track");
    ASSERT_FALSE(before.empty());
    // Cut a third of the way in, cut just before its end line, emptied.
    for (const std::string& text : {whole.substr(0, whole.size() / 3), whole.substr(0, whole.rfind("end")),
                                    std::string()}) {
        std::ofstream(work / "whole.timeline", std::ios::binary | std::ios::trunc) << text;
        const Ran ran = run("tracks/quillon-tracks", compile);
        EXPECT_EQ(ran.status, 1) << text.size() << " bytes";
        EXPECT_NE(ran.err.find("whole.timeline:"), std::string::npos) << ran.err;
        EXPECT_EQ(readFile(work / "sync_9.track") + readFile(work / "sync_49.track"), before);
    }
    // Emptying a track on purpose: its header alone, with the end line.
    std::string emptied = whole;
    const size_t block = emptied.find("\ntrack 49 ") + 1;
    emptied.erase(emptied.find('\n', block), emptied.find("\nend", block) - emptied.find('\n', block));
    std::ofstream(work / "whole.timeline", std::ios::binary | std::ios::trunc) << emptied;
    const Ran kept = run("tracks/quillon-tracks", compile);
    EXPECT_EQ(kept.status, 0) << kept.err;
    EXPECT_EQ(readFile(work / "sync_49.track"), std::string(4, '\0'));
    // Leaving its block out altogether is refused: the track has keys today.
    const size_t header = emptied.find("\ntrack 49 ") + 1;
    emptied.erase(header, emptied.find('\n', header) + 1 - header);
    std::ofstream(work / "whole.timeline", std::ios::binary | std::ios::trunc) << emptied;
    std::ofstream(work / "sync_49.track", std::ios::binary | std::ios::trunc) << readFile(work / "sync_9.track");
    const Ran dropped = run("tracks/quillon-tracks", compile);
    EXPECT_EQ(dropped.status, 1);
    EXPECT_NE(dropped.err.find("no block for tracks that have keys in sync_N.track: 49;"), std::string::npos)
        << dropped.err;
}
