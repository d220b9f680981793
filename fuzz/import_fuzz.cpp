// fuzz/import_fuzz.cpp - libFuzzer target for the model importer's mapping.
//
// Inputs are a format hint line and a model file (import_fuzz.h); assimp reads
// them from memory and kst_import_map turns the result into a scene, whose
// invariants and save-and-load round trip are checked. The readers are
// assimp's; the target exists for our mapping of whatever they hand over.
// Seeds: fuzz/corpus/import/ (small OBJ, glTF with an embedded buffer, PLY,
// STL, OFF and Collada files), also run by tests/import/fuzz_corpus_test.cpp.
//
//   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DQIV_FUZZ=ON \
//       -DQIV_SANITIZE=ON -DQIV_TESTS=OFF -DQIV_BENCH=OFF
//   cmake --build build-fuzz --target fuzz_import_fuzz
//   ./build-fuzz/fuzz/fuzz_import_fuzz -max_total_time=600 -rss_limit_mb=4096 corpus-dir fuzz/corpus/import
#include "import_fuzz.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    error_report_set_sink([](const std::string&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return import_fuzz_one(data, size);
}
