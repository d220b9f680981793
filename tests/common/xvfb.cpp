// tests/common/xvfb.cpp - private X server (see xvfb.h).
#include "xvfb.h"

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <string>
#include <unistd.h>

// Xvfb chooses a free display number itself (-displayfd) and writes it to a
// pipe once it accepts connections: picking a number here and starting the
// server after would race with tests starting servers in parallel.
xvfb_server::xvfb_server()
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
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
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
}

xvfb_server::~xvfb_server()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}
