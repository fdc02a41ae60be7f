// The program's single window and its GL context, made with SDL2 and GLEW.
// Owns the SDL window and context for the whole run; the entry point creates
// it first and releases it last. Also the process-wide aspect ratio that the
// projection reads, and the keyboard and focus queries of the frame loop.
#pragma once

#include <SDL2/SDL.h>

struct AppWindow {
    SDL_Event msg{};                 // the event the frame loop last handled
    SDL_Window* hwnd = nullptr;      // the window
    SDL_GLContext hglrc = nullptr;   // set only when the whole GL set-up succeeded
    bool quitRequested = false;      // the window was closed
    char failure[256] = "";          // one line on what could not be made; empty on success
};

// Width over height of the drawable; 4/3 until the first size is known.
extern float aspectRatio;

enum class WindowVariant {
    Windowed,    // a framed 1280x720 window, for development
    FullScreen,  // borderless, covering the desktop, cursor hidden
};

// Opens a visible window with a current GL context and loaded GL entry
// points. On any failure (no display, no window, no context, no entry points)
// it prints window.failure as one line on stdout, makes no GL call and
// returns false; the caller should then end. Each program picks its variant
// at compile time.
bool createAppWindow(const char* title, WindowVariant variant, AppWindow& window);
// Opens a hidden window of the given drawable size with a current GL
// context, for programs that render off screen. On failure it returns false
// with window.failure filled but printed nowhere: the caller reports it on
// the stream it uses.
bool createHiddenAppWindow(const char* title, int width, int height, AppWindow& window);
// Prints the driver's version, renderer and shading-language strings and
// whether the window system offers multisampling.
void printGLInfo(const AppWindow& window);
// True when the window system's extension string names multisampling.
bool hasMultisampleExtension(const AppWindow& window);
// True when name occurs in the space-separated text as a whole word.
bool hasWholeWord(const char* text, const char* name);
// Width over height, or the previous ratio when either side is zero (pixels).
float aspectRatioFor(int width, int height, float previous);

// True when the key is down now or was pressed since the last query of it,
// so a tap shorter than a frame still counts. Keys are named by the letter on
// them (SDL keycode, SDLK_*), so they follow the keyboard layout.
bool keyCountsAsPressed(SDL_Keycode key);
// Takes the oldest press (or auto-repeat) of the key not yet taken: true
// while there is one, so a caller that loops counts every press, however
// many fell inside one frame; withShift (optional) then says whether Shift
// was held with that press.
bool takeKeyTap(SDL_Keycode key, bool* withShift = nullptr);
// True while the window has keyboard focus.
bool windowHasFocus(const AppWindow& window);
// Handles every pending window event: size changes set the viewport and
// aspectRatio, key presses are latched, closing the window sets quitRequested.
void handleWindowEvents(AppWindow& window);
// SIGINT and SIGTERM. Until endStartUpSignals they end the program at once
// (exit status 128 plus the signal): start-up reads no events, so a request
// to stop would wait for the whole load. From then on they ask the run to end
// as closing the window does (handleWindowEvents sets quitRequested).
// Installed before the window is made, SDL keeps them as they are.
void beginStartUpSignals();
void endStartUpSignals();
// Presents the back buffer.
void swapAppWindow(AppWindow& window);
// Releases the GL context; the window itself ends with the process.
void releaseAppWindow(AppWindow& window);
