// shell/window.h - the demo's one output surface and its message pump.
//
// WINDOW_CREATE switches the display to 640 x 480 and opens a borderless
// full-screen window titled "qiv" with a double-buffered RGBA GL context (24
// depth and 8 stencil bits) current on the main thread, and hides the cursor.
// WINDOW_UPDATE swaps once and then drains pending events without blocking.
// Escape, the window's close button, SDL_QUIT, SIGINT and SIGTERM are close
// requests: each runs WINDOW_DESTROY at once (display mode restored, context
// and window gone) and sets WINDOW_CLOSED, which the main loop watches.
//
// window_options picks a plain 640 x 480 window (--windowed) or an invisible
// off-screen surface (capture) instead of the display switch.
#pragma once

#include <string>

union SDL_Event;

struct window_options {
    bool windowed  = false;  // an ordinary window instead of the display switch
    bool offscreen = false;  // SDL's offscreen driver: no display needed
};

extern bool           WINDOW_CLOSED;
extern window_options WINDOW_OPTIONS;
// Called by WINDOW_PROC for every key pressed but Escape (SDL key code, Shift held), when set.
extern void (*window_key_hook)(int key, bool shift);

bool WINDOW_CREATE();
void WINDOW_DESTROY();
int  WINDOW_UPDATE();
int  WINDOW_PROC(const SDL_Event& event);

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
