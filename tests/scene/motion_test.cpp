// Tests of the MOTION request: a scene asks for its rotation and scale tracks
// to be played by one optional scene chunk (id 100). What is checked: the
// chunk's bytes and its place in the count, that a scene without the request
// is written exactly as before, that a reader which does not know the id
// passes over it and reads the rest of the file unchanged, the configuration
// file's "motion=" line both ways, what `kestrel info` and `kestrel dump`
// show, and the motion matrix's conventions (turn about the pivot, scale
// along the object's frame-0 axes, nothing without the request).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>
#include <vector>

#include "engine/config/config.h"
#include "engine/scene/loader.h"
#include "engine/scene/prepare.h"
#include "engine/scene/spline.h"
#include "engine/scene/writer.h"
#include "process.h"
#include "scene_builders.h"

namespace {

struct chunk_at {
    kst_chunk_header header;
    size_t           begin, end;   // byte range of the whole chunk in the file
};

std::vector<chunk_at> chunks_in(const std::string& bytes)
{
    std::vector<chunk_at> out;
    kst_scanner scan = kst_scan_begin(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    kst_chunk_header h{};
    const uint8_t* payload = nullptr;
    size_t n = 0;
    while (kst_scan_next(scan, h, payload, n) == KST_SCAN_CHUNK)
        out.push_back({h, static_cast<size_t>(h.offset), scan.pos});
    return out;
}

// A cube turning a quarter about Z over 100 frames and growing to twice its
// size, with the request set to `motion`.
void turning_cube(KST_SCENE& s, uint8_t motion)
{
    sb_scene_init(s, "turning");
    sb_add_material(s, "m");
    sb_add_cube(s, "cube", {1, 2, 3}, 2.0f);
    const float h = std::sqrt(0.5f);
    sb_object_keys(s, 0, {{0, 0, 0, 0}, {100, 0, 0, 4}}, {{0, 0, 0, 0, 1}, {100, 0, 0, h, h}},
                   {{0, 1, 1, 1}, {100, 2, 2, 2}});
    s.MOTION = motion;
    KST_SCENE_PREPARE(s);
}

void load(KST_SCENE& s, const std::string& bytes, const std::string& name = "motion.kst")
{
    kst_scene_load_bytes(s, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), name);
}

}  // namespace

// The writer stores the request as one raw byte chunk right after the other
// scene fields and counts it; without the request the file is the same file
// minus that chunk (and one less in the count), so scenes that do not ask are
// written as they always were. Loading gives the request back; a reader that
// does not know the id (here: the chunk re-tagged with an id that carries
// nothing) loads everything else exactly the same.
TEST(Motion, ChunkWrittenReadAndPassedOverByOlderReaders)
{
    KST_SCENE asks{}, plain{};
    turning_cube(asks, KST_MOTION_ROTATE | KST_MOTION_SCALE);
    turning_cube(plain, 0);
    const std::string with = kst_scene_save_bytes(asks);
    const std::string without = kst_scene_save_bytes(plain);

    std::vector<chunk_at> c = chunks_in(with);
    size_t at = 0;
    while (at < c.size() && c[at].header.id != 100)
        ++at;
    ASSERT_LT(at, c.size()) << "no MOTION chunk";
    ASSERT_GT(at, 0u);
    EXPECT_EQ(c[at - 1].header.id, 90);   // right after the last scene field
    const kst_chunk_header& h = c[at].header;
    EXPECT_EQ(h.type, 1);
    EXPECT_EQ(h.count, 1);
    EXPECT_EQ(h.size, 1);
    EXPECT_EQ(h.packed, 0);
    EXPECT_EQ(h.index, 0);
    ASSERT_EQ(c[at].end - c[at].begin, 21u);
    EXPECT_EQ(static_cast<uint8_t>(with[c[at].end - 1]), 3);
    EXPECT_EQ(kst_scene_chunk_count(asks), static_cast<int32_t>(c.size()));
    EXPECT_EQ(kst_scene_chunk_count(plain), static_cast<int32_t>(c.size()) - 1);
    for (const chunk_at& k : chunks_in(without))
        EXPECT_NE(k.header.id, 100);

    // Without the request: the same bytes, the chunk gone and the count one less.
    std::string stripped = with.substr(0, c[at].begin) + with.substr(c[at].end);
    int32_t count = 0;
    std::memcpy(&count, stripped.data() + 20, 4);
    count -= 1;
    std::memcpy(stripped.data() + 20, &count, 4);
    EXPECT_TRUE(stripped == without);

    KST_SCENE back{};
    load(back, with);
    EXPECT_EQ(back.MOTION, 3);
    EXPECT_EQ(back.NUMOFCHUNKS, static_cast<int32_t>(c.size()));
    EXPECT_TRUE(kst_scene_save_bytes(back) == with);   // and saved again unchanged
    KST_SCENE_FREE(back);

    std::string older = with;
    older[c[at].begin + 3] = static_cast<char>(255);   // an id that carries nothing
    KST_SCENE old_view{}, plain_back{};
    load(old_view, older);
    load(plain_back, without);
    EXPECT_EQ(old_view.MOTION, 0);
    old_view.NUMOFCHUNKS = plain_back.NUMOFCHUNKS;
    EXPECT_TRUE(kst_scene_save_bytes(old_view) == kst_scene_save_bytes(plain_back));
    KST_SCENE_FREE(old_view);
    KST_SCENE_FREE(plain_back);
    KST_SCENE_FREE(asks);
    KST_SCENE_FREE(plain);
}

// The configuration file keeps the request: a "motion=" line after the camera
// lines when the scene asks, none when it does not, and reading the line sets
// it (also back to 0).
TEST(Motion, ConfigurationFileKeepsTheRequest)
{
    KST_SCENE s{};
    turning_cube(s, KST_MOTION_ROTATE);
    std::string text = config_write_text(s);
    EXPECT_NE(text.find("camerafar=1000.0000\nmotion=1\n#\n"), std::string::npos) << text;
    s.MOTION = 0;
    EXPECT_EQ(config_write_text(s).find("motion="), std::string::npos);

    std::string dir = test_temp_dir("motion-config");
    write_file(dir + "/a.cfg", text);
    CONFIG_READ(s, dir + "/a.cfg");
    EXPECT_EQ(s.MOTION, 1);
    write_file(dir + "/b.cfg", "motion=3\n");
    CONFIG_READ(s, dir + "/b.cfg");
    EXPECT_EQ(s.MOTION, 3);
    write_file(dir + "/c.cfg", "motion=0\n");
    CONFIG_READ(s, dir + "/c.cfg");
    EXPECT_EQ(s.MOTION, 0);
    KST_SCENE_FREE(s);
}

// kestrel info lists the chunk as scene.MOTION and says what plays; kestrel
// dump prints the MOTION member; a scene without the chunk shows neither line.
TEST(Motion, InfoAndDumpShowTheRequest)
{
    std::string dir = test_temp_dir("motion-tools");
    KST_SCENE s{};
    turning_cube(s, KST_MOTION_ROTATE | KST_MOTION_SCALE);
    KST_SCENE_SAVE(s, dir + "/asks.kst");
    s.MOTION = 0;
    KST_SCENE_SAVE(s, dir + "/plain.kst");
    KST_SCENE_FREE(s);

    program_result r = run_program(kestrel_path(), {"info", dir + "/asks.kst"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(" 100  scene.MOTION "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nmotion 3 (rotation and scale tracks play)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("warnings 0"), std::string::npos) << r.out;
    r = run_program(kestrel_path(), {"info", dir + "/plain.kst"});
    EXPECT_EQ(r.out.find("MOTION"), std::string::npos);
    EXPECT_EQ(r.out.find("\nmotion "), std::string::npos);

    r = run_program(kestrel_path(), {"dump", dir + "/asks.kst"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out)["MOTION"], 3);
    r = run_program(kestrel_path(), {"dump", dir + "/plain.kst"});
    EXPECT_EQ(nlohmann::json::parse(r.out)["MOTION"], 0);
}

// The motion matrix: nothing without the request or without the tracks it
// names; a rotation key turns the object as the quaternion says; a scale key
// stretches along the object's own axes at frame 0 (INITMATRIX), here a
// quarter turn about Z, so its X factor acts along the world's Y.
TEST(Motion, MatrixConventions)
{
    KST_SCENE s{};
    turning_cube(s, 0);
    double m[3][3];
    EXPECT_FALSE(kst_spline_motion(m, s, 0, 100.0f));
    EXPECT_EQ(m[0][0], 1.0);
    EXPECT_EQ(m[0][1], 0.0);

    s.MOTION = KST_MOTION_ROTATE;   // at frame 100: a quarter turn about +Z
    ASSERT_TRUE(kst_spline_motion(m, s, 0, 100.0f));
    EXPECT_NEAR(m[1][0], 1.0, 1e-6);   // X goes to Y
    EXPECT_NEAR(m[0][1], -1.0, 1e-6);  // Y goes to -X
    EXPECT_NEAR(m[2][2], 1.0, 1e-6);

    s.MOTION = KST_MOTION_SCALE;
    sb_object_keys(s, 0, {}, {}, {{0, 2, 1, 1}});
    s.OBJ[0].INITMATRIX = KST_MATRIX{{{0, -3, 0, 5}, {3, 0, 0, 6}, {0, 0, 3, 7}, {0, 0, 0, 1}}};
    ASSERT_TRUE(kst_spline_motion(m, s, 0, 0.0f));
    EXPECT_NEAR(m[0][0], 1.0, 1e-9);
    EXPECT_NEAR(m[1][1], 2.0, 1e-9);
    EXPECT_NEAR(m[2][2], 1.0, 1e-9);
    EXPECT_NEAR(m[0][1], 0.0, 1e-9);
    double inv[3][3];
    ASSERT_TRUE(kst_spline_invert(m, inv));
    EXPECT_NEAR(inv[1][1], 0.5, 1e-12);

    s.MOTION = KST_MOTION_ROTATE;   // asks for rotation, the object has only a scale track
    EXPECT_FALSE(kst_spline_motion(m, s, 0, 0.0f));
    s.MOTION = KST_MOTION_SCALE;
    sb_object_keys(s, 0, {}, {}, {{0, 0, 1, 1}});
    ASSERT_TRUE(kst_spline_motion(m, s, 0, 0.0f));
    EXPECT_FALSE(kst_spline_invert(m, inv));   // flattened: no inverse
    KST_SCENE_FREE(s);
}
