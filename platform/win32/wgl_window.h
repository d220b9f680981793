// platform/win32/wgl_window.h - what the Windows backend adds to glcontext.h.
//
// Every window of the program is of the one class "qiv", registered once by
// gl_context_open with a procedure that hands each message to the procedure
// set here (the demo's WINDOW_PROC), or to the default procedure when none
// is set. Only Win32 code includes this header.
#pragma once

#include <windows.h>

// Sets (or, with nullptr, clears) the procedure every window's messages go to.
void gl_context_set_window_proc(WNDPROC proc);
// The platform's key code (gl_key, a letter or a digit) of a virtual key; 0
// for keys no reader looks at.
int gl_context_key_code(WPARAM vk);
