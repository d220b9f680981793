// tests/mkdata/mkdata_show_file_test.cpp - the default show.toml plays the
// built-in score's frames, byte for byte.
//
// The generated data folder holds the show.toml qiv-mkdata writes; a second
// folder links every generated file but that one, so qiv plays its built-in
// score there. Both capture the same frames with the same seed and "-bmark"
// (so the benchmark line, and with it every segment's weight, is in the
// pictures): the whole show at one frame per second, and every millisecond
// around the boundaries where a wrong window or rounding would show (14999
// and 15000, 39999 to 40001, 114004 to 114012, 129999 and 130000).
#include <gtest/gtest.h>

#include <filesystem>
#include <future>

#include "mkdata_fixture.h"
#include "process.h"

namespace fs = std::filesystem;

namespace {
// The generated data without show.toml.
std::string built_in_data()
{
    std::string dir = test_temp_dir("show-built-in") + "/data";
    fs::create_directories(dir);
    for (const auto& e : fs::directory_iterator(mkdata_shared_dir()))
        if (e.path().filename() != "show.toml")
            fs::create_symlink(fs::absolute(e.path()), dir + "/" + e.path().filename().string());
    return dir;
}

std::vector<std::string> capture_args(const std::string& data, const std::string& out, int fps, int from, int to)
{
    return {"-bmark", "--data", data, "--seed", "3", "--capture", out, "--fps", std::to_string(fps),
            "--from", std::to_string(from), "--to", std::to_string(to)};
}
}  // namespace

TEST(MkdataShowFile, DefaultFileAndBuiltInScoreGiveTheSameFrames)
{
    const std::string file_data = mkdata_shared_dir(), code_data = built_in_data();
    ASSERT_TRUE(fs::exists(file_data + "/show.toml"));
    const std::string out = test_temp_dir("show-file-frames");
    struct { int fps, from, to, frames; } runs[] = {
        {1, 0, 131500, 132}, {1000, 14999, 15000, 2}, {1000, 39999, 40001, 3},
        {1000, 114004, 114012, 9}, {1000, 129999, 130000, 2}};
    for (const auto& run : runs) {
        std::string name = std::to_string(run.fps) + "-" + std::to_string(run.from);
        auto code = std::async(std::launch::async, [&] {
            return run_program(qiv_path(), capture_args(code_data, out + "/code-" + name, run.fps, run.from, run.to),
                               {}, "", 300);
        });
        program_result file = run_program(
            qiv_path(), capture_args(file_data, out + "/file-" + name, run.fps, run.from, run.to), {}, "", 300);
        program_result built_in = code.get();
        ASSERT_EQ(file.status, 0) << file.err;
        ASSERT_EQ(built_in.status, 0) << built_in.err;
        int frames = 0;
        for (const auto& e : fs::directory_iterator(out + "/code-" + name)) {
            std::string a = read_file(e.path().string());
            std::string b = read_file(out + "/file-" + name + "/" + e.path().filename().string());
            ASSERT_FALSE(a.empty());
            EXPECT_TRUE(a == b) << name << ": " << e.path().filename() << " differs";
            frames += 1;
        }
        EXPECT_EQ(frames, run.frames) << name;
    }
}
