// engine/import/import_mesh.cpp - mesh instances to KST_OBJECTs.
//
// Every (node, mesh) pair becomes one object whose vertices are baked into
// world space at frame 0 (the pose the tracks start from; POS is the node's
// origin, the pivot). Normals go through the inverse transpose and are
// renormalised; mirroring transforms reverse the winding so front faces stay
// counter-clockwise. A mesh over the design limit of 500001 vertices or faces
// is cut into parts along its face list, each part with its own vertices.
//
// ORIG_FACE is the face list in a second numbering in which all vertices at
// the same position share the index of the first of them: assimp duplicates
// vertices along UV and normal seams, and the engine's neighbour search
// (KST_CALCNEIGHBOURS, which matches edges by ORIG_FACE indices) would see
// every seam as an open edge otherwise. Points and lines are dropped. Skins
// and morph targets are added by import_skin.cpp.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "engine/import/import_internal.h"
#include "engine/scene/prepare.h"
#include "support/error.h"
#include "support/mem.h"

namespace {

struct mesh_part {
    std::vector<uint32_t> vertices;   // source vertex per part vertex
    std::vector<KST_FACE> faces;      // in part numbering
};

struct mesh_key {
    uint32_t x, y, z;
    bool operator==(const mesh_key& o) const { return x == o.x && y == o.y && z == o.z; }
};

struct mesh_key_hash {
    size_t operator()(const mesh_key& k) const
    {
        return (static_cast<size_t>(k.x) * 73856093u) ^ (static_cast<size_t>(k.y) * 19349663u) ^
               (static_cast<size_t>(k.z) * 83492791u);
    }
};

mesh_key mesh_key_of(const KST_VECTOR& v)
{
    mesh_key k;
    // +0.0 and -0.0 are the same position.
    float x = v.X + 0.0f, y = v.Y + 0.0f, z = v.Z + 0.0f;
    std::memcpy(&k.x, &x, 4);
    std::memcpy(&k.y, &y, 4);
    std::memcpy(&k.z, &z, 4);
    return k;
}

// Triangles of the mesh cut into parts that fit the design limits.
std::vector<mesh_part> mesh_parts(const aiMesh& mesh, bool flip, size_t& dropped)
{
    std::vector<mesh_part> parts(1);
    std::vector<int32_t> local(mesh.mNumVertices, -1);
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
        const aiFace& face = mesh.mFaces[f];
        if (face.mNumIndices != 3 || !face.mIndices ||
            std::any_of(face.mIndices, face.mIndices + 3, [&](unsigned i) { return i >= mesh.mNumVertices; })) {
            ++dropped;
            continue;
        }
        mesh_part* p = &parts.back();
        if (p->faces.size() + 1 > static_cast<size_t>(KST_MAX_ARRAY) ||
            p->vertices.size() + 3 > static_cast<size_t>(KST_MAX_ARRAY)) {
            for (uint32_t v : p->vertices)
                local[v] = -1;
            parts.emplace_back();
            p = &parts.back();
        }
        int32_t c[3];
        for (int k = 0; k < 3; ++k) {
            unsigned v = face.mIndices[k];
            if (local[v] < 0) {
                local[v] = static_cast<int32_t>(p->vertices.size());
                p->vertices.push_back(v);
            }
            c[k] = local[v];
        }
        p->faces.push_back(flip ? KST_FACE{c[0], c[2], c[1]} : KST_FACE{c[0], c[1], c[2]});
    }
    if (parts.back().faces.empty())
        parts.pop_back();
    return parts;
}

KST_VECTOR mesh_point(const aiMatrix4x4& m, const aiVector3D& v, size_t& bad)
{
    aiVector3D w = m * v;
    if (!std::isfinite(w.x) || !std::isfinite(w.y) || !std::isfinite(w.z)) {
        ++bad;
        return {0, 0, 0};
    }
    return imp_vec(w);
}

KST_VECTOR mesh_normal(const aiMatrix3x3& m, const aiVector3D& n)
{
    aiVector3D w = m * n;
    float len = w.Length();
    if (!std::isfinite(len) || len <= 0.0f)
        return {0, 0, 1};
    return imp_vec(w / len);
}

void mesh_fill_vertices(KST_OBJECT& o, const aiMesh& mesh, const mesh_part& part, const aiMatrix4x4& world,
                        size_t& bad)
{
    const int32_t n = static_cast<int32_t>(part.vertices.size());
    o.VERTICES = n;
    o.VERTEX = mem_array<KST_VECTOR>(n, "import vertices");
    aiMatrix3x3 normal_matrix = aiMatrix3x3(world).Inverse().Transpose();
    if (mesh.mNormals) {
        o.NORMALS = 1;
        o.VERTEXNORMAL = mem_array<KST_VECTOR>(n, "import normals");
    }
    if (mesh.mTextureCoords[0]) {
        o.TEXTURE = 1;
        o.TEXCOORD = mem_array<KST_TEXTCOORD>(n, "import texture coordinates");
    }
    if (mesh.mColors[0]) {
        o.COLOR = 1;
        o.CVERTEX = mem_array<KST_RGB>(n, "import vertex colours");
    }
    auto unit = [](float v) { return std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : 0.0f; };
    for (int32_t i = 0; i < n; ++i) {
        uint32_t v = part.vertices[i];
        o.VERTEX[i] = mesh_point(world, mesh.mVertices[v], bad);
        if (o.NORMALS)
            o.VERTEXNORMAL[i] = mesh_normal(normal_matrix, mesh.mNormals[v]);
        if (o.TEXTURE) {
            const aiVector3D& t = mesh.mTextureCoords[0][v];
            o.TEXCOORD[i] = {std::isfinite(t.x) ? t.x : 0.0f, std::isfinite(t.y) ? t.y : 0.0f};
        }
        if (o.COLOR) {
            const aiColor4D& c = mesh.mColors[0][v];
            o.CVERTEX[i] = {unit(c.r), unit(c.g), unit(c.b)};
        }
    }
}

void mesh_fill_faces(KST_OBJECT& o, const mesh_part& part)
{
    const int32_t f = static_cast<int32_t>(part.faces.size());
    o.FACES = f;
    o.FACE = mem_array<KST_FACE>(f, "import faces");
    o.ORIG_FACE = mem_array<KST_FACE>(f, "import welded faces");
    std::copy(part.faces.begin(), part.faces.end(), o.FACE);
    std::unordered_map<mesh_key, int32_t, mesh_key_hash> first;
    first.reserve(static_cast<size_t>(o.VERTICES));
    std::vector<int32_t> weld(static_cast<size_t>(o.VERTICES));
    for (int32_t i = 0; i < o.VERTICES; ++i)
        weld[i] = first.emplace(mesh_key_of(o.VERTEX[i]), i).first->second;
    for (int32_t j = 0; j < f; ++j)
        o.ORIG_FACE[j] = {weld[o.FACE[j].A], weld[o.FACE[j].B], weld[o.FACE[j].C]};
    o.NEIGHBOUR = mem_array<KST_FACE>(f, "import neighbours");
    KST_CALCNEIGHBOURS(o);
}

std::string mesh_object_name(imp_state& st, const aiNode& node, const aiMesh& mesh, bool several, size_t part)
{
    std::string base = node.mName.C_Str();
    if (base.empty())
        base = mesh.mName.length ? mesh.mName.C_Str() : "object";
    if (several && mesh.mName.length)
        base += "." + std::string(mesh.mName.C_Str());
    if (part > 0)
        base += ".part" + std::to_string(part + 1);
    return imp_unique_name(st.object_names, base);
}

void mesh_add_part(imp_state& st, int32_t node_index, const aiMesh& mesh, const mesh_part& part,
                   const std::string& name, size_t& bad)
{
    if (st.objects.size() >= static_cast<size_t>(KST_MAX_OBJECTS))
        fatal_raise(st.source + ": more than " + std::to_string(KST_MAX_OBJECTS) +
                    " mesh instances; a scene holds at most that many objects");
    const aiMatrix4x4& world = st.world0[node_index];
    imp_material mat = imp_material_get(st, mesh.mMaterialIndex);
    st.objects.emplace_back();
    st.object_node.push_back(node_index);
    KST_OBJECT& o = st.objects.back();
    kst_name_set(o.NAME, name);
    o.VISIBLE = 1;
    o.MATERIAL = mat.index;
    o.PASSNO = mat.pass;
    o.BACKFACECULL = mat.two_sided ? 0 : 1;
    o.CASTSHADOW = 1;
    o.POS = imp_vec(world * aiVector3D(0, 0, 0));
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            o.INITMATRIX.m[r][c] = world[r][c];
    mesh_fill_vertices(o, mesh, part, world, bad);
    mesh_fill_faces(o, part);
    st.summary.faces += o.FACES;
    imp_skin_part(st, st.objects.size() - 1, mesh, part.vertices, node_index);
}

void mesh_instance(imp_state& st, int32_t node_index, const aiMesh& mesh, bool several)
{
    const bool tris = (mesh.mPrimitiveTypes & aiPrimitiveType_TRIANGLE) != 0 || mesh.mPrimitiveTypes == 0;
    size_t dropped = 0, bad = 0;
    if (!tris || !mesh.mVertices || mesh.mNumVertices == 0) {
        st.warn("mesh " + std::string(mesh.mName.C_Str()) + ": " + std::to_string(mesh.mNumFaces) +
                " points or lines dropped");
        return;
    }
    const bool flip = st.world0[node_index].Determinant() < 0.0f;
    std::vector<mesh_part> parts = mesh_parts(mesh, flip, dropped);
    if (parts.size() > 1)
        st.warn("mesh " + std::string(mesh.mName.C_Str()) + ": split into " + std::to_string(parts.size()) +
                " objects to fit 500001 vertices and faces");
    const aiNode& node = *st.nodes[node_index].node;
    for (size_t p = 0; p < parts.size(); ++p)
        mesh_add_part(st, node_index, mesh, parts[p], mesh_object_name(st, node, mesh, several, p), bad);
    if (dropped)
        st.warn("mesh " + std::string(mesh.mName.C_Str()) + ": " + std::to_string(dropped) +
                " points, lines or bad faces dropped");
    if (bad)
        st.warn("mesh " + std::string(mesh.mName.C_Str()) + ": " + std::to_string(bad) +
                " non-finite vertex positions set to 0");
}

}  // namespace

void imp_meshes_map(imp_state& st)
{
    for (size_t i = 0; i < st.nodes.size(); ++i) {
        const aiNode& node = *st.nodes[i].node;
        for (unsigned m = 0; m < node.mNumMeshes; ++m) {
            unsigned index = node.mMeshes ? node.mMeshes[m] : st.ai.mNumMeshes;
            if (index >= st.ai.mNumMeshes || !st.ai.mMeshes[index])
                continue;
            mesh_instance(st, static_cast<int32_t>(i), *st.ai.mMeshes[index], node.mNumMeshes > 1);
        }
    }
}
