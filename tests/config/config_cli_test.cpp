// End-to-end tests of "kestrel config write", "kestrel config apply" and
// "kestrel geodump": real scene files written with the engine's writer, the real
// kestrel binary, real texture files for --data, results read back with the
// loader.
#include <gtest/gtest.h>

#include <filesystem>

#include "config_scenes.h"
#include "engine/config/config.h"
#include "engine/scene/loader.h"
#include "engine/scene/prepare.h"
#include "engine/scene/writer.h"
#include "process.h"
#include "texture_files.h"

namespace {

// A scene file with an opaque and a transparent textured material, two objects
// using them and two named lights; returns its path.
std::string write_scene(const std::string& dir)
{
    config_test_scene t({"wood", "glass"}, {"ship", "rock"}, {"sun", "moon"});
    kst_name_set(t.material(0).TEXTNAME, "wood.jpg");
    kst_name_set(t.material(1).TEXTNAME, "glass.jpg");
    t.material(0).TEXTURED = 1;
    t.material(1).TEXTURED = 1;
    t.material(1).TRANSPARENCY = 0.5f;
    t.material(0).MAGTYPE = 3;
    t.material(1).MAGTYPE = 1;
    t.object(1).MATERIAL = 1;
    t.scene.CAMFOV = 0.785398f;
    t.scene.CAMNEAR = 1;
    t.scene.CAMFAR = 500;
    t.scene.LIGHT[0].ENABLED = 1;
    std::string path = dir + "/scene.kst";
    KST_SCENE_SAVE(t.scene, path);
    return path;
}

// The scene file loaded and prepared in this process, released after use.
struct loaded_scene {
    KST_SCENE scene{};
    explicit loaded_scene(const std::string& path) { KST_SCENE_LOAD(scene, path); }
    ~loaded_scene() { KST_SCENE_FREE(scene); }
};

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(KestrelConfig, WriteWithAndWithoutTextures)
{
    std::string dir = test_temp_dir("kestrel_config_write");
    std::string scene = write_scene(dir);

    // Without --data every material counts as 24-bit.
    program_result r = run_program(kestrel_path(), {"config", "write", scene, dir + "/plain.cfg"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string plain = read_file(dir + "/plain.cfg");
    {
        loaded_scene s(scene);
        EXPECT_EQ(plain, config_write_text(s.scene));
    }
    EXPECT_TRUE(contains(plain, "camerafov=0.7854\n"));
    EXPECT_TRUE(contains(plain, "material(wood).blend=0\n"));
    EXPECT_TRUE(contains(plain, "material(glass).blend=1\n"));
    EXPECT_TRUE(contains(plain, "object(rock).passno=1\n#transparent material :glass.jpg\n"));

    // With --data the bound textures decide: glass is a 32-bit image.
    std::string data = dir + "/textures";
    std::filesystem::create_directories(data);
    texture_file_write(data + "/wood.jpg", tex_solid({200, 100, 50, 255}, false));
    texture_file_write(data + "/glass.jpg", tex_solid({50, 100, 200, 128}, true));
    r = run_program(kestrel_path(), {"config", "write", scene, dir + "/bound.cfg", "--data", data});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string bound = read_file(dir + "/bound.cfg");
    EXPECT_TRUE(contains(bound, "material(wood).blend=0\n"));
    EXPECT_TRUE(contains(bound, "material(glass).blend=2\n"));
    EXPECT_TRUE(contains(bound, "object(ship).passno=0\n#standard texture :wood.jpg\n"));
    EXPECT_TRUE(contains(bound, "object(rock).passno=2\n#alpha channel texture :glass.jpg\n"));

    // A missing texture file is a bad input; the old file is kept.
    std::filesystem::remove(data + "/glass.raw");
    r = run_program(kestrel_path(), {"config", "write", scene, dir + "/bound.cfg", "--data", data});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "glass")) << r.err;
    EXPECT_EQ(read_file(dir + "/bound.cfg"), bound);
}

TEST(KestrelConfig, ApplyWritesTheChangedScene)
{
    std::string dir = test_temp_dir("kestrel_config_apply");
    std::string scene = write_scene(dir);
    write_file(dir + "/change.cfg",
               "camerafov=0.5\n"
               "material(wood).shine=20\n"
               "material(glass).texturename=other.jpg\n"
               "object(ship).passno=2\n"
               "object(rock).material=0\n"
               "light(moon).enabled=1\n");
    program_result r = run_program(kestrel_path(),
                                   {"config", "apply", scene, dir + "/change.cfg", "-o", dir + "/out.kst"});
    ASSERT_EQ(r.status, 0) << r.err;
    loaded_scene s(dir + "/out.kst");
    EXPECT_EQ(s.scene.CAMFOV, 0.5f);
    EXPECT_EQ(s.scene.MATERIAL[0].SHINE, 20);
    EXPECT_EQ(kst_name_get(s.scene.MATERIAL[1].TEXTNAME), "other.jpg");
    EXPECT_EQ(s.scene.OBJ[0].PASSNO, 2);
    EXPECT_EQ(s.scene.MAXPASS, 2);
    EXPECT_EQ(s.scene.OBJ[1].MATERIAL, 0);
    EXPECT_TRUE(s.scene.LIGHT[1].ENABLED);
    EXPECT_EQ(s.scene.CAMFAR, 500.0f);  // untouched fields survive
}

TEST(KestrelConfig, BadInputsAndUsage)
{
    std::string dir = test_temp_dir("kestrel_config_errors");
    std::string scene = write_scene(dir);
    std::string out = dir + "/out.kst";

    program_result r = run_program(kestrel_path(), {"config", "apply", scene, dir + "/nosuch.cfg", "-o", out});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "Config file (" + dir + "/nosuch.cfg) not found.")) << r.err;
    EXPECT_FALSE(std::filesystem::exists(out));

    write_file(dir + "/strict.cfg", "#\nobject(ship).passno=two\n");
    r = run_program(kestrel_path(), {"config", "apply", scene, dir + "/strict.cfg", "-o", out});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, dir + "/strict.cfg: line 2")) << r.err;
    EXPECT_FALSE(std::filesystem::exists(out));

    r = run_program(kestrel_path(), {"config", "write", dir + "/nosuch.kst", dir + "/x.cfg"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "nosuch.kst")) << r.err;
    r = run_program(kestrel_path(), {"geodump", dir + "/nosuch.kst", dir + "/geo"});
    EXPECT_EQ(r.status, 1);

    EXPECT_EQ(run_program(kestrel_path(), {"config"}).status, 2);
    EXPECT_EQ(run_program(kestrel_path(), {"config", "apply", scene, dir + "/strict.cfg"}).status, 2);
    EXPECT_EQ(run_program(kestrel_path(), {"config", "write", scene}).status, 2);
    EXPECT_EQ(run_program(kestrel_path(), {"geodump", scene}).status, 2);
    EXPECT_EQ(run_program(kestrel_path(), {"config", "write", "--help"}).status, 0);
}

TEST(KestrelConfig, GeometryDump)
{
    std::string dir = test_temp_dir("kestrel_geodump");
    std::string scene = write_scene(dir);
    program_result r = run_program(kestrel_path(), {"geodump", scene, dir + "/geo."});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string vertices = read_file(dir + "/geo.v");
    std::string faces = read_file(dir + "/geo.f");
    EXPECT_EQ(vertices.rfind("ship\n \n0 1.0000 0.0000 -0.5000\n1 0.0000 1.0000 0.0000\n", 0), 0u);
    EXPECT_TRUE(contains(vertices, "rock\n \n0 1.0000 0.0000 -0.5000\n"));
    EXPECT_TRUE(contains(faces, "ship\n \n0 0 1 2\n1 2 3 0\nrock\n \n"));
    loaded_scene s(scene);
    CONFIG_GEOMETRYDUMP(s.scene, dir + "/self.");
    EXPECT_EQ(vertices, read_file(dir + "/self.v"));
    EXPECT_EQ(faces, read_file(dir + "/self.f"));
}
