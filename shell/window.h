// shell/window.h - the demo's one output surface and its message pump.
//
// Two backends implement it: shell/sdl/window.cpp over SDL2 (the Linux
// build) and shell/win32/window.cpp over Win32 and WGL as the original
// platform had it (RegisterClassA, CreateWindowExA, ChangeDisplaySettingsA,
// a pixel format, wglCreateContext, PeekMessageA). Below, the SDL names are
// the Linux build's; the Windows build does the same with its own calls.
//
// WINDOW_CREATE switches the display to 640 x 480 and opens a borderless
// full-screen window titled "qiv" with a double-buffered RGBA GL context (24
// depth and 8 stencil bits) current on the main thread, and hides the cursor.
// WINDOW_UPDATE swaps once and then drains pending events without blocking.
// Escape, the window's close button, SDL_QUIT, SIGINT and SIGTERM are close
// requests: each runs WINDOW_DESTROY at once (display mode restored, context
// and window gone) and sets WINDOW_CLOSED, which the main loop watches.
//
// window_options picks a plain window (--windowed), a borderless window over
// the whole desktop at its own resolution with no mode switch (--desktop), or
// an invisible off-screen surface (capture) instead of the display switch,
// and the size: 640 x 480 unless --size says otherwise (the display switch
// then asks for that mode). The picture is the largest centred 4:3 rectangle
// of the frame, with black bars around it (platform/picture.h). Off screen, a
// size other than 640 x 480, or supersampling, draws into a framebuffer
// object of the frame's size times the samples per pixel, so that no screen
// or pbuffer limits it; the plain 640 x 480 run keeps the pbuffer.
//
// A visible window waits for the display's refresh at every swap (no tearing)
// when the options ask for it; the display switch of a run without options
// keeps whatever the driver does, as fast as it can draw.
#pragma once

#include <string>

#include "platform/glcontext.h"
#include "platform/picture.h"

union SDL_Event;

// The keys the edit mode reads, as window_key_hook receives them: the
// platform's key codes (platform/glcontext.h: SDL's, which the Windows
// backend makes from the virtual key codes; a printable key is its character).
enum window_key : int {
    WINDOW_KEY_SPACE         = GL_KEY_SPACE,
    WINDOW_KEY_LEFT_BRACKET  = GL_KEY_LEFT_BRACKET,
    WINDOW_KEY_RIGHT_BRACKET = GL_KEY_RIGHT_BRACKET,
    WINDOW_KEY_L             = 'l',
    WINDOW_KEY_HOME          = GL_KEY_HOME,
    WINDOW_KEY_PAGE_UP       = GL_KEY_PAGE_UP,
    WINDOW_KEY_PAGE_DOWN     = GL_KEY_PAGE_DOWN,
    WINDOW_KEY_RIGHT         = GL_KEY_RIGHT,
    WINDOW_KEY_LEFT          = GL_KEY_LEFT,
};

struct window_options {
    bool windowed  = false;  // an ordinary window instead of the display switch
    bool desktop   = false;  // a borderless window over the desktop, no mode switch
    bool offscreen = false;  // SDL's offscreen driver: no display needed
    bool vsync     = false;  // swap interval 1 for a visible window
    int  width     = 640;    // the frame (window, mode or off-screen picture)
    int  height    = 480;
    int  ssaa      = 1;      // samples per pixel along each axis, off screen
};

extern bool           WINDOW_CLOSED;
extern window_options WINDOW_OPTIONS;
extern picture_rect   WINDOW_PICTURE;  // where the picture sits in the drawn frame
// Called by WINDOW_PROC for every key pressed but Escape (window_key or
// SDL key code, Shift held), when set.
extern void (*window_key_hook)(int key, bool shift);

bool WINDOW_CREATE();
void WINDOW_DESTROY();
int  WINDOW_UPDATE();
int  WINDOW_PROC(const SDL_Event& event);  // the SDL backend's; Win32's is its window procedure

// Why the last WINDOW_CREATE failed ("" after a success).
const std::string& window_last_error();
// Renames the window, when there is one.
void window_set_title(const std::string& title);
// True while a window exists.
bool window_exists();
// Turns SIGINT and SIGTERM into close requests handled by WINDOW_UPDATE.
void window_install_signal_handlers();
// Shows a message box titled "Error" when a window exists (stderr is the caller's).
void window_show_error(const std::string& message);
