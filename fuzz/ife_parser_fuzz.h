// fuzz/ife_parser_fuzz.h - one run of the interface-file fuzz target.
//
// Shared by the libFuzzer target (fuzz/ife_parser_fuzz.cpp) and the test that
// runs the seed corpus (tests/ife/fuzz_corpus_test.cpp). The bytes are written
// to a temporary file and parsed without textures; fatal errors are the
// expected answer to bad input. Whatever parses must hold what the drawing
// relies on (a layer array for every layer, a key array for every key, counts
// within the design limits, blend modes in a byte) and must release cleanly.
// A broken expectation aborts, which both the fuzzer and the test report.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "ife/ife.h"
#include "support/error.h"

inline void ife_fuzz_require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "ife parser fuzz: %s\n", what);
        std::abort();
    }
}

inline void ife_fuzz_check(const ife_interface& r)
{
    ife_fuzz_require(r.layercount >= 0 && r.layercount <= IFE_MAX_LAYERS, "layer count out of range");
    ife_fuzz_require(r.layercount == 0 || r.layers != nullptr, "layers missing");
    // IFE_FREE leaves a record without layers alone, so it must own no array.
    ife_fuzz_require(r.layercount > 0 || r.layers == nullptr, "an array for no layers would leak");
    for (int32_t i = 0; i < r.layercount; ++i) {
        const ife_layer& l = r.layers[i];
        ife_fuzz_require(l.keycount >= 0 && l.keycount <= IFE_MAX_KEYS, "key count out of range");
        ife_fuzz_require(l.keycount == 0 || l.keys != nullptr, "keys missing");
        for (int32_t k = 0; k < l.keycount; ++k) {
            int32_t a = -1, b = -1;
            ife_bracket(l, static_cast<float>(l.keys[k].frame), a, b);
            ife_fuzz_require(a >= 0 && a < l.keycount && b >= 0 && b < l.keycount, "bracket outside keys");
        }
    }
}

inline int ife_fuzz_one(const uint8_t* data, size_t size)
{
    char path[] = "/tmp/ife-fuzz-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0)
        return 0;
    bool written = size == 0 || write(fd, data, size) == static_cast<ssize_t>(size);
    close(fd);
    ife_interface record{};
    try {
        if (written) {
            ife_parse(record, path);
            ife_fuzz_check(record);
            IFE_FREE(record);
            ife_fuzz_require(record.layercount == 0, "free left layers");
        }
    } catch (const fatal_error&) {
        ife_fuzz_require(record.layercount == 0 && record.layers == nullptr, "failed parse left data");
    }
    unlink(path);
    return 0;
}
