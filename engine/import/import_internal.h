// engine/import/import_internal.h - state shared by the importer's source files.
//
// The mapping runs in one pass over a flattened node list: every node gets its
// world transform (the file's axes and units already turned into the engine's
// Z-up world) at frame 0 and, for animated nodes, at every frame. Meshes,
// lights and the camera read those transforms; materials and textures are
// mapped on first use so that only what the scene draws is counted.
#pragma once

#include <assimp/scene.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/import/import.h"

struct imp_node {
    const aiNode*     node;
    int32_t           parent;        // index in the node list, -1 for the root
    const aiNodeAnim* channel;       // its animation channel or nullptr
    double            ticks;         // ticks per second of that channel's animation
    double            duration;      // duration of that animation in ticks
    bool              animated;      // it or an ancestor has a channel
};

// Names handed out so far, and the next suffix to try per base name (so that
// thousands of nodes of one name stay linear).
struct imp_names {
    std::set<std::string>      used;
    std::map<std::string, int> next;
};

// A skinned or morphed object while it is mapped: the nodes of its joints,
// and the mesh and node its morph targets and their weight track come from.
struct imp_skin {
    size_t                 object;        // index in imp_state::objects
    const aiMesh*          mesh;
    int32_t                node;          // the mesh's node
    std::vector<int32_t>   joint_node;    // node per joint (JOINTS of them)
    const aiMeshMorphAnim* morph = nullptr;  // weight track of the chosen clip, or none
    double                 morph_ticks = 25.0;
};

struct imp_material {
    int32_t index = -1;   // KST material index
    int32_t pass = 0;     // PASSNO for objects using it
    bool    two_sided = false;
};

struct imp_state {
    const aiScene&             ai;
    const kst_import_options&  opt;
    std::string                source;
    std::vector<kst_import_texture>& textures;
    kst_import_summary&        summary;

    aiMatrix4x4                axis;          // file space -> engine world
    std::vector<imp_node>      nodes;
    std::vector<aiMatrix4x4>   world0;        // per node, frame 0
    int32_t                    frames = 0;    // FRAMES; keys run 0..frames
    bool                       any_animation = false;
    std::map<std::string, int32_t> node_by_name;  // see imp_nodes_collect
    std::vector<bool>          clip_use;      // per animation: part of the chosen clip
    std::vector<imp_skin>      skins;         // objects with a skin or morph targets

    std::vector<KST_MATERIAL>  materials;
    std::map<unsigned, imp_material> material_map;
    imp_names                  material_names;
    std::map<std::pair<std::string, int>, std::string> texture_cache;  // (source, opacity) -> name
    std::set<std::string>      texture_names;

    std::vector<KST_OBJECT>    objects;
    std::vector<int32_t>       object_node;   // node index per object
    imp_names                  object_names;

    std::vector<int32_t>       light_node;    // node index per imported light (-1 none)
    int32_t                    camera_node = -1;
    const aiCamera*            camera = nullptr;

    aiVector3D                 centre{0, 0, 0};
    float                      radius = 1.0f;
    aiVector3D                 extent{0, 0, 0};   // bounding box size

    imp_state(const aiScene& a, const kst_import_options& o, const std::string& s,
              std::vector<kst_import_texture>& t, kst_import_summary& m)
        : ai(a), opt(o), source(s), textures(t), summary(m) {}
    void warn(const std::string& text) { summary.warnings.push_back(text); }
};

// import_anim.cpp
void    imp_nodes_collect(imp_state& st);
void    imp_frames_choose(imp_state& st);
void    imp_world_at(const imp_state& st, double seconds, std::vector<aiMatrix4x4>& world);
// import_skin.cpp
void    imp_skin_part(imp_state& st, size_t object, const aiMesh& mesh, const std::vector<uint32_t>& source,
                      int32_t node);
void    imp_skin_sample(imp_state& st);
// Adds the poses of skinned and morphed objects (at up to 100 frames) to bounds.
void    imp_skin_bounds(const imp_state& st, const std::function<void(const aiVector3D&)>& add);
double  imp_morph_seconds(const imp_state& st);   // longest morph weight track of the clip
// import_material.cpp
imp_material imp_material_get(imp_state& st, unsigned ai_index);
// import_mesh.cpp
void    imp_meshes_map(imp_state& st);
// import_view.cpp: lights, camera, bounds, tracks
void    imp_bounds(imp_state& st);
void    imp_frames_budget(imp_state& st);   // FRAMES cut to the options' key budget
void    imp_lights_map(imp_state& st, KST_SCENE& scene);
void    imp_camera_map(imp_state& st, KST_SCENE& scene);
void    imp_tracks_sample(imp_state& st, KST_SCENE& scene);
std::string imp_unique_name(imp_names& names, const std::string& base);
std::string imp_lower(std::string s);   // ASCII lower case (extensions, file names)
std::string imp_lower_ext(const std::string& path);  // "a/B.DAE" -> ".dae", "" for none
KST_VECTOR  imp_vec(const aiVector3D& v);
