// bench/mkdata.cpp - wall time of a whole qiv-mkdata run (target: under 10 s on 2 cores).
//
// Runs the built generator (next to the bench folder in the build tree) into
// a fresh temporary folder per iteration, as the demo command does when the
// data is missing, and reports the real time of the run.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

static std::string mkdata_binary()
{
    return (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "qiv-mkdata").string();
}

static void BM_MkdataFullRun(benchmark::State& state)
{
    std::string program = mkdata_binary();
    fs::path out = fs::temp_directory_path() / ("qiv-mkdata-bench-" + std::to_string(getpid()));
    for (auto _ : state) {
        fs::remove_all(out);
        std::string dir = out.string();
        char* argv[] = {program.data(), dir.data(), const_cast<char*>("--quiet"), nullptr};
        pid_t pid = 0;
        int status = 0;
        if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0 ||
            waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError(("cannot run " + program).c_str());
            break;
        }
    }
    fs::remove_all(out);
}
BENCHMARK(BM_MkdataFullRun)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

BENCHMARK_MAIN();
