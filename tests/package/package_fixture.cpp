// tests/package/package_fixture.cpp - the shared install (see package_fixture.h).
#include "package_fixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>

std::string package_quote(const std::string& text)
{
    std::string q = "'";
    for (char c : text)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

program_result package_sh(const std::string& command, const std::string& cwd, double timeout_s)
{
    return run_program("/bin/sh", {"-c", command}, {}, cwd, timeout_s);
}

// One prefix for every test process (ctest runs each test in its own): the
// processes take turns under a file lock, and an install over an
// up-to-date one copies nothing.
const std::string& package_prefix()
{
    static std::string prefix;
    static std::once_flag once;
    std::call_once(once, [] {
        std::string dir = std::string(QIV_BINARY_DIR) + "/test-tmp/package-prefix";
        std::filesystem::create_directories(dir);
        int lock = open((dir + ".lock").c_str(), O_CREAT | O_RDWR, 0644);
        if (lock >= 0)
            flock(lock, LOCK_EX);
        program_result r = package_sh(package_quote(QIV_CMAKE_COMMAND) + " --install " +
                                      package_quote(QIV_BINARY_DIR) + " --component dev --prefix " +
                                      package_quote(dir));
        if (lock >= 0)
            close(lock);  // releases the lock
        if (r.status == 0)
            prefix = dir;
        else
            ADD_FAILURE() << "cmake --install failed:\n" << r.out << r.err;
    });
    return prefix;
}
