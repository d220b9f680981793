// The interface-file fuzz target's seed corpus (fuzz/corpus/ife_parser/),
// run as an ordinary test through the same function the fuzzer calls: valid
// files, files with comments, tabs, prefixes and odd fields, and broken ones
// (ends early, negative count, a word where an integer belongs, empty, keys
// out of order).
#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/ife_parser_fuzz.h"
#include "process.h"

TEST(IfeFuzzCorpus, SeedsRunThroughTheFuzzTarget)
{
    std::string dir = std::string(QIV_SOURCE_DIR) + "/fuzz/corpus/ife_parser";
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::string bytes = read_file(entry.path().string());
        SCOPED_TRACE(entry.path().string());
        ife_fuzz_one(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        ++files;
    }
    EXPECT_GE(files, 8u);
    // A few shapes the corpus files do not hold: a line far over 255
    // characters, a NUL byte, a huge key count with no keys behind it.
    const std::string extra[] = {"1\n0\n" + std::string(5000, 'x') + "\na\nb\n1\n0\n1 2 3\n",
                                 std::string("1\n0\nt\0x.raw\na\nb\n1\n0\n0 1 2\n", 26),
                                 "1\n0\nt.raw\na\nb\n10001\n0\n", "1\n0\nt.raw\na\nb\n10002\n0\n",
                                 "1002\n0\n"};
    for (const std::string& bytes : extra)
        ife_fuzz_one(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}
