// Tests of `kestrel info`, `kestrel dump` and `kestrel resave`, run as the real
// program on files the writer made: the listed chunks, the JSON members and
// number formats, the round trip through resave, and the exit statuses.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>

#include "engine/scene/loader.h"
#include "engine/scene/prepare.h"
#include "engine/scene/writer.h"
#include "process.h"
#include "scene_builders.h"

using nlohmann::json;

namespace {

std::string saved_full_scene(const std::string& dir)
{
    KST_SCENE s{};
    sb_full_scene(s);
    s.OBJ[1].POS.X = std::numeric_limits<float>::quiet_NaN();
    s.OBJ[1].POS.Y = -std::numeric_limits<float>::infinity();
    s.OBJ[1].POS.Z = 0.1f;
    KST_SCENE_PREPARE(s);  // TEXTURETYPE as a loaded scene holds it
    std::string path = dir + "/full.kst";
    KST_SCENE_SAVE(s, path);
    KST_SCENE_FREE(s);
    return path;
}

}  // namespace

TEST(KestrelTool, InfoListsChunksAsStored)
{
    std::string dir = test_temp_dir("tool_info");
    std::string path = saved_full_scene(dir);
    program_result r = run_program(kestrel_path(), {"info", path, "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    json chunks = json::parse(r.out);
    ASSERT_TRUE(chunks.is_array());
    EXPECT_EQ(chunks[0]["id"], 87);
    EXPECT_EQ(chunks[0]["offset"], 0);
    EXPECT_EQ(chunks[1]["offset"], 24);
    int64_t total = 0;
    for (const json& c : chunks)
        total = c["offset"].get<int64_t>() + 20 + (c["packed"] != 0 ? c["packed"] : c["size"]).get<int64_t>();
    EXPECT_EQ(total, int64_t(read_file(path).size()));

    // junk, an unknown id and stray bytes show up as warnings in the text form
    std::string odd = read_file(path) + "junk" + sb_chunk(1, 200, 1, "x") + "ab";
    write_file(dir + "/odd.kst", odd);
    r = run_program(kestrel_path(), {"info", dir + "/odd.kst"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("OBJ[0].VERTEX"), std::string::npos);
    EXPECT_NE(r.out.find("MATERIAL[1].NAME"), std::string::npos);
    EXPECT_NE(r.out.find("LIGHT[3].POSITION"), std::string::npos);
    EXPECT_NE(r.out.find("scene.FRAMES"), std::string::npos);
    EXPECT_NE(r.out.find("unknown"), std::string::npos);
    EXPECT_NE(r.out.find("format version 1.2"), std::string::npos);
    EXPECT_NE(r.out.find("materials 2, objects 2, lights with keys 1"), std::string::npos);
    EXPECT_NE(r.out.find("4 bytes skipped"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("unknown chunk id 200"), std::string::npos);
    EXPECT_NE(r.out.find("2 stray bytes at the end"), std::string::npos);

    EXPECT_EQ(run_program(kestrel_path(), {"info", dir + "/none.kst"}).status, 1);
    EXPECT_EQ(run_program(kestrel_path(), {"info"}).status, 2);
}

TEST(KestrelTool, DumpPrintsTheRecordsAsJson)
{
    std::string dir = test_temp_dir("tool_dump");
    std::string path = saved_full_scene(dir);
    program_result r = run_program(kestrel_path(), {"dump", path});
    ASSERT_EQ(r.status, 0) << r.err;
    json d = json::parse(r.out);
    EXPECT_EQ(d["NAME"], "full scene \u00e9t\u00e9");  // Latin-1 bytes as UTF-8
    EXPECT_EQ(d["MAJORVERSION"], 1);
    EXPECT_EQ(d["MINORVERSION"], 2);
    EXPECT_FALSE(d.contains("kst_volume_slots"));
    EXPECT_FALSE(d.contains("VOLUMEARRAY"));
    EXPECT_FALSE(d.contains("PARTICLE"));
    EXPECT_FALSE(d.contains("MAINDATA"));
    EXPECT_EQ(d["INFINITY"], 1000);
    ASSERT_EQ(d["LIGHT"].size(), 8u);
    EXPECT_EQ(d["LIGHT"][3]["POSITION"][1], json::parse("[100, 10, 0, 20]"));
    EXPECT_TRUE(d["LIGHT"][0]["POSITION"].is_null());
    const json& grid = d["OBJ"][1];
    EXPECT_EQ(grid["POS"][0], "nan");
    EXPECT_EQ(grid["POS"][1], "-inf");
    EXPECT_EQ(grid["POS"][2].get<double>(), 0.100000001);  // %.9g reads back as the float
    EXPECT_NE(r.out.find("0.100000001"), std::string::npos);
    EXPECT_TRUE(grid["CVERTEX"].is_null());
    EXPECT_EQ(grid["FACE"].size(), 7u);
    EXPECT_EQ(grid["INITMATRIX"].size(), 16u);
    EXPECT_EQ(grid["PARTICLE"]["TEXTURENAME"], "spark1.raw");
    EXPECT_FALSE(grid.contains("LIGHTVISIBLE"));
    EXPECT_FALSE(grid.contains("CONTOUR"));
    const json& cube = d["OBJ"][0];
    EXPECT_EQ(cube["ROTATE"][1], json::parse("[30, 0.5, 0.5, 0.5, 0.5]"));
    EXPECT_EQ(cube["TEXCOORD"].size(), 8u);
    EXPECT_EQ(d["MATERIAL"][1]["TEXTURETYPE"], 24);  // prepared, not as stored
    EXPECT_EQ(d["CAMPOSEASE"].size(), 3u);

    write_file(dir + "/bad.kst", "F!");
    r = run_program(kestrel_path(), {"dump", dir + "/bad.kst"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("bad.kst"), std::string::npos);
}

TEST(KestrelTool, ResaveWritesTheSameScene)
{
    std::string dir = test_temp_dir("tool_resave");
    std::string path = saved_full_scene(dir);
    program_result r = run_program(kestrel_path(), {"resave", path, dir + "/again.kst"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(read_file(dir + "/again.kst") == read_file(path));
    EXPECT_EQ(run_program(kestrel_path(), {"resave", dir + "/none.kst", dir + "/x.kst"}).status, 1);
    EXPECT_EQ(run_program(kestrel_path(), {"resave", path}).status, 2);
}
