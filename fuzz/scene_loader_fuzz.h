// fuzz/scene_loader_fuzz.h - one run of the scene-loader fuzz target.
//
// Shared by the libFuzzer target (fuzz/scene_loader_fuzz.cpp) and the test
// that runs the seed corpus (tests/scene/fuzz_corpus_test.cpp), so the corpus
// goes through exactly the code the fuzzer drives. One run:
//   1. load and prepare the bytes (fatal errors are the expected answer to bad
//      input; the record must then be cleared);
//   2. evaluate the camera, every object and light track at a few frames,
//      the rotation and scale motion of scenes that ask for it, and pose
//      every skinned or morphed object at them (then put its rest shape
//      back): whatever loads must pose without reading outside an array;
//   3. dump the scene as kestrel dump does;
//   4. save it with the writer, load that again and require the same dump
//      (the file version, chunk count, the never-written SELECTED and PICKED
//      marks and absent-versus-empty arrays aside): whatever loads must save and load back.
// A broken expectation aborts, which both the fuzzer and the test report.
// The caller links tools/kestrel/scene_json.cpp.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/scene/loader.h"
#include "engine/scene/prepare.h"
#include "engine/scene/skin.h"
#include "engine/scene/spline.h"
#include "engine/scene/writer.h"
#include "support/error.h"
#include "tools/kestrel/scene_json.h"

inline void scene_fuzz_require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "scene loader fuzz: %s\n", what);
        std::abort();
    }
}

inline void scene_fuzz_tracks(const KST_SCENE& s)
{
    const float frames[] = {-1.0f, 0.0f, 0.5f, 7.25f, 1e6f};
    for (float f : frames) {
        KST_VECTOR p{}, t{};
        SPLINE_CAMVECTORS(p, t, s, f);
        for (int32_t i = 0; i < s.OBJECTS; ++i) {
            if (s.OBJ[i].POSKEYS > 0)
                SPLINE_LINEAR_POS(p, s, i, f);
            double linear[3][3], inverse[3][3];
            if (kst_spline_motion(linear, s, i, f))
                kst_spline_invert(linear, inverse);
        }
        for (int32_t l = 0; l < KST_LIGHTS; ++l)
            if (s.LIGHT[l].POSKEYS > 0)
                SPLINE_LIGHT_POS(p, s, l, f);
    }
}

inline void scene_fuzz_pose(KST_SCENE& s)
{
    const float frames[] = {-1.0f, 0.0f, 0.5f, 7.25f, 1e6f};
    for (int32_t i = 0; i < s.OBJECTS; ++i) {
        for (float f : frames)
            kst_skin_pose(s.OBJ[i], f);
        kst_skin_rest(s.OBJ[i]);
    }
}

// Absent arrays (null) and empty ones are the same scene: the writer stores
// an absent array as an empty chunk.
inline void scene_fuzz_nulls_empty(nlohmann::ordered_json& v)
{
    if (v.is_null())
        v = nlohmann::ordered_json::array();
    else if (v.is_structured())
        for (auto& e : v)
            scene_fuzz_nulls_empty(e);
}

// The dump with the fields a save does not carry over made equal.
inline std::string scene_fuzz_dump(KST_SCENE& s)
{
    s.NUMOFCHUNKS = 0;
    s.MAJORVERSION = KST_FORMATMAJOR;
    s.MINORVERSION = KST_FORMATMINOR;
    for (int32_t i = 0; i < s.OBJECTS; ++i)
        s.OBJ[i].SELECTED = s.OBJ[i].PICKED = 0;
    nlohmann::ordered_json j = kst_scene_json(s);
    scene_fuzz_nulls_empty(j);
    return kst_json_text(j);
}

inline int scene_fuzz_one(const uint8_t* data, size_t size)
{
    KST_SCENE scene{};
    try {
        kst_scene_load_bytes(scene, data, size, "fuzz.kst");
    } catch (const fatal_error&) {
        KST_SCENE empty{};
        scene_fuzz_require(std::memcmp(static_cast<void*>(&scene), &empty, sizeof scene) == 0,
                           "a failed load left a partial scene");
        return 0;
    }
    scene_fuzz_tracks(scene);
    scene_fuzz_pose(scene);
    std::string saved = kst_scene_save_bytes(scene);
    std::string first = scene_fuzz_dump(scene);
    KST_SCENE again{};
    try {
        kst_scene_load_bytes(again, reinterpret_cast<const uint8_t*>(saved.data()), saved.size(), "resaved.kst");
    } catch (const fatal_error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        scene_fuzz_require(false, "a scene that loaded does not load after saving");
    }
    scene_fuzz_require(scene_fuzz_dump(again) == first, "save and load changed the scene");
    KST_SCENE_FREE(again);
    KST_SCENE_FREE(scene);
    return 0;
}
