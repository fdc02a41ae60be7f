// The window module's promises to the frame loop: keys by the letter on them,
// a windowed window that resizes, and both programs ending with one line and
// status 1 when no window can be made.
#include "app/window.h"
#include "program_run.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

SDL_Event keyDown(SDL_Keycode letter, SDL_Scancode position)
{
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.state = SDL_PRESSED;
    event.key.keysym.sym = letter;
    event.key.keysym.scancode = position;
    return event;
}

// Runs a deliverable from an empty folder with the environment changes given
// (what it prints on stderr is left unread).
Ran runDeliverable(const char* name, std::vector<std::string> environment)
{
    const ScratchDir scratch("window");
    environment.push_back("SDL_AUDIODRIVER=dummy");
    return runProgram({.path = "timeout",
                       .arguments = {"60", std::string(QUILLON_BINARY_DIR) + "/" + name},
                       .workingDir = scratch.dir,
                       .environment = environment});
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

TEST(Window, EveryPressInsideOneFrameIsTakenWithItsShift)
{
    ASSERT_EQ(SDL_Init(SDL_INIT_EVENTS), 0) << SDL_GetError();
    // Three taps of Right before one frame reads the keys: Shift, none, Shift.
    for (Uint16 mod : {Uint16(KMOD_LSHIFT), Uint16(KMOD_NONE), Uint16(KMOD_RSHIFT)}) {
        SDL_Event event = keyDown(SDLK_RIGHT, SDL_SCANCODE_RIGHT);
        event.key.keysym.mod = mod;
        ASSERT_EQ(SDL_PushEvent(&event), 1);
    }
    AppWindow window;
    handleWindowEvents(window);

    bool shift = false;
    for (bool expected : {true, false, true}) {
        ASSERT_TRUE(takeKeyTap(SDLK_RIGHT, &shift));
        EXPECT_EQ(shift, expected);
    }
    EXPECT_FALSE(takeKeyTap(SDLK_RIGHT, &shift));
    SDL_QuitSubSystem(SDL_INIT_EVENTS);
}

TEST(Window, DeliverablesEndWithOneLineWhenNoWindowCanBeMade)
{
    for (const char* name : {"quillon-windowed", "quillon-fullscreen"}) {
        const Ran bogus = runDeliverable(name, {"SDL_VIDEODRIVER=bogus"});
        EXPECT_EQ(bogus.status, 1) << name << "\n" << bogus.out;
        EXPECT_NE(bogus.out.find("cannot start SDL video: "), std::string::npos)
            << name << "\n" << bogus.out;
        EXPECT_EQ(bogus.out.find("rock'n'roll"), std::string::npos) << bogus.out;

        // With no display SDL would pick a driver that shows nothing, or none.
        const Ran headless = runDeliverable(name, {"DISPLAY", "WAYLAND_DISPLAY"});
        EXPECT_EQ(headless.status, 1) << name << "\n" << headless.out;
        const bool said = headless.out.find("no display to open a window on") != std::string::npos ||
                          headless.out.find("cannot start SDL video: ") != std::string::npos;
        EXPECT_TRUE(said) << name << "\n" << headless.out;
        EXPECT_EQ(headless.out.find("rock'n'roll"), std::string::npos) << headless.out;
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
