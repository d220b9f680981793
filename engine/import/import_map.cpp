// engine/import/import_map.cpp - an assimp scene in memory to a KST_SCENE.
//
// The order matters: nodes and their frame-0 transforms first (everything is
// baked against them), the frame count, the meshes (which map their materials
// and textures on first use), the bounds of what was mapped, then the lights
// and the camera that depend on the bounds, and last the key tracks, sampled
// frame by frame over the whole hierarchy. The joint matrices and morph
// weights of skinned and morphed objects are sampled before the bounds, which
// cover their poses. The objects are collected in a
// vector while the mapping runs and moved into the scene's arrays at the end;
// a fatal error on the way frees everything mapped so far.
//
// Axes: assimp hands files over Y-up (its own convention, which the glTF,
// Collada and 3DS readers convert to); the engine's world is Z-up, so every
// world transform starts with a quarter turn about X taking +Y to +Z (and the
// file's front, +Z, to -Y). FBX files that say they are Z-up, and files the
// caller declares Z-up (STL by default, any file with --up z), skip the turn;
// --up y turns even those. Units stay as the file has them
// (glTF: metres) unless a scale is given.
#include <assimp/postprocess.h>

#include <algorithm>

#include "engine/import/import_internal.h"
#include "engine/scene/prepare.h"
#include "support/error.h"
#include "support/mem.h"

namespace {

bool map_file_z_up(const aiScene& ai)
{
    int32_t up = 1;
    return ai.mMetaData && ai.mMetaData->Get("UpAxis", up) && up == 2;
}

aiMatrix4x4 map_axis(const aiScene& ai, const kst_import_options& opt)
{
    float s = opt.scale > 0.0f ? opt.scale : 1.0f;
    aiMatrix4x4 m;
    aiMatrix4x4::Scaling(aiVector3D(s, s, s), m);
    if (opt.up == "z" || (opt.up != "y" && map_file_z_up(ai)))
        return m;
    aiMatrix4x4 turn(1, 0, 0, 0,
                     0, 0, -1, 0,
                     0, 1, 0, 0,
                     0, 0, 0, 1);
    return turn * m;
}

void map_free_objects(std::vector<KST_OBJECT>& objects)
{
    for (KST_OBJECT& o : objects)
        kst_object_free(o);
    objects.clear();
}

void map_scene_fields(imp_state& st, KST_SCENE& scene, const std::string& name)
{
    kst_name_set(scene.NAME, name);
    scene.MAJORVERSION = 1;
    scene.MINORVERSION = 2;
    scene.FRAMES = st.frames;
    scene.DRAWDISTANCE = scene.CAMFAR;
    scene.SHADOWVALUE = 0.5f;
    scene.MATERIALS = static_cast<int32_t>(st.materials.size());
    scene.MATERIAL = mem_array<KST_MATERIAL>(scene.MATERIALS, "import materials");
    std::copy(st.materials.begin(), st.materials.end(), scene.MATERIAL);
    scene.OBJECTS = static_cast<int32_t>(st.objects.size());
    scene.OBJ = mem_array<KST_OBJECT>(scene.OBJECTS, "import objects");
    std::copy(st.objects.begin(), st.objects.end(), scene.OBJ);
    st.objects.clear();  // the scene owns their arrays now
    for (int32_t i = 0; i < scene.OBJECTS; ++i) {
        // The tracks hold each node's motion since frame 0, the pose the
        // vertices are baked in: the renderer plays them all.
        if (scene.OBJ[i].ROTKEYS > 0)
            scene.MOTION |= KST_MOTION_ROTATE;
        if (scene.OBJ[i].SCALEKEYS > 0)
            scene.MOTION |= KST_MOTION_SCALE;
    }
}

void map_run(imp_state& st, KST_SCENE& scene)
{
    imp_nodes_collect(st);
    imp_frames_choose(st);
    imp_meshes_map(st);
    if (st.objects.empty())
        fatal_raise(st.source + ": the file holds no triangle mesh");
    imp_frames_budget(st);
    imp_skin_sample(st);
    imp_bounds(st);
    imp_lights_map(st, scene);
    imp_camera_map(st, scene);
    imp_tracks_sample(st, scene);
}

}  // namespace

unsigned kst_import_assimp_flags()
{
    return aiProcess_Triangulate | aiProcess_JoinIdenticalVertices | aiProcess_GenSmoothNormals |
           aiProcess_SortByPType | aiProcess_ValidateDataStructure;
}

void kst_import_map(const aiScene& ai, const kst_import_options& options, const std::string& source,
                    KST_SCENE& scene, std::vector<kst_import_texture>& textures, kst_import_summary& summary)
{
    imp_state st(ai, options, source, textures, summary);
    st.axis = map_axis(ai, options);
    try {
        map_run(st, scene);
        std::string name = options.texture_prefix.empty() ? "model" : options.texture_prefix;
        map_scene_fields(st, scene, name);
    } catch (...) {
        map_free_objects(st.objects);
        KST_SCENE_FREE(scene);
        for (KST_LIGHT& l : scene.LIGHT)
            l.POSKEYS = 0;
        scene = KST_SCENE{};
        textures.clear();
        throw;
    }
    summary.objects = scene.OBJECTS;
    summary.materials = scene.MATERIALS;
    summary.textures = static_cast<int32_t>(textures.size());
    summary.frames = scene.FRAMES;
}
