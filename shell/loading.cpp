// shell/loading.cpp - the loading sequence and the loading screen.
#include <GL/gl.h>

#include "shell/shell.h"
#include "shell/window.h"

void LOADING_STEP()
{
    LOAD_STEP += 1;
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClear(GL_STENCIL_BUFFER_BIT);
    QUIT_REQUESTED = WINDOW_UPDATE();
}

void shell_load_content()
{
}
