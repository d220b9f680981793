// engine/import/import_file.cpp - `kestrel import` from file to file.
//
// assimp reads the model (its readers find the format from the contents and
// the extension, and pull in side files such as .mtl and .bin themselves;
// kst_import_read checks the meshes before assimp's post-processing steps);
// kst_import_map builds the scene in memory. What assimp cannot read safely
// (header counts the file's size cannot hold, index lists its reader cannot
// walk) is refused before assimp sees it. Nothing is written until the scene
// has been saved to bytes and read back through the engine's loader.
// Then the textures and the scene file are written to temporary files, the
// scene file is loaded once more from disk and every texture it names is
// checked to bind from the folder the renderer reads it from, and only then
// are they all renamed into place together. A failure at any point leaves
// every file as it was: nothing of this import, and nothing of another
// scene's overwritten.
//
// assimp's readers step over much that is wrong with a file (a material that
// does not exist, an unsupported track) and only say so in their log. Those
// errors are collected while the file is read and passed on as warnings of the
// summary, so that nothing is dropped without the user hearing of it.
#include <assimp/DefaultLogger.hpp>
#include <assimp/Importer.hpp>
#include <assimp/LogStream.hpp>
#include <assimp/scene.h>

#include <algorithm>
#include <filesystem>

#include "engine/import/import_internal.h"
#include "engine/scene/loader.h"
#include "engine/scene/prepare.h"
#include "engine/scene/textures.h"
#include "engine/scene/writer.h"  // kst_scene_save_bytes: KST_SCENE_SAVE's bytes
#include "support/atomic_file.h"
#include "support/error.h"

namespace fs = std::filesystem;

namespace {

// The longest "folder/name" of a texture the texture manager reads whole.
constexpr size_t file_path_max = 255;

// Collects the error lines assimp logs while one file is read.
struct file_log : Assimp::LogStream {
    std::vector<std::string> errors;
    void write(const char* message) override
    {
        std::string m = message ? message : "";
        if (m.rfind("Error, T0: ", 0) == 0)
            m = m.substr(11);
        while (!m.empty() && (m.back() == '\n' || m.back() == '\r'))
            m.pop_back();
        if (errors.size() < 8)
            errors.push_back(m);
    }
};

// The logger lives for one read; assimp's logger is global, so it is put back
// to the silent default afterwards.
struct file_log_scope {
    file_log* stream = new file_log;
    file_log_scope()
    {
        Assimp::DefaultLogger::create("", Assimp::Logger::NORMAL, 0);
        Assimp::DefaultLogger::get()->attachStream(stream, Assimp::Logger::Err);
    }
    ~file_log_scope() { Assimp::DefaultLogger::kill(); }
    file_log_scope(const file_log_scope&) = delete;
    file_log_scope& operator=(const file_log_scope&) = delete;
};

// The bytes of the scene file, read back from memory through the engine's
// loader: what the file will hold loads. The writer packs every array at
// zlib's best level, the costliest step of an import, so this is done once
// and the same bytes are written to the file.
std::string file_checked_bytes(const KST_SCENE& scene, const std::string& out)
{
    std::string bytes = kst_scene_save_bytes(scene);
    KST_SCENE check{};
    kst_scene_load_bytes(check, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), out);
    bool same = check.OBJECTS == scene.OBJECTS && kst_scene_total_faces(check) == kst_scene_total_faces(scene);
    KST_SCENE_FREE(check);
    if (!same)
        fatal_raise(out + ": the scene does not read back as written");
    return bytes;
}

// Every textured material of the scene, bound as the renderer binds it from
// `dir`, must read one of the textures written: the texture manager cuts a
// path past 255 characters, so a folder long enough would make the import
// succeed and the scene fail to render.
void file_check_bindings(const KST_SCENE& scene, const std::vector<kst_import_texture>& textures,
                         const std::string& dir)
{
    for (int32_t m = 0; m < scene.MATERIALS; ++m) {
        const KST_MATERIAL& k = scene.MATERIAL[m];
        if (!k.TEXTURED)
            continue;
        std::string name = kst_name_get(k.TEXTNAME);
        std::string want = dir + "/" + name;
        if (kst_scene_texture_file(dir, k.TEXTNAME) != want ||
            std::none_of(textures.begin(), textures.end(), [&](const kst_import_texture& t) { return t.name == name; }))
            fatal_raise(want + ": the texture's path is longer than the " + std::to_string(file_path_max) +
                        " characters a scene's textures may have; import into a folder with a shorter path");
    }
}

// Writes the textures and the scene file to temporary files, loads the
// scene back from its file, and only then renames them all into place: a
// failure at any point leaves every file as it was, textures of other scenes
// with the same names among them.
void file_write_all(const KST_SCENE& scene, const std::string& bytes,
                    const std::vector<kst_import_texture>& textures, const std::string& out,
                    const std::string& dir)
{
    std::vector<std::pair<std::string, std::string>> staged;
    try {
        for (const kst_import_texture& t : textures) {
            std::string path = dir + "/" + t.name;
            atomic_file f(path);
            f.write(t.pixels.data(), t.pixels.size());
            staged.push_back({f.stage(), path});
        }
        atomic_file f(out);
        f.write(bytes);
        std::string scene_file = f.stage();
        staged.push_back({scene_file, out});
        KST_SCENE check{};
        KST_SCENE_LOAD(check, scene_file.empty() ? out : scene_file);
        bool same = check.OBJECTS == scene.OBJECTS;
        KST_SCENE_FREE(check);
        if (!same)
            fatal_raise(out + ": the written scene does not load back");
    } catch (...) {
        for (const auto& s : staged)
            if (!s.first.empty())
                std::remove(s.first.c_str());
        throw;
    }
    std::vector<std::pair<std::string, std::string>> moves;
    for (const auto& s : staged)
        if (!s.first.empty())
            moves.push_back(s);
    atomic_rename_all(moves);
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
    if (imp_lower_ext(model) == ".stl" && options.up.empty())
        options.up = "z";
    std::string dir = options.textures_dir;
    if (dir.empty())
        dir = fs::path(out).parent_path().string();
    if (dir.empty())
        dir = ".";

    Assimp::Importer importer;
    file_log_scope log;
    const aiScene& ai = kst_import_read(importer, model, model, options.read_seconds);

    KST_SCENE scene{};
    std::vector<kst_import_texture> textures;
    kst_import_map(ai, options, model, scene, textures, summary);
    for (const std::string& e : log.stream->errors)
        summary.warnings.push_back("assimp: " + e);
    try {
        std::string bytes = file_checked_bytes(scene, out);
        file_check_bindings(scene, textures, dir);
        file_write_all(scene, bytes, textures, out, dir);
    } catch (...) {
        KST_SCENE_FREE(scene);
        throw;
    }
    KST_SCENE_FREE(scene);
}
