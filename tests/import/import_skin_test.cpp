// Tests of skinned and morphed models: the poses the engine computes from an
// imported scene against poses evaluated here, independently, from what
// assimp reads out of the model file (node keys, bone offsets and weights,
// morph targets and weight keys), at frames that fall on the files' keys so
// that no interpolation is needed on this side; the clip choice and listing;
// the scene file's new chunks through the writer, the loader and its checks;
// the renderer's buffers and shadow data following the pose; and export.
#include <gtest/gtest.h>

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <nlohmann/json.hpp>

#include "engine/import/import.h"
#include "engine/render/draw.h"
#include "engine/render/geometry.h"
#include "engine/render/passes.h"
#include "engine/render/shadows.h"
#include "engine/scene/loader.h"
#include "engine/scene/prepare.h"
#include "engine/scene/skin.h"
#include "engine/scene/writer.h"
#include "gl_fixture.h"
#include "process.h"
#include "support/error.h"

namespace {

const std::string models = "/usr/share/assimp/models/";
const std::string shared_models = "/work/shared/models/";
const std::string simple_skin = models + "glTF2/simple_skin/simple_skin.gltf";
const std::string morph_cube = models + "glTF2/glTF-Sample-Models/AnimatedMorphCube-glTF/AnimatedMorphCube.gltf";
const std::string fbx_skeleton = models + "FBX/animation_with_skeleton.fbx";

program_result import(const std::string& model, const std::string& out, const std::vector<std::string>& extra = {})
{
    std::vector<std::string> args{"import", model, "-o", out, "--json"};
    args.insert(args.end(), extra.begin(), extra.end());
    return run_program(kestrel_path(), args);
}

// --- the file's own pose, evaluated here ----------------------------------------
// The value of a track at `ticks`: the key at that time (the test only asks
// for times on keys), the last key after the end, the only key of a
// one-key track. nullptr when no key lies there.
template <class Key>
const Key* key_at(const Key* keys, unsigned n, double ticks)
{
    if (n == 0)
        return nullptr;
    if (n == 1 || ticks >= keys[n - 1].mTime)
        return &keys[n - 1];
    for (unsigned i = 0; i < n; ++i)
        if (std::fabs(keys[i].mTime - ticks) < 1e-3 * std::max(1.0, std::fabs(ticks)))
            return &keys[i];
    return nullptr;
}

struct file_pose {
    const aiScene*                     ai;
    const aiAnimation*                 anim;   // the clip, or none
    std::map<std::string, aiMatrix4x4> global;
    bool                               on_keys = true;
    std::set<std::string>              meshed;   // names whose global is a mesh node's
};

aiMatrix4x4 file_local(file_pose& p, const aiNode* node, double seconds)
{
    aiMatrix4x4 local = node->mTransformation;
    if (!p.anim)
        return local;
    for (unsigned c = 0; c < p.anim->mNumChannels; ++c) {
        const aiNodeAnim* ch = p.anim->mChannels[c];
        if (ch->mNodeName != node->mName)
            continue;
        double ticks = seconds * (p.anim->mTicksPerSecond > 0 ? p.anim->mTicksPerSecond : 25.0);
        aiVector3D s, t;
        aiQuaternion r;
        local.Decompose(s, r, t);
        const aiVectorKey* pk = key_at(ch->mPositionKeys, ch->mNumPositionKeys, ticks);
        const aiQuatKey* rk = key_at(ch->mRotationKeys, ch->mNumRotationKeys, ticks);
        const aiVectorKey* sk = key_at(ch->mScalingKeys, ch->mNumScalingKeys, ticks);
        if ((ch->mNumPositionKeys && !pk) || (ch->mNumRotationKeys && !rk) || (ch->mNumScalingKeys && !sk))
            p.on_keys = false;
        return aiMatrix4x4(sk ? sk->mValue : s, rk ? rk->mValue : r, pk ? pk->mValue : t);
    }
    return local;
}

// Quarter turn about X: the file's Y-up world into the engine's Z-up world.
aiMatrix4x4 engine_axis()
{
    return aiMatrix4x4(1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1);
}

void file_globals(file_pose& p, const aiNode* node, const aiMatrix4x4& parent, double seconds)
{
    aiMatrix4x4 g = parent * file_local(p, node, seconds);
    // a bone names a joint; a mesh node may share its name (the robot's
    // "Foot.L" mesh beside its "Foot.L" bone): the joint has no meshes
    auto [it, added] = p.global.emplace(node->mName.C_Str(), g);
    if (!added && node->mNumMeshes == 0 && p.meshed.count(node->mName.C_Str()))
        it->second = g;
    if (added && node->mNumMeshes > 0)
        p.meshed.insert(node->mName.C_Str());
    else if (node->mNumMeshes == 0)
        p.meshed.erase(node->mName.C_Str());
    for (unsigned i = 0; i < node->mNumChildren; ++i)
        file_globals(p, node->mChildren[i], g, seconds);
}

const aiNode* mesh_node(const aiNode* node, unsigned mesh)
{
    for (unsigned i = 0; i < node->mNumMeshes; ++i)
        if (node->mMeshes[i] == mesh)
            return node;
    for (unsigned i = 0; i < node->mNumChildren; ++i)
        if (const aiNode* n = mesh_node(node->mChildren[i], mesh))
            return n;
    return nullptr;
}

// World position of every vertex of mesh `m` at `seconds` as the file
// defines it: the four largest weights renormalised, the bones' global
// matrices times their offsets; or, unskinned, the node's own matrix after
// the morph targets at the clip's weights.
std::vector<aiVector3D> file_vertices(const aiScene& ai, const aiAnimation* anim, unsigned m, double seconds,
                                      bool& on_keys)
{
    file_pose p{&ai, anim, {}, true, {}};
    file_globals(p, ai.mRootNode, engine_axis(), seconds);
    on_keys = on_keys && p.on_keys;
    const aiMesh& mesh = *ai.mMeshes[m];
    std::vector<aiVector3D> base(mesh.mVertices, mesh.mVertices + mesh.mNumVertices);
    if (anim)
        for (unsigned c = 0; c < anim->mNumMorphMeshChannels; ++c) {
            const aiMeshMorphAnim* ch = anim->mMorphMeshChannels[c];
            double ticks = seconds * anim->mTicksPerSecond;
            const aiMeshMorphKey* k = key_at(ch->mKeys, ch->mNumKeys, ticks);
            if (!k) {
                on_keys = false;
                continue;
            }
            for (unsigned z = 0; z < k->mNumValuesAndWeights; ++z) {
                const aiAnimMesh* t = mesh.mAnimMeshes[k->mValues[z]];
                for (unsigned v = 0; v < mesh.mNumVertices; ++v)
                    base[v] += (t->mVertices[v] - mesh.mVertices[v]) * static_cast<float>(k->mWeights[z]);
            }
        }
    std::vector<aiVector3D> out(mesh.mNumVertices);
    if (!mesh.HasBones()) {
        aiMatrix4x4 g = p.global.at(mesh_node(ai.mRootNode, m)->mName.C_Str());
        for (unsigned v = 0; v < mesh.mNumVertices; ++v)
            out[v] = g * base[v];
        return out;
    }
    std::vector<std::vector<std::pair<float, unsigned>>> w(mesh.mNumVertices);
    for (unsigned b = 0; b < mesh.mNumBones; ++b)
        for (unsigned k = 0; k < mesh.mBones[b]->mNumWeights; ++k)
            w[mesh.mBones[b]->mWeights[k].mVertexId].push_back({mesh.mBones[b]->mWeights[k].mWeight, b});
    for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
        auto& list = w[v];
        std::sort(list.begin(), list.end(), std::greater<>());
        list.resize(std::min<size_t>(list.size(), 4));
        float total = 0;
        for (auto& x : list)
            total += x.first;
        aiVector3D sum(0, 0, 0);
        for (auto& [weight, b] : list) {
            const aiBone* bone = mesh.mBones[b];
            sum += (p.global.at(bone->mName.C_Str()) * bone->mOffsetMatrix * base[v]) * (weight / total);
        }
        out[v] = sum;
    }
    return out;
}

// The scene's objects posed at `frame` by the engine, all vertices in one list.
std::vector<KST_VECTOR> engine_vertices(const KST_SCENE& scene, float frame)
{
    std::vector<KST_VECTOR> out;
    for (int32_t i = 0; i < scene.OBJECTS; ++i) {
        const KST_OBJECT& o = scene.OBJ[i];
        std::vector<KST_VECTOR> v(static_cast<size_t>(o.VERTICES));
        kst_skin_compute(o, kst_skin_rest_vertex(o), nullptr, frame, v.data(), nullptr);
        out.insert(out.end(), v.begin(), v.end());
    }
    return out;
}

float distance(const KST_VECTOR& a, const aiVector3D& b)
{
    return std::sqrt((a.X - b.x) * (a.X - b.x) + (a.Y - b.y) * (a.Y - b.y) + (a.Z - b.z) * (a.Z - b.z));
}

// Every vertex the file poses at `frame` (all meshes) has an engine vertex
// within `tolerance`, and the other way round; returns the largest miss.
float pose_miss(const KST_SCENE& scene, const aiScene& ai, const aiAnimation* anim, float fps, int frame,
                bool& on_keys)
{
    std::vector<aiVector3D> want;
    for (unsigned m = 0; m < ai.mNumMeshes; ++m) {
        auto v = file_vertices(ai, anim, m, frame / static_cast<double>(fps), on_keys);
        want.insert(want.end(), v.begin(), v.end());
    }
    std::vector<KST_VECTOR> have = engine_vertices(scene, static_cast<float>(frame));
    float worst = 0;
    for (const aiVector3D& w : want) {
        float best = HUGE_VALF;
        for (const KST_VECTOR& h : have)
            best = std::min(best, distance(h, w));
        worst = std::max(worst, best);
    }
    for (const KST_VECTOR& h : have) {
        float best = HUGE_VALF;
        for (const aiVector3D& w : want)
            best = std::min(best, distance(h, w));
        worst = std::max(worst, best);
    }
    return worst;
}

float scene_radius(const KST_SCENE& scene)
{
    float r = 0;
    for (int32_t i = 0; i < scene.OBJECTS; ++i)
        for (int32_t v = 0; v < scene.OBJ[i].VERTICES; ++v) {
            const KST_VECTOR& p = scene.OBJ[i].VERTEX[v];
            r = std::max(r, std::sqrt(p.X * p.X + p.Y * p.Y + p.Z * p.Z));
        }
    return r;
}

// The skin and morph fields and arrays of two objects hold the same bytes.
bool same_skin(const KST_OBJECT& a, const KST_OBJECT& b)
{
    auto same = [](const void* x, const void* y, int64_t n, size_t width) {
        return (!x && !y) || (x && y && std::memcmp(x, y, static_cast<size_t>(n) * width) == 0);
    };
    return a.JOINTS == b.JOINTS && a.MORPHS == b.MORPHS && a.SKINFRAMES == b.SKINFRAMES &&
           same(a.SKINJOINT, b.SKINJOINT, a.JOINTS ? a.VERTICES : 0, sizeof(KST_JOINTSET)) &&
           same(a.SKINWEIGHT, b.SKINWEIGHT, a.JOINTS ? a.VERTICES : 0, sizeof(KST_WEIGHTSET)) &&
           same(a.JOINTBIND, b.JOINTBIND, a.JOINTS, sizeof(KST_MATRIX)) &&
           same(a.JOINTMATRIX, b.JOINTMATRIX, int64_t(a.JOINTS) * a.SKINFRAMES, sizeof(KST_MATRIX)) &&
           same(a.MORPHVERTEX, b.MORPHVERTEX, int64_t(a.MORPHS) * a.VERTICES, sizeof(KST_VECTOR)) &&
           same(a.MORPHNORMAL, b.MORPHNORMAL, int64_t(a.MORPHS) * a.VERTICES, sizeof(KST_VECTOR)) &&
           same(a.MORPHWEIGHT, b.MORPHWEIGHT, int64_t(a.MORPHS) * a.SKINFRAMES, sizeof(float));
}

struct loaded {
    KST_SCENE scene{};
    loaded(const std::string& file) { KST_SCENE_LOAD(scene, file); }
    ~loaded() { KST_SCENE_FREE(scene); }
};

// Imports `model` at `fps` (clip `clip`, "" for the default) and checks the
// engine's pose against the file's at every frame that lies on the file's keys.
void check_poses(const std::string& model, float fps, const std::string& clip, unsigned clip_index,
                 int expect_skinned, int min_frames_checked)
{
    SCOPED_TRACE(model);
    std::string dir = test_temp_dir("skin-pose");
    std::vector<std::string> extra{"--fps", std::to_string(fps)};
    if (!clip.empty())
        extra.insert(extra.end(), {"--clip", clip});
    program_result r = import(model, dir + "/m.kst", extra);
    ASSERT_EQ(r.status, 0) << r.err;
    auto summary = nlohmann::json::parse(r.out);
    EXPECT_EQ(summary["skinned"], expect_skinned);
    Assimp::Importer imp;
    const aiScene* ai = imp.ReadFile(model, kst_import_assimp_flags());
    ASSERT_NE(ai, nullptr);
    const aiAnimation* anim = ai->mNumAnimations ? ai->mAnimations[clip_index] : nullptr;
    loaded l(dir + "/m.kst");
    float tolerance = 1e-4f * scene_radius(l.scene) + 1e-5f;
    int checked = 0;
    for (int frame = 0; frame <= l.scene.FRAMES; ++frame) {
        bool on_keys = true;
        float miss = pose_miss(l.scene, *ai, anim, fps, frame, on_keys);
        if (!on_keys)
            continue;
        EXPECT_LE(miss, tolerance) << "frame " << frame;
        ++checked;
    }
    EXPECT_GE(checked, min_frames_checked);
}

}  // namespace

// Skinned models: every vertex at every frame on the files' keys where the
// file's own bones put it (glTF simple_skin, the Fox's three clips, the
// robot, and an FBX skeleton); and the pose really moves.
TEST(ImportSkin, PosesMatchTheFile)
{
    check_poses(simple_skin, 2.0f, "", 0, 1, 11);
    check_poses(shared_models + "Fox.glb", 24.0f, "", 0, 1, 80);
    check_poses(shared_models + "Fox.glb", 24.0f, "Walk", 1, 1, 17);
    check_poses(shared_models + "Fox.glb", 24.0f, "2", 2, 1, 15);
    check_poses(fbx_skeleton, 24.0f, "", 0, 1, 2);
    check_poses(morph_cube, 30.0f, "", 0, 1, 100);
}

TEST(ImportSkin, RobotPoses)
{
    Assimp::Importer imp;
    const aiScene* ai = imp.ReadFile(shared_models + "robot.glb", 0);
    ASSERT_NE(ai, nullptr);
    check_poses(shared_models + "robot.glb", 24.0f, "", 0, static_cast<int>(ai->mNumMeshes), 1);
}

// The pose changes with the frame (so the checks above are not of a still model).
TEST(ImportSkin, PoseMoves)
{
    std::string dir = test_temp_dir("skin-moves");
    ASSERT_EQ(import(shared_models + "Fox.glb", dir + "/fox.kst", {"--clip", "Walk"}).status, 0);
    loaded l(dir + "/fox.kst");
    auto a = engine_vertices(l.scene, 0.0f), b = engine_vertices(l.scene, 10.0f);
    float most = 0;
    for (size_t i = 0; i < a.size(); ++i)
        most = std::max(most, distance(a[i], aiVector3D(b[i].X, b[i].Y, b[i].Z)));
    EXPECT_GT(most, 0.05f * scene_radius(l.scene));
}

// Clips: listed with their lengths, chosen by name or index, the first by
// default; a clip the file does not have is refused naming the file's clips.
TEST(ImportSkin, Clips)
{
    std::string dir = test_temp_dir("skin-clips");
    program_result r = import(shared_models + "Fox.glb", dir + "/a.kst", {"--fps", "24"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto j = nlohmann::json::parse(r.out);
    ASSERT_EQ(j["clips"].size(), 3u);
    Assimp::Importer imp;
    const aiScene* ai = imp.ReadFile(shared_models + "Fox.glb", 0);
    for (unsigned a = 0; a < 3; ++a) {
        EXPECT_EQ(j["clips"][a]["name"], ai->mAnimations[a]->mName.C_Str());
        double seconds = ai->mAnimations[a]->mDuration / ai->mAnimations[a]->mTicksPerSecond;
        EXPECT_EQ(j["clips"][a]["frames"], std::lround(seconds * 24));
    }
    EXPECT_EQ(j["frames"], j["clips"][0]["frames"]);
    r = import(shared_models + "Fox.glb", dir + "/b.kst", {"--fps", "24", "--clip", "Run"});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(nlohmann::json::parse(r.out)["frames"], j["clips"][2]["frames"]);
    r = import(shared_models + "Fox.glb", dir + "/c.kst", {"--clip", "1"});
    ASSERT_EQ(r.status, 0);
    r = run_program(kestrel_path(), {"import", shared_models + "Fox.glb", "-o", dir + "/d.kst", "--clip", "Dance"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("\"Dance\""), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\"Survey\", \"Walk\", \"Run\""), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir + "/d.kst"));
    r = run_program(kestrel_path(), {"import", shared_models + "teapot.stl", "-o", dir + "/t.kst", "--clip", "0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("has no animations"), std::string::npos) << r.err;
    r = run_program(kestrel_path(), {"import", shared_models + "Fox.glb", "-o", dir + "/e.kst"});
    EXPECT_NE(r.out.find("clips 3\nskinned 1\n"), std::string::npos) << r.out;
}

// The new chunks survive the writer and the loader unchanged, a posed scene
// still writes its rest shape, kestrel info names them, and the loader
// refuses skins that would make the pose read outside an array.
TEST(ImportSkin, SceneFileChunks)
{
    std::string dir = test_temp_dir("skin-chunks");
    ASSERT_EQ(import(shared_models + "Fox.glb", dir + "/fox.kst").status, 0);
    ASSERT_EQ(import(morph_cube, dir + "/cube.kst").status, 0);
    for (const char* name : {"fox", "cube"}) {
        std::string file = dir + "/" + name + ".kst";
        std::string bytes = read_file(file);
        loaded l(file);
        EXPECT_EQ(kst_scene_save_bytes(l.scene), bytes);
        ASSERT_TRUE(kst_skin_pose(l.scene.OBJ[0], 7.5f));
        EXPECT_EQ(kst_scene_save_bytes(l.scene), bytes) << "a pose was written";
        program_result info = run_program(kestrel_path(), {"info", file});
        EXPECT_NE(info.out.find("OBJ[0].SKINFRAMES"), std::string::npos);
        EXPECT_EQ(info.out.find("unknown"), std::string::npos);
    }
    program_result info = run_program(kestrel_path(), {"info", dir + "/fox.kst"});
    for (const char* f : {"JOINTS", "SKINJOINT", "SKINWEIGHT", "JOINTBIND", "JOINTMATRIX"})
        EXPECT_NE(info.out.find(std::string("OBJ[0].") + f), std::string::npos) << f;
    info = run_program(kestrel_path(), {"info", dir + "/cube.kst"});
    for (const char* f : {"MORPHS", "MORPHVERTEX", "MORPHNORMAL", "MORPHWEIGHT"})
        EXPECT_NE(info.out.find(std::string("OBJ[0].") + f), std::string::npos) << f;
    // the configuration file holds no skin, and applying one keeps it; resave keeps it too
    ASSERT_EQ(run_program(kestrel_path(), {"config", "write", dir + "/fox.kst", dir + "/fox.cfg"}).status, 0);
    ASSERT_EQ(run_program(kestrel_path(), {"config", "apply", dir + "/fox.kst", dir + "/fox.cfg", "-o", dir + "/cfg.kst"})
                  .status, 0);
    ASSERT_EQ(run_program(kestrel_path(), {"resave", dir + "/cube.kst", dir + "/resaved.kst"}).status, 0);
    {
        loaded fox(dir + "/fox.kst"), applied(dir + "/cfg.kst"), cube(dir + "/cube.kst"), resaved(dir + "/resaved.kst");
        EXPECT_TRUE(same_skin(applied.scene.OBJ[0], fox.scene.OBJ[0]));
        EXPECT_TRUE(same_skin(resaved.scene.OBJ[0], cube.scene.OBJ[0]));
    }
    program_result dump = run_program(kestrel_path(), {"dump", dir + "/fox.kst"});
    ASSERT_EQ(dump.status, 0);
    auto obj = nlohmann::json::parse(dump.out)["OBJ"][0];
    EXPECT_EQ(obj["JOINTBIND"].size(), static_cast<size_t>(obj["JOINTS"]));
    EXPECT_EQ(obj["JOINTMATRIX"].size(), static_cast<size_t>(obj["JOINTS"]) * static_cast<size_t>(obj["SKINFRAMES"]));
    EXPECT_EQ(obj["SKINWEIGHT"].size(), static_cast<size_t>(obj["VERTICES"]));

    // A broken skin: a joint index past the joints, then too few joint matrices.
    loaded l(dir + "/fox.kst");
    l.scene.OBJ[0].SKINJOINT[5].C = l.scene.OBJ[0].JOINTS;
    std::string broken = kst_scene_save_bytes(l.scene);
    KST_SCENE s{};
    try {
        kst_scene_load_bytes(s, reinterpret_cast<const uint8_t*>(broken.data()), broken.size(), "broken.kst");
        ADD_FAILURE() << "a joint index outside the joints loaded";
    } catch (const fatal_error& e) {
        EXPECT_NE(std::string(e.what()).find("SKINJOINT of vertex 5"), std::string::npos) << e.what();
    }
    l.scene.OBJ[0].SKINJOINT[5].C = 0;
    l.scene.OBJ[0].SKINFRAMES -= 1;
    broken = kst_scene_save_bytes(l.scene);
    l.scene.OBJ[0].SKINFRAMES += 1;
    size_t at = 0;   // the SKINFRAMES chunk (stored raw) says one frame more than the matrices hold
    while ((at = broken.find("F!", at)) != std::string::npos &&
           !(broken[at + 2] == 3 && static_cast<uint8_t>(broken[at + 3]) == 107))
        at += 2;
    ASSERT_NE(at, std::string::npos);
    std::memcpy(broken.data() + at + 20, &l.scene.OBJ[0].SKINFRAMES, 4);
    try {
        kst_scene_load_bytes(s, reinterpret_cast<const uint8_t*>(broken.data()), broken.size(), "short.kst");
        ADD_FAILURE() << "too few joint matrices loaded";
    } catch (const fatal_error& e) {
        EXPECT_NE(std::string(e.what()).find("JOINTMATRIX holds"), std::string::npos) << e.what();
    }
}

// The renderer poses the object as it draws: the buffer object holds the
// posed vertices, the face normals (and so the shadow volumes) follow, and
// the picture changes between frames.
class ImportSkinRender : public gl_test {};

TEST_F(ImportSkinRender, BuffersShadowsAndPicturesFollowThePose)
{
    std::string dir = test_temp_dir("skin-render");
    ASSERT_EQ(import(shared_models + "Fox.glb", dir + "/fox.kst", {"--clip", "Walk"}).status, 0);
    loaded l(dir + "/fox.kst");
    KST_SCENE& s = l.scene;
    const KST_OBJECT& o = s.OBJ[0];
    std::vector<KST_VECTOR> want(static_cast<size_t>(o.VERTICES)), normals(want.size());
    kst_skin_compute(o, o.VERTEX, o.VERTEXNORMAL, 12.0f, want.data(), normals.data());
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    KST_DRAW_OBJECT(s, 0, 12.0f);
    for (size_t v = 0; v < want.size(); ++v)
        ASSERT_EQ(std::memcmp(&o.VERTEX[v], &want[v], sizeof(KST_VECTOR)), 0) << v;
    const kst_gpu_object* g = kst_geometry_for(s, 0);
    if (g) {
        std::vector<KST_VECTOR> in_buffer(want.size());
        glBindBuffer(GL_ARRAY_BUFFER, g->array);
        glGetBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(want.size() * sizeof(KST_VECTOR)),
                           in_buffer.data());
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        EXPECT_EQ(std::memcmp(in_buffer.data(), want.data(), want.size() * sizeof(KST_VECTOR)), 0);
    }
    // the shadow pass poses the casters itself: face normals of frame 20
    KST_VECTOR light{0, 0, 1000};
    KST_SHADOW_RENDER(s, light, 20.0f);
    kst_skin_compute(o, kst_skin_rest_vertex(o), nullptr, 20.0f, want.data(), nullptr);
    for (int32_t f = 0; f < o.FACES; ++f) {
        const KST_FACE& face = o.FACE[f];
        KST_VECTOR a = want[face.A], b = want[face.B], c = want[face.C];
        float ux = a.X - b.X, uy = a.Y - b.Y, uz = a.Z - b.Z, vx = c.X - b.X, vy = c.Y - b.Y, vz = c.Z - b.Z;
        float nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
        float len = std::sqrt(nx * nx + ny * ny + nz * nz);
        if (len < 1e-6f)
            continue;
        EXPECT_NEAR(o.FACENORMAL[f].X, nx / len, 1e-3) << f;
        EXPECT_NEAR(o.FACENORMAL[f].Z, nz / len, 1e-3) << f;
    }
    // pictures of two frames differ
    std::vector<std::string> png;
    for (const char* frame : {"0", "14"}) {
        std::string out = dir + "/f" + frame + ".png";
        program_result r = run_program(kestrel_path(), {"render", dir + "/fox.kst", "--frame", frame, "-o", out});
        ASSERT_EQ(r.status, 0) << r.err;
        png.push_back(read_file(out));
    }
    EXPECT_NE(png[0], png[1]);
}

// The JSON of a .gltf, or of a .glb whose container is whole: a header
// giving the file's length, a JSON chunk and a BIN chunk, each a multiple of
// 4 bytes long, the BIN chunk holding the whole first buffer.
nlohmann::json gltf_json(const std::string& path)
{
    std::string bytes = read_file(path);
    if (path.ends_with(".gltf"))
        return nlohmann::json::parse(bytes);
    auto u32 = [&](size_t at) {
        uint32_t v = 0;
        if (at + 4 <= bytes.size())
            std::memcpy(&v, bytes.data() + at, 4);
        return v;
    };
    EXPECT_EQ(bytes.substr(0, 4), "glTF");
    EXPECT_EQ(u32(4), 2u);
    EXPECT_EQ(u32(8), bytes.size());
    uint32_t json_size = u32(12);
    EXPECT_EQ(json_size % 4, 0u);
    EXPECT_EQ(bytes.substr(16, 4), "JSON");
    size_t bin_at = 20 + json_size;
    uint32_t bin_size = u32(bin_at);
    EXPECT_EQ(bin_size % 4, 0u);
    EXPECT_EQ(bytes.substr(bin_at + 4, 4), std::string("BIN\0", 4));
    EXPECT_EQ(bin_at + 8 + bin_size, bytes.size());
    nlohmann::json g = nlohmann::json::parse(bytes.substr(20, json_size));
    size_t buffer = g["buffers"][0]["byteLength"].get<size_t>();
    EXPECT_TRUE(buffer <= bin_size && buffer + 4 > bin_size) << buffer << " in a chunk of " << bin_size;
    return g;
}

// Export: a skinned glTF comes back from its own export with the same pose at
// every frame (skin, bind matrices and joint tracks written), and the other
// formats get the pose at the frame asked for. Morph targets come back whole:
// their normals, the mesh's default weights and the weight track, which the
// exporter adds to what assimp's glTF writer writes, in .gltf and .glb alike.
TEST(ImportSkin, ExportWritesTheSkinBack)
{
    std::string dir = test_temp_dir("skin-export");
    ASSERT_EQ(import(shared_models + "Fox.glb", dir + "/fox.kst", {"--clip", "Walk"}).status, 0);
    program_result r = run_program(kestrel_path(), {"export", dir + "/fox.kst", dir + "/fox.glb"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = import(dir + "/fox.glb", dir + "/back.kst");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out)["skinned"], 1);
    loaded a(dir + "/fox.kst"), b(dir + "/back.kst");
    ASSERT_EQ(b.scene.FRAMES, a.scene.FRAMES);
    float tolerance = 1e-3f * scene_radius(a.scene);
    for (int frame : {0, 5, 11, a.scene.FRAMES}) {
        auto va = engine_vertices(a.scene, static_cast<float>(frame)), vb = engine_vertices(b.scene, static_cast<float>(frame));
        float worst = 0;
        for (const KST_VECTOR& p : va) {
            float best = HUGE_VALF;
            for (const KST_VECTOR& q : vb)
                best = std::min(best, distance(p, aiVector3D(q.X, q.Y, q.Z)));
            worst = std::max(worst, best);
        }
        EXPECT_LE(worst, tolerance) << "frame " << frame;
    }
    // OBJ holds no skin: the pose at the frame
    r = run_program(kestrel_path(), {"export", dir + "/fox.kst", dir + "/fox9.obj", "--frame", "9"});
    ASSERT_EQ(r.status, 0) << r.err;
    Assimp::Importer imp;
    const aiScene* obj = imp.ReadFile(dir + "/fox9.obj", 0);
    ASSERT_NE(obj, nullptr);
    auto posed = engine_vertices(a.scene, 9.0f);
    float worst = 0;
    for (unsigned m = 0; m < obj->mNumMeshes; ++m)
        for (unsigned v = 0; v < obj->mMeshes[m]->mNumVertices; ++v) {
            aiVector3D p = engine_axis() * obj->mMeshes[m]->mVertices[v];   // OBJ is written Y-up
            float best = HUGE_VALF;
            for (const KST_VECTOR& q : posed)
                best = std::min(best, distance(q, p));
            worst = std::max(worst, best);
        }
    EXPECT_LE(worst, tolerance);
    // morph targets: an import of each export plays the same weights
    ASSERT_EQ(import(morph_cube, dir + "/cube.kst").status, 0);
    loaded c(dir + "/cube.kst");
    const KST_OBJECT& first = c.scene.OBJ[0];
    ASSERT_EQ(first.MORPHS, 2);
    ASSERT_EQ(first.SKINFRAMES, c.scene.FRAMES + 1);
    const int morph_frame = 61;
    for (const char* ext : {".gltf", ".glb"}) {
        SCOPED_TRACE(ext);
        std::string out = dir + "/cube" + ext;
        r = run_program(kestrel_path(), {"export", dir + "/cube.kst", out, "--frame", std::to_string(morph_frame)});
        ASSERT_EQ(r.status, 0) << r.err;
        const aiScene* cube = imp.ReadFile(out, aiProcess_ValidateDataStructure);
        ASSERT_NE(cube, nullptr) << imp.GetErrorString();
        ASSERT_EQ(cube->mMeshes[0]->mNumAnimMeshes, static_cast<unsigned>(first.MORPHS));
        ASSERT_EQ(cube->mNumAnimations, 1u);
        EXPECT_EQ(cube->mAnimations[0]->mNumMorphMeshChannels, 1u);
        // the mesh's default weights are those at the frame; one weight track
        nlohmann::json g = gltf_json(out);
        ASSERT_TRUE(g.contains("meshes") && g["meshes"][0].contains("weights"));
        for (int m = 0; m < first.MORPHS; ++m)
            EXPECT_NEAR(g["meshes"][0]["weights"][m].get<float>(), first.MORPHWEIGHT[morph_frame * first.MORPHS + m],
                        1e-6);
        int weight_channels = 0;
        for (const auto& channel : g["animations"][0]["channels"])
            weight_channels += channel["target"]["path"] == "weights";
        EXPECT_EQ(weight_channels, 1);
        r = import(out, dir + "/cube-back.kst");
        ASSERT_EQ(r.status, 0) << r.err;
        loaded back(dir + "/cube-back.kst");
        const KST_OBJECT& again = back.scene.OBJ[0];
        ASSERT_EQ(again.MORPHS, first.MORPHS);
        ASSERT_EQ(again.SKINFRAMES, first.SKINFRAMES);
        float most = 0;
        for (int frame : {0, 20, 45, 61, 90, 127, first.SKINFRAMES - 1})
            for (int m = 0; m < first.MORPHS; ++m) {
                float want = first.MORPHWEIGHT[frame * first.MORPHS + m];
                most = std::max(most, want);
                EXPECT_NEAR(again.MORPHWEIGHT[frame * again.MORPHS + m], want, 1e-4)
                    << "frame " << frame << " target " << m;
            }
        EXPECT_GT(most, 0.5f);   // the frames checked see the targets at work
        // and the same targets: position and normal offsets
        ASSERT_NE(first.MORPHNORMAL, nullptr);
        ASSERT_NE(again.MORPHNORMAL, nullptr) << "the targets' normals were not written";
        ASSERT_EQ(again.VERTICES, first.VERTICES);
        float moved_most = 0, turned_most = 0, turned = 0;
        for (int64_t i = 0; i < int64_t(first.MORPHS) * first.VERTICES; ++i) {
            const KST_VECTOR &p = first.MORPHVERTEX[i], &q = again.MORPHVERTEX[i];
            const KST_VECTOR &n = first.MORPHNORMAL[i], &m = again.MORPHNORMAL[i];
            moved_most = std::max(moved_most, distance(p, aiVector3D(q.X, q.Y, q.Z)));
            turned_most = std::max(turned_most, distance(n, aiVector3D(m.X, m.Y, m.Z)));
            turned = std::max(turned, distance(n, aiVector3D(0, 0, 0)));
        }
        EXPECT_LE(moved_most, 1e-5f);
        EXPECT_LE(turned_most, 1e-5f);
        EXPECT_GT(turned, 1e-3f);   // the cube's targets do bend its normals
    }
}

// A glTF of the test's own: one triangle about the origin, skinned wholly to
// one joint that stands 10 units along X (inverse bind matrix the identity),
// so the skinned triangle lies about (10, 0, 0), far from its rest shape.
std::string shifted_skin_gltf(const std::string& dir)
{
    const float pos[9] = {-0.5f, 0, 0, 0.5f, 0, 0, 0, 1, 0};
    const uint8_t joints[12] = {0};
    const float weights[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    const float ibm[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::string bin;
    bin.append(reinterpret_cast<const char*>(pos), sizeof pos);
    bin.append(reinterpret_cast<const char*>(joints), sizeof joints);
    bin.append(reinterpret_cast<const char*>(weights), sizeof weights);
    bin.append(reinterpret_cast<const char*>(ibm), sizeof ibm);
    write_file(dir + "/shifted.bin", bin);
    nlohmann::json g = {
        {"asset", {{"version", "2.0"}}},
        {"scene", 0},
        {"scenes", {{{"nodes", {0, 1}}}}},
        {"nodes", {{{"name", "body"}, {"mesh", 0}, {"skin", 0}}, {{"name", "joint"}, {"translation", {10, 0, 0}}}}},
        {"skins", {{{"joints", {1}}, {"inverseBindMatrices", 3}}}},
        {"meshes", {{{"primitives", {{{"attributes", {{"POSITION", 0}, {"JOINTS_0", 1}, {"WEIGHTS_0", 2}}}}}}}}},
        {"buffers", {{{"uri", "shifted.bin"}, {"byteLength", bin.size()}}}},
        {"bufferViews",
         {{{"buffer", 0}, {"byteOffset", 0}, {"byteLength", 36}},
          {{"buffer", 0}, {"byteOffset", 36}, {"byteLength", 12}},
          {{"buffer", 0}, {"byteOffset", 48}, {"byteLength", 48}},
          {{"buffer", 0}, {"byteOffset", 96}, {"byteLength", 64}}}},
        {"accessors",
         {{{"bufferView", 0}, {"componentType", 5126}, {"count", 3}, {"type", "VEC3"},
           {"min", {-0.5, 0, 0}}, {"max", {0.5, 1, 0}}},
          {{"bufferView", 1}, {"componentType", 5121}, {"count", 3}, {"type", "VEC4"}},
          {{"bufferView", 2}, {"componentType", 5126}, {"count", 3}, {"type", "VEC4"}},
          {{"bufferView", 3}, {"componentType", 5126}, {"count", 1}, {"type", "MAT4"}}}}};
    write_file(dir + "/shifted.gltf", g.dump());
    return dir + "/shifted.gltf";
}

// The framing of an imported model covers its poses, not its rest shape:
// every vertex of the dancing robot, posed at every fifth frame, and of a
// triangle whose skin carries it 10 units away from its rest shape, lies
// inside the view of the framed camera.
TEST_F(ImportSkinRender, FramingCoversThePoses)
{
    std::string dir = test_temp_dir("skin-framing");
    for (const std::string& model : {shared_models + "robot.glb", shifted_skin_gltf(dir)}) {
        SCOPED_TRACE(model);
        program_result r = import(model, dir + "/m.kst", {"--camera", "auto"});
        ASSERT_EQ(r.status, 0) << r.err;
        loaded l(dir + "/m.kst");
        for (int frame = 0; frame <= l.scene.FRAMES; frame += 5) {
            kst_scene_camera(l.scene, static_cast<float>(frame));
            GLdouble model_view[16], projection[16];
            GLint view[4];
            glGetDoublev(GL_MODELVIEW_MATRIX, model_view);
            glGetDoublev(GL_PROJECTION_MATRIX, projection);
            glGetIntegerv(GL_VIEWPORT, view);
            for (const KST_VECTOR& v : engine_vertices(l.scene, static_cast<float>(frame))) {
                GLdouble x, y, z;
                ASSERT_TRUE(gluProject(v.X, v.Y, v.Z, model_view, projection, view, &x, &y, &z));
                EXPECT_TRUE(x >= view[0] && x <= view[0] + view[2] && y >= view[1] && y <= view[1] + view[3] &&
                            z > 0 && z < 1)
                    << "frame " << frame << " vertex at (" << v.X << ", " << v.Y << ", " << v.Z << ")";
            }
        }
    }
}
