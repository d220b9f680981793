// tests/common/xvfb.cpp - private X server (see xvfb.h).
#include "xvfb.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

static bool xvfb_display_taken(int n)
{
    struct stat st;
    std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
    std::string sock = "/tmp/.X11-unix/X" + std::to_string(n);
    return stat(lock.c_str(), &st) == 0 || stat(sock.c_str(), &st) == 0;
}

xvfb_server::xvfb_server()
{
    int n = 91;
    while (n < 200 && xvfb_display_taken(n))
        ++n;
    display_ = ":" + std::to_string(n);
    pid_t pid = fork();
    if (pid == 0) {
        int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 0), dup2(devnull, 1), dup2(devnull, 2);
        execlp("Xvfb", "Xvfb", display_.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    pid_ = pid;
    std::string sock = "/tmp/.X11-unix/X" + std::to_string(n);
    for (int i = 0; i < 100; ++i) {
        struct stat st;
        if (stat(sock.c_str(), &st) == 0)
            return;
        int status;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

xvfb_server::~xvfb_server()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}
