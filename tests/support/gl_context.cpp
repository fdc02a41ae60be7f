#include "gl_context.h"

#include <GL/glew.h>
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdio>

namespace {

SDL_Window* testWindow = nullptr;
SDL_GLContext testContext = nullptr;

} // namespace

bool ensureTestGLContext(int width, int height)
{
    if (testContext)
        return true;
    if (SDL_Init(SDL_INIT_VIDEO) != 0)
        return false;
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    testWindow = SDL_CreateWindow("quillon test", 0, 0, width, height,
                                  SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!testWindow)
        return false;
    testContext = SDL_GL_CreateContext(testWindow);
    if (!testContext)
        return false;
    glewExperimental = GL_TRUE;
    if (glewInit() != GLEW_OK)
        return false;
    glGetError(); // GLEW may leave an error behind on core-style contexts
    glViewport(0, 0, width, height);
    return true;
}

std::string captureConsole(const std::function<void()>& fn)
{
    fflush(stdout);
    testing::internal::CaptureStdout();
    fn();
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}
