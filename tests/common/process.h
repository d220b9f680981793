// tests/common/process.h - running the real programs from tests.
//
// run_program starts a binary with arguments and extra environment, waits
// (killing it after a timeout) and returns its exit status and output. The
// paths of the built programs and a fresh temporary folder per test come from
// here too; whole-program tests use them to drive qiv and kestrel as a user would.
#pragma once

#include <string>
#include <vector>

struct program_result {
    int         status = -1;    // exit status, or 128 + signal
    bool        timed_out = false;
    std::string out;
    std::string err;
};

// Runs program with args in cwd ("" = current folder) and extra environment
// entries ("NAME=value"); kills it after timeout_s seconds.
program_result run_program(const std::string& program, const std::vector<std::string>& args,
                           const std::vector<std::string>& env = {}, const std::string& cwd = "",
                           double timeout_s = 60.0);

// Paths of the built programs.
std::string qiv_path();
std::string kestrel_path();
std::string mkdata_path();

// A new empty folder under the build tree's test area, unique per call.
std::string test_temp_dir(const std::string& name);

// Whole file as bytes / text; writes bytes to a file.
std::string read_file(const std::string& path);
void        write_file(const std::string& path, const std::string& bytes);
