// Runs the built quillon-capture from the repository root, as a user would.
#include <spawn.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <stb/stb_image.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

const char* const kCapture = QUILLON_BINARY_DIR "/tools/capture/quillon-capture";

// Exit status of the tool run with the arguments, its output sent to a log.
int runCapture(const std::vector<std::string>& args, const fs::path& log)
{
    std::vector<std::string> all{kCapture};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, kCapture, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Capture : public testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("quillon_capture_" + std::to_string(getpid()) + "_" +
               testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        log = dir / "log.txt";
    }
    void TearDown() override { fs::remove_all(dir); }

    // Fails the test with the tool's output when it did not exit as expected.
    void expectExit(int expected, const std::vector<std::string>& args)
    {
        const int status = runCapture(args, log);
        EXPECT_EQ(status, expected) << readFile(log);
    }

    fs::path dir;
    fs::path log;
};

} // namespace

TEST_F(Capture, SameTimeTwiceGivesIdenticalPngs)
{
    const fs::path a = dir / "a.png", b = dir / "b.png";
    expectExit(0, {"--at", "100.5", "--out", a.string(), "--size", "320x180"});
    expectExit(0, {"--at", "100.5", "--out", b.string(), "--size", "320x180"});
    const std::string first = readFile(a);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first, readFile(b));

    int w = 0, h = 0, channels = 0;
    ASSERT_TRUE(stbi_info(a.c_str(), &w, &h, &channels));
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 180);
}

TEST_F(Capture, ARangeWritesNumberedFramesAndItsLastMatchesASingleCapture)
{
    // Frames at 60 per second end on the same moment a single capture shows:
    // drawn in sequence or on their own, they must agree. At 65 s the graph
    // nodes have respawned and the links are on, so the single capture must
    // rebuild both from the frames before it (smaller pictures hide the hubs).
    const fs::path frames = dir / "frames";
    expectExit(0, {"--from", "65", "--to", "65.05", "--fps", "60", "--out-dir", frames.string(),
                   "--size", "640x360"});
    for (int k = 0; k < 4; ++k)
        EXPECT_TRUE(fs::exists(frames / ("frame_0000" + std::to_string(k) + ".png"))) << k;
    EXPECT_FALSE(fs::exists(frames / "frame_00004.png"));

    const fs::path single = dir / "single.png";
    expectExit(0, {"--at", "65.05", "--out", single.string(), "--size", "640x360"});
    EXPECT_EQ(readFile(single), readFile(frames / "frame_00003.png"));
}

TEST_F(Capture, BadArgumentsAreRefusedWithoutWritingAnything)
{
    const std::string out = (dir / "x.png").string();
    expectExit(2, {});
    expectExit(2, {"--at", "300", "--out", out});
    expectExit(2, {"--at", "-1", "--out", out});
    expectExit(2, {"--at", "ten", "--out", out});
    expectExit(2, {"--at", "10"});
    expectExit(2, {"--at", "10", "--out", out, "--size", "0x90"});
    expectExit(2, {"--at", "10", "--out", out, "--size", "160by90"});
    expectExit(2, {"--at", "10", "--out", out, "--fps", "30"});
    expectExit(2, {"--from", "20", "--to", "10", "--fps", "30", "--out-dir", out});
    expectExit(2, {"--from", "10", "--to", "20", "--fps", "0", "--out-dir", out});
    expectExit(2, {"--at", "10", "--out", out, "--colour", "red"});
    EXPECT_FALSE(fs::exists(out));
    EXPECT_NE(readFile(log).find("usage: quillon-capture"), std::string::npos);
}

TEST_F(Capture, AnUnwritablePathFails)
{
    expectExit(1, {"--at", "10", "--out", (dir / "missing" / "x.png").string(), "--size", "64x36"});
}
