// tests/mkdata/mkdata_scene_test.cpp - the generated scenes load, fit the timeline and draw.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>

#include "engine/render/particles.h"
#include "engine/render/passes.h"
#include "engine/scene/loader.h"
#include "engine/scene/prepare.h"
#include "engine/scene/textures.h"
#include "engine/textures/texture_manager.h"
#include "gl_fixture.h"
#include "ife/ife.h"
#include "mkdata_fixture.h"
#include "support/error.h"

namespace fs = std::filesystem;

namespace {
// What the timeline asks of each scene: last frame, particle pool (0: the
// shell binds no textures and makes no pool).
struct scene_need {
    int32_t last_frame;
    int32_t pool;
};
const std::map<std::string, scene_need> NEEDS = {
    {"crest", {2000, 0}}, {"part2", {1000, 2000}}, {"hipoly", {1000, 2000}},
    {"earth", {1000, 200}}, {"lepke", {1000, 10}}, {"qorv", {1000, 0}},
};

struct loaded_scene {
    KST_SCENE scene{};
    explicit loaded_scene(const std::string& stem) { KST_SCENE_LOAD(scene, mkdata_shared_dir() + "/" + stem + ".kst"); }
    ~loaded_scene() { KST_SCENE_FREE(scene); }
    loaded_scene(const loaded_scene&) = delete;
    loaded_scene& operator=(const loaded_scene&) = delete;
};

bool texture_file_ok(const std::string& name)
{
    std::error_code ec;
    uintmax_t n = fs::file_size(mkdata_shared_dir() + "/" + mkdata_raw_name(name), ec);
    return !ec && (n == 196608 || n == 262144);
}

// Particles alive at once when the pool never runs dry: each emitter's rate
// times the steps a particle lives.
int64_t particles_needed(const KST_SCENE& s)
{
    int64_t total = 0;
    for (int32_t i = 0; i < s.OBJECTS; ++i) {
        const KST_PARTICLEDATA& p = s.OBJ[i].PARTICLE;
        if (p.ENABLED && p.NEWPARTICLE > 0)
            total += int64_t(p.NEWPARTICLE) * int64_t(std::ceil(p.POWER / p.DELTAPOWER));
    }
    return total;
}
}  // namespace

// Every scene loads and prepares without a report, has a camera over its whole
// frame range, names only textures that exist (or none at all for crest and
// qorv, which get no texture binding), and its emitters fit the shell's pool.
TEST(MkdataScenes, LoadAndFitTheTimeline)
{
    for (const auto& [stem, need] : NEEDS) {
        SCOPED_TRACE(stem);
        error_report_capture reports;
        loaded_scene l(stem);
        const KST_SCENE& s = l.scene;
        EXPECT_TRUE(reports.messages().empty()) << reports.messages().front();
        EXPECT_EQ(kst_name_get(s.NAME), stem);
        ASSERT_GE(s.CAMPOSKEYS, 2);
        ASSERT_GE(s.CAMTARGETKEYS, 2);
        EXPECT_EQ(s.CAMPOSITION[0].KEY, 0);
        EXPECT_EQ(s.CAMTARGET[0].KEY, 0);
        EXPECT_EQ(s.CAMPOSITION[s.CAMPOSKEYS - 1].KEY, need.last_frame);
        EXPECT_EQ(s.CAMTARGET[s.CAMTARGETKEYS - 1].KEY, need.last_frame);
        EXPECT_GE(s.FRAMES, need.last_frame);
        for (int32_t i = 0; i < s.OBJECTS; ++i) {
            const KST_OBJECT& o = s.OBJ[i];
            for (int32_t k = 1; k < o.POSKEYS; ++k)
                EXPECT_LE(o.POSITION[k - 1].KEY, o.POSITION[k].KEY);
            if (o.POSKEYS > 0) {
                EXPECT_LE(o.POSITION[o.POSKEYS - 1].KEY, need.last_frame);
            }
        }
        bool textured = false;
        for (int32_t m = 0; m < s.MATERIALS; ++m) {
            const KST_MATERIAL& mat = s.MATERIAL[m];
            if (mat.TEXTURED) {
                EXPECT_TRUE(texture_file_ok(kst_name_get(mat.TEXTNAME))) << kst_name_get(mat.TEXTNAME);
            }
            if (mat.ENVMAP) {
                EXPECT_TRUE(texture_file_ok(kst_name_get(mat.ENVTEXTNAME))) << kst_name_get(mat.ENVTEXTNAME);
            }
            textured = textured || mat.TEXTURED || mat.ENVMAP;
        }
        for (int32_t i = 0; i < s.OBJECTS; ++i) {
            if (s.OBJ[i].PARTICLE.ENABLED) {
                EXPECT_TRUE(texture_file_ok(kst_name_get(s.OBJ[i].PARTICLE.TEXTURENAME)));
            }
        }
        int64_t needed = particles_needed(s);
        if (need.pool == 0) {
            EXPECT_FALSE(textured) << "the shell binds no textures for " << stem;
            EXPECT_EQ(needed, 0);
        } else {
            EXPECT_TRUE(textured);
            EXPECT_LE(needed, need.pool);
            EXPECT_GE(needed, need.pool / 2) << "emitters far too small for the pool";
        }
    }
}

// The counts the show relies on: qorv's first five objects spin about one
// pivot and its tracks repeat every 1000 frames; hipoly is dense; earth sits
// inside the starfield (x and y within 5000, z within 2000).
TEST(MkdataScenes, CountsAndScale)
{
    {
        loaded_scene l("qorv");
        const KST_SCENE& s = l.scene;
        ASSERT_GE(s.OBJECTS, 5);
        for (int i = 0; i < 5; ++i) {
            EXPECT_GT(s.OBJ[i].FACES, 0);
            EXPECT_NEAR(s.OBJ[i].POS.X, s.OBJ[0].POS.X, 1.0f);
            EXPECT_NEAR(s.OBJ[i].POS.Y, s.OBJ[0].POS.Y, 1.0f);
            EXPECT_NEAR(s.OBJ[i].POS.Z, s.OBJ[0].POS.Z, 1.0f);
        }
        auto loops = [](const KST_KEYVECTOR* k, int32_t n) {
            return n > 0 && k[0].KEY == 0 && k[n - 1].KEY == 1000 && std::fabs(k[0].X - k[n - 1].X) < 1 &&
                   std::fabs(k[0].Y - k[n - 1].Y) < 1 && std::fabs(k[0].Z - k[n - 1].Z) < 1;
        };
        EXPECT_TRUE(loops(s.CAMPOSITION, s.CAMPOSKEYS));
        for (int32_t i = 0; i < s.OBJECTS; ++i) {
            if (s.OBJ[i].POSKEYS > 0) {
                EXPECT_TRUE(loops(s.OBJ[i].POSITION, s.OBJ[i].POSKEYS)) << kst_name_get(s.OBJ[i].NAME);
            }
        }
    }
    {
        loaded_scene l("hipoly");
        EXPECT_GE(kst_scene_total_faces(l.scene), 100000);
    }
    {
        loaded_scene l("earth");
        const KST_SCENE& s = l.scene;
        float reach = 0;
        for (int32_t i = 0; i < s.OBJECTS; ++i)
            for (int32_t v = 0; v < s.OBJ[i].VERTICES; ++v) {
                const KST_VECTOR& p = s.OBJ[i].VERTEX[v];
                reach = std::fmax(reach, std::sqrt(p.X * p.X + p.Y * p.Y + p.Z * p.Z));
            }
        EXPECT_GT(reach, 200.0f);
        EXPECT_LT(reach, 1500.0f);
        for (int32_t k = 0; k < s.CAMPOSKEYS; ++k) {
            const KST_KEYVECTOR& c = s.CAMPOSITION[k];
            EXPECT_LT(std::fabs(c.X), 5000.0f);
            EXPECT_LT(std::fabs(c.Y), 5000.0f);
            EXPECT_LT(std::fabs(c.Z), 2000.0f);
        }
    }
}

// The neighbours the generator stores are the ones the engine's own search
// finds from the faces (checked on the smaller objects: the search is
// quadratic).
TEST(MkdataScenes, StoredNeighboursMatchTheEnginesSearch)
{
    int compared = 0;
    for (const char* stem : {"crest", "lepke", "qorv"}) {
        loaded_scene l(stem);
        for (int32_t i = 0; i < l.scene.OBJECTS; ++i) {
            KST_OBJECT& o = l.scene.OBJ[i];
            if (o.FACES > 4000)
                continue;
            std::vector<KST_FACE> stored(o.NEIGHBOUR, o.NEIGHBOUR + o.FACES);
            KST_CALCNEIGHBOURS(o);
            for (int32_t f = 0; f < o.FACES; ++f) {
                EXPECT_EQ(stored[f].A, o.NEIGHBOUR[f].A) << stem << " " << kst_name_get(o.NAME) << " face " << f;
                EXPECT_EQ(stored[f].B, o.NEIGHBOUR[f].B);
                EXPECT_EQ(stored[f].C, o.NEIGHBOUR[f].C);
            }
            ++compared;
        }
    }
    EXPECT_GE(compared, 10);
}

// Across the six scenes the renderer's features are all in use.
TEST(MkdataScenes, UseWhatTheRendererOffers)
{
    std::map<std::string, int> seen;
    for (const auto& [stem, need] : NEEDS) {
        loaded_scene l(stem);
        const KST_SCENE& s = l.scene;
        int tracked_lights = 0;
        for (const KST_LIGHT& light : s.LIGHT)
            tracked_lights += light.ENABLED && light.POSKEYS > 1;
        seen["scenes with moving lights"] += tracked_lights >= 1;
        for (int32_t i = 0; i < s.OBJECTS; ++i) {
            const KST_OBJECT& o = s.OBJ[i];
            const KST_MATERIAL& m = s.MATERIAL[o.MATERIAL];
            seen["lit"] += m.RECEIVELIGHT;
            seen["unlit vertex colours"] += !m.RECEIVELIGHT && o.COLOR;
            seen["tiled texture"] += m.TEXTURED && (m.UTILE > 1 || m.VTILE > 1);
            seen["scrolling texture"] += m.TEXTURED && (o.UVDELTA.X != 0 || o.UVDELTA.Y != 0);
            seen["added sphere map"] += m.ENVMAP && !m.ENVMODE;
            seen["blended sphere map"] += m.ENVMAP && m.ENVMODE;
            seen["additive later pass"] += m.BLEND == 1 && o.PASSNO > 0;
            seen["alpha later pass"] += m.BLEND == 2 && o.PASSNO > 0;
            seen["alpha test"] += m.ALPHATEST > 0;
            seen["fog"] += o.USEFOG;
            seen["lod"] += o.LOD == 1;
        }
    }
    for (const char* feature : {"lit", "unlit vertex colours", "tiled texture", "scrolling texture", "added sphere map",
                                "blended sphere map", "additive later pass", "alpha later pass", "alpha test", "fog",
                                "lod"})
        EXPECT_GT(seen[feature], 0) << feature;
    EXPECT_GE(seen["scenes with moving lights"], 5);
}

class MkdataSceneDraw : public gl_test {};

// With textures bound and a particle pool as the shell makes them, every scene
// draws a busy picture in the middle of its segment, and no two look alike.
TEST_F(MkdataSceneDraw, EveryScenePaintsADistinctPicture)
{
    TX_INIT();
    std::vector<std::vector<uint8_t>> frames;
    for (const auto& [stem, need] : NEEDS) {
        SCOPED_TRACE(stem);
        loaded_scene l(stem);
        KST_SCENE& s = l.scene;
        if (need.pool > 0) {
            KST_SCENE_TEXTURES(s, mkdata_shared_dir());
            for (int32_t m = 0; m < s.MATERIALS; ++m)
                if (s.MATERIAL[m].TEXTURED) {
                    EXPECT_NE(s.MATERIAL[m].TEXTURE, 0);
                    EXPECT_TRUE(s.MATERIAL[m].TEXTURETYPE == 24 || s.MATERIAL[m].TEXTURETYPE == 32);
                }
            KST_PARTICLES_INIT(s, need.pool);
        }
        float mid = need.last_frame / 2.0f;
        for (int step = 0; step < 12; ++step) {  // a few frames, so the particles are under way
            KST_CLEAR_SCREEN();
            KST_RENDER_SCENE(s, mid - 12 + step);
            if (need.pool > 0)
                KST_PARTICLES_RENDER(s, mid - 12 + step);
        }
        EXPECT_GT(gl_distinct_colours(), 300);
        std::vector<uint8_t> px(640 * 480 * 4);
        glReadPixels(0, 0, 640, 480, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
        frames.push_back(px);
        if (need.pool > 0) {
            KST_PARTICLES_FREE(s);
            KST_SCENE_FREETEXTURES(s);
        }
    }
    for (size_t a = 0; a < frames.size(); ++a)
        for (size_t b = a + 1; b < frames.size(); ++b) {
            size_t differ = 0;
            for (size_t i = 0; i < frames[a].size(); i += 4)
                differ += std::abs(frames[a][i] - frames[b][i]) + std::abs(frames[a][i + 1] - frames[b][i + 1]) +
                              std::abs(frames[a][i + 2] - frames[b][i + 2]) > 60;
            EXPECT_GT(differ, 640u * 480u / 5) << "scenes " << a << " and " << b << " look alike";
        }
}

// Every layer file loads through the interface loader as the shell loads it
// (textures from the data folder), with the layers and keys the file states,
// and shows something during its animation.
TEST_F(MkdataSceneDraw, LayerFilesLoadThroughTheInterfaceLoader)
{
    TX_INIT();
    for (const std::string& stem : MKDATA_LAYER_STEMS) {
        SCOPED_TRACE(stem);
        std::string error;
        mkdata_ife expected = mkdata_read_ife(mkdata_shared_dir() + "/" + stem + ".ife", error);
        ASSERT_EQ(error, "");
        ife_interface f{};
        IFE_LOAD(f, mkdata_shared_dir() + "/" + stem + ".ife", mkdata_shared_dir());
        ASSERT_EQ(f.layercount, int32_t(expected.layers.size()));
        for (int32_t i = 0; i < f.layercount; ++i) {
            EXPECT_NE(f.layers[i].texture, 0u);
            EXPECT_EQ(f.layers[i].keycount, int32_t(expected.layers[i].keys.size()));
            EXPECT_EQ(f.layers[i].blend, expected.layers[i].blend);
        }
        bool drew = false;  // over a grey frame, at some point of the animation
        for (int frame = 0; frame <= 1000 && !drew; frame += 25) {
            glClearColor(0.5f, 0.5f, 0.5f, 1);
            glClear(GL_COLOR_BUFFER_BIT);
            IFE_DRAW(f, float(frame));
            gl_rgba centre = gl_read_pixel(320, 240), corner = gl_read_pixel(620, 20);
            drew = gl_distinct_colours() > 1 || centre.r < 120 || centre.r > 136 || corner.r < 120 || corner.r > 136;
        }
        EXPECT_TRUE(drew) << "the layers never show";
        IFE_FREE(f);
    }
}

// No generated face is a needle (an edge a million times shorter than the
// longest): at sphere poles such faces came out mirrored and spanned a whole
// texture step in no width, which costs llvmpipe's anisotropic filter minutes
// on the rare pixel they cover.
TEST(MkdataScenes, NoNeedleFaces)
{
    for (const std::string& stem : MKDATA_SCENE_STEMS) {
        loaded_scene l(stem);
        const KST_SCENE& s = l.scene;
        int needles = 0;
        for (int32_t i = 0; i < s.OBJECTS; ++i) {
            const KST_OBJECT& o = s.OBJ[i];
            for (int32_t f = 0; f < o.FACES; ++f) {
                const KST_VECTOR& a = o.VERTEX[o.FACE[f].A];
                const KST_VECTOR& b = o.VERTEX[o.FACE[f].B];
                const KST_VECTOR& c = o.VERTEX[o.FACE[f].C];
                auto d2 = [](const KST_VECTOR& p, const KST_VECTOR& q) {
                    double x = p.X - q.X, y = p.Y - q.Y, z = p.Z - q.Z;
                    return x * x + y * y + z * z;
                };
                double e[3] = {d2(a, b), d2(b, c), d2(c, a)};
                double lo = std::min({e[0], e[1], e[2]}), hi = std::max({e[0], e[1], e[2]});
                needles += hi > 0 && lo < hi * 1e-12;
            }
        }
        EXPECT_EQ(needles, 0) << stem;
    }
}
