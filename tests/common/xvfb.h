// tests/common/xvfb.h - a private X server for whole-program window tests.
//
// xvfb_server starts Xvfb on a free display number the server picks itself,
// 1024 x 768 x 24 unless told another screen size, waits until it answers, gives its RandR output a 640 x 480
// mode a full-screen program can switch to, and kills it when destroyed. The
// server runs with -noreset: by default an X server resets when its last
// client leaves, which would drop the added mode between two xrandr calls.
// Tests pass "DISPLAY=" + display() to the program and to xdotool; mode()
// tells which mode the screen shows, so a test can see the program switch it
// and put it back. The window helpers speak Xlib directly for what xdotool
// cannot do (a window manager's close request) or says loosely (geometry).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "process.h"
#include <sys/types.h>

class xvfb_server {
public:
    // screen is the root window's size and depth, "WxHxD".
    explicit xvfb_server(const std::string& screen = "1024x768x24");
    ~xvfb_server();
    xvfb_server(const xvfb_server&) = delete;
    xvfb_server& operator=(const xvfb_server&) = delete;
    bool               ok() const { return pid_ > 0 && mode_added_; }
    const std::string& display() const { return display_; }
    std::string        env() const { return "DISPLAY=" + display_; }
    // The output's current mode and place, "640x480+0+0"; "" when unknown.
    std::string        mode() const;
    // Geometry "WxH+X+Y" of the top-level window titled `title`; "" when none.
    std::string        window_geometry(const std::string& title) const;
    // Sends the window titled `title` the close request a window manager
    // sends (WM_PROTOCOLS / WM_DELETE_WINDOW); false when there is no such window.
    bool               close_request(const std::string& title) const;
    // The whole screen as RGB bytes, top row first (24-bit screens); empty on failure.
    std::vector<uint8_t> screenshot(int& width, int& height) const;

private:
    pid_t       pid_ = -1;
    bool        mode_added_ = false;
    std::string display_;
};

// Runs program under x and ends it as a user would: once a window with a name
// has been on screen for settle_s seconds, xdotool presses Escape in it, and
// again every half second until the program has ended (or timeout_s passed).
// env gets DISPLAY added; the rest (SDL_VIDEODRIVER=x11, ...) is the caller's.
program_result xvfb_run_with_escape(const xvfb_server& x, const std::string& program,
                                    const std::vector<std::string>& args, std::vector<std::string> env,
                                    const std::string& cwd, double timeout_s, double settle_s = 1.0);

// xdotool on the window whose name matches `name` (a regular expression):
// args follow the search ({"getwindowname"}, {"windowfocus", "--sync", "key",
// "space"}, ...). Without a window of that name it fails at once.
program_result xvfb_window_do(const xvfb_server& x, const std::string& name, const std::vector<std::string>& args);
// Reads that window's title every 50 ms until `ok` accepts it (the title is
// returned) or timeout_s has passed ("" is returned).
std::string xvfb_wait_title(const xvfb_server& x, const std::string& name,
                            const std::function<bool(const std::string&)>& ok, double timeout_s);
