// shell/window_frame.cpp - opening the demo's window, shared by both window
// backends (see window_frame.h).
//
// Off screen, a frame that is not the plain 640 x 480, or that is
// supersampled, draws into a framebuffer object of its own size, so that no
// screen or pbuffer limits it; where the platform's off-screen surface cannot
// be read back at all (a hidden Win32 window), every frame does. The surface
// itself then only carries the context and stays at 640 x 480.
#include "shell/window_frame.h"

#include <cstdio>

#include "shell/window.h"

// --- module state -------------------------------------------------------------
// The window module's state that both backends share.
bool           WINDOW_CLOSED = false;
window_options WINDOW_OPTIONS;
picture_rect   WINDOW_PICTURE;
void (*window_key_hook)(int key, bool shift) = nullptr;
window_frame   WINDOW_FRAME;

// --- internal helpers ---------------------------------------------------------
static bool window_frame_needs_target()
{
    const window_options& o = WINDOW_OPTIONS;
    return o.offscreen && (gl_context_offscreen_needs_target() || o.width != 640 || o.height != 480 || o.ssaa > 1);
}

static gl_context_options window_frame_context_options()
{
    const window_options& o = WINDOW_OPTIONS;
    gl_context_options options;
    options.offscreen = o.offscreen;
    options.desktop = o.desktop && !o.offscreen;
    options.fullscreen = !o.windowed && !o.desktop && !o.offscreen;
    options.visible = !o.offscreen;
    options.width = window_frame_needs_target() ? 640 : o.width;
    options.height = window_frame_needs_target() ? 480 : o.height;
    return options;
}

// The frame's size, its framebuffer object if it needs one, and the picture in it.
static bool window_frame_size(window_frame& frame, std::string& error)
{
    const window_options& o = WINDOW_OPTIONS;
    frame.width = o.width * (o.offscreen ? o.ssaa : 1);
    frame.height = o.height * (o.offscreen ? o.ssaa : 1);
    if (window_frame_needs_target() && !render_target_open(frame.target, frame.width, frame.height, error))
        return false;
    if (!o.offscreen)
        gl_context_drawable_size(frame.ctx, frame.width, frame.height);
    WINDOW_PICTURE = picture_fit(frame.width, frame.height);
    picture_apply(WINDOW_PICTURE, frame.width, frame.height);
    return true;
}

// Waits for the display's refresh at every swap when asked to, else not at
// all; the display switch without --vsync keeps whatever the driver does.
static void window_frame_swap_interval()
{
    const window_options& o = WINDOW_OPTIONS;
    if (o.offscreen)
        return;
    if (o.vsync && !gl_context_set_swap_interval(1))
        std::fprintf(stderr, "qiv: the display's refresh cannot be waited for (%s); frames may tear\n",
                     gl_context_last_error().c_str());
    if (!o.vsync && (o.windowed || o.desktop))
        gl_context_set_swap_interval(0);
}

// --- public functions ---------------------------------------------------------
bool window_frame_open()
{
    window_frame& frame = WINDOW_FRAME;
    frame.error.clear();
    if (!gl_context_open(frame.ctx, window_frame_context_options(), frame.error))
        return false;
    if (!window_frame_size(frame, frame.error)) {
        gl_context_close(frame.ctx);
        return false;
    }
    window_frame_swap_interval();
    return true;
}

void window_frame_close()
{
    window_frame& frame = WINDOW_FRAME;
    if (!frame.ctx.window && !frame.ctx.video_started)
        return;
    render_target_close(frame.target);
    gl_context_close(frame.ctx);
}

const std::string& window_last_error()
{
    return WINDOW_FRAME.error;
}

void window_set_title(const std::string& title)
{
    gl_context_set_title(WINDOW_FRAME.ctx, title);
}

bool window_exists()
{
    return WINDOW_FRAME.ctx.window != nullptr;
}
