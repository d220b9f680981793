// `kestrel ife`: the JSON form of an interface file, and its exit statuses.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "process.h"

TEST(KestrelIfe, PrintsTheParsedFileAsJson)
{
    std::string path = test_temp_dir("kestrel-ife") + "/title.ife";
    write_file(path,
               "# a title card\n1\n7\nlogo.jpg\ntitle\n\n2\n258\n"
               "0 512 384 0 0 512 256 255 255 255 0\n"
               "50.5 0.1 -3e2 1 45 1 2 3 4 5\n");
    program_result r = run_program(kestrel_path(), {"ife", path});
    ASSERT_EQ(r.status, 0) << r.err;
    nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["layercount"], 1);
    EXPECT_EQ(j["info"], 7);
    const auto& layer = j["layers"][0];
    EXPECT_EQ(layer["texturename"], "logo.jpg");
    EXPECT_EQ(layer["info1"], "title");
    EXPECT_EQ(layer["info2"], "");
    EXPECT_EQ(layer["keycount"], 2);
    EXPECT_EQ(layer["blend"], 2);
    const auto& k = layer["keys"][1];
    EXPECT_EQ(k["frame"], 50);
    EXPECT_EQ(k["mode"], 1);
    EXPECT_EQ(k["angle"], 45.0);
    EXPECT_EQ(k["y"], -300.0);
    EXPECT_EQ(k["blue"], 5.0);
    EXPECT_EQ(k["alpha"], 0.0);
    EXPECT_NE(r.out.find("\"x\": 0.1,"), std::string::npos) << r.out;  // the float's shortest form
    EXPECT_LT(r.out.find("\"layercount\""), r.out.find("\"info\""));     // members in the documented order

    program_result missing = run_program(kestrel_path(), {"ife", path + ".none"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find(path + ".none"), std::string::npos);
    write_file(path, "1\n0\nlogo.jpg\n");
    program_result truncated = run_program(kestrel_path(), {"ife", path});
    EXPECT_EQ(truncated.status, 1);
    EXPECT_NE(truncated.err.find("expected the first free-text line of layer 1"), std::string::npos)
        << truncated.err;
    EXPECT_EQ(run_program(kestrel_path(), {"ife"}).status, 2);
}
