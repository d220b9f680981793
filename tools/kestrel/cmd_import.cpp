// tools/kestrel/cmd_import.cpp - `kestrel import` and `kestrel export`.
//
//     kestrel import MODEL -o OUT.kst [--textures DIR] [--fps F] [--scale S] [--camera NAME|auto]
//                    [--up y|z] [--clip NAME|INDEX] [--json]
//     kestrel export SCENE.kst OUT.{glb,gltf,obj,dae,ply,stl} [--frame F] [--data DIR]
//
// Both are thin: the work is in engine/import. import prints its summary as
// lines of "key value" (then one "warning: ..." per thing dropped) or, with
// --json, as one object; export prints its warnings on stderr.
//
// Model files can declare absurd sizes (a vertex count of billions for a cube)
// that assimp's readers honour by allocating and clearing that much memory
// before anything can check it. import therefore caps the growth of its own
// address space (half the machine's memory, at most 8 GiB, on top of what is
// mapped when the import starts) so that such a file fails fast with an
// allocation error instead of driving the machine into swap. The cap counts
// from the present size rather than from zero because a build with
// AddressSanitizer has already reserved terabytes of shadow and allocator
// space by then; its allocations are carved out of those reservations, and
// only the large blocks, mapped one by one, add to the size (and there the
// program's own operator new, cmake/sanitize_new_throws.cpp, turns a refused
// block into std::bad_alloc as in a plain build).
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <filesystem>
#include <memory>

#include <nlohmann/json.hpp>

#include "engine/import/import.h"
#include "engine/scene/loader.h"
#include "engine/scene/prepare.h"
#include "registry.h"
#include "support/error.h"
#include "support/folders.h"

namespace {

struct import_args {
    std::string model, out;
    kst_import_options options;
    bool json = false;
};

// Bytes of address space the process maps now (the first field of
// /proc/self/statm, in pages); 0 when it cannot be read.
rlim_t import_mapped_bytes(long page)
{
    std::ifstream statm("/proc/self/statm");
    unsigned long long pages = 0;
    if (!(statm >> pages))
        return 0;
    return static_cast<rlim_t>(pages) * static_cast<rlim_t>(page);
}

void import_limit_memory()
{
    long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page <= 0)
        return;
    rlim_t room = std::min<rlim_t>(static_cast<rlim_t>(pages) * page / 2, rlim_t(8) << 30);
    rlim_t mapped = import_mapped_bytes(page);
    if (mapped > RLIM_INFINITY - room - 1)
        return;
    rlim_t cap = mapped + room;
    rlimit now{};
    if (getrlimit(RLIMIT_AS, &now) == 0 && (now.rlim_cur == RLIM_INFINITY || now.rlim_cur > cap)) {
        now.rlim_cur = cap;
        setrlimit(RLIMIT_AS, &now);
    }
}

void import_print(const kst_import_summary& s, bool json)
{
    const char* camera = s.camera_imported ? "imported" : "framed";
    if (json) {
        nlohmann::ordered_json clips = nlohmann::ordered_json::array();
        for (const kst_import_clip& c : s.clips)
            clips.push_back({{"name", c.name}, {"frames", c.frames}});
        nlohmann::ordered_json j = {{"objects", s.objects},   {"faces", s.faces},   {"materials", s.materials},
                                    {"textures", s.textures}, {"frames", s.frames}, {"lights", s.lights},
                                    {"camera", camera},       {"warnings", s.warnings},
                                    {"clips", clips},         {"skinned", s.skinned}};
        std::printf("%s\n", j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        return;
    }
    std::printf("objects %d\nfaces %lld\nmaterials %d\ntextures %d\nframes %d\nlights %d\ncamera %s\n",
                s.objects, static_cast<long long>(s.faces), s.materials, s.textures, s.frames, s.lights, camera);
    std::printf("clips %zu\nskinned %d\n", s.clips.size(), s.skinned);
    for (const std::string& w : s.warnings)
        std::printf("warning: %s\n", w.c_str());
}

void import_add(CLI::App& app, int& status)
{
    auto a = std::make_shared<import_args>();
    CLI::App* sub = app.add_subcommand("import", "Bring a model file (glTF, FBX, Collada, OBJ, 3DS, STL or PLY) in as a scene");
    sub->add_option("MODEL", a->model, "model file to read")->required();
    sub->add_option("-o,--output", a->out, "scene file to write (.kst)")->required();
    sub->add_option("--textures", a->options.textures_dir, "folder for the .raw textures (default: beside OUT; made when missing)");
    sub->add_option("--fps", a->options.fps, "frames per second of the animation tracks (default 40)")
        ->check(CLI::Range(0.001f, 1000.0f));
    sub->add_option("--scale", a->options.scale, "scale factor from the file's units (default 1)")
        ->check(CLI::Range(1e-9f, 1e9f));
    sub->add_option("--camera", a->options.camera,
                    "camera to use by name, or auto to ignore the file's cameras and frame the model "
                    "(default: the first in the file)");
    sub->add_option("--up", a->options.up, "the model's up axis, for files that record none (default: Y, Z for STL)")
        ->check(CLI::IsMember({"y", "z"}));
    sub->add_option("--clip", a->options.clip,
                    "animation clip to play, by name or by index from 0 (default: the first; --json lists them)");
    sub->add_flag("--json", a->json, "print the summary as one JSON object");
    sub->callback([a, &status]() {
        folders_made made;
        folders_make_parent(made, a->out);
        if (!a->options.textures_dir.empty())
            folders_make(made, a->options.textures_dir);
        kst_import_summary summary;
        import_limit_memory();
        KST_IMPORT_FILE(a->model, a->out, a->options, summary);
        folders_keep(made);
        import_print(summary, a->json);
        status = 0;
    });
}

struct export_args {
    std::string scene, out, data;
    float frame = 0.0f;
};

void export_add(CLI::App& app, int& status)
{
    auto a = std::make_shared<export_args>();
    CLI::App* sub = app.add_subcommand("export", "Write a scene at one frame as glb, gltf, obj, dae, ply or stl");
    sub->add_option("SCENE", a->scene, "scene file to read (.kst)")->required();
    sub->add_option("OUT", a->out, "model file to write; the extension picks the format")
        ->required()
        ->check(CLI::Validator(
            [](std::string& path) {
                std::string e = std::filesystem::path(path).extension().string();
                for (char& c : e)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                for (const char* ok : {".glb", ".gltf", ".obj", ".dae", ".ply", ".stl"})
                    if (e == ok)
                        return std::string();
                return path + ": unknown export format (use .glb, .gltf, .obj, .dae, .ply or .stl)";
            },
            "FORMAT"));
    sub->add_option("--frame", a->frame, "animation frame of the pose (default 0)");
    sub->add_option("--data", a->data, "texture folder (default: the scene file's folder)");
    sub->callback([a, &status]() {
        folders_made made;
        folders_make_parent(made, a->out);
        KST_SCENE scene{};
        KST_SCENE_LOAD(scene, a->scene);
        std::string data = a->data;
        if (data.empty())
            data = std::filesystem::path(a->scene).parent_path().string();
        std::vector<std::string> warnings;
        try {
            warnings = KST_EXPORT_FILE(scene, a->out, a->frame, data.empty() ? "." : data);
        } catch (...) {
            KST_SCENE_FREE(scene);
            throw;
        }
        KST_SCENE_FREE(scene);
        folders_keep(made);
        for (const std::string& w : warnings)
            std::fprintf(stderr, "kestrel: warning: %s\n", w.c_str());
        status = 0;
    });
}

}  // namespace

static kcmd_register import_registration("import", import_add);
static kcmd_register export_registration("export", export_add);
