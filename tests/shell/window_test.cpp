// Tests of the window module's contract on an off-screen surface.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <SDL2/SDL.h>

#include "shell/window.h"

TEST(Window, CreateGivesContextWithDepthStencilAndHiddenCursor)
{
    WINDOW_OPTIONS.offscreen = true;
    ASSERT_TRUE(WINDOW_CREATE()) << window_last_error();
    EXPECT_FALSE(WINDOW_CLOSED);
    EXPECT_TRUE(window_exists());
    GLint depth = 0, stencil = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    glGetIntegerv(GL_STENCIL_BITS, &stencil);
    EXPECT_GE(depth, 24);
    EXPECT_GE(stencil, 8);
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[2], 640);
    EXPECT_EQ(vp[3], 480);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    EXPECT_EQ(WINDOW_UPDATE(), 0);

    // Any key but Escape changes nothing.
    SDL_Event key{};
    key.type = SDL_KEYDOWN;
    key.key.keysym.sym = SDLK_a;
    WINDOW_PROC(key);
    EXPECT_FALSE(WINDOW_CLOSED);
    EXPECT_EQ(WINDOW_UPDATE(), 0);

    // Escape destroys the window at once; the next update reports 1.
    key.key.keysym.sym = SDLK_ESCAPE;
    WINDOW_PROC(key);
    EXPECT_TRUE(WINDOW_CLOSED);
    EXPECT_FALSE(window_exists());
    EXPECT_EQ(WINDOW_UPDATE(), 1);
    EXPECT_EQ(WINDOW_UPDATE(), 1);  // keeps reporting closed, swap does nothing

    // A second destroy only sets the flag again.
    WINDOW_DESTROY();
    EXPECT_TRUE(WINDOW_CLOSED);
}

TEST(Window, CloseRequestsFromQuitAndWindowClose)
{
    WINDOW_OPTIONS.offscreen = true;
    for (int kind = 0; kind < 2; ++kind) {
        ASSERT_TRUE(WINDOW_CREATE()) << window_last_error();
        SDL_Event e{};
        if (kind == 0) {
            e.type = SDL_QUIT;
        } else {
            e.type = SDL_WINDOWEVENT;
            e.window.event = SDL_WINDOWEVENT_CLOSE;
        }
        SDL_PushEvent(&e);
        EXPECT_EQ(WINDOW_UPDATE(), 1);
        EXPECT_FALSE(window_exists());
    }
}
