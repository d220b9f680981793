// tests/common/xvfb.cpp - private X server (see xvfb.h).
#include "xvfb.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "process.h"

// --- internal helpers ---------------------------------------------------------
// The standard VESA 640 x 480 at 60 Hz timing; Xvfb only needs the sizes.
static bool xvfb_add_mode(const std::string& display)
{
    std::vector<std::string> env = {"DISPLAY=" + display};
    program_result made = run_program("/usr/bin/xrandr",
        {"--newmode", "640x480", "25.175", "640", "656", "752", "800", "480", "490", "492", "525",
         "-hsync", "-vsync"}, env, "", 10);
    program_result added = run_program("/usr/bin/xrandr", {"--addmode", "screen", "640x480"}, env, "", 10);
    return made.status == 0 && added.status == 0;
}

// The top-level window whose WM_NAME is `title`, or 0.
static Window xvfb_find_window(Display* d, const std::string& title)
{
    Window root = DefaultRootWindow(d), parent = 0, *children = nullptr, found = 0;
    unsigned int count = 0;
    if (!XQueryTree(d, root, &root, &parent, &children, &count))
        return 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        if (XFetchName(d, children[i], &name) && name) {
            if (title == name)
                found = children[i];
            XFree(name);
        }
    }
    if (children)
        XFree(children);
    return found;
}

// --- public functions ---------------------------------------------------------
// Xvfb chooses a free display number itself (-displayfd) and writes it to a
// pipe once it accepts connections: picking a number here and starting the
// server after would race with tests starting servers in parallel.
xvfb_server::xvfb_server(const std::string& screen)
{
    int fds[2];
    if (pipe(fds) != 0)
        return;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 0), dup2(devnull, 1), dup2(devnull, 2);
        std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
               "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    pid_ = pid;
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n')
        number.push_back(c);
    close(fds[0]);
    if (number.empty()) {  // the server failed to start
        if (pid_ > 0)
            waitpid(pid_, nullptr, 0);
        pid_ = -1;
        return;
    }
    display_ = ":" + number;
    mode_added_ = xvfb_add_mode(display_);
}

xvfb_server::~xvfb_server()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

// xrandr prints the output as "screen connected 640x480+0+0 0mm x 0mm".
std::string xvfb_server::mode() const
{
    program_result r = run_program("/usr/bin/xrandr", {}, {env()}, "", 10);
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string output, state, geometry;
        if (words >> output >> state >> geometry && output == "screen" && state == "connected")
            return geometry;
    }
    return "";
}

std::string xvfb_server::window_geometry(const std::string& title) const
{
    Display* d = XOpenDisplay(display_.c_str());
    if (!d)
        return "";
    std::string geometry;
    if (Window w = xvfb_find_window(d, title)) {
        XWindowAttributes a;
        if (XGetWindowAttributes(d, w, &a))
            geometry = std::to_string(a.width) + "x" + std::to_string(a.height) + "+" + std::to_string(a.x) +
                       "+" + std::to_string(a.y);
    }
    XCloseDisplay(d);
    return geometry;
}

bool xvfb_server::close_request(const std::string& title) const
{
    Display* d = XOpenDisplay(display_.c_str());
    if (!d)
        return false;
    Window w = xvfb_find_window(d, title);
    if (w) {
        XEvent e;
        std::memset(&e, 0, sizeof e);
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
        e.xclient.format = 32;
        e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
        e.xclient.data.l[1] = CurrentTime;
        XSendEvent(d, w, False, NoEventMask, &e);
        XSync(d, False);
    }
    XCloseDisplay(d);
    return w != 0;
}

std::vector<uint8_t> xvfb_server::screenshot(int& width, int& height) const
{
    std::vector<uint8_t> rgb;
    width = height = 0;
    Display* d = XOpenDisplay(display_.c_str());
    if (!d)
        return rgb;
    Window root = DefaultRootWindow(d);
    XWindowAttributes a;
    XImage* img = XGetWindowAttributes(d, root, &a) ? XGetImage(d, root, 0, 0, static_cast<unsigned>(a.width),
                                                                 static_cast<unsigned>(a.height), AllPlanes, ZPixmap)
                                                    : nullptr;
    if (img) {
        width = a.width;
        height = a.height;
        rgb.reserve(static_cast<size_t>(width) * height * 3);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                unsigned long p = XGetPixel(img, x, y);
                rgb.push_back(static_cast<uint8_t>((p & img->red_mask) >> 16));
                rgb.push_back(static_cast<uint8_t>((p & img->green_mask) >> 8));
                rgb.push_back(static_cast<uint8_t>(p & img->blue_mask));
            }
        XDestroyImage(img);
    }
    XCloseDisplay(d);
    return rgb;
}

program_result xvfb_run_with_escape(const xvfb_server& x, const std::string& program,
                                    const std::vector<std::string>& args, std::vector<std::string> env,
                                    const std::string& cwd, double timeout_s, double settle_s)
{
    env.push_back(x.env());
    std::atomic<bool> done{false};
    std::thread closer([&] {
        using clock = std::chrono::steady_clock;
        clock::time_point seen{}, last{};
        const std::vector<std::string> shown = {"search", "--onlyvisible", "--name", "."};
        while (!done) {
            if (seen == clock::time_point{}) {
                if (run_program("/usr/bin/xdotool", shown, {x.env()}, "", 10).status == 0)
                    seen = clock::now();
            } else if (clock::now() - seen > std::chrono::duration<double>(settle_s) &&
                       clock::now() - last > std::chrono::milliseconds(500)) {
                std::vector<std::string> press = shown;
                press.insert(press.end(), {"windowfocus", "--sync", "key", "Escape"});
                run_program("/usr/bin/xdotool", press, {x.env()}, "", 10);
                last = clock::now();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    program_result r = run_program(program, args, env, cwd, timeout_s);
    done = true;
    closer.join();
    return r;
}

program_result xvfb_window_do(const xvfb_server& x, const std::string& name, const std::vector<std::string>& args)
{
    std::vector<std::string> all = {"search", "--name", name};
    all.insert(all.end(), args.begin(), args.end());
    return run_program("/usr/bin/xdotool", all, {x.env()}, "", 20);
}

std::string xvfb_wait_title(const xvfb_server& x, const std::string& name,
                            const std::function<bool(const std::string&)>& ok, double timeout_s)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_s);
    do {
        std::string title = xvfb_window_do(x, name, {"getwindowname"}).out;
        if (!title.empty() && ok(title))  // "": no such window (yet)
            return title;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < until);
    return "";
}
