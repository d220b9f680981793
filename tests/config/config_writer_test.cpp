// Tests of the configuration writer and the geometry dump: the exact lines,
// the derived blend and pass lines, the number formats, the round trip through
// the reader, and the file handling.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "config_scenes.h"
#include "engine/config/config.h"
#include "process.h"
#include "support/error.h"

namespace {

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Lines of the file that CONFIG_WRITE writes for the scene.
std::vector<std::string> written_lines(const KST_SCENE& scene)
{
    std::string path = test_temp_dir("config_writer") + "/out.cfg";
    CONFIG_WRITE(scene, path);
    std::string text = read_file(path);
    EXPECT_EQ(text, config_write_text(scene));
    EXPECT_EQ(text.back(), '\n');
    return lines_of(text);
}

bool has_line(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace

TEST(ConfigWriter, EmptySceneGivesHeaderAndLights)
{
    config_test_scene t({}, {});
    t.scene.CAMFOV = 0.785398f;
    t.scene.CAMNEAR = 1;
    t.scene.CAMFAR = -1.25f;
    std::vector<std::string> lines = written_lines(t.scene);
    ASSERT_EQ(lines.size(), 15u + 2u + 8u * 6u);
    const std::vector<std::string> header = {
        "# Kestrel config file",
        "#",
        "camerafov=0.7854",
        "cameranear=1.0000",
        "camerafar=-1.2500",
        "#",
        "# Material Info",
        "# ",
        "#                  Texture min/mag filters:",
        "# 0 - NEAREST, 1 - LINEAR, 2 - MIPMAP_NEAREST, 3 - MIPMAP_LINEAR (default)",
        "# ",
        "# Depthtest : 0 -R/W ; 1 -R ; 2 -W ; 3 -N/A",
        "# Alphatest : 0 -N/A ; 0..1 -alpha testing value",
        "# Blend     : 0 -NO  ; 1 -ONE/ONE ; 2 -ALPHA ; 3 -1-ALPHA",
        "# ",
        "# Object Info",
        "# Light Info",
        "light().enabled=0",
        "light().pos=0.0000,0.0000,0.0000",
        "light().ambient=0.0000,0.0000,0.0000",
        "light().diffuse=0.0000,0.0000,0.0000",
        "light().specular=0.0000,0.0000,0.0000",
        "#",
    };
    for (size_t i = 0; i < header.size(); ++i)
        EXPECT_EQ(lines[i], header[i]) << "line " << i + 1;
    EXPECT_EQ(lines.back(), "#");

    // Arrays that are absent are never read, whatever the counts say.
    t.scene.MATERIALS = 3;
    t.scene.OBJECTS = 2;
    EXPECT_EQ(written_lines(t.scene).size(), 15u + 2u + 8u * 6u);
}

TEST(ConfigWriter, MaterialAndObjectBlocks)
{
    config_test_scene t({"glass"}, {"ship"}, {"sun"});
    KST_MATERIAL& m = t.material(0);
    kst_name_set(m.TEXTNAME, "glass.jpg");
    kst_name_set(m.ENVTEXTNAME, "env.jpg");
    m.TRANSPARENCY = 0.5f;
    m.UTILE = 1.0f / 3.0f;
    m.VTILE = 2;
    m.TEXTURED = 7;  // any non-zero byte is true and is written 1
    m.AMBIENT = {0.2f, 0.4f, 0.6f};
    m.DIFFUSE = {1, 1, 1};
    m.SPECULAR = {-0.00001f, -0.0f, 100000};
    m.SHINE = -20;
    m.ENVMAP = 1;
    m.MAGTYPE = 3;
    m.RECEIVELIGHT = 1;
    m.DEPTHTEST = 200;
    m.ALPHATEST = 0.125f;
    m.TEXTUREWRAP = 1;
    m.CONSTANTALPHA = 0.99999f;
    m.FLARESIZE = 2;
    m.BLEND = 4;  // never written as is: derived
    KST_OBJECT& o = t.object(0);
    o.PASSNO = 7;  // never written as is: derived
    o.RENDERMODE = 1;
    o.PARTICLE.ENABLED = 1;
    o.PARTICLE.DELTAVECTOR = {-1.5f, 10, 0.25f};
    o.PARTICLE.COLORATTRIB = 9;
    o.PARTICLE.NEWPARTICLE = -3;
    kst_name_set(o.PARTICLE.TEXTURENAME, "spark.jpg");
    o.PARTICLE.POWER = 1;
    o.PARTICLE.SIZE = 0.5f;
    o.BACKFACECULL = 1;
    t.scene.LIGHT[0].ENABLED = 1;
    t.scene.LIGHT[0].POS = {1, 2, 3};

    std::vector<std::string> lines = written_lines(t.scene);
    const std::vector<std::string> expected = {
        "material(glass).texturename=glass.jpg",
        "material(glass).transparency=0.5000",
        "material(glass).utile=0.3333",
        "material(glass).vtile=2.0000",
        "material(glass).textured=1",
        "material(glass).ambient=0.2000,0.4000,0.6000",
        "material(glass).diffuse=1.0000,1.0000,1.0000",
        "material(glass).specular=0.0000,0.0000,100000.0000",
        "material(glass).shine=-20",
        "material(glass).envmap=1",
        "material(glass).envmaptexture=env.jpg",
        "material(glass).magtype=3",
        "material(glass).receivelight=1",
        "material(glass).depthtest=200",
        "material(glass).alphatest=0.1250",
        "material(glass).texturewrap=1",
        "material(glass).constantalpha=1.0000",
        "material(glass).flaresize=2.0000",
        "material(glass).blend=1",
        "#",
        "# Object Info",
        "object(ship).material=0",
        "object(ship).rendermode=1",
        "object(ship).visible=1",
        "object(ship).particleenabled=1",
        "object(ship).deltavector=-1.5000,10.0000,0.2500",
        "object(ship).deltavectorspread=0.0000,0.0000,0.0000",
        "object(ship).color=0.0000,0.0000,0.0000",
        "object(ship).colorspread=0.0000,0.0000,0.0000",
        "object(ship).colorattrib=9",
        "object(ship).power=1.0000",
        "object(ship).deltapower=0.0000",
        "object(ship).newparticle=-3",
        "object(ship).particletexture=spark.jpg",
        "object(ship).size=0.5000",
        "object(ship).passno=1",
        "#transparent material :glass.jpg",
        "object(ship).backfacecull=1",
        "#",
        "# Light Info",
        "light(sun).enabled=1",
        "light(sun).pos=1.0000,2.0000,3.0000",
    };
    ASSERT_GE(lines.size(), 15 + expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(lines[15 + i], expected[i]) << "line " << 16 + i;
}

TEST(ConfigWriter, DerivedBlendAndPassLines)
{
    config_test_scene t({"opaque", "added", "alpha", "odd", "negative"},
                        {"o0", "o1", "o2", "o3", "o4", "lost"});
    t.material(1).TRANSPARENCY = 0.5f;
    t.material(2).TEXTURETYPE = 32;
    t.material(2).TRANSPARENCY = -1;
    t.material(3).TEXTURETYPE = 0;
    t.material(4).TRANSPARENCY = -0.5f;
    for (int i = 0; i < 5; ++i) {
        kst_name_set(t.material(i).TEXTNAME, "t" + std::to_string(i) + ".jpg");
        t.object(i).MATERIAL = i;
    }
    t.object(5).MATERIAL = 5;  // names no material: no pass lines, no read outside
    std::vector<std::string> lines = written_lines(t.scene);
    EXPECT_TRUE(has_line(lines, "material(opaque).blend=0"));
    EXPECT_TRUE(has_line(lines, "material(added).blend=1"));
    EXPECT_TRUE(has_line(lines, "material(alpha).blend=2"));
    EXPECT_TRUE(has_line(lines, "object(o0).passno=0"));
    EXPECT_TRUE(has_line(lines, "#standard texture :t0.jpg"));
    EXPECT_TRUE(has_line(lines, "object(o1).passno=1"));
    EXPECT_TRUE(has_line(lines, "object(o2).passno=2"));
    EXPECT_TRUE(has_line(lines, "#alpha channel texture :t2.jpg"));
    for (const std::string& line : lines) {
        EXPECT_NE(line.rfind("material(odd).blend", 0), 0u) << line;
        EXPECT_NE(line.rfind("material(negative).blend", 0), 0u) << line;
        EXPECT_NE(line.rfind("object(o3).passno", 0), 0u) << line;
        EXPECT_NE(line.rfind("object(o4).passno", 0), 0u) << line;
        EXPECT_NE(line.rfind("object(lost).passno", 0), 0u) << line;
    }
}

TEST(ConfigWriter, NumberFormats)
{
    EXPECT_EQ(config_f4(45), "45.0000");
    EXPECT_EQ(config_f4(0.5f), "0.5000");
    EXPECT_EQ(config_f4(-1.25f), "-1.2500");
    EXPECT_EQ(config_f4(1.0f / 3.0f), "0.3333");
    EXPECT_EQ(config_f4(-0.0f), "0.0000");
    EXPECT_EQ(config_f4(-0.00004f), "0.0000");
    EXPECT_EQ(config_f4(-0.00006f), "-0.0001");
    EXPECT_EQ(config_f4(NAN), "nan");
    EXPECT_EQ(config_f4(-HUGE_VALF), "-inf");
    EXPECT_EQ(config_f4(3.0e38f).size(), 44u);  // 39 digits, point, 4 decimals
    EXPECT_EQ(config_triple(0.2f, 0.4f, 0.6f), "0.2000,0.4000,0.6000");
}

TEST(ConfigWriter, AssembledTextsAreCutAt255)
{
    std::string name(250, 'n');
    config_test_scene t({"m"}, {name});
    kst_name_set(t.material(0).TEXTNAME, std::string(250, 't'));
    std::vector<std::string> lines = written_lines(t.scene);
    std::string head = ("object(" + name + ").deltavectorspread=").substr(0, 255);
    EXPECT_TRUE(has_line(lines, head + "0.0000,0.0000,0.0000"));
    EXPECT_TRUE(has_line(lines, ("#standard texture :" + std::string(250, 't')).substr(0, 255)));
    EXPECT_TRUE(has_line(lines, "material(m).texturename=" + std::string(250, 't')));  // not cut
}

TEST(ConfigWriter, RoundTripKeepsEveryWrittenField)
{
    const std::vector<std::string> mats = {"wood", "glass", "chrome"};
    const std::vector<std::string> objs = {"ship", "rock", "sky", "spark"};
    const std::vector<std::string> lights = {"sun", "moon", "", "", "", "", "", ""};
    config_test_scene src(mats, objs, lights);
    float x = 0.0f;
    auto next = [&x]() { x += 1.37f; return std::fmod(x * 7.13f, 19.0f) - 9.0f + 1.0f / 3.0f; };
    src.scene.CAMFOV = next(), src.scene.CAMNEAR = next(), src.scene.CAMFAR = next();
    for (int i = 0; i < 3; ++i) {
        KST_MATERIAL& m = src.material(i);
        kst_name_set(m.TEXTNAME, mats[i] + ".jpg");
        kst_name_set(m.ENVTEXTNAME, i ? "env.jpg" : "");
        m.TRANSPARENCY = i == 0 ? 0.0f : std::fabs(next()) + 0.5f;
        m.TEXTURETYPE = i == 2 ? 32 : 24;
        m.UTILE = next(), m.VTILE = next(), m.TEXTURED = i & 1, m.ENVMAP = i == 2;
        m.AMBIENT = {next(), next(), next()}, m.DIFFUSE = {next(), next(), next()};
        m.SPECULAR = {next(), next(), next()}, m.SHINE = 10 * i - 7, m.MAGTYPE = i;
        m.RECEIVELIGHT = i != 1, m.DEPTHTEST = static_cast<uint8_t>(i + 1), m.ALPHATEST = next();
        m.TEXTUREWRAP = static_cast<uint8_t>(i), m.CONSTANTALPHA = next(), m.FLARESIZE = next();
    }
    for (int i = 0; i < 4; ++i) {
        KST_OBJECT& o = src.object(i);
        KST_PARTICLEDATA& p = o.PARTICLE;
        o.MATERIAL = i % 3, o.RENDERMODE = static_cast<uint8_t>(i & 1), o.VISIBLE = i != 2;
        o.BACKFACECULL = i & 1, p.ENABLED = i >= 2, p.COLORATTRIB = static_cast<uint8_t>(1 << i);
        p.DELTAVECTOR = {next(), next(), next()}, p.DELTAVECTORSPREAD = {next(), next(), next()};
        p.COLOR = {next(), next(), next()}, p.COLORSPREAD = {next(), next(), next()};
        p.POWER = next(), p.DELTAPOWER = next(), p.NEWPARTICLE = 5 - i, p.SIZE = next();
        kst_name_set(p.TEXTURENAME, i ? "p" + std::to_string(i) + ".jpg" : "");
    }
    for (int i = 0; i < KST_LIGHTS; ++i) {
        KST_LIGHT& l = src.scene.LIGHT[i];
        l.ENABLED = i < 2, l.POS = {next(), next(), next()};
        l.AMBIENT = {next(), next(), next()}, l.DIFFUSE = {next(), next(), next()};
        l.SPECULAR = {next(), next(), next()};
    }
    std::string path = test_temp_dir("config_roundtrip") + "/scene.cfg";
    CONFIG_WRITE(src.scene, path);

    // Read into a scene with the same names whose fields hold other values.
    config_test_scene dst(mats, objs, lights);
    dst.scene.CAMFOV = 99;
    dst.material(2).TEXTURETYPE = 32;  // as bound textures would set it
    for (int i = 0; i < 3; ++i)
        dst.material(i).SHINE = 1234, dst.material(i).BLEND = 3, dst.material(i).TEXTURED = 1;
    for (int i = 0; i < 4; ++i)
        dst.object(i).PASSNO = 5, dst.object(i).PARTICLE.SIZE = 77;
    CONFIG_READ(dst.scene, path);

    auto same = [](float a, float b) { return config_f4(a) == config_f4(b); };
    auto same3 = [&](const auto& a, const auto& b) {
        const float* fa = &a.R, * fb = &b.R;
        return same(fa[0], fb[0]) && same(fa[1], fb[1]) && same(fa[2], fb[2]);
    };
    auto samev = [&](const KST_VECTOR& a, const KST_VECTOR& b) {
        return same(a.X, b.X) && same(a.Y, b.Y) && same(a.Z, b.Z);
    };
    EXPECT_TRUE(same(src.scene.CAMFOV, dst.scene.CAMFOV));
    EXPECT_TRUE(same(src.scene.CAMNEAR, dst.scene.CAMNEAR));
    EXPECT_TRUE(same(src.scene.CAMFAR, dst.scene.CAMFAR));
    EXPECT_EQ(config_f4(dst.material(0).UTILE), config_f4(src.material(0).UTILE));
    for (int i = 0; i < 3; ++i) {
        const KST_MATERIAL& a = src.material(i);
        const KST_MATERIAL& b = dst.material(i);
        SCOPED_TRACE(mats[i]);
        EXPECT_TRUE(kst_name_equals(b.TEXTNAME, kst_name_get(a.TEXTNAME)));
        EXPECT_TRUE(kst_name_equals(b.ENVTEXTNAME, kst_name_get(a.ENVTEXTNAME)));
        EXPECT_TRUE(same(a.TRANSPARENCY, b.TRANSPARENCY) && same(a.UTILE, b.UTILE) &&
                    same(a.VTILE, b.VTILE) && same(a.ALPHATEST, b.ALPHATEST) &&
                    same(a.CONSTANTALPHA, b.CONSTANTALPHA) && same(a.FLARESIZE, b.FLARESIZE));
        EXPECT_TRUE(same3(a.AMBIENT, b.AMBIENT) && same3(a.DIFFUSE, b.DIFFUSE) &&
                    same3(a.SPECULAR, b.SPECULAR));
        EXPECT_EQ(!!a.TEXTURED, !!b.TEXTURED);
        EXPECT_EQ(!!a.ENVMAP, !!b.ENVMAP);
        EXPECT_EQ(!!a.RECEIVELIGHT, !!b.RECEIVELIGHT);
        EXPECT_EQ(a.SHINE, b.SHINE);
        EXPECT_EQ(a.MAGTYPE, b.MAGTYPE);
        EXPECT_EQ(a.DEPTHTEST, b.DEPTHTEST);
        EXPECT_EQ(a.TEXTUREWRAP, b.TEXTUREWRAP);
    }
    EXPECT_EQ(dst.material(0).BLEND, 0);  // derived: opaque 24-bit
    EXPECT_EQ(dst.material(2).BLEND, 2);  // derived: 32-bit
    for (int i = 0; i < 4; ++i) {
        const KST_OBJECT& a = src.object(i);
        const KST_OBJECT& b = dst.object(i);
        SCOPED_TRACE(objs[i]);
        EXPECT_EQ(a.MATERIAL, b.MATERIAL);
        EXPECT_EQ(a.RENDERMODE, b.RENDERMODE);
        EXPECT_EQ(!!a.VISIBLE, !!b.VISIBLE);
        EXPECT_EQ(!!a.BACKFACECULL, !!b.BACKFACECULL);
        EXPECT_EQ(!!a.PARTICLE.ENABLED, !!b.PARTICLE.ENABLED);
        EXPECT_EQ(a.PARTICLE.COLORATTRIB, b.PARTICLE.COLORATTRIB);
        EXPECT_EQ(a.PARTICLE.NEWPARTICLE, b.PARTICLE.NEWPARTICLE);
        EXPECT_TRUE(kst_name_equals(b.PARTICLE.TEXTURENAME, kst_name_get(a.PARTICLE.TEXTURENAME)));
        EXPECT_TRUE(samev(a.PARTICLE.DELTAVECTOR, b.PARTICLE.DELTAVECTOR) &&
                    samev(a.PARTICLE.DELTAVECTORSPREAD, b.PARTICLE.DELTAVECTORSPREAD) &&
                    same3(a.PARTICLE.COLOR, b.PARTICLE.COLOR) &&
                    same3(a.PARTICLE.COLORSPREAD, b.PARTICLE.COLORSPREAD));
        EXPECT_TRUE(same(a.PARTICLE.POWER, b.PARTICLE.POWER) &&
                    same(a.PARTICLE.DELTAPOWER, b.PARTICLE.DELTAPOWER) &&
                    same(a.PARTICLE.SIZE, b.PARTICLE.SIZE));
    }
    EXPECT_EQ(dst.object(0).PASSNO, 0);  // wood: opaque
    EXPECT_EQ(dst.object(1).PASSNO, 1);  // glass: 24-bit, transparent
    EXPECT_EQ(dst.object(2).PASSNO, 2);  // chrome: 32-bit
    EXPECT_EQ(dst.scene.MAXPASS, 2);
    for (int i = 0; i < 2; ++i) {  // the named lights
        const KST_LIGHT& a = src.scene.LIGHT[i];
        const KST_LIGHT& b = dst.scene.LIGHT[i];
        EXPECT_EQ(!!a.ENABLED, !!b.ENABLED);
        EXPECT_TRUE(samev(a.POS, b.POS) && same3(a.AMBIENT, b.AMBIENT) &&
                    same3(a.DIFFUSE, b.DIFFUSE) && same3(a.SPECULAR, b.SPECULAR));
    }
    // A second write of what was read gives the same file.
    std::string again = test_temp_dir("config_roundtrip") + "/again.cfg";
    CONFIG_WRITE(dst.scene, again);
    std::string first = read_file(path);
    std::string second = read_file(again);
    EXPECT_EQ(first.substr(0, first.find("light()")), second.substr(0, second.find("light()")));
}

TEST(ConfigWriter, FilesAreReplacedWholeOrNotAtAll)
{
    config_test_scene t({"wood"}, {"ship"});
    std::string dir = test_temp_dir("config_files");
    write_file(dir + "/old.cfg", "previous");
    CONFIG_WRITE(t.scene, dir + "/old.cfg");
    EXPECT_EQ(read_file(dir + "/old.cfg"), config_write_text(t.scene));
    EXPECT_THROW(CONFIG_WRITE(t.scene, dir + "/nosuch/out.cfg"), fatal_error);
    EXPECT_THROW(CONFIG_GEOMETRYDUMP(t.scene, dir + "/nosuch/geo"), fatal_error);
}

TEST(ConfigWriter, GeometryDump)
{
    config_test_scene t({}, {"box", "tri"});
    t.object(1).VERTICES = 1;
    t.object(1).FACES = 0;
    std::string base = test_temp_dir("config_geodump") + "/geo";
    CONFIG_GEOMETRYDUMP(t.scene, base);
    EXPECT_EQ(read_file(base + "v"),
              "box\n \n"
              "0 1.0000 0.0000 -0.5000\n"
              "1 0.0000 1.0000 0.0000\n"
              "2 -1.0000 0.0000 2.2500\n"
              "3 0.0000 -1.0000 0.3333\n"
              "tri\n \n"
              "0 1.0000 0.0000 -0.5000\n");
    EXPECT_EQ(read_file(base + "f"),
              "box\n \n"
              "0 0 1 2\n"
              "1 2 3 0\n"
              "tri\n \n");

    config_test_scene empty({}, {});
    CONFIG_GEOMETRYDUMP(empty.scene, base);
    EXPECT_EQ(read_file(base + "v"), "");
    EXPECT_EQ(read_file(base + "f"), "");
}
