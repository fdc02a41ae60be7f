// The window module's promises to the frame loop: keys by the letter on them,
// a windowed window that resizes, and both programs ending with one line and
// status 1 when no window can be made.
#include "app/window.h"

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

SDL_Event keyDown(SDL_Keycode letter, SDL_Scancode position)
{
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.state = SDL_PRESSED;
    event.key.keysym.sym = letter;
    event.key.keysym.scancode = position;
    return event;
}

struct Ended {
    int status = -1;     // exit status, or -1 when it did not exit normally
    std::string output;  // what it printed on stdout
};

// Runs a deliverable from an empty folder with the environment changes given
// as a shell prefix (stdout to a file, stderr dropped).
Ended runDeliverable(const char* name, const std::string& environment)
{
    const fs::path scratch =
        fs::temp_directory_path() / ("quillon_window_" + std::to_string(getpid()));
    fs::create_directories(scratch);
    const fs::path output = scratch / "out.txt";
    const std::string command = "cd '" + scratch.string() + "' && exec env " + environment +
                                " SDL_AUDIODRIVER=dummy timeout 60 '" + QUILLON_BINARY_DIR +
                                "/" + name + "' > '" + output.string() + "' 2>/dev/null";
    const int raw = std::system(command.c_str());
    Ended ended;
    if (WIFEXITED(raw)) ended.status = WEXITSTATUS(raw);
    std::ifstream in(output);
    std::stringstream text;
    text << in.rdbuf();
    ended.output = text.str();
    fs::remove_all(scratch);
    return ended;
}

} // namespace

TEST(Window, KeysAreReadByTheLetterOnThemNotTheirPosition)
{
    ASSERT_EQ(SDL_Init(SDL_INIT_EVENTS), 0) << SDL_GetError();
    // On a Dvorak layout the key labelled D sits where QWERTY has H.
    SDL_Event event = keyDown(SDLK_d, SDL_SCANCODE_H);
    ASSERT_EQ(SDL_PushEvent(&event), 1);
    event = keyDown(SDLK_ESCAPE, SDL_SCANCODE_ESCAPE);
    ASSERT_EQ(SDL_PushEvent(&event), 1);
    AppWindow window;
    handleWindowEvents(window);

    EXPECT_FALSE(keyCountsAsPressed(SDLK_h));
    EXPECT_FALSE(keyCountsAsPressed(SDLK_t));
    EXPECT_TRUE(keyCountsAsPressed(SDLK_d));
    EXPECT_TRUE(keyCountsAsPressed(SDLK_ESCAPE));
    // A tap counts once; the key is not held.
    EXPECT_FALSE(keyCountsAsPressed(SDLK_d));
    EXPECT_FALSE(keyCountsAsPressed(SDLK_ESCAPE));
    SDL_QuitSubSystem(SDL_INIT_EVENTS);
}

TEST(Window, DeliverablesEndWithOneLineWhenNoWindowCanBeMade)
{
    for (const char* name : {"quillon-windowed", "quillon-fullscreen"}) {
        const Ended bogus = runDeliverable(name, "SDL_VIDEODRIVER=bogus");
        EXPECT_EQ(bogus.status, 1) << name << "\n" << bogus.output;
        EXPECT_NE(bogus.output.find("cannot start SDL video: "), std::string::npos)
            << name << "\n" << bogus.output;
        EXPECT_EQ(bogus.output.find("rock'n'roll"), std::string::npos) << bogus.output;

        // With no display SDL would pick a driver that shows nothing, or none.
        const Ended headless = runDeliverable(name, "-u DISPLAY -u WAYLAND_DISPLAY");
        EXPECT_EQ(headless.status, 1) << name << "\n" << headless.output;
        const bool said = headless.output.find("no display to open a window on") != std::string::npos ||
                          headless.output.find("cannot start SDL video: ") != std::string::npos;
        EXPECT_TRUE(said) << name << "\n" << headless.output;
        EXPECT_EQ(headless.output.find("rock'n'roll"), std::string::npos) << headless.output;
    }
}

TEST(Window, WindowedBuildResizesAndTheAspectRatioFollows)
{
    if (!getenv("DISPLAY")) GTEST_SKIP() << "needs an X display (scripts/test provides one)";
    AppWindow window;
    ASSERT_TRUE(createAppWindow("window test", WindowVariant::Windowed, window)) << window.failure;
    EXPECT_NE(SDL_GetWindowFlags(window.hwnd) & SDL_WINDOW_RESIZABLE, 0u);

    SDL_SetWindowSize(window.hwnd, 1000, 500);
    for (int i = 0; i < 100 && aspectRatio != 2.0f; ++i) {
        SDL_Delay(20);
        handleWindowEvents(window);
    }
    EXPECT_FLOAT_EQ(aspectRatio, 2.0f);
    releaseAppWindow(window);
}
