// shell/capture_jobs.cpp - the split capture's parent and child sides (see capture_jobs.h).
//
// Children are this same program (/proc/self/exe) started by fork and exec,
// each in a process group of its own so that the parent can stop a child
// together with its ffmpeg; a child also asks the kernel for SIGTERM when the
// parent dies, so no child outlives a killed parent. A child reports one byte
// per written frame on its own pipe; the parent polls all pipes and reaps the
// children, and stops everything at the first failure or signal. The work
// folder is OUT's name with ".parts-<pid>" appended, on OUT's file system, so
// the finished PNGs are moved with rename and nothing is copied.
#include "shell/capture_jobs.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "shell/capture.h"
#include "shell/clock.h"
#include "shell/shell.h"
#include "shell/timeline.h"
#include "support/child.h"
#include "support/error.h"

capture_jobs_options CAPTURE_JOBS;

static volatile sig_atomic_t capture_jobs_signalled = 0;
static uint32_t              capture_part_reported = 0;

struct capture_child {
    capture_part part;
    int          pid = -1;
    int          fd = -1;     // read end of the child's progress pipe, -1 once closed
    int64_t      frames = 0;  // frames the child reported
    bool         exited = false;
    int          status = 0;
};

// --- internal helpers ---------------------------------------------------------
static void capture_jobs_on_signal(int)
{
    capture_jobs_signalled = 1;
}

static void capture_jobs_install_signals()
{
    struct sigaction action{};
    action.sa_handler = capture_jobs_on_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

// Nearest valid start of a part to target: on the gop grid after first,
// inside (after, last], at a frame where a segment runs; -1 when there is none.
static int64_t capture_split_point(capture_rate fps, int64_t first, int64_t last, int64_t after,
                                   int64_t target, int64_t gop)
{
    int64_t base = first + (target - first + gop / 2) / gop * gop;
    int64_t steps = (last - first) / gop + 1;
    for (int64_t k = 0; k <= steps; ++k)
        for (int64_t b : {base + k * gop, base - k * gop})
            if (b > after && b <= last && timeline_segment(capture_frame_time(b, fps)) != 0)
                return b;
    return -1;
}

static std::string capture_jobs_strip(std::string out)
{
    while (out.size() > 1 && out.back() == '/')
        out.pop_back();
    return out;
}

static std::string capture_jobs_work_dir()
{
    return capture_jobs_strip(SHELL_OPTIONS.capture_out) + ".parts-" + std::to_string(getpid());
}

// The checks a single run makes before its first frame, made before any child starts.
static void capture_jobs_check_output(const std::string& out)
{
    std::filesystem::path target(capture_jobs_strip(out));
    if (capture_is_video(out)) {
        if (capture_find_ffmpeg().empty())
            fatal_raise(out + ": video capture needs ffmpeg, which was not found on the PATH; "
                        "install ffmpeg, or capture into a folder of PNG frames instead");
        if (target.has_parent_path() && !std::filesystem::is_directory(target.parent_path()))
            fatal_raise(out + ": the folder " + target.parent_path().string() + " does not exist");
    } else if (std::filesystem::exists(target) && !std::filesystem::is_directory(target)) {
        fatal_raise(out + ": cannot create the capture folder (a file of that name exists)");
    }
}

static std::vector<std::string> capture_child_args(const capture_part& p, int fd, const std::string& dir,
                                                   uint64_t seed)
{
    std::vector<std::string> args = {"qiv"};
    args.insert(args.end(), SHELL_ARGS.begin(), SHELL_ARGS.end());
    if (!SHELL_OPTIONS.seed)
        args.insert(args.end(), {"--seed", std::to_string(seed)});
    args.insert(args.end(), {"--capture-part", std::to_string(p.index), std::to_string(p.first),
                             std::to_string(p.last), std::to_string(fd), "--capture-part-dir", dir});
    return args;
}

// In the forked child: own process group, death signal, then this program again.
[[noreturn]] static void capture_child_exec(const std::vector<std::string>& args, int fd, pid_t parent,
                                            const std::string& log)
{
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent)
        _exit(1);
    int err = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (err >= 0)
        dup2(err, 2);  // the parent passes on what the parts say, once
    fcntl(fd, F_SETFD, 0);  // the progress pipe survives exec; every other pipe end does not
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv("/proc/self/exe", argv.data());
    std::fprintf(stderr, "qiv: cannot start a capture process (%s)\n", std::strerror(errno));
    _exit(1);
}

// The file a part's stderr goes to, in the work folder.
static std::string capture_child_log(const std::string& dir, const capture_part& p)
{
    return dir + "/part-" + std::to_string(p.index) + ".log";
}

static std::vector<std::string> capture_child_log_lines(const std::string& dir, const capture_part& p)
{
    std::vector<std::string> lines;
    FILE* f = std::fopen(capture_child_log(dir, p).c_str(), "rb");
    if (!f)
        return lines;
    std::string line;
    for (int ch; (ch = std::fgetc(f)) != EOF;) {
        if (ch != '\n') {
            line += static_cast<char>(ch);
            continue;
        }
        lines.push_back(line);
        line.clear();
    }
    if (!line.empty())
        lines.push_back(line);
    std::fclose(f);
    return lines;
}

// Passes on what the parts wrote to stderr, each line once, in part order.
// The parts load the same data and so report the same problems; one report
// of each is what a single run would have printed.
static void capture_jobs_pass_on_logs(const std::string& dir, const std::vector<capture_child>& kids)
{
    std::vector<std::string> seen;
    for (const capture_child& c : kids)
        for (const std::string& line : capture_child_log_lines(dir, c.part)) {
            if (std::find(seen.begin(), seen.end(), line) != seen.end())
                continue;
            seen.push_back(line);
            std::fprintf(stderr, "%s\n", line.c_str());
        }
    for (const capture_child& c : kids)
        std::remove(capture_child_log(dir, c.part).c_str());  // the folder may become OUT itself
}

// The message of a failed part: its own fatal message ("qiv: FILE: problem",
// given without the prefix, since main adds it again) when it wrote one, its
// other lines passed on first; otherwise which frames failed and how.
static std::string capture_jobs_failure_message(const std::string& dir, const capture_child& c,
                                                const std::string& fallback)
{
    std::vector<std::string> lines = capture_child_log_lines(dir, c.part);
    std::string message;
    std::fputc('\n', stderr);  // below the progress bar
    for (const std::string& line : lines) {
        if (line.rfind("qiv: ", 0) == 0)
            message = line.substr(5);
        else
            std::fprintf(stderr, "%s\n", line.c_str());
    }
    return message.empty() ? fallback : message;
}

static void capture_child_start(capture_child& c, const std::string& dir, uint64_t seed)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        fatal_raise(SHELL_OPTIONS.capture_out + ": cannot create a pipe (" + std::strerror(errno) + ")");
    std::vector<std::string> args = capture_child_args(c.part, fds[1], dir, seed);
    pid_t parent = getpid();
    pid_t pid = child_scope::fork_child();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        fatal_raise(SHELL_OPTIONS.capture_out + ": cannot start a capture process (" + std::strerror(errno) + ")");
    }
    if (pid == 0)
        capture_child_exec(args, fds[1], parent, capture_child_log(dir, c.part));
    setpgid(pid, pid);  // also done by the child: whichever runs first
    close(fds[1]);
    c.pid = pid;
    c.fd = fds[0];
}

static void capture_child_read(capture_child& c)
{
    char buf[256];
    ssize_t n = read(c.fd, buf, sizeof buf);
    if (n > 0) {
        c.frames += n;
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        close(c.fd);
        c.fd = -1;
    }
}

static void capture_child_reap(capture_child& c, bool block)
{
    if (c.exited || c.pid <= 0)
        return;
    int status = 0;
    pid_t r = child_scope::wait_child(c.pid, status, block);
    if (r == c.pid) {
        c.exited = true;
        c.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    } else if (r < 0 && errno != EINTR) {
        c.exited = true;
        c.status = 128;
    }
}

// Polls the progress pipes for up to timeout_ms and takes what arrived.
static void capture_jobs_poll(std::vector<capture_child>& kids, int timeout_ms)
{
    std::vector<pollfd> fds;
    std::vector<capture_child*> owners;
    for (capture_child& c : kids)
        if (c.fd >= 0) {
            fds.push_back({c.fd, POLLIN, 0});
            owners.push_back(&c);
        }
    if (fds.empty()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(timeout_ms));
        return;
    }
    if (poll(fds.data(), fds.size(), timeout_ms) <= 0)
        return;
    for (size_t i = 0; i < fds.size(); ++i)
        if (fds[i].revents & (POLLIN | POLLHUP | POLLERR))
            capture_child_read(*owners[i]);
}

// Stops every child still running with its process group (ffmpeg included):
// SIGTERM, then SIGKILL for those that have not ended within two seconds.
static void capture_jobs_stop(std::vector<capture_child>& kids)
{
    for (capture_child& c : kids)
        if (!c.exited && c.pid > 0)
            kill(-c.pid, SIGTERM);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (;;) {
        bool running = false;
        for (capture_child& c : kids) {
            capture_child_reap(c, false);
            running = running || !c.exited;
        }
        if (!running || std::chrono::steady_clock::now() > deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    for (capture_child& c : kids) {
        if (c.pid > 0)
            kill(-c.pid, SIGKILL);  // the child if it is still there, and an orphaned ffmpeg
        capture_child_reap(c, true);
        if (c.fd >= 0)
            close(c.fd);
        c.fd = -1;
    }
}

// Index of a child that failed (ended with a status other than 0, or before
// writing all its frames), or -1.
static int capture_jobs_failed(const std::vector<capture_child>& kids)
{
    for (size_t i = 0; i < kids.size(); ++i) {
        const capture_child& c = kids[i];
        int64_t want = c.part.last - c.part.first + 1;
        if (c.exited && (c.status != 0 || (c.fd < 0 && c.frames < want)))
            return static_cast<int>(i);
    }
    return -1;
}

static bool capture_jobs_done(const std::vector<capture_child>& kids)
{
    for (const capture_child& c : kids)
        if (!c.exited || c.fd >= 0)
            return false;
    return true;
}

static int64_t capture_jobs_frames(const std::vector<capture_child>& kids)
{
    int64_t sum = 0;
    for (const capture_child& c : kids)
        sum += c.frames;
    return sum;
}

// Waits for the children, drawing the progress bar; the failed child's index,
// -2 after a signal, or -1 when every part is complete.
static int capture_jobs_wait(std::vector<capture_child>& kids, uint32_t total)
{
    int64_t shown = -1;
    for (;;) {
        if (capture_jobs_signalled)
            return -2;
        capture_jobs_poll(kids, 100);
        for (capture_child& c : kids)
            capture_child_reap(c, false);
        int64_t done = capture_jobs_frames(kids);
        if (done != shown && done < total)
            capture_progress(static_cast<uint32_t>(done), total);
        shown = done;
        int failed = capture_jobs_failed(kids);
        if (failed >= 0)
            return failed;
        if (capture_jobs_done(kids)) {
            capture_progress(static_cast<uint32_t>(std::min<int64_t>(done, total)), total);
            return -1;
        }
    }
}

// Moves the PNG frames of the work folder into OUT (the folder itself when OUT does not exist yet).
static void capture_jobs_join_frames(const std::string& dir)
{
    std::filesystem::path out(capture_jobs_strip(SHELL_OPTIONS.capture_out));
    std::error_code ec;
    if (!std::filesystem::exists(out)) {
        if (out.has_parent_path())
            std::filesystem::create_directories(out.parent_path(), ec);
        std::filesystem::rename(dir, out, ec);
        if (!ec)
            return;
        std::filesystem::create_directories(out, ec);
    }
    std::vector<std::filesystem::path> frames;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
        frames.push_back(entry.path());
    for (const auto& f : frames) {
        std::filesystem::rename(f, out / f.filename(), ec);
        if (ec)
            fatal_raise(out.string() + ": cannot move the frame " + f.filename().string() + " into it (" +
                        ec.message() + ")");
    }
}

static std::vector<std::string> capture_jobs_concat_args(const std::string& list, const std::string& temp)
{
    const shell_options& o = SHELL_OPTIONS;
    std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                                     "-f", "concat", "-safe", "0", "-i", list};
    capture_video_args(args, o.fps, o.from_ms, o.data_dir + "/music.ogg", o.crf, temp);
    return args;
}

// Joins the video parts (in order), codes them once at the asked quality (the
// parts are lossless, so the join sees the frames a single run codes) and
// muxes the music in.
static void capture_jobs_join_video(const std::string& dir, const std::vector<capture_child>& kids)
{
    const std::string& out = SHELL_OPTIONS.capture_out;
    std::string list = dir + "/parts.txt";
    std::string text;
    for (const capture_child& c : kids)
        text += "file 'part-" + std::to_string(c.part.index) + ".mp4'\n";
    FILE* f = std::fopen(list.c_str(), "w");
    if (!f || std::fputs(text.c_str(), f) < 0 || std::fclose(f) != 0)
        fatal_raise(list + ": cannot write the list of video parts");
    std::string temp = out + ".part";
    int pid = capture_spawn(capture_find_ffmpeg(), capture_jobs_concat_args(list, temp), -1, out + ": ffmpeg");
    int status = capture_wait(pid);
    std::error_code ec;
    if (status != 0 || capture_jobs_signalled) {
        std::filesystem::remove(temp, ec);
        if (capture_jobs_signalled)
            fatal_raise(out + ": capture stopped by a signal while joining the parts; nothing was written");
        fatal_raise(out + ": ffmpeg failed with status " + std::to_string(status) +
                    " joining the video parts; see its message above");
    }
    std::filesystem::rename(temp, out, ec);
    if (ec)
        fatal_raise(out + ": cannot rename the finished video (" + ec.message() + ")");
}

static std::string capture_jobs_failure(const capture_child& c)
{
    std::string why = c.status >= 128 ? "was killed by signal " + std::to_string(c.status - 128)
                                      : "failed with status " + std::to_string(c.status);
    return SHELL_OPTIONS.capture_out + ": the capture of frames " + std::to_string(c.part.first) + " to " +
           std::to_string(c.part.last) + " " + why + "; the other parts were stopped and nothing was written";
}

// Starts the children, waits for them and joins their output; fatal on failure.
static void capture_jobs_run(const std::vector<capture_part>& parts, uint32_t total, const std::string& dir)
{
    uint64_t seed = SHELL_OPTIONS.seed ? *SHELL_OPTIONS.seed : clock_tick_count();
    std::vector<capture_child> kids(parts.size());
    int result = -1;
    try {
        for (size_t i = 0; i < parts.size(); ++i) {
            kids[i].part = parts[i];
            capture_child_start(kids[i], dir, seed);
        }
        result = capture_jobs_wait(kids, total);
    } catch (...) {
        capture_jobs_stop(kids);
        throw;
    }
    if (result != -1) {
        capture_jobs_stop(kids);
        if (result == -2)
            fatal_raise(SHELL_OPTIONS.capture_out + ": capture stopped by a signal after " +
                        std::to_string(capture_jobs_frames(kids)) + " of " + std::to_string(total) +
                        " frames; the parts were stopped and nothing was written");
        fatal_raise(capture_jobs_failure_message(dir, kids[result], capture_jobs_failure(kids[result])));
    }
    capture_jobs_pass_on_logs(dir, kids);
    if (capture_is_video(SHELL_OPTIONS.capture_out))
        capture_jobs_join_video(dir, kids);
    else
        capture_jobs_join_frames(dir);
}

// --- public functions ---------------------------------------------------------
void capture_jobs_add_options(CLI::App& app, CLI::Option* capture)
{
    CAPTURE_JOBS = capture_jobs_options{};
    app.add_option("--jobs", CAPTURE_JOBS.jobs,
                   "render a capture in N processes at once, each a part of the time range "
                   "(default: the number of cores)")
        ->check(CLI::Range(1u, 256u))->needs(capture);
    app.add_option("--capture-part", CAPTURE_JOBS.part)->expected(4)->group("")->needs(capture);
    app.add_option("--capture-part-dir", CAPTURE_JOBS.part_dir)->group("");
}

uint32_t capture_default_jobs()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<uint32_t>(CPU_COUNT(&set));
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<uint32_t>(n) : 1u;
}

std::vector<capture_part> capture_split(capture_rate fps, int64_t first, int64_t last, uint32_t jobs,
                                        int64_t gop)
{
    std::vector<capture_part> parts;
    int64_t total = last - first + 1;
    gop = std::max<int64_t>(gop, 1);
    int64_t start = first;
    for (uint32_t j = 1; j < jobs && total > 0; ++j) {
        int64_t target = first + (total * j + jobs / 2) / jobs;
        int64_t b = capture_split_point(fps, first, last, start, target, gop);
        if (b < 0)
            continue;
        parts.push_back({static_cast<int>(parts.size()), start, b - 1});
        start = b;
    }
    parts.push_back({static_cast<int>(parts.size()), start, last});
    return parts;
}

int capture_jobs_main()
{
    const shell_options& o = SHELL_OPTIONS;
    if (o.capture_out.empty() || capture_part_active())
        return -1;
    int64_t first = 0, last = 0;
    capture_frame_range(o.fps, o.from_ms, o.to_ms, first, last);
    uint32_t jobs = CAPTURE_JOBS.jobs ? CAPTURE_JOBS.jobs : capture_default_jobs();
    int64_t gop = capture_is_video(o.capture_out) ? capture_gop_frames(o.fps) : 1;
    std::vector<capture_part> parts = capture_split(o.fps, first, last, jobs, gop);
    if (parts.size() < 2)
        return -1;
    capture_jobs_check_output(o.capture_out);
    child_scope children;  // the parts stay until reaped, whatever SIGCHLD was
    capture_jobs_install_signals();
    std::string dir = capture_jobs_work_dir();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    if (!std::filesystem::create_directory(dir, ec))
        fatal_raise(o.capture_out + ": cannot create the capture's work folder " + dir +
                    (ec ? " (" + ec.message() + ")" : ""));
    try {
        capture_jobs_run(parts, static_cast<uint32_t>(last - first + 1), dir);
    } catch (...) {
        std::filesystem::remove_all(dir, ec);
        std::fputc('\n', stderr);
        throw;
    }
    std::filesystem::remove_all(dir, ec);
    return 0;
}

bool capture_part_active()
{
    return CAPTURE_JOBS.part.size() == 4;
}

capture_part capture_part_range()
{
    const std::vector<int64_t>& p = CAPTURE_JOBS.part;
    fcntl(static_cast<int>(p[3]), F_SETFD, FD_CLOEXEC);  // the part's ffmpeg does not keep it open
    return capture_part{static_cast<int>(p[0]), p[1], p[2]};
}

std::string capture_part_out()
{
    if (!capture_is_video(SHELL_OPTIONS.capture_out))
        return CAPTURE_JOBS.part_dir;
    return CAPTURE_JOBS.part_dir + "/part-" + std::to_string(CAPTURE_JOBS.part[0]) + ".mp4";
}

void capture_part_progress(uint32_t frames_done)
{
    int fd = static_cast<int>(CAPTURE_JOBS.part[3]);
    std::signal(SIGPIPE, SIG_IGN);
    while (capture_part_reported < frames_done) {
        char bytes[64] = {};
        size_t n = std::min<size_t>(sizeof bytes, frames_done - capture_part_reported);
        ssize_t w = write(fd, bytes, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            fatal_raise(SHELL_OPTIONS.capture_out + ": the capture's parent process is gone; this part stops");
        capture_part_reported += static_cast<uint32_t>(w);
    }
}
