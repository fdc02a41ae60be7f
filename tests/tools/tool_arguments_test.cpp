// The data tools' command lines: --help and -h print the usage and succeed,
// an unknown option or a missing argument prints it and exits 2, and neither
// writes anything. Also what `quillon-tracks at` says far past the last key.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct Ran {
    int status = -1;  // exit status; -1 when it did not exit normally
    std::string out;
    std::string err;
};

std::string readAll(const fs::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class ToolArguments : public testing::Test {
protected:
    void SetUp() override
    {
        scratch = fs::temp_directory_path() / ("quillon_tool_args_" + std::to_string(getpid()));
        fs::remove_all(scratch);
        fs::create_directories(scratch / "work");
    }
    void TearDown() override { fs::remove_all(scratch); }

    // Runs the tool in the empty folder work/, its output kept beside it.
    Ran run(const std::string& tool, const std::string& arguments)
    {
        const std::string command = "cd '" + (scratch / "work").string() + "' && exec '" +
                                    QUILLON_BINARY_DIR + "/tools/" + tool + "' " + arguments +
                                    " > ../out.txt 2> ../err.txt";
        const int raw = std::system(command.c_str());
        Ran ran;
        if (WIFEXITED(raw)) ran.status = WEXITSTATUS(raw);
        ran.out = readAll(scratch / "out.txt");
        ran.err = readAll(scratch / "err.txt");
        return ran;
    }
    bool wroteNothing() const { return fs::is_empty(scratch / "work"); }

    fs::path scratch;
};

} // namespace

TEST_F(ToolArguments, HelpSucceedsAndBadOptionsExitTwoWithoutWriting)
{
    const char* tools[] = {"imagegen/quillon-imagegen", "soundtrack/quillon-soundtrack",
                           "tracks/quillon-tracks"};
    for (const char* tool : tools) {
        for (const char* help : {"--help", "-h"}) {
            const Ran ran = run(tool, help);
            EXPECT_EQ(ran.status, 0) << tool << " " << help << "\n" << ran.err;
            EXPECT_EQ(ran.out.rfind("usage: ", 0), 0u) << tool << "\n" << ran.out;
            EXPECT_TRUE(wroteNothing()) << tool << " " << help;
        }
        const Ran unknown = run(tool, "--bogus out");
        EXPECT_EQ(unknown.status, 2) << tool;
        EXPECT_NE((unknown.out + unknown.err).find("usage: "), std::string::npos) << tool;
        EXPECT_TRUE(wroteNothing()) << tool << " --bogus";
    }
    // Missing arguments: the folder, the event file, the time, an option's value.
    EXPECT_EQ(run("imagegen/quillon-imagegen", "").status, 2);
    EXPECT_EQ(run("soundtrack/quillon-soundtrack", "out.mp3").status, 2);
    EXPECT_EQ(run("tracks/quillon-tracks", "at").status, 2);
    EXPECT_EQ(run("tracks/quillon-tracks", "compile --source").status, 2);
    EXPECT_EQ(run("tracks/quillon-tracks", "compile -x").status, 2);
    EXPECT_TRUE(wroteNothing());
}

TEST_F(ToolArguments, TracksAtAHugeTimeReadsTheLastKeys)
{
    // A time whose row does not fit an int reads past every key, like any
    // time after the last one, not before the first.
    const std::string base = "--base '" + std::string(QUILLON_SOURCE_DIR) + "/sync/sync'";
    const Ran late = run("tracks/quillon-tracks", "at 100000 " + base);
    const Ran huge = run("tracks/quillon-tracks", "at 1e12 " + base);
    const Ran early = run("tracks/quillon-tracks", "at -1e12 " + base);
    ASSERT_EQ(late.status, 0) << late.err;
    ASSERT_EQ(huge.status, 0) << huge.err;
    ASSERT_EQ(early.status, 0) << early.err;
    const auto values = [](const std::string& out) { return out.substr(out.find('\n')); };
    EXPECT_EQ(values(huge.out), values(late.out));
    EXPECT_EQ(values(early.out), values(run("tracks/quillon-tracks", "at -5 " + base).out));
    EXPECT_NE(values(early.out), values(late.out));
}
