// fuzz/config_reader_fuzz.cpp - libFuzzer target for the configuration reader.
//
// Each input is applied as a configuration file to a small scene (three
// materials, three objects, three named lights, two sharing a name). Fatal
// errors are an allowed outcome (strict integers); anything the sanitizers see
// is not. After a successful read the target also checks that the writer and
// the reader agree: writing the scene, reading that file back and writing again
// must settle after one pass (the first pass may turn an overflowing float
// written as "inf" into 0), so a written file always reads back as itself.
//
// The seed corpus in fuzz/corpus/config_reader/ also runs as an ordinary test
// (tests/config), which includes this file and calls the entry points.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/config/config.h"
#include "support/error.h"
#include "tests/common/config_scenes.h"

// --- internal helpers ---------------------------------------------------------------
static bool config_fuzz_apply(KST_SCENE& scene, const void* data, size_t size)
{
    if (size == 0)
        return true;
    FILE* stream = fmemopen(const_cast<void*>(data), size, "rb");
    if (!stream)
        return false;
    bool ok = true;
    try {
        config_read_stream(scene, stream, "fuzz.cfg");
    } catch (const fatal_error&) {
        ok = false;
    }
    std::fclose(stream);
    return ok;
}

// Write, read back, write: the two written texts must be the same.
static void config_fuzz_check_round_trip(KST_SCENE& scene)
{
    std::string first = config_write_text(scene);
    config_fuzz_apply(scene, first.data(), first.size());
    std::string second = config_write_text(scene);
    if (!config_fuzz_apply(scene, second.data(), second.size()))
        std::abort();  // a written file must never be fatal to read
    if (config_write_text(scene) != second)
        std::abort();
}

// --- entry points ----------------------------------------------------------------------
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    error_report_set_sink([](const std::string&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    config_test_scene t({"wood", "glass", "chrome"}, {"ship", "rock", "sky"},
                        {"sun", "moon", "moon"});
    t.material(2).TEXTURETYPE = 32;
    if (config_fuzz_apply(t.scene, data, size))
        config_fuzz_check_round_trip(t.scene);
    return 0;
}
