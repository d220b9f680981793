// fuzz/ife_parser_fuzz.cpp - libFuzzer target for the interface-file parser.
//
// Every input is parsed without textures, checked and released
// (ife_parser_fuzz.h). Seeds: fuzz/corpus/ife_parser/, written by the
// interface tests (tests/ife/fuzz_corpus_test.cpp).
//
//   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DQIV_FUZZ=ON \
//       -DQIV_SANITIZE=ON -DQIV_TESTS=OFF -DQIV_BENCH=OFF
//   cmake --build build-fuzz --target fuzz_ife_parser_fuzz
//   ./build-fuzz/fuzz/fuzz_ife_parser_fuzz -max_total_time=600 corpus-dir fuzz/corpus/ife_parser
#include "ife_parser_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return ife_fuzz_one(data, size);
}
