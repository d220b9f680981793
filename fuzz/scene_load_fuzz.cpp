// fuzz/scene_load_fuzz.cpp - libFuzzer target for the scene loader alone.
//
// Each input is only loaded and prepared (kst_scene_load_bytes does both) and
// freed: no track evaluation, dump or save in the loop, so the fuzzer spends
// its time in the chunk reader and reaches many more inputs per second than
// the round-trip target (scene_loader_fuzz.cpp). A failed load must leave the
// scene empty; anything the sanitizers see is a finding. Seeds and finds:
// fuzz/corpus/scene_load/, run as a test by tests/scene/fuzz_corpus_test.cpp.
//
//   ./run fuzz [SECONDS]   builds and runs every target (see README)
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/scene/loader.h"
#include "engine/scene/prepare.h"
#include "support/error.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    error_report_set_sink([](const std::string&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    KST_SCENE scene{};
    try {
        kst_scene_load_bytes(scene, data, size, "fuzz.kst");
    } catch (const fatal_error&) {
        KST_SCENE empty{};
        if (std::memcmp(static_cast<void*>(&scene), &empty, sizeof scene) != 0) {
            std::fprintf(stderr, "scene load fuzz: a failed load left a partial scene\n");
            std::abort();
        }
        return 0;
    }
    KST_SCENE_FREE(scene);
    return 0;
}
