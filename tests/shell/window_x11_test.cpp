// The window contract on a real X server (a private Xvfb): an ordinary window
// with a double-buffered context of at least 24 depth and 8 stencil bits and a
// hidden cursor, and the display switch path surviving a server without modes;
// SDL's own choice of driver is the X server's, whatever was opened before.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <SDL2/SDL.h>
#include <cstdlib>

#include "platform/glcontext.h"
#include "shell/window.h"
#include "xvfb.h"

namespace {

void window_x11_check(bool windowed)
{
    xvfb_server x;
    ASSERT_TRUE(x.ok());
    setenv("DISPLAY", x.display().c_str(), 1);
    // SDL picks the driver itself, after an off-screen context whose choice
    // must not carry over.
    unsetenv("SDL_VIDEODRIVER");
    gl_context offscreen;
    gl_context_options options;
    options.offscreen = true;
    options.visible = false;
    std::string error;
    ASSERT_TRUE(gl_context_open(offscreen, options, error)) << error;
    gl_context_close(offscreen);
    WINDOW_OPTIONS = window_options{};
    WINDOW_OPTIONS.windowed = windowed;
    ASSERT_TRUE(WINDOW_CREATE()) << window_last_error();
    EXPECT_STREQ(SDL_GetCurrentVideoDriver(), "x11");
    GLint depth = 0, stencil = 0, dbl = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    glGetIntegerv(GL_STENCIL_BITS, &stencil);
    glGetIntegerv(GL_DOUBLEBUFFER, &dbl);
    EXPECT_GE(depth, 24);
    EXPECT_GE(stencil, 8);
    EXPECT_TRUE(dbl);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    EXPECT_EQ(WINDOW_UPDATE(), 0);
    WINDOW_DESTROY();
    EXPECT_EQ(WINDOW_UPDATE(), 1);
}

}  // namespace

TEST(WindowX11, WindowedContextAndHiddenCursor)
{
    window_x11_check(true);
}

TEST(WindowX11, FullScreenContextAndHiddenCursor)
{
    window_x11_check(false);
}
