// fuzz/show_fuzz.cpp - libFuzzer target for the show file reader.
//
// Every input is read as a show.toml without a data folder and the score it
// gives is checked (show_fuzz.h). Seeds: fuzz/corpus/show/, the default show
// and small shows with every kind of step, run as an ordinary test by
// tests/shell/show_fuzz_corpus_test.cpp. toml++ is compiled into the target
// (header-only in a fuzz build), so its parser is instrumented too.
//
//   ./run fuzz 600     (every target), or for this one alone:
//   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DQIV_FUZZ=ON \
//       -DQIV_SANITIZE=ON -DQIV_TESTS=OFF -DQIV_BENCH=OFF
//   cmake --build build-fuzz --target fuzz_show_fuzz
//   ./build-fuzz/fuzz/fuzz_show_fuzz -dict=fuzz/show_fuzz.dict -max_total_time=600 \
//       build-fuzz/corpus/show fuzz/corpus/show
#include "show_fuzz.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    error_report_set_sink([](const std::string&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return show_fuzz_one(data, size);
}
