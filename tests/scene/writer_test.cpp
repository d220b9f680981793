// Tests of the scene writer: exact chunk bytes, chunk counts, the full round
// trip of every stored field, packing failures stored raw, and the atomic
// replacement of the target file.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "engine/scene/loader.h"
#include "engine/scene/prepare.h"
#include "engine/scene/writer.h"
#include "process.h"
#include "scene_builders.h"
#include "support/error.h"
#include "support/zpack.h"

namespace {

// Chunks of a file in order (header only).
std::vector<kst_chunk_header> chunks_of(const std::string& bytes)
{
    std::vector<kst_chunk_header> out;
    kst_scanner scan = kst_scan_begin(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    kst_chunk_header h{};
    const uint8_t* p;
    size_t n;
    while (kst_scan_next(scan, h, p, n) == KST_SCAN_CHUNK)
        out.push_back(h);
    return out;
}

void load_bytes(KST_SCENE& s, const std::string& bytes)
{
    kst_scene_load_bytes(s, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), "rt.kst");
}

const uint8_t* record_of(const KST_SCENE& s, kst_scope scope, int32_t i)
{
    switch (scope) {
    case KST_SCOPE_MATERIAL: return reinterpret_cast<const uint8_t*>(&s.MATERIAL[i]);
    case KST_SCOPE_OBJECT: return reinterpret_cast<const uint8_t*>(&s.OBJ[i]);
    case KST_SCOPE_LIGHT: return reinterpret_cast<const uint8_t*>(&s.LIGHT[i]);
    default: return reinterpret_cast<const uint8_t*>(&s);
    }
}

int32_t records_in(const KST_SCENE& s, kst_scope scope)
{
    switch (scope) {
    case KST_SCOPE_MATERIAL: return s.MATERIALS;
    case KST_SCOPE_OBJECT: return s.OBJECTS;
    case KST_SCOPE_LIGHT: return KST_LIGHTS;
    default: return 1;
    }
}

// Length of the array of chunk `id` in one record, from its count field.
int32_t array_count(const uint8_t* rec, uint8_t id)
{
    auto obj = reinterpret_cast<const KST_OBJECT*>(rec);
    switch (id) {
    case 50: return obj->STRIPLENGTH;
    case 51: case 53: case 54: case 55: return obj->VERTICES;
    case 52: case 86: case 99: return obj->FACES;
    case 56: return obj->POSKEYS;
    case 57: return obj->ROTKEYS;
    case 58: return obj->SCALEKEYS;
    case 108: case 109: return obj->JOINTS ? obj->VERTICES : 0;
    case 110: return obj->JOINTS;
    case 111: return obj->JOINTS * obj->SKINFRAMES;
    case 112: return obj->MORPHS * obj->VERTICES;
    case 113: return obj->MORPHNORMAL ? obj->MORPHS * obj->VERTICES : 0;
    case 114: return obj->MORPHS * obj->SKINFRAMES;
    case 70: return reinterpret_cast<const KST_SCENE*>(rec)->CAMPOSKEYS;
    case 71: return reinterpret_cast<const KST_SCENE*>(rec)->CAMTARGETKEYS;
    default: return reinterpret_cast<const KST_LIGHT*>(rec)->POSKEYS;
    }
}

// Every stored field of a and b holds the same bytes (the table drives it).
void expect_same_stored_fields(const KST_SCENE& a, const KST_SCENE& b)
{
    for (int id = 1; id < 256; ++id) {
        const kst_chunk_def& d = kst_chunk_lookup(uint8_t(id));
        // versions are the writer's, the chunk count is informational,
        // TEXTURETYPE is reset by preparation, SELECTED/PICKED are never written
        if (d.scope == KST_SCOPE_NONE || id == 1 || id == 2 || id == 87 || id == 29 || id == 80 || id == 81)
            continue;
        ASSERT_EQ(records_in(a, d.scope), records_in(b, d.scope));
        for (int32_t i = 0; i < records_in(a, d.scope); ++i) {
            const uint8_t* ra = record_of(a, d.scope, i);
            const uint8_t* rb = record_of(b, d.scope, i);
            if (!d.array) {
                EXPECT_EQ(std::memcmp(ra + d.offset, rb + d.offset, d.width), 0)
                    << kst_chunk_field(uint8_t(id), i);
                continue;
            }
            int32_t n = array_count(ra, uint8_t(id));
            const void* pa = *reinterpret_cast<const void* const*>(ra + d.offset);
            const void* pb = *reinterpret_cast<const void* const*>(rb + d.offset);
            bool optional = (id == 53 && !a.OBJ[i].COLOR) || (id == 54 && !a.OBJ[i].TEXTURE) ||
                            (id == 55 && !a.OBJ[i].NORMALS);
            if (n <= 0 || optional)
                continue;
            ASSERT_NE(pb, nullptr) << kst_chunk_field(uint8_t(id), i);
            EXPECT_EQ(std::memcmp(pa, pb, size_t(n) * d.width), 0) << kst_chunk_field(uint8_t(id), i);
        }
    }
}

}  // namespace

TEST(Writer, FramesChunkBytesAndEmptySceneCount)
{
    KST_SCENE s{};
    s.FRAMES = 1000;
    s.MAJORVERSION = 3;  // not written: the writer stores its own version
    std::string bytes = kst_scene_save_bytes(s);
    const unsigned char frames[24] = {0x46, 0x21, 3, 4, 1, 0, 0, 0, 4, 0, 0, 0,
                                      0,    0,    0, 0, 0, 0, 0, 0, 0xE8, 3, 0, 0};
    EXPECT_NE(bytes.find(std::string(reinterpret_cast<const char*>(frames), 24)), std::string::npos);
    auto c = chunks_of(bytes);
    ASSERT_EQ(c.size(), 70u);
    EXPECT_EQ(c[0].id, 87);
    EXPECT_EQ(kst_scene_chunk_count(s), 70);
    EXPECT_EQ(std::memcmp(bytes.data() + 20, "\x46\x00\x00\x00", 4), 0);  // chunk 87 holds 70
    const uint8_t order[] = {87, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 84, 90, 72, 73, 74, 75, 76, 77, 78};
    for (size_t k = 0; k < sizeof order; ++k)
        EXPECT_EQ(c[k].id, order[k]) << k;
    for (const auto& h : c) {
        EXPECT_EQ(h.packed != 0, kst_chunk_lookup(h.id).packed) << int(h.id);
        if (h.type == 8) {
            EXPECT_EQ(h.size, 256);
        }
    }
    KST_SCENE back{};
    load_bytes(back, bytes);
    EXPECT_EQ(back.MAJORVERSION, 1);
    EXPECT_EQ(back.MINORVERSION, 2);
    EXPECT_EQ(back.FRAMES, 1000);
    EXPECT_EQ(back.NUMOFCHUNKS, 70);
    KST_SCENE_FREE(back);
}

TEST(Writer, FullObjectAddsFortySevenChunks)
{
    KST_SCENE s{};
    sb_scene_init(s);
    sb_set_camera(s, {}, {});
    sb_add_material(s, "m");
    int32_t o = sb_add_triangle(s, "t");
    sb_object_colors(s, o, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
    sb_object_texcoords(s, o, {{0, 0}, {1, 0}, {0, 1}});
    sb_object_normals(s, o, {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}});
    sb_object_keys(s, o, {{0, 1, 2, 3}}, {{0, 0, 0, 0, 1}}, {{0, 1, 1, 1}});
    auto c = chunks_of(kst_scene_save_bytes(s));
    EXPECT_EQ(c.size(), 70u + 25 + 47);
    EXPECT_EQ(kst_scene_chunk_count(s), 70 + 25 + 47);
    // object chunks in the writer's order
    const uint8_t order[] = {33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 88, 89, 83,
                             47, 48, 49, 91, 95, 96, 97, 98, 59, 60, 61, 62, 63, 64, 65, 66, 67,
                             68, 69, 50, 51, 52, 99, 86, 53, 54, 55, 56, 57, 58};
    for (size_t k = 0; k < sizeof order; ++k)
        EXPECT_EQ(c[14 + 25 + k].id, order[k]) << k;
    KST_SCENE_FREE(s);
}

TEST(Writer, RoundTripGivesBackEveryStoredField)
{
    KST_SCENE s{};
    sb_full_scene(s);
    KST_SCENE_PREPARE(s);
    s.MAJORVERSION = 2;
    s.MINORVERSION = 7;
    std::memset(s.MATERIAL[1].NAME.TEXT + s.MATERIAL[1].NAME.LEN, 'g', 20);  // bytes after the text
    s.OBJ[0].NEIGHBOUR[0] = KST_FACE{-1, -1, -1};  // not what the search gives: must be kept
    std::string dir = test_temp_dir("writer");
    KST_SCENE_SAVE(s, dir + "/full.kst");
    KST_SCENE back{};
    KST_SCENE_LOAD(back, dir + "/full.kst");
    expect_same_stored_fields(s, back);
    EXPECT_EQ(back.MAJORVERSION, 1);
    EXPECT_EQ(back.MINORVERSION, 2);
    EXPECT_EQ(back.OBJ[0].NEIGHBOUR[0].A, -1);
    EXPECT_EQ(std::memcmp(&s.MATERIAL[1].NAME, &back.MATERIAL[1].NAME, 256), 0);
    EXPECT_EQ(back.NUMOFCHUNKS, kst_scene_chunk_count(s));
    // saving the loaded scene again gives the same bytes
    EXPECT_TRUE(kst_scene_save_bytes(back) == read_file(dir + "/full.kst"));
    KST_SCENE_FREE(back);
    KST_SCENE_FREE(s);
}

TEST(Writer, PackingFailureIsReportedAndStoredRaw)
{
    KST_SCENE s{};
    sb_full_scene(s);
    std::string good = kst_scene_save_bytes(s);
    error_report_capture cap;
    int32_t level = ZCOMPRESSIONLEVEL;
    ZSETLEVEL(42);  // zlib refuses the level: every packed chunk fails
    std::string raw = kst_scene_save_bytes(s);
    ZSETLEVEL(level);
    ASSERT_FALSE(cap.messages().empty());
    EXPECT_EQ(cap.messages()[0], "Packing error! -2 256 3 0");
    for (const auto& h : chunks_of(raw))
        EXPECT_EQ(h.packed, 0);
    KST_SCENE a{}, b{};
    load_bytes(a, good);
    load_bytes(b, raw);
    expect_same_stored_fields(a, b);
    KST_SCENE_FREE(a);
    KST_SCENE_FREE(b);
    KST_SCENE_FREE(s);
}

TEST(Writer, FailedSaveLeavesThePreviousFile)
{
    KST_SCENE s{};
    sb_full_scene(s);
    std::string dir = test_temp_dir("writer_atomic");
    std::filesystem::create_directory(dir + "/taken");
    write_file(dir + "/taken/inside", "x");
    EXPECT_THROW(KST_SCENE_SAVE(s, dir + "/taken"), fatal_error);  // rename over a folder fails
    EXPECT_EQ(read_file(dir + "/taken/inside"), "x");
    EXPECT_THROW(KST_SCENE_SAVE(s, dir + "/missing/x.kst"), fatal_error);
    size_t files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir))
        files += e.is_regular_file();
    EXPECT_EQ(files, 0u);  // no temporary left behind
    // a successful save replaces an older file completely
    write_file(dir + "/s.kst", std::string(100000, 'z'));
    KST_SCENE_SAVE(s, dir + "/s.kst");
    EXPECT_TRUE(read_file(dir + "/s.kst") == kst_scene_save_bytes(s));
    KST_SCENE_FREE(s);
}
