// tests/support/atomic_device_test.cpp - atomic_file on targets that are devices or folders.
//
// Renaming a temporary file over a device would replace the device node (root
// may do so in /dev), so a device target is written in place and its write
// errors still reach the caller.
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

#include "process.h"
#include "support/atomic_file.h"
#include "support/error.h"

namespace {
bool atomic_device_is_char(const char* path)
{
    struct stat st{};
    return stat(path, &st) == 0 && S_ISCHR(st.st_mode);
}

std::string atomic_device_fatal(const std::string& path, const std::string& text)
{
    try {
        atomic_file f(path);
        f.write(text);
        f.commit();
    } catch (const fatal_error& e) {
        return e.what();
    }
    return "";
}
}  // namespace

TEST(AtomicFile, DevicesAreWrittenInPlaceAndFoldersRefused)
{
    EXPECT_EQ(atomic_device_fatal("/dev/null", "nothing to keep"), "");
    EXPECT_TRUE(atomic_device_is_char("/dev/null"));
    EXPECT_EQ(atomic_device_fatal("/dev/full", "no room"), "/dev/full: write failed: No space left on device");
    EXPECT_TRUE(atomic_device_is_char("/dev/full"));
    for (const auto& e : std::filesystem::directory_iterator("/dev"))
        EXPECT_EQ(e.path().filename().string().rfind("full.tmp", 0), std::string::npos) << e.path();

    std::string dir = test_temp_dir("atomic-device");
    EXPECT_EQ(atomic_device_fatal(dir, "x"), dir + ": cannot create file: it is a folder");
    EXPECT_TRUE(std::filesystem::is_directory(dir));
    EXPECT_TRUE(std::filesystem::is_empty(dir));
}
