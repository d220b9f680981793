// Tests of the scene loader: the tag scan, the min(size, width) rule, repeated
// and unknown chunks, the reports, the fatal input/output errors, and the
// safety checks that keep any file from reaching outside an array.
#include <gtest/gtest.h>

#include <cstring>
#include <zlib.h>

#include "engine/scene/loader.h"
#include "engine/scene/prepare.h"
#include "engine/scene/writer.h"
#include "process.h"
#include "scene_builders.h"
#include "support/error.h"

namespace {

std::string frames_chunk(int32_t v)
{
    return sb_chunk(3, 4, 1, sb_int32(v));
}

// Loads bytes into a fresh record; the record is freed by the fixture.
struct loader_test : ::testing::Test {
    KST_SCENE scene{};
    void load(const std::string& bytes)
    {
        kst_scene_load_bytes(scene, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                             "mem.kst");
    }
    std::string load_error(const std::string& bytes)
    {
        try {
            load(bytes);
        } catch (const fatal_error& e) {
            return e.what();
        }
        return "";
    }
    void TearDown() override { KST_SCENE_FREE(scene); }
};

std::string v_of(float x, float y, float z)
{
    return sb_float(x) + sb_float(y) + sb_float(z);
}

std::string pack(const std::string& raw)
{
    uLongf n = compressBound(raw.size());
    std::string out(n, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(raw.data()),
              raw.size(), 9);
    out.resize(n);
    return out;
}

// A minimal valid object 0 (material 0): one triangle, version 1.2 arrays.
std::string one_object_file(const std::string& extra = "")
{
    std::string f = sb_chunk(3, 5, 1, sb_int32(1)) + sb_chunk(3, 6, 1, sb_int32(1)) +
                    sb_chunk(1, 1, 1, "\x01") + sb_chunk(1, 2, 1, "\x02");
    std::string verts = sb_float(0) + sb_float(0) + sb_float(0) + sb_float(1) + sb_float(0) + sb_float(0) +
                        sb_float(0) + sb_float(1) + sb_float(0);
    std::string face = sb_int32(0) + sb_int32(1) + sb_int32(2);
    std::string none = sb_int32(-1) + sb_int32(-1) + sb_int32(-1);
    f += sb_chunk(3, 34, 1, sb_int32(3)) + sb_chunk(3, 35, 1, sb_int32(1));
    f += sb_chunk(6, 51, 3, verts) + sb_chunk(9, 52, 1, face) + sb_chunk(9, 99, 1, face) +
         sb_chunk(9, 86, 1, none);
    return f + extra;
}

}  // namespace

TEST_F(loader_test, TagScanJunkStrayBytesAndEmptyFiles)
{
    load("junk" + frames_chunk(1000) + "more");  // 4-byte junk is stepped over
    EXPECT_EQ(scene.FRAMES, 1000);

    KST_SCENE_FREE(scene);
    scene = KST_SCENE{};
    load("ju" + frames_chunk(77) + "nk");  // a tag at offset 2 is never seen
    EXPECT_EQ(scene.FRAMES, 0);

    EXPECT_NE(load_error("").find("mem.kst: empty file"), std::string::npos);
    for (int stray = 1; stray <= 3; ++stray) {
        std::string e = load_error(frames_chunk(1) + std::string(stray, 'x'));
        EXPECT_NE(e.find("mem.kst"), std::string::npos) << e;
        EXPECT_NE(e.find("offset 24"), std::string::npos) << e;
        EXPECT_EQ(scene.FRAMES, 0);  // no partial scene
    }
    std::string cut = one_object_file();
    cut.resize(cut.size() - 5);
    std::string e = load_error(cut);
    EXPECT_NE(e.find("ends inside the chunk at offset"), std::string::npos) << e;
    EXPECT_EQ(scene.OBJ, nullptr);
    e = load_error(frames_chunk(1).substr(0, 12));
    EXPECT_NE(e.find("offset 0"), std::string::npos) << e;
}

TEST_F(loader_test, MissingFileIsReportedThenFatal)
{
    error_report_capture cap;
    std::string name = test_temp_dir("loader") + "/nothing.kst";
    try {
        KST_SCENE_LOAD(scene, name);
        FAIL() << "no error";
    } catch (const fatal_error& e) {
        EXPECT_NE(std::string(e.what()).find(name), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("offset 0"), std::string::npos);
    }
    EXPECT_TRUE(cap.contains("File (" + name + ") not found."));
}

TEST_F(loader_test, SingleFieldsTakeMinOfSizeAndWidth)
{
    kst_name_set(scene.NAME, "keep");
    scene.MAJORVERSION = 7;
    scene.FRAMES = 0x11223344;
    std::string name(256, 'x');
    name[0] = 5;
    std::memcpy(&name[1], "hello", 5);
    error_report_capture cap;
    load(sb_chunk(1, 2, 1, "\x09") +                  // one-byte version chunk
         sb_chunk(3, 4, 1, "\x55\x66", 0, 0, 2) +     // 2 bytes of FRAMES
         sb_chunk(3, 9, 1, "") +                       // size 0: CAMFAR unchanged
         sb_chunk(8, 12, 1, name, 0) +                 // material chunk before chunk 5: skipped
         sb_chunk(3, 5, 1, sb_int32(1)) + sb_chunk(8, 12, 1, name, 0));
    EXPECT_EQ(scene.MINORVERSION, 9);
    EXPECT_EQ(scene.MAJORVERSION, 7);
    EXPECT_EQ(kst_name_get(scene.NAME), "keep");
    EXPECT_EQ(scene.FRAMES, 0x11226655);
    EXPECT_EQ(kst_name_get(scene.MATERIAL[0].NAME), "hello");
    EXPECT_TRUE(cap.contains("Chunk size corruption !"));  // count 1 x 4 bytes != 2
    EXPECT_EQ(cap.messages().size(), 3u);                   // corruption + the early material chunk
}

TEST_F(loader_test, RepeatedAndUnknownChunksAndEmptyArrays)
{
    std::string v1 = sb_float(1) + sb_float(2) + sb_float(3);
    std::string fake = frames_chunk(5);  // looks like a chunk, lives inside an unknown one
    load(one_object_file(frames_chunk(10) + frames_chunk(20) + sb_chunk(6, 51, 1, v1 + v1 + v1 + v1, 0) +
                         sb_chunk(1, 85, 24, fake) + sb_chunk(1, 200, 24, fake) + sb_chunk(1, 0, 24, fake) +
                         sb_chunk(2, 50, 0, "")));
    EXPECT_EQ(scene.FRAMES, 20);
    EXPECT_FLOAT_EQ(scene.OBJ[0].VERTEX[3].Z, 3.0f);  // the second VERTEX array replaced the first
    EXPECT_NE(scene.OBJ[0].STRIP, nullptr);           // an empty array, not none
    EXPECT_EQ(scene.OBJ[0].STRIPLENGTH, 0);
}

TEST_F(loader_test, BadChunksAreReportedAndSkipped)
{
    error_report_capture cap;
    std::string bad_pack = pack(std::string(20, 'a'));
    load(one_object_file(
        sb_chunk(3, 36, 1, sb_int32(0), 1) +              // object index outside 0..0
        sb_chunk(3, 36, 1, sb_int32(0), -1) +             // negative index
        sb_chunk(3, 22, 1, sb_int32(5), 3) +              // material index outside
        sb_chunk(6, 75, 1, v_of(1, 2, 3), 8) +            // light 8
        sb_chunk(200, 4, 1, sb_int32(99)) +               // element type above 15
        sb_chunk(3, 4, 1, "", 0, 0, -4) +                 // negative size (no data follows)
        sb_chunk(9, 52, 600000, "0123456789", 0, 10, 600000 * 12) +   // beyond 500001 faces
        sb_chunk(3, 4, 1, bad_pack, 0, int32_t(bad_pack.size()), 4) +   // inflates to 20, not 4
        sb_chunk(3, 4, 1, "zzzz", 0, 4, 4) +              // not zlib at all
        sb_chunk(3, 6, 1, sb_int32(-3)) +                 // negative object count
        sb_chunk(3, 5, 1, sb_int32(5002))));              // more materials than the format allows
    EXPECT_EQ(scene.FRAMES, 0);
    EXPECT_EQ(scene.OBJECTS, 1);
    EXPECT_EQ(scene.MATERIALS, 1);
    EXPECT_EQ(scene.LIGHT[7].POS.X, 0.0f);
    int skipped = 0;
    for (const std::string& m : cap.messages())
        skipped += m.rfind("Chunk at offset ", 0) == 0;
    EXPECT_EQ(skipped, 11) << testing::PrintToString(cap.messages());
}

TEST_F(loader_test, PackedChunksInflate)
{
    std::string name(256, '\0');
    name[0] = 3;
    std::memcpy(&name[1], "abc", 3);
    std::string z = pack(name);
    load(sb_chunk(8, 3, 1, z, 0, int32_t(z.size()), 256));
    EXPECT_EQ(kst_name_get(scene.NAME), "abc");
}

TEST_F(loader_test, BrokenInvariantsAreFatalAndNameTheObject)
{
    auto with = [&](const std::string& extra) { return load_error(one_object_file(extra)); };
    std::string e = with(sb_chunk(9, 52, 1, sb_int32(0) + sb_int32(1) + sb_int32(3)));
    EXPECT_NE(e.find("mem.kst: object 0 (\"\"): FACE 0 uses vertex 3 outside VERTEX"), std::string::npos) << e;
    EXPECT_EQ(scene.OBJ, nullptr);
    EXPECT_EQ(scene.OBJECTS, 0);  // the record is cleared

    e = with(sb_chunk(8, 33, 1, std::string("\x04wing") + std::string(251, '\0')) +
             sb_chunk(3, 34, 1, sb_int32(4)));
    EXPECT_NE(e.find("object 0 (\"wing\"): VERTEX holds 3 elements but VERTICES is 4"), std::string::npos) << e;
    e = with(sb_chunk(3, 36, 1, sb_int32(1)));
    EXPECT_NE(e.find("MATERIAL 1 outside the 1 materials"), std::string::npos) << e;
    e = with(sb_chunk(9, 86, 1, sb_int32(-1) + sb_int32(1) + sb_int32(-1)));
    EXPECT_NE(e.find("NEIGHBOUR of face 0 is 1"), std::string::npos) << e;
    e = with(sb_chunk(3, 40, 1, sb_int32(1)) + sb_chunk(2, 50, 1, std::string("\x09\x00", 2)));
    EXPECT_NE(e.find("STRIP entry 0 uses vertex 9"), std::string::npos) << e;
    e = with(sb_chunk(3, 37, 1, sb_int32(2)) + sb_chunk(10, 56, 1, std::string(16, '\0')));
    EXPECT_NE(e.find("POSITION holds 1 elements but POSKEYS is 2"), std::string::npos) << e;
    e = with(sb_chunk(13, 43, 1, "\x01"));
    EXPECT_NE(e.find("CVERTEX holds 0 elements"), std::string::npos) << e;
    e = load_error(sb_chunk(3, 10, 1, sb_int32(1)));
    EXPECT_NE(e.find("camera: CAMPOSITION holds 0 elements but CAMPOSKEYS is 1"), std::string::npos) << e;
    e = load_error(sb_chunk(3, 73, 1, sb_int32(-1), 2));
    EXPECT_NE(e.find("light 2: POSKEYS is negative"), std::string::npos) << e;
    EXPECT_EQ(with(""), "");
}

TEST_F(loader_test, NeighboursByVersion)
{
    // garbage that is still a valid face index: kept by 1.2 and 2.0, replaced by 1.1
    std::string odd = sb_int32(0) + sb_int32(0) + sb_int32(0);
    std::string base = one_object_file(sb_chunk(9, 86, 1, odd));
    load(base);
    EXPECT_EQ(scene.OBJ[0].NEIGHBOUR[0].A, 0);
    KST_SCENE_FREE(scene);
    scene = KST_SCENE{};
    load(base + sb_chunk(1, 1, 1, "\x02") + sb_chunk(1, 2, 1, std::string(1, '\0')));
    EXPECT_EQ(scene.OBJ[0].NEIGHBOUR[0].A, 0);
    KST_SCENE_FREE(scene);
    scene = KST_SCENE{};
    // 1.1: the file's neighbours are not even checked, they are recomputed
    load(base + sb_chunk(9, 86, 1, sb_int32(7) + sb_int32(7) + sb_int32(7)) + sb_chunk(1, 2, 1, "\x01"));
    EXPECT_EQ(scene.OBJ[0].NEIGHBOUR[0].A, -1);
    EXPECT_EQ(scene.OBJ[0].NEIGHBOUR[0].C, -1);
}
