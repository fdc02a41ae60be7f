#include "app/window.h"

#include <GL/glew.h>
#include <GL/glx.h>
#include <SDL2/SDL_syswm.h>

#include <cstdio>
#include <cstring>

float aspectRatio = 4.0f / 3.0f;

namespace {

constexpr int windowedWidth = 1280;   // pixels, the design size
constexpr int windowedHeight = 720;   // pixels

// Keys pressed since their last query, so a tap between two frames counts.
bool latchedKeys[SDL_NUM_SCANCODES];

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

bool setupGLContext(SDL_Window* window, AppWindow& appWindow)
{
    appWindow.hwnd = window;
    if (!window)
        return false;
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context)
        return false;
    SDL_GL_MakeCurrent(window, context);
    if (glewInit() != GLEW_OK) {
        printf("glewInit failed\n");
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
    if (fullScreen)
        printf("hwoowo2");
    if (SDL_Init(SDL_INIT_VIDEO) != 0)
        return false;
    requestPixelFormat();

    SDL_Window* handle = nullptr;
    if (fullScreen) {
        SDL_DisplayMode desktop{};
        SDL_GetDesktopDisplayMode(0, &desktop);
        printf("found %d %d\n", desktop.w, desktop.h);
        handle = openWindow(title, 0, 0, desktop.w, desktop.h, SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS);
    } else {
        handle = openWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, windowedWidth,
                            windowedHeight, SDL_WINDOW_OPENGL);
    }
    setupGLContext(handle, window);
    if (fullScreen)
        SDL_ShowCursor(SDL_DISABLE);  // for the rest of the run
    if (handle)
        SDL_RaiseWindow(handle);
    return handle != nullptr;
}

bool createHiddenAppWindow(const char* title, int width, int height, AppWindow& window)
{
    if (SDL_Init(SDL_INIT_VIDEO) != 0)
        return false;
    requestPixelFormat();
    SDL_Window* handle = openWindow(title, 0, 0, width, height,
                                          SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    return setupGLContext(handle, window);
}

bool keyCountsAsPressed(SDL_Scancode key)
{
    const Uint8* state = SDL_GetKeyboardState(nullptr);
    const bool pressed = (state && state[key]) || latchedKeys[key];
    latchedKeys[key] = false;
    return pressed;
}

bool windowHasFocus(const AppWindow& window)
{
    return window.hwnd && (SDL_GetWindowFlags(window.hwnd) & SDL_WINDOW_INPUT_FOCUS) != 0;
}

void handleWindowEvents(AppWindow& window)
{
    while (SDL_PollEvent(&window.msg)) {
        const SDL_Event& event = window.msg;
        if (event.type == SDL_QUIT) {
            window.quitRequested = true;
        } else if (event.type == SDL_KEYDOWN) {
            latchedKeys[event.key.keysym.scancode] = true;
        } else if (event.type == SDL_WINDOWEVENT) {
            if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
                applyDrawableSize(window.hwnd);
            else if (event.window.event == SDL_WINDOWEVENT_CLOSE)
                window.quitRequested = true;
        }
    }
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
