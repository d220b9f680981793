// Tests of the configuration reader: line syntax, value types, name selection,
// the strict integers, MAXPASS and the file errors. Every case goes through a
// real file and CONFIG_READ.
#include <gtest/gtest.h>

#include "config_scenes.h"
#include "engine/config/config.h"
#include "process.h"
#include "support/error.h"

namespace {

// Writes text to a fresh file and applies it to the scene.
void apply_config(KST_SCENE& scene, const std::string& text)
{
    std::string path = test_temp_dir("config_reader") + "/test.cfg";
    write_file(path, text);
    CONFIG_READ(scene, path);
}

}  // namespace

TEST(ConfigReader, CameraLinesCommentsAndBlanks)
{
    config_test_scene t({"wood"}, {"ship"});
    apply_config(t.scene, "camerafov=45\ncameranear=0.5\ncamerafar=1e3\n");
    EXPECT_EQ(t.scene.CAMFOV, 45.0f);
    EXPECT_EQ(t.scene.CAMNEAR, 0.5f);
    EXPECT_EQ(t.scene.CAMFAR, 1000.0f);

    apply_config(t.scene, "camerafov=45.5xyz\n#cameranear=10\n cameranear=10\ncamerafar = 60\n\n");
    EXPECT_EQ(t.scene.CAMFOV, 0.0f);     // not entirely a number
    EXPECT_EQ(t.scene.CAMNEAR, 0.5f);    // comment, and a leading blank: ignored
    EXPECT_EQ(t.scene.CAMFAR, 1000.0f);  // leading word "camerafar ": ignored

    apply_config(t.scene, "camerafov=\t-2.5\ncameranear=7 \nCAMERAFAR=1\n");
    EXPECT_EQ(t.scene.CAMFOV, -2.5f);   // leading blanks and tabs are allowed
    EXPECT_EQ(t.scene.CAMNEAR, 0.0f);   // trailing blank is not
    EXPECT_EQ(t.scene.CAMFAR, 1000.0f); // words are case-sensitive
}

TEST(ConfigReader, MaterialValueTypes)
{
    config_test_scene t({"wood"}, {});
    KST_MATERIAL& m = t.material(0);
    apply_config(t.scene,
          "material(wood).textured=1\n"
          "material(wood).envmap=1\n"
          "material(wood).receivelight=1\n"
          "material(wood).ambient=0.2000,0.4000,0.6000\n"
          "material(wood).diffuse=1,2\n"
          "material(wood).specular=7\n"
          "material(wood).shine=$14\n"
          "material(wood).magtype=2\n"
          "material(wood).blend=258\n"
          "material(wood).texturewrap=%11\n"
          "material(wood).depthtest=&7\n"
          "material(wood).texturename=a=b.c d\n"
          "material(wood).envmaptexture=env.jpg\n"
          "material(wood).transparency=0.25\n"
          "material(wood).unknownkey=5\n");
    EXPECT_TRUE(m.TEXTURED);
    EXPECT_TRUE(m.ENVMAP);
    EXPECT_TRUE(m.RECEIVELIGHT);
    EXPECT_FLOAT_EQ(m.AMBIENT.R, 0.2f);
    EXPECT_FLOAT_EQ(m.AMBIENT.G, 0.4f);
    EXPECT_FLOAT_EQ(m.AMBIENT.B, 0.6f);
    EXPECT_EQ(m.DIFFUSE.R, 1.0f);  // one comma: the third part is missing
    EXPECT_EQ(m.DIFFUSE.G, 2.0f);
    EXPECT_EQ(m.DIFFUSE.B, 0.0f);
    EXPECT_EQ(m.SPECULAR.R, 7.0f);
    EXPECT_EQ(m.SPECULAR.G, 0.0f);
    EXPECT_EQ(m.SHINE, 20);
    EXPECT_EQ(m.MAGTYPE, 2);
    EXPECT_EQ(m.BLEND, 2);  // low 8 bits
    EXPECT_EQ(m.TEXTUREWRAP, 3);
    EXPECT_EQ(m.DEPTHTEST, 7);
    EXPECT_EQ(kst_name_get(m.TEXTNAME), "a=b.c d");  // value may hold "=", "." and blanks
    EXPECT_EQ(kst_name_get(m.ENVTEXTNAME), "env.jpg");
    EXPECT_EQ(m.TRANSPARENCY, 0.25f);

    // Flags are true only for exactly "1"; lenient numbers read bad text as 0.
    apply_config(t.scene,
          "material(wood).textured=true\n"
          "material(wood).envmap=01\n"
          "material(wood).receivelight=1 \n"
          "material(wood).magtype=x\n"
          "material(wood).shine=20 \n"
          "material(wood).blend=-1\n"
          "material(wood).ambient=1,2,3,4\n");
    EXPECT_FALSE(m.TEXTURED);
    EXPECT_FALSE(m.ENVMAP);
    EXPECT_FALSE(m.RECEIVELIGHT);
    EXPECT_EQ(m.MAGTYPE, 0);
    EXPECT_EQ(m.SHINE, 0);
    EXPECT_EQ(m.BLEND, 0);           // bytes take no minus sign
    EXPECT_EQ(m.AMBIENT.B, 0.0f);    // "3,4" is no number
    EXPECT_EQ(m.AMBIENT.R, 1.0f);
}

TEST(ConfigReader, ObjectAndLightKeys)
{
    config_test_scene t({"wood", "glass"}, {"ship", "rock"}, {"sun", "moon"});
    KST_OBJECT& o = t.object(0);
    apply_config(t.scene,
          "object(ship).deltavector=-1.5000,10.0000,0.2500\n"
          "object(ship).deltavectorspread=0.1,0.2,0.3\n"
          "object(ship).color=1,0.5,0.25\n"
          "object(ship).colorspread=0,0,1\n"
          "object(ship).material=1\n"
          "object(ship).rendermode=257\n"
          "object(ship).colorattrib=-1\n"
          "object(ship).newparticle=0x10\n"
          "object(ship).visible=0\n"
          "object(ship).backfacecull=1\n"
          "object(ship).particleenabled=1\n"
          "object(ship).particletexture=spark.jpg\n"
          "object(ship).power=2\n"
          "object(ship).deltapower=0.125\n"
          "object(ship).size=3.5\n"
          "light(moon).enabled=1\n"
          "light(moon).pos=1,2,3\n"
          "light(moon).ambient=0.1,0.2,0.3\n"
          "light(moon).diffuse=0.4,0.5,0.6\n"
          "light(moon).specular=0.7,0.8,0.9\n");
    EXPECT_EQ(o.PARTICLE.DELTAVECTOR.X, -1.5f);
    EXPECT_EQ(o.PARTICLE.DELTAVECTOR.Y, 10.0f);
    EXPECT_EQ(o.PARTICLE.DELTAVECTOR.Z, 0.25f);
    EXPECT_FLOAT_EQ(o.PARTICLE.DELTAVECTORSPREAD.Z, 0.3f);
    EXPECT_EQ(o.PARTICLE.COLOR.G, 0.5f);
    EXPECT_EQ(o.PARTICLE.COLORSPREAD.B, 1.0f);
    EXPECT_EQ(o.MATERIAL, 1);
    EXPECT_EQ(o.RENDERMODE, 1);
    EXPECT_EQ(o.PARTICLE.COLORATTRIB, 255);
    EXPECT_EQ(o.PARTICLE.NEWPARTICLE, 16);
    EXPECT_FALSE(o.VISIBLE);
    EXPECT_TRUE(o.BACKFACECULL);
    EXPECT_TRUE(o.PARTICLE.ENABLED);
    EXPECT_EQ(kst_name_get(o.PARTICLE.TEXTURENAME), "spark.jpg");
    EXPECT_EQ(o.PARTICLE.POWER, 2.0f);
    EXPECT_EQ(o.PARTICLE.DELTAPOWER, 0.125f);
    EXPECT_EQ(o.PARTICLE.SIZE, 3.5f);
    const KST_LIGHT& moon = t.scene.LIGHT[1];
    EXPECT_TRUE(moon.ENABLED);
    EXPECT_EQ(moon.POS.Z, 3.0f);
    EXPECT_FLOAT_EQ(moon.AMBIENT.G, 0.2f);
    EXPECT_FLOAT_EQ(moon.DIFFUSE.B, 0.6f);
    EXPECT_FLOAT_EQ(moon.SPECULAR.R, 0.7f);
    EXPECT_FALSE(t.scene.LIGHT[0].ENABLED);
    EXPECT_FALSE(t.object(1).PARTICLE.ENABLED);
}

TEST(ConfigReader, NameSelection)
{
    config_test_scene t({"wood", "glass", "glass", "a.b"}, {"ship"}, {"sun"});
    {
        error_report_capture reports;
        apply_config(t.scene,
              "material(glass).shine=7\n"
              "material(a.b).shine=5\n"      // "." ends the name part: key "b).shine"
              "material(Wood).shine=9\n"     // names are case-sensitive
              "material(nosuch).shine=20\n"
              "object(nosuch).passno=x\n"
              "light(nosuch).enabled=1\n");
        EXPECT_EQ(t.material(1).SHINE, 0);
        EXPECT_EQ(t.material(2).SHINE, 7);  // the last of the duplicates
        EXPECT_EQ(t.material(3).SHINE, 0);
        EXPECT_EQ(t.material(0).SHINE, 0);  // unmatched names change nothing
        EXPECT_EQ(t.object(0).PASSNO, 0);
        EXPECT_FALSE(t.scene.LIGHT[0].ENABLED);
        EXPECT_EQ(reports.messages().size(), 4u);  // Wood, and the three nosuch lines
        EXPECT_TRUE(reports.contains(
            "Config: no material is named (nosuch); line for key \"shine\" ignored."));
    }
    // Empty and nameless scenes: every material and object line is reported
    // and nothing is touched.
    config_test_scene empty({}, {});
    error_report_capture reports;
    apply_config(empty.scene, "material().shine=1\nobject().passno=2\nobject(x).material=0\n");
    EXPECT_EQ(reports.messages().size(), 3u);
    EXPECT_EQ(empty.scene.MAXPASS, 0);
}

TEST(ConfigReader, ObjectMaterialIndexMustNameAMaterial)
{
    config_test_scene t({"wood", "glass"}, {"ship"});
    t.object(0).MATERIAL = 1;
    error_report_capture reports;
    apply_config(t.scene, "object(ship).material=2\nobject(ship).material=-1\n");
    EXPECT_EQ(t.object(0).MATERIAL, 1);
    EXPECT_EQ(reports.messages().size(), 2u);
    apply_config(t.scene, "object(ship).material=0\n");
    EXPECT_EQ(t.object(0).MATERIAL, 0);
}

TEST(ConfigReader, MaxPassIsRecomputed)
{
    config_test_scene t({"wood"}, {"ship", "rock", "sky"});
    t.object(2).PASSNO = -3;
    t.scene.MAXPASS = 9;
    apply_config(t.scene, "# nothing but a comment\n");
    EXPECT_EQ(t.scene.MAXPASS, 0);  // negative passes do not lower it
    apply_config(t.scene, "object(rock).passno=2\n");
    EXPECT_EQ(t.scene.MAXPASS, 2);
    apply_config(t.scene, "object(rock).passno=1\nobject(ship).passno=1\n");
    EXPECT_EQ(t.scene.MAXPASS, 1);

    config_test_scene empty({}, {});
    empty.scene.MAXPASS = 4;
    apply_config(empty.scene, "");  // empty file: one empty line, MAXPASS still recomputed
    EXPECT_EQ(empty.scene.MAXPASS, 0);
}

TEST(ConfigReader, StrictIntegersAreFatal)
{
    for (const char* value : {"x", "2 ", "", "1.5", "99999999999"}) {
        config_test_scene t({"wood"}, {"ship"});
        std::string path = test_temp_dir("config_strict") + "/strict.cfg";
        std::string bad = std::string("object(ship).passno=") + value;
        write_file(path, "# header\ncamerafov=1\n" + bad + "\ncamerafov=2\n");
        try {
            CONFIG_READ(t.scene, path);
            ADD_FAILURE() << "no fatal error for " << bad;
        } catch (const fatal_error& e) {
            std::string msg = e.what();
            EXPECT_NE(msg.find(path), std::string::npos) << msg;
            EXPECT_NE(msg.find("line 3"), std::string::npos) << msg;
            EXPECT_NE(msg.find("\"" + std::string(value) + "\" is an invalid integer"), std::string::npos) << msg;
            EXPECT_NE(msg.find(bad), std::string::npos) << msg;
        }
        EXPECT_EQ(t.scene.CAMFOV, 1.0f);  // lines before it were applied, none after
    }
    for (const char* key : {"material", "rendermode", "colorattrib", "newparticle"}) {
        config_test_scene t({"wood"}, {"ship"});
        EXPECT_THROW(apply_config(t.scene, std::string("object(ship).") + key + "=one\n"), fatal_error) << key;
    }
}

TEST(ConfigReader, LineEndsAndLongLines)
{
    config_test_scene t({"wood"}, {});
    // "\r\n" line ends read as "\n"; a last line without line end counts.
    apply_config(t.scene, "material(wood).textured=1\r\nmaterial(wood).shine=3");
    EXPECT_TRUE(t.material(0).TEXTURED);
    EXPECT_EQ(t.material(0).SHINE, 3);

    // Only the first 255 characters of a line count; the rest is skipped, not
    // read as a line of its own.
    std::string prefix = "material(wood).texturename=";
    std::string tail = "\nmaterial(wood).shine=4";
    std::string longline = prefix + std::string(300, 'a') + "material(wood).shine=99" + tail + "\n";
    apply_config(t.scene, longline);
    EXPECT_EQ(kst_name_get(t.material(0).TEXTNAME), std::string(255 - prefix.size(), 'a'));
    EXPECT_EQ(t.material(0).SHINE, 4);
}

TEST(ConfigReader, MissingFileIsReportedThenFatal)
{
    config_test_scene t({"wood"}, {});
    std::string path = test_temp_dir("config_missing") + "/nosuch.cfg";
    error_report_capture reports;
    try {
        CONFIG_READ(t.scene, path);
        ADD_FAILURE() << "no fatal error";
    } catch (const fatal_error& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos);
    }
    EXPECT_TRUE(reports.contains("Config file (" + path + ") not found."));
    // A folder opens but cannot be read.
    EXPECT_THROW(CONFIG_READ(t.scene, test_temp_dir("config_dir")), fatal_error);
}

TEST(ConfigReader, LineSplitters)
{
    EXPECT_EQ(CONFIG_LINEWORD("material(a.b).key=v"), "material");
    EXPECT_EQ(CONFIG_LINEWORD("camerafar"), "camerafar");
    EXPECT_EQ(CONFIG_LINEWORD("x.y(z)=1"), "x");
    EXPECT_EQ(CONFIG_LINENAME("material(a.b).key=v"), "a.b");
    EXPECT_EQ(CONFIG_LINEKEY("material(a.b).key=v"), "b).key");
    EXPECT_EQ(CONFIG_LINEKEY("material(a)=v.w"), "");   // "." after "="
    EXPECT_EQ(CONFIG_LINENAME("material)a(.k=v"), "");  // ")" before "("
    EXPECT_EQ(CONFIG_LINEVALUE("material(a).k=v=w"), "v=w");
    EXPECT_EQ(CONFIG_LINEVALUE("material(a).k"), "");
    EXPECT_EQ(CONFIG_COMPONENT("-1.5000,10.0000,0.2500", 1), "-1.5000");
    EXPECT_EQ(CONFIG_COMPONENT("-1.5000,10.0000,0.2500", 2), "10.0000");
    EXPECT_EQ(CONFIG_COMPONENT("-1.5000,10.0000,0.2500", 3), "0.2500");
    EXPECT_EQ(CONFIG_COMPONENT("1,,", 2), "");
    EXPECT_EQ(CONFIG_COMPONENT("7", 2), "");
    EXPECT_EQ(CONFIG_COMPONENT("7", 4), "");
}
