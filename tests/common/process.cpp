// tests/common/process.cpp - child processes, paths and files (see process.h).
#include "process.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

static void process_read_ready(int fd, std::string& into, bool& open)
{
    char buf[4096];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0)
        into.append(buf, static_cast<size_t>(n));
    else
        open = false;
}

program_result run_program(const std::string& program, const std::vector<std::string>& args,
                           const std::vector<std::string>& env, const std::string& cwd,
                           double timeout_s)
{
    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0)
        return {};
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        close(out_pipe[0]), close(err_pipe[0]), close(out_pipe[1]), close(err_pipe[1]);
        int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, 0);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0)
            _exit(126);
        for (const std::string& e : env)
            putenv(strdup(e.c_str()));
        std::vector<char*> argv{strdup(program.c_str())};
        for (const std::string& a : args)
            argv.push_back(strdup(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out_pipe[1]), close(err_pipe[1]);
    program_result r;
    bool out_open = true, err_open = true;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_s);
    while (out_open || err_open) {
        pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
        poll(fds, 2, 100);
        if (out_open && (fds[0].revents & (POLLIN | POLLHUP)))
            process_read_ready(out_pipe[0], r.out, out_open);
        if (err_open && (fds[1].revents & (POLLIN | POLLHUP)))
            process_read_ready(err_pipe[0], r.err, err_open);
        if (std::chrono::steady_clock::now() > deadline) {
            r.timed_out = true;
            kill(-pid, SIGKILL);
            break;
        }
    }
    close(out_pipe[0]), close(err_pipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

std::string qiv_path()
{
    return std::string(QIV_BINARY_DIR) + "/qiv";
}

std::string kestrel_path()
{
    return std::string(QIV_BINARY_DIR) + "/kestrel";
}

std::string mkdata_path()
{
    return std::string(QIV_BINARY_DIR) + "/qiv-mkdata";
}

std::string test_temp_dir(const std::string& name)
{
    static std::atomic<int> counter{0};
    namespace fs = std::filesystem;
    fs::path dir = fs::path(QIV_BINARY_DIR) / "test-tmp" /
                   (name + "-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir.string();
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
