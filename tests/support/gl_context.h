// Test support: a hidden SDL window with a current GL context and GLEW
// initialised, for tests that issue GL calls (run under Xvfb with Mesa).
// One per test process; created on first use and kept until exit.
#pragma once

#include <functional>
#include <string>

// Makes a GL context current. False when no display or context is available.
bool ensureTestGLContext(int width = 1280, int height = 720);

// Runs fn and returns everything it printed on stdout.
std::string captureConsole(const std::function<void()>& fn);
