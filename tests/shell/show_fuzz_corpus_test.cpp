// The show-file fuzz target's seed corpus (fuzz/corpus/show/), run as an
// ordinary test through the same function the fuzzer calls: the default
// show, small shows with every kind of step, in ms and in beats, and broken
// ones (an unknown key, overlapping segments, effects, syntax, types).
#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/show_fuzz.h"
#include "generated_data.h"
#include "process.h"

TEST(ShowFuzzCorpus, SeedsRunThroughTheFuzzTarget)
{
    std::string dir = std::string(QIV_SOURCE_DIR) + "/fuzz/corpus/show";
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::string bytes = read_file(entry.path().string());
        SCOPED_TRACE(entry.path().string());
        show_fuzz_one(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        ++files;
    }
    EXPECT_GE(files, 8u);
    // The default show's seed is the file qiv-mkdata writes.
    EXPECT_EQ(read_file(dir + "/default.toml"), read_file(generated_data_dir() + "/show.toml"));
    // Shapes the files do not hold: nothing, a NUL byte, a very long key.
    const std::string extra[] = {"", std::string("length = 1\0", 11), std::string(5000, 'k') + " = 1\n",
                                 "length = 1e400\n", "bpm = 1e-300\nlength = 5\n"};
    for (const std::string& bytes : extra)
        show_fuzz_one(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}
