// Tests of the import and export pipeline's failure paths and edges: a
// failed write leaves every file as it was (those of other scenes too), a
// parent that ignores SIGCHLD, a trial read that hangs or whose parent is
// killed, texture paths the texture manager would cut, the track budget,
// the exporter's static rotation, and what the README promises.
#include <gtest/gtest.h>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

#include "engine/import/import.h"
#include "engine/scene/loader.h"
#include "engine/scene/prepare.h"
#include "process.h"
#include "support/error.h"

namespace fs = std::filesystem;

namespace {

const std::string models = "/usr/share/assimp/models/";
const std::string shared_models = "/work/shared/models/";

// Runs kestrel through bash with `setup` run first (trap, ulimit, ...).
program_result kestrel_after(const std::string& setup, const std::vector<std::string>& args)
{
    std::vector<std::string> all{"-c", setup + "; exec \"$0\" \"$@\"", kestrel_path()};
    all.insert(all.end(), args.begin(), args.end());
    return run_program("/bin/bash", all);
}

std::vector<std::string> files_in(const std::string& dir)
{
    std::vector<std::string> names;
    for (const fs::directory_entry& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Processes whose command line mentions `text`.
int processes_naming(const std::string& text)
{
    int n = 0;
    for (const fs::directory_entry& e : fs::directory_iterator("/proc")) {
        std::ifstream in(e.path() / "cmdline", std::ios::binary);
        std::string cmd((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        n += cmd.find(text) != std::string::npos && cmd.rfind("/bin/bash", 0) != 0;
    }
    return n;
}

// An OBJ model whose material file is a named pipe: assimp's reader opens it
// and waits for a writer that never comes.
std::string hanging_model(const std::string& dir)
{
    write_file(dir + "/hang.obj", "mtllib hang.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    EXPECT_EQ(mkfifo((dir + "/hang.mtl").c_str(), 0600), 0);
    return dir + "/hang.obj";
}

// Lets any reader still waiting on the pipe go on (it reads an empty file).
void release_pipe(const std::string& dir)
{
    for (int i = 0; i < 50; ++i) {
        int fd = open((dir + "/hang.mtl").c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace

// A texture that cannot be written (the file-size limit stands in for a full
// disk) ends the export with a message, not a crash, and nothing is left. A
// rename that fails part way (OUT is a folder) puts back the side files that
// were there before and leaves none of the new ones. A glTF's second write
// (the morph weights) failing leaves nothing either.
TEST(ImportPipeline, FailedExportLeavesEveryFileAsItWas)
{
    std::string dir = test_temp_dir("pipeline-export");
    program_result r = run_program(kestrel_path(), {"import", models + "Collada/duck.dae", "-o", dir + "/duck.kst"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string out = dir + "/out";
    fs::create_directory(out);
    r = kestrel_after("trap '' XFSZ; ulimit -f 8", {"export", dir + "/duck.kst", out + "/duck.obj"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("write failed"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(out)) << "files left behind";

    write_file(out + "/duck.mtl", "an older material file");
    fs::create_directories(out + "/duck.obj/inside");
    r = run_program(kestrel_path(), {"export", dir + "/duck.kst", out + "/duck.obj"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(out + "/duck.obj"), std::string::npos) << r.err;
    EXPECT_EQ(read_file(out + "/duck.mtl"), "an older material file");
    EXPECT_EQ(files_in(out), (std::vector<std::string>{"duck.mtl", "duck.obj"}));

    // A .glb is written twice, by assimp and again with the morph weights
    // added: a size limit just under the whole file's lets assimp's write
    // through and stops the second, and the older export stays.
    r = run_program(kestrel_path(), {"import", models + "glTF2/glTF-Sample-Models/AnimatedMorphCube-glTF/"
                                     "AnimatedMorphCube.gltf", "-o", dir + "/cube.kst"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string glb = dir + "/glb";
    fs::create_directory(glb);
    r = run_program(kestrel_path(), {"export", dir + "/cube.kst", glb + "/cube.glb"});
    ASSERT_EQ(r.status, 0) << r.err;
    size_t whole = read_file(glb + "/cube.glb").size();
    write_file(glb + "/cube.glb", "an older export");
    r = kestrel_after("trap '' XFSZ; ulimit -f " + std::to_string((whole - 1) / 1024),
                      {"export", dir + "/cube.kst", glb + "/cube.glb"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("write failed"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("assimp"), std::string::npos) << "assimp's own write failed, not the second: " << r.err;
    EXPECT_TRUE(read_file(glb + "/cube.glb") == "an older export") << "the older export was replaced";
    EXPECT_EQ(files_in(glb), (std::vector<std::string>{"cube.glb"}));
}

// A failed import leaves the textures of another scene of the same name as
// they were: its own are written under temporary names and renamed into
// place only when everything succeeded.
TEST(ImportPipeline, FailedImportKeepsOtherScenesTextures)
{
    std::string dir = test_temp_dir("pipeline-keep");
    std::string other(256 * 256 * 3, '\x42');
    write_file(dir + "/box-CesiumLogoFlat.raw", other);
    fs::create_directory(dir + "/box.kst");
    program_result r = run_program(kestrel_path(), {"import", models + "glTF2/BoxTextured-glTF/BoxTextured.gltf",
                                                    "-o", dir + "/box.kst"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(read_file(dir + "/box-CesiumLogoFlat.raw"), other);
    EXPECT_EQ(files_in(dir), (std::vector<std::string>{"box-CesiumLogoFlat.raw", "box.kst"}));

    // The same import to a scene file that can be written replaces the texture.
    r = run_program(kestrel_path(), {"import", models + "glTF2/BoxTextured-glTF/BoxTextured.gltf",
                                     "-o", dir + "/box2.kst", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir + "/box2-CesiumLogoFlat.raw"));
}

// Started by a parent that ignores SIGCHLD (and so passes that on), the
// import still waits for its trial read.
TEST(ImportPipeline, AParentIgnoringSigchld)
{
    std::string dir = test_temp_dir("pipeline-sigchld");
    program_result r = kestrel_after("trap '' CHLD", {"import", models + "OBJ/spider.obj", "-o", dir + "/s.kst"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir + "/s.kst"));
}

// The trial read has a time limit, and it ends with a killed parent.
TEST(ImportPipeline, TheTrialReadEndsWithItsLimitAndItsParent)
{
    std::string dir = test_temp_dir("pipeline-hang");
    std::string model = hanging_model(dir);
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::seconds(20));
        release_pipe(dir);
    });
    kst_import_options options;
    options.read_seconds = 1;
    kst_import_summary summary;
    auto start = std::chrono::steady_clock::now();
    std::string message;
    try {
        KST_IMPORT_FILE(model, dir + "/hang.kst", options, summary);
    } catch (const fatal_error& e) {
        message = e.what();
    }
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_NE(message.find(model + ": assimp did not finish reading the model within 1 s"), std::string::npos)
        << message;
    EXPECT_LT(took, 15.0);
    EXPECT_FALSE(fs::exists(dir + "/hang.kst"));

    // kestrel killed while its trial read waits: the read goes with it.
    std::string dir2 = test_temp_dir("pipeline-killed");
    std::string model2 = hanging_model(dir2);
    run_program("/bin/bash", {"-c", "\"$0\" import \"$1\" -o \"$2\" >/dev/null 2>&1 & sleep 2; kill -9 $!; wait",
                              kestrel_path(), model2, dir2 + "/killed.kst"});
    int left = processes_naming(dir2 + "/killed.kst");
    for (int i = 0; i < 50 && left > 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        left = processes_naming(dir2 + "/killed.kst");
    }
    EXPECT_EQ(left, 0) << "the trial read outlived kestrel";
    release_pipe(dir2);
    release.join();
}

// Texture names stay short, so a scene imported with a long name into a
// deep folder renders; a folder so deep that "folder/name" passes the 255
// characters the texture manager reads is refused, and nothing is written.
TEST(ImportPipeline, TexturePathsTheRendererCanRead)
{
    std::string dir = test_temp_dir("pipeline-long");
    while (dir.size() < 150)
        dir += "/" + std::string(30, 'd');
    fs::create_directories(dir);
    std::string out = dir + "/" + std::string(200, 'n') + ".kst";
    program_result r = run_program(kestrel_path(), {"import", models + "glTF2/BoxTextured-glTF/BoxTextured.gltf",
                                                    "-o", out});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run_program(kestrel_path(), {"render", out, "--frame", "0", "-o", dir + "/shot.png"});
    EXPECT_EQ(r.status, 0) << r.err;

    std::string deep = dir;
    while (deep.size() < 245)
        deep += "/" + std::string(20, 'e');
    fs::create_directories(deep);
    r = run_program(kestrel_path(), {"import", models + "glTF2/BoxTextured-glTF/BoxTextured.gltf", "-o",
                                     deep + "/b.kst"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("longer than the 255 characters"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(deep));
}

// An animation cut to the key budget keeps every camera key within FRAMES.
TEST(ImportPipeline, TheBudgetCutKeepsTheCameraWithinFrames)
{
    std::string dir = test_temp_dir("pipeline-budget");
    kst_import_options options;
    options.key_budget = 100;
    kst_import_summary summary;
    KST_IMPORT_FILE(shared_models + "BoxAnimated.gltf", dir + "/box.kst", options, summary);
    KST_SCENE s{};
    KST_SCENE_LOAD(s, dir + "/box.kst");
    EXPECT_LT(s.FRAMES, 100);
    ASSERT_GT(s.CAMPOSKEYS, 0);
    for (int32_t k = 0; k < s.CAMPOSKEYS; ++k)
        EXPECT_LE(s.CAMPOSITION[k].KEY, s.FRAMES);
    for (int32_t k = 0; k < s.CAMTARGETKEYS; ++k)
        EXPECT_LE(s.CAMTARGET[k].KEY, s.FRAMES);
    for (int32_t o = 0; o < s.OBJECTS; ++o)
        for (int32_t k = 0; k < s.OBJ[o].POSKEYS; ++k)
            EXPECT_LE(s.OBJ[o].POSITION[k].KEY, s.FRAMES);
    KST_SCENE_FREE(s);
}

// The exported node carries the object's static rotation about its pivot,
// as the renderer draws it: T(POS) . Rx . Ry . Rz . T(-POS).
TEST(ImportPipeline, ExportCarriesTheStaticRotation)
{
    std::string dir = test_temp_dir("pipeline-rotate");
    program_result r = run_program(kestrel_path(), {"import", models + "Collada/duck.dae", "-o", dir + "/duck.kst"});
    ASSERT_EQ(r.status, 0) << r.err;
    KST_SCENE s{};
    KST_SCENE_LOAD(s, dir + "/duck.kst");
    KST_OBJECT& o = s.OBJ[0];
    o.POS = {10.0f, -20.0f, 5.0f};
    o.STATICROTATE = {30.0f, -50.0f, 70.0f};
    KST_EXPORT_FILE(s, dir + "/duck.glb", 0.0f, dir);

    Assimp::Importer imp;
    const aiScene* ai = imp.ReadFile(dir + "/duck.glb", 0);
    ASSERT_NE(ai, nullptr);
    const aiNode* node = ai->mRootNode->FindNode(kst_name_get(o.NAME).c_str());
    ASSERT_NE(node, nullptr);
    aiMatrix4x4 world = node->mTransformation;
    for (const aiNode* p = node->mParent; p; p = p->mParent)
        world = p->mTransformation * world;
    const aiMesh& mesh = *ai->mMeshes[node->mMeshes[0]];
    ASSERT_EQ(static_cast<int32_t>(mesh.mNumVertices), o.VERTICES);
    const double d = 3.14159265358979 / 180.0;
    auto rot = [](double a, int axis, double v[3]) {
        int i = (axis + 1) % 3, j = (axis + 2) % 3;
        double x = v[i] * std::cos(a) - v[j] * std::sin(a), y = v[i] * std::sin(a) + v[j] * std::cos(a);
        v[i] = x, v[j] = y;
    };
    for (int32_t i = 0; i < o.VERTICES; i += 97) {
        double v[3] = {o.VERTEX[i].X - o.POS.X, o.VERTEX[i].Y - o.POS.Y, o.VERTEX[i].Z - o.POS.Z};
        rot(o.STATICROTATE.Z * d, 2, v);
        rot(o.STATICROTATE.Y * d, 1, v);
        rot(o.STATICROTATE.X * d, 0, v);
        aiVector3D got = world * mesh.mVertices[i];  // the file is Y-up: (x, y, z) is the engine's (x, -z, y)
        EXPECT_NEAR(got.x, v[0] + o.POS.X, 1e-3);
        EXPECT_NEAR(-got.z, v[1] + o.POS.Y, 1e-3);
        EXPECT_NEAR(got.y, v[2] + o.POS.Z, 1e-3);
    }
    KST_SCENE_FREE(s);
}

// A file holding lights and cameras but no mesh says what it holds; the
// README's section on models names exactly the formats the import reads.
TEST(ImportPipeline, WhatIsReadIsSaid)
{
    std::string dir = test_temp_dir("pipeline-said");
    write_file(dir + "/view.gltf", R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0,1]}],
 "nodes":[{"name":"cam","camera":0,"translation":[0,0,5]},
          {"name":"lamp","extensions":{"KHR_lights_punctual":{"light":0}}}],
 "cameras":[{"type":"perspective","perspective":{"yfov":0.7,"znear":0.1,"zfar":100}}],
 "extensionsUsed":["KHR_lights_punctual"],
 "extensions":{"KHR_lights_punctual":{"lights":[{"type":"point","color":[1,1,1],"intensity":10}]}}})");
    program_result r = run_program(kestrel_path(), {"import", dir + "/view.gltf", "-o", dir + "/v.kst"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("holds no mesh, only 1 camera and 1 light"), std::string::npos) << r.err;

    std::string readme = read_file(std::string(QIV_SOURCE_DIR) + "/README.md");
    size_t at = readme.find("## Bring your own model");
    ASSERT_NE(at, std::string::npos);
    std::string section = readme.substr(at, readme.find("\n## ", at + 1) - at);
    EXPECT_EQ(section.find("Any model file the installed assimp reads"), std::string::npos);
    for (const char* ext : {".gltf", ".glb", ".fbx", ".dae", ".obj", ".3ds", ".stl", ".ply"})
        EXPECT_NE(section.find(std::string("`") + ext + "`"), std::string::npos) << ext;
    EXPECT_NE(section.find("`.x`"), std::string::npos) << "what is not read is said too";
}
