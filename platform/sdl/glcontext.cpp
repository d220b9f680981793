// platform/sdl/glcontext.cpp - window and GL context over SDL2 (see glcontext.h).
//
// The Linux build's backend: SDL2's video subsystem opens the window (or,
// off screen, its offscreen driver's pbuffer over EGL) and the GL context.
//
// Left to itself, SDL falls back to its off-screen driver when no X11 or
// Wayland display answers, and a window asked for on screen would then play
// where nobody sees it. So a visible window refuses a driver SDL chose by
// itself that shows nothing; one named in SDL_VIDEODRIVER is taken as asked.
#include "platform/glcontext.h"

#include <SDL2/SDL.h>

// The keys are SDL's key codes, so a key event passes through as it is.
constexpr bool gl_context_same_key(gl_key ours, SDL_Keycode sdl)
{
    return static_cast<int>(ours) == static_cast<int>(sdl);
}
static_assert(gl_context_same_key(GL_KEY_ESCAPE, SDLK_ESCAPE) && gl_context_same_key(GL_KEY_SPACE, SDLK_SPACE) &&
                  gl_context_same_key(GL_KEY_LEFT_BRACKET, SDLK_LEFTBRACKET) &&
                  gl_context_same_key(GL_KEY_RIGHT_BRACKET, SDLK_RIGHTBRACKET) &&
                  gl_context_same_key(GL_KEY_HOME, SDLK_HOME) && gl_context_same_key(GL_KEY_PAGE_UP, SDLK_PAGEUP) &&
                  gl_context_same_key(GL_KEY_PAGE_DOWN, SDLK_PAGEDOWN) &&
                  gl_context_same_key(GL_KEY_RIGHT, SDLK_RIGHT) && gl_context_same_key(GL_KEY_LEFT, SDLK_LEFT) &&
                  'l' == SDLK_l,
              "the window keys are SDL's key codes");

// --- internal helpers ---------------------------------------------------------
static std::string gl_context_env_text(const char* name)
{
    const char* value = SDL_getenv(name);
    return value && *value ? std::string("'") + value + "'" : std::string("not set");
}

// True when SDL settled on a driver that shows nothing without being asked to.
static bool gl_context_fell_back_off_screen()
{
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    if (asked && *asked)
        return false;
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver && (SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0);
}

static bool gl_context_start_video(bool offscreen, std::string& error)
{
    if (offscreen)
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
    else
        SDL_ResetHint(SDL_HINT_VIDEODRIVER);  // an earlier off-screen context's choice is not this one's
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        error = std::string("cannot start video: ") + SDL_GetError();
        return false;
    }
    if (!offscreen && gl_context_fell_back_off_screen()) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        error = "no X11 or Wayland display answered (DISPLAY is " + gl_context_env_text("DISPLAY") +
                ", WAYLAND_DISPLAY is " + gl_context_env_text("WAYLAND_DISPLAY") + ")";
        return false;
    }
    return true;
}

static void gl_context_attributes()
{
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
}

// --- public functions ---------------------------------------------------------
bool gl_context_open(gl_context& ctx, const gl_context_options& options, std::string& error)
{
    if (!gl_context_start_video(options.offscreen, error))
        return false;
    ctx.video_started = true;
    gl_context_attributes();
    Uint32 flags = SDL_WINDOW_OPENGL;
    if (options.fullscreen)
        flags |= SDL_WINDOW_FULLSCREEN | SDL_WINDOW_BORDERLESS;
    if (options.desktop)
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS;
    flags |= options.visible ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN;
    int x = SDL_WINDOWPOS_CENTERED, y = SDL_WINDOWPOS_CENTERED, w = options.width, h = options.height;
    SDL_Rect bounds;
    // A full-screen window starts at the display's corner: where no window
    // manager places it, nothing moves it when the mode switches, and a window
    // centred on the desktop would hang over the edge of the smaller mode.
    // A desktop window is made the display's size at its corner from the
    // start, so that it covers the screen with or without a window manager
    // to honour the full-screen request.
    if ((options.fullscreen || options.desktop) && SDL_GetDisplayBounds(0, &bounds) == 0) {
        x = bounds.x, y = bounds.y;
        if (options.desktop)
            w = bounds.w, h = bounds.h;
    }
    ctx.window = SDL_CreateWindow(options.title.c_str(), x, y, w, h, flags);
    if (!ctx.window) {
        error = std::string("cannot open a window: ") + SDL_GetError();
        gl_context_close(ctx);
        return false;
    }
    if (options.fullscreen) {
        SDL_DisplayMode mode{SDL_PIXELFORMAT_RGB888, options.width, options.height, 0, nullptr};
        SDL_SetWindowDisplayMode(ctx.window, &mode);  // the result of the switch is not examined
    }
    ctx.context = SDL_GL_CreateContext(ctx.window);
    if (!ctx.context || SDL_GL_MakeCurrent(ctx.window, ctx.context) != 0) {
        error = std::string("cannot create an OpenGL context: ") + SDL_GetError();
        gl_context_close(ctx);
        return false;
    }
    return true;
}

void gl_context_close(gl_context& ctx)
{
    if (ctx.context) {
        SDL_GL_MakeCurrent(ctx.window, nullptr);
        SDL_GL_DeleteContext(ctx.context);
        ctx.context = nullptr;
    }
    if (ctx.window) {
        SDL_DestroyWindow(ctx.window);
        ctx.window = nullptr;
    }
    if (ctx.video_started) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        ctx.video_started = false;
    }
}

bool gl_context_current()
{
    return SDL_GL_GetCurrentContext() != nullptr;
}

void gl_context_swap(gl_context& ctx)
{
    if (ctx.window)
        SDL_GL_SwapWindow(ctx.window);
}

void gl_context_drawable_size(const gl_context& ctx, int& width, int& height)
{
    SDL_GL_GetDrawableSize(ctx.window, &width, &height);
}

bool gl_context_set_swap_interval(int interval)
{
    return SDL_GL_SetSwapInterval(interval) == 0;
}

std::string gl_context_last_error()
{
    return SDL_GetError();
}

bool gl_context_poll(gl_input& event)
{
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        if (e.type == SDL_QUIT) {
            event = gl_input{true, 0, false};
            return true;
        }
        if (e.type == SDL_KEYDOWN) {
            event = gl_input{false, static_cast<int>(e.key.keysym.sym), (e.key.keysym.mod & KMOD_SHIFT) != 0};
            return true;
        }
    }
    return false;
}

void gl_context_set_title(gl_context& ctx, const std::string& title)
{
    if (ctx.window)
        SDL_SetWindowTitle(ctx.window, title.c_str());
}

bool gl_context_offscreen_needs_target()
{
    return false;  // the offscreen driver's pbuffer is a real framebuffer
}

void* gl_context_proc_address(const std::string& name)
{
    return SDL_GL_GetProcAddress(name.c_str());
}
