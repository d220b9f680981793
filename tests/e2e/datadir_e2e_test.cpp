// Where qiv finds its data: --data DIR first, then ./data when it holds the
// show, then data/ in the executable's folder (the self-contained archive),
// then the data installed beside the executable (share/qiv/data next to its
// bin folder), and a message naming every place when none is there. The
// installed and archive cases run a copy of qiv in a throw-away folder, as a
// moved package or an unpacked archive would.
#include <gtest/gtest.h>

#include <filesystem>

#include "demo_data.h"
#include "process.h"

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> DATADIR_ENV = {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy",
                                              "QIV_NO_MESSAGE_BOX=1"};

// A prefix holding bin/qiv (a copy of the built program) and, when asked,
// share/qiv/data with the small data set.
std::string datadir_prefix(const std::string& name, bool with_data)
{
    std::string prefix = test_temp_dir(name);
    fs::create_directories(prefix + "/bin");
    fs::copy_file(qiv_path(), prefix + "/bin/qiv");
    if (with_data)
        demo_data_write(prefix + "/share/qiv/data");
    return prefix;
}

program_result datadir_frame(const std::string& qiv, const std::vector<std::string>& extra,
                             const std::string& cwd)
{
    std::vector<std::string> args = {"--seed", "1", "--frame", "1000", "-o", cwd + "/frame.png"};
    args.insert(args.end(), extra.begin(), extra.end());
    return run_program(qiv, args, DATADIR_ENV, cwd, 60);
}

}  // namespace

TEST(DataSearch, InstalledDataThenDotDataThenDataOption)
{
    std::string prefix = datadir_prefix("datadir-installed", true);
    std::string qiv = prefix + "/bin/qiv";

    // No ./data: the installed data, found from the executable's place.
    std::string bare = test_temp_dir("datadir-bare-cwd");
    program_result installed = datadir_frame(qiv, {}, bare);
    EXPECT_EQ(installed.status, 0) << installed.err;
    EXPECT_TRUE(fs::exists(bare + "/frame.png"));

    // An empty ./data holds no show and does not hide the installed data.
    std::string local = test_temp_dir("datadir-local-cwd");
    fs::create_directories(local + "/data");
    program_result empty = datadir_frame(qiv, {}, local);
    EXPECT_EQ(empty.status, 0) << empty.err;

    // A ./data that holds the show wins over the installed data: one with
    // only one of the show's files fails on another file of its own.
    fs::copy_file(prefix + "/share/qiv/data/loading.ife", local + "/data/loading.ife");
    program_result dot = datadir_frame(qiv, {}, local);
    EXPECT_EQ(dot.status, 1);
    EXPECT_NE(dot.err.find("data/"), std::string::npos) << dot.err;
    EXPECT_EQ(dot.err.find(prefix), std::string::npos) << dot.err;

    // --data wins over ./data.
    program_result given = datadir_frame(qiv, {"--data", prefix + "/share/qiv/data"}, local);
    EXPECT_EQ(given.status, 0) << given.err;
    EXPECT_TRUE(fs::exists(local + "/frame.png"));
}

TEST(DataSearch, ArchiveDataBesideTheProgram)
{
    // The archive's layout: the program with data/ beside it, run from
    // another folder, finds the show there.
    std::string archive = test_temp_dir("datadir-archive");
    fs::copy_file(qiv_path(), archive + "/qiv");
    demo_data_write(archive + "/data");
    std::string bare = test_temp_dir("datadir-archive-cwd");
    program_result beside = datadir_frame(archive + "/qiv", {}, bare);
    EXPECT_EQ(beside.status, 0) << beside.err;
    EXPECT_TRUE(fs::exists(bare + "/frame.png"));

    // Beside the program comes before share/qiv/data, and counts only when
    // it holds the show: an empty bin/data does not hide the installed data,
    // one with a single layer file is taken and its missing files named.
    std::string prefix = datadir_prefix("datadir-archive-and-installed", true);
    fs::create_directories(prefix + "/bin/data");
    program_result empty = datadir_frame(prefix + "/bin/qiv", {}, bare);
    EXPECT_EQ(empty.status, 0) << empty.err;
    fs::copy_file(prefix + "/share/qiv/data/loading.ife", prefix + "/bin/data/loading.ife");
    program_result partial = datadir_frame(prefix + "/bin/qiv", {}, bare);
    EXPECT_EQ(partial.status, 1);
    EXPECT_NE(partial.err.find(prefix + "/bin/data/"), std::string::npos) << partial.err;
}

TEST(DataSearch, MissingDataNamesEveryPlaceLooked)
{
    std::string prefix = datadir_prefix("datadir-nothing", false);
    std::string cwd = test_temp_dir("datadir-nothing-cwd");
    program_result none = datadir_frame(prefix + "/bin/qiv", {}, cwd);
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("./data"), std::string::npos) << none.err;
    std::string installed = (fs::path(prefix) / "share/qiv/data").lexically_normal().string();
    EXPECT_NE(none.err.find(installed), std::string::npos) << none.err;
    EXPECT_NE(none.err.find(prefix + "/bin/data"), std::string::npos) << none.err;
    EXPECT_NE(none.err.find("--data"), std::string::npos) << none.err;

    program_result missing = datadir_frame(prefix + "/bin/qiv", {"--data", cwd + "/nowhere"}, cwd);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find(cwd + "/nowhere"), std::string::npos) << missing.err;
}
