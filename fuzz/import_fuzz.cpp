// fuzz/import_fuzz.cpp - libFuzzer target for the model importer's mapping.
//
// Inputs are a format hint line and a model file (import_fuzz.h); the model
// is written to a file under that extension and goes the way `kestrel import`
// takes: the format guard, kst_import_read (assimp's reader, the mesh check,
// the post-processing steps), then kst_import_map, whose scene's invariants
// and save-and-load round trip are checked. A finding inside assimp is a fault
// the importer has to keep the user from meeting.
// Seeds: fuzz/corpus/import/ (small OBJ, glTF with an embedded buffer, PLY,
// STL, 3DS and Collada files, and some of formats the guard refuses), also run
// by tests/import/fuzz_corpus_test.cpp.
//
//   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DQIV_FUZZ=ON \
//       -DQIV_SANITIZE=ON -DQIV_TESTS=OFF -DQIV_BENCH=OFF
//   cmake --build build-fuzz --target fuzz_import_fuzz
//   ./build-fuzz/fuzz/fuzz_import_fuzz -max_total_time=600 -rss_limit_mb=4096 corpus-dir fuzz/corpus/import
#include "import_fuzz.h"

// Several of assimp's readers lose what they build on a bad file (RAW, AMF,
// LWO and LWS did, before the guard refused those formats; the 3DS reader
// still does when an allocation fails), and the compressed XGL reader left
// zlib's inflate state behind (that stack ends in zlib, whose frames the fast
// unwinder cannot get past). A one-shot import can
// live with a few kilobytes lost, but the fuzzer would stop on the first one,
// so leaks of memory allocated inside assimp or zlib's inflater are not
// reported here; leaks of ours still are. The scene loader's own use of zlib
// is leak-checked without this by the scene_load and scene_loader targets.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libassimp.so\nleak:inflateInit2_\n";
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    error_report_set_sink([](const std::string&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return import_fuzz_one(data, size);
}
