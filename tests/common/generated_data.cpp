// tests/common/generated_data.cpp - the shared production data set (see generated_data.h).
#include "generated_data.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "process.h"

namespace fs = std::filesystem;

static std::string generated_data_stamp()
{
    struct stat st{};
    if (stat(mkdata_path().c_str(), &st) != 0)
        return "missing";
    return std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec);
}

std::string generated_data_dir()
{
    static std::string ready;
    if (!ready.empty())
        return ready;
    fs::path root = fs::path(QIV_BINARY_DIR) / "test-tmp";
    fs::create_directories(root);
    fs::path dir = root / "mkdata-shared";
    int lock = open((root / "mkdata-shared.lock").c_str(), O_CREAT | O_RDWR, 0644);
    if (lock >= 0)
        flock(lock, LOCK_EX);
    std::string stamp = generated_data_stamp();
    if (read_file((dir / ".stamp").string()) != stamp) {
        fs::remove_all(dir);
        program_result r = run_program(mkdata_path(), {dir.string()}, {}, "", 120);
        EXPECT_EQ(r.status, 0) << r.err;
        if (r.status == 0)
            write_file((dir / ".stamp").string(), stamp);
    }
    if (lock >= 0) {
        flock(lock, LOCK_UN);
        close(lock);
    }
    ready = dir.string();
    return ready;
}
