// engine/import/import_anim.cpp - the node hierarchy and its animation.
//
// The tree is flattened depth first into a list in which every parent comes
// before its children, so world transforms are one pass of parent * local.
// Animation channels are found by node name across the animations of the
// chosen clip; a node plays its channel in that animation's own tick rate, and
// FRAMES covers the clip's longest animation (node or morph weight tracks) at
// the chosen frame rate.
//
// Clips. A file may hold several animations that each move the whole model
// (glTF characters: walk, run, ...), or split one animation into one per
// channel (Collada files often do). `--clip` picks one animation by name or
// index. By default the first is taken, together with every later animation
// that moves only nodes the ones taken so far leave alone: the parts of a
// split animation join, alternative takes of the same nodes do not. Channels are evaluated the way
// assimp defines them: linear position and scale, spherical linear rotation,
// the first or last key held outside the key range.
#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "engine/import/import_internal.h"
#include "support/error.h"

namespace {

constexpr size_t anim_max_nodes = 1000000;   // guard against absurd trees
constexpr int32_t anim_max_frames = KST_MAX_ARRAY - 1;

double anim_ticks(const aiAnimation& a)
{
    return a.mTicksPerSecond > 0.0 ? a.mTicksPerSecond : 25.0;
}

template <class Key>
size_t anim_segment(const Key* keys, unsigned n, double t)
{
    // Index of the last key at or before t (0 when t is before the first).
    size_t lo = 0, hi = n;
    while (hi - lo > 1) {
        size_t mid = (lo + hi) / 2;
        if (keys[mid].mTime <= t)
            lo = mid;
        else
            hi = mid;
    }
    return lo;
}

double anim_fraction(double t0, double t1, double t)
{
    if (!(t1 > t0))
        return 0.0;
    return std::clamp((t - t0) / (t1 - t0), 0.0, 1.0);
}

aiVector3D anim_vector(const aiVectorKey* keys, unsigned n, double t, const aiVector3D& fallback)
{
    if (n == 0 || !keys)
        return fallback;
    size_t i = anim_segment(keys, n, t);
    if (i + 1 >= n || t <= keys[i].mTime)
        return keys[i].mValue;
    float f = static_cast<float>(anim_fraction(keys[i].mTime, keys[i + 1].mTime, t));
    return keys[i].mValue + (keys[i + 1].mValue - keys[i].mValue) * f;
}

aiQuaternion anim_quat(const aiQuatKey* keys, unsigned n, double t, const aiQuaternion& fallback)
{
    if (n == 0 || !keys)
        return fallback;
    size_t i = anim_segment(keys, n, t);
    if (i + 1 >= n || t <= keys[i].mTime)
        return keys[i].mValue;
    float f = static_cast<float>(anim_fraction(keys[i].mTime, keys[i + 1].mTime, t));
    aiQuaternion out;
    aiQuaternion::Interpolate(out, keys[i].mValue, keys[i + 1].mValue, f);
    return out.Normalize();
}

aiMatrix4x4 anim_local(const imp_node& n, double seconds)
{
    if (!n.channel)
        return n.node->mTransformation;
    aiVector3D s, p;
    aiQuaternion r;
    n.node->mTransformation.Decompose(s, r, p);
    double t = std::min(seconds * n.ticks, n.duration);
    const aiNodeAnim& c = *n.channel;
    p = anim_vector(c.mPositionKeys, c.mNumPositionKeys, t, p);
    r = anim_quat(c.mRotationKeys, c.mNumRotationKeys, t, r);
    s = anim_vector(c.mScalingKeys, c.mNumScalingKeys, t, s);
    return aiMatrix4x4(s, r, p);
}

// Frames of one animation at the import's frame rate.
int32_t anim_clip_frames(const imp_state& st, const aiAnimation& a)
{
    double frames = std::round(std::max(0.0, a.mDuration) / anim_ticks(a) * st.opt.fps);
    return static_cast<int32_t>(std::min<double>(frames, anim_max_frames));
}

// The animation `--clip` names: by name first, then by index; fatal otherwise.
unsigned anim_clip_named(const imp_state& st)
{
    const std::string& want = st.opt.clip;
    for (unsigned a = 0; a < st.ai.mNumAnimations; ++a)
        if (st.ai.mAnimations[a] && want == st.ai.mAnimations[a]->mName.C_Str())
            return a;
    if (!want.empty() && want.size() < 10 && std::all_of(want.begin(), want.end(), ::isdigit)) {
        unsigned long index = std::stoul(want);
        if (index < st.ai.mNumAnimations)
            return static_cast<unsigned>(index);
    }
    std::string names;
    for (const kst_import_clip& c : st.summary.clips)
        names += (names.empty() ? "" : ", ") + ("\"" + c.name + "\"");
    fatal_raise(st.source + ": no animation clip \"" + want + "\"; the file has " +
                std::to_string(st.ai.mNumAnimations) + (names.empty() ? "" : " (" + names + ")") +
                ", chosen by name or by index from 0");
}

// Nodes (by name) an animation moves, node channels and morph weight channels.
std::set<std::string> anim_targets(const aiAnimation& a)
{
    std::set<std::string> out;
    for (unsigned c = 0; c < a.mNumChannels; ++c)
        if (a.mChannels && a.mChannels[c])
            out.insert(a.mChannels[c]->mNodeName.C_Str());
    for (unsigned c = 0; c < a.mNumMorphMeshChannels; ++c)
        if (a.mMorphMeshChannels && a.mMorphMeshChannels[c])
            out.insert(a.mMorphMeshChannels[c]->mName.C_Str());
    return out;
}

void anim_clip_choose(imp_state& st)
{
    const unsigned n = st.ai.mAnimations ? st.ai.mNumAnimations : 0;
    st.clip_use.assign(n, false);
    st.summary.clips.clear();
    for (unsigned a = 0; a < n; ++a) {
        const aiAnimation* anim = st.ai.mAnimations[a];
        st.summary.clips.push_back({anim ? anim->mName.C_Str() : "", anim ? anim_clip_frames(st, *anim) : 0});
    }
    if (n == 0 && !st.opt.clip.empty())
        fatal_raise(st.source + ": no animation clip \"" + st.opt.clip + "\"; the file has no animations");
    if (n == 0)
        return;
    if (!st.opt.clip.empty()) {
        st.clip_use[anim_clip_named(st)] = true;
        return;
    }
    std::set<std::string> moved;
    for (unsigned a = 0; a < n; ++a) {
        if (!st.ai.mAnimations[a])
            continue;
        std::set<std::string> targets = anim_targets(*st.ai.mAnimations[a]);
        bool apart = std::none_of(targets.begin(), targets.end(), [&](const std::string& t) { return moved.count(t); });
        if (a > 0 && !apart)
            continue;
        st.clip_use[a] = true;
        moved.insert(targets.begin(), targets.end());
    }
}

// Nodes by name, for channels and bones, which name their nodes. Names need
// not be unique: exported characters often have a mesh node and a joint of
// the same name (a "Foot.L" mesh and a "Foot.L" bone). The joint, a node
// without meshes, is the one tracks and bones mean; otherwise the first
// node of the name in the depth-first order.
void anim_names(imp_state& st)
{
    for (size_t i = 0; i < st.nodes.size(); ++i) {
        const aiNode* n = st.nodes[i].node;
        auto [it, added] = st.node_by_name.emplace(n->mName.C_Str(), static_cast<int32_t>(i));
        if (!added && st.nodes[it->second].node->mNumMeshes > 0 && n->mNumMeshes == 0)
            it->second = static_cast<int32_t>(i);
    }
}

// Channels by node name: the first channel found for a name wins.
void anim_channels(imp_state& st)
{
    anim_clip_choose(st);
    anim_names(st);
    const auto& by_name = st.node_by_name;
    for (unsigned a = 0; a < st.clip_use.size(); ++a) {
        const aiAnimation* anim = st.ai.mAnimations[a];
        if (!anim || !st.clip_use[a])
            continue;
        for (unsigned c = 0; c < anim->mNumChannels; ++c) {
            const aiNodeAnim* ch = anim->mChannels[c];
            if (!ch)
                continue;
            auto it = by_name.find(ch->mNodeName.C_Str());
            if (it == by_name.end() || st.nodes[it->second].channel)
                continue;
            imp_node& n = st.nodes[it->second];
            n.channel = ch;
            n.ticks = anim_ticks(*anim);
            n.duration = std::max(0.0, anim->mDuration);
        }
    }
}

}  // namespace

void imp_nodes_collect(imp_state& st)
{
    if (!st.ai.mRootNode)
        return;
    std::vector<std::pair<const aiNode*, int32_t>> stack{{st.ai.mRootNode, -1}};
    while (!stack.empty()) {
        auto [node, parent] = stack.back();
        stack.pop_back();
        if (st.nodes.size() >= anim_max_nodes)
            fatal_raise(st.source + ": the node hierarchy is too large");
        int32_t self = static_cast<int32_t>(st.nodes.size());
        st.nodes.push_back({node, parent, nullptr, 25.0, 0.0, false});
        for (unsigned i = node->mNumChildren; i-- > 0;)
            if (node->mChildren && node->mChildren[i])
                stack.push_back({node->mChildren[i], self});
    }
    anim_channels(st);
    for (imp_node& n : st.nodes)
        n.animated = n.channel || (n.parent >= 0 && st.nodes[n.parent].animated);
    imp_world_at(st, 0.0, st.world0);
}

void imp_frames_choose(imp_state& st)
{
    double longest = 0.0;
    for (const imp_node& n : st.nodes)
        if (n.channel) {
            st.any_animation = true;
            longest = std::max(longest, n.duration / n.ticks);
        }
    double morph = imp_morph_seconds(st);
    if (morph >= 0.0) {
        st.any_animation = true;
        longest = std::max(longest, morph);
    }
    double frames = std::round(longest * st.opt.fps);
    if (frames > anim_max_frames) {
        st.warn("animation cut to " + std::to_string(anim_max_frames) + " frames");
        frames = anim_max_frames;
    }
    st.frames = st.any_animation ? std::max(1, static_cast<int32_t>(frames)) : 0;
}

void imp_world_at(const imp_state& st, double seconds, std::vector<aiMatrix4x4>& world)
{
    world.resize(st.nodes.size());
    for (size_t i = 0; i < st.nodes.size(); ++i) {
        const imp_node& n = st.nodes[i];
        if (seconds > 0.0 && !n.animated)
            continue;  // static: the frame-0 value already in place
        aiMatrix4x4 local = anim_local(n, seconds);
        world[i] = n.parent >= 0 ? world[n.parent] * local : st.axis * local;
    }
}
