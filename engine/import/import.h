// engine/import/import.h - model files in and out of Kestrel scenes, over assimp.
//
// FEATURES
//   - KST_IMPORT_FILE reads glTF 2.0, FBX, Collada, OBJ with its material
//     file, 3DS, PLY and STL files through assimp (kst_import_guard refuses
//     every other format by its extension) and writes a
//     scene file plus its 256 x 256 .raw textures; the scene is loaded back with
//     the engine's loader before the call succeeds.
//   - kst_import_map is the mapping itself, from an assimp scene in memory to a
//     KST_SCENE and the texture images it needs. The fuzz target drives it
//     through assimp's memory reader.
//   - KST_EXPORT_FILE writes a scene at one frame through assimp's exporter
//     (glb, gltf, obj, dae, ply, stl), textures converted to PNG.
// DEPENDENCIES
//   assimp (reading, post-processing, writing), stb (image decode, resize, PNG
//   encode), the scene module (preparation's neighbour search, writer, loader).
//   This is the only engine module that uses assimp; the demo does not link it.
// CONFIGURATION
//   kst_import_options below; every default is what `kestrel import` uses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/scene/records.h"

struct aiScene;
namespace Assimp {
class Importer;
}

// --- types --------------------------------------------------------------------
// The trial read (kst_import_read) is given ten minutes: far more than assimp
// takes for any model it reads properly.
constexpr unsigned kst_import_read_limit = 600;
// Every animated object costs three keys a frame; a very long animation over
// many objects is cut to this many keys rather than exhausting memory.
constexpr int64_t kst_import_key_budget = 30000000;

struct kst_import_options {
    std::string textures_dir;     // where .raw files go; "" = beside the scene file
    std::string texture_prefix;   // file-name prefix of the textures ("" = "model")
    std::string model_dir;        // folder that texture paths in the model are relative to
    float       fps = 40.0f;      // frames per second of the sampled tracks
    float       scale = 0.0f;     // 0: the file's units; otherwise this factor
    std::string camera;           // camera to use ("" = the first, "auto" = none: framed)
    std::string up;               // "z" or "y": the model's up axis; "" = as the file says
                                  // (FBX's UpAxis; Y-up otherwise, but Z-up for STL)
    std::string clip;             // animation clip by name or index ("" = the first)
    unsigned    read_seconds = kst_import_read_limit;  // time limit of the trial read
    int64_t     key_budget = kst_import_key_budget;    // most track keys sampled
};

// One texture the scene refers to: 256 x 256, first row at t = 0.
struct kst_import_texture {
    std::string          name;        // file name (also the material's TEXTNAME)
    int                  channels;    // 3 or 4
    std::vector<uint8_t> pixels;      // 256 * 256 * channels bytes
};

// One animation clip of the file: its name and its length in frames.
struct kst_import_clip {
    std::string name;
    int32_t     frames = 0;
};

struct kst_import_summary {
    int32_t                  objects = 0;
    int64_t                  faces = 0;
    int32_t                  materials = 0;
    int32_t                  textures = 0;
    int32_t                  frames = 0;
    int32_t                  lights = 0;
    bool                     camera_imported = false;
    std::vector<std::string> warnings;
    std::vector<kst_import_clip> clips;   // the file's animation clips, in file order
    int32_t                  skinned = 0; // objects with a skin or morph targets
};

// --- public functions -----------------------------------------------------------
// Post-processing steps the importer asks assimp for.
unsigned kst_import_assimp_flags();

// Maps an assimp scene onto `scene` (zero-initialised on entry; the caller owns
// the result and frees it with KST_SCENE_FREE) and collects the textures.
// Fatal (fatal_error naming `source`) for a scene with no triangle mesh or one
// beyond the design limits; nothing is left allocated in `scene` then.
void kst_import_map(const aiScene& ai, const kst_import_options& options, const std::string& source,
                    KST_SCENE& scene, std::vector<kst_import_texture>& textures,
                    kst_import_summary& summary);

// Refuses (fatal naming `source`) a model of a format the importer does not
// read (by its extension `ext`, "obj" or ".ply": glTF, FBX, Collada, OBJ,
// 3DS, STL and PLY are read), a PLY file whose header promises more elements
// than its `file_size` bytes can hold, or a Collada file whose index lists
// assimp's reader cannot walk, before assimp sees it: `head` is the start of
// the file, kst_import_guard_span(ext) bytes of it or all of it.
void kst_import_guard(const uint8_t* head, size_t head_size, uint64_t file_size, const std::string& ext,
                      const std::string& source);
uint64_t kst_import_guard_span(const std::string& ext);
// Takes every reader but those of the format of extension `ext` out of an
// assimp importer (all of them for a format the importer does not read), so
// that assimp cannot hand a file it finds is not of its format to the reader
// of another, past the guard's checks.
void kst_import_readers(Assimp::Importer& importer, const std::string& ext);

// Reads `path` with assimp for `kst_import_map`: the guard first
// (kst_import_guard, on the file's extension), then, with the other formats'
// readers taken out of `importer` (kst_import_readers), the reader and
// assimp's structure check, kst_import_meshes_check, and the post-processing
// steps of kst_import_assimp_flags. The same read runs first in a child
// process (fork), so that a file on which assimp crashes is fatal here
// instead, and a file the child cannot read is not read twice; a caller with
// threads of its own should know that. The child dies with the caller and
// is stopped after `seconds`. Fatal naming `source` for a file that
// cannot be read, is refused by the guard, crashes that read or runs past
// the limit, fails the check, or holds no mesh or no complete scene. The
// scene belongs to `importer`.
const aiScene& kst_import_read(Assimp::Importer& importer, const std::string& path, const std::string& source,
                               unsigned seconds = kst_import_read_limit);
// Refuses (fatal naming `source`, the mesh and the face) a scene whose meshes
// lack their lists, or hold a face with no corners or one past the mesh's
// vertices: what assimp's post-processing steps would walk unchecked.
void kst_import_meshes_check(const aiScene& ai, const std::string& source);

// Reads `model`, writes `out` and its textures, loads `out` back as a check.
// Fatal naming the file for anything unreadable; no output is left behind then.
void KST_IMPORT_FILE(const std::string& model, const std::string& out, const kst_import_options& options,
                     kst_import_summary& summary);

// Writes `scene` (loaded and prepared) posed at `frame` to `out`, the format
// chosen by its extension; textures are read from `data_dir`. Returns warnings.
std::vector<std::string> KST_EXPORT_FILE(const KST_SCENE& scene, const std::string& out, float frame,
                                         const std::string& data_dir);

// Image helpers shared by import and export (import_image.cpp).
// Decodes an encoded image (PNG, JPEG, TGA, BMP, ...) and resizes it to
// 256 x 256, flipped so the first row is the image's bottom row; false when
// the bytes are not an image.
bool kst_import_decode_image(const uint8_t* data, size_t size, kst_import_texture& texture);
// Resizes raw pixels (top row first) the same way.
void kst_import_resize_image(const uint8_t* pixels, int width, int height, int channels,
                             kst_import_texture& texture);
// PNG bytes of a .raw texture (rows flipped back to top-first).
std::string kst_export_png(const uint8_t* raw, int channels);
