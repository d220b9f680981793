// shell/window_frame.h - the part of opening the demo's window that both
// window backends share (shell/sdl/window.cpp, shell/win32/window.cpp).
//
// From WINDOW_OPTIONS it chooses the display switch, the plain or desktop
// window or the off-screen surface, opens the context through the platform
// layer, sizes the frame (times the samples per pixel off screen), opens the
// framebuffer object a frame needs where the surface cannot be it, places the
// 4:3 picture and sets the swap interval. It holds the demo's one frame,
// WINDOW_FRAME, and answers for it what both backends answer alike (the last
// error, the title, whether a window exists). Each backend adds only what is
// its own: the message pump, the cursor, the key codes, the message box.
#pragma once

#include <string>

#include "platform/glcontext.h"
#include "platform/render_target.h"

struct window_frame {
    gl_context    ctx;           // window and GL context, or none
    render_target target;        // the frame off screen where it needs one, or none
    int           width = 640;   // the frame's pixels
    int           height = 480;
    std::string   error;         // why the last open failed ("" after a success)
};

extern window_frame WINDOW_FRAME;  // the demo's window and frame

// Opens WINDOW_FRAME as WINDOW_OPTIONS asks and sets WINDOW_PICTURE. On
// failure returns false, fills its error and leaves nothing open.
bool window_frame_open();
// Closes the framebuffer object, the context and the window (the display
// gets its own mode back); safe on a closed frame.
void window_frame_close();
