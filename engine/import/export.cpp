// engine/import/export.cpp - a scene at one frame out through assimp's exporter.
//
// The scene is rebuilt as an assimp scene: one node and one mesh per object
// (vertices as stored, the node placed as the renderer places the object at
// the frame: position track, static rotation, and the rotation and scale
// tracks for scenes that ask for them), its normals, first UV set and vertex
// colours; one material per scene material with its texture converted from
// .raw to PNG (embedded in glTF, written beside OUT for the other formats);
// the camera at the frame as a node looking down its -Z axis; every enabled
// light as a point light. glTF files also get one animation at 40 ticks
// (frames) per second holding the object position tracks (objects whose
// rotation and scale tracks play: their whole transform at every frame) and
// the camera sampled at every frame.
//
// Axes: the engine's world is Z-up, assimp's and glTF's Y-up, so everything
// turns a quarter about X on the way out, the inverse of the importer's turn;
// STL (Z-up by custom, and so read by the importer) is written as it is.
// Re-importing an export therefore gives back the same positions.
//
// Skins and morph targets. Every format gets the shape posed at the frame.
// glTF files get the rest shape instead, with the skin (one joint node per
// joint, flat under the root, its bind matrix as the bone's offset and its
// four weights per vertex) and the joints' sampled matrices as tracks of the
// same animation (decomposed into translation, rotation and scale), and the
// morph targets (as absolute shapes, as assimp holds them) with their weights
// sampled at every frame, so that an import of the file plays them again.
// assimp's glTF writer (5.2) writes the targets' positions but not their
// normals, the meshes' default weights or the weight tracks, so these are
// added to what it wrote: the JSON is read back (nlohmann-json), the data
// are appended to the first buffer (the .bin beside a .gltf, its data: URI,
// or the BIN chunk of a .glb, whose container is then rebuilt), and each
// morphed node gets a "weights" channel with a LINEAR sampler that shares
// the node tracks' key times when they are the same. A weights channel the writer did write is
// left as it is; a file that cannot be read back fails the export.
//
// assimp writes the main file and its side files (.bin, .mtl) itself, so all
// of them are written into a fresh folder next to OUT and renamed into place
// only when everything has been written: a failed export leaves nothing.
#include <assimp/Exporter.hpp>
#include <assimp/GltfMaterial.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>

#include <nlohmann/json.hpp>

#include "engine/import/import_internal.h"
#include "engine/scene/skin.h"
#include "engine/scene/spline.h"
#include "support/atomic_file.h"
#include "support/error.h"

namespace fs = std::filesystem;

namespace {

struct exp_state {
    const KST_SCENE&         scene;
    std::string              out;
    std::string              ext;        // lower case, with the dot
    float                    frame;
    std::string              data_dir;
    bool                     z_up;       // write as stored (STL)
    bool                     gltf;
    fs::path                 work;       // the temporary folder
    std::vector<std::string> warnings;
    std::vector<std::string> node_names; // per object
    std::vector<std::vector<std::string>> joint_names;  // per object, its joint nodes (glTF)
    // The parts of the assimp scene, owned here while they are made and
    // handed to the scene only when all of them exist (exp_attach): a scene
    // whose counts run ahead of its arrays must never be destroyed.
    std::vector<std::unique_ptr<aiTexture>>   textures;
    std::vector<std::unique_ptr<aiMaterial>>  materials;
    std::vector<std::unique_ptr<aiMesh>>      meshes;
    std::vector<std::unique_ptr<aiNode>>      children;
    std::vector<std::unique_ptr<aiCamera>>    cameras;
    std::vector<std::unique_ptr<aiLight>>     lights;
    std::vector<std::unique_ptr<aiAnimation>> animations;
};

// Moves owned parts into an assimp array and its count.
template <class T>
void exp_attach(std::vector<std::unique_ptr<T>>& parts, T**& array, unsigned& count)
{
    if (parts.empty())
        return;
    array = new T*[parts.size()];
    for (size_t i = 0; i < parts.size(); ++i)
        array[i] = parts[i].release();
    count = static_cast<unsigned>(parts.size());
    parts.clear();
}

aiVector3D exp_conv(const exp_state& st, float x, float y, float z)
{
    return st.z_up ? aiVector3D(x, y, z) : aiVector3D(x, z, -y);
}

aiVector3D exp_conv(const exp_state& st, const KST_VECTOR& v)
{
    return exp_conv(st, v.X, v.Y, v.Z);
}

const char* exp_format(const std::string& ext)
{
    if (ext == ".glb") return "glb2";
    if (ext == ".gltf") return "gltf2";
    if (ext == ".obj") return "obj";
    if (ext == ".dae") return "collada";
    if (ext == ".ply") return "ply";
    if (ext == ".stl") return "stl";
    return nullptr;
}

aiString exp_str(const std::string& s)
{
    return aiString(s.substr(0, MAXLEN - 1));
}

bool exp_read(const fs::path& p, std::string& bytes)
{
    std::ifstream in(p, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// The texture manager's file for a texture name: last three characters "raw".
fs::path exp_raw_path(const exp_state& st, const std::string& name)
{
    std::string file = name.size() >= 3 ? name.substr(0, name.size() - 3) + "raw" : "raw";
    return fs::path(st.data_dir) / file;
}

// PNG of a material's texture, or "" (with a warning) when it cannot be read;
// `alpha` tells whether the texture has an alpha channel.
std::string exp_png(exp_state& st, const KST_MATERIAL& m, bool& alpha)
{
    std::string name = kst_name_get(m.TEXTNAME);
    std::string raw;
    if (!exp_read(exp_raw_path(st, name), raw) || (raw.size() != 196608 && raw.size() != 262144)) {
        st.warnings.push_back("texture " + name + " of material " + kst_name_get(m.NAME) +
                              " not found or not a 256 x 256 image; left out");
        return "";
    }
    alpha = raw.size() == 262144;
    return kst_export_png(reinterpret_cast<const uint8_t*>(raw.data()), alpha ? 4 : 3);
}

// Where the material's texture goes: "*N" embedded, or a PNG file beside OUT.
std::string exp_texture_ref(exp_state& st, const KST_MATERIAL& m, size_t index, bool& alpha)
{
    std::string png = exp_png(st, m, alpha);
    if (png.empty())
        return "";
    if (st.gltf) {
        auto t = std::make_unique<aiTexture>();
        t->mWidth = static_cast<unsigned>(png.size());
        t->mHeight = 0;
        std::strcpy(t->achFormatHint, "png");
        t->pcData = new aiTexel[(png.size() + 3) / 4];
        std::memcpy(t->pcData, png.data(), png.size());
        t->mFilename = exp_str("texture" + std::to_string(st.textures.size()) + ".png");
        st.textures.push_back(std::move(t));
        return "*" + std::to_string(st.textures.size() - 1);
    }
    std::string file = fs::path(st.out).stem().string() + "-tex" + std::to_string(index) + ".png";
    atomic_file f((st.work / file).string());
    f.write(png);
    f.commit();
    return file;
}

// glTF's alphaMode of a material as the passes draw it: the alpha test is
// MASK at its value, blending is BLEND, anything else OPAQUE.
const char* exp_alpha_mode(const KST_MATERIAL& m)
{
    if (m.ALPHATEST > 0.0f)
        return "MASK";
    return m.BLEND != 0 ? "BLEND" : "OPAQUE";
}

// The material's own alpha as the renderer draws it: lit surfaces take the
// lighting's alpha, 1, and only an unlit one takes CONSTANTALPHA. It is
// written once: in the base colour for glTF (whose writer would multiply an
// opacity into it again), as the opacity for the others. A texture's alpha
// stays in the texture, where the importer also put the opacity it read.
float exp_alpha(const KST_MATERIAL& m)
{
    return m.RECEIVELIGHT ? 1.0f : std::clamp(m.CONSTANTALPHA, 0.0f, 1.0f);
}

std::unique_ptr<aiMaterial> exp_material(exp_state& st, const KST_MATERIAL& m, size_t index, bool two_sided)
{
    auto a = std::make_unique<aiMaterial>();
    aiString name = exp_str(kst_name_get(m.NAME));
    a->AddProperty(&name, AI_MATKEY_NAME);
    const float alpha = exp_alpha(m);
    aiColor4D d(m.DIFFUSE.R, m.DIFFUSE.G, m.DIFFUSE.B, st.gltf ? alpha : 1.0f);
    aiColor4D amb(m.AMBIENT.R, m.AMBIENT.G, m.AMBIENT.B, 1.0f);
    aiColor4D spec(m.SPECULAR.R, m.SPECULAR.G, m.SPECULAR.B, 1.0f);
    a->AddProperty(&d, 1, AI_MATKEY_COLOR_DIFFUSE);
    a->AddProperty(&d, 1, AI_MATKEY_BASE_COLOR);
    a->AddProperty(&amb, 1, AI_MATKEY_COLOR_AMBIENT);
    a->AddProperty(&spec, 1, AI_MATKEY_COLOR_SPECULAR);
    float shine = static_cast<float>(m.SHINE);
    a->AddProperty(&shine, 1, AI_MATKEY_SHININESS);
    if (!st.gltf) {
        float opacity = alpha;
        a->AddProperty(&opacity, 1, AI_MATKEY_OPACITY);
    }
    aiString mode(exp_alpha_mode(m));
    a->AddProperty(&mode, AI_MATKEY_GLTF_ALPHAMODE);
    float cutoff = m.ALPHATEST > 0.0f ? std::min(m.ALPHATEST, 1.0f) : 0.5f;
    a->AddProperty(&cutoff, 1, AI_MATKEY_GLTF_ALPHACUTOFF);
    int two = two_sided ? 1 : 0;
    a->AddProperty(&two, 1, AI_MATKEY_TWOSIDED);
    if (m.TEXTURED) {
        bool texture_alpha = false;
        std::string ref = exp_texture_ref(st, m, index, texture_alpha);
        if (!ref.empty()) {
            aiString path = exp_str(ref);
            a->AddProperty(&path, AI_MATKEY_TEXTURE_DIFFUSE(0));
            a->AddProperty(&path, AI_MATKEY_TEXTURE(aiTextureType_BASE_COLOR, 0));
        }
    }
    return a;
}

// The shape written: the rest shape for glTF (its skin and targets go with
// it), the pose at the frame for the other formats.
void exp_shape(const exp_state& st, const KST_OBJECT& o, std::vector<KST_VECTOR>& vertex,
               std::vector<KST_VECTOR>& normal)
{
    size_t n = static_cast<size_t>(std::max(o.VERTICES, 0));
    const KST_VECTOR* rest = kst_skin_rest_vertex(o);
    const KST_VECTOR* rest_normal = kst_skin_rest_normal(o);
    vertex.assign(rest, rest + n);
    if (rest_normal)
        normal.assign(rest_normal, rest_normal + n);
    if (!st.gltf && kst_skin_deforms(o))
        kst_skin_compute(o, rest, rest_normal, st.frame, vertex.data(), rest_normal ? normal.data() : nullptr);
}

std::unique_ptr<aiMesh> exp_mesh(const exp_state& st, const KST_OBJECT& o, unsigned material)
{
    std::vector<KST_VECTOR> vertex, normal;
    exp_shape(st, o, vertex, normal);
    auto mesh = std::make_unique<aiMesh>();
    mesh->mName = exp_str(kst_name_get(o.NAME));
    mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
    mesh->mMaterialIndex = material;
    const unsigned n = static_cast<unsigned>(std::max(o.VERTICES, 0));
    mesh->mNumVertices = n;
    mesh->mVertices = new aiVector3D[n];
    if (o.NORMALS && !normal.empty())
        mesh->mNormals = new aiVector3D[n];
    if (o.TEXTURE && o.TEXCOORD) {
        mesh->mTextureCoords[0] = new aiVector3D[n];
        mesh->mNumUVComponents[0] = 2;
    }
    if (o.COLOR && o.CVERTEX)
        mesh->mColors[0] = new aiColor4D[n];
    for (unsigned i = 0; i < n; ++i) {
        mesh->mVertices[i] = exp_conv(st, vertex[i]);
        if (mesh->mNormals)
            mesh->mNormals[i] = exp_conv(st, normal[i]);
        if (mesh->mTextureCoords[0])
            mesh->mTextureCoords[0][i] = aiVector3D(o.TEXCOORD[i].U, o.TEXCOORD[i].V, 0.0f);
        if (mesh->mColors[0])
            mesh->mColors[0][i] = aiColor4D(o.CVERTEX[i].R, o.CVERTEX[i].G, o.CVERTEX[i].B, 1.0f);
    }
    // Faces pointing outside the vertex array are left out.
    std::vector<KST_FACE> faces;
    for (int32_t f = 0; f < o.FACES; ++f) {
        const KST_FACE& t = o.FACE[f];
        if (t.A >= 0 && t.B >= 0 && t.C >= 0 && t.A < o.VERTICES && t.B < o.VERTICES && t.C < o.VERTICES)
            faces.push_back(t);
    }
    mesh->mNumFaces = static_cast<unsigned>(faces.size());
    mesh->mFaces = new aiFace[faces.size()];
    for (size_t f = 0; f < faces.size(); ++f) {
        mesh->mFaces[f].mNumIndices = 3;
        mesh->mFaces[f].mIndices = new unsigned[3]{static_cast<unsigned>(faces[f].A),
                                                    static_cast<unsigned>(faces[f].B),
                                                    static_cast<unsigned>(faces[f].C)};
    }
    return mesh;
}

std::unique_ptr<aiNode> exp_node(const std::string& name, const aiMatrix4x4& m)
{
    auto node = std::make_unique<aiNode>(name);
    node->mTransformation = m;
    return node;
}

aiMatrix4x4 exp_translation(const aiVector3D& v)
{
    aiMatrix4x4 m;
    return aiMatrix4x4::Translation(v, m);
}

// Camera node transform at a frame: looking down -Z, +Y up.
aiMatrix4x4 exp_camera_matrix(const exp_state& st, float frame)
{
    KST_VECTOR eye{}, target{};
    SPLINE_CAMVECTORS(eye, target, st.scene, frame);
    aiVector3D e = exp_conv(st, eye), t = exp_conv(st, target);
    aiVector3D up = exp_conv(st, 0, 0, 1);
    aiVector3D f = t - e;
    f = f.Length() > 0.0f ? f.Normalize() : aiVector3D(0, 0, -1);
    aiVector3D r = f ^ up;
    if (!(r.Length() > 1e-6f))
        r = f ^ aiVector3D(1, 0, 0);
    r.Normalize();
    aiVector3D u = r ^ f;
    return aiMatrix4x4(r.x, u.x, -f.x, e.x, r.y, u.y, -f.y, e.y, r.z, u.z, -f.z, e.z, 0, 0, 0, 1);
}

std::string exp_unique(std::set<std::string>& used, std::string name, const std::string& fallback)
{
    if (name.empty())
        name = fallback;
    std::string base = name;
    for (int i = 2; used.count(name); ++i)
        name = base + "#" + std::to_string(i);
    used.insert(name);
    return name;
}

void exp_materials(exp_state& st)
{
    const KST_SCENE& s = st.scene;
    const unsigned n = static_cast<unsigned>(std::max(s.MATERIALS, 0));
    std::vector<bool> two(n, false);
    for (int32_t i = 0; i < s.OBJECTS; ++i)
        if (s.OBJ[i].MATERIAL >= 0 && s.OBJ[i].MATERIAL < s.MATERIALS && !s.OBJ[i].BACKFACECULL)
            two[s.OBJ[i].MATERIAL] = true;
    if (n == 0)
        st.materials.push_back(std::make_unique<aiMaterial>());
    for (unsigned m = 0; m < n; ++m)
        st.materials.push_back(exp_material(st, s.MATERIAL[m], m, two[m]));
}

// The object's model transform at a frame, as the renderer applies it:
// T(track) . T(POS) . Rx . Ry . Rz . [motion] . T(-POS), the static rotation
// in degrees, the motion (rotation and scale tracks) for scenes that ask for
// it, in the engine's axes.
aiMatrix4x4 exp_object_matrix_at(const exp_state& st, int32_t index, float frame)
{
    const KST_OBJECT& o = st.scene.OBJ[index];
    KST_VECTOR track{};
    if (o.POSKEYS > 0)
        SPLINE_LINEAR_POS(track, st.scene, index, frame);
    const float rad = 3.14159265358979f / 180.0f;
    aiMatrix4x4 m, r;
    aiVector3D pivot(o.POS.X, o.POS.Y, o.POS.Z);
    m = exp_translation(aiVector3D(track.X, track.Y, track.Z)) * exp_translation(pivot);
    m *= aiMatrix4x4::RotationX(o.STATICROTATE.X * rad, r);
    m *= aiMatrix4x4::RotationY(o.STATICROTATE.Y * rad, r);
    m *= aiMatrix4x4::RotationZ(o.STATICROTATE.Z * rad, r);
    double linear[3][3];
    if (kst_spline_motion(linear, st.scene, index, frame)) {
        aiMatrix4x4 l;
        for (unsigned row = 0; row < 3; ++row)
            for (unsigned col = 0; col < 3; ++col)
                l[row][col] = static_cast<float>(linear[row][col]);
        m *= l;
    }
    return m * exp_translation(-pivot);
}

aiMatrix4x4 exp_object_matrix(const exp_state& st, int32_t index)
{
    return exp_object_matrix_at(st, index, st.frame);
}

// A transform of the engine's axes in the file's: C . M . C^-1.
aiMatrix4x4 exp_conv_matrix(const exp_state& st, const aiMatrix4x4& m)
{
    if (st.z_up)
        return m;
    aiMatrix4x4 c(1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1);
    aiMatrix4x4 inverse = c;
    inverse.Transpose();
    return c * m * inverse;
}

aiMatrix4x4 exp_matrix(const KST_MATRIX& m)
{
    return aiMatrix4x4(m.m[0][0], m.m[0][1], m.m[0][2], m.m[0][3], m.m[1][0], m.m[1][1], m.m[1][2], m.m[1][3],
                       m.m[2][0], m.m[2][1], m.m[2][2], m.m[2][3], m.m[3][0], m.m[3][1], m.m[3][2], m.m[3][3]);
}

// The sample of a sampled track nearest the export's frame.
int32_t exp_sample(const exp_state& st, const KST_OBJECT& o)
{
    float f = std::isfinite(st.frame) ? std::round(st.frame) : 0.0f;
    return static_cast<int32_t>(std::clamp(f, 0.0f, static_cast<float>(std::max(o.SKINFRAMES - 1, 0))));
}

// The skin of object i: a joint node per joint under the root, posed at the
// frame, and a bone per joint with its offset (the bind matrix) and weights.
void exp_skin(exp_state& st, std::set<std::string>& used, int32_t i, aiMesh& mesh)
{
    const KST_OBJECT& o = st.scene.OBJ[i];
    std::vector<std::string>& names = st.joint_names[static_cast<size_t>(i)];
    if (!st.gltf || o.JOINTS <= 0 || !kst_skin_deforms(o) || !o.SKINJOINT)
        return;
    std::vector<std::vector<aiVertexWeight>> weights(static_cast<size_t>(o.JOINTS));
    for (int32_t v = 0; v < o.VERTICES; ++v) {
        const KST_JOINTSET& j = o.SKINJOINT[v];
        const KST_WEIGHTSET& w = o.SKINWEIGHT[v];
        const int32_t js[4] = {j.A, j.B, j.C, j.D};
        const float ws[4] = {w.A, w.B, w.C, w.D};
        for (int k = 0; k < 4; ++k)
            if (ws[k] > 0.0f && js[k] >= 0 && js[k] < o.JOINTS)
                weights[static_cast<size_t>(js[k])].emplace_back(static_cast<unsigned>(v), ws[k]);
    }
    const KST_MATRIX* pose = o.JOINTMATRIX + static_cast<size_t>(exp_sample(st, o)) * o.JOINTS;
    std::vector<std::unique_ptr<aiBone>> bones;
    for (int32_t j = 0; j < o.JOINTS; ++j) {
        names.push_back(exp_unique(used, st.node_names[i] + ".joint" + std::to_string(j), "joint"));
        st.children.push_back(exp_node(names.back(), exp_conv_matrix(st, exp_matrix(pose[j]))));
        auto bone = std::make_unique<aiBone>();
        bone->mName = exp_str(names.back());
        bone->mOffsetMatrix = exp_conv_matrix(st, exp_matrix(o.JOINTBIND[j]));
        const auto& list = weights[static_cast<size_t>(j)];
        bone->mNumWeights = static_cast<unsigned>(list.size());
        bone->mWeights = new aiVertexWeight[std::max<size_t>(list.size(), 1)];
        std::copy(list.begin(), list.end(), bone->mWeights);
        bones.push_back(std::move(bone));
    }
    exp_attach(bones, mesh.mBones, mesh.mNumBones);
}

// The morph targets of object i as absolute shapes, weighted as at the frame.
void exp_morphs(const exp_state& st, int32_t i, aiMesh& mesh)
{
    const KST_OBJECT& o = st.scene.OBJ[i];
    if (!st.gltf || o.MORPHS <= 0 || !kst_skin_deforms(o) || !o.MORPHVERTEX || !o.MORPHWEIGHT)
        return;
    const KST_VECTOR* rest = kst_skin_rest_vertex(o);
    const KST_VECTOR* rest_normal = kst_skin_rest_normal(o);
    const float* weight = o.MORPHWEIGHT + static_cast<size_t>(exp_sample(st, o)) * o.MORPHS;
    std::vector<std::unique_ptr<aiAnimMesh>> targets;
    size_t n = static_cast<size_t>(o.VERTICES);
    for (int32_t m = 0; m < o.MORPHS; ++m) {
        auto t = std::make_unique<aiAnimMesh>();
        t->mName = exp_str("target" + std::to_string(m));
        t->mNumVertices = static_cast<unsigned>(n);
        t->mWeight = weight[m];
        t->mVertices = new aiVector3D[n];
        if (mesh.mNormals && o.MORPHNORMAL && rest_normal)
            t->mNormals = new aiVector3D[n];
        for (size_t v = 0; v < n; ++v) {
            const KST_VECTOR& d = o.MORPHVERTEX[static_cast<size_t>(m) * n + v];
            t->mVertices[v] = exp_conv(st, rest[v].X + d.X, rest[v].Y + d.Y, rest[v].Z + d.Z);
            if (t->mNormals) {
                const KST_VECTOR& e = o.MORPHNORMAL[static_cast<size_t>(m) * n + v];
                t->mNormals[v] = exp_conv(st, rest_normal[v].X + e.X, rest_normal[v].Y + e.Y, rest_normal[v].Z + e.Z);
            }
        }
        targets.push_back(std::move(t));
    }
    exp_attach(targets, mesh.mAnimMeshes, mesh.mNumAnimMeshes);
}

void exp_objects(exp_state& st)
{
    const KST_SCENE& s = st.scene;
    std::set<std::string> used{"root", "camera"};
    for (int32_t i = 0; i < s.OBJECTS; ++i) {
        const KST_OBJECT& o = s.OBJ[i];
        unsigned mat = (o.MATERIAL >= 0 && o.MATERIAL < s.MATERIALS) ? static_cast<unsigned>(o.MATERIAL) : 0;
        st.meshes.push_back(exp_mesh(st, o, mat));
        std::string name = exp_unique(used, kst_name_get(o.NAME), "object" + std::to_string(i));
        st.node_names.push_back(name);
        std::unique_ptr<aiNode> node = exp_node(name, exp_conv_matrix(st, exp_object_matrix(st, i)));
        node->mMeshes = new unsigned[1]{static_cast<unsigned>(i)};
        node->mNumMeshes = 1;
        st.children.push_back(std::move(node));
    }
    st.joint_names.resize(static_cast<size_t>(std::max(s.OBJECTS, 0)));
    for (int32_t i = 0; i < s.OBJECTS; ++i) {
        exp_skin(st, used, i, *st.meshes[static_cast<size_t>(i)]);
        exp_morphs(st, i, *st.meshes[static_cast<size_t>(i)]);
    }
}

void exp_camera(exp_state& st)
{
    const KST_SCENE& s = st.scene;
    if (s.CAMPOSKEYS <= 0 || s.CAMTARGETKEYS <= 0)
        return;
    auto cam = std::make_unique<aiCamera>();
    cam->mName = aiString("camera");
    cam->mPosition = aiVector3D(0, 0, 0);
    cam->mLookAt = aiVector3D(0, 0, -1);
    cam->mUp = aiVector3D(0, 1, 0);
    cam->mAspect = 4.0f / 3.0f;
    cam->mHorizontalFOV = 2.0f * std::atan(std::tan(s.CAMFOV / 2.0f) * cam->mAspect);
    cam->mClipPlaneNear = s.CAMNEAR > 0.0f ? s.CAMNEAR : 0.01f;
    cam->mClipPlaneFar = s.CAMFAR > cam->mClipPlaneNear ? s.CAMFAR : cam->mClipPlaneNear * 1000.0f;
    st.cameras.push_back(std::move(cam));
    st.children.push_back(exp_node("camera", exp_camera_matrix(st, st.frame)));
}

void exp_lights(exp_state& st, std::set<std::string>& used)
{
    for (int32_t l = 0; l < KST_LIGHTS; ++l) {
        const KST_LIGHT& k = st.scene.LIGHT[l];
        if (!k.ENABLED)
            continue;
        KST_VECTOR p = k.POS;
        if (k.POSKEYS > 0)
            SPLINE_LIGHT_POS(p, st.scene, l, st.frame);
        auto a = std::make_unique<aiLight>();
        std::string name = exp_unique(used, kst_name_get(k.NAME), "light" + std::to_string(l));
        a->mName = exp_str(name);
        a->mType = aiLightSource_POINT;
        a->mColorAmbient = aiColor3D(k.AMBIENT.R, k.AMBIENT.G, k.AMBIENT.B);
        a->mColorDiffuse = aiColor3D(k.DIFFUSE.R, k.DIFFUSE.G, k.DIFFUSE.B);
        a->mColorSpecular = aiColor3D(k.SPECULAR.R, k.SPECULAR.G, k.SPECULAR.B);
        a->mAttenuationConstant = 1.0f;
        st.lights.push_back(std::move(a));
        st.children.push_back(exp_node(name, exp_translation(exp_conv(st, p))));
    }
}

// One channel with the given position keys, and rotation and scale keys
// (a single identity rotation and unit scale when none are given).
std::unique_ptr<aiNodeAnim> exp_channel(const std::string& node, const std::vector<aiVectorKey>& pos,
                                        const std::vector<aiQuatKey>& rot,
                                        const std::vector<aiVectorKey>& scale = {})
{
    auto c = std::make_unique<aiNodeAnim>();
    c->mNodeName = exp_str(node);
    c->mNumPositionKeys = static_cast<unsigned>(pos.size());
    c->mPositionKeys = new aiVectorKey[pos.size()];
    std::copy(pos.begin(), pos.end(), c->mPositionKeys);
    std::vector<aiQuatKey> r = rot.empty() ? std::vector<aiQuatKey>{aiQuatKey(0.0, aiQuaternion())} : rot;
    c->mNumRotationKeys = static_cast<unsigned>(r.size());
    c->mRotationKeys = new aiQuatKey[r.size()];
    std::copy(r.begin(), r.end(), c->mRotationKeys);
    std::vector<aiVectorKey> sc = scale.empty() ? std::vector<aiVectorKey>{aiVectorKey(0.0, aiVector3D(1, 1, 1))}
                                                : scale;
    c->mNumScalingKeys = static_cast<unsigned>(sc.size());
    c->mScalingKeys = new aiVectorKey[sc.size()];
    std::copy(sc.begin(), sc.end(), c->mScalingKeys);
    return c;
}

// An object whose rotation or scale tracks play: its whole transform
// sampled at every frame, as translation, rotation and scale keys (a scale
// along axes other than the node's own comes out as its nearest such).
std::unique_ptr<aiNodeAnim> exp_motion_channel(const exp_state& st, int32_t index)
{
    std::vector<aiVectorKey> pos, scale;
    std::vector<aiQuatKey> rot;
    for (int32_t f = 0; f <= std::max(0, st.scene.FRAMES) && f < KST_MAX_ARRAY; ++f) {
        aiVector3D s, p;
        aiQuaternion q;
        exp_conv_matrix(st, exp_object_matrix_at(st, index, static_cast<float>(f))).Decompose(s, q, p);
        pos.emplace_back(f, p);
        rot.emplace_back(f, q);
        scale.emplace_back(f, s);
    }
    return exp_channel(st.node_names[index], pos, rot, scale);
}

// The joints of every skinned object, one channel per joint with a key per sample.
void exp_joint_channels(const exp_state& st, std::vector<std::unique_ptr<aiNodeAnim>>& channels)
{
    for (int32_t i = 0; i < st.scene.OBJECTS; ++i) {
        const KST_OBJECT& o = st.scene.OBJ[i];
        const std::vector<std::string>& names = st.joint_names[static_cast<size_t>(i)];
        if (names.empty() || o.SKINFRAMES < 2)
            continue;
        for (int32_t j = 0; j < o.JOINTS; ++j) {
            std::vector<aiVectorKey> pos, scl;
            std::vector<aiQuatKey> rot;
            for (int32_t k = 0; k < o.SKINFRAMES; ++k) {
                aiVector3D sv, pv;
                aiQuaternion q;
                exp_conv_matrix(st, exp_matrix(o.JOINTMATRIX[static_cast<size_t>(k) * o.JOINTS + j])).Decompose(sv, q, pv);
                pos.emplace_back(k, pv);
                rot.emplace_back(k, q);
                scl.emplace_back(k, sv);
            }
            channels.push_back(exp_channel(names[static_cast<size_t>(j)], pos, rot, scl));
        }
    }
}

// The morph weights of every morphed object, a key per sample, for a writer
// that writes them (5.2's glTF writer does not: exp_gltf_morphs adds them).
void exp_morph_channels(const exp_state& st, std::vector<std::unique_ptr<aiMeshMorphAnim>>& channels)
{
    for (int32_t i = 0; i < st.scene.OBJECTS; ++i) {
        const KST_OBJECT& o = st.scene.OBJ[i];
        if (o.MORPHS <= 0 || !kst_skin_deforms(o) || !o.MORPHWEIGHT || o.SKINFRAMES < 2)
            continue;
        auto c = std::make_unique<aiMeshMorphAnim>();
        c->mName = exp_str(st.node_names[static_cast<size_t>(i)]);
        c->mNumKeys = static_cast<unsigned>(o.SKINFRAMES);
        c->mKeys = new aiMeshMorphKey[c->mNumKeys];
        for (int32_t k = 0; k < o.SKINFRAMES; ++k) {
            aiMeshMorphKey& key = c->mKeys[k];
            key.mTime = k;
            key.mNumValuesAndWeights = static_cast<unsigned>(o.MORPHS);
            key.mValues = new unsigned[key.mNumValuesAndWeights];
            key.mWeights = new double[key.mNumValuesAndWeights];
            for (int32_t m = 0; m < o.MORPHS; ++m) {
                key.mValues[m] = static_cast<unsigned>(m);
                key.mWeights[m] = o.MORPHWEIGHT[static_cast<size_t>(k) * o.MORPHS + m];
            }
        }
        channels.push_back(std::move(c));
    }
}

void exp_animation(exp_state& st)
{
    const KST_SCENE& s = st.scene;
    std::vector<std::unique_ptr<aiNodeAnim>> channels;
    for (int32_t i = 0; i < s.OBJECTS; ++i) {
        const KST_OBJECT& o = s.OBJ[i];
        double linear[3][3];
        if (kst_spline_motion(linear, s, i, 0.0f)) {
            channels.push_back(exp_motion_channel(st, i));
            continue;
        }
        if (o.POSKEYS <= 0 || !o.POSITION)
            continue;
        std::vector<aiVectorKey> keys;
        for (int32_t k = 0; k < o.POSKEYS; ++k)
            if (keys.empty() || o.POSITION[k].KEY > keys.back().mTime)
                keys.emplace_back(o.POSITION[k].KEY,
                                  exp_conv(st, o.POSITION[k].X, o.POSITION[k].Y, o.POSITION[k].Z));
        channels.push_back(exp_channel(st.node_names[i], keys, {}));
    }
    if (s.CAMPOSKEYS > 0 && s.CAMTARGETKEYS > 0 && s.FRAMES > 0) {
        std::vector<aiVectorKey> pos;
        std::vector<aiQuatKey> rot;
        for (int32_t f = 0; f <= s.FRAMES && f < KST_MAX_ARRAY; ++f) {
            aiVector3D scl, p;
            aiQuaternion q;
            exp_camera_matrix(st, static_cast<float>(f)).Decompose(scl, q, p);
            pos.emplace_back(f, p);
            rot.emplace_back(f, q);
        }
        channels.push_back(exp_channel("camera", pos, rot));
    }
    exp_joint_channels(st, channels);
    std::vector<std::unique_ptr<aiMeshMorphAnim>> morphs;
    exp_morph_channels(st, morphs);
    if (channels.empty() && morphs.empty())
        return;
    auto a = std::make_unique<aiAnimation>();
    a->mName = aiString("scene");
    a->mTicksPerSecond = 40.0;
    a->mDuration = std::max(1, s.FRAMES);
    exp_attach(channels, a->mChannels, a->mNumChannels);
    exp_attach(morphs, a->mMorphMeshChannels, a->mNumMorphMeshChannels);
    st.animations.push_back(std::move(a));
}

std::unique_ptr<aiScene> exp_build(exp_state& st)
{
    exp_materials(st);
    exp_objects(st);
    std::set<std::string> used(st.node_names.begin(), st.node_names.end());
    used.insert({"root", "camera"});
    for (const auto& names : st.joint_names)
        used.insert(names.begin(), names.end());
    if (!st.z_up || st.gltf) {
        exp_camera(st);
        exp_lights(st, used);
    }
    if (st.gltf)
        exp_animation(st);
    auto ai = std::make_unique<aiScene>();
    ai->mRootNode = new aiNode("root");
    for (std::unique_ptr<aiNode>& child : st.children)
        child->mParent = ai->mRootNode;
    exp_attach(st.children, ai->mRootNode->mChildren, ai->mRootNode->mNumChildren);
    exp_attach(st.materials, ai->mMaterials, ai->mNumMaterials);
    exp_attach(st.textures, ai->mTextures, ai->mNumTextures);
    exp_attach(st.meshes, ai->mMeshes, ai->mNumMeshes);
    exp_attach(st.cameras, ai->mCameras, ai->mNumCameras);
    exp_attach(st.lights, ai->mLights, ai->mNumLights);
    exp_attach(st.animations, ai->mAnimations, ai->mNumAnimations);
    return ai;
}

// Moves every file of the work folder next to OUT, all or none: the side
// files first and OUT itself last.
void exp_commit(const exp_state& st)
{
    fs::path dir = fs::path(st.out).parent_path();
    std::vector<std::pair<std::string, std::string>> moves;
    std::pair<std::string, std::string> main_file;
    for (const fs::directory_entry& e : fs::directory_iterator(st.work)) {
        std::pair<std::string, std::string> m{e.path().string(), (dir / e.path().filename()).string()};
        if (e.path().filename() == fs::path(st.out).filename())
            main_file = m;
        else
            moves.push_back(m);
    }
    std::sort(moves.begin(), moves.end());
    if (!main_file.first.empty())
        moves.push_back(main_file);
    atomic_rename_all(moves);
}

// --- morph weights, added to the written glTF --------------------------------

// What the glTF gets for one morphed object: the mesh's default weights and,
// when they move, the node's weight track.
struct exp_morph_track {
    std::string        object;    // the object's name, for warnings
    std::string        node;      // its node in the file
    size_t             targets;
    std::vector<float> defaults;  // the weights at the export's frame
    std::vector<float> times;     // seconds, one per key; empty when they hold still
    std::vector<float> weights;   // times.size() x targets, key by key
    std::vector<std::vector<float>> normals;  // per target, the normal offsets (x, y, z a vertex), or none
    size_t             vertices;
};

// The glTF as written: its JSON and the bytes of its first buffer.
struct exp_gltf {
    nlohmann::json doc;
    std::string    bin;
    std::string    bin_file;  // .gltf: the buffer's file in the work folder ("" for a data: URI)
    bool           changed = false;
};

const char exp_base64_digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string exp_base64_encode(const std::string& in)
{
    std::string out;
    out.reserve((in.size() + 2) / 3 * 4);
    for (size_t i = 0; i < in.size(); i += 3) {
        uint32_t v = static_cast<uint8_t>(in[i]) << 16;
        if (i + 1 < in.size())
            v |= static_cast<uint8_t>(in[i + 1]) << 8;
        if (i + 2 < in.size())
            v |= static_cast<uint8_t>(in[i + 2]);
        out += exp_base64_digits[(v >> 18) & 63];
        out += exp_base64_digits[(v >> 12) & 63];
        out += i + 1 < in.size() ? exp_base64_digits[(v >> 6) & 63] : '=';
        out += i + 2 < in.size() ? exp_base64_digits[v & 63] : '=';
    }
    return out;
}

// Decodes base64 up to its padding; false on any other character.
bool exp_base64_decode(const std::string& in, std::string& out)
{
    uint32_t v = 0;
    int bits = 0;
    out.clear();
    for (char c : in) {
        if (c == '=')
            break;
        const char* at = std::strchr(exp_base64_digits, c);
        if (c == '\0' || !at)
            return false;
        v = (v << 6) | static_cast<uint32_t>(at - exp_base64_digits);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((v >> bits) & 0xff);
        }
    }
    return true;
}

// The normal offsets of every target in the file's axes (a turn, so offsets
// turn as the normals do).
void exp_morph_normals(const exp_state& st, const KST_OBJECT& o, exp_morph_track& t)
{
    t.normals.resize(t.targets);
    for (size_t m = 0; m < t.targets; ++m)
        for (size_t v = 0; v < t.vertices; ++v) {
            const KST_VECTOR& e = o.MORPHNORMAL[m * t.vertices + v];
            aiVector3D n = exp_conv(st, e);
            t.normals[m].insert(t.normals[m].end(), {n.x, n.y, n.z});
        }
}

// The weights of every morphed object, as exp_morphs and exp_morph_channels
// hand them to assimp: the track's keys at the animation's 40 ticks per
// second, each time computed as assimp's writer computes its node keys' so
// that equal times are equal floats.
std::vector<exp_morph_track> exp_morph_tracks(const exp_state& st)
{
    std::vector<exp_morph_track> tracks;
    for (int32_t i = 0; i < st.scene.OBJECTS; ++i) {
        const KST_OBJECT& o = st.scene.OBJ[i];
        if (o.MORPHS <= 0 || !kst_skin_deforms(o) || !o.MORPHVERTEX || !o.MORPHWEIGHT)
            continue;
        exp_morph_track t{kst_name_get(o.NAME), st.node_names[static_cast<size_t>(i)],
                          static_cast<size_t>(o.MORPHS), {}, {}, {}, {}, static_cast<size_t>(o.VERTICES)};
        const float* at = o.MORPHWEIGHT + static_cast<size_t>(exp_sample(st, o)) * t.targets;
        t.defaults.assign(at, at + t.targets);
        for (int32_t k = 0; o.SKINFRAMES >= 2 && k < o.SKINFRAMES; ++k) {
            t.times.push_back(static_cast<float>(static_cast<double>(k) / 40.0));
            at = o.MORPHWEIGHT + static_cast<size_t>(k) * t.targets;
            t.weights.insert(t.weights.end(), at, at + t.targets);
        }
        if (o.NORMALS && o.MORPHNORMAL && kst_skin_rest_normal(o))
            exp_morph_normals(st, o, t);
        tracks.push_back(std::move(t));
    }
    return tracks;
}

// Reads the binary glTF container: header, JSON chunk, optional BIN chunk.
// "" or what is wrong with it.
std::string exp_glb_read(const std::string& bytes, exp_gltf& g)
{
    auto u32 = [&](size_t at) {
        uint32_t v;
        std::memcpy(&v, bytes.data() + at, 4);
        return v;
    };
    if (bytes.size() < 20 || bytes.compare(0, 4, "glTF") != 0 || u32(4) != 2 || u32(8) != bytes.size())
        return "not a glTF 2 binary file";
    size_t json_size = u32(12);
    if (bytes.compare(16, 4, "JSON") != 0 || json_size > bytes.size() - 20)
        return "its first chunk is not JSON";
    g.doc = nlohmann::json::parse(bytes.substr(20, json_size));
    size_t at = 20 + json_size;
    if (at + 8 <= bytes.size() && bytes.compare(at + 4, 4, std::string("BIN\0", 4)) == 0) {
        size_t bin_size = u32(at);
        if (bin_size > bytes.size() - at - 8)
            return "its BIN chunk runs past the end";
        g.bin = bytes.substr(at + 8, bin_size);
    }
    nlohmann::json& buffers = g.doc["buffers"];
    if (!buffers.is_array() || buffers.empty())
        buffers = nlohmann::json::array({{{"byteLength", 0}}});
    if (buffers[0].contains("uri"))
        return "its first buffer is not in the file";
    return "";
}

// The first buffer of a .gltf: a file beside it or a data: URI.
std::string exp_gltf_read_buffer(const exp_state& st, exp_gltf& g)
{
    nlohmann::json& buffers = g.doc["buffers"];
    if (!buffers.is_array() || buffers.empty()) {
        g.bin_file = fs::path(st.out).stem().string() + ".bin";
        buffers = nlohmann::json::array({{{"byteLength", 0}, {"uri", g.bin_file}}});
        return "";
    }
    std::string uri = buffers[0].value("uri", "");
    if (uri.rfind("data:", 0) == 0) {
        size_t comma = uri.find(',');
        if (comma == std::string::npos || !exp_base64_decode(uri.substr(comma + 1), g.bin))
            return "its buffer's data: URI is not base64";
        return "";
    }
    g.bin_file = uri;
    if (uri.empty() || fs::path(uri).has_parent_path() || !exp_read(st.work / uri, g.bin))
        return "its buffer " + uri + " was not written beside it";
    return "";
}

// Reads the glTF assimp wrote into the work folder; "" or what is wrong.
std::string exp_gltf_read(const exp_state& st, exp_gltf& g)
{
    std::string bytes;
    if (!exp_read(st.work / fs::path(st.out).filename(), bytes))
        return "it cannot be read back";
    if (st.ext == ".glb")
        return exp_glb_read(bytes, g);
    g.doc = nlohmann::json::parse(bytes);
    return exp_gltf_read_buffer(st, g);
}

// Appends floats to the first buffer (at a 4-byte boundary) and returns the
// new buffer view.
size_t exp_gltf_view(exp_gltf& g, const std::vector<float>& data)
{
    g.bin.resize((g.bin.size() + 3) / 4 * 4, '\0');
    size_t offset = g.bin.size();
    g.bin.append(reinterpret_cast<const char*>(data.data()), data.size() * sizeof(float));
    nlohmann::json& views = g.doc["bufferViews"];
    views.push_back({{"buffer", 0}, {"byteOffset", offset}, {"byteLength", data.size() * sizeof(float)}});
    g.doc["buffers"][0]["byteLength"] = g.bin.size();
    return views.size() - 1;
}

// A float accessor (SCALAR, or VEC3 for normals) over new data; an
// animation input carries its bounds.
size_t exp_gltf_accessor(exp_gltf& g, const std::vector<float>& data, bool bounds, bool vec3 = false)
{
    nlohmann::json a = {{"bufferView", exp_gltf_view(g, data)}, {"byteOffset", 0}, {"componentType", 5126},
                        {"count", vec3 ? data.size() / 3 : data.size()}, {"type", vec3 ? "VEC3" : "SCALAR"}};
    if (bounds && !data.empty()) {
        a["min"] = {*std::min_element(data.begin(), data.end())};
        a["max"] = {*std::max_element(data.begin(), data.end())};
    }
    nlohmann::json& accessors = g.doc["accessors"];
    accessors.push_back(std::move(a));
    return accessors.size() - 1;
}

// Whether accessor `index` holds exactly `values` as tightly packed floats
// of the first buffer.
bool exp_gltf_holds(const exp_gltf& g, size_t index, const std::vector<float>& values)
{
    const nlohmann::json& a = g.doc.at("accessors").at(index);
    if (a.value("componentType", 0) != 5126 || a.value("type", "") != "SCALAR" ||
        a.value("count", size_t{0}) != values.size() || !a.contains("bufferView"))
        return false;
    const nlohmann::json& v = g.doc.at("bufferViews").at(a.at("bufferView").get<size_t>());
    if (v.value("buffer", 0) != 0 || v.value("byteStride", 4) != 4)
        return false;
    size_t at = v.value("byteOffset", size_t{0}) + a.value("byteOffset", size_t{0});
    size_t size = values.size() * sizeof(float);
    return at <= g.bin.size() && size <= g.bin.size() - at && size <= v.value("byteLength", size_t{0}) &&
           std::memcmp(g.bin.data() + at, values.data(), size) == 0;
}

// The input accessor of a sampler already in the animation with the same
// key times, or a new one.
size_t exp_gltf_input(exp_gltf& g, const nlohmann::json& animation, const std::vector<float>& times)
{
    for (const nlohmann::json& s : animation.at("samplers"))
        if (s.contains("input") && exp_gltf_holds(g, s.at("input").get<size_t>(), times))
            return s.at("input").get<size_t>();
    return exp_gltf_accessor(g, times, true);
}

// The node of a morphed object: the mesh node of that name.
bool exp_gltf_node(const exp_gltf& g, const std::string& name, size_t& node)
{
    const nlohmann::json& nodes = g.doc.at("nodes");
    for (size_t n = 0; n < nodes.size(); ++n)
        if (nodes[n].value("name", "") == name && nodes[n].contains("mesh")) {
            node = n;
            return true;
        }
    return false;
}

// Whether some animation already drives the node's weights.
bool exp_gltf_has_weights(const exp_gltf& g, size_t node)
{
    if (!g.doc.contains("animations"))
        return false;
    for (const nlohmann::json& a : g.doc.at("animations"))
        for (const nlohmann::json& c : a.value("channels", nlohmann::json::array())) {
            const nlohmann::json target = c.value("target", nlohmann::json::object());
            if (target.contains("node") && target.at("node").get<size_t>() == node &&
                target.value("path", "") == "weights")
                return true;
        }
    return false;
}

// The targets' normal offsets, for a primitive with normals whose targets
// have none (5.2's writer writes the targets' positions only) and as many
// vertices as the object.
void exp_gltf_target_normals(exp_gltf& g, nlohmann::json& primitive, const exp_morph_track& t)
{
    nlohmann::json& targets = primitive.at("targets");
    if (t.normals.empty() || !primitive.value("attributes", nlohmann::json::object()).contains("NORMAL"))
        return;
    for (size_t m = 0; m < t.targets; ++m) {
        nlohmann::json& target = targets.at(m);
        if (target.contains("NORMAL") || !target.contains("POSITION") ||
            g.doc.at("accessors").at(target.at("POSITION").get<size_t>()).value("count", size_t{0}) != t.vertices)
            continue;
        target["NORMAL"] = exp_gltf_accessor(g, t.normals[m], false, true);
        g.changed = true;
    }
}

// The default weights and the weight track of one object; a warning when
// the written file has no mesh node with its targets to put them on.
void exp_gltf_morph(exp_state& st, exp_gltf& g, const exp_morph_track& t)
{
    size_t node = 0;
    if (!exp_gltf_node(g, t.node, node)) {
        st.warnings.push_back("object " + t.object + ": its morph weights left out (no node " + t.node + " written)");
        return;
    }
    nlohmann::json& mesh = g.doc["meshes"].at(g.doc["nodes"][node]["mesh"].get<size_t>());
    for (const nlohmann::json& p : mesh["primitives"])
        if (!p.contains("targets") || p["targets"].size() != t.targets) {
            st.warnings.push_back("object " + t.object + ": its morph weights left out (its targets were not written)");
            return;
        }
    for (nlohmann::json& p : mesh["primitives"])
        exp_gltf_target_normals(g, p, t);
    if (!mesh.contains("weights")) {
        mesh["weights"] = t.defaults;
        g.changed = true;
    }
    if (t.times.empty() || exp_gltf_has_weights(g, node))
        return;
    nlohmann::json& animations = g.doc["animations"];
    if (!animations.is_array() || animations.empty())
        animations = nlohmann::json::array({{{"name", "scene"}, {"channels", nlohmann::json::array()},
                                             {"samplers", nlohmann::json::array()}}});
    nlohmann::json& a = animations[0];
    size_t input = exp_gltf_input(g, a, t.times);
    size_t output = exp_gltf_accessor(g, t.weights, false);
    a["samplers"].push_back({{"input", input}, {"interpolation", "LINEAR"}, {"output", output}});
    a["channels"].push_back({{"sampler", a["samplers"].size() - 1}, {"target", {{"node", node}, {"path", "weights"}}}});
    g.changed = true;
}

// Writes the glTF back into the work folder: the buffer file or data: URI
// and the JSON, or the binary container (JSON chunk padded with spaces, BIN
// chunk with zeros, both to 4 bytes).
void exp_gltf_write(const exp_state& st, exp_gltf& g)
{
    const std::string main = (st.work / fs::path(st.out).filename()).string();
    auto dump = [&](int indent) { return g.doc.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace); };
    atomic_file f(main);
    if (st.ext == ".gltf") {
        if (!g.bin_file.empty()) {
            atomic_file b((st.work / g.bin_file).string());
            b.write(g.bin);
            b.commit();
        } else {
            g.doc["buffers"][0]["uri"] = "data:application/octet-stream;base64," + exp_base64_encode(g.bin);
        }
        f.write(dump(4));
        f.commit();
        return;
    }
    std::string json = dump(-1);
    json.resize((json.size() + 3) / 4 * 4, ' ');
    std::string bin = g.bin;
    bin.resize((bin.size() + 3) / 4 * 4, '\0');
    auto u32 = [](std::string& s, size_t v) {
        uint32_t w = static_cast<uint32_t>(v);
        s.append(reinterpret_cast<const char*>(&w), 4);
    };
    std::string out = "glTF";
    u32(out, 2);
    u32(out, 12 + 8 + json.size() + (bin.empty() ? 0 : 8 + bin.size()));
    u32(out, json.size());
    out += "JSON" + json;
    if (!bin.empty()) {
        u32(out, bin.size());
        out += std::string("BIN\0", 4) + bin;
    }
    f.write(out);
    f.commit();
}

// assimp's glTF writer writes the morph targets' positions but not their
// normals, the meshes' default weights or the weight tracks: these are
// added to what it wrote. A file that cannot be read back as glTF is a
// broken write, and fails the export (which then leaves nothing).
void exp_gltf_morphs(exp_state& st)
{
    std::vector<exp_morph_track> tracks = exp_morph_tracks(st);
    if (tracks.empty())
        return;
    exp_gltf g;
    std::string why;
    try {
        why = exp_gltf_read(st, g);
        for (size_t t = 0; why.empty() && t < tracks.size(); ++t)
            exp_gltf_morph(st, g, tracks[t]);
    } catch (const nlohmann::json::exception& e) {
        why = e.what();
    }
    if (!why.empty())
        fatal_raise(st.out + ": the glTF written cannot be read back to add the morph weights: " + why);
    if (g.changed)
        exp_gltf_write(st, g);
}

}  // namespace

std::vector<std::string> KST_EXPORT_FILE(const KST_SCENE& scene, const std::string& out, float frame,
                                         const std::string& data_dir)
{
    std::string ext = imp_lower_ext(out);
    const char* format = exp_format(ext);
    if (!format)
        fatal_raise(out + ": unknown export format (use .glb, .gltf, .obj, .dae, .ply or .stl)");
    if (scene.OBJECTS <= 0)
        fatal_raise(out + ": the scene has no objects to export");
    exp_state st{scene, out, ext, frame, data_dir, ext == ".stl", ext == ".glb" || ext == ".gltf",
                 {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}};
    fs::path dir = fs::path(out).parent_path();
    st.work = (dir.empty() ? fs::path(".") : dir) / (".kestrel-export-" + fs::path(out).filename().string());
    std::error_code ec;
    fs::remove_all(st.work, ec);
    if (!fs::create_directory(st.work, ec))
        fatal_raise(out + ": cannot create a work folder beside it: " + ec.message());
    try {
        std::unique_ptr<aiScene> ai = exp_build(st);
        Assimp::Exporter exporter;
        std::string target = (st.work / fs::path(out).filename()).string();
        if (exporter.Export(ai.get(), format, target) != AI_SUCCESS)
            fatal_raise(out + ": assimp could not write the file: " + exporter.GetErrorString());
        if (st.gltf)
            exp_gltf_morphs(st);
        exp_commit(st);
    } catch (...) {
        fs::remove_all(st.work, ec);
        throw;
    }
    fs::remove_all(st.work, ec);
    return st.warnings;
}
