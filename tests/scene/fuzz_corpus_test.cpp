// The scene-loader fuzz target's seed corpus, run as an ordinary test through
// the same function the fuzzer calls. The seeds are made here: valid scenes
// (empty, a cube, a full scene, versions 1.1 and 2.0, stored raw) and broken
// ones (junk, stray bytes, truncation, bad packing, bad indices, an empty file),
// and a skinned, morphed cube with broken variants of its skin.
// QIV_WRITE_CORPUS=1 rewrites fuzz/corpus/scene_loader/ in the source tree.
// The loader-only target's corpus (fuzz/corpus/scene_load/) runs through the
// same round trip, which checks more than that target does.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "fuzz/scene_loader_fuzz.h"
#include "process.h"
#include "scene_builders.h"
#include "support/mem.h"
#include "support/zpack.h"

namespace {

std::string cube_file()
{
    KST_SCENE s{};
    sb_scene_init(s, "cube");
    sb_add_material(s, "m");
    sb_add_cube(s, "cube", {0, 0, 0}, 2.0f);
    sb_object_keys(s, 0, {{0, 0, 0, 0}, {50, 0, 0, 5}});
    sb_set_light(s, 0, "sun", {0, 0, 10}, {{0, 0, 0, 10}, {100, 5, 0, 10}});
    KST_SCENE_PREPARE(s);
    std::string bytes = kst_scene_save_bytes(s);
    KST_SCENE_FREE(s);
    return bytes;
}

// The cube turning and growing, with the request to play both tracks.
std::string motion_file()
{
    KST_SCENE s{};
    sb_scene_init(s, "motion");
    sb_add_material(s, "m");
    sb_add_cube(s, "cube", {0, 0, 0}, 2.0f);
    sb_object_keys(s, 0, {{0, 0, 0, 0}, {50, 0, 0, 5}}, {{0, 0, 0, 0, 1}, {50, 0, 0, 1, 0}},
                   {{0, 1, 1, 1}, {50, 2, 0.5f, 0}});
    s.OBJ[0].INITMATRIX = KST_MATRIX{{{0, -2, 0, 1}, {2, 0, 0, 2}, {0, 0, 2, 3}, {0, 0, 0, 1}}};
    s.MOTION = KST_MOTION_ROTATE | KST_MOTION_SCALE;
    KST_SCENE_PREPARE(s);
    std::string bytes = kst_scene_save_bytes(s);
    KST_SCENE_FREE(s);
    return bytes;
}

// The cube with a two-joint skin (the upper half on joint 1, turning over
// three sampled frames) and one morph target that pushes every vertex out.
std::string skinned_cube_file()
{
    KST_SCENE s{};
    sb_scene_init(s, "skin");
    sb_add_material(s, "m");
    sb_add_cube(s, "cube", {0, 0, 0}, 2.0f);
    KST_OBJECT& o = s.OBJ[0];
    o.JOINTS = 2;
    o.MORPHS = 1;
    o.SKINFRAMES = 3;
    o.SKINJOINT = mem_array<KST_JOINTSET>(o.VERTICES, "seed joints");
    o.SKINWEIGHT = mem_array<KST_WEIGHTSET>(o.VERTICES, "seed weights");
    for (int32_t v = 0; v < o.VERTICES; ++v) {
        o.SKINJOINT[v] = {o.VERTEX[v].Z > 0 ? 1 : 0, 0, 0, 0};
        o.SKINWEIGHT[v] = {o.VERTEX[v].Z > 0 ? 0.75f : 1.0f, o.VERTEX[v].Z > 0 ? 0.25f : 0.0f, 0, 0};
    }
    o.JOINTBIND = mem_array<KST_MATRIX>(2, "seed binds");
    o.JOINTMATRIX = mem_array<KST_MATRIX>(6, "seed joint matrices");
    for (int k = 0; k < 8; ++k) {
        KST_MATRIX& m = k < 2 ? o.JOINTBIND[k] : o.JOINTMATRIX[k - 2];
        float a = 0.3f * static_cast<float>(k / 2);
        m.m[0][0] = std::cos(a), m.m[0][1] = -std::sin(a), m.m[1][0] = std::sin(a), m.m[1][1] = std::cos(a);
        m.m[2][2] = m.m[3][3] = 1.0f;
        m.m[2][3] = static_cast<float>(k % 2);
    }
    o.MORPHVERTEX = mem_array<KST_VECTOR>(o.VERTICES, "seed morph");
    for (int32_t v = 0; v < o.VERTICES; ++v)
        o.MORPHVERTEX[v] = {0.1f * o.VERTEX[v].X, 0.1f * o.VERTEX[v].Y, 0.1f * o.VERTEX[v].Z};
    o.MORPHWEIGHT = mem_array<float>(3, "seed morph weights");
    o.MORPHWEIGHT[1] = 0.5f;
    o.MORPHWEIGHT[2] = 1.0f;
    KST_SCENE_PREPARE(s);
    std::string bytes = kst_scene_save_bytes(s);
    KST_SCENE_FREE(s);
    return bytes;
}

std::string with_version(std::string bytes, char major, char minor)
{
    bytes[44] = major;  // data byte of chunk 1 (chunk 87 is 24 bytes, chunk 1 21)
    bytes[65] = minor;  // data byte of chunk 2
    return bytes;
}

std::map<std::string, std::string> corpus_seeds()
{
    std::map<std::string, std::string> seeds;
    KST_SCENE s{};
    seeds["empty-scene.kst"] = kst_scene_save_bytes(s);
    sb_full_scene(s);
    KST_SCENE_PREPARE(s);
    seeds["full.kst"] = kst_scene_save_bytes(s);
    int32_t level = ZCOMPRESSIONLEVEL;
    ZSETLEVEL(42);
    {
        error_report_capture quiet;
        seeds["full-raw.kst"] = kst_scene_save_bytes(s);
    }
    ZSETLEVEL(level);
    KST_SCENE_FREE(s);
    std::string cube = cube_file();
    seeds["cube.kst"] = cube;
    seeds["cube-v11.kst"] = with_version(cube, 1, 1);
    seeds["cube-v20.kst"] = with_version(cube, 2, 0);
    seeds["junk.kst"] = "junk" + cube + "tail";
    seeds["stray.kst"] = cube + "ab";
    seeds["truncated.kst"] = cube.substr(0, cube.size() / 2);
    seeds["zero.kst"] = "";
    seeds["bad-pack.kst"] = cube + sb_chunk(3, 4, 1, "xxxxxxxx", 0, 8, 4);
    seeds["bad-face.kst"] = cube + sb_chunk(9, 52, 1, sb_int32(0) + sb_int32(1) + sb_int32(99), 0);
    seeds["bad-index.kst"] = cube + sb_chunk(3, 36, 1, sb_int32(0), 5) + sb_chunk(200, 4, 1, "abcd") +
                             sb_chunk(6, 75, 1, std::string(12, 'x'), 9);
    // an object whose arrays never came: absent, then saved as empty (a fuzz find)
    seeds["bare-object.kst"] = sb_chunk(3, 5, 1, sb_int32(1)) + sb_chunk(3, 6, 1, sb_int32(1)) +
                               sb_chunk(1, 1, 1, "\x01") + sb_chunk(1, 2, 1, "\x02");
    std::string skin = skinned_cube_file();
    seeds["skin.kst"] = skin;
    // a joint index past the joints, and joint and morph counts no array holds
    seeds["skin-bad-joint.kst"] = skin + sb_chunk(7, 108, 1, sb_int32(0) + sb_int32(7) + sb_int32(0) + sb_int32(0), 0);
    seeds["skin-counts.kst"] = skin + sb_chunk(3, 105, 1, sb_int32(9), 0) + sb_chunk(3, 106, 1, sb_int32(-1), 0);
    seeds["skin-frames.kst"] = skin + sb_chunk(3, 107, 1, sb_int32(0), 0);
    seeds["skin-morph-short.kst"] = skin + sb_chunk(6, 113, 1, std::string(12, '\0'), 0);
    seeds["recount.kst"] = cube + sb_chunk(3, 6, 1, sb_int32(0)) + sb_chunk(3, 5, 1, sb_int32(3));
    // the request to play rotation and scale tracks: as written, empty, wider
    // than its byte, with bits nobody reads, at another index, packed
    std::string motion = motion_file();
    seeds["motion.kst"] = motion;
    seeds["motion-empty.kst"] = motion + sb_chunk(1, 100, 0, "");
    seeds["motion-wide.kst"] = cube + sb_chunk(3, 100, 1, sb_int32(0x1ff));
    seeds["motion-bits.kst"] = motion + sb_chunk(1, 100, 1, "\xfe", 3);
    const std::string three_packed("x\x9c\x63\x06\x00\x00\x04\x00\x04", 9);   // zlib of the byte 3
    seeds["motion-packed.kst"] = cube + sb_chunk(1, 100, 1, three_packed, 0, 9, 1);
    return seeds;
}

}  // namespace

TEST(FuzzCorpus, SeedsRunThroughTheFuzzTarget)
{
    error_report_capture quiet;
    auto seeds = corpus_seeds();
    for (const auto& [name, bytes] : seeds) {
        SCOPED_TRACE(name);
        scene_fuzz_one(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    std::string dir = std::string(QIV_SOURCE_DIR) + "/fuzz/corpus/scene_loader";
    if (std::getenv("QIV_WRITE_CORPUS")) {
        std::filesystem::create_directories(dir);
        for (const auto& [name, bytes] : seeds)
            write_file(dir + "/" + name, bytes);
    }
    for (std::string corpus : {dir, std::string(QIV_SOURCE_DIR) + "/fuzz/corpus/scene_load"}) {
        size_t files = 0;
        for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
            std::string bytes = read_file(entry.path().string());
            SCOPED_TRACE(entry.path().string());
            scene_fuzz_one(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            ++files;
        }
        EXPECT_GE(files, seeds.size()) << corpus;
    }
}
