// PLACEHOLDER until the scenes work lands: each scene clears the window to
// a colour of its own, so a run shows which scene would be drawn.
#include "scenes/scenes.h"

#include <GL/glew.h>

void drawScene1(const float*, Demo&, double)
{
    glClearColor(0.05f, 0.1f, 0.3f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void drawScene2(const float*, Demo&, double)
{
    glClearColor(0.3f, 0.1f, 0.05f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}
