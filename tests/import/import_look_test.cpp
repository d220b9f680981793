// Tests of how imported models look and are framed: glTF alpha modes and
// opacity checked in rendered pixels against the alpha values written into
// the test's own glTF files, the exporter's alpha mode and single opacity,
// the neutral material and generated normals of a bare STL, glTF light
// intensities, --camera auto, framing over the animation and --up.
#include <gtest/gtest.h>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include "engine/scene/loader.h"
#include "engine/scene/prepare.h"
#include "process.h"
#include "rgb_image.h"

namespace fs = std::filesystem;

namespace {

const std::string models = "/usr/share/assimp/models/";
const std::string shared_models = "/work/shared/models/";

// --- a glTF quad of the test's own --------------------------------------------
// A 2 x 2 quad in the XY plane facing +Z, its left half (u < 0.5) of texture
// alpha `left`, its right half of alpha `right`, seen straight on by the
// file's camera at (0, 0, 3). Unlit (black base colour, white emission), so
// a pixel is its white texel blended over the black background by alpha.
struct quad_file {
    std::string mode = "OPAQUE";
    double      cutoff = -1.0;     // written when >= 0
    double      base_alpha = 1.0;
    bool        textured = true;
    int         left = 77, right = 204;   // alpha bytes
    std::string extra;                    // more top-level members (lights)
    std::string extra_nodes;              // more nodes, after the quad and camera
};

std::string quad_gltf(const std::string& dir, const std::string& name, const quad_file& q)
{
    // Buffer: 4 positions, 4 texture coordinates, 6 indices.
    const float pos[12] = {-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0};
    const float uv[8] = {0, 1, 1, 1, 1, 0, 0, 0};
    const uint16_t idx[6] = {0, 1, 2, 0, 2, 3};
    std::string bin(sizeof pos + sizeof uv + sizeof idx, '\0');
    std::memcpy(bin.data(), pos, sizeof pos);
    std::memcpy(bin.data() + sizeof pos, uv, sizeof uv);
    std::memcpy(bin.data() + sizeof pos + sizeof uv, idx, sizeof idx);
    write_file(dir + "/" + name + ".bin", bin);
    std::vector<uint8_t> rgba(64 * 4 * 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 64; ++x) {
            uint8_t* p = &rgba[(y * 64 + x) * 4];
            p[0] = p[1] = p[2] = 255;
            p[3] = static_cast<uint8_t>(x < 32 ? q.left : q.right);
        }
    stbi_write_png((dir + "/" + name + ".png").c_str(), 64, 4, 4, rgba.data(), 64 * 4);
    nlohmann::json material = {{"name", "quad"},
                               {"pbrMetallicRoughness", {{"baseColorFactor", {0, 0, 0, q.base_alpha}}}},
                               {"emissiveFactor", {1, 1, 1}},
                               {"alphaMode", q.mode}};
    if (q.textured)
        material["pbrMetallicRoughness"]["baseColorTexture"] = {{"index", 0}};
    if (q.cutoff >= 0)
        material["alphaCutoff"] = q.cutoff;
    nlohmann::json g = {
        {"asset", {{"version", "2.0"}}},
        {"scene", 0},
        {"scenes", {{{"nodes", {0, 1}}}}},
        {"nodes", {{{"name", "quad"}, {"mesh", 0}}, {{"name", "eye"}, {"camera", 0}, {"translation", {0, 0, 3}}}}},
        {"cameras", {{{"type", "perspective"},
                      {"perspective", {{"yfov", 0.8}, {"aspectRatio", 4.0 / 3.0}, {"znear", 0.1}, {"zfar", 100}}}}}},
        {"meshes", {{{"primitives", {{{"attributes", {{"POSITION", 0}, {"TEXCOORD_0", 1}}}, {"indices", 2},
                                       {"material", 0}}}}}}},
        {"materials", {material}},
        {"textures", {{{"source", 0}}}},
        {"images", {{{"uri", name + ".png"}}}},
        {"buffers", {{{"uri", name + ".bin"}, {"byteLength", bin.size()}}}},
        {"bufferViews", {{{"buffer", 0}, {"byteOffset", 0}, {"byteLength", 48}},
                         {{"buffer", 0}, {"byteOffset", 48}, {"byteLength", 32}},
                         {{"buffer", 0}, {"byteOffset", 80}, {"byteLength", 12}}}},
        {"accessors", {{{"bufferView", 0}, {"componentType", 5126}, {"count", 4}, {"type", "VEC3"},
                        {"min", {-1, -1, 0}}, {"max", {1, 1, 0}}},
                       {{"bufferView", 1}, {"componentType", 5126}, {"count", 4}, {"type", "VEC2"}},
                       {{"bufferView", 2}, {"componentType", 5123}, {"count", 6}, {"type", "SCALAR"}}}}};
    if (!q.extra.empty()) {
        nlohmann::json more = nlohmann::json::parse(q.extra);
        for (auto& [k, v] : more.items())
            g[k] = v;
    }
    if (!q.extra_nodes.empty())
        for (auto& n : nlohmann::json::parse(q.extra_nodes)) {
            g["scenes"][0]["nodes"].push_back(g["nodes"].size());
            g["nodes"].push_back(n);
        }
    std::string path = dir + "/" + name + ".gltf";
    write_file(path, g.dump());
    return path;
}

// Screen points of the quad's left (u = 1/4) and right (u = 3/4) halves: the
// camera looks at the quad's centre from 3 units, 0.8 radians vertically.
constexpr int left_x = 320 - 94, right_x = 320 + 94, mid_y = 240;

program_result import(const std::string& model, const std::string& out, const std::vector<std::string>& extra = {})
{
    std::vector<std::string> args{"import", model, "-o", out, "--json"};
    args.insert(args.end(), extra.begin(), extra.end());
    return run_program(kestrel_path(), args);
}

// The grey an unlit white material of the scene's first object draws at
// texture coordinate (u, 0.5) over black, from the scene's own data: its
// texture's alpha there (from the .raw file beside the scene) times its
// constant alpha, through its pass: the alpha test passes or hides, blending
// scales, anything else draws white.
double drawn_grey(const std::string& dir, const std::string& scene_name, float u)
{
    KST_SCENE s{};
    KST_SCENE_LOAD(s, dir + "/" + scene_name);
    const KST_OBJECT& o = s.OBJ[0];
    const KST_MATERIAL& m = s.MATERIAL[o.MATERIAL];
    double alpha = m.CONSTANTALPHA;
    if (m.TEXTURED) {
        std::string name = kst_name_get(m.TEXTNAME);
        std::string raw = read_file(dir + "/" + name.substr(0, name.size() - 3) + "raw");
        int channels = raw.size() == 256 * 256 * 4 ? 4 : 3;
        size_t at = (128 * 256 + static_cast<size_t>(u * 256)) * channels;
        if (channels == 4)
            alpha *= static_cast<unsigned char>(raw[at + 3]) / 255.0;
    }
    double grey = 255;
    if (o.PASSNO == 2 && m.ALPHATEST > 0)
        grey = alpha > m.ALPHATEST ? 255 : 0;
    else if (m.BLEND == 2)
        grey = 255 * alpha;
    KST_SCENE_FREE(s);
    return grey;
}

}  // namespace

// Each alpha mode drawn as the file's alpha values say: OPAQUE ignores
// alpha, MASK shows what reaches alphaCutoff (0.5 by default) and hides the
// rest, BLEND blends by the texture's alpha and by the base colour's alpha.
// Exported to glTF, the mode and the cutoff are written, and imported again
// every case draws the same: one opacity goes out, not two or three.
TEST(ImportLook, AlphaModesInPixels)
{
    struct alpha_case {
        const char* name;
        quad_file   q;
        double      left, right;   // expected grey, 0..255
    };
    quad_file opaque, mask, mask25, blend, faded;
    mask.mode = mask25.mode = "MASK";
    mask25.cutoff = 0.25;
    blend.mode = faded.mode = "BLEND";
    faded.textured = false;
    faded.base_alpha = 0.5;
    const alpha_case cases[] = {
        {"opaque", opaque, 255, 255},
        {"mask", mask, 0, 255},
        {"mask25", mask25, 255, 255},
        {"blend", blend, 77, 204},
        {"faded", faded, 127.5, 127.5},
    };
    std::string dir = test_temp_dir("look-alpha");
    for (const alpha_case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string model = quad_gltf(dir, c.name, c.q);
        std::string scene = dir + "/" + c.name + ".kst";
        program_result r = import(model, scene);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(nlohmann::json::parse(r.out)["camera"], "imported");
        rgb_image p = rgb_image_render(scene, dir + "/" + c.name + ".png");
        ASSERT_EQ(p.w, 640);
        EXPECT_NEAR(p.at(left_x, mid_y)[0], c.left, 6);
        EXPECT_NEAR(p.at(right_x, mid_y)[0], c.right, 6);
        EXPECT_EQ(p.at(20, 20)[0], 0) << "background";

        std::string exported = dir + "/" + c.name + "-out.gltf";
        r = run_program(kestrel_path(), {"export", scene, exported});
        ASSERT_EQ(r.status, 0) << r.err;
        nlohmann::json g = nlohmann::json::parse(read_file(exported));
        const nlohmann::json& m = g["materials"][0];
        EXPECT_EQ(m.value("alphaMode", "OPAQUE"), c.q.mode);
        if (c.q.mode == "MASK") {
            EXPECT_NEAR(m.value("alphaCutoff", 0.5), c.q.cutoff >= 0 ? c.q.cutoff : 0.5, 1e-6);
        }
        r = import(exported, dir + "/" + c.name + "-again.kst");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NEAR(drawn_grey(dir, c.name + std::string("-again.kst"), 0.25f), c.left, 6);
        EXPECT_NEAR(drawn_grey(dir, c.name + std::string("-again.kst"), 0.75f), c.right, 6);
    }
}

// A bare STL (no material, every normal zero) gets the neutral grey
// material and normals from its faces: the picture is grey and shaded, not a
// white silhouette, and every normal points out of its face's front.
TEST(ImportLook, BareStlIsGreyAndShaded)
{
    std::string dir = test_temp_dir("look-stl");
    program_result r = import(shared_models + "teapot.stl", dir + "/teapot.kst");
    ASSERT_EQ(r.status, 0) << r.err;
    KST_SCENE s{};
    KST_SCENE_LOAD(s, dir + "/teapot.kst");
    ASSERT_EQ(s.MATERIALS, 1);
    EXPECT_LT(s.MATERIAL[0].DIFFUSE.R, 0.7f);
    EXPECT_GT(s.MATERIAL[0].DIFFUSE.R, 0.3f);
    EXPECT_LT(s.MATERIAL[0].SPECULAR.R, 0.5f);
    int64_t faces = 0, facing = 0;
    for (int32_t i = 0; i < s.OBJECTS; ++i) {
        const KST_OBJECT& o = s.OBJ[i];
        ASSERT_TRUE(o.NORMALS);
        for (int32_t f = 0; f < o.FACES; ++f) {
            const KST_VECTOR &a = o.VERTEX[o.FACE[f].A], &b = o.VERTEX[o.FACE[f].B], &c = o.VERTEX[o.FACE[f].C];
            aiVector3D n = aiVector3D(b.X - a.X, b.Y - a.Y, b.Z - a.Z) ^ aiVector3D(c.X - a.X, c.Y - a.Y, c.Z - a.Z);
            if (n.Length() < 1e-9f)
                continue;
            for (int32_t v : {o.FACE[f].A, o.FACE[f].B, o.FACE[f].C}) {
                const KST_VECTOR& vn = o.VERTEXNORMAL[v];
                EXPECT_NEAR(std::sqrt(vn.X * vn.X + vn.Y * vn.Y + vn.Z * vn.Z), 1.0, 1e-3);
                facing += n * aiVector3D(vn.X, vn.Y, vn.Z) > 0.0f;
                ++faces;
            }
        }
    }
    EXPECT_GT(facing, faces * 95 / 100) << "normals follow the faces";
    KST_SCENE_FREE(s);

    rgb_image p = rgb_image_render(dir + "/teapot.kst", dir + "/teapot.png");
    ASSERT_EQ(p.w, 640);
    double sum = 0, sum2 = 0;
    int64_t lit = 0, white = 0, tinted = 0;
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x) {
            const unsigned char* c = p.at(x, y);
            if (c[0] + c[1] + c[2] <= 6)
                continue;
            ++lit;
            sum += c[0], sum2 += c[0] * c[0];
            white += c[0] > 245 && c[1] > 245 && c[2] > 245;
            tinted += std::abs(c[0] - c[1]) > 2 || std::abs(c[1] - c[2]) > 2;
        }
    ASSERT_GT(lit, 640 * 480 / 20) << "the teapot fills a good part of the frame";
    double mean = sum / lit, spread = std::sqrt(sum2 / lit - mean * mean);
    EXPECT_LT(white, lit / 20) << "not blown out";
    EXPECT_EQ(tinted, 0) << "grey";
    EXPECT_GT(spread, 15.0) << "shaded, not flat";
}

// glTF point lights come in with their intensities' ratio over the squared
// distances (the file's 10 and 40 candela at the same distance: 1 to 4), the
// brighter at 1, and an ambient well below 1.
TEST(ImportLook, GltfLightIntensities)
{
    std::string dir = test_temp_dir("look-lights");
    quad_file q;
    q.extra = R"({"extensionsUsed":["KHR_lights_punctual"],"extensions":{"KHR_lights_punctual":{"lights":[
        {"type":"point","color":[1,0.5,0.5],"intensity":10},{"type":"point","color":[1,1,1],"intensity":40}]}}})";
    q.extra_nodes = R"([{"name":"dim","translation":[0,4,4],"extensions":{"KHR_lights_punctual":{"light":0}}},
                        {"name":"bright","translation":[0,-4,4],"extensions":{"KHR_lights_punctual":{"light":1}}}])";
    program_result r = import(quad_gltf(dir, "lit", q), dir + "/lit.kst");
    ASSERT_EQ(r.status, 0) << r.err;
    KST_SCENE s{};
    KST_SCENE_LOAD(s, dir + "/lit.kst");
    const KST_LIGHT* dim = nullptr;
    const KST_LIGHT* bright = nullptr;
    for (const KST_LIGHT& l : s.LIGHT) {
        if (kst_name_equals(l.NAME, "dim"))
            dim = &l;
        if (kst_name_equals(l.NAME, "bright"))
            bright = &l;
    }
    ASSERT_TRUE(dim && bright);
    EXPECT_NEAR(bright->DIFFUSE.R, 1.0f, 1e-4f);
    EXPECT_NEAR(dim->DIFFUSE.R, 0.25f, 1e-3f);
    EXPECT_NEAR(dim->DIFFUSE.G, 0.125f, 1e-3f);
    for (const KST_LIGHT* l : {dim, bright}) {
        EXPECT_LE(l->AMBIENT.R, 0.2f);
        EXPECT_GT(l->AMBIENT.R, 0.0f);
    }
    KST_SCENE_FREE(s);
}

// --camera auto ignores the file's camera and frames the model; the framing
// covers the model over its whole animation: the box's lid, which rises far
// above the box during the animation, stays in the picture at every frame.
TEST(ImportLook, FramingOverTheAnimation)
{
    std::string dir = test_temp_dir("look-framing");
    program_result r = import(quad_gltf(dir, "quad", quad_file{}), dir + "/auto.kst", {"--camera", "auto"});
    EXPECT_EQ(r.status, 0) << r.err;
    if (r.status == 0) {
        EXPECT_EQ(nlohmann::json::parse(r.out)["camera"], "framed");
    }

    r = import(shared_models + "BoxAnimated.gltf", dir + "/box.kst");
    ASSERT_EQ(r.status, 0) << r.err;
    const int frames = nlohmann::json::parse(r.out)["frames"];
    ASSERT_GT(frames, 10);
    for (int f = 0; f <= frames; f += frames / 6) {
        SCOPED_TRACE(f);
        rgb_image p = rgb_image_render(dir + "/box.kst", dir + "/box.png", f);
        ASSERT_EQ(p.w, 640);
        int x0 = p.w, y0 = p.h, x1 = -1, y1 = -1;
        for (int y = 0; y < p.h; ++y)
            for (int x = 0; x < p.w; ++x) {
                const unsigned char* c = p.at(x, y);
                if (c[0] + c[1] + c[2] > 6)
                    x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
            }
        ASSERT_GE(x1, 0) << "nothing drawn";
        EXPECT_GT(x0, 2);
        EXPECT_GT(y0, 2);
        EXPECT_LT(x1, p.w - 3);
        EXPECT_LT(y1, p.h - 3);
    }
}

// --up z takes an OBJ model as Z-up: its coordinates come in as they are,
// where by default they are turned a quarter about X; --up y turns an STL.
TEST(ImportLook, UpAxis)
{
    std::string dir = test_temp_dir("look-up");
    const std::string model = models + "OBJ/spider.obj";
    Assimp::Importer imp;
    const aiScene* ai = imp.ReadFile(model, 0);
    ASSERT_NE(ai, nullptr);
    aiVector3D lo(1e30f, 1e30f, 1e30f), hi(-1e30f, -1e30f, -1e30f);
    for (unsigned m = 0; m < ai->mNumMeshes; ++m)
        for (unsigned i = 0; i < ai->mMeshes[m]->mNumVertices; ++i) {
            const aiVector3D& v = ai->mMeshes[m]->mVertices[i];
            lo = aiVector3D(std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z));
            hi = aiVector3D(std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z));
        }
    auto bounds = [&](const std::string& scene, aiVector3D& slo, aiVector3D& shi) {
        KST_SCENE s{};
        KST_SCENE_LOAD(s, scene);
        slo = aiVector3D(1e30f, 1e30f, 1e30f), shi = aiVector3D(-1e30f, -1e30f, -1e30f);
        for (int32_t o = 0; o < s.OBJECTS; ++o)
            for (int32_t i = 0; i < s.OBJ[o].VERTICES; ++i) {
                const KST_VECTOR& v = s.OBJ[o].VERTEX[i];
                slo = aiVector3D(std::min(slo.x, v.X), std::min(slo.y, v.Y), std::min(slo.z, v.Z));
                shi = aiVector3D(std::max(shi.x, v.X), std::max(shi.y, v.Y), std::max(shi.z, v.Z));
            }
        KST_SCENE_FREE(s);
    };
    aiVector3D a, b;
    ASSERT_EQ(import(model, dir + "/z.kst", {"--up", "z"}).status, 0);
    bounds(dir + "/z.kst", a, b);
    EXPECT_NEAR(a.z, lo.z, 1e-3f);
    EXPECT_NEAR(b.z, hi.z, 1e-3f);
    EXPECT_NEAR(b.y, hi.y, 1e-3f);
    ASSERT_EQ(import(model, dir + "/y.kst").status, 0);
    bounds(dir + "/y.kst", a, b);
    EXPECT_NEAR(b.z, hi.y, 1e-3f) << "Y-up by default: the file's y is the engine's z";
    EXPECT_NEAR(a.y, -hi.z, 1e-3f);

    ASSERT_EQ(import(shared_models + "teapot.stl", dir + "/t.kst", {"--up", "y"}).status, 0);
    ai = imp.ReadFile(shared_models + "teapot.stl", 0);
    ASSERT_NE(ai, nullptr);
    float top = -1e30f;
    for (unsigned i = 0; i < ai->mMeshes[0]->mNumVertices; ++i)
        top = std::max(top, ai->mMeshes[0]->mVertices[i].y);
    bounds(dir + "/t.kst", a, b);
    EXPECT_NEAR(b.z, top, 1e-3f);
    EXPECT_EQ(run_program(kestrel_path(), {"import", model, "-o", dir + "/x.kst", "--up", "x"}).status, 2);
}
