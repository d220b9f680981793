// shell/sdl/window.cpp - window, GL context and message pump over SDL2 (see window.h).
//
// The display switch is SDL's full-screen mode with a 640 x 480 display mode;
// destroying the window gives the desktop its mode back, which is what the
// close path relies on. Signals only set a flag: the handler itself must not
// call into SDL, so WINDOW_UPDATE turns the flag into a close request.
//
// Under SDL's offscreen driver the window is a pbuffer and a swap hands
// nothing to the driver and waits for nothing; the driver would queue frame
// after frame (memory climbing by some 20 to 100 MB a second, then one long
// burst of work, so frame counts would mean nothing). WINDOW_UPDATE therefore
// finishes each frame there: a glFlush alone still lets Mesa's llvmpipe queue
// without bound. Other drivers flush and throttle as part of the swap.
#include "shell/window.h"

#include <GL/gl.h>
#include <SDL2/SDL.h>
#include <csignal>
#include <cstring>

#include "shell/window_frame.h"

// --- module state -------------------------------------------------------------
static volatile sig_atomic_t window_signalled = 0; // SIGINT/SIGTERM arrived
static bool                  window_swap_waits = true; // false under the offscreen driver

// --- internal helpers ---------------------------------------------------------
static void window_on_signal(int)
{
    window_signalled = 1;
}

static void window_request_close()
{
    WINDOW_DESTROY();
}

// --- public functions ---------------------------------------------------------
bool WINDOW_CREATE()
{
    if (!window_frame_open())
        return false;
    const char* driver = SDL_GetCurrentVideoDriver();
    window_swap_waits = !(driver && std::strcmp(driver, "offscreen") == 0);
    SDL_RaiseWindow(WINDOW_FRAME.ctx.window);
    SDL_ShowCursor(SDL_DISABLE);
    WINDOW_CLOSED = false;
    return true;
}

void WINDOW_DESTROY()
{
    window_frame_close();  // the display gets its own mode back here
    WINDOW_CLOSED = true;
}

int WINDOW_PROC(const SDL_Event& event)
{
    switch (event.type) {
    case SDL_KEYDOWN:
        if (event.key.keysym.sym == SDLK_ESCAPE)
            window_request_close();
        else if (window_key_hook)
            window_key_hook(event.key.keysym.sym, (event.key.keysym.mod & KMOD_SHIFT) != 0);
        return 0;
    case SDL_QUIT:
        window_request_close();
        return 0;
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_CLOSE)
            window_request_close();
        return 0;
    default:
        return 0;
    }
}

int WINDOW_UPDATE()
{
    if (WINDOW_FRAME.ctx.window) {
        SDL_GL_SwapWindow(WINDOW_FRAME.ctx.window);
        if (!window_swap_waits)
            glFinish();  // the frame's work is done now, not in a later burst
        else
            picture_clear_bars(WINDOW_PICTURE, WINDOW_FRAME.width, WINDOW_FRAME.height);
    }
    if (SDL_WasInit(SDL_INIT_VIDEO)) {
        SDL_Event event;
        while (SDL_PollEvent(&event))
            WINDOW_PROC(event);
    }
    if (window_signalled)
        window_request_close();
    return WINDOW_CLOSED ? 1 : 0;
}

void window_install_signal_handlers()
{
    struct sigaction action{};
    action.sa_handler = window_on_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void window_show_error(const std::string& message)
{
    // Tests and scripted runs set QIV_NO_MESSAGE_BOX: a modal box would wait for a click.
    if (WINDOW_FRAME.ctx.window && !SDL_getenv("QIV_NO_MESSAGE_BOX"))
        SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Error", message.c_str(), WINDOW_FRAME.ctx.window);
}
