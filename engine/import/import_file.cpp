// engine/import/import_file.cpp - `kestrel import` from file to file.
//
// assimp reads the model (its readers find the format from the contents and
// the extension, and pull in side files such as .mtl and .bin themselves);
// kst_import_map builds the scene in memory. Nothing is written until the
// scene has been saved to bytes and read back through the engine's loader.
// Then the textures and the scene file are written, each atomically, and the
// scene file is loaded once more from disk. A failure at any point removes
// every file this call wrote, so a failed import leaves nothing behind.
#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "engine/import/import.h"
#include "engine/scene/loader.h"
#include "engine/scene/prepare.h"
#include "engine/scene/writer.h"
#include "support/atomic_file.h"
#include "support/error.h"

namespace fs = std::filesystem;

namespace {

std::string file_lower_ext(const std::string& path)
{
    std::string e = fs::path(path).extension().string();
    std::transform(e.begin(), e.end(), e.begin(), [](unsigned char c) { return std::tolower(c); });
    return e;
}

// The scene written and read back from memory: what the file will hold loads.
void file_check_bytes(const KST_SCENE& scene, const std::string& out)
{
    std::string bytes = kst_scene_save_bytes(scene);
    KST_SCENE check{};
    kst_scene_load_bytes(check, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), out);
    bool same = check.OBJECTS == scene.OBJECTS && kst_scene_total_faces(check) == kst_scene_total_faces(scene);
    KST_SCENE_FREE(check);
    if (!same)
        fatal_raise(out + ": the scene does not read back as written");
}

void file_write_all(const KST_SCENE& scene, const std::vector<kst_import_texture>& textures,
                    const std::string& out, const std::string& dir, std::vector<std::string>& written)
{
    for (const kst_import_texture& t : textures) {
        std::string path = (fs::path(dir) / t.name).string();
        atomic_file f(path);
        f.write(t.pixels.data(), t.pixels.size());
        f.commit();
        written.push_back(path);
    }
    KST_SCENE_SAVE(scene, out);
    written.push_back(out);
    KST_SCENE check{};
    KST_SCENE_LOAD(check, out);
    bool same = check.OBJECTS == scene.OBJECTS;
    KST_SCENE_FREE(check);
    if (!same)
        fatal_raise(out + ": the written scene does not load back");
}

}  // namespace

void KST_IMPORT_FILE(const std::string& model, const std::string& out, const kst_import_options& options_in,
                     kst_import_summary& summary)
{
    std::error_code ec;
    if (!fs::is_regular_file(model, ec))
        fatal_raise(model + ": cannot open the model file");
    kst_import_options options = options_in;
    options.model_dir = fs::path(model).parent_path().string();
    if (options.model_dir.empty())
        options.model_dir = ".";
    if (options.texture_prefix.empty())
        options.texture_prefix = fs::path(out).stem().string();
    if (file_lower_ext(model) == ".stl")
        options.z_up = true;
    std::string dir = options.textures_dir;
    if (dir.empty())
        dir = fs::path(out).parent_path().string();
    if (dir.empty())
        dir = ".";

    Assimp::Importer importer;
    const aiScene* ai = importer.ReadFile(model, kst_import_assimp_flags());
    if (!ai) {
        std::string why = importer.GetErrorString();
        fatal_raise(model + ": cannot read the model" + (why.empty() ? std::string() : ": " + why));
    }
    if (!ai->mRootNode || ai->mNumMeshes == 0)
        fatal_raise(model + ": the file holds no mesh");
    if (ai->mFlags & AI_SCENE_FLAGS_INCOMPLETE)
        fatal_raise(model + ": the file holds no complete scene");

    KST_SCENE scene{};
    std::vector<kst_import_texture> textures;
    kst_import_map(*ai, options, model, scene, textures, summary);
    std::vector<std::string> written;
    try {
        file_check_bytes(scene, out);
        file_write_all(scene, textures, out, dir, written);
    } catch (...) {
        for (const std::string& p : written)
            fs::remove(p, ec);
        KST_SCENE_FREE(scene);
        throw;
    }
    KST_SCENE_FREE(scene);
}
