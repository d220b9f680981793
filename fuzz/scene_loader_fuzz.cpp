// fuzz/scene_loader_fuzz.cpp - libFuzzer target for the scene loader.
//
// Every input is loaded, prepared, animated, dumped, saved and loaded again
// (scene_loader_fuzz.h). Reports of skipped chunks are silenced so the fuzzer's
// output stays readable. Seeds: fuzz/corpus/scene_loader/, written by the
// scene tests (see tests/scene/fuzz_corpus_test.cpp).
//
//   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DQIV_FUZZ=ON \
//       -DQIV_SANITIZE=ON -DQIV_TESTS=OFF -DQIV_BENCH=OFF
//   cmake --build build-fuzz --target fuzz_scene_loader_fuzz
//   ./build-fuzz/fuzz/fuzz_scene_loader_fuzz -max_total_time=600 corpus-dir fuzz/corpus/scene_loader
#include "scene_loader_fuzz.h"

// The dump code lives with the kestrel tool; the target compiles it in.
#include "tools/kestrel/scene_json.cpp"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    error_report_set_sink([](const std::string&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return scene_fuzz_one(data, size);
}
