// The import fuzz target's seed corpus (fuzz/corpus/import/), run as an
// ordinary test through the same function the fuzzer calls: small OBJ (with a
// UV seam, with points and lines, with non-finite numbers, empty), PLY with
// vertex colours, STL, OFF, Collada and a glTF with an embedded buffer, a
// camera, a half-transparent two-sided material and a translation track,
// and the entries the fuzz runs added (named by their hash), among them the
// hostile headers the importer's guard refuses.
#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/import_fuzz.h"
#include "process.h"

TEST(ImportFuzzCorpus, SeedsRunThroughTheFuzzTarget)
{
    std::string dir = std::string(QIV_SOURCE_DIR) + "/fuzz/corpus/import";
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::string bytes = read_file(entry.path().string());
        SCOPED_TRACE(entry.path().string());
        import_fuzz_one(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        ++files;
    }
    EXPECT_GE(files, 8u);
    // Shapes the files do not hold: no hint line, a hint line too long, an
    // unknown hint, bytes that are no model at all.
    const std::string extra[] = {"v 0 0 0\n", "verylonghint\nv 0 0 0\n", "xyz\nv 0 0 0\nf 1 1 1\n",
                                 std::string("glb\n\0\0\0\0\xff\xff", 10)};
    for (const std::string& bytes : extra)
        import_fuzz_one(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}
