// Whole-program runs of every option that names an output file or folder:
// kestrel import (-o, --textures), export, resave, config write and apply -o,
// render -o and geodump; qiv -o and --capture (folder and video, in one
// process and in several); qiv-mkdata OUT_DIR. Each is pointed into folders
// that do not exist yet and must make them; a path that cannot be made (a
// file in the way, a folder that takes none) ends with status 1, a message
// naming it and nothing left behind, and so does a run that fails after its
// folders were made.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "e2e_data.h"
#include "process.h"

namespace fs = std::filesystem;

namespace {

const std::string folders_model = "/usr/share/assimp/models/glTF2/BoxTextured-glTF-Binary/BoxTextured.glb";

// Every path below dir, relative to it, to compare a folder before and after.
std::set<std::string> folders_tree(const std::string& dir)
{
    std::set<std::string> paths;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        paths.insert(fs::relative(e.path(), dir).string());
    return paths;
}

program_result folders_kestrel(const std::string& dir, const std::vector<std::string>& args)
{
    return run_program(kestrel_path(), args, {}, dir, 120);
}

program_result folders_qiv(const std::string& dir, std::vector<std::string> args)
{
    args.insert(args.end(), {"--data", e2e_data_dir() + "/data", "--seed", "3"});
    return run_program(qiv_path(), args, {"SDL_AUDIODRIVER=dummy"}, dir, 120);
}

}  // namespace

// Every output option makes the folders above its path, relative or absolute.
TEST(OutputFolders, EveryOutputOptionMakesItsFolders)
{
    std::string dir = test_temp_dir("out-folders");
    auto ok = [&](const program_result& r, const std::string& what) {
        EXPECT_EQ(r.status, 0) << what << "\n" << r.err;
    };
    ok(folders_kestrel(dir, {"import", folders_model, "-o", "work/in/box.kst"}), "import -o");
    EXPECT_TRUE(fs::is_regular_file(dir + "/work/in/box.kst"));
    EXPECT_GE(folders_tree(dir + "/work/in").size(), 2u) << "the texture goes beside the scene";
    ok(folders_kestrel(dir, {"import", folders_model, "-o", "work/two/box.kst", "--textures", "tex/a/b"}),
       "import --textures");
    EXPECT_FALSE(fs::is_empty(dir + "/tex/a/b"));
    std::string scene = "work/in/box.kst";
    ok(folders_kestrel(dir, {"resave", scene, dir + "/abs/resaved/box.kst"}), "resave");
    EXPECT_TRUE(fs::is_regular_file(dir + "/abs/resaved/box.kst"));
    ok(folders_kestrel(dir, {"config", "write", scene, "cfg/w/box.cfg"}), "config write");
    ok(folders_kestrel(dir, {"config", "apply", scene, "cfg/w/box.cfg", "-o", "cfg/applied/box.kst"}),
       "config apply");
    EXPECT_TRUE(fs::is_regular_file(dir + "/cfg/applied/box.kst"));
    ok(folders_kestrel(dir, {"render", scene, "--frame", "0", "-o", "shots/r/box.png"}), "render");
    EXPECT_TRUE(fs::is_regular_file(dir + "/shots/r/box.png"));
    ok(folders_kestrel(dir, {"geodump", scene, "geo/d/box"}), "geodump");
    EXPECT_TRUE(fs::is_regular_file(dir + "/geo/d/boxv"));
    EXPECT_TRUE(fs::is_regular_file(dir + "/geo/d/boxf"));
    ok(folders_kestrel(dir, {"export", scene, "exp/o/box.obj"}), "export");
    EXPECT_TRUE(fs::is_regular_file(dir + "/exp/o/box.obj"));

    ok(folders_qiv(dir, {"--frame", "1000", "-o", "qiv/frame/one.png"}), "qiv -o");
    EXPECT_TRUE(fs::is_regular_file(dir + "/qiv/frame/one.png"));
    for (const char* jobs : {"1", "2"}) {
        std::string out = std::string("qiv/cap") + jobs + "/frames/";
        ok(folders_qiv(dir, {"--capture", out, "--fps", "5", "--to", "600", "--jobs", jobs}), out);
        EXPECT_TRUE(fs::is_regular_file(dir + "/" + out + "frame_000003.png")) << out;
        std::string video = std::string("qiv/vid") + jobs + "/show.mp4";
        ok(folders_qiv(dir, {"--capture", video, "--fps", "5", "--to", "2500", "--jobs", jobs}), video);
        EXPECT_GT(fs::file_size(dir + "/" + video), 0u) << video;
    }

    ok(run_program(mkdata_path(), {"made/by/mkdata", "-q"}, {}, dir, 120), "qiv-mkdata");
    EXPECT_TRUE(fs::is_regular_file(dir + "/made/by/mkdata/music.ogg"));
}

// A path that cannot be made fails with status 1 and names the folder; a run
// that fails after making its folders takes them away again.
TEST(OutputFolders, PathsThatCannotBeMadeLeaveNothing)
{
    std::string dir = test_temp_dir("out-folders-bad");
    write_file(dir + "/blocker", "a file where a folder would go");
    std::set<std::string> before = folders_tree(dir);
    std::string blocked = ": cannot create the folder blocker: a file of that name is in the way";
    std::string denied = ": cannot create the folder /sys/qiv-out-folders: ";
    auto fails = [&](const program_result& r, const std::string& message, const std::string& what) {
        EXPECT_EQ(r.status, 1) << what << "\n" << r.err;
        EXPECT_NE(r.err.find(message), std::string::npos) << what << "\n" << r.err;
        EXPECT_EQ(folders_tree(dir), before) << what;
    };
    fails(folders_kestrel(dir, {"import", folders_model, "-o", "blocker/sub/box.kst"}), "blocker/sub/box.kst" + blocked,
          "import -o");
    fails(folders_kestrel(dir, {"import", folders_model, "-o", "new/box.kst", "--textures", "blocker/t"}), blocked,
          "import --textures");
    fails(folders_kestrel(dir, {"import", folders_model, "-o", "/sys/qiv-out-folders/box.kst"}), denied,
          "import into sysfs");
    fails(folders_kestrel(dir, {"import", "missing.glb", "-o", "new/deeper/box.kst"}),
          "missing.glb: cannot open the model file", "import of a missing model");
    fails(folders_kestrel(dir, {"resave", "missing.kst", "new/deeper/out.kst"}), "missing.kst", "resave");
    fails(folders_kestrel(dir, {"resave", "missing.kst", "blocker/out.kst"}), blocked, "resave into a file");
    fails(folders_kestrel(dir, {"config", "write", "missing.kst", "new/a.cfg"}), "missing.kst", "config write");
    fails(folders_kestrel(dir, {"config", "apply", "missing.kst", "a.cfg", "-o", "new/a.kst"}), "missing.kst",
          "config apply");
    fails(folders_kestrel(dir, {"render", "missing.kst", "--frame", "0", "-o", "new/a.png"}), "missing.kst",
          "render");
    fails(folders_kestrel(dir, {"geodump", "missing.kst", "new/base"}), "missing.kst", "geodump");
    fails(folders_kestrel(dir, {"export", "missing.kst", "new/a.obj"}), "missing.kst", "export");

    fails(folders_qiv(dir, {"--frame", "1000", "-o", "blocker/one.png"}), blocked, "qiv -o");
    fails(folders_qiv(dir, {"--capture", "blocker/frames/", "--to", "400", "--jobs", "1"}), blocked,
          "qiv --capture");
    fails(folders_qiv(dir, {"--capture", "blocker/v/show.mp4", "--to", "400", "--jobs", "2"}), blocked,
          "qiv --capture video");
    fails(run_program(mkdata_path(), {"blocker/data", "-q"}, {}, dir, 60), "blocker/data" + blocked,
          "qiv-mkdata");
    fails(run_program(mkdata_path(), {"/sys/qiv-out-folders/data", "-q"}, {}, dir, 60), denied,
          "qiv-mkdata into sysfs");
}
