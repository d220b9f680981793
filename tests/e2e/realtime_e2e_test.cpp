// A real-time run of the show off screen: the frame loop must hand every
// frame's work to the driver, so that memory stays flat while it plays and a
// close request ends it at once, instead of the driver queueing frames (memory
// climbing by the second) and running them later in one long burst.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <poll.h>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "e2e_data.h"
#include "process.h"

namespace {

using realtime_clock = std::chrono::steady_clock;

#ifndef QIV_SANITIZER_BUILD
#define QIV_SANITIZER_BUILD 0
#endif
// AddressSanitizer keeps freed blocks in a quarantine (256 MB by default)
// before reusing them, so a show that allocates and frees while it plays
// grows by up to that much. The sanitizer build runs qiv with a small
// quarantine and allows for it on top of the plain bound.
constexpr long realtime_quarantine_mb = 16;
constexpr long realtime_growth_kb = (16 + (QIV_SANITIZER_BUILD ? realtime_quarantine_mb : 0)) * 1024;

void realtime_child_env()
{
    for (const char* e : {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", "QIV_NO_MESSAGE_BOX=1"})
        putenv(const_cast<char*>(e));
    if (QIV_SANITIZER_BUILD) {
        const char* asan = getenv("ASAN_OPTIONS");
        std::string options = std::string(asan ? asan : "") + ":quarantine_size_mb=" +
                              std::to_string(realtime_quarantine_mb);
        setenv("ASAN_OPTIONS", options.c_str(), 1);
    }
}

struct realtime_run {
    pid_t       pid = -1;
    int         out = -1;  // the child's stdout
    std::string text;
};

realtime_run realtime_start(const std::vector<std::string>& args)
{
    realtime_run run;
    int fds[2];
    if (pipe(fds) != 0)
        return run;
    run.pid = fork();
    if (run.pid == 0) {
        dup2(fds[1], 1);
        close(fds[0]), close(fds[1]);
        if (chdir(e2e_data_dir().c_str()) != 0)
            _exit(126);
        realtime_child_env();
        std::vector<char*> argv{strdup(qiv_path().c_str())};
        for (const std::string& a : args)
            argv.push_back(strdup(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    run.out = fds[0];
    return run;
}

// Resident memory of the child in kB, from /proc; 0 once it is gone.
long realtime_rss_kb(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

// Reads the child's output until it closes or the deadline passes; the exit status, -1 on a timeout.
int realtime_finish(realtime_run& run, realtime_clock::time_point deadline)
{
    char buf[4096];
    while (realtime_clock::now() < deadline) {
        pollfd p{run.out, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        ssize_t n = read(run.out, buf, sizeof buf);
        if (n <= 0)
            break;
        run.text.append(buf, static_cast<size_t>(n));
    }
    close(run.out);
    int status = 0;
    if (realtime_clock::now() >= deadline) {
        kill(run.pid, SIGKILL);
        waitpid(run.pid, &status, 0);
        return -1;
    }
    waitpid(run.pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

TEST(RealtimeE2E, OffScreenShowKeepsMemoryFlatAndStopsAtOnce)
{
    e2e_data_dir();  // the data exists before the clock starts
    realtime_run run = realtime_start({"-bmark"});
    ASSERT_GT(run.pid, 0);
    auto start = realtime_clock::now();
    auto at = [&](double s) { std::this_thread::sleep_until(start + std::chrono::duration<double>(s)); };
    // Loading takes about a second; from then on each second of show must not
    // add to what the process holds (a queueing driver adds 20 to 100 MB/s).
    at(3.0);
    long early = realtime_rss_kb(run.pid);
    long peak = early;
    for (double s = 3.5; s <= 8.0; s += 0.5) {
        at(s);
        peak = std::max(peak, realtime_rss_kb(run.pid));
    }
    ASSERT_GT(early, 0) << "qiv ended early";
    EXPECT_LT(peak - early, realtime_growth_kb) << "resident memory went from " << early << " kB to " << peak << " kB";

    kill(run.pid, SIGTERM);
    auto asked = realtime_clock::now();
    int status = realtime_finish(run, asked + std::chrono::seconds(20));
    double stop_s = std::chrono::duration<double>(realtime_clock::now() - asked).count();
    EXPECT_EQ(status, 0) << run.text;
    EXPECT_LT(stop_s, 3.0) << "the close request waited for queued frames";

    // The frames booked to segment 1 were drawn within the 7 or so seconds it
    // ran, and every later segment drew none.
    std::smatch m;
    ASSERT_TRUE(std::regex_search(run.text, m, std::regex("segment 1: (\\d+) frames, ([0-9.]+) fps")))
        << run.text;
    int frames = std::stoi(m[1]);
    std::printf("resident %ld kB at 3 s, at most %ld kB to 8 s; segment 1: %d frames; stopped in %.2f s\n",
                early, peak, frames, stop_s);
    EXPECT_GT(frames, 5);
    EXPECT_GT(std::stod(m[2]), 0.5);
    EXPECT_NE(run.text.find("segment 2: 0 frames"), std::string::npos) << run.text;
}
