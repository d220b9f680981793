// fuzz/import_fuzz.h - one run of the model-import fuzz target.
//
// Shared by the libFuzzer target (fuzz/import_fuzz.cpp) and the test that
// runs the seed corpus (tests/import/fuzz_corpus_test.cpp). An input is a
// format hint on its first line (an extension such as "obj", "gltf", "ply";
// at most 8 characters) followed by the model file itself. One run:
//   1. the model is written to a file in the temporary folder named by the
//      hint (letters and digits only) and read through kst_import_read, as
//      `kestrel import` reads it: the importer's guard, then assimp's reader
//      and the importer's post-processing (a refusal ends the run). The
//      file is read from disk as `kestrel import` reads it: assimp's memory
//      reader has faults of its own (a NUL after an OBJ "mtllib" crashes it)
//      that the importer never meets;
//   2. kst_import_map maps the scene; a fatal error is an allowed answer and
//      must leave the record cleared;
//   3. the mapped scene must keep the engine's invariants (indices in range,
//      neighbours of the same object, materials that exist, keys in order),
//      and must save and load back with the same objects and faces.
// A broken expectation aborts, which both the fuzzer and the test report.
#pragma once

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "engine/import/import.h"
#include "engine/scene/loader.h"
#include "engine/scene/prepare.h"
#include "engine/scene/writer.h"
#include "support/error.h"

inline void import_fuzz_require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "import fuzz: %s\n", what);
        std::abort();
    }
}

inline bool import_fuzz_in(int32_t i, int32_t n)
{
    return i >= 0 && i < n;
}

inline void import_fuzz_object(const KST_SCENE& s, const KST_OBJECT& o)
{
    import_fuzz_require(o.VERTICES >= 0 && o.VERTICES <= KST_MAX_ARRAY, "vertex count over the limit");
    import_fuzz_require(o.FACES >= 0 && o.FACES <= KST_MAX_ARRAY, "face count over the limit");
    import_fuzz_require(import_fuzz_in(o.MATERIAL, s.MATERIALS), "material index out of range");
    for (int32_t f = 0; f < o.FACES; ++f) {
        const KST_FACE& a = o.FACE[f];
        const KST_FACE& b = o.ORIG_FACE[f];
        const KST_FACE& n = o.NEIGHBOUR[f];
        import_fuzz_require(import_fuzz_in(a.A, o.VERTICES) && import_fuzz_in(a.B, o.VERTICES) &&
                                import_fuzz_in(a.C, o.VERTICES), "face index out of range");
        import_fuzz_require(import_fuzz_in(b.A, o.VERTICES) && import_fuzz_in(b.B, o.VERTICES) &&
                                import_fuzz_in(b.C, o.VERTICES), "welded face index out of range");
        for (int32_t e : {n.A, n.B, n.C})
            import_fuzz_require(e == -1 || import_fuzz_in(e, o.FACES), "neighbour out of range");
    }
    for (int32_t k = 1; k < o.POSKEYS; ++k)
        import_fuzz_require(o.POSITION[k].KEY >= o.POSITION[k - 1].KEY, "position keys out of order");
}

inline void import_fuzz_check(KST_SCENE& scene)
{
    import_fuzz_require(scene.OBJECTS > 0 && scene.OBJECTS <= KST_MAX_OBJECTS, "object count");
    import_fuzz_require(scene.MATERIALS <= KST_MAX_MATERIALS, "material count");
    import_fuzz_require(scene.CAMPOSKEYS >= 2 && scene.CAMTARGETKEYS >= 2, "camera tracks");
    for (int32_t i = 0; i < scene.OBJECTS; ++i)
        import_fuzz_object(scene, scene.OBJ[i]);
    std::string bytes = kst_scene_save_bytes(scene);
    KST_SCENE again{};
    kst_scene_load_bytes(again, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), "fuzz.kst");
    import_fuzz_require(again.OBJECTS == scene.OBJECTS, "objects changed on the way back");
    import_fuzz_require(kst_scene_total_faces(again) == kst_scene_total_faces(scene), "faces changed");
    KST_SCENE_FREE(again);
}

// Writes the model bytes to this process's input file; "" for a hint that
// cannot be an extension.
inline std::string import_fuzz_write(const std::string& hint, const uint8_t* data, size_t size)
{
    for (unsigned char c : hint)
        if (!std::isalnum(c))
            return "";
    std::string path = (std::filesystem::temp_directory_path() /
                        ("kst-import-fuzz-" + std::to_string(getpid()) + (hint.empty() ? "" : "." + hint)))
                           .string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return out ? path : "";
}

inline int import_fuzz_one(const uint8_t* data, size_t size)
{
    size_t line = 0;
    while (line < size && line < 9 && data[line] != '\n')
        ++line;
    if (line >= size || data[line] != '\n')
        return 0;
    std::string hint(reinterpret_cast<const char*>(data), line);
    std::string path = import_fuzz_write(hint, data + line + 1, size - line - 1);
    if (path.empty())
        return 0;
    Assimp::Importer importer;
    const aiScene* ai = nullptr;
    try {
        ai = &kst_import_read(importer, path, "fuzz." + hint);
    } catch (const fatal_error&) {
    }
    std::error_code ec;
    std::filesystem::remove(path, ec);
    if (!ai)
        return 0;
    KST_SCENE scene{};
    std::vector<kst_import_texture> textures;
    kst_import_summary summary;
    try {
        kst_import_map(*ai, kst_import_options{}, "fuzz." + hint, scene, textures, summary);
    } catch (const fatal_error&) {
        KST_SCENE empty{};
        import_fuzz_require(std::memcmp(static_cast<void*>(&scene), &empty, sizeof scene) == 0,
                            "a failed import left a partial scene");
        return 0;
    }
    for (const kst_import_texture& t : textures)
        import_fuzz_require(t.pixels.size() == 256u * 256u * t.channels, "texture of the wrong size");
    import_fuzz_check(scene);
    KST_SCENE_FREE(scene);
    return 0;
}
