// shell/timeline.cpp - DRAW_FRAME: what each frame of the show draws.
#include <GL/gl.h>

#include "shell/clock.h"
#include "shell/shell.h"

void DRAW_FRAME()
{
    ELAPSED_MS = clock_now_ms() - START_MS;
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClear(GL_STENCIL_BUFFER_BIT);
}
