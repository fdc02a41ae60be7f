#include "app/window.h"

#include <csignal>
#include <unistd.h>

#include <GL/glew.h>
#include <GL/glx.h>
#include <SDL2/SDL_syswm.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

float aspectRatio = 4.0f / 3.0f;

namespace {

constexpr int windowedWidth = 1280;   // pixels, the design size
constexpr int windowedHeight = 720;   // pixels

// Keys pressed since their last query, so a tap between two frames counts.
// Printable keys keep their character as keycode (below 128); the others are
// a scancode with SDLK_SCANCODE_MASK set, stored after those.
constexpr int latchSlots = 128 + SDL_NUM_SCANCODES;

// Presses are queued, each with its Shift state, so that several presses
// inside one slow frame all count; beyond the queue's length they are dropped.
constexpr int queuedPresses = 32;

struct KeyLatch {
    bool latched = false;    // pressed since keyCountsAsPressed last asked
    int taps = 0;            // presses not yet taken by takeKeyTap, up to queuedPresses
    uint32_t tapShifts = 0;  // bit i: Shift was held with queued press i (0 the oldest)
};
KeyLatch keyLatches[latchSlots];

int latchSlotOf(SDL_Keycode key)
{
    if (key >= 0 && key < 128) return key;
    const int scancode = key & ~SDLK_SCANCODE_MASK;
    if ((key & SDLK_SCANCODE_MASK) && scancode >= 0 && scancode < SDL_NUM_SCANCODES)
        return 128 + scancode;
    return -1;  // a character key beyond ASCII: never latched
}

// Records why the window or context could not be made, in one line.
void recordFailure(AppWindow& window, const char* what, const char* why)
{
    snprintf(window.failure, sizeof window.failure, "%s: %s", what,
             why && *why ? why : "no reason given");
}

// Undoes a half-made set-up so that nothing of it stays current.
void discardWindow(SDL_Window* handle, SDL_GLContext context, AppWindow& window)
{
    if (context) {
        SDL_GL_MakeCurrent(handle, nullptr);
        SDL_GL_DeleteContext(context);
    }
    if (handle) SDL_DestroyWindow(handle);
    window.hwnd = nullptr;
    window.hglrc = nullptr;
}

const char* windowSystemExtensions(SDL_Window* window, const char*& multisampleName)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (window && SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11) {
        Display* display = info.info.x11.display;
        multisampleName = "GLX_ARB_multisample";
        return glXQueryExtensionsString(display, DefaultScreen(display));
    }
    return nullptr;
}

void applyDrawableSize(SDL_Window* window)
{
    int width = 0;
    int height = 0;
    SDL_GL_GetDrawableSize(window, &width, &height);
    aspectRatio = aspectRatioFor(width, height, aspectRatio);
    glViewport(0, 0, width, height);
}

// GLEW also looks for a GLX display after loading the GL entry points; on an
// EGL context (no X server) it finds none and says so, although every entry
// point it loaded works. That is only a success when the context is not GLX.
bool glewLoaded(GLenum status)
{
#ifdef GLEW_ERROR_NO_GLX_DISPLAY
    if (status == GLEW_ERROR_NO_GLX_DISPLAY)
        return glXGetCurrentContext() == nullptr;
#endif
    return status == GLEW_OK;
}

// Makes the context current and loads the GL entry points; on failure
// records why, releases what it made and returns false without a GL call.
bool setupGLContext(SDL_Window* window, AppWindow& appWindow)
{
    appWindow.hwnd = window;
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context) {
        recordFailure(appWindow, "cannot make a GL context", SDL_GetError());
        discardWindow(window, nullptr, appWindow);
        return false;
    }
    if (SDL_GL_MakeCurrent(window, context) != 0) {
        recordFailure(appWindow, "cannot make the GL context current", SDL_GetError());
        discardWindow(window, context, appWindow);
        return false;
    }
    const GLenum glew = glewInit();
    if (!glewLoaded(glew)) {
        recordFailure(appWindow, "glewInit failed",
                      reinterpret_cast<const char*>(glewGetErrorString(glew)));
        discardWindow(window, context, appWindow);
        return false;
    }
    if (!glewIsSupported("GL_texture3D"))
        printf("no 3d texture 4 u\n");
    appWindow.hglrc = context;
    printGLInfo(appWindow);
    applyDrawableSize(window);
    return true;
}

void requestPixelFormat()
{
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_FRAMEBUFFER_SRGB_CAPABLE, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
}

SDL_Window* openWindow(const char* title, int x, int y, int width, int height, Uint32 flags)
{
    SDL_Window* window = SDL_CreateWindow(title, x, y, width, height, flags);
    if (!window) {
        // Some servers offer no sRGB-capable visual; a plain one still draws.
        SDL_GL_SetAttribute(SDL_GL_FRAMEBUFFER_SRGB_CAPABLE, 0);
        window = SDL_CreateWindow(title, x, y, width, height, flags);
    }
    return window;
}

// False for SDL's video drivers that never show anything on a screen.
bool driverShowsWindows(const char* driver)
{
    return driver && strcmp(driver, "offscreen") != 0 && strcmp(driver, "dummy") != 0;
}

// Set by the stop signals' handler; read by the frame loop's event handling.
volatile std::sig_atomic_t stopSignal = 0;
volatile std::sig_atomic_t startingUp = 0;

void onStopSignal(int signal)
{
    if (startingUp)
        _exit(128 + signal);  // async-signal-safe, and nothing of the load is worth keeping
    stopSignal = signal;
}

} // namespace

bool hasWholeWord(const char* text, const char* name)
{
    if (!text)
        return false;
    const size_t n = strlen(name);
    for (const char* at = strstr(text, name); at; at = strstr(at + 1, name)) {
        const bool startsWord = at == text || at[-1] == ' ';
        const bool endsWord = at[n] == '\0' || at[n] == ' ';
        if (startsWord && endsWord)
            return true;
    }
    return false;
}

float aspectRatioFor(int width, int height, float previous)
{
    // A minimised window reports a zero height; keep the last valid ratio.
    if (width <= 0 || height <= 0)
        return previous;
    return float(width) / float(height);
}

bool hasMultisampleExtension(const AppWindow& window)
{
    const char* name = "GL_ARB_multisample";
    const char* extensions = windowSystemExtensions(window.hwnd, name);
    if (!extensions)
        extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    return hasWholeWord(extensions, name);
}

void printGLInfo(const AppWindow& window)
{
    printf("GLVersion: %s\n", reinterpret_cast<const char*>(glGetString(GL_VERSION)));
    printf("GLRendrer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    printf("GL SM: %s\n", reinterpret_cast<const char*>(glGetString(GL_SHADING_LANGUAGE_VERSION)));
    printf(hasMultisampleExtension(window) ? "multisample supported\n" : "multisample sux\n");
}

bool createAppWindow(const char* title, WindowVariant variant, AppWindow& window)
{
    const bool fullScreen = variant == WindowVariant::FullScreen;
    window.failure[0] = '\0';
    bool lineOpen = false;  // "hwoowo2" has no line feed of its own
    if (fullScreen) {
        printf("hwoowo2");
        lineOpen = true;
    }
    SDL_Window* handle = nullptr;
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        recordFailure(window, "cannot start SDL video", SDL_GetError());
    } else if (!driverShowsWindows(SDL_GetCurrentVideoDriver())) {
        // Without a display SDL falls back to a driver that draws nowhere;
        // a run nobody can see or stop with Escape is worse than none.
        snprintf(window.failure, sizeof window.failure,
                 "no display to open a window on: SDL video driver \"%s\" shows nothing",
                 SDL_GetCurrentVideoDriver());
    } else {
        requestPixelFormat();
        if (fullScreen) {
            SDL_DisplayMode desktop{};
            SDL_GetDesktopDisplayMode(0, &desktop);
            printf("found %d %d\n", desktop.w, desktop.h);
            lineOpen = false;
            handle = openWindow(title, 0, 0, desktop.w, desktop.h,
                                SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS);
        } else {
            // Resizable, so the window manager also offers to maximise it;
            // size changes reach the viewport and aspectRatio.
            handle = openWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                windowedWidth, windowedHeight,
                                SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE);
        }
        if (!handle)
            recordFailure(window, "cannot open a window", SDL_GetError());
        else if (!setupGLContext(handle, window))
            handle = nullptr;
    }
    if (!handle) {
        printf("%s%s\n", lineOpen ? "\n" : "", window.failure);
        return false;
    }
    if (fullScreen)
        SDL_ShowCursor(SDL_DISABLE);  // for the rest of the run
    SDL_RaiseWindow(handle);
    return true;
}

bool createHiddenAppWindow(const char* title, int width, int height, AppWindow& window)
{
    window.failure[0] = '\0';
    // With no display server, SDL's offscreen driver draws into an EGL
    // surface of the window's size (Mesa gives one). SDL_VIDEODRIVER, when
    // set, still decides.
    const char* x11 = getenv("DISPLAY");
    const char* wayland = getenv("WAYLAND_DISPLAY");
    if ((!x11 || !*x11) && (!wayland || !*wayland))
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        recordFailure(window, "cannot start SDL video", SDL_GetError());
        return false;
    }
    requestPixelFormat();
    SDL_Window* handle = openWindow(title, 0, 0, width, height,
                                          SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!handle) {
        recordFailure(window, "cannot open a window", SDL_GetError());
        return false;
    }
    return setupGLContext(handle, window);
}

bool keyCountsAsPressed(SDL_Keycode key)
{
    const int slot = latchSlotOf(key);
    if (slot < 0) return false;
    // The key state is kept by position; the layout says where the letter is.
    const SDL_Scancode scancode = SDL_GetScancodeFromKey(key);
    const Uint8* state = SDL_GetKeyboardState(nullptr);
    const bool pressed = (state && scancode != SDL_SCANCODE_UNKNOWN && state[scancode]) ||
                         keyLatches[slot].latched;
    keyLatches[slot].latched = false;
    return pressed;
}

bool takeKeyTap(SDL_Keycode key, bool* withShift)
{
    const int slot = latchSlotOf(key);
    if (slot < 0 || keyLatches[slot].taps == 0) return false;
    KeyLatch& latch = keyLatches[slot];
    if (withShift) *withShift = (latch.tapShifts & 1u) != 0;
    latch.tapShifts >>= 1;
    --latch.taps;
    return true;
}

bool windowHasFocus(const AppWindow& window)
{
    return window.hwnd && (SDL_GetWindowFlags(window.hwnd) & SDL_WINDOW_INPUT_FOCUS) != 0;
}

void handleWindowEvents(AppWindow& window)
{
    if (stopSignal != 0)
        window.quitRequested = true;
    while (SDL_PollEvent(&window.msg)) {
        const SDL_Event& event = window.msg;
        if (event.type == SDL_QUIT) {
            window.quitRequested = true;
        } else if (event.type == SDL_KEYDOWN) {
            const int slot = latchSlotOf(event.key.keysym.sym);
            if (slot >= 0) {
                KeyLatch& latch = keyLatches[slot];
                latch.latched = true;
                if (latch.taps < queuedPresses) {
                    if (event.key.keysym.mod & KMOD_SHIFT)
                        latch.tapShifts |= uint32_t(1) << latch.taps;
                    ++latch.taps;
                }
            }
        } else if (event.type == SDL_WINDOWEVENT) {
            if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
                applyDrawableSize(window.hwnd);
            else if (event.window.event == SDL_WINDOWEVENT_CLOSE)
                window.quitRequested = true;
        }
    }
}

void beginStartUpSignals()
{
    startingUp = 1;
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
}

void endStartUpSignals()
{
    startingUp = 0;
}

void swapAppWindow(AppWindow& window)
{
    if (window.hwnd)
        SDL_GL_SwapWindow(window.hwnd);
}

void releaseAppWindow(AppWindow& window)
{
    if (window.hwnd)
        SDL_GL_MakeCurrent(window.hwnd, nullptr);
    if (window.hglrc)
        SDL_GL_DeleteContext(window.hglrc);
    window.hglrc = nullptr;
}
