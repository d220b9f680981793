// shell/win32/window.cpp - window, GL context and message pump over Win32 (see window.h).
//
// The window, the display switch and the context come from the platform's
// Win32 backend (platform/win32/glcontext.cpp); this file is the demo's side:
// WINDOW_PROC, the window procedure of the class "qiv", and the pump in
// WINDOW_UPDATE. Escape sends WM_CLOSE to the window; WM_CLOSE runs
// WINDOW_DESTROY at once (display mode back, context and window gone);
// WM_DESTROY posts the quit message that the next WINDOW_UPDATE turns into
// WINDOW_CLOSED. Other keys go to window_key_hook as the Linux build's key
// codes (window_key), so the edit mode reads the same keys on both. Ctrl+C
// and Ctrl+Break at the console are close requests too: the console handler
// only sets a flag (it runs on a thread of its own) and WINDOW_UPDATE acts.
//
// Off screen, the hidden window only carries the context: the frame is
// always a framebuffer object, and each frame is finished with glFinish
// instead of a swap, as under the Linux build's offscreen driver.
#include "shell/window.h"

#include <GL/gl.h>
#include <cstdlib>

#include "platform/win32/wgl_window.h"
#include "shell/window_frame.h"

// --- module state -------------------------------------------------------------
static volatile LONG window_signalled = 0;      // Ctrl+C or Ctrl+Break arrived
static bool          window_cursor_hidden = false;

// --- internal helpers ---------------------------------------------------------
static BOOL WINAPI window_on_console(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    InterlockedExchange(&window_signalled, 1);
    return TRUE;
}

// --- public functions ---------------------------------------------------------
LRESULT CALLBACK WINDOW_PROC(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_KEYDOWN:
        if (wparam == VK_ESCAPE)
            SendMessageA(window, WM_CLOSE, 0, 0);
        else if (window_key_hook && gl_context_key_code(wparam) != 0)
            window_key_hook(gl_context_key_code(wparam), (GetKeyState(VK_SHIFT) & 0x8000) != 0);
        return 0;
    case WM_CLOSE:
        WINDOW_DESTROY();
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wparam, lparam);
    }
}

bool WINDOW_CREATE()
{
    gl_context_set_window_proc(WINDOW_PROC);
    if (!window_frame_open())
        return false;
    if (!WINDOW_OPTIONS.offscreen && !window_cursor_hidden) {
        ShowCursor(FALSE);
        window_cursor_hidden = true;
    }
    WINDOW_CLOSED = false;
    return true;
}

void WINDOW_DESTROY()
{
    window_frame_close();  // the display gets its own mode back here
    if (window_cursor_hidden) {
        ShowCursor(TRUE);
        window_cursor_hidden = false;
    }
    WINDOW_CLOSED = true;
}

int WINDOW_UPDATE()
{
    if (WINDOW_FRAME.ctx.window) {
        if (WINDOW_OPTIONS.offscreen) {
            glFinish();  // the frame's work is done now, not in a later burst
        } else {
            gl_context_swap(WINDOW_FRAME.ctx);
            picture_clear_bars(WINDOW_PICTURE, WINDOW_FRAME.width, WINDOW_FRAME.height);
        }
    }
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            WINDOW_CLOSED = true;
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (InterlockedExchange(&window_signalled, 0) != 0)
        WINDOW_DESTROY();
    return WINDOW_CLOSED ? 1 : 0;
}

void window_install_signal_handlers()
{
    SetConsoleCtrlHandler(window_on_console, TRUE);
}

void window_show_error(const std::string& message)
{
    // Tests and scripted runs set QIV_NO_MESSAGE_BOX: a modal box would wait for a click.
    if (WINDOW_FRAME.ctx.window && !std::getenv("QIV_NO_MESSAGE_BOX"))
        MessageBoxA(WINDOW_FRAME.ctx.window, message.c_str(), "Error", MB_OK | MB_ICONERROR);
}
