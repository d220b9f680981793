// platform/glcontext.h - a window with the GL context every part of qiv uses.
//
// One place sets the GL attributes (double-buffered RGBA, 24 depth bits,
// 8 stencil bits, a compatibility context for the fixed-function pipeline) and
// opens the window: the demo's window module, the kestrel tool's render and view
// commands, capture mode and the GL test fixture all come through here.
// Each backend implements it: platform/sdl/ over SDL2 (off screen means SDL's
// offscreen video driver, EGL, Mesa in tests: no display is needed, and the
// default framebuffer is read back with glReadPixels) and platform/win32/ over
// Win32 and WGL (off screen is a hidden window whose context draws into a
// framebuffer object, see gl_context_offscreen_needs_target).
// The module keeps no state; the caller holds the gl_context record. It sits
// in the platform module, beside the engine rather than in it, because it uses
// the system's window layer and the engine includes none; the installed engine offers it as
// Kestrel::platform so that a program of one's own can render without a window.
#pragma once

#include <string>

#ifdef _WIN32
struct HWND__;
using gl_native_window = HWND__*;  // HWND
#else
struct SDL_Window;
using gl_native_window = SDL_Window*;
#endif

struct gl_context {
    gl_native_window window  = nullptr;  // the window, or nullptr
    void*            context = nullptr;  // SDL_GLContext or HGLRC
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

// True while a GL context of this program is current on the calling thread.
bool gl_context_current();
// Shows the back buffer of the context's window.
void gl_context_swap(gl_context& ctx);
// The window's drawable size in pixels.
void gl_context_drawable_size(const gl_context& ctx, int& width, int& height);
// Swap interval 0 (as fast as it draws) or 1 (each display refresh); false
// when the driver cannot set it.
bool gl_context_set_swap_interval(int interval);
// Why the last call above failed, where the backend says.
std::string gl_context_last_error();
// True when an off-screen context cannot be read back from its own
// framebuffer (a hidden window's pixels are undefined): every off-screen
// picture then draws into a framebuffer object (platform/render_target.h).
bool gl_context_offscreen_needs_target();

// The keys a window's reader sees, as SDL's key codes (a printable key is
// its character); the Windows backend makes them from virtual keys.
enum gl_key : int {
    GL_KEY_ESCAPE        = 27,
    GL_KEY_SPACE         = ' ',
    GL_KEY_LEFT_BRACKET  = '[',
    GL_KEY_RIGHT_BRACKET = ']',
    GL_KEY_HOME          = 0x4000004A,
    GL_KEY_PAGE_UP       = 0x4000004B,
    GL_KEY_PAGE_DOWN     = 0x4000004E,
    GL_KEY_RIGHT         = 0x4000004F,
    GL_KEY_LEFT          = 0x40000050,
};

// One input event of a visible window: a key pressed (gl_key or a letter or
// digit; 0 for other keys) or a close request (the close button, the
// system's quit).
struct gl_input {
    bool quit  = false;
    int  key   = 0;
    bool shift = false;
};

// The next pending input event of the program's windows, without waiting;
// false when there is none. Programs with a window procedure of their own
// (the demo on Windows) read their input there instead.
bool gl_context_poll(gl_input& event);
// Renames the context's window, when there is one.
void gl_context_set_title(gl_context& ctx, const std::string& title);

// The current context's entry point name + suffix ("ARB", "EXT" or "") as a
// function pointer of type F; false when the driver has none.
void* gl_context_proc_address(const std::string& name);
template <typename F>
bool gl_context_proc(F& f, const char* name, const char* suffix)
{
    f = reinterpret_cast<F>(gl_context_proc_address(std::string(name) + suffix));
    return f != nullptr;
}
