// platform/render_target.h - an off-screen picture of any size: a framebuffer object.
//
// SDL's offscreen driver draws into a pbuffer, whose size the EGL
// implementation may cap, and whose default framebuffer a program cannot
// resize; a window is capped by the screen. A framebuffer object has neither
// limit: a colour renderbuffer (RGBA, 8 bits each) and a depth and stencil
// renderbuffer (24 + 8 bits, as the window's, so stencil shadows work) of
// the size asked for, up to GL_MAX_RENDERBUFFER_SIZE. While it is bound,
// every draw, clear and read of the program goes to it; reads take
// GL_COLOR_ATTACHMENT0 instead of GL_BACK.
//
// The entry points come through the platform's GL layer at run time: GL 3.0's names (also those
// of ARB_framebuffer_object), else EXT_framebuffer_object's with
// EXT_packed_depth_stencil. A GL with neither cannot draw such a picture,
// and render_target_open says so instead of drawing something else.
#pragma once

#include <string>

struct render_target {
    unsigned framebuffer = 0;  // GL names, 0 when closed
    unsigned colour = 0;
    unsigned depth_stencil = 0;
    int      width = 0;
    int      height = 0;
};

// Creates a width x height framebuffer object and binds it. On failure
// returns false with error saying why (no framebuffer objects, a size past
// the GL's limit, an incomplete framebuffer) and leaves nothing bound.
bool render_target_open(render_target& target, int width, int height, std::string& error);
// Unbinds and deletes it; safe on a closed record. Needs its context current.
void render_target_close(render_target& target);
// True while a render target of this program is bound.
bool render_target_active();
