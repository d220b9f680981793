// tests/support/folders_test.cpp - making the folders above an output path.
//
// The programs' own runs are in tests/e2e/output_folders_e2e_test.cpp; here
// the cases a program run cannot easily reach: a folder that fails half-way
// down the path, and what a command that fails after making its folders
// leaves behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "process.h"
#include "support/error.h"
#include "support/folders.h"

namespace fs = std::filesystem;

namespace {
std::string folders_fatal(const std::string& dir)
{
    try {
        folders_made made;
        folders_make(made, dir);
    } catch (const fatal_error& e) {
        return e.what();
    }
    return "";
}
}  // namespace

TEST(Folders, MadeKeptOrRemovedAndFailuresNameTheFolder)
{
    std::string root = test_temp_dir("folders");

    // Kept: every level is made; a trailing "/" names the folder itself.
    {
        folders_made made;
        folders_make(made, root + "/a/b/c/");
        folders_make_parent(made, root + "/p/q/file.png");
        folders_make_parent(made, root + "/frames/");
        folders_make_parent(made, "plain.txt");   // the working folder: nothing to make
        folders_keep(made);
    }
    EXPECT_TRUE(fs::is_directory(root + "/a/b/c"));
    EXPECT_TRUE(fs::is_directory(root + "/p/q"));
    EXPECT_FALSE(fs::exists(root + "/p/q/file.png"));
    EXPECT_FALSE(fs::exists(root + "/frames"));

    // Not kept: the folders made go again, but not one that was written into
    // or that existed before.
    {
        folders_made made;
        folders_make(made, root + "/a/new/deeper");
        folders_make(made, root + "/used/inner");
        write_file(root + "/used/inner/kept.txt", "x");
    }
    EXPECT_TRUE(fs::is_directory(root + "/a/b/c"));
    EXPECT_FALSE(fs::exists(root + "/a/new"));
    EXPECT_TRUE(fs::exists(root + "/used/inner/kept.txt"));

    // A file in the way, at the end or above it: the message names it.
    write_file(root + "/blocker", "not a folder");
    EXPECT_EQ(folders_fatal(root + "/blocker"),
              root + "/blocker: cannot create the folder: a file of that name is in the way");
    EXPECT_EQ(folders_fatal(root + "/blocker/sub/deeper"),
              root + "/blocker/sub/deeper: cannot create the folder " + root +
                  "/blocker: a file of that name is in the way");
    try {
        folders_made made;
        folders_make_parent(made, root + "/blocker/out.png");
        ADD_FAILURE() << "a file in the way was taken for a folder";
    } catch (const fatal_error& e) {
        EXPECT_EQ(std::string(e.what()), root + "/blocker/out.png: cannot create the folder " + root +
                                             "/blocker: a file of that name is in the way");
    }

    // Failing half-way down: the levels made before the failure are removed.
    std::string too_long(300, 'n');
    EXPECT_EQ(folders_fatal(root + "/half/way/" + too_long + "/x"),
              root + "/half/way/" + too_long + "/x: cannot create the folder " + root + "/half/way/" + too_long +
                  ": File name too long");
    EXPECT_FALSE(fs::exists(root + "/half"));

    // No permission, even for root: sysfs takes no new folders.
    std::string denied = folders_fatal("/sys/qiv-folders-test/sub");
    EXPECT_EQ(denied.rfind("/sys/qiv-folders-test/sub: cannot create the folder /sys/qiv-folders-test: ", 0), 0u)
        << denied;
    EXPECT_FALSE(fs::exists("/sys/qiv-folders-test"));
}
