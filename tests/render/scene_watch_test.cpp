// The viewer's watch loop, driven without a window: a scene with a
// configuration file on screen, then its files edited on disk (a texture, the
// configuration, the scene; broken versions of each; a file caught half
// written) and the loop stepped with a test clock. Checks what is drawn, what
// is reported, that the texture table holds no stray references and that the
// loop writes nothing.
#include <cstdio>
#include <filesystem>
#include <set>

#include "engine/scene/prepare.h"
#include "engine/scene/writer.h"
#include "engine/textures/texture_manager.h"
#include "gl_fixture.h"
#include "process.h"
#include "scene_builders.h"
#include "support/error.h"
#include "texture_files.h"
#include "tools/kestrel/scene_watch.h"

namespace {

// Writes a file the way many editors save: a new file renamed over the old.
void save_file(const std::string& path, const std::string& bytes)
{
    write_file(path + ".part", bytes);
    std::filesystem::rename(path + ".part", path);
}

// A quad filling the upper middle of the frame, drawn unlit in the colour of
// its texture `texture`; `second`, when given, is a second textured material
// on a small quad below it.
std::string quad_scene_bytes(const std::string& dir, const std::string& texture, const std::string& second = "")
{
    KST_SCENE scene{};
    sb_scene_init(scene, "watched");
    sb_set_camera(scene, {{0, 0, -10, 1}, {100, 0, -10, 1}}, {{0, 0, 0, 0}, {100, 0, 0, 0}});
    int32_t m = sb_add_material(scene, "paint");
    KST_MATERIAL& mat = scene.MATERIAL[m];
    mat.RECEIVELIGHT = false;
    mat.AMBIENT = {1, 1, 1};
    mat.TEXTURED = true;
    mat.MAGTYPE = 0;
    kst_name_set(mat.TEXTNAME, texture);
    int32_t q = sb_add_mesh(scene, "quad", {{-2, 0, 1}, {2, 0, 1}, {2, 0, 3}, {-2, 0, 3}}, {{0, 1, 2}, {0, 2, 3}}, m);
    sb_object_texcoords(scene, q, {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
    if (!second.empty()) {
        int32_t m2 = sb_add_material(scene, "trim");
        scene.MATERIAL[m2] = scene.MATERIAL[m];
        kst_name_set(scene.MATERIAL[m2].NAME, "trim");
        kst_name_set(scene.MATERIAL[m2].TEXTNAME, second);
        int32_t q2 = sb_add_mesh(scene, "trimquad", {{-1, 0, -3}, {1, 0, -3}, {1, 0, -2}, {-1, 0, -2}},
                                 {{0, 1, 2}, {0, 2, 3}}, m2);
        sb_object_texcoords(scene, q2, {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
    }
    KST_SCENE_PREPARE(scene);
    std::string file = dir + "/build.kst";
    KST_SCENE_SAVE(scene, file);
    KST_SCENE_FREE(scene);
    std::string bytes = read_file(file);
    std::filesystem::remove(file);
    return bytes;
}

std::set<std::string> folder_listing(const std::string& dir)
{
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.insert(e.path().filename().string() + ":" + std::to_string(e.file_size()));
    return names;
}

class SceneWatch : public gl_test {
protected:
    void SetUp() override
    {
        gl_test::SetUp();
        TX_FREEALL();
        dir = test_temp_dir("scenewatch");
        scene_file = dir + "/watched.kst";
        config_file = dir + "/watched.cfg";
        save_file(scene_file, quad_scene_bytes(dir, "green.jpg"));
        save_file(config_file, "# nothing yet\n");
        save_file(dir + "/green.raw", tex_solid({0, 200, 0, 0}, false));
        save_file(dir + "/blue.raw", tex_solid({0, 0, 220, 0}, false));
        source = kview_source{scene_file, "", config_file, 50};
    }
    void TearDown() override { TX_FREEALL(); }

    // Steps the loop until the change settles: once to see it, once after the settling time.
    kwatch_result settle(kwatch_state& watch, kview_scene& view)
    {
        kwatch_result first = kwatch_step(watch, view, now);
        now += watch.settle_ms;
        kwatch_result second = kwatch_step(watch, view, now);
        now += 1;
        return first == KWATCH_NONE ? second : first;
    }

    gl_rgba centre(kview_scene& view)
    {
        kview_draw_frame(view.scene, 0.0f, true);
        return gl_read_pixel(320, 340);
    }

    int32_t reqs(const std::string& name)
    {
        int32_t n = 0;
        for (const txNode& node : TX_TABLE)
            if (!node.empty && node.name == dir + "/" + name)
                n += node.reqs;
        return n;
    }

    std::string  dir, scene_file, config_file;
    kview_source source;
    uint32_t     now = 1000;
};

}  // namespace

TEST_F(SceneWatch, EditsShowAndBrokenFilesKeepTheLastGoodScene)
{
    error_report_capture quiet;
    kview_scene view(source);
    int replaced = 0;
    view.replaced = [&](KST_SCENE& s) { replaced += s.OBJECTS > 0 ? 1 : 0; };
    kwatch_state watch;
    kwatch_begin(watch, source, view.scene);
    ASSERT_EQ(watch.files.size(), 3u);  // scene, configuration, green.raw
    std::set<std::string> before = folder_listing(dir);
    EXPECT_EQ(kwatch_step(watch, view, now), KWATCH_NONE);
    EXPECT_NEAR(centre(view).g, 200, 3);

    // A texture edited: the image is uploaded again, the scene stays the same record.
    save_file(dir + "/green.raw", tex_solid({210, 0, 0, 0}, false));
    EXPECT_EQ(settle(watch, view), KWATCH_TEXTURES);
    gl_rgba p = centre(view);
    EXPECT_NEAR(p.r, 210, 3);
    EXPECT_EQ(p.g, 0);
    EXPECT_EQ(replaced, 0);

    // The configuration file points the material at another texture.
    save_file(config_file, "material(paint).texturename=blue.jpg\n");
    EXPECT_EQ(settle(watch, view), KWATCH_RELOADED);
    EXPECT_NEAR(centre(view).b, 220, 3);
    EXPECT_EQ(replaced, 1);
    EXPECT_EQ(reqs("green.jpg"), 0);  // the old scene gave its texture back
    EXPECT_EQ(reqs("blue.jpg"), 1);
    EXPECT_TRUE(watch.error.empty());

    // A broken configuration file: reported with its name, the blue quad stays.
    save_file(config_file, "material(paint).texturename=green.jpg\nobject(quad).passno=x\n");
    EXPECT_EQ(settle(watch, view), KWATCH_FAILED);
    EXPECT_NE(watch.error.find("watched.cfg"), std::string::npos) << watch.error;
    EXPECT_NEAR(centre(view).b, 220, 3);
    EXPECT_EQ(reqs("green.jpg"), 0);
    EXPECT_EQ(reqs("blue.jpg"), 1);
    EXPECT_EQ(kwatch_step(watch, view, now + 5000), KWATCH_NONE);  // told once, not every frame

    // Mended: the edit shows and the error goes.
    save_file(config_file, "material(paint).texturename=green.jpg\n");
    EXPECT_EQ(settle(watch, view), KWATCH_RELOADED);
    EXPECT_NEAR(centre(view).r, 210, 3);
    EXPECT_TRUE(watch.error.empty()) << watch.error;

    // A broken scene file.
    save_file(scene_file, "F!this is not a scene");
    EXPECT_EQ(settle(watch, view), KWATCH_FAILED);
    EXPECT_NE(watch.error.find("watched.kst"), std::string::npos) << watch.error;
    EXPECT_NEAR(centre(view).r, 210, 3);

    // A scene naming a texture that is not there yet: the first texture it
    // bound is given back; the texture appearing later brings the scene in.
    save_file(config_file, "# empty again\n");
    save_file(scene_file, quad_scene_bytes(dir, "blue.jpg", "gold.jpg"));
    EXPECT_EQ(settle(watch, view), KWATCH_FAILED);
    EXPECT_NE(watch.error.find("gold.raw"), std::string::npos) << watch.error;
    EXPECT_EQ(reqs("blue.jpg"), 0);
    EXPECT_EQ(reqs("green.jpg"), 1);
    EXPECT_NEAR(centre(view).r, 210, 3);
    save_file(dir + "/gold.raw", tex_solid({230, 180, 0, 0}, false));
    EXPECT_EQ(settle(watch, view), KWATCH_RELOADED);
    EXPECT_NEAR(centre(view).b, 220, 3);
    EXPECT_EQ(reqs("gold.jpg"), 1);
    EXPECT_EQ(reqs("green.jpg"), 0);

    // A texture file of the wrong size: reported, the old image stays.
    save_file(dir + "/blue.raw", "short");
    EXPECT_EQ(settle(watch, view), KWATCH_FAILED);
    EXPECT_NE(watch.error.find("blue.raw"), std::string::npos) << watch.error;
    EXPECT_NEAR(centre(view).b, 220, 3);
    save_file(dir + "/blue.raw", tex_solid({0, 120, 120, 0}, false));
    EXPECT_EQ(settle(watch, view), KWATCH_TEXTURES);
    EXPECT_NEAR(centre(view).g, 120, 3);
    EXPECT_TRUE(watch.error.empty()) << watch.error;

    // Nothing was written besides the test's own saves.
    std::set<std::string> after = folder_listing(dir);
    for (const std::string& name : after)
        EXPECT_TRUE(name.rfind("watched", 0) == 0 || name.find(".raw") != std::string::npos) << name;
    EXPECT_EQ(after.size(), before.size() + 1);  // gold.raw
}

TEST_F(SceneWatch, AFileCaughtHalfWrittenIsReadOnlyOnceItSettles)
{
    error_report_capture quiet;
    kview_scene view(source);
    kwatch_state watch;
    kwatch_begin(watch, source, view.scene);
    std::string full = quad_scene_bytes(dir, "blue.jpg");

    // The first half lands; before it has held for the settling time the rest follows.
    write_file(scene_file, full.substr(0, full.size() / 2));
    EXPECT_EQ(kwatch_step(watch, view, now), KWATCH_NONE);
    EXPECT_EQ(kwatch_step(watch, view, now + watch.settle_ms - 1), KWATCH_NONE);
    write_file(scene_file, full);
    EXPECT_EQ(kwatch_step(watch, view, now + watch.settle_ms + 10), KWATCH_NONE);  // moved: wait again
    EXPECT_EQ(kwatch_step(watch, view, now + 2 * watch.settle_ms), KWATCH_NONE);
    // The configuration file is being saved too: nothing happens until it has settled as well.
    write_file(config_file, "material(paint).texture");
    EXPECT_EQ(kwatch_step(watch, view, now + 3 * watch.settle_ms + 20), KWATCH_NONE);
    write_file(config_file, "material(paint).texturename=green.jpg\n");
    EXPECT_EQ(kwatch_step(watch, view, now + 4 * watch.settle_ms), KWATCH_NONE);
    EXPECT_EQ(kwatch_step(watch, view, now + 5 * watch.settle_ms + 40), KWATCH_RELOADED);
    EXPECT_TRUE(watch.error.empty()) << watch.error;
    EXPECT_NEAR(centre(view).g, 200, 3);  // both edits in one reload

    // The pause state and frame are the caller's; the particle pool carries over.
    EXPECT_EQ(view.scene.PARTICLES, 50);
}
