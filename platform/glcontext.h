// platform/glcontext.h - an SDL window with the GL context every part of qiv uses.
//
// One place sets the GL attributes (double-buffered RGBA, 24 depth bits,
// 8 stencil bits, a compatibility context for the fixed-function pipeline) and
// opens the window: the demo's window module, the kestrel tool's render and view
// commands, capture mode and the GL test fixture all come through here.
// Off screen means SDL's offscreen video driver (EGL, Mesa in tests): no display
// is needed, and the default framebuffer is read back with glReadPixels.
// The module keeps no state; the caller holds the gl_context record. It sits
// in the platform module, beside the engine rather than in it, because it uses
// SDL and the engine includes none; the installed engine offers it as
// Kestrel::platform so that a program of one's own can render without a window.
#pragma once

#include <string>

struct SDL_Window;

struct gl_context {
    SDL_Window* window  = nullptr;  // the window, or nullptr
    void*       context = nullptr;  // SDL_GLContext
    bool        video_started = false;
};

struct gl_context_options {
    int         width      = 640;
    int         height     = 480;
    bool        offscreen  = false;  // SDL's offscreen driver, no display
    bool        fullscreen = false;  // switch the display to width x height
    bool        desktop    = false;  // borderless over the whole desktop, its mode kept (size ignored)
    bool        visible    = true;
    std::string title      = "qiv";
};

// Opens the window and makes its context current. On failure returns false,
// fills error and leaves nothing open.
bool gl_context_open(gl_context& ctx, const gl_context_options& options, std::string& error);
// Releases the context and the window; safe on a closed record and twice.
void gl_context_close(gl_context& ctx);

// The current context's entry point name + suffix ("ARB", "EXT" or "") as a
// function pointer of type F; false when the driver has none.
void* gl_context_proc_address(const std::string& name);
template <typename F>
bool gl_context_proc(F& f, const char* name, const char* suffix)
{
    f = reinterpret_cast<F>(gl_context_proc_address(std::string(name) + suffix));
    return f != nullptr;
}
