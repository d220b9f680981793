// platform/win32/glcontext.cpp - window and GL context over Win32 and WGL (see glcontext.h).
//
// The Windows build's backend, written as the original platform layer did
// it: one window class "qiv" (CS_HREDRAW | CS_VREDRAW | CS_OWNDC, so the
// window keeps one device context for its life), CreateWindowExA, a display
// switch with ChangeDisplaySettingsA and CDS_FULLSCREEN (a temporary change
// that closing puts back), ChoosePixelFormat and SetPixelFormat for a
// double-buffered RGBA format with 24 depth and 8 stencil bits (the stencil
// shadows need them), wglCreateContext and wglMakeCurrent.
//
// The window kinds: full screen (a WS_POPUP at the screen's corner of the
// asked size, the display switched to that size at 32 bits), desktop (a
// WS_POPUP over the whole screen, its mode kept), windowed (a captioned
// window whose client area is the asked size, centred) and off screen (a
// hidden WS_POPUP; its pixels are undefined, so every off-screen picture is
// drawn into a framebuffer object, see gl_context_offscreen_needs_target).
//
// Limits: one display (the primary one); GL entry points beyond 1.1 come from
// wglGetProcAddress, those of 1.1 from opengl32.dll itself.
#include "platform/glcontext.h"

#include "platform/win32/wgl_window.h"

#include <GL/gl.h>
#include <cstdio>
#include <deque>

// --- module state -------------------------------------------------------------
static WNDPROC gl_context_proc_target = nullptr;  // the program's window procedure
static bool    gl_context_class_ready = false;    // "qiv" registered
static bool    gl_context_switched = false;       // the display mode is ours
static DEVMODEA gl_context_before{};              // the mode found before the switch
static DWORD   gl_context_error = 0;              // GetLastError of the last failure
static std::deque<gl_input> gl_context_inputs;    // keys and close requests not yet polled

// --- internal helpers ---------------------------------------------------------
// Without a procedure of the program's own, keys and close requests are
// queued for gl_context_poll; the window stays until the program closes it.
static LRESULT CALLBACK gl_context_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (gl_context_proc_target)
        return gl_context_proc_target(window, message, wparam, lparam);
    switch (message) {
    case WM_KEYDOWN:
        gl_context_inputs.push_back(gl_input{false, gl_context_key_code(wparam), (GetKeyState(VK_SHIFT) & 0x8000) != 0});
        return 0;
    case WM_CLOSE:
        gl_context_inputs.push_back(gl_input{true, 0, false});
        return 0;
    default:
        return DefWindowProcA(window, message, wparam, lparam);
    }
}

// "what failed (Windows' own words)", the error code kept for gl_context_last_error.
static std::string gl_context_failure(const char* what)
{
    gl_context_error = GetLastError();
    return std::string(what) + " (" + gl_context_last_error() + ")";
}

static bool gl_context_register_class()
{
    if (gl_context_class_ready)
        return true;
    WNDCLASSA wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    wc.lpfnWndProc = gl_context_window_proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "qiv";
    if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return false;
    gl_context_class_ready = true;
    return true;
}

// Switches the display to width x height at 32 bits; the result is not
// examined (a display that keeps its mode still shows the window).
static void gl_context_switch_display(int width, int height)
{
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    mode.dmBitsPerPel = 32;
    mode.dmPelsWidth = static_cast<DWORD>(width);
    mode.dmPelsHeight = static_cast<DWORD>(height);
    gl_context_before = DEVMODEA{};
    gl_context_before.dmSize = sizeof gl_context_before;
    if (!EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &gl_context_before))
        gl_context_before.dmSize = 0;
    ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN);
    gl_context_switched = true;
}

// The registry's mode again; when that fails, or leaves another size than
// the one found before the switch (seen once under Wine, the display left at
// 640 x 480), the mode found before is asked for by itself.
static void gl_context_restore_display()
{
    LONG result = ChangeDisplaySettingsA(nullptr, 0);
    if (gl_context_before.dmSize == 0)
        return;
    DEVMODEA now{};
    now.dmSize = sizeof now;
    bool same = EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &now) &&
                now.dmPelsWidth == gl_context_before.dmPelsWidth && now.dmPelsHeight == gl_context_before.dmPelsHeight;
    if (result != DISP_CHANGE_SUCCESSFUL || !same) {
        gl_context_before.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
        ChangeDisplaySettingsA(&gl_context_before, 0);
    }
}

// The window's style and outer rectangle for the options.
static void gl_context_placement(const gl_context_options& o, DWORD& style, RECT& r)
{
    int screen_w = GetSystemMetrics(SM_CXSCREEN), screen_h = GetSystemMetrics(SM_CYSCREEN);
    style = WS_POPUP;
    r = RECT{0, 0, o.width, o.height};
    if (o.desktop && !o.offscreen) {
        r = RECT{0, 0, screen_w, screen_h};
    } else if (!o.fullscreen && !o.offscreen) {
        style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
        AdjustWindowRect(&r, style, FALSE);
        OffsetRect(&r, (screen_w - o.width) / 2, (screen_h - o.height) / 2);  // the client area centred
    }
}

static bool gl_context_pixel_format(HDC dc)
{
    PIXELFORMATDESCRIPTOR pfd{};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 32;
    pfd.cAlphaBits = 8;
    pfd.cDepthBits = 24;
    pfd.cStencilBits = 8;
    pfd.iLayerType = PFD_MAIN_PLANE;
    int format = ChoosePixelFormat(dc, &pfd);
    return format != 0 && SetPixelFormat(dc, format, &pfd);
}

// --- public functions ---------------------------------------------------------
bool gl_context_open(gl_context& ctx, const gl_context_options& options, std::string& error)
{
    if (!gl_context_register_class()) {
        error = gl_context_failure("cannot register the window class");
        return false;
    }
    ctx.video_started = true;
    DWORD style = 0;
    RECT r{};
    gl_context_placement(options, style, r);
    ctx.window = CreateWindowExA(0, "qiv", options.title.c_str(), style, r.left, r.top, r.right - r.left,
                                 r.bottom - r.top, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!ctx.window) {
        error = gl_context_failure("cannot open a window");
        gl_context_close(ctx);
        return false;
    }
    if (options.visible) {
        ShowWindow(ctx.window, SW_SHOW);
        UpdateWindow(ctx.window);
        SetForegroundWindow(ctx.window);
        SetFocus(ctx.window);
    }
    if (options.fullscreen && !options.offscreen)
        gl_context_switch_display(options.width, options.height);
    HDC dc = GetDC(ctx.window);
    if (!dc || !gl_context_pixel_format(dc)) {
        error = gl_context_failure("cannot set a pixel format (double-buffered RGBA, 24 depth and 8 stencil bits)");
        gl_context_close(ctx);
        return false;
    }
    HGLRC rc = wglCreateContext(dc);
    ctx.context = rc;
    if (!rc || !wglMakeCurrent(dc, rc)) {
        error = gl_context_failure("cannot create an OpenGL context");
        gl_context_close(ctx);
        return false;
    }
    return true;
}

void gl_context_close(gl_context& ctx)
{
    if (gl_context_switched) {
        gl_context_restore_display();
        gl_context_switched = false;
    }
    if (ctx.context) {
        if (wglGetCurrentContext() == static_cast<HGLRC>(ctx.context))
            wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(static_cast<HGLRC>(ctx.context));
        ctx.context = nullptr;
    }
    if (ctx.window) {
        HWND window = ctx.window;
        ctx.window = nullptr;  // a message sent while it goes finds no window here
        ReleaseDC(window, GetDC(window));
        DestroyWindow(window);
    }
    ctx.video_started = false;
}

bool gl_context_current()
{
    return wglGetCurrentContext() != nullptr;
}

void gl_context_swap(gl_context& ctx)
{
    if (ctx.window)
        SwapBuffers(GetDC(ctx.window));
}

void gl_context_drawable_size(const gl_context& ctx, int& width, int& height)
{
    RECT r{};
    GetClientRect(ctx.window, &r);
    width = r.right - r.left;
    height = r.bottom - r.top;
}

bool gl_context_set_swap_interval(int interval)
{
    using swap_interval_fn = BOOL(WINAPI*)(int);
    swap_interval_fn set = reinterpret_cast<swap_interval_fn>(gl_context_proc_address("wglSwapIntervalEXT"));
    if (!set) {
        gl_context_error = ERROR_NOT_SUPPORTED;
        return false;
    }
    if (set(interval))
        return true;
    gl_context_error = GetLastError();
    return false;
}

std::string gl_context_last_error()
{
    char text[256] = "";
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, gl_context_error,
                             0, text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == '.'))
        text[--n] = '\0';
    if (n == 0)
        std::snprintf(text, sizeof text, "Windows error %lu", static_cast<unsigned long>(gl_context_error));
    return text;
}

bool gl_context_offscreen_needs_target()
{
    return true;  // a hidden window's pixels are undefined
}

void* gl_context_proc_address(const std::string& name)
{
    PROC p = wglGetProcAddress(name.c_str());
    auto value = reinterpret_cast<intptr_t>(p);
    if (value == 0 || value == 1 || value == 2 || value == 3 || value == -1)  // some drivers' "none"
        p = GetProcAddress(GetModuleHandleA("opengl32.dll"), name.c_str());
    return reinterpret_cast<void*>(p);
}

void gl_context_set_window_proc(WNDPROC proc)
{
    gl_context_proc_target = proc;
}

int gl_context_key_code(WPARAM vk)
{
    switch (vk) {
    case VK_ESCAPE: return GL_KEY_ESCAPE;
    case VK_SPACE: return GL_KEY_SPACE;
    case VK_LEFT: return GL_KEY_LEFT;
    case VK_RIGHT: return GL_KEY_RIGHT;
    case VK_PRIOR: return GL_KEY_PAGE_UP;
    case VK_NEXT: return GL_KEY_PAGE_DOWN;
    case VK_HOME: return GL_KEY_HOME;
    case VK_OEM_4: return GL_KEY_LEFT_BRACKET;
    case VK_OEM_6: return GL_KEY_RIGHT_BRACKET;
    default: break;
    }
    if (vk >= 'A' && vk <= 'Z')
        return static_cast<int>(vk - 'A' + 'a');
    if (vk >= '0' && vk <= '9')
        return static_cast<int>(vk);
    return 0;
}

bool gl_context_poll(gl_input& event)
{
    MSG msg;
    while (gl_context_inputs.empty() && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            gl_context_inputs.push_back(gl_input{true, 0, false});
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (gl_context_inputs.empty())
        return false;
    event = gl_context_inputs.front();
    gl_context_inputs.pop_front();
    return true;
}

void gl_context_set_title(gl_context& ctx, const std::string& title)
{
    if (ctx.window)
        SetWindowTextA(ctx.window, title.c_str());
}
