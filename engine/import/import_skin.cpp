// engine/import/import_skin.cpp - skins and morph targets of imported meshes.
//
// A skinned mesh (aiBone) becomes an object with JOINTS joints: per vertex
// the four largest weights of the file (renormalised to sum 1, the rest
// dropped, as real-time engines do), per joint a bind matrix and, frame by
// frame, the joint's world matrix. The object's VERTEX holds the mesh baked
// into the world at frame 0 like any other object, so the bind matrix is the
// bone's offset matrix (mesh space -> joint space, assimp's inverse bind
// matrix) after the inverse of that baking: world = joint(t) * bind * VERTEX
// gives exactly joint(t) * offset * v, what glTF and assimp define. The joint
// matrices include the import's axis turn and scale, as every world transform
// here does. The mesh's own node plays no part in the skinned shape (glTF
// ignores it too), so a skinned object gets no node tracks.
//
// Morph targets (aiAnimMesh) are stored as offsets from the base shape, baked
// by the same matrices as the vertices and normals; their weights come from
// the clip's morph weight track of the mesh's node (or of the mesh's name),
// sampled at every frame and held at the ends, and otherwise from the
// targets' default weights.
//
// The framing of the imported model covers the skinned and morphed poses at
// up to 100 frames spread over the clip (imp_skin_bounds), since the rest
// shape is never what is drawn.
//
// Limits: arrays over the scene format's 500001 elements cannot be stored, so
// morph targets over that many offsets in all are dropped, and joint matrices
// are sampled for as many frames as fit (the pose then holds); both are
// warnings. A bone whose node is missing drops the object's skin (warned).
#include <algorithm>
#include <array>
#include <cmath>

#include "engine/import/import_internal.h"
#include "engine/scene/skin.h"
#include "support/mem.h"

namespace {

struct skin_influence {
    int32_t joint;
    float   weight;
};

void skin_matrix(KST_MATRIX& out, const aiMatrix4x4& m)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out.m[r][c] = std::isfinite(m[r][c]) ? m[r][c] : 0.0f;
}

int32_t skin_node_named(const imp_state& st, const aiString& name)
{
    auto it = st.node_by_name.find(name.C_Str());
    return it == st.node_by_name.end() ? -1 : it->second;
}

// The four largest influences of every source vertex, renormalised.
std::vector<std::array<skin_influence, 4>> skin_influences(const aiMesh& mesh)
{
    std::vector<std::vector<skin_influence>> all(mesh.mNumVertices);
    for (unsigned b = 0; b < mesh.mNumBones; ++b) {
        const aiBone* bone = mesh.mBones[b];
        for (unsigned w = 0; bone && bone->mWeights && w < bone->mNumWeights; ++w) {
            const aiVertexWeight& vw = bone->mWeights[w];
            if (vw.mVertexId < mesh.mNumVertices && std::isfinite(vw.mWeight) && vw.mWeight > 0.0f)
                all[vw.mVertexId].push_back({static_cast<int32_t>(b), vw.mWeight});
        }
    }
    std::vector<std::array<skin_influence, 4>> out(mesh.mNumVertices);
    for (size_t v = 0; v < all.size(); ++v) {
        auto& list = all[v];
        std::sort(list.begin(), list.end(), [](const skin_influence& a, const skin_influence& b) {
            return a.weight != b.weight ? a.weight > b.weight : a.joint < b.joint;
        });
        float total = 0.0f;
        for (size_t k = 0; k < list.size() && k < 4; ++k)
            total += list[k].weight;
        for (size_t k = 0; k < 4; ++k)
            out[v][k] = k < list.size() && total > 0.0f ? skin_influence{list[k].joint, list[k].weight / total}
                                                        : skin_influence{0, 0.0f};
    }
    return out;
}

// The joints of the mesh's bones; false (warned) when a bone's node is missing.
bool skin_joints(imp_state& st, const aiMesh& mesh, imp_skin& skin)
{
    for (unsigned b = 0; b < mesh.mNumBones; ++b) {
        int32_t node = mesh.mBones[b] ? skin_node_named(st, mesh.mBones[b]->mName) : -1;
        if (node < 0) {
            st.warn("mesh " + std::string(mesh.mName.C_Str()) + ": the node of bone " +
                    (mesh.mBones[b] ? mesh.mBones[b]->mName.C_Str() : "?") + " is missing; bind pose imported");
            return false;
        }
        skin.joint_node.push_back(node);
    }
    return true;
}

void skin_fill_joints(imp_state& st, KST_OBJECT& o, const aiMesh& mesh, const std::vector<uint32_t>& source,
                      int32_t node)
{
    auto influences = skin_influences(mesh);
    o.SKINJOINT = mem_array<KST_JOINTSET>(o.VERTICES, "import skin joints");
    o.SKINWEIGHT = mem_array<KST_WEIGHTSET>(o.VERTICES, "import skin weights");
    for (int32_t i = 0; i < o.VERTICES; ++i) {
        const auto& f = influences[source[i]];
        o.SKINJOINT[i] = {f[0].joint, f[1].joint, f[2].joint, f[3].joint};
        o.SKINWEIGHT[i] = {f[0].weight, f[1].weight, f[2].weight, f[3].weight};
    }
    o.JOINTS = static_cast<int32_t>(mesh.mNumBones);
    o.JOINTBIND = mem_array<KST_MATRIX>(o.JOINTS, "import joint bind matrices");
    aiMatrix4x4 unbake = st.world0[node];
    unbake.Inverse();
    for (int32_t j = 0; j < o.JOINTS; ++j)
        skin_matrix(o.JOINTBIND[j], mesh.mBones[j]->mOffsetMatrix * unbake);
}

// Morph offsets of every target, baked like the vertices; false (warned) when
// they do not fit one array.
bool skin_fill_morphs(imp_state& st, KST_OBJECT& o, const aiMesh& mesh, const std::vector<uint32_t>& source,
                      int32_t node)
{
    int64_t offsets = static_cast<int64_t>(mesh.mNumAnimMeshes) * o.VERTICES;
    if (offsets > KST_MAX_ARRAY) {
        st.warn("mesh " + std::string(mesh.mName.C_Str()) + ": " + std::to_string(mesh.mNumAnimMeshes) +
                " morph targets are more than a scene stores for its vertices; base shape imported");
        return false;
    }
    const aiMatrix4x4& world = st.world0[node];
    const aiMatrix3x3 turn(world);
    const aiMatrix3x3 normal_turn = aiMatrix3x3(world).Inverse().Transpose();
    o.MORPHS = static_cast<int32_t>(mesh.mNumAnimMeshes);
    o.MORPHVERTEX = mem_array<KST_VECTOR>(offsets, "import morph offsets");
    bool normals = o.VERTEXNORMAL && mesh.mNormals;
    for (unsigned m = 0; m < mesh.mNumAnimMeshes; ++m)
        normals = normals && mesh.mAnimMeshes[m] && mesh.mAnimMeshes[m]->mNormals;
    if (normals)
        o.MORPHNORMAL = mem_array<KST_VECTOR>(offsets, "import morph normal offsets");
    for (unsigned m = 0; m < mesh.mNumAnimMeshes; ++m) {
        const aiAnimMesh* target = mesh.mAnimMeshes[m];
        for (int32_t i = 0; target && target->mVertices && i < o.VERTICES; ++i) {
            uint32_t v = source[i];
            if (v >= target->mNumVertices)
                continue;
            size_t at = static_cast<size_t>(m) * o.VERTICES + i;
            aiVector3D d = turn * (target->mVertices[v] - mesh.mVertices[v]);
            if (std::isfinite(d.x) && std::isfinite(d.y) && std::isfinite(d.z))
                o.MORPHVERTEX[at] = imp_vec(d);
            if (normals && v < target->mNumVertices) {
                aiVector3D n = normal_turn * (target->mNormals[v] - mesh.mNormals[v]);
                if (std::isfinite(n.x) && std::isfinite(n.y) && std::isfinite(n.z))
                    o.MORPHNORMAL[at] = imp_vec(n);
            }
        }
    }
    return true;
}

// The clip's morph weight track for the mesh: named after its node or itself.
void skin_morph_track(const imp_state& st, const aiMesh& mesh, int32_t node, imp_skin& skin)
{
    const aiString& node_name = st.nodes[node].node->mName;
    for (size_t a = 0; a < st.clip_use.size(); ++a) {
        const aiAnimation* anim = st.ai.mAnimations[a];
        if (!st.clip_use[a] || !anim || !anim->mMorphMeshChannels)
            continue;
        for (unsigned c = 0; c < anim->mNumMorphMeshChannels; ++c) {
            const aiMeshMorphAnim* ch = anim->mMorphMeshChannels[c];
            if (ch && ch->mKeys && ch->mNumKeys > 0 && (ch->mName == node_name || ch->mName == mesh.mName)) {
                skin.morph = ch;
                skin.morph_ticks = anim->mTicksPerSecond > 0.0 ? anim->mTicksPerSecond : 25.0;
                return;
            }
        }
    }
}

// Weight of target m in one key (0 when the key does not name it).
float skin_key_weight(const aiMeshMorphKey& key, unsigned m)
{
    for (unsigned k = 0; key.mValues && key.mWeights && k < key.mNumValuesAndWeights; ++k)
        if (key.mValues[k] == m)
            return std::isfinite(key.mWeights[k]) ? static_cast<float>(key.mWeights[k]) : 0.0f;
    return 0.0f;
}

// Target weights at `seconds`: linear between the keys around it, the end
// keys held; the targets' default weights without a track.
void skin_weights_at(const imp_skin& skin, int32_t morphs, double seconds, float* out)
{
    const aiMeshMorphAnim* ch = skin.morph;
    if (!ch) {
        for (int32_t m = 0; m < morphs; ++m) {
            const aiAnimMesh* t = skin.mesh->mAnimMeshes[m];
            out[m] = t && std::isfinite(t->mWeight) ? t->mWeight : 0.0f;
        }
        return;
    }
    double t = seconds * skin.morph_ticks;
    unsigned i = 0;
    while (i + 1 < ch->mNumKeys && ch->mKeys[i + 1].mTime <= t)
        ++i;
    const aiMeshMorphKey& a = ch->mKeys[i];
    const aiMeshMorphKey& b = ch->mKeys[std::min(i + 1, ch->mNumKeys - 1)];
    double f = b.mTime > a.mTime ? std::clamp((t - a.mTime) / (b.mTime - a.mTime), 0.0, 1.0) : 0.0;
    for (int32_t m = 0; m < morphs; ++m) {
        float wa = skin_key_weight(a, static_cast<unsigned>(m)), wb = skin_key_weight(b, static_cast<unsigned>(m));
        out[m] = static_cast<float>(wa + (wb - wa) * f);
    }
}

// Frames that fit one array of `per_frame` elements each (at most frames + 1).
int32_t skin_frames_fitting(imp_state& st, const KST_OBJECT& o, int32_t per_frame)
{
    int32_t want = st.frames + 1;
    if (per_frame <= 0 || static_cast<int64_t>(want) * per_frame <= KST_MAX_ARRAY)
        return want;
    int32_t fit = std::max<int32_t>(1, KST_MAX_ARRAY / per_frame);
    st.warn("object " + kst_name_get(o.NAME) + ": its skin or morph weights are sampled for the first " +
            std::to_string(fit) + " frames only; the last pose holds after them");
    return fit;
}

}  // namespace

void imp_skin_part(imp_state& st, size_t object, const aiMesh& mesh, const std::vector<uint32_t>& source,
                   int32_t node)
{
    KST_OBJECT& o = st.objects[object];
    imp_skin skin{object, &mesh, node, {}, nullptr, 25.0};
    bool joints = mesh.HasBones() && mesh.mBones && skin_joints(st, mesh, skin);
    if (joints)
        skin_fill_joints(st, o, mesh, source, node);
    bool morphs = mesh.mNumAnimMeshes > 0 && mesh.mAnimMeshes && skin_fill_morphs(st, o, mesh, source, node);
    if (morphs)
        skin_morph_track(st, mesh, node, skin);
    if (joints || morphs) {
        st.skins.push_back(std::move(skin));
        ++st.summary.skinned;
    }
}

double imp_morph_seconds(const imp_state& st)
{
    double longest = -1.0;
    for (size_t a = 0; a < st.clip_use.size(); ++a) {
        const aiAnimation* anim = st.ai.mAnimations[a];
        if (!st.clip_use[a] || !anim || anim->mNumMorphMeshChannels == 0)
            continue;
        double ticks = anim->mTicksPerSecond > 0.0 ? anim->mTicksPerSecond : 25.0;
        longest = std::max(longest, std::max(0.0, anim->mDuration) / ticks);
    }
    return longest;
}

void imp_skin_sample(imp_state& st)
{
    if (st.skins.empty())
        return;
    std::vector<int32_t> frames(st.skins.size());
    int32_t most = 1;
    for (size_t s = 0; s < st.skins.size(); ++s) {
        KST_OBJECT& o = st.objects[st.skins[s].object];
        frames[s] = skin_frames_fitting(st, o, std::max(o.JOINTS, o.MORPHS));
        most = std::max(most, frames[s]);
        o.SKINFRAMES = frames[s];
        if (o.JOINTS > 0)
            o.JOINTMATRIX = mem_array<KST_MATRIX>(static_cast<int64_t>(o.JOINTS) * frames[s], "import joint matrices");
        if (o.MORPHS > 0)
            o.MORPHWEIGHT = mem_array<float>(static_cast<int64_t>(o.MORPHS) * frames[s], "import morph weights");
    }
    std::vector<aiMatrix4x4> world = st.world0;
    for (int32_t k = 0; k < most; ++k) {
        double seconds = k / static_cast<double>(st.opt.fps);
        if (k > 0)
            imp_world_at(st, seconds, world);
        for (size_t s = 0; s < st.skins.size(); ++s) {
            if (k >= frames[s])
                continue;
            const imp_skin& skin = st.skins[s];
            KST_OBJECT& o = st.objects[skin.object];
            for (int32_t j = 0; j < o.JOINTS; ++j)
                skin_matrix(o.JOINTMATRIX[static_cast<size_t>(k) * o.JOINTS + j],
                            world[static_cast<size_t>(skin.joint_node[j])]);
            if (o.MORPHS > 0)
                skin_weights_at(skin, o.MORPHS, seconds, o.MORPHWEIGHT + static_cast<size_t>(k) * o.MORPHS);
        }
    }
}

void imp_skin_bounds(const imp_state& st, const std::function<void(const aiVector3D&)>& add)
{
    std::vector<KST_VECTOR> pose;
    for (const imp_skin& skin : st.skins) {
        const KST_OBJECT& o = st.objects[skin.object];
        if (!kst_skin_deforms(o))
            continue;
        pose.resize(static_cast<size_t>(o.VERTICES));
        const int32_t samples = std::min(o.SKINFRAMES, 100);
        for (int32_t s = 0; s < samples; ++s) {
            float frame = samples > 1 ? static_cast<float>(o.SKINFRAMES - 1) * s / (samples - 1) : 0.0f;
            kst_skin_compute(o, o.VERTEX, nullptr, frame, pose.data(), nullptr);
            for (const KST_VECTOR& v : pose)
                add(aiVector3D(v.X, v.Y, v.Z));
        }
    }
}
