// tests/common/xvfb.h - a private X server for whole-program window tests.
//
// xvfb_server starts Xvfb on a free display number the server picks itself,
// 1024 x 768 x 24, waits until it answers, and kills it when destroyed. Tests
// pass "DISPLAY=" + display() to the program and to xdotool.
#pragma once

#include <string>
#include <sys/types.h>

class xvfb_server {
public:
    xvfb_server();
    ~xvfb_server();
    xvfb_server(const xvfb_server&) = delete;
    xvfb_server& operator=(const xvfb_server&) = delete;
    bool               ok() const { return pid_ > 0; }
    const std::string& display() const { return display_; }
    std::string        env() const { return "DISPLAY=" + display_; }

private:
    pid_t       pid_ = -1;
    std::string display_;
};
